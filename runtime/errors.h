// Run-time error reporting: one modal box that says what went wrong and
// where, then the end of the program with status 0xFFFFFFFF.
#pragma once

#include <cstdint>
#include <string>

namespace rt {

// Builds the box text (exposed so tests can compare it byte for byte).
std::string FormatErrorText(const char* message, int32_t code, int32_t loc1, int32_t loc2);

// Shows the box and ends the program; never returns.
[[noreturn]] void ReportError(const char* message, int32_t code, int32_t loc1, int32_t loc2);

// Service slot 0: the message comes from the error-code table (codes 1..11).
[[noreturn]] void ReportErrorCode(int32_t code, int32_t loc1, int32_t loc2);

// The message of an error code, or null.
const char* ErrorCodeMessage(int32_t code);

} // namespace rt
