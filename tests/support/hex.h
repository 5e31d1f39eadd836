// Bytes written as hex pairs, blanks between them allowed: "0A 0b ff".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

inline std::vector<uint8_t> Hex(const char* s) {
    std::vector<uint8_t> out;
    for (; *s; ++s) {
        if (*s == ' ') continue;
        out.push_back(static_cast<uint8_t>(std::stoul(std::string(s, 2), nullptr, 16)));
        ++s;
    }
    return out;
}

} // namespace test
