// A small UI driver: starts the real program in a scratch folder with the
// simulated device, finds its window and units, clicks, types and reads the
// way a person would see it, and ends or watches the process.
#pragma once

#include <windows.h>
#include <string>
#include <vector>
#include "files.h"

namespace test {

// The tool's buttons by caption (GBK).
namespace captions {
inline constexpr char kListDevices[] = "查看设备";
inline constexpr char kForeground[] = "查看当前页面App包名";
inline constexpr char kDisable[] = "禁用";
inline constexpr char kDelete[] = "删除";
inline constexpr char kListDisabled[] = "禁用app的列表";
inline constexpr char kEnable[] = "启用";
} // namespace captions

// Memory in another process for messages whose parameters point at a
// structure: the control reads and writes it in its own address space.
class RemoteMemory {
public:
    RemoteMemory(DWORD pid, size_t size);
    ~RemoteMemory();
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;
    char* At(size_t offset) const { return static_cast<char*>(block_) + offset; }
    bool Write(size_t offset, const void* data, size_t n) const;
    bool Read(size_t offset, void* data, size_t n) const;

private:
    HANDLE process_ = nullptr;
    void* block_ = nullptr;
};

// A visible top-level window of process `pid`, of class `cls` and with the
// title `title` where they are given, or null.
HWND FindProcessWindow(DWORD pid, const char* cls = nullptr, const char* title = nullptr);

// Starts the program `exe` (a full path) in the folder `dir`, as a person
// would: no handles inherited, and the arguments a shortcut may give.
bool StartProgram(const std::string& exe, const std::string& dir, PROCESS_INFORMATION* pi,
                  const std::string& args = std::string());

class ToolUnderTest {
public:
    // Makes a scratch folder under the test executable's folder holding the
    // tool, findstr and (unless `withAdb` is false) adb_1.0.40\adb.exe with
    // `state` as its state file.
    ToolUnderTest(const std::string& name, const std::string& state, bool withAdb = true);
    ~ToolUnderTest();

    bool Start(DWORD timeoutMs = 20000, const std::string& args = std::string());
    HWND Window() const { return window_; }
    HWND Button(const char* caption) const;   // by its GBK caption
    HWND Edit() const;
    HWND Log() const;

    std::string Text(HWND h) const;            // the text as shown, CR LF turned into LF
    void SetText(HWND h, const std::string& text) const;
    void Click(HWND button) const;

    // Commands adb received, one raw command line each.
    std::vector<std::string> AdbLog() const;
    // Clicks and waits until adb received one more command (when expected)
    // and the button is enabled again.
    bool ClickAndWait(const char* caption, bool expectCommand = true, DWORD timeoutMs = 20000);
    // Waits until `pred` holds, pumping nothing of ours; false on time-out.
    template <class F>
    bool WaitFor(F pred, DWORD timeoutMs = 20000) const {
        DWORD start = GetTickCount();
        while (!pred()) {
            if (GetTickCount() - start > timeoutMs) return false;
            Sleep(10);
        }
        return true;
    }

    void Close() const;
    // Ends the process as Task Manager does, and waits for its end; Start may follow.
    void Kill();
    // Waits for the process to end; its exit code, or 0xDEADDEAD on time-out.
    DWORD WaitExit(DWORD timeoutMs = 20000);
    bool Running() const;
    DWORD ProcessId() const { return pi_.dwProcessId; }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    PROCESS_INFORMATION pi_ = {};
    HWND window_ = nullptr;
};

} // namespace test
