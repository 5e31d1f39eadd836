#include "lists.h"

#include <windows.h>
#include <algorithm>
#include "names.h"
#include "text/text.h"

namespace dev {

namespace {

constexpr DWORD kLargestList = 16 * 1024 * 1024;
// A text file has a control byte (other than tabs and line ends) at most this
// rarely; a binary one has a NUL among every few hundred bytes and a control
// byte among every eight or so.
constexpr size_t kTextBytesPerControl = 32;

// The line in the program's code page, whichever the file used.
std::string Shown(const std::string& line, bool utf8) { return text::OneLine(utf8 ? text::Utf8ToGbk(line) : line, 120); }

bool LooksLikeText(const std::string& text, size_t from) {
    size_t control = 0;
    for (size_t i = from; i < text.size(); i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == 0) return false;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || c == 0x7F) control++;
    }
    return control * kTextBytesPerControl <= text.size() - from;
}

// The first of each name, in file order; sorting indexes instead of keeping
// a set of names holds no second copy of a list of hundreds of thousands.
void KeepFirstOfEach(std::vector<std::string>* names) {
    std::vector<std::string>& n = *names;
    std::vector<size_t> order(n.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&n](size_t a, size_t b) { return n[a] < n[b]; });
    std::vector<bool> again(n.size(), false);
    for (size_t k = 1; k < order.size(); k++) again[order[k]] = n[order[k]] == n[order[k - 1]];
    size_t kept = 0;
    for (size_t i = 0; i < n.size(); i++) {
        if (again[i]) continue;
        if (kept != i) n[kept] = std::move(n[i]);
        kept++;
    }
    n.resize(kept);
}

} // namespace

PackageList ParsePackageList(const std::string& bytes) {
    PackageList list;
    std::string decoded;   // UTF-16 files only
    const std::string* text = &bytes;
    size_t from = 0;
    bool utf8 = true;
    if (text::StartsWith(bytes, "\xFF\xFE") || text::StartsWith(bytes, "\xFE\xFF")) {
        decoded = text::Utf16ToUtf8(bytes.data() + 2, bytes.size() - 2, bytes[0] == '\xFE');
        text = &decoded;
    } else if (text::StartsWith(bytes, "\xEF\xBB\xBF")) {
        from = 3;
    } else {
        utf8 = text::IsUtf8(bytes);
    }
    if (!LooksLikeText(*text, from)) {
        list.binary = true;
        return list;
    }
    int number = 0;
    text::ForEachLine(*text, from, [&](const std::string& line) {
        number++;
        std::string name = text::Trim(line);
        // A comment may follow a name ("com.tencent.mm  # 微信"): no package name holds a '#'.
        size_t hash = name.find('#');
        if (hash != std::string::npos) name = text::Trim(name.substr(0, hash));
        if (name.empty()) return;
        if (text::StartsWith(name, "package:")) {
            name = text::Trim(name.substr(8));
            // "package:/path/base.apk=com.x" as `pm list packages -f` prints it.
            size_t eq = name.rfind('=');
            if (!name.empty() && name[0] == '/' && eq != std::string::npos) name = name.substr(eq + 1);
        }
        if (IsPackageName(name)) {
            list.names.push_back(name);
            return;
        }
        if (list.refusedCount++ < kRefusedLinesKept)
            list.refused.push_back(ListLine{number, Shown(line, utf8), RefusalText(name)});
    });
    KeepFirstOfEach(&list.names);
    return list;
}

std::string FormatPackageList(const std::vector<std::string>& names, const std::string& heading,
                              const std::vector<std::string>& comments) {
    std::string text = "\xEF\xBB\xBF";
    if (!heading.empty()) text += "# " + text::GbkToUtf8(text::OneLine(heading)) + "\r\n";
    for (size_t i = 0; i < names.size(); i++) {
        if (!IsPackageName(names[i])) continue;
        text += names[i];
        std::string comment = i < comments.size() ? text::OneLine(comments[i]) : std::string();
        if (!comment.empty()) text += "  # " + comment;
        text += "\r\n";
    }
    return text;
}

namespace {

// Reads the open file (and closes it); `path` as a message shows it.
bool ReadListFrom(HANDLE h, const std::string& path, PackageList* list, std::string* error) {
    if (h == INVALID_HANDLE_VALUE) {
        *error = "无法打开文件（错误 " + std::to_string(GetLastError()) + "）";
        return false;
    }
    std::string bytes;
    DWORD size = GetFileSize(h, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kLargestList;
    if (ok) {
        bytes.resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(h, &bytes[0], size, &got, nullptr) && got == size);
    }
    CloseHandle(h);
    if (!ok) {
        *error = size > kLargestList && size != INVALID_FILE_SIZE ? "文件太大，不像包名列表" : "无法读取文件";
        return false;
    }
    *list = ParsePackageList(bytes);
    if (list->binary) {
        *error = "不是文本文件：" + path + "（包名列表应是每行一个包名的文本文件）";
        return false;
    }
    return true;
}

} // namespace

bool ReadPackageListFile(const std::string& path, PackageList* list, std::string* error) {
    return ReadListFrom(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
                        path, list, error);
}

bool ReadPackageListFile(const std::wstring& path, PackageList* list, std::string* error) {
    int n = WideCharToMultiByte(936, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string shown(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    WideCharToMultiByte(936, 0, path.c_str(), -1, &shown[0], n, nullptr, nullptr);
    shown.resize(shown.size() - 1);
    return ReadListFrom(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
                        shown, list, error);
}

bool WritePackageListFile(const std::string& path, const std::vector<std::string>& names, std::string* error,
                          const std::string& heading, const std::vector<std::string>& comments) {
    std::string text = FormatPackageList(names, heading, comments);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = "无法写入文件（错误 " + std::to_string(GetLastError()) + "）";
        return false;
    }
    DWORD written = 0;
    bool ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(h);
    if (!ok) *error = "写入文件没有完成";
    return ok;
}

} // namespace dev
