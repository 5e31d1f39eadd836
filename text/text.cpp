#include "text.h"

#include <algorithm>

#include <windows.h>

namespace text {

namespace {

constexpr UINT kGbk = 936;

std::string Narrow(const std::wstring& w, UINT to) {
    if (w.empty()) return std::string();
    int wide = static_cast<int>(w.size());
    int bytes = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, &out[0], bytes, nullptr, nullptr);
    return out;
}

std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &w[0], wide);
    return Narrow(w, to);
}

} // namespace

void ForEachLine(const std::string& text, size_t from, const std::function<void(const std::string& line)>& take) {
    size_t start = from;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        while (stop > start && text[stop - 1] == '\r') stop--;
        take(text.substr(start, stop - start));
        start = next;
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    ForEachLine(text, 0, [&lines](const std::string& line) { lines.push_back(line); });
    return lines;
}

std::vector<std::string> WholeLines(const std::string& text) {
    size_t last = text.rfind('\n');
    return last == std::string::npos ? std::vector<std::string>() : SplitLines(text.substr(0, last + 1));
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return parts;
        start = tab + 1;
    }
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0; }

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

bool IsUtf8(const std::string& bytes) {
    size_t i = 0, n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 99;
        if (extra == 99 || (extra == 1 && c < 0xC2) || i + extra >= n) return false;
        for (size_t k = 1; k <= extra; k++)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

std::string Utf8ToGbk(const std::string& utf8) { return Convert(utf8, CP_UTF8, kGbk); }
std::string GbkToUtf8(const std::string& gbk) { return Convert(gbk, kGbk, CP_UTF8); }

// By hand: the Windows API converts UTF-16 only in the machine's own byte order.
std::string Utf16ToUtf8(const char* bytes, size_t size, bool bigEndian) {
    std::wstring w(size / 2, L'\0');
    for (size_t i = 0; i < w.size(); i++) {
        unsigned first = static_cast<unsigned char>(bytes[2 * i]);
        unsigned second = static_cast<unsigned char>(bytes[2 * i + 1]);
        w[i] = static_cast<wchar_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return Narrow(w, CP_UTF8);
}

std::string OneLine(const std::string& text, size_t limit) {
    // A character's bytes stay together and are never cut: UTF-8 sequences
    // in a UTF-8 text, else GBK pairs. A byte that cannot follow a GBK lead
    // (below 0x40: a tab, a line end) starts a character of its own, so a
    // control byte never passes as half of a character.
    const bool utf8 = IsUtf8(text);
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = 1;
        if (utf8 && c >= 0xC0) {
            n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        } else if (!utf8 && c >= 0x81 && c <= 0xFE && i + 1 < text.size()) {
            unsigned char t = static_cast<unsigned char>(text[i + 1]);
            if (t >= 0x40 && t <= 0xFE && t != 0x7F) n = 2;
        }
        n = std::min(n, text.size() - i);
        if (n == 1 && (c < 0x20 || c == 0x7F)) c = ' ';
        if (c == ' ' && (out.empty() || out.back() == ' ')) {
            i++;
            continue;
        }
        if (out.size() + n > limit) break;
        if (n == 1) out += static_cast<char>(c);
        else out.append(text, i, n);
        i += n;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

} // namespace text
