#include "uidriver.h"

#include <richedit.h>
#include <cstring>
#include "child.h"

namespace test {

namespace {

struct WindowSearch {
    DWORD pid;
    const char* cls;
    const char* title;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND h, LPARAM lp) {
    WindowSearch* s = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != s->pid || !IsWindowVisible(h)) return TRUE;
    char text[256];
    if (s->cls && (GetClassNameA(h, text, sizeof text), std::strcmp(text, s->cls) != 0)) return TRUE;
    if (s->title && (GetWindowTextA(h, text, sizeof text), std::strcmp(text, s->title) != 0)) return TRUE;
    s->found = h;
    return FALSE;
}

struct ChildSearch {
    const char* cls;
    const char* text;
    HWND found;
};

BOOL CALLBACK FindChild(HWND h, LPARAM lp) {
    ChildSearch* s = reinterpret_cast<ChildSearch*>(lp);
    char cls[64], text[256];
    GetClassNameA(h, cls, sizeof cls);
    if (lstrcmpiA(cls, s->cls) != 0) return TRUE;
    if (s->text) {
        GetWindowTextA(h, text, sizeof text);
        if (std::strcmp(text, s->text) != 0) return TRUE;
    }
    s->found = h;
    return FALSE;
}

// The process's top-level window that holds the 查看设备 button: the
// start-up window, whichever other windows (应用管理) opened with it.
struct StartupSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindStartup(HWND h, LPARAM lp) {
    StartupSearch* s = reinterpret_cast<StartupSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    char cls[64];
    if (pid != s->pid || !IsWindowVisible(h) || (GetClassNameA(h, cls, sizeof cls), std::strcmp(cls, "RVWindow") != 0))
        return TRUE;
    ChildSearch button{"Button", captions::kListDevices, nullptr};
    EnumChildWindows(h, FindChild, reinterpret_cast<LPARAM>(&button));
    if (!button.found) return TRUE;
    s->found = h;
    return FALSE;
}

} // namespace


HWND FindProcessWindow(DWORD pid, const char* cls, const char* title) {
    WindowSearch s{pid, cls, title, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

ToolUnderTest::ToolUnderTest(const std::string& name, const std::string& state, bool withAdb) {
    std::string exeDir = ExeDir();
    std::string build = exeDir.substr(0, exeDir.find_last_of('\\'));
    folder_ = exeDir + "\\e2e-" + name;
    CreateDirectoryA(folder_.c_str(), nullptr);
    CopyFileA((build + "\\adbtool.exe").c_str(), (folder_ + "\\adbtool.exe").c_str(), FALSE);
    CopyFileA((build + "\\findstr.exe").c_str(), (folder_ + "\\findstr.exe").c_str(), FALSE);
    std::string adbDir = folder_ + "\\adb_1.0.40";
    if (withAdb) {
        CreateDirectoryA(adbDir.c_str(), nullptr);
        CopyFileA((build + "\\adb_1.0.40\\adb.exe").c_str(), (adbDir + "\\adb.exe").c_str(), FALSE);
        WriteFileText(adbDir + "\\adb_state.txt", state);
        DeleteFileA((adbDir + "\\adb_log.txt").c_str());
    } else {
        DeleteFileA((adbDir + "\\adb.exe").c_str());
        RemoveDirectoryA(adbDir.c_str());
    }
}

ToolUnderTest::~ToolUnderTest() {
    if (pi_.hProcess) {
        if (Running()) {
            TerminateProcess(pi_.hProcess, 0xDEAD);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
}

bool StartProgram(const std::string& exe, const std::string& dir, PROCESS_INFORMATION* pi, const std::string& args) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string cmd = "\"" + exe + "\"" + (args.empty() ? std::string() : " " + args);
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, pi) != FALSE;
}

void ToolUnderTest::Kill() {
    if (!pi_.hProcess) return;
    TerminateProcess(pi_.hProcess, 1);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
    pi_ = PROCESS_INFORMATION{};
    window_ = nullptr;
}

bool ToolUnderTest::Start(DWORD timeoutMs, const std::string& args) {
    if (pi_.hProcess) {   // a second start: the first run has ended
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
        pi_ = PROCESS_INFORMATION{};
    }
    if (!StartProgram(folder_ + "\\adbtool.exe", folder_, &pi_, args)) return false;
    return WaitFor([&] {
        StartupSearch s{pi_.dwProcessId, nullptr};
        EnumWindows(FindStartup, reinterpret_cast<LPARAM>(&s));
        window_ = s.found;
        return window_ != nullptr;
    }, timeoutMs);
}

HWND ToolUnderTest::Button(const char* caption) const {
    ChildSearch s{"Button", caption, nullptr};
    EnumChildWindows(window_, FindChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND ToolUnderTest::Edit() const {
    ChildSearch s{"Edit", nullptr, nullptr};
    EnumChildWindows(window_, FindChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND ToolUnderTest::Log() const {
    ChildSearch s{"RichEdit20A", nullptr, nullptr};
    EnumChildWindows(window_, FindChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

namespace {

// A rich edit box is read piece by piece through memory of its process: a
// log of tens of megabytes read whole would need a buffer of its size there,
// and twice that again inside Wine's control, which a nearly full address
// space cannot always give.
std::string RichEditText(HWND h) {
    constexpr LONG kPiece = 1 << 18;   // characters; GBK takes up to two bytes each
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    RemoteMemory mem(pid, sizeof(GETTEXTLENGTHEX) + sizeof(TEXTRANGEA) + 2 * kPiece + 1);
    GETTEXTLENGTHEX count = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    if (!mem.Write(0, &count, sizeof count)) return std::string();
    LONG total = static_cast<LONG>(SendMessageA(h, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(mem.At(0)), 0));
    const size_t range = sizeof count, text = range + sizeof(TEXTRANGEA);
    std::string s, piece(2 * kPiece + 1, '\0');
    for (LONG at = 0; at < total; at += kPiece) {
        TEXTRANGEA r = {{at, at + kPiece < total ? at + kPiece : total}, mem.At(text)};
        std::string zero(piece.size(), '\0');
        if (!mem.Write(range, &r, sizeof r) || !mem.Write(text, zero.data(), zero.size())) break;
        SendMessageA(h, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(mem.At(range)));
        if (!mem.Read(text, &piece[0], piece.size())) break;
        s.append(piece.c_str());
    }
    return s;
}

} // namespace

RemoteMemory::RemoteMemory(DWORD pid, size_t size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process_) block_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
}

RemoteMemory::~RemoteMemory() {
    if (block_) VirtualFreeEx(process_, block_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
}

bool RemoteMemory::Write(size_t offset, const void* data, size_t n) const {
    return block_ && WriteProcessMemory(process_, At(offset), data, n, nullptr);
}

bool RemoteMemory::Read(size_t offset, void* data, size_t n) const {
    return block_ && ReadProcessMemory(process_, At(offset), data, n, nullptr);
}

std::string ToolUnderTest::Text(HWND h) const {
    char cls[32] = "";
    GetClassNameA(h, cls, sizeof cls);
    std::string s;
    if (lstrcmpiA(cls, "RichEdit20A") == 0) {
        s = RichEditText(h);
    } else {
        // WM_GETTEXTLENGTH from another process can answer 0 under Wine, so
        // ask with a large buffer; one the text filled may have cut it: ask
        // again with twice the room.
        LRESULT n = SendMessageA(h, WM_GETTEXTLENGTH, 0, 0);
        for (size_t room = n < 65536 ? 65536 : 2 * static_cast<size_t>(n) + 2;; room *= 2) {
            s.assign(room, '\0');
            LRESULT got = SendMessageA(h, WM_GETTEXT, static_cast<WPARAM>(room), reinterpret_cast<LPARAM>(&s[0]));
            if (static_cast<size_t>(got) + 2 < room || room >= (1u << 30)) {
                s.resize(static_cast<size_t>(got));
                break;
            }
        }
    }
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\r') {
            out += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n') i++;
        } else {
            out += s[i];
        }
    }
    return out;
}

void ToolUnderTest::SetText(HWND h, const std::string& text) const {
    SendMessageA(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ToolUnderTest::Click(HWND button) const { PostMessageA(button, BM_CLICK, 0, 0); }

std::vector<std::string> ToolUnderTest::AdbLog() const {
    std::string all = ReadFileBytes(folder_ + "\\adb_1.0.40\\adb_log.txt");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool ToolUnderTest::ClickAndWait(const char* caption, bool expectCommand, DWORD timeoutMs) {
    HWND b = Button(caption);
    if (!b) return false;
    size_t before = AdbLog().size();
    std::string logBefore = Text(Log());
    Click(b);
    if (expectCommand) {
        if (!WaitFor([&] { return AdbLog().size() > before; }, timeoutMs)) return false;
    } else {
        // Nothing reaches adb: wait for the handler to have run at all.
        if (!WaitFor([&] { return !IsWindowEnabled(b) || Text(Log()) != logBefore; }, 3000)) return false;
    }
    return WaitFor([&] { return IsWindowEnabled(b) != FALSE; }, timeoutMs);
}

void ToolUnderTest::Close() const { PostMessageA(window_, WM_CLOSE, 0, 0); }

bool ToolUnderTest::Running() const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

DWORD ToolUnderTest::WaitExit(DWORD timeoutMs) {
    if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return 0xDEADDEAD;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

} // namespace test
