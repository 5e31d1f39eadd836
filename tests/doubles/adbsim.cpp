// A simulated device bridge: a Windows console program named adb.exe that
// answers the tool's command lines from a small state file, applies the state
// changes they ask for, and logs every raw command line it received.
//
// State file (ADBSIM_STATE, else adb_state.txt beside adb.exe), one directive
// a line, "#" starts a comment:
//   device <serial> <state>      e.g. device emulator-5554 device
//   package <name> <state>       enabled | disabled-user | uninstalled
//   focus <package/activity>     the focused window; "none" for no focus
//   delay <ms>                   wait before answering
//   pad <bytes>                  numbered 64-byte lines after the answer
//   raw <hex bytes>              bytes written before the answer, e.g. 61 00 62
//   interleave <n>               n lines "out i" on stdout and "err i" on stderr, alternating
//   exit <code>                  the exit code instead of the usual one
//   crash                        end abnormally (status 0xC0000005) after answering
//   daemon <ms>                  first start a "server" that inherits the output
//                                handles and lives <ms> after this one has ended
// Log: ADBSIM_LOG, else adb_log.txt beside adb.exe; one command line a line.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "pattern.h"

namespace {

struct Entry {
    std::string name;
    std::string state;
};

struct State {
    std::vector<std::string> lines;   // the file as read, rewritten with changes
    std::vector<Entry> devices;
    std::vector<Entry> packages;
    std::string focus = "com.example.app/com.example.app.MainActivity";
    DWORD delayMs = 0;
    unsigned long long pad = 0;
    std::string raw;
    int interleave = 0;
    bool hasExit = false;
    DWORD exitCode = 0;
    bool crash = false;
    DWORD daemonMs = 0;
};

const char* const kDefaultState =
    "# simulated device\n"
    "device emulator-5554 device\n"
    "package com.example.app enabled\n"
    "package com.android.chrome enabled\n"
    "package com.example.old disabled-user\n"
    "focus com.example.app/com.example.app.MainActivity\n";

std::string Beside(const char* file) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    size_t slash = s.find_last_of('\\');
    return (slash == std::string::npos ? std::string() : s.substr(0, slash + 1)) + file;
}

std::string PathFrom(const char* variable, const char* fallback) {
    char value[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(variable, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(value, n) : Beside(fallback);
}

bool ReadWhole(const std::string& path, std::string* out) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[4096];
    DWORD got;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out->append(buf, got);
    CloseHandle(h);
    return true;
}

void WriteWhole(const std::string& path, const std::string& text) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD put;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(h);
}

void AppendLog(const std::string& path, const char* line) {
    HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    std::string s = std::string(line) + "\n";
    DWORD put;
    WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &put, nullptr);
    CloseHandle(h);
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> w;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') j++;
        if (j > i) w.push_back(line.substr(i, j - i));
        i = j;
    }
    return w;
}

State Parse(const std::string& text) {
    State s;
    size_t i = 0;
    while (i < text.size()) {
        size_t e = text.find('\n', i);
        if (e == std::string::npos) e = text.size();
        std::string line = text.substr(i, e - i);
        i = e + 1;
        s.lines.push_back(line);
        std::vector<std::string> w = Words(line);
        if (w.empty() || w[0][0] == '#') continue;
        const std::string& key = w[0];
        std::string arg = w.size() > 1 ? w[1] : "";
        if (key == "device" && w.size() > 2) s.devices.push_back({w[1], w[2]});
        else if (key == "package" && w.size() > 2) s.packages.push_back({w[1], w[2]});
        else if (key == "focus") s.focus = arg;
        else if (key == "delay") s.delayMs = std::strtoul(arg.c_str(), nullptr, 10);
        else if (key == "pad") s.pad = std::strtoull(arg.c_str(), nullptr, 10);
        else if (key == "interleave") s.interleave = std::atoi(arg.c_str());
        else if (key == "crash") s.crash = true;
        else if (key == "daemon") s.daemonMs = std::strtoul(arg.c_str(), nullptr, 10);
        else if (key == "exit") {
            s.hasExit = true;
            s.exitCode = std::strtoul(arg.c_str(), nullptr, 0);
        } else if (key == "raw") {
            for (size_t k = 1; k < w.size(); k++) s.raw.push_back(static_cast<char>(std::strtoul(w[k].c_str(), nullptr, 16)));
        }
    }
    return s;
}

// Rewrites the package lines with their current states; other lines stay.
void Save(const std::string& path, const State& s) {
    std::string out;
    std::vector<bool> written(s.packages.size(), false);
    for (const std::string& line : s.lines) {
        std::vector<std::string> w = Words(line);
        if (w.size() > 2 && w[0] == "package") {
            for (size_t k = 0; k < s.packages.size(); k++)
                if (!written[k] && s.packages[k].name == w[1]) {
                    out += "package " + w[1] + " " + s.packages[k].state + "\n";
                    written[k] = true;
                    break;
                }
            continue;
        }
        if (line.empty() && &line == &s.lines.back()) continue;
        out += line + "\n";
    }
    WriteWhole(path, out);
}

void Put(DWORD which, const std::string& bytes) {
    HANDLE h = GetStdHandle(which);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        DWORD n = static_cast<DWORD>(bytes.size() - done > 65536 ? 65536 : bytes.size() - done);
        if (!WriteFile(h, bytes.data() + done, n, &put, nullptr) || put == 0) return;
        done += put;
    }
}
void Out(const std::string& s) { Put(STD_OUTPUT_HANDLE, s); }
void Err(const std::string& s) { Put(STD_ERROR_HANDLE, s); }

Entry* FindPackage(State& s, const std::string& name) {
    for (Entry& p : s.packages)
        if (p.name == name) return &p;
    return nullptr;
}

bool Installed(const Entry* p) { return p && p->state != "uninstalled"; }

// What a device's shell answers; returns the exit code.
DWORD Shell(State& s, const std::vector<std::string>& a, bool* changed) {
    std::string line;
    for (size_t k = 0; k < a.size(); k++) line += (k ? " " : "") + a[k];
    std::string pkg = a.empty() ? "" : a.back();

    if (a.size() >= 2 && a[0] == "pm" && (a[1] == "disable-user" || a[1] == "enable")) {
        if (a.size() < 3) {
            Out("Error: no package or component specified\n");
            return 255;
        }
        Entry* p = FindPackage(s, pkg);
        if (!Installed(p)) {
            Out("Error: java.lang.IllegalArgumentException: Unknown package: " + pkg + "\n");
            return 255;
        }
        p->state = a[1] == "enable" ? "enabled" : "disabled-user";
        *changed = true;
        Out("Package " + pkg + " new state: " + p->state + "\n");
        return 0;
    }
    if (a.size() == 6 && a[0] == "pm" && a[1] == "uninstall" && a[2] == "-k" && a[3] == "--user" && a[4] == "0") {
        Entry* p = FindPackage(s, pkg);
        if (!Installed(p)) {
            Out("Failure [not installed for 0]\n");
            return 0;
        }
        p->state = "uninstalled";
        *changed = true;
        Out("Success\n");
        return 0;
    }
    if (line == "pm list packages -d") {
        for (const Entry& p : s.packages)
            if (p.state == "disabled-user") Out("package:" + p.name + "\n");
        return 0;
    }
    if (line == "dumpsys window") {
        std::string focus = s.focus == "none" ? "null" : "Window{1f2e3d4 u0 " + s.focus + "}";
        Out("WINDOW MANAGER POLICY STATE (dumpsys window policy)\n"
            "    mSafeMode=false mSystemReady=true mSystemBooted=true\n"
            "    mLastFocusNeedsMenu=false\n"
            "WINDOW MANAGER DISPLAY CONTENTS (dumpsys window displays)\n"
            "  Display: mDisplayId=0\n"
            "    init=1080x1920 420dpi cur=1080x1920 app=1080x1794 rng=1080x1017-1794x1731\n"
            "  mCurrentFocus=" + focus + "\n"
            "  mFocusedApp=AppWindowToken{5a6b7c8 token=Token{9d0e1f2 ActivityRecord{3a4b5c6 u0 " + s.focus +
            " t12}}}\n"
            "  mInputMethodTarget=null\n"
            "  mHoldScreenWindow=null\n"
            "  mObscuringWindow=Window{7e8f9a0 u0 StatusBar}\n");
        return 0;
    }
    Out("/system/bin/sh: " + (a.empty() ? std::string() : a[0]) + ": not found\n");
    return 127;
}

// Like adb's own server: a process that holds the output pipe open long
// after the command that started it has ended.
void StartDaemon(DWORD lifeMs) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string line = std::string("\"") + exe + "\" __daemon " + std::to_string(lifeMs);
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    Err("* daemon not running; starting now at tcp:5037\r\n* daemon started successfully\r\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "__daemon") == 0) {
        Sleep(std::strtoul(argv[2], nullptr, 10));
        return 0;
    }
    AppendLog(PathFrom("ADBSIM_LOG", "adb_log.txt"), GetCommandLineA());

    std::string statePath = PathFrom("ADBSIM_STATE", "adb_state.txt");
    std::string text;
    if (!ReadWhole(statePath, &text)) {
        text = kDefaultState;
        WriteWhole(statePath, text);
    }
    State s = Parse(text);
    if (s.daemonMs) StartDaemon(s.daemonMs);
    if (s.delayMs) Sleep(s.delayMs);

    Out(s.raw);
    for (int i = 1; i <= s.interleave; i++) {
        Out("out " + std::to_string(i) + "\r\n");
        Err("err " + std::to_string(i) + "\r\n");
    }

    std::vector<std::string> args(argv + 1, argv + argc);
    DWORD code = 0;
    bool changed = false;
    if (args.size() == 1 && args[0] == "devices") {
        Out("List of devices attached\r\n");
        for (const Entry& d : s.devices) Out(d.name + "\t" + d.state + "\r\n");
        Out("\r\n");
    } else if (!args.empty() && args[0] == "shell") {
        if (s.devices.empty()) {
            Err("error: no devices/emulators found\r\n");
            code = 1;
        } else if (s.devices.size() > 1) {
            Err("error: more than one device/emulator\r\n");
            code = 1;
        } else if (s.devices[0].state != "device") {
            Err("error: device " + s.devices[0].state + "\r\n");
            code = 1;
        } else {
            code = Shell(s, std::vector<std::string>(args.begin() + 1, args.end()), &changed);
        }
    } else {
        Err("adb: unknown command " + (args.empty() ? std::string() : args[0]) + "\r\n");
        code = 1;
    }
    if (changed) Save(statePath, s);

    if (s.pad) {
        // In pieces, so a reader sees the pipe fill and drain many times.
        const unsigned long long kPiece = 65536;
        for (unsigned long long at = 0; at < s.pad; at += kPiece) {
            std::string piece;
            sim::AppendPadding(&piece, at, at + kPiece < s.pad ? at + kPiece : s.pad);
            Out(piece);
        }
    }
    if (s.crash) TerminateProcess(GetCurrentProcess(), 0xC0000005);
    return static_cast<int>(s.hasExit ? s.exitCode : code);
}
