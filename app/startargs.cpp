#include "startargs.h"

#include <windows.h>
#include <cwchar>

namespace app {

namespace {

std::string Narrow(const wchar_t* w) {
    int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

// The shell's splitter, bound when a command line has an option to split:
// linking SHELL32 would load the shell at every start (under Wine a large
// library, with its helpers, that the start-up window does not need).
wchar_t** SplitCommandLine(const wchar_t* line, int* count) {
    using Split = wchar_t**(WINAPI*)(const wchar_t*, int*);
    HMODULE shell = LoadLibraryA("SHELL32.DLL");   // kept for the run
    FARPROC found = shell ? GetProcAddress(shell, "CommandLineToArgvW") : nullptr;
    Split split = reinterpret_cast<Split>(reinterpret_cast<void (*)()>(found));
    return split ? split(line, count) : nullptr;
}

} // namespace

StartArguments ReadStartArguments() {
    StartArguments a;
    const wchar_t* line = GetCommandLineW();
    if (!std::wcsstr(line, L"--")) return a;   // no option of ours
    int count = 0;
    wchar_t** argv = SplitCommandLine(line, &count);
    if (!argv) return a;
    for (int i = 1; i < count; i++) {
        std::wstring word = argv[i];
        if (word == L"--manager") a.manager = true;
        else if (word == L"--device" && i + 1 < count) a.device = Narrow(argv[++i]);
        else if (word.compare(0, 9, L"--device=") == 0) a.device = Narrow(argv[i] + 9);
    }
    LocalFree(argv);
    return a;
}

} // namespace app
