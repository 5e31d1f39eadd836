// The state file and the log, shared by every simulated adb process at once.
//
// Several adb processes may run together (a tool acting on four phones, a
// test starting eight). Each change is a read-modify-write of the whole state
// file, and an append through FILE_APPEND_DATA is not atomic across processes
// under Wine (it writes at an end offset taken just before), so both happen
// under one named mutex whose name comes from the state file's full path.
// The lock is held only for the file work, never during a latency sleep.
#include "sim.h"

namespace sim {

namespace {

const char* const kDefaultState =
    "# simulated device\n"
    "device emulator-5554 device\n"
    "package com.example.app enabled\n"
    "package com.android.chrome enabled\n"
    "package com.example.old disabled-user\n"
    "focus com.example.app/com.example.app.MainActivity\n";

} // namespace

std::string ObjectName(const std::string& path, const char* kind) {
    char full[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    std::string s = n > 0 && n < sizeof full ? std::string(full, n) : path;
    unsigned h = 2166136261u;
    for (char c : s) {
        char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c == '/' ? '\\' : c;
        h = (h ^ static_cast<unsigned char>(lower)) * 16777619u;
    }
    char name[64];
    wsprintfA(name, "adbsim-%s-%08x", kind, h);
    return name;
}

namespace {

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

} // namespace

std::string ExePath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

std::string PathFrom(const char* variable, const char* fallback) {
    char value[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(variable, value, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::string(value, n);
    std::string exe = ExePath();
    size_t slash = exe.find_last_of('\\');
    return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + fallback;
}

bool ReadWhole(const std::string& path, std::string* out) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char buf[16384];
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

void Out(const std::string& s) { Put(STD_OUTPUT_HANDLE, s); }
void Err(const std::string& s) { Put(STD_ERROR_HANDLE, s); }

Store::Store(const std::string& statePath, const std::string& logPath)
    : statePath_(statePath), logPath_(logPath) {
    mutex_ = CreateMutexA(nullptr, FALSE, ObjectName(statePath, "state").c_str());
}

Store::~Store() {
    if (mutex_) CloseHandle(mutex_);
}

// An abandoned mutex (a process ended while holding it) is still ours now;
// the files it guarded were written whole or not at all by that process's
// last call, so they are read as they are.
void Store::Lock() {
    if (mutex_) WaitForSingleObject(mutex_, INFINITE);
}

void Store::Unlock() {
    if (mutex_) ReleaseMutex(mutex_);
}

void Store::AppendLog(const std::string& line) {
    Lock();
    HANDLE h = CreateFileA(logPath_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        std::string s = line + "\n";
        DWORD put;
        WriteFile(h, s.data(), static_cast<DWORD>(s.size()), &put, nullptr);
        CloseHandle(h);
    }
    Unlock();
}

// A whole new state replaces the old in one step, so a process ended in the
// middle of writing (a tool closing while its commands run) leaves the
// previous state, never half of one.
void Store::Save(const std::string& text) {
    std::string temp = statePath_ + ".new";
    WriteWhole(temp, text);
    if (!MoveFileExA(temp.c_str(), statePath_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temp.c_str());
        WriteWhole(statePath_, text);
    }
}

Profile& Store::ReadLocked() {
    std::string text;
    if (!ReadWhole(statePath_, &text)) {
        text = kDefaultState;
        WriteWhole(statePath_, text);
    }
    if (text != text_ || text.empty()) {
        profile_ = ParseProfile(text);
        text_ = text;
    }
    return profile_;
}

Profile Store::Load() {
    Lock();
    Profile p = ReadLocked();
    Unlock();
    return p;
}

bool Store::Change(const std::string& serial, const std::function<void(Device&)>& change) {
    Lock();
    Profile& p = ReadLocked();
    Device* d = p.FindDevice(serial);
    if (d) {
        change(*d);
        bool dirty = false, removed = false;
        for (const Package& pkg : d->packages) {
            dirty = dirty || pkg.dirty;
            removed = removed || (pkg.dirty && pkg.removed);
        }
        if (dirty) {
            text_ = FormatProfile(p);
            Save(text_);
            // Line numbers changed with the removed line: read afresh next time.
            if (removed) text_.clear();
        }
    }
    Unlock();
    return d != nullptr;
}

} // namespace sim
