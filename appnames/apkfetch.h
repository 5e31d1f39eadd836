// Pieces of files on a phone in one adb process: a list of requests (a
// command's whole output, or a byte range of a file, gzipped on the phone
// where it can) becomes one script for `adb exec-out`, whose output is read
// back into one piece per request. Plain functions: requests in, script out;
// output in, pieces out.
//
// Frame: the script prints a marker line before each piece and one after
// the last: `<marker><index>\n`. The marker holds a random word chosen per
// run, so bytes of an APK (someone else's file) cannot forge a frame; a
// range piece's length is known in advance and checked by the caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace appnames {

struct PieceRequest {
    std::string command;     // a command whose output (standard output only) is the piece...
    std::string file;        // ...or, when `command` is empty, bytes of this file:
    uint64_t offset = 0;
    uint64_t size = 0;
    bool gzip = false;       // compressed on the phone (Android 8 on), inflated here
};

// The phone's first Android versions with the tools used here (AOSP
// system/core/shell_and_utilities/README.md; toybox replaced toolbox in 6).
constexpr int kApiToybox = 23;         // stat, tail -c
constexpr int kApiGzip = 26;           // gzip, zcat
constexpr int kApiDdBytes = 30;        // dd iflag=skip_bytes,count_bytes

// A file path that may go into the script: absolute, no quote, no control
// character (paths come from the phone's own `pm` output).
bool IsSafePhonePath(const std::string& path);

// A random marker for one run.
std::string NewFrameMarker();

// The script for `requests` on a phone of API level `api`. Before Android
// 11 dd counts blocks only: a range is read in 512-byte blocks and trimmed
// here.
std::string BuildFetchScript(const std::vector<PieceRequest>& requests, int api, const std::string& marker);

// The pieces of that script's output, one per request, trimmed and
// inflated; false when the output is cut short (a piece whose end marker
// did not arrive). `ok[i]` is false for a gzip piece that would not inflate
// within `cap` bytes.
bool ReadFetchOutput(const std::string& out, const std::vector<PieceRequest>& requests, int api,
                     const std::string& marker, uint32_t cap, std::vector<std::string>* pieces,
                     std::vector<bool>* ok);

// A gzip stream's content; false when damaged or larger than `cap`.
bool Gunzip(const std::string& gz, uint32_t cap, std::string* out);

} // namespace appnames
