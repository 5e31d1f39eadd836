// Small text helpers of the device layer: lines of adb's output, trimming,
// and the code pages a list file may come in.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace text {

// Lines without their ends; "\n", "\r\n" and the "\r\r\n" of a terminal
// passed through a text-mode stream all end a line. A last line without an
// end is kept.
std::vector<std::string> SplitLines(const std::string& text);
// The same lines from byte `from` on, handed over one at a time: a text of
// many megabytes is never held a second time as a vector of lines.
void ForEachLine(const std::string& text, size_t from, const std::function<void(const std::string& line)>& take);
// The lines that have their end: a last line without one is output still
// arriving (or cut off) and is left out, so ":adbtool:end 1" cut from
// ":adbtool:end 12" is never read as a line.
std::vector<std::string> WholeLines(const std::string& text);

// The fields of a tab-separated line, empty ones included.
std::vector<std::string> SplitTabs(const std::string& line);

std::string Trim(const std::string& s);
bool StartsWith(const std::string& s, const char* prefix);
bool Contains(const std::string& s, const char* part);

// Whether the bytes are well-formed UTF-8 (plain ASCII is).
bool IsUtf8(const std::string& bytes);

// Between UTF-8 and the program's code page (GBK, code page 936).
std::string Utf8ToGbk(const std::string& utf8);
std::string GbkToUtf8(const std::string& gbk);
// UTF-16 code units (after the byte-order mark) to UTF-8; an odd last byte
// is dropped and an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char* bytes, size_t size, bool bigEndian);

// One line for a message or a record field: control characters become
// blanks, runs of blanks one blank, at most `limit` bytes (not cutting a
// double-byte character).
std::string OneLine(const std::string& text, size_t limit = 300);

} // namespace text
