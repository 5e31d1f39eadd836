// Another program's adb server for tests: a copy of the simulated adb under
// a phone assistant's name (`__rival PORT VERSION`, tests/doubles/wireless.cpp)
// serving on a free port that adb's clients of this process and its
// children are pointed at (ANDROID_ADB_SERVER_PORT). Ended, and the port
// given back, however the test ends.
#pragma once

#include <windows.h>
#include <string>

namespace test {

// A TCP port nobody listens on now.
unsigned short FreePort();

class Rival {
public:
    // `adb`: the simulated adb to copy; `copy`: the program's own file (…\suite_adb.exe).
    Rival(const std::string& adb, const std::string& copy);
    ~Rival();
    Rival(const Rival&) = delete;
    Rival& operator=(const Rival&) = delete;

    bool Serving() const;                   // started and answering on its port
    unsigned short Port() const { return port_; }
    DWORD Pid() const { return pi_.dwProcessId; }
    bool Ended() const;                     // its process has gone
    void End();                             // as its own program would end it

private:
    unsigned short port_;
    PROCESS_INFORMATION pi_ = {};
};

} // namespace test
