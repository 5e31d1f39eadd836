// The padding output of the simulated device: 64-byte lines, each starting
// with its number, so a test can tell a lost, doubled or reordered piece
// from the bytes alone. Shared by the simulator and the tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

constexpr uint32_t kPadLine = 64;

// Bytes [0, n) of the padding, written into `out` from its current end.
inline void AppendPadding(std::string* out, uint64_t begin, uint64_t end) {
    char line[kPadLine + 1];
    uint64_t i = begin / kPadLine;
    while (i * kPadLine < end) {
        std::snprintf(line, sizeof line, "%010llu ", static_cast<unsigned long long>(i));
        for (uint32_t k = 11; k < kPadLine - 2; k++) line[k] = static_cast<char>('a' + (i + k) % 26);
        line[kPadLine - 2] = '\r';
        line[kPadLine - 1] = '\n';
        uint64_t from = i * kPadLine < begin ? begin - i * kPadLine : 0;
        uint64_t to = (i + 1) * kPadLine > end ? end - i * kPadLine : kPadLine;
        out->append(line + from, static_cast<size_t>(to - from));
        i++;
    }
}

} // namespace sim
