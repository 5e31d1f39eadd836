#include "lockedfile.h"

#include <windows.h>
#include <shlobj.h>
#include "text/text.h"

namespace dev {

namespace {

// The lock sits far beyond any data, so readers never meet it.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

void MakeFolders(const std::string& file) {
    for (size_t i = file.find_first_of("\\/", 3); i != std::string::npos; i = file.find_first_of("\\/", i + 1))
        CreateDirectoryA(file.substr(0, i).c_str(), nullptr);
}

// "拒绝访问（错误 5）": the system's own words where it has them.
std::string SystemError(DWORD code) {
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    std::string said = n ? text::OneLine(std::string(text, n), 120) : std::string();
    for (;;) {
        if (!said.empty() && (said.back() == '.' || said.back() == ' ')) said.pop_back();
        else if (said.size() >= 2 && said.compare(said.size() - 2, 2, "。") == 0) said.resize(said.size() - 2);
        else break;
    }
    return (said.empty() ? std::string() : said + "，") + "错误 " + std::to_string(code);
}

// Runs `work` on the open file while holding its lock.
bool WithLock(const std::string& path, std::string* error, const std::function<bool(HANDLE)>& work) {
    MakeFolders(path);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = "无法打开 " + path + "（" + SystemError(GetLastError()) + "）";
        return false;
    }
    OVERLAPPED lockAt = {};
    lockAt.OffsetHigh = kLockOffsetHigh;
    bool ok = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
    if (ok) {
        ok = work(h);
        if (!ok && error) *error = "写入 " + path + " 没有完成（" + SystemError(GetLastError()) + "）";
        UnlockFileEx(h, 0, 1, 0, &lockAt);
    } else if (error) {
        *error = "无法锁定 " + path + "（" + SystemError(GetLastError()) + "）";
    }
    CloseHandle(h);
    return ok;
}

bool WriteAll(HANDLE h, const std::string& text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

} // namespace

namespace {

// The shell's library is loaded when a file of the tool's is first looked
// for, and kept for the run: under Wine it is a large library, and linking
// it would load it at every start of the program.
HRESULT LocalAppDataFolder(char* folder) {
    using FolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    static const FolderPath get = [] {
        HMODULE shell = LoadLibraryA("SHELL32.DLL");
        FARPROC found = shell ? GetProcAddress(shell, "SHGetFolderPathA") : nullptr;
        return reinterpret_cast<FolderPath>(reinterpret_cast<void (*)()>(found));
    }();
    return get ? get(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder) : E_NOTIMPL;
}

} // namespace

std::string ToolDataFile(const char* name) {
    char folder[MAX_PATH] = "";
    if (FAILED(LocalAppDataFolder(folder))) {
        DWORD n = GetEnvironmentVariableA("LOCALAPPDATA", folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) folder[0] = 0;
    }
    return std::string(folder) + "\\adbtool\\" + name;
}

bool AppendLocked(const std::string& path, const std::string& lines, std::string* error) {
    if (lines.empty()) return true;
    return WithLock(path, error, [&](HANDLE h) {
        // Inside the lock the end is stable: a torn line left by a killed
        // writer gets its end first, so these lines stand on their own.
        std::string text = lines;
        LARGE_INTEGER size = {}, zero = {};
        GetFileSizeEx(h, &size);
        if (size.QuadPart > 0) {
            LARGE_INTEGER last;
            last.QuadPart = size.QuadPart - 1;
            char c = '\n';
            DWORD got = 0;
            SetFilePointerEx(h, last, nullptr, FILE_BEGIN);
            if (ReadFile(h, &c, 1, &got, nullptr) && got == 1 && c != '\n') text.insert(0, "\n");
        }
        SetFilePointerEx(h, zero, nullptr, FILE_END);
        return WriteAll(h, text);
    });
}

bool RewriteLocked(const std::string& path, const std::string& text, std::string* error) {
    return WithLock(path, error, [&](HANDLE h) {
        LARGE_INTEGER zero = {};
        SetFilePointerEx(h, zero, nullptr, FILE_BEGIN);
        return WriteAll(h, text) && SetEndOfFile(h);
    });
}

bool UpdateLocked(const std::string& path, const std::function<bool(std::string& bytes)>& change, std::string* error) {
    return WithLock(path, error, [&](HANDLE h) {
        std::string bytes;
        char buf[65536];
        DWORD got = 0;
        LARGE_INTEGER zero = {};
        SetFilePointerEx(h, zero, nullptr, FILE_BEGIN);
        while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
        if (!change(bytes)) return true;
        SetFilePointerEx(h, zero, nullptr, FILE_BEGIN);
        return WriteAll(h, bytes) && SetEndOfFile(h);
    });
}

unsigned long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return 0;
    return (static_cast<unsigned long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

std::string ReadShared(const std::string& path) {
    std::string bytes;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    return bytes;
}

void ForEachWholeLine(const std::string& bytes, const std::function<void(const std::string&)>& line) {
    size_t start = 0;
    for (;;) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) return;   // a torn last line
        size_t stop = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        line(bytes.substr(start, stop - start));
        start = end + 1;
    }
}

} // namespace dev
