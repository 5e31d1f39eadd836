// The state file and the log, shared by every simulated adb process at once.
//
// Several adb processes may run together (a tool acting on sixteen phones, a
// test starting eight). Each change is a read-modify-write of the whole state
// file, and an append through FILE_APPEND_DATA is not atomic across processes
// under Wine (it writes at an end offset taken just before), so both happen
// under one named mutex whose name comes from the state file's full path.
// The lock is held only for the file work, never during a latency sleep, and
// a change parses only its own phone's lines under it: real phones change in
// parallel, and parsing sixteen phones' lines for every change made the lock
// the bench's bottleneck (a batch of 50 on sixteen took 4.5 times one phone's).
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
    // Read in Unicode: Wine's ANSI call cuts a value with double-byte characters short.
    wchar_t wide[MAX_PATH], name[64];
    MultiByteToWideChar(CP_ACP, 0, variable, -1, name, 64);
    DWORD n = GetEnvironmentVariableW(name, wide, MAX_PATH);
    char value[2 * MAX_PATH];
    if (n > 0 && n < MAX_PATH && WideCharToMultiByte(CP_ACP, 0, wide, -1, value, sizeof value, nullptr, nullptr) > 0)
        return std::string(value);
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

// The time the phone's output takes over the cable. The cable is one for
// all of a phone's adb runs at once: their transfers take turns (a named
// mutex per phone), while the phone's own work in each goes on at the same
// time.
void Transfer(const Device& d, size_t bytes) {
    if (!d.usbBytesPerMs) return;
    DWORD ms = static_cast<DWORD>(bytes / d.usbBytesPerMs);
    if (ms == 0) return;
    std::string name = "Local\\adbsim-cable-" + d.serial;
    for (char& c : name)
        if (c == ':' || c == '/') c = '_';
    HANDLE cable = CreateMutexA(nullptr, FALSE, name.c_str());
    if (cable) WaitForSingleObject(cable, INFINITE);
    Sleep(ms);
    if (cable) {
        ReleaseMutex(cable);
        CloseHandle(cable);
    }
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

std::string Store::ReadLocked() {
    std::string text;
    if (!ReadWhole(statePath_, &text)) {
        text = kDefaultState;
        WriteWhole(statePath_, text);
    }
    return text;
}

namespace {

// Where one phone's lines are: the lines before the first device line (every
// phone's), and from the phone's device line up to the next device line.
struct Block {
    size_t header = 0, begin = 0, end = 0;
};

// The serial of the device line starting at `at`, empty for any other line.
std::string DeviceLineSerial(const std::string& text, size_t at) {
    size_t b = text.find_first_not_of(" \t", at);
    if (b == std::string::npos || text.compare(b, 7, "device ") != 0) return std::string();
    size_t end = text.find('\n', b);
    std::vector<std::string> w = Words(text.substr(b, end == std::string::npos ? std::string::npos : end - b));
    return w.size() < 3 ? std::string() : w[1];
}

// Only the lines holding "device " are looked at: a bench of sixteen phones
// has thousands of package lines and sixteen device lines.
bool FindBlock(const std::string& text, const std::string& serial, Block* block) {
    bool seenDevice = false, inside = false;
    for (size_t hit = text.find("device "); hit != std::string::npos; hit = text.find("device ", hit)) {
        size_t at = hit == 0 ? std::string::npos : text.rfind('\n', hit - 1);
        at = at == std::string::npos ? 0 : at + 1;
        // The next search starts on the next line: a device line says "device" twice.
        hit = text.find('\n', hit);
        if (hit == std::string::npos) hit = text.size();
        std::string name = DeviceLineSerial(text, at);
        if (name.empty()) continue;
        if (!seenDevice) block->header = at;
        seenDevice = true;
        if (inside) {
            block->end = at;
            return true;
        }
        if (name == serial) {
            inside = true;
            block->begin = at;
        }
    }
    block->end = text.size();
    return inside;
}

// The text with the phone's block, and the lines every phone shares, as the
// formatted profile of those two has them; the shared lines are counted by
// lines, not bytes, as a package line among them may have changed.
std::string Splice(const std::string& text, const Block& b, const std::string& formatted) {
    size_t headerLines = 0;
    for (size_t k = 0; k < b.header; k++) headerLines += text[k] == '\n';
    size_t blockAt = 0;
    for (size_t k = 0; k < headerLines && blockAt != std::string::npos; k++) {
        blockAt = formatted.find('\n', blockAt);
        if (blockAt != std::string::npos) blockAt++;
    }
    if (blockAt == std::string::npos) blockAt = formatted.size();
    return formatted.substr(0, blockAt) + text.substr(b.header, b.begin - b.header) + formatted.substr(blockAt) +
           text.substr(b.end);
}

} // namespace

// Parsed outside the lock, and only what the command needs: a command for
// one phone of a bench of sixteen does not parse the other fifteen.
Profile Store::Load(const std::string& serial, bool packages) {
    Lock();
    std::string text = ReadLocked();
    Unlock();
    Block b;
    if (!serial.empty() && FindBlock(text, serial, &b))
        return ParseProfile(text.substr(0, b.header) + text.substr(b.begin, b.end - b.begin));
    if (packages) return ParseProfile(text);
    std::string kept;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(at, 8, "package ") != 0) kept.append(text, at, end - at);
        at = end;
    }
    return ParseProfile(kept);
}

bool Store::Change(const std::string& serial, const std::function<void(Device&)>& change) {
    Lock();
    std::string text = ReadLocked();
    Block b;
    bool found = FindBlock(text, serial, &b);
    if (found) {
        Profile p = ParseProfile(text.substr(0, b.header) + text.substr(b.begin, b.end - b.begin));
        Device* d = p.FindDevice(serial);
        change(*d);
        bool dirty = false;
        for (const Package& pkg : d->packages) dirty = dirty || pkg.dirty;
        // The phone's lines rewritten, the other phones' as they were.
        if (dirty) Save(Splice(text, b, FormatProfile(p)));
    }
    Unlock();
    return found;
}

void Store::Edit(const std::function<bool(std::string& text)>& edit) {
    Lock();
    std::string text = ReadLocked();
    if (edit(text)) Save(text);
    Unlock();
}

} // namespace sim
