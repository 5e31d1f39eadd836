// What the device benchmarks share: files beside the executable, and the
// simulated phones' profiles with one phone copied many times.
#pragma once

#include <windows.h>
#include <cstdio>
#include <string>

namespace bench {

inline std::string ExeDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

inline std::string ReadText(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    return text;
}

inline void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// The profile with its first phone copied under other serials: the lines
// before the first device line are every phone's, the rest is that phone.
inline std::string WithPhones(const std::string& profile, size_t count) {
    size_t first = profile.find("\ndevice ");
    if (first == std::string::npos) return profile;
    std::string head = profile.substr(0, first + 1);
    std::string block = profile.substr(first + 1);
    size_t next = block.find("\ndevice ");
    if (next != std::string::npos) block.erase(next + 1);
    std::string serial = block.substr(7, block.find(' ', 7) - 7);   // "device SERIAL STATE ..."
    std::string out = head;
    for (size_t i = 0; i < count; i++) {
        std::string copy = block;
        if (i > 0) copy.replace(7, serial.size(), serial + "-" + std::to_string(i));
        out += copy;
    }
    return out;
}

} // namespace bench
