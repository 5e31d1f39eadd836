#include "lists.h"

#include <windows.h>
#include <set>
#include "names.h"
#include "text.h"

namespace dev {

namespace {

constexpr DWORD kLargestList = 16 * 1024 * 1024;

// The line in the program's code page, whichever the file used.
std::string Shown(const std::string& line, bool utf8) { return OneLine(utf8 ? Utf8ToGbk(line) : line, 120); }

} // namespace

PackageList ParsePackageList(const std::string& raw) {
    PackageList list;
    std::string bytes = raw;
    bool utf8 = false;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
        utf8 = true;
    } else {
        utf8 = IsUtf8(bytes);
    }
    std::set<std::string> seen;
    int number = 0;
    for (const std::string& line : SplitLines(bytes)) {
        number++;
        std::string name = Trim(line);
        if (name.empty() || name[0] == '#') continue;
        if (StartsWith(name, "package:")) {
            name = Trim(name.substr(8));
            // "package:/path/base.apk=com.x" as `pm list packages -f` prints it.
            size_t eq = name.rfind('=');
            if (!name.empty() && name[0] == '/' && eq != std::string::npos) name = name.substr(eq + 1);
        }
        if (!IsPackageName(name)) {
            list.refused.push_back(ListLine{number, Shown(line, utf8), RefusalText(name)});
            continue;
        }
        if (seen.insert(name).second) list.names.push_back(name);
    }
    return list;
}

std::string FormatPackageList(const std::vector<std::string>& names, const std::string& heading) {
    std::string text = "\xEF\xBB\xBF";
    if (!heading.empty()) text += "# " + GbkToUtf8(OneLine(heading)) + "\r\n";
    for (const std::string& n : names)
        if (IsPackageName(n)) text += n + "\r\n";
    return text;
}

namespace {

// Reads the open file (and closes it).
bool ReadListFrom(HANDLE h, PackageList* list, std::string* error) {
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
    return true;
}

} // namespace

bool ReadPackageListFile(const std::string& path, PackageList* list, std::string* error) {
    return ReadListFrom(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
                        list, error);
}

bool ReadPackageListFile(const std::wstring& path, PackageList* list, std::string* error) {
    return ReadListFrom(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
                        list, error);
}

bool WritePackageListFile(const std::string& path, const std::vector<std::string>& names, std::string* error,
                          const std::string& heading) {
    std::string text = FormatPackageList(names, heading);
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
