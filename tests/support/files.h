// Files for the tests and benchmarks: whole reads and writes, and the
// folder of the running executable. No windows, no GoogleTest.
#pragma once

#include <string>

namespace test {

// A file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
std::string ReadFileBytes(const std::wstring& path);
// Replaces the file with these bytes; false when it could not be written whole.
bool WriteFileText(const std::string& path, const std::string& text);

// The directory of the running executable, without a trailing backslash.
std::string ExeDir();

} // namespace test
