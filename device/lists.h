// Package list files: one package a line. Reading takes "#" comments (whole
// lines or after a name), blank
// lines and the "package:" prefix pm prints (with or without its APK path),
// in UTF-8 with or without a byte-order mark, in GBK, or in UTF-16 with its
// mark (what `adb shell pm list packages > list.txt` makes in Windows
// PowerShell 5); a file that is no text is refused. Writing makes UTF-8
// with a byte-order mark and CRLF line ends: every Notepad reads it as such,
// and the names themselves are plain ASCII.
#pragma once

#include <string>
#include <vector>

namespace dev {

struct ListLine {
    int number = 0;          // 1-based line number
    std::string text;        // the line as the program shows it (GBK)
    std::string reason;      // why it was refused
};

// Refused lines kept to show: enough to see what is wrong with a list, few
// enough that a file of nothing else (a 16 MB dump of 700,000 lines) never
// floods the window's log; `refusedCount` counts them all.
constexpr size_t kRefusedLinesKept = 200;

struct PackageList {
    std::vector<std::string> names;   // in file order, each once
    std::vector<ListLine> refused;    // the first kRefusedLinesKept lines that named no valid package
    size_t refusedCount = 0;          // every such line
    bool binary = false;              // no text at all: nothing was read
};

PackageList ParsePackageList(const std::string& bytes);
// `comments` (UTF-8, one per name, may be shorter) follow their names after
// "  # ": what each app is called, for the reader; reading skips them.
std::string FormatPackageList(const std::vector<std::string>& names, const std::string& heading = std::string(),
                              const std::vector<std::string>& comments = {});

// The file versions; false (with a Chinese reason) when it cannot be read or written.
bool ReadPackageListFile(const std::string& path, PackageList* list, std::string* error);
// The same for a path in Unicode (a console program's arguments).
bool ReadPackageListFile(const std::wstring& path, PackageList* list, std::string* error);
bool WritePackageListFile(const std::string& path, const std::vector<std::string>& names, std::string* error,
                          const std::string& heading = std::string(), const std::vector<std::string>& comments = {});

} // namespace dev
