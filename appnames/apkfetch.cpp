#include "apkfetch.h"

#include <windows.h>
#include <zlib.h>
#include <cstdio>

namespace appnames {

namespace {

// dd's block before Android 11: small enough that trimming a short range
// wastes little, large enough that a table of megabytes is few reads.
constexpr uint64_t kBlock = 512;

std::string Quote(const std::string& path) { return "'" + path + "'"; }

std::string RangeCommand(const PieceRequest& r, int api) {
    std::string dd = "dd if=" + Quote(r.file);
    if (api >= kApiDdBytes) {
        dd += " iflag=skip_bytes,count_bytes skip=" + std::to_string(r.offset) + " count=" + std::to_string(r.size);
    } else {
        uint64_t first = r.offset / kBlock, end = (r.offset + r.size + kBlock - 1) / kBlock;
        dd += " bs=" + std::to_string(kBlock) + " skip=" + std::to_string(first) + " count=" + std::to_string(end - first);
    }
    dd += " 2>/dev/null";
    if (r.gzip && api >= kApiGzip) dd += " | gzip -1";
    return dd;
}

std::string MarkerLine(const std::string& marker, size_t index) { return marker + std::to_string(index) + "\n"; }

} // namespace

bool IsSafePhonePath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > 1024) return false;
    for (unsigned char c : path)
        if (c < 0x20 || c == '\'' || c == 0x7F) return false;
    return true;
}

std::string NewFrameMarker() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    unsigned long long v = static_cast<unsigned long long>(t.QuadPart) ^
                           (static_cast<unsigned long long>(GetCurrentThreadId()) << 40) ^
                           (static_cast<unsigned long long>(GetTickCount()) << 20);
    v = v * 6364136223846793005ULL + 1442695040888963407ULL;
    char s[40];
    std::snprintf(s, sizeof s, "@adbtool-%016llx-", v);
    return s;
}

std::string BuildFetchScript(const std::vector<PieceRequest>& requests, int api, const std::string& marker) {
    std::string script;
    for (size_t i = 0; i < requests.size(); i++) {
        const PieceRequest& r = requests[i];
        script += "echo " + marker + std::to_string(i) + ";";
        script += (r.command.empty() ? RangeCommand(r, api) : r.command + " 2>/dev/null") + ";";
    }
    return script + "echo " + marker + std::to_string(requests.size());
}

bool Gunzip(const std::string& gz, uint32_t cap, std::string* out) {
    z_stream z = {};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
    std::string content;
    char buf[65536];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
    z.avail_in = static_cast<uInt>(gz.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        content.append(buf, sizeof buf - z.avail_out);
        if (content.size() > cap) rc = Z_MEM_ERROR;
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_BUF_ERROR;
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) return false;
    out->swap(content);
    return true;
}

bool ReadFetchOutput(const std::string& out, const std::vector<PieceRequest>& requests, int api,
                     const std::string& marker, uint32_t cap, std::vector<std::string>* pieces,
                     std::vector<bool>* ok) {
    pieces->assign(requests.size(), std::string());
    ok->assign(requests.size(), false);
    std::string first = MarkerLine(marker, 0);
    size_t at = out.find(first);
    if (at == std::string::npos) return false;
    at += first.size();
    for (size_t i = 0; i < requests.size(); i++) {
        std::string next = MarkerLine(marker, i + 1);
        size_t end = out.find(next, at);
        if (end == std::string::npos) return false;
        std::string piece = out.substr(at, end - at);
        at = end + next.size();
        const PieceRequest& r = requests[i];
        bool good = true;
        if (r.command.empty() && r.gzip && api >= kApiGzip) {
            std::string raw;
            good = Gunzip(piece, cap, &raw);
            piece.swap(raw);
        }
        if (r.command.empty() && api < kApiDdBytes) {
            uint64_t skip = r.offset % kBlock;
            piece = skip < piece.size() ? piece.substr(static_cast<size_t>(skip), static_cast<size_t>(r.size))
                                        : std::string();
        }
        (*pieces)[i].swap(piece);
        (*ok)[i] = good;
    }
    return true;
}

} // namespace appnames
