// The console command runner against real child processes: the command
// interpreter starting the simulated device bridge (adb.exe) and findstr.exe
// from a scratch folder beside this test, with the runtime started in
// process as the program starts it.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>
#include "app/runner.h"
#include "app/program.h"
#include "app/support.h"
#include "data/program.h"
#include "runtime/app.h"
#include "runtime/dll.h"
#include "runtime/services.h"
#include "runtime/syscalls.h"
#include "tests/doubles/pattern.h"
#include "tests/support/child.h"
#include "tests/support/files.h"

namespace {

using rt::kServices;

std::string gScratch;   // holds adb_1.0.40\adb.exe and findstr.exe

std::string StatePath() { return gScratch + "\\adb_1.0.40\\adb_state.txt"; }
std::string LogPath() { return gScratch + "\\adb_1.0.40\\adb_log.txt"; }
std::string Adb(const std::string& args) { return gScratch + "\\adb_1.0.40\\adb " + args; }

bool CopyInto(const std::string& from, const std::string& to) {
    // A daemon left from an earlier run may still hold the old copy open.
    return CopyFileA(from.c_str(), to.c_str(), FALSE) || GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The runtime as the program's start routine leaves it, and the doubles in
// the current directory, where the interpreter looks for findstr first.
void StartRuntimeAndScratch() {
    rt::gApp.header = app::Header();
    rt::gApp.exeFolder = test::ExeDir() + "\\";
    kServices.auxiliary(rt::kAuxInitRuntime);

    gScratch = test::ExeDir() + "\\runner_scratch";
    CreateDirectoryA(gScratch.c_str(), nullptr);
    CreateDirectoryA((gScratch + "\\adb_1.0.40").c_str(), nullptr);
    bool ok = CopyInto(test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe", gScratch + "\\adb_1.0.40\\adb.exe") &&
              CopyInto(test::ExeDir() + "\\..\\findstr.exe", gScratch + "\\findstr.exe");
    if (!ok) std::fprintf(stderr, "the doubles are missing beside the build\n");
    SetEnvironmentVariableA("ADBSIM_STATE", nullptr);
    SetEnvironmentVariableA("ADBSIM_LOG", nullptr);
    SetCurrentDirectoryA(gScratch.c_str());
}

void WriteFileText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

std::string ReadFileText(const std::string& path) { return test::ReadFileBytes(path); }

void SetState(const std::string& text) {
    WriteFileText(StatePath(), text);
    DeleteFileA(LogPath().c_str());
}

const char kOneDevice[] =
    "device emulator-5554 device\n"
    "package com.example.app enabled\n"
    "package com.example.old disabled-user\n"
    "focus com.example.app/com.example.app.MainActivity\n";

const char kDeviceList[] = "List of devices attached\r\nemulator-5554\tdevice\r\n\r\n";

struct Output {
    bool null = true;
    std::string text;
    bool operator==(const Output& o) const { return null == o.null && text == o.text; }
};
std::ostream& operator<<(std::ostream& os, const Output& o) { return os << (o.null ? "<null>" : "\"" + o.text + "\""); }
Output Text(const std::string& s) { return Output{false, s}; }
const Output kNull;

// Runs a command line the way a handler does: a runtime text passed by
// reference, the result freed with the memory service.
Output RunCommand(const std::string& line) {
    char* command = app::Concat(1, line.c_str());
    char* const given = command;
    char* result = app::RunConsoleCommand(&command);
    EXPECT_EQ(command, given) << "the caller's variable changed";
    EXPECT_EQ(std::string(command), line) << "the caller's text changed";
    Output out;
    if (result) {
        out.null = false;
        out.text = result;
        EXPECT_EQ(HeapSize(GetProcessHeap(), 0, result), out.text.size() + 1) << "a text block is exactly its size";
    }
    kServices.free(result);
    kServices.free(command);
    return out;
}

class Runner : public ::testing::Test {
protected:
    void TearDown() override {
        rt::ResetSyscalls();
        const rt::ProgramHeader* h = app::Header();
        rt::DllInitTables(h->dllCount, h->dllLibraryNames, h->dllFunctionNames);
    }
};

// --- outputs -------------------------------------------------------------------

TEST_F(Runner, DeviceActionsAnswerThroughTheInterpreter) {
    SetState(kOneDevice);
    EXPECT_EQ(RunCommand(Adb("devices")), Text(kDeviceList));
    EXPECT_EQ(RunCommand(Adb("shell pm disable-user com.example.app")),
              Text("Package com.example.app new state: disabled-user\n"));
    EXPECT_EQ(RunCommand(Adb("shell pm list packages -d")), Text("package:com.example.app\npackage:com.example.old\n"));
    EXPECT_EQ(RunCommand(Adb("shell pm enable com.example.app")), Text("Package com.example.app new state: enabled\n"));
    EXPECT_EQ(RunCommand(Adb("shell pm uninstall -k --user 0 com.example.old")), Text("Success\n"));
    EXPECT_EQ(RunCommand(Adb("shell pm uninstall -k --user 0 com.example.old")), Text("Failure [not installed for 0]\n"));
    EXPECT_EQ(RunCommand(Adb("shell dumpsys window | findstr mCurrentFocus")),
              Text("  mCurrentFocus=Window{1f2e3d4 u0 com.example.app/com.example.app.MainActivity}\n"));

    // What reached adb: the line after the interpreter prefix, unchanged.
    std::string log = ReadFileText(LogPath());
    std::string want = Adb("devices") + "\n" + Adb("shell pm disable-user com.example.app") + "\n" +
                       Adb("shell pm list packages -d") + "\n" + Adb("shell pm enable com.example.app") + "\n" +
                       Adb("shell pm uninstall -k --user 0 com.example.old") + "\n" +
                       Adb("shell pm uninstall -k --user 0 com.example.old") + "\n";
    ASSERT_GE(log.size(), want.size());
    EXPECT_EQ(log.substr(0, want.size()), want);
    EXPECT_EQ(log.substr(want.size(), Adb("shell dumpsys window").size()), Adb("shell dumpsys window"));
}

// A command that begins and ends with a quote: without the runner's own
// pair around it, the interpreter would take those two away and split the
// program's path at the blank.
TEST_F(Runner, QuotesInTheCommandReachTheInterpreterAsWritten) {
    SetState(kOneDevice);
    std::string folder = gScratch + "\\with blank (1)";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "\\adb_1.0.40").c_str(), nullptr);
    CopyInto(gScratch + "\\adb_1.0.40\\adb.exe", folder + "\\adb_1.0.40\\adb.exe");
    SetEnvironmentVariableA("ADBSIM_STATE", StatePath().c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", LogPath().c_str());
    const std::string line = "\"" + folder + "\\adb_1.0.40\\adb\" shell pm enable \"com.example.old\"";
    Output out = RunCommand(line);
    SetEnvironmentVariableA("ADBSIM_STATE", nullptr);
    SetEnvironmentVariableA("ADBSIM_LOG", nullptr);
    EXPECT_EQ(out, Text("Package com.example.old new state: enabled\n"));
    EXPECT_EQ(ReadFileText(LogPath()), line + "\n");
}

TEST_F(Runner, StandardErrorSharesThePipeInOrder) {
    SetState("");
    EXPECT_EQ(RunCommand(Adb("shell pm list packages -d")), Text("error: no devices/emulators found\r\n"));
    SetState("device a device\ndevice b device\n");
    EXPECT_EQ(RunCommand(Adb("shell pm enable x")), Text("error: more than one device/emulator\r\n"));

    SetState(std::string(kOneDevice) + "interleave 4\n");
    EXPECT_EQ(RunCommand(Adb("devices")),
              Text("out 1\r\nerr 1\r\nout 2\r\nerr 2\r\nout 3\r\nerr 3\r\nout 4\r\nerr 4\r\n" + std::string(kDeviceList)));
}

TEST_F(Runner, NothingWrittenGivesNull) {
    SetState("device emulator-5554 device\npackage com.example.app enabled\n");
    EXPECT_EQ(RunCommand(Adb("shell pm list packages -d")), kNull);
}

TEST_F(Runner, MissingAdbFolderGivesTheInterpretersMessage) {
    SetState(kOneDevice);
    std::string missing = gScratch + "\\nowhere\\adb_1.0.40\\adb";
    Output out = RunCommand(missing + " devices");
    ASSERT_FALSE(out.null);
    EXPECT_NE(out.text.find(missing), std::string::npos) << out.text;
    EXPECT_EQ(ReadFileText(LogPath()), "") << "adb did not run";
}

TEST_F(Runner, BytesPassUnchangedExceptZeroBytes) {
    // Bytes that are no GBK characters, and zero bytes at the start, in the
    // middle (twice) and at the end of what the command writes.
    SetState(std::string(kOneDevice) + "raw 00 41 80 FF 00 00 42 FE 00 43 81 00\n");
    EXPECT_EQ(RunCommand(Adb("devices")), Text("A\x80\xFF" "B\xFE" "C\x81" + std::string(kDeviceList)));
}

TEST_F(Runner, TenMegabytesWholeAndInOrder) {
    const uint64_t kSize = 10u << 20;
    SetState("device emulator-5554 device\npad 10485760\n");
    Output out = RunCommand(Adb("shell pm list packages -d"));
    std::string want;
    want.reserve(kSize);
    sim::AppendPadding(&want, 0, kSize);
    ASSERT_FALSE(out.null);
    EXPECT_EQ(out.text.size(), want.size());
    size_t at = 0;
    while (at < out.text.size() && at < want.size() && out.text[at] == want[at]) at++;
    EXPECT_EQ(at, want.size()) << "first difference at byte " << at << ": got \""
                               << out.text.substr(at - at % 64, 64) << "\"";
}

// The processes named adb.exe that run now.
std::set<DWORD> AdbProcesses() {
    std::set<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    for (BOOL more = Process32First(snap, &e); more; more = Process32Next(snap, &e))
        if (lstrcmpiA(e.szExeFile, "adb.exe") == 0) pids.insert(e.th32ProcessID);
    CloseHandle(snap);
    return pids;
}

TEST_F(Runner, EndsWithTheCommandThoughADaemonKeepsThePipeOpen) {
    // The daemon also holds whatever else this process let it inherit (the
    // test driver's output pipe among them), so it lives only 10 s.
    SetState(std::string(kOneDevice) + "daemon 10000\n");
    std::set<DWORD> before = AdbProcesses();
    Output out = RunCommand(Adb("devices"));
    std::set<DWORD> after = AdbProcesses();
    EXPECT_EQ(out, Text("* daemon not running; starting now at tcp:5037\r\n* daemon started successfully\r\n" +
                        std::string(kDeviceList)));
    // The daemon still runs, so the runner did not wait for its end of the
    // pipe. Ended here: it would hold the test driver's output too.
    int daemons = 0;
    for (DWORD pid : after) {
        if (before.count(pid)) continue;
        HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        if (!p) continue;
        if (WaitForSingleObject(p, 0) == WAIT_TIMEOUT) {
            daemons++;
            TerminateProcess(p, 0);
        }
        CloseHandle(p);
    }
    EXPECT_EQ(daemons, 1) << "the runner returned after the daemon had ended";
}

// --- a 3 s command while the window keeps working ------------------------------

// Messages of the test window's own; the 0x8000 range belongs to the runtime.
constexpr UINT kMsgCount = WM_USER + 101;
constexpr UINT kMsgNested = WM_USER + 102;

// Nothing but the runner's wait dispatches this thread's messages while the
// test runs, so whatever the window handled, it handled during the command.
int gTimerTicks = 0;
int gHandled = 0;
HANDLE gHandledEvent, gStopEvent;
Output gNested;

LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
    case WM_TIMER: gTimerTicks++; return 0;
    case kMsgCount:
        gHandled++;
        SetEvent(gHandledEvent);
        return 0;
    case kMsgNested:
        // A second command from a handler that runs inside the waiting one.
        gNested = RunCommand("echo nested");
        SetEvent(gHandledEvent);
        return 0;
    default: return DefWindowProcA(w, m, wp, lp);
    }
}

// Posts a message and waits until the window handled it, again and again
// until the command has ended; the fifth is the nested command.
DWORD WINAPI Poster(void* window) {
    HWND w = static_cast<HWND>(window);
    HANDLE events[] = {gStopEvent, gHandledEvent};
    for (int i = 0;; i++) {
        PostMessageA(w, i == 4 ? kMsgNested : kMsgCount, 0, 0);
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) return 0;
        if (WaitForSingleObject(gStopEvent, 50) == WAIT_OBJECT_0) return 0;
    }
}

TEST_F(Runner, WindowMessagesAreDispatchedDuringAThreeSecondCommand) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "RunnerTestWindow";
    RegisterClassA(&wc);
    HWND w = CreateWindowA("RunnerTestWindow", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    SetTimer(w, 1, 50, nullptr);
    gTimerTicks = 0;
    gHandled = 0;
    gNested = Output();
    gHandledEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    gStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    SetState(std::string(kOneDevice) + "delay 3000\n");
    HANDLE poster = CreateThread(nullptr, 0, Poster, w, 0, nullptr);
    DWORD start = GetTickCount();
    Output out = RunCommand(Adb("devices"));
    DWORD end = GetTickCount();
    SetEvent(gStopEvent);
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);
    CloseHandle(gHandledEvent);
    CloseHandle(gStopEvent);
    KillTimer(w, 1);
    DestroyWindow(w);

    EXPECT_EQ(out, Text(kDeviceList));
    EXPECT_GE(end - start, 2900u);
    // A wait that looked at the queue only now and then would let through a
    // few of these round trips in 3 s, not dozens.
    EXPECT_GE(gTimerTicks, 5) << "timer messages during " << end - start << " ms";
    EXPECT_GE(gHandled, 5) << "posted messages handled one by one during " << end - start << " ms";
    EXPECT_EQ(gNested, Text("nested\r\n"));
}

// --- what reaches CreateProcessA; handles -----------------------------------------

// Any function as what GetProcAddress returns.
template <class F>
FARPROC AsProc(F f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f));
}

struct Seen {
    int calls = 0;
    bool applicationNull = false, environmentNull = false, directoryNull = false, attributesNull = false;
    std::string line;
    BOOL inherit = FALSE;
    DWORD flags = 0xFFFFFFFF;
    SIZE_T blockSize = 0;
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process = {};
    HANDLE readHandle = nullptr;
    std::vector<HANDLE> closed;
};
Seen gSeen;
bool gStartForReal = false;
DWORD gPlatform = VER_PLATFORM_WIN32_NT;
bool gRefuseVersion = false;

BOOL WINAPI RecordingCreateProcessA(LPCSTR app, LPSTR line, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta,
                                    BOOL inherit, DWORD flags, LPVOID env, LPCSTR dir, LPSTARTUPINFOA si,
                                    LPPROCESS_INFORMATION pi) {
    gSeen.calls++;
    gSeen.applicationNull = app == nullptr;
    gSeen.attributesNull = pa == nullptr && ta == nullptr;
    gSeen.environmentNull = env == nullptr;
    gSeen.directoryNull = dir == nullptr;
    gSeen.line = line ? line : "<null>";
    gSeen.inherit = inherit;
    gSeen.flags = flags;
    gSeen.blockSize = HeapSize(GetProcessHeap(), 0, si);
    std::memcpy(&gSeen.startup, si, sizeof gSeen.startup);
    if (!gStartForReal) return FALSE;
    BOOL ok = CreateProcessA(app, line, pa, ta, inherit, flags, env, dir, si, pi);
    gSeen.process = *pi;
    return ok;
}

BOOL WINAPI RecordingPeek(HANDLE h, LPVOID buf, DWORD size, LPDWORD read, LPDWORD avail, LPDWORD left) {
    gSeen.readHandle = h;
    return PeekNamedPipe(h, buf, size, read, avail, left);
}

BOOL WINAPI RecordingCloseHandle(HANDLE h) {
    gSeen.closed.push_back(h);
    return CloseHandle(h);
}

FARPROC WINAPI RecordingGetProcAddress(HMODULE m, LPCSTR name) {
    if (HIWORD(reinterpret_cast<uintptr_t>(name)) != 0) {
        if (std::strcmp(name, "CreateProcessA") == 0) return AsProc(RecordingCreateProcessA);
        if (std::strcmp(name, "PeekNamedPipe") == 0) return AsProc(RecordingPeek);
        if (std::strcmp(name, "CloseHandle") == 0) return AsProc(RecordingCloseHandle);
    }
    return GetProcAddress(m, name);
}

BOOL WINAPI FakeVersion(LPOSVERSIONINFOA info) {
    if (gRefuseVersion) return FALSE;
    info->dwPlatformId = gPlatform;
    return TRUE;
}

void RecordCalls(bool startForReal) {
    gSeen = Seen();
    gStartForReal = startForReal;
    gPlatform = VER_PLATFORM_WIN32_NT;
    gRefuseVersion = false;
    rt::gSys.GetProcAddress = RecordingGetProcAddress;
    rt::gSys.GetVersionExA = FakeVersion;
    // Bind afresh so the recording functions are found.
    const rt::ProgramHeader* h = app::Header();
    rt::DllInitTables(h->dllCount, h->dllLibraryNames, h->dllFunctionNames);
}

TEST_F(Runner, PrefixFollowsTheSystemKindAndTheStartupRecordIsTheSystems) {
    struct Case {
        DWORD platform;
        bool refuse;
        const char* line;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, false, "cmd.exe /c \"C:\\my tools\\adb_1.0.40\\adb devices\""},
        {VER_PLATFORM_WIN32_WINDOWS, false, "command.com /c C:\\my tools\\adb_1.0.40\\adb devices"},
        {VER_PLATFORM_WIN32s, false, "command.com /c C:\\my tools\\adb_1.0.40\\adb devices"},
        {VER_PLATFORM_WIN32_NT, true, "command.com /c C:\\my tools\\adb_1.0.40\\adb devices"},
    };
    for (const Case& c : cases) {
        RecordCalls(false);
        gPlatform = c.platform;
        gRefuseVersion = c.refuse;
        // A process that cannot start leaves nothing to wait for or read.
        EXPECT_EQ(RunCommand("C:\\my tools\\adb_1.0.40\\adb devices"), kNull);
        EXPECT_EQ(gSeen.calls, 1);
        EXPECT_EQ(gSeen.line, c.line) << "platform " << c.platform;
    }

    const STARTUPINFOA& si = gSeen.startup;
    EXPECT_EQ(gSeen.blockSize, 68u);
    EXPECT_EQ(si.cb, 68u);
    EXPECT_EQ(si.dwFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES));
    EXPECT_EQ(si.wShowWindow, SW_HIDE);
    EXPECT_NE(si.hStdOutput, nullptr);
    EXPECT_EQ(si.hStdError, si.hStdOutput);
    EXPECT_EQ(si.hStdInput, nullptr);
    EXPECT_EQ(si.lpDesktop, nullptr);
    EXPECT_EQ(si.lpTitle, nullptr);
    EXPECT_EQ(si.cbReserved2, 0);
    EXPECT_TRUE(gSeen.applicationNull);
    EXPECT_TRUE(gSeen.attributesNull);
    EXPECT_TRUE(gSeen.environmentNull);
    EXPECT_TRUE(gSeen.directoryNull);
    EXPECT_EQ(gSeen.inherit, TRUE);
    EXPECT_EQ(gSeen.flags, 0u);
}

bool IsOpen(HANDLE h) {
    DWORD flags;
    return GetHandleInformation(h, &flags) != FALSE;
}

TEST_F(Runner, EveryHandleIsClosedOnce) {
    SetState(kOneDevice);
    RecordCalls(true);
    EXPECT_EQ(RunCommand(Adb("devices")), Text(kDeviceList));
    // Looked at before anything else can reuse the values.
    bool open[4] = {IsOpen(gSeen.readHandle), IsOpen(gSeen.startup.hStdOutput), IsOpen(gSeen.process.hProcess),
                    IsOpen(gSeen.process.hThread)};
    ASSERT_EQ(gSeen.calls, 1);
    EXPECT_FALSE(open[0]) << "read end";
    EXPECT_FALSE(open[1]) << "write end";
    EXPECT_FALSE(open[2]) << "process handle";
    EXPECT_FALSE(open[3]) << "thread handle";

    // Through the CloseHandle command, once each, the write end first.
    std::vector<HANDLE> want = {gSeen.startup.hStdOutput, gSeen.readHandle, gSeen.process.hProcess,
                                gSeen.process.hThread};
    EXPECT_EQ(gSeen.closed, want);
}

// --- in child processes: the ends that must not hang, and the stack check --------

TEST_CHILD(run_devices) {
    StartRuntimeAndScratch();
    Output out = RunCommand(Adb("devices"));
    std::printf("%s", out.null ? "<null>" : out.text.c_str());
    return 0;
}

TEST(RunnerChild, ExitCode259AndACrashEndTheWait) {
    for (const char* ending : {"exit 259\n", "crash\n"}) {
        SetState(std::string(kOneDevice) + ending);
        test::ChildResult r = test::RunChild("run_devices", "", 60000);
        EXPECT_EQ(r.exitCode, 0u) << ending;
        EXPECT_EQ(r.output, kDeviceList) << ending;
    }
}

// The same functions with the caller-cleans convention: the stack pointer is
// off by their argument bytes after the call.
BOOL __cdecl CdeclCreatePipe(PHANDLE r, PHANDLE w, LPSECURITY_ATTRIBUTES a, DWORD n) { return CreatePipe(r, w, a, n); }
BOOL __cdecl CdeclCreateProcess(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
    return FALSE;
}
BOOL __cdecl CdeclCloseHandle(HANDLE h) { return CloseHandle(h); }
BOOL __cdecl CdeclPeek(HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPDWORD a, LPDWORD l) {
    return PeekNamedPipe(h, b, n, r, a, l);
}
BOOL __cdecl CdeclReadFile(HANDLE h, LPVOID b, DWORD n, LPDWORD r, LPOVERLAPPED o) { return ReadFile(h, b, n, r, o); }
BOOL __cdecl CdeclExitCode(HANDLE h, LPDWORD c) { return GetExitCodeProcess(h, c); }

const char* gCdeclName = "";

FARPROC WINAPI CdeclGetProcAddress(HMODULE m, LPCSTR name) {
    struct {
        const char* name;
        FARPROC fn;
    } const swaps[] = {
        {"CreatePipe", AsProc(CdeclCreatePipe)},
        {"CreateProcessA", AsProc(CdeclCreateProcess)},
        {"CloseHandle", AsProc(CdeclCloseHandle)},
        {"PeekNamedPipe", AsProc(CdeclPeek)},
        {"ReadFile", AsProc(CdeclReadFile)},
        {"GetExitCodeProcess", AsProc(CdeclExitCode)},
    };
    if (HIWORD(reinterpret_cast<uintptr_t>(name)) != 0 && std::strcmp(name, gCdeclName) == 0)
        for (const auto& s : swaps)
            if (std::strcmp(s.name, name) == 0) return s.fn;
    return GetProcAddress(m, name);
}

TEST_CHILD(runner_mismatch) {
    StartRuntimeAndScratch();
    gCdeclName = test::ChildArgs().at(0).c_str();
    rt::gSys.GetProcAddress = CdeclGetProcAddress;
    if (test::ChildArgs().size() > 1) {
        gPlatform = VER_PLATFORM_WIN32_WINDOWS;
        rt::gSys.GetVersionExA = FakeVersion;
    }
    RunCommand(Adb("devices"));
    std::printf("not reached\n");
    return 0;
}

TEST(RunnerChild, StackMismatchReportsErrorSixAtTheCallsPosition) {
    SetState(kOneDevice);
    // 运行时出错! / empty / 错误代码：6 / empty / 错误信息：调用DLL命令后发现堆栈错误 / empty / 67174566, N
    const std::string head =
        "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"
        "\r\n\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA" "6\r\n"
        "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"
        "\xB5\xF7\xD3\xC3" "DLL" "\xC3\xFC\xC1\xEE\xBA\xF3\xB7\xA2\xCF\xD6\xB6\xD1\xD5\xBB\xB4\xED\xCE\xF3\r\n"
        "\r\n67174566, ";
    struct Case {
        const char* args;
        const char* position;
    } cases[] = {
        {"CreatePipe", "132"},      {"CreateProcessA", "815"}, {"CreateProcessA 9x", "600"},
        {"CloseHandle", "942"},     {"PeekNamedPipe", "1165"}, {"ReadFile", "1361"},
        {"GetExitCodeProcess", "1519"},
    };
    for (const Case& c : cases) {
        test::ChildResult r = test::RunChild("runner_mismatch", c.args, 60000);
        EXPECT_EQ(r.exitCode, 0xFFFFFFFFu) << c.args;
        ASSERT_EQ(r.boxes.size(), 1u) << c.args << ": " << r.output;
        EXPECT_EQ(r.boxes[0].text, head + c.position + "\r\n") << c.args;
        EXPECT_EQ(r.output.find("not reached"), std::string::npos);
    }
}

} // namespace

namespace {

// The parent starts the runtime once for every test above.
struct RuntimeEnvironment : ::testing::Environment {
    void SetUp() override { StartRuntimeAndScratch(); }
};
[[maybe_unused]] ::testing::Environment* const gRuntime = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

} // namespace
