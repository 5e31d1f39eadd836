// The program's application manifest: embedded where the loader looks for it
// (resource type 24, number 1), read by Windows' own parser into what the
// manifest asks for, and honoured by the running program (common controls 6).
// The activation-context queries are those of Windows Vista and later.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <cstring>
#include <string>
#include <vector>
#include "support/uidriver.h"

namespace {

std::string ProgramPath() {
    std::string tests = test::ExeDir();
    return tests.substr(0, tests.find_last_of('\\')) + "\\adbtool.exe";
}

std::string Narrow(const wchar_t* s) {
    std::string out;
    for (; s && *s; ++s) out += *s < 128 ? static_cast<char>(*s) : '?';
    return out;
}

// The program's activation context, as the loader builds it at start-up.
class Context {
public:
    Context() {
        path_ = ProgramPath();
        ACTCTXA actctx = {};
        actctx.cbSize = sizeof actctx;
        actctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        actctx.lpSource = path_.c_str();
        actctx.lpResourceName = MAKEINTRESOURCEA(1);
        handle_ = CreateActCtxA(&actctx);
        error_ = GetLastError();
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    ~Context() {
        if (Valid()) ReleaseActCtx(handle_);
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    DWORD Error() const { return error_; }

    // The raw answer to one query; empty when it fails.
    std::vector<uint8_t> Query(ULONG infoClass, DWORD assembly = 0) const {
        SIZE_T needed = 0;
        QueryActCtxW(0, handle_, &assembly, infoClass, nullptr, 0, &needed);
        std::vector<uint8_t> out(needed);
        if (needed == 0 || !QueryActCtxW(0, handle_, &assembly, infoClass, out.data(), needed, &needed)) out.clear();
        return out;
    }

private:
    std::string path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD error_ = 0;
};

TEST(Manifest, IsResourceOneOfType24AndNamesCommonControls6) {
    HMODULE exe = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr) << ProgramPath();
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(exe, found)));
    std::string text(bytes, SizeofResource(exe, found));
    FreeLibrary(exe);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos) << text;
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos) << text;
}

TEST(Manifest, ParsesIntoCommonControls6AsInvokerSupportedSystemsAndNoDpiAwareness) {
    Context ctx;
    ASSERT_TRUE(ctx.Valid()) << "CreateActCtx failed with error " << ctx.Error();

    // Assembly 1 is the program, 2 its one dependency.
    std::vector<uint8_t> info = ctx.Query(AssemblyDetailedInformationInActivationContext, 2);
    ASSERT_FALSE(info.empty());
    std::string identity = Narrow(reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(
                                      info.data())->lpAssemblyEncodedAssemblyIdentity);
    EXPECT_EQ(identity.rfind("Microsoft.Windows.Common-Controls,", 0), 0u) << identity;
    EXPECT_NE(identity.find("version=\"6.0."), std::string::npos) << identity;

    info = ctx.Query(RunlevelInformationInActivationContext);
    ASSERT_GE(info.size(), sizeof(ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION));
    auto level = reinterpret_cast<const ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION*>(info.data());
    EXPECT_EQ(level->RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(level->UiAccess, 0u);

    // Newer systems add a field to each element: look for the identifiers
    // in the answer rather than step through it.
    info = ctx.Query(CompatibilityInformationInActivationContext);
    ASSERT_GE(info.size(), sizeof(DWORD));
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(info.data()), 5u);
    const GUID kSystems[] = {
        {0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}},   // Vista
        {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}},   // 7
        {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}},   // 8
        {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}},   // 8.1
        {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}},   // 10 and 11
    };
    for (const GUID& id : kSystems) {
        bool seen = false;
        for (size_t at = sizeof(DWORD); at + sizeof id <= info.size() && !seen; at += 4)
            seen = std::memcmp(info.data() + at, &id, sizeof id) == 0;
        EXPECT_TRUE(seen) << std::hex << id.Data1;
    }

    wchar_t value[32] = {};
    SIZE_T written = 0;
    ASSERT_TRUE(QueryActCtxSettingsW(0, ctx.Get(), nullptr, L"dpiAware", value, 32, &written));
    EXPECT_EQ(Narrow(value), "false");
}

// Where process `pid` loaded COMCTL32 from, lower case; empty when it has
// not. Common controls 6 come from the side-by-side store (WinSxS), in a
// folder named for the assembly; the file's own version says 5.81 under Wine.
std::string CommonControlsPath(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) return std::string();
    std::string path;
    MODULEENTRY32 m = {};
    m.dwSize = sizeof m;
    for (BOOL ok = Module32First(snap, &m); ok && path.empty(); ok = Module32Next(snap, &m))
        if (lstrcmpiA(m.szModule, "comctl32.dll") == 0) path = m.szExePath;
    CloseHandle(snap);
    CharLowerA(&path[0]);
    return path;
}

TEST(Manifest, TheRunningProgramGetsCommonControls6) {
    test::ToolUnderTest tool("manifest", "device emulator-5554 device\n");
    ASSERT_TRUE(tool.Start());
    std::string path = CommonControlsPath(tool.ProcessId());
    EXPECT_NE(path.find("\\winsxs\\x86_microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos)
        << path;
}

} // namespace
