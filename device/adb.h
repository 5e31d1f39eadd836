// Running adb: adb.exe started directly (no command interpreter), arguments
// quoted by the C runtime's rules, standard output and standard error
// captured apart, a cancel flag and a time-out that end the adb client (never
// the adb server it may have started). Safe to call from several threads at once.
#pragma once

#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "servers.h"
#include "thread.h"

namespace dev {

// The most any adb run keeps by default: a package list of thousands is a
// few hundred KB, a batch's output less; the name reads set their own.
constexpr size_t kAdbMaxOutput = 64u << 20;

struct AdbRun {
    const Cancel* cancel = nullptr;   // ends the run when set...
    DWORD cancelGraceMs = 0;          // ...this long after (onOutput may end it sooner)
    const Cancel* abort = nullptr;    // ends the run at once when set (the program is ending)
    DWORD timeoutMs = 0;              // 0: no time-out
    // Called with the whole standard output so far each time more arrives;
    // returning false ends the run (the output so far stays in the result).
    std::function<bool(const std::string& outSoFar)> onOutput;
    // What is kept of both streams together: a broken phone or a hostile
    // server could stream without end into a 2 GB address space. Past it
    // the run is ended and marked (AdbResult::tooLong).
    size_t maxBytes = kAdbMaxOutput;
};

struct AdbResult {
    bool started = false;
    DWORD exitCode = 0;
    std::string out, err;
    bool cancelled = false;   // by the flag or by onOutput
    bool timedOut = false;
    bool tooLong = false;     // ended for sending more than AdbRun::maxBytes
    std::string startError;   // why it could not start
};

// One argument as the C runtime's command-line parser reads it back.
std::string QuoteArgument(const std::string& arg);
std::string BuildCommandLine(const std::string& exe, const std::vector<std::string>& args);

class Adb {
public:
    // `exe`: the adb.exe to run; DefaultPath() is the one the tool ships with.
    explicit Adb(std::string exe = DefaultPath()) : exe_(std::move(exe)) {}
    static std::string DefaultPath();   // <run dir>\adb_1.0.40\adb.exe
    const std::string& Path() const { return exe_; }

    // The same adb.exe with every run sent to `server` (`-H host -P port`);
    // a local server gives the plain one.
    Adb Through(const Server& server) const;
    const dev::Server& Server() const { return server_; }

    AdbResult Run(const std::vector<std::string>& args, const AdbRun& how = AdbRun()) const;

    // `adb -s SERIAL shell SCRIPT`, the script as one argument.
    AdbResult Shell(const std::string& serial, const std::string& script, const AdbRun& how = AdbRun()) const;

private:
    std::string exe_;
    dev::Server server_;
};

// A short Chinese text for a run that did not get an answer, empty when it did.
std::string RunFailure(const AdbResult& r);

// Whether an adb server already answers on this computer (a connection to
// its port succeeds within `waitMs`): then no client of ours has to start
// one, and several may start at once.
bool AdbServerListening(DWORD waitMs = 50);
// The port adb's clients look for their server on: ANDROID_ADB_SERVER_PORT, else 5037.
unsigned short AdbServerPort();

} // namespace dev
