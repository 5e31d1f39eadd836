// Start-up, the runtime callback, run-time errors and the end sequence, on
// programs of the tests' own, run as real child processes where the process
// must end.
#include <gtest/gtest.h>
#include <windows.h>
#include <cctype>
#include <cstdio>
#include <float.h>
#include <cstring>
#include <string>
#include "app/support.h"
#include "app/program.h"
#include "data/program.h"
#include "data/template.h"
#include "runtime/app.h"
#include "runtime/errors.h"
#include "runtime/syscalls.h"
#include "support/child.h"

namespace {

using rt::kServices;

// --- a small program of the tests' own --------------------------------------

void Say(const char* s) {
    std::printf("%s\n", s);
    std::fflush(stdout);
}

intptr_t NotifyOne(int32_t code, intptr_t, intptr_t) {
    std::printf("lib1:%d\n", code);
    std::fflush(stdout);
    return code == 1 ? 0 : -1;
}
intptr_t NotifyThree(int32_t code, intptr_t, intptr_t) {
    std::printf("lib3:%d\n", code);
    std::fflush(stdout);
    return code == 1 ? 0 : -1;
}

rt::LibraryRecord MakeLibrary(rt::NotifyFn notify) {
    rt::LibraryRecord r = {};
    r.marker = rt::kLibraryMarker;
    r.notify = notify;
    return r;
}

const rt::LibraryRecord gLib1 = MakeLibrary(NotifyOne);
const rt::LibraryRecord gLib2 = MakeLibrary(nullptr);   // no notify: registered without the code-1 call
const rt::LibraryRecord gLib3 = MakeLibrary(NotifyThree);
const rt::LibraryRecord* const gLibs[] = {&gLib1, &gLib2, &gLib3};
const char gConstants[] = "constant text";

rt::ProgramHeader TestHeader() {
    rt::ProgramHeader h = {};
    h.buildKind = 3;
    h.value3 = 0x00010118;
    h.codeBase = app::kHandlerMap;
    h.constants = gConstants;
    h.constantsSize = sizeof gConstants;
    h.libraryCount = 3;
    h.libraries = gLibs;
    return h;
}

rt::ProgramHeader gHeader;

void EndA() { Say("endA"); }
void EndB() { Say("endB"); }

int32_t NormalStart() {
    kServices.auxiliary(rt::kAuxInitRuntime);
    kServices.auxiliary(rt::kAuxRegisterEndRoutine, &EndA);
    kServices.auxiliary(rt::kAuxRegisterEndRoutine, &EndB);
    kServices.auxiliary(rt::kAuxRegisterEndRoutine, &EndA);
    Say("started");
    kServices.messageLoop();   // no window: returns at once
    Say("loop done");
    return 0;
}

TEST_CHILD(normal_run) {
    gHeader = TestHeader();
    rt::RunApplication(&gHeader, NormalStart);
}

TEST(StartUp, LibrariesNotifiedInOrderAndEndRoutinesRunOnce) {
    test::ChildResult r = test::RunChild("normal_run");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "lib1:1\nlib3:1\nstarted\nloop done\nendA\nendB\nlib1:6\nlib3:6\n");
    EXPECT_TRUE(r.boxes.empty());
}

int32_t ErrorStart() {
    kServices.auxiliary(rt::kAuxInitRuntime);
    kServices.auxiliary(rt::kAuxRegisterEndRoutine, &EndA);
    kServices.reportError(6, 67174566, 132);
    Say("not reached");
    return 0;
}

TEST_CHILD(error_6) {
    gHeader = TestHeader();
    rt::RunApplication(&gHeader, ErrorStart);
}

TEST(RunTimeError, BoxTextExitStatusAndNoEndRoutines) {
    test::ChildResult r = test::RunChild("error_6");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].title, "\xB4\xED\xCE\xF3");   // 错误
    EXPECT_EQ(r.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    // 运行时出错! / empty / 错误代码：6 / empty / 错误信息：调用DLL命令后发现堆栈错误 / empty / 67174566, 132
    const std::string expected =
        "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"
        "\r\n\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA" "6\r\n"
        "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"
        "\xB5\xF7\xD3\xC3" "DLL" "\xC3\xFC\xC1\xEE\xBA\xF3\xB7\xA2\xCF\xD6\xB6\xD1\xD5\xBB\xB4\xED\xCE\xF3\r\n"
        "\r\n67174566, 132\r\n";
    EXPECT_EQ(r.boxes[0].text, expected);
    // The end routines are dropped, the libraries still hear the end.
    EXPECT_EQ(r.output, "lib1:1\nlib3:1\nlib1:6\nlib3:6\n");
}

// A box that cannot be shown (MessageBox returns 0: no desktop, as under
// Wine without a display) leaves its text on standard error, in UTF-8 for a
// pipe, and the program still ends with the error status.
TEST_CHILD(error_without_desktop) {
    test::CaptureBoxes(0);
    gHeader = TestHeader();
    rt::RunApplication(&gHeader, ErrorStart);
}

TEST(RunTimeError, TextGoesToStandardErrorWhenTheBoxCannotShow) {
    test::ChildResult r = test::RunChild("error_without_desktop");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    ASSERT_EQ(r.boxes.size(), 1u);
    // 运行时出错! and 错误代码：6 in UTF-8.
    EXPECT_NE(r.output.find("\xE8\xBF\x90\xE8\xA1\x8C\xE6\x97\xB6\xE5\x87\xBA\xE9\x94\x99!\r\n"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("\xE9\x94\x99\xE8\xAF\xAF\xE4\xBB\xA3\xE7\xA0\x81\xEF\xBC\x9A" "6"), std::string::npos);
}

LPVOID WINAPI RefuseOneMegabyte(HANDLE heap, DWORD flags, SIZE_T n) {
    return n == 1048576 ? nullptr : ::HeapAlloc(heap, flags, n);
}

TEST_CHILD(alloc_fails) {
    rt::gSys.HeapAlloc = RefuseOneMegabyte;
    gHeader = TestHeader();
    rt::RunApplication(&gHeader, [] {
        kServices.auxiliary(rt::kAuxInitRuntime);
        void* small = kServices.alloc(16);
        Say(small ? "small ok" : "small null");
        // The plain mode answers null instead of ending the program.
        Say(rt::RuntimeCallbackEntry(rt::kCbAlloc, 1048576, 1) == 0 ? "plain null" : "plain block");
        kServices.alloc(1048576);
        Say("not reached");
        return int32_t(0);
    });
}

TEST(Memory, RefusedAllocationEndsTheProgram) {
    test::ChildResult r = test::RunChild("alloc_fails");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_NE(r.boxes[0].text.find("\xB7\xD6\xC5\xE4 1048576 \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!"),
              std::string::npos)
        << r.boxes[0].text;
    EXPECT_EQ(r.output.find("not reached"), std::string::npos);
    EXPECT_NE(r.output.find("small ok\nplain null\n"), std::string::npos) << r.output;
}

TEST_CHILD(damaged_template) {
    static std::vector<uint8_t> block(data::FormTemplate().begin(), data::FormTemplate().begin() + 100);
    gHeader = TestHeader();
    gHeader.formTemplate = block.data();
    gHeader.formTemplateSize = static_cast<uint32_t>(block.size());
    rt::RunApplication(&gHeader, NormalStart);
}

TEST(StartUp, DamagedTemplateEndsWithItsMessage) {
    test::ChildResult r = test::RunChild("damaged_template");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    ASSERT_EQ(r.boxes.size(), 1u);
    // 载入窗口模板数据段出错!
    EXPECT_NE(r.boxes[0].text.find("\xD4\xD8\xC8\xEB\xB4\xB0\xBF\xDA\xC4\xA3\xB0\xE5\xCA\xFD\xBE\xDD\xB6\xCE\xB3\xF6\xB4\xED!"),
              std::string::npos);
    EXPECT_EQ(r.output.find("started"), std::string::npos);
}

TEST_CHILD(missing_window) {
    gHeader = TestHeader();
    gHeader.formTemplate = data::FormTemplate().data();
    gHeader.formTemplateSize = static_cast<uint32_t>(data::FormTemplate().size());
    rt::RunApplication(&gHeader, [] {
        kServices.auxiliary(rt::kAuxInitRuntime);
        kServices.loadWindow(0x52010099);
        Say("not reached");
        return int32_t(0);
    });
}

TEST(StartUp, LoadingAnUnknownWindowReportsIt) {
    test::ChildResult r = test::RunChild("missing_window");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    ASSERT_EQ(r.boxes.size(), 1u);
    // 载入启动窗口失败, no code line, then the window identifier and "not found".
    const std::string expected =
        "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"
        "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA\xD4\xD8\xC8\xEB\xC6\xF4\xB6\xAF\xB4\xB0\xBF\xDA\xCA\xA7\xB0\xDC\r\n"
        "\r\n1375797401, 0"
        "\r\n\xCE\xB4\xD5\xD2\xB5\xBD\xCB\xF9\xD6\xB8\xB6\xA8\xB5\xC4\xB4\xB0\xBF\xDA\r\n";
    EXPECT_EQ(r.boxes[0].text, expected);
}

DWORD WINAPI ExitSeven(LPVOID) {
    kServices.exit(7);
    return 0;
}

// The worker leaves the busy counter to the main thread, which raises it once.
void SayBusy() { std::printf("busy:%d\n", rt::gApp.busy); std::fflush(stdout); }

TEST_CHILD(exit_from_worker) {
    gHeader = TestHeader();
    rt::RunApplication(&gHeader, [] {
        kServices.auxiliary(rt::kAuxInitRuntime);
        kServices.auxiliary(rt::kAuxRegisterEndRoutine, &EndA);
        kServices.auxiliary(rt::kAuxRegisterEndRoutine, &SayBusy);
        HANDLE t = CreateThread(nullptr, 0, ExitSeven, nullptr, 0, nullptr);
        // The main thread keeps pumping until the worker's request arrives.
        for (int i = 0; i < 500; i++) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            rt::RuntimeCallbackEntry(rt::kCbPumpMessages, 0, 0);
        }
        CloseHandle(t);
        Say("timed out");
        return int32_t(0);
    });
}

TEST(Shutdown, ExitFromAWorkerRunsTheEndSequenceOnTheMainThread) {
    test::ChildResult r = test::RunChild("exit_from_worker");
    EXPECT_EQ(r.exitCode, 7u);
    EXPECT_EQ(r.output, "lib1:1\nlib3:1\nendA\nbusy:1\nlib1:6\nlib3:6\n");
}

// --- the program's own start and end ---------------------------------------------

void SayRounding() {
    std::printf("rounding:%u\n", _controlfp(0, 0) & _MCW_RC);
    std::fflush(stdout);
}

BOOL WINAPI RecordFree(HMODULE module) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    const char* name = std::strrchr(path, '\\') ? std::strrchr(path, '\\') + 1 : path;
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::printf("freed:%s\n", lower.c_str());
    std::fflush(stdout);
    return FreeLibrary(module);
}

TEST_CHILD(program_start_and_end) {
    test::CaptureBoxes();
    rt::gSys.FreeLibrary = RecordFree;
    _controlfp(_RC_CHOP, _MCW_RC);
    rt::RegisterEndRoutine(SayRounding);
    PostQuitMessage(0);   // the loop ends as soon as it starts
    rt::RunApplication(app::Header(), app::StartRoutine);
    return 0;
}

TEST(StartUp, TheProgramResetsTheFpuAndTheEndFreesTheModulesTheRuntimeLoaded) {
    test::ChildResult r = test::RunChild("program_start_and_end");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_NE(r.output.find("rounding:0\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("freed:riched20.dll\n"), std::string::npos) << r.output;
}

DWORD WINAPI BareModuleName(HMODULE, LPSTR buf, DWORD size) {
    lstrcpynA(buf, "prog.exe", static_cast<int>(size));
    return 8;
}

BOOL WINAPI RecordChdir(LPCSTR dir) {
    std::printf("chdir:%s\n", dir);
    return TRUE;
}

TEST_CHILD(no_backslash) {
    rt::gSys.GetModuleFileNameA = BareModuleName;
    rt::gSys.SetCurrentDirectoryA = RecordChdir;
    gHeader = TestHeader();
    rt::RunApplication(&gHeader, [] {
        kServices.auxiliary(rt::kAuxInitRuntime);
        const char* dir = reinterpret_cast<const char*>(rt::RuntimeCallbackEntry(rt::kCbRunDirectory, 0, 0));
        const char* exe = reinterpret_cast<const char*>(rt::RuntimeCallbackEntry(rt::kCbExeName, 0, 0));
        std::printf("dir:[%s] exe:[%s]\n", dir, exe);
        return int32_t(0);
    });
}

TEST(StartUp, PathWithoutBackslashGivesAnEmptyRunDirectory) {
    test::ChildResult r = test::RunChild("no_backslash");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_NE(r.output.find("dir:[] exe:[prog.exe]"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("chdir:"), std::string::npos) << r.output;
}

// --- in-process checks ------------------------------------------------------

class ErrorText : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<forms::WindowEntry> windows;
        ASSERT_EQ(forms::ReadTemplate(data::FormTemplate().data(), static_cast<uint32_t>(data::FormTemplate().size()),
                                      app::kHandlerMap, &windows),
                  forms::ReadResult::Ok);
        rt::gApp.windows.Clear();
        rt::gApp.windows.Append(std::move(windows));
    }
    void TearDown() override { rt::gApp.windows.Clear(); }
};

TEST_F(ErrorText, LocationPartByKindOfLocation) {
    const std::string head = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n";   // 运行时出错!
    // Code 0 and an empty message: the head and the location part only.
    EXPECT_EQ(rt::FormatErrorText("", 0, 0, 0), head + "\r\n0, 0\r\n");
    EXPECT_EQ(rt::FormatErrorText(nullptr, 0, -5, 7), head + "\r\n-5, 7\r\n");
    // A routine identifier (kind 4): numbers only.
    EXPECT_EQ(rt::FormatErrorText(nullptr, 0, 0x040100A6, 942), head + "\r\n67174566, 942\r\n");
    // A loaded window's and unit's tags are empty: two lines of "".
    EXPECT_EQ(rt::FormatErrorText(nullptr, 0, 0x52010001, 0x16010049), head + "\r\n1375797249, 369164361\r\n\"\"\r\n\"\"\r\n");
    // Word 2 = 0 names the window's own record.
    EXPECT_EQ(rt::FormatErrorText(nullptr, 0, 0x52010001, 0), head + "\r\n1375797249, 0\r\n\"\"\r\n\"\"\r\n");
    // A unit the window does not hold, and a menu-item identifier.
    const std::string noUnit = "\r\n\xCE\xB4\xD5\xD2\xB5\xBD\xCB\xF9\xD6\xB8\xB6\xA8\xB5\xC4\xB4\xB0\xBF\xDA\xD7\xE9\xBC\xFE";
    EXPECT_EQ(rt::FormatErrorText(nullptr, 0, 0x52010001, 0x16010050), head + "\r\n1375797249, 369164368\r\n\"\"" + noUnit + "\r\n");
    EXPECT_EQ(rt::FormatErrorText(nullptr, 0, 0x52010001, 0x26010001), head + "\r\n1375797249, 637599745\r\n\"\"" + noUnit + "\r\n");
}

TEST_F(ErrorText, TagsAreTheLiveOnes) {
    forms::WindowEntry* w = rt::gApp.windows.Find(0x52010001);
    ASSERT_NE(w, nullptr);
    int32_t index = w->units.IndexOf(0x1601004B);
    ASSERT_GT(index, 0);
    w->units.ReplaceText(index, w->units.At(index).TagPos(), "tag of button 1");
    w->units.ReplaceText(0, w->units.At(0).TagPos(), "main");
    std::string t = rt::FormatErrorText("msg", 11, 0x52010001, 0x1601004B);
    EXPECT_NE(t.find("\r\n\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA" "11\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\n1375797249, 369164363\r\n\"main\"\r\n\"tag of button 1\"\r\n"), std::string::npos) << t;
}

TEST(ErrorCodes, TableBounds) {
    EXPECT_EQ(rt::ErrorCodeMessage(0), nullptr);
    EXPECT_EQ(rt::ErrorCodeMessage(12), nullptr);
    EXPECT_EQ(rt::ErrorCodeMessage(-1), nullptr);
    EXPECT_STREQ(rt::ErrorCodeMessage(5), "\xCA\xFD\xBE\xDD\xBB\xF2\xCA\xFD\xD7\xE9\xC0\xE0\xD0\xCD\xB2\xBB\xC6\xA5\xC5\xE4");  // 数据或数组类型不匹配
    EXPECT_STREQ(rt::ErrorCodeMessage(11), "所提供参数的数据类型不符合要求");
}

TEST(Callback, TypeRecordsByReference) {
    rt::UnitTypeRecord types[2] = {};
    types[1].name = "second";
    rt::LibraryRecord lib = {};
    lib.typeCount = 2;
    lib.types = types;
    rt::gApp.libraries = {&lib};
    EXPECT_EQ(rt::RuntimeCallbackEntry(rt::kCbTypeRecord, 0x00010002, 0), reinterpret_cast<intptr_t>(&types[1]));
    EXPECT_EQ(rt::RuntimeCallbackEntry(rt::kCbTypeRecord, 0x00010003, 0), 0);   // above the count
    EXPECT_EQ(rt::RuntimeCallbackEntry(rt::kCbTypeRecord, 0x00010000, 0), 0);   // type 0
    EXPECT_EQ(rt::RuntimeCallbackEntry(rt::kCbTypeRecord, 0x00020001, 0), 0);   // library 2 not registered
    EXPECT_EQ(rt::RuntimeCallbackEntry(rt::kCbTypeRecord, 0x00000001, 0), 0);   // library 0
    rt::gApp.libraries.clear();
    // Codes of facilities the program does not carry answer 0.
    EXPECT_EQ(rt::RuntimeCallbackEntry(1005, 1, 2), 0);
    EXPECT_EQ(rt::RuntimeCallbackEntry(999999, 1, 2), 0);
}

TEST(Callback, IdleCallbacksAreKeptOncePerWindow) {
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    struct { HWND window; rt::IdleCallback cb; void* arg; } req = {w, [](void*) {}, nullptr};
    rt::RuntimeCallbackEntry(rt::kCbAddIdle, reinterpret_cast<intptr_t>(&req), 0);
    rt::RuntimeCallbackEntry(rt::kCbAddIdle, reinterpret_cast<intptr_t>(&req), 0);
    EXPECT_EQ(rt::gApp.idle.size(), 1u);
    auto nullCb = req;
    nullCb.cb = nullptr;
    rt::RuntimeCallbackEntry(rt::kCbAddIdle, reinterpret_cast<intptr_t>(&nullCb), 0);
    auto notWindow = req;
    notWindow.window = reinterpret_cast<HWND>(0x1234);
    rt::RuntimeCallbackEntry(rt::kCbAddIdle, reinterpret_cast<intptr_t>(&notWindow), 0);
    EXPECT_EQ(rt::gApp.idle.size(), 1u);
    rt::RuntimeCallbackEntry(rt::kCbRemoveIdle, reinterpret_cast<intptr_t>(w), 0);
    EXPECT_TRUE(rt::gApp.idle.empty());
    DestroyWindow(w);
}

TEST(Callback, LibraryLinkAnswersZeroBeforeStart) {
    rt::LibraryLink link;
    EXPECT_EQ(link.Call(rt::kCbRunDirectory), 0);
    EXPECT_EQ(link.Alloc(10), nullptr);
    link.Attach(rt::RuntimeCallbackEntry);
    void* p = link.Alloc(10);
    EXPECT_NE(p, nullptr);
    link.Free(p);
}

} // namespace
