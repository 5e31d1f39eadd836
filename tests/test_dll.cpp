// DLL commands: binding order and caching seen through the redirectable
// system table, the stack check after a call, unloading at the end sequence,
// and the start-up record passed in the system's layout. The small library
// dlltest.dll beside this test exports Twice (stdcall, ordinal 7) and
// Identity (cdecl, ordinal 9).
#include <gtest/gtest.h>
#include <windows.h>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "app/calls.h"
#include "app/program.h"
#include "app/runner.h"
#include "data/template.h"
#include "runtime/app.h"
#include "runtime/dll.h"
#include "runtime/services.h"
#include "runtime/syscalls.h"
#include "tests/support/child.h"

namespace {

using rt::kServices;

// --- what the binding asks of the system ---------------------------------------

std::vector<std::string> gLoads;     // names given to LoadLibraryA
std::vector<std::string> gLookups;   // names, or "#n" for an ordinal
std::vector<std::string> gFrees;     // names of the modules freed, taken before the free
std::string gRefusedLoad;            // LoadLibraryA fails for this name
bool gPrintFrees = false;            // in a child: tell the parent which library was freed

std::string ModuleName(HMODULE m) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(m, path, MAX_PATH);
    const char* slash = std::strrchr(path, '\\');
    std::string name = slash ? slash + 1 : path;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

HMODULE WINAPI RecordingLoad(LPCSTR name) {
    gLoads.push_back(name);
    return gRefusedLoad == name ? nullptr : LoadLibraryA(name);
}

FARPROC WINAPI RecordingLookup(HMODULE m, LPCSTR key) {
    uintptr_t k = reinterpret_cast<uintptr_t>(key);
    gLookups.push_back(HIWORD(k) ? std::string(key) : "#" + std::to_string(k));
    return GetProcAddress(m, key);
}

BOOL WINAPI RecordingFree(HMODULE m) {
    gFrees.push_back(ModuleName(m));
    if (gPrintFrees) {
        std::printf("free %s\n", gFrees.back().c_str());
        std::fflush(stdout);
    }
    return FreeLibrary(m);
}

void RecordBinding() {
    gLoads.clear();
    gLookups.clear();
    gFrees.clear();
    gRefusedLoad.clear();
    rt::gSys.LoadLibraryA = RecordingLoad;
    rt::gSys.GetProcAddress = RecordingLookup;
    rt::gSys.FreeLibrary = RecordingFree;
}

std::string TestLibrary() { return test::ExeDir() + "\\dlltest.dll"; }

// A DLL command table of the test's own; the names must outlive the binding.
struct Table {
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    std::vector<std::string> libraryText, functionText;
    std::vector<const char*> libraries, functions;

    Table(std::initializer_list<std::pair<std::string, std::string>> entries) {
        for (const auto& e : entries) {
            libraryText.push_back(e.first);
            functionText.push_back(e.second);
        }
        for (size_t i = 0; i < libraryText.size(); i++) {
            libraries.push_back(libraryText[i].c_str());
            functions.push_back(functionText[i].c_str());
        }
    }
    void Install() const {
        rt::DllInitTables(static_cast<int32_t>(libraries.size()), libraries.data(), functions.data());
    }
};

uint32_t Call(int32_t index, std::vector<uint32_t> args, int32_t* stackOk) {
    return rt::DllCallChecked(kServices.callDll, index, args.data(), static_cast<int32_t>(args.size()), stackOk);
}

class Binding : public ::testing::Test {
protected:
    void SetUp() override {
        rt::MemInit(GetProcessHeap());
        savedRunDirectory = rt::gApp.runDirectory;
        savedExeFolder = rt::gApp.exeFolder;
        RecordBinding();
    }
    void TearDown() override {
        rt::ResetSyscalls();
        rt::DllUnloadAll();
        rt::gApp.runDirectory = savedRunDirectory;
        rt::gApp.exeFolder = savedExeFolder;
    }
    std::string savedRunDirectory, savedExeFolder;
};

TEST_F(Binding, DefaultLibrariesInOrderUntilOneExportsTheFunction) {
    Table t{{"", "CreatePipe"}, {"", "GetTickCount"}, {"", "ShellExecuteA"}};
    t.Install();

    void* createPipe = rt::BindDllCommand(0);
    EXPECT_EQ(createPipe, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreatePipe")));
    EXPECT_EQ(gLoads, std::vector<std::string>{"Kernel32.dll"});
    EXPECT_EQ(gLookups, std::vector<std::string>{"CreatePipe"});
    EXPECT_TRUE(gFrees.empty());

    // Bound once: later calls touch neither the loader nor the look-up.
    gLoads.clear();
    gLookups.clear();
    EXPECT_EQ(rt::BindDllCommand(0), createPipe);
    int32_t ok = 0;
    DWORD before = GetTickCount();
    uint32_t ticks = Call(1, {}, &ok);
    DWORD after = GetTickCount();
    EXPECT_EQ(ok, 1);
    EXPECT_LE(ticks - before, after - before) << "not the system's tick count";
    gLoads.clear();
    gLookups.clear();
    Call(1, {}, &ok);
    EXPECT_TRUE(gLoads.empty());
    EXPECT_TRUE(gLookups.empty());

    // A library that does not load is skipped; one without the function is
    // freed again; the one that has it stays.
    gRefusedLoad = "Gdi32.dll";
    gFrees.clear();
    void* shellExecute = rt::BindDllCommand(2);
    EXPECT_NE(shellExecute, nullptr);
    EXPECT_EQ(gLoads, (std::vector<std::string>{"Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll",
                                                "Mpr.dll", "Shell32.dll"}));
    EXPECT_EQ(gFrees, (std::vector<std::string>{"kernel32.dll", "user32.dll", "advapi32.dll", "mpr.dll"}));
}

TEST_F(Binding, NamedLibrariesSearchRunDirectoryExeFolderThenSystem) {
    const std::string none = "C:\\keel-nowhere";
    rt::gApp.runDirectory = none + "\\run";
    rt::gApp.exeFolder = none + "\\exe\\";
    Table first{{"dlltest.dll", "Twice"}};
    first.Install();
    rt::BindDllCommand(0);
    // The system's own search finds it beside this executable.
    EXPECT_EQ(gLoads, (std::vector<std::string>{none + "\\run\\dlltest.dll", none + "\\exe\\dlltest.dll", "dlltest.dll"}));
    int32_t ok = 0;
    EXPECT_EQ(Call(0, {21}, &ok), 42u);
    EXPECT_EQ(ok, 1);

    gLoads.clear();
    rt::gApp.exeFolder = test::ExeDir() + "\\";
    Table second{{"dlltest.dll", "Twice"}};
    second.Install();
    rt::BindDllCommand(0);
    EXPECT_EQ(gLoads, (std::vector<std::string>{none + "\\run\\dlltest.dll", TestLibrary()}));

    gLoads.clear();
    rt::gApp.runDirectory = test::ExeDir();
    Table third{{"dlltest.dll", "Twice"}};
    third.Install();
    rt::BindDllCommand(0);
    EXPECT_EQ(gLoads, std::vector<std::string>{TestLibrary()});
}

TEST_F(Binding, DrivePathsAndOrdinals) {
    rt::gApp.runDirectory = test::ExeDir();   // would be found here too, but a drive path is taken as it is
    std::string path = TestLibrary();
    Table t{{path, "#7"}, {path, "#65545"}, {path, "# -65527"}, {path, "Twice"}, {path, "#4294967305"},
            {path, "#18446744073709551625"}};
    t.Install();

    int32_t ok = 0;
    EXPECT_EQ(Call(0, {21}, &ok), 42u);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(gLoads, std::vector<std::string>{path});
    EXPECT_EQ(gLookups, std::vector<std::string>{"#7"});

    // Only the low 16 bits of the number count, however long it is: all name ordinal 9.
    gLookups.clear();
    rt::BindDllCommand(1);
    rt::BindDllCommand(2);
    rt::BindDllCommand(4);
    rt::BindDllCommand(5);
    EXPECT_EQ(gLookups, (std::vector<std::string>{"#9", "#9", "#9", "#9"}));
    EXPECT_EQ(rt::BindDllCommand(1), reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(path.c_str()), "Identity")));
    EXPECT_EQ(rt::BindDllCommand(3), rt::BindDllCommand(0));
}

TEST_F(Binding, StackCheckTellsTheCallingConventionApart) {
    std::string path = TestLibrary();
    Table t{{path, "Twice"}, {path, "Identity"}};
    t.Install();
    int32_t ok = -1;
    EXPECT_EQ(Call(0, {static_cast<uint32_t>(-4)}, &ok), static_cast<uint32_t>(-8));
    EXPECT_EQ(ok, 1);
    // The caller-cleans function leaves its argument on the stack; the check
    // sees it and the stack is put right for the caller all the same.
    EXPECT_EQ(Call(1, {5}, &ok), 5u);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(Call(0, {3}, &ok), 6u);
    EXPECT_EQ(ok, 1);
}

// --- in children: the end sequence, failures ---------------------------------------

const char gConstants[] = "";
rt::ProgramHeader gHeader;

void RunProgram(std::initializer_list<std::pair<std::string, std::string>> entries, rt::StartRoutine start) {
    // Lives as long as the child: the runtime keeps the name pointers.
    const Table& table = *new Table(entries);
    gHeader = rt::ProgramHeader{};
    gHeader.buildKind = 3;
    gHeader.codeBase = app::kHandlerMap;
    gHeader.constants = gConstants;
    gHeader.constantsSize = sizeof gConstants;
    gHeader.dllCount = static_cast<int32_t>(table.libraries.size());
    gHeader.dllLibraryNames = table.libraries.data();
    gHeader.dllFunctionNames = table.functions.data();
    rt::RunApplication(&gHeader, start);
}

TEST_CHILD(unload_at_end) {
    RecordBinding();
    gPrintFrees = true;
    std::string path = TestLibrary();
    RunProgram({{"", "CreatePipe"}, {"", "CloseHandle"}, {path, "Twice"}, {"", "GetTickCount"}, {"", "MessageBeep"}},
               [] {
                   kServices.auxiliary(rt::kAuxInitRuntime);
                   rt::BindDllCommand(0);
                   rt::BindDllCommand(1);
                   rt::BindDllCommand(2);
                   rt::BindDllCommand(2);
                   std::printf("bound\n");
                   return int32_t(0);
               });
    return 1;
}

TEST(BindingChild, EndSequenceFreesOnceForEveryBoundIndex) {
    test::ChildResult r = test::RunChild("unload_at_end");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "bound\nfree kernel32.dll\nfree kernel32.dll\nfree dlltest.dll\n");
}

TEST_CHILD(missing_export) {
    std::string library = test::ChildArgs().at(0) == "-" ? "" : test::ChildArgs().at(0);
    RunProgram({{library, test::ChildArgs().at(1)}}, [] {
        kServices.auxiliary(rt::kAuxInitRuntime);
        rt::BindDllCommand(0);
        std::printf("not reached\n");
        return int32_t(0);
    });
    return 1;
}

// 运行时出错! / empty / 错误信息：<message> / empty / 0, 0
std::string BindingBox(const std::string& message) {
    return "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"
           "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA" + message + "\r\n"
           "\r\n0, 0\r\n";
}

TEST(BindingChild, FunctionsThatCannotBeFoundEndTheProgram) {
    const std::string open = "\xA1\xB0", close = "\xA1\xB1";   // “ ”
    // 无法找到指定DLL库文件 ... 中的输出命令
    const std::string cannotFind = "\xCE\xDE\xB7\xA8\xD5\xD2\xB5\xBD\xD6\xB8\xB6\xA8" "DLL" "\xBF\xE2\xCE\xC4\xBC\xFE";
    const std::string exportOf = "\xD6\xD0\xB5\xC4\xCA\xE4\xB3\xF6\xC3\xFC\xC1\xEE";
    struct Case {
        std::string library, function, message;
    } cases[] = {
        {"-", "NoSuchExport", cannotFind + exportOf + open + "NoSuchExport" + close},
        {TestLibrary(), "Nope", cannotFind + open + TestLibrary() + close + exportOf + open + "Nope" + close},
        {"keel-missing.dll", "#3", cannotFind + open + "keel-missing.dll" + close + exportOf + open + "#3" + close},
    };
    for (const Case& c : cases) {
        test::ChildResult r = test::RunChild("missing_export", c.library + " " + c.function);
        EXPECT_EQ(r.exitCode, 0xFFFFFFFFu) << c.function;
        ASSERT_EQ(r.boxes.size(), 1u) << c.function << ": " << r.output;
        EXPECT_EQ(r.boxes[0].text, BindingBox(c.message)) << c.function;
        EXPECT_EQ(r.output, "") << c.function;
    }
}

TEST_CHILD(wrong_convention) {
    std::string path = TestLibrary();
    RunProgram({{path, "Twice"}, {path, "Identity"}}, [] {
        kServices.auxiliary(rt::kAuxInitRuntime);
        std::printf("%u\n", app::CallDll(0, {21}, app::kRunnerRoutine, 1165));
        std::fflush(stdout);
        app::CallDll(1, {5}, app::kRunnerRoutine, 1165);
        std::printf("not reached\n");
        return int32_t(0);
    });
    return 1;
}

TEST(BindingChild, MismatchedCallingConventionReportsErrorSix) {
    test::ChildResult r = test::RunChild("wrong_convention");
    EXPECT_EQ(r.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(r.output, "42\n");
    ASSERT_EQ(r.boxes.size(), 1u);
    // 运行时出错! / empty / 错误代码：6 / empty / 错误信息：调用DLL命令后发现堆栈错误 / empty / 67174566, 1165
    EXPECT_EQ(r.boxes[0].text,
              "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n"
              "\r\n\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA" "6\r\n"
              "\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA"
              "\xB5\xF7\xD3\xC3" "DLL" "\xC3\xFC\xC1\xEE\xBA\xF3\xB7\xA2\xCF\xD6\xB6\xD1\xD5\xBB\xB4\xED\xCE\xF3\r\n"
              "\r\n67174566, 1165\r\n");
    EXPECT_EQ(r.boxes[0].title, "\xB4\xED\xCE\xF3");   // 错误
}

// --- the start-up record: 72 bytes in the program, 68 for the system ---------------

std::vector<void*> gHeapFrees;
BOOL WINAPI RecordingHeapFree(HANDLE heap, DWORD flags, LPVOID p) {
    gHeapFrees.push_back(p);
    return HeapFree(heap, flags, p);
}

char* HeapText(const char* s) {
    char* t = static_cast<char*>(kServices.alloc(static_cast<uint32_t>(std::strlen(s) + 1)));
    std::strcpy(t, s);
    return t;
}

TEST(StartupRecord, MarshalledToTheSystemLayoutAndBack) {
    rt::MemInit(GetProcessHeap());
    app::StartupRecord r = {};
    r.cb = 68;
    r.lpReserved = nullptr;
    r.lpDesktop = HeapText("old desktop");
    r.lpTitle = HeapText("title");
    r.dwX = 1, r.dwY = 2, r.dwXSize = 3, r.dwYSize = 4;
    r.dwXCountChars = 5, r.dwYCountChars = 6, r.dwFillAttribute = 7, r.dwFlags = 0x101;
    r.wShowWindow = 0xABCD0005;   // only the low halves reach the system
    r.cbReserved2 = 0x12340000;
    r.lpReserved2 = 0x0BADF00D;
    r.hStdInput = 0x11, r.hStdOutput = 0x22, r.hStdError = 0x33;
    char* const desktop = r.lpDesktop;
    char* const title = r.lpTitle;

    auto* si = static_cast<STARTUPINFOA*>(app::MarshalStartupRecord(r));
    ASSERT_EQ(HeapSize(GetProcessHeap(), 0, si), 68u);
    STARTUPINFOA want = {};
    want.cb = 68;
    want.lpDesktop = desktop;
    want.lpTitle = title;
    want.dwX = 1, want.dwY = 2, want.dwXSize = 3, want.dwYSize = 4;
    want.dwXCountChars = 5, want.dwYCountChars = 6, want.dwFillAttribute = 7, want.dwFlags = 0x101;
    want.wShowWindow = 5;
    want.cbReserved2 = 0;
    want.lpReserved2 = reinterpret_cast<LPBYTE>(0x0BADF00D);
    want.hStdInput = reinterpret_cast<HANDLE>(0x11);
    want.hStdOutput = reinterpret_cast<HANDLE>(0x22);
    want.hStdError = reinterpret_cast<HANDLE>(0x33);
    static_assert(sizeof want == 68, "the system layout");
    EXPECT_EQ(std::memcmp(si, &want, sizeof want), 0);

    // What a function may do to the record: change numbers and 16-bit
    // members, point text members elsewhere.
    static char systemDesktop[] = "winsta0\\default";
    static char empty[] = "";
    si->lpDesktop = systemDesktop;
    si->lpReserved = empty;
    si->wShowWindow = 0x0007;
    si->cbReserved2 = 0xFFFF;
    si->dwX = 100;
    si->hStdOutput = reinterpret_cast<HANDLE>(0x44);

    gHeapFrees.clear();
    rt::gSys.HeapFree = RecordingHeapFree;
    app::UnmarshalStartupRecord(&r, si);
    rt::ResetSyscalls();

    EXPECT_EQ(r.wShowWindow, 0xABCD0007u);
    EXPECT_EQ(r.cbReserved2, 0x1234FFFFu);
    EXPECT_EQ(r.dwX, 100u);
    EXPECT_EQ(r.dwY, 2u);
    EXPECT_EQ(r.hStdOutput, 0x44u);
    EXPECT_EQ(r.hStdError, 0x33u);
    EXPECT_EQ(r.lpReserved2, 0x0BADF00Du);
    // Unchanged text: the program's own block, untouched.
    EXPECT_EQ(r.lpTitle, title);
    EXPECT_STREQ(r.lpTitle, "title");
    // Changed text: a copy of the function's text replaces the freed old one.
    ASSERT_NE(r.lpDesktop, nullptr);
    EXPECT_NE(r.lpDesktop, systemDesktop);
    EXPECT_STREQ(r.lpDesktop, "winsta0\\default");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, r.lpDesktop), sizeof systemDesktop);
    // Changed to an empty text: held as null.
    EXPECT_EQ(r.lpReserved, nullptr);
    EXPECT_EQ(gHeapFrees, (std::vector<void*>{desktop, si}));

    kServices.free(r.lpDesktop);
    kServices.free(r.lpTitle);
}

} // namespace
