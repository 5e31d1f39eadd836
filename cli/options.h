// adbctl's command line: one command (verb), package names, and options
// spelled out. Arguments arrive as Unicode; names, serials and texts are
// kept in the program's code page (GBK), file paths as Unicode.
#pragma once

#include <string>
#include <vector>

namespace cli {

enum class Command { Help, Version, Devices, List, Disable, Enable, Delete, Restore, Undo, Record, Users, Discover,
                     Pair, Connect, OtherAdb };

// The exit statuses, documented in --help and the README.
enum Exit : int {
    kExitDone = 0,        // everything done, or already so
    kExitFailed = 1,      // some package failed or was refused
    kExitUsage = 2,       // a usage error; nothing was sent
    kExitNoPhone = 3,     // no phone, adb missing, or adb failed
    kExitCancelled = 4,   // Ctrl+C: stopped after the package in progress
    kExitOutput = 5,      // the output could not be written (a closed pipe, a full disk): stopped there
};

struct Options {
    Command command = Command::Help;
    std::vector<std::string> names;   // as given, in order
    std::wstring fromFile;            // --from
    std::string device;               // --device, else ANDROID_SERIAL
    bool all = false;
    int user = 0;
    bool dryRun = false;
    bool yes = false;
    bool json = false;
    bool ansi = false;
    std::wstring adb;                 // --adb; empty: the default places
    std::wstring recordFile;          // --record-file; empty: the manager's record
    bool appNames = true;             // apps named as the phone shows them; --no-names: by package only
    std::wstring namesFile;           // --names-file; empty: the names cache the manager keeps
    std::string state, kind, filter;  // list: "enabled"... / "system"... / text
    std::vector<std::string> arguments;   // pair: address and code; connect: the address, if any
    std::string connectTo;            // pair --connect: the phone's connect address
    bool endOther = false;            // other-adb --end
};

// Reads the arguments after the program's name. False with a one-line
// reason (GBK) naming what is wrong.
bool ParseArguments(const std::vector<std::wstring>& args, Options* o, std::string* error);

// Whether the command acts on packages (disable, enable, delete, restore).
bool IsAction(Command c);

// --help and --version texts (GBK).
std::string HelpText();
std::string VersionText();

// Between Unicode and the program's code page (GBK).
std::string Narrow(const std::wstring& w);
std::wstring Widen(const std::string& gbk);

} // namespace cli
