#include "startargs.h"

#include <windows.h>
#include <shellapi.h>

namespace app {

namespace {

std::string Narrow(const wchar_t* w) {
    int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string s(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, -1, &s[0], n, nullptr, nullptr);
    return s;
}

} // namespace

StartArguments ReadStartArguments() {
    StartArguments a;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
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
