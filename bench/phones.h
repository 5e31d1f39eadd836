// What the device benchmarks share: the simulated phones' profiles with one
// phone copied many times (files through tests/support/files.h).
#pragma once

#include <string>
#include "tests/support/files.h"

namespace bench {

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
