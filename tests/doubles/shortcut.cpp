// Prints what a shortcut (.lnk) starts, as Explorer reads it: the target's
// path on the first line, its arguments on the second (UTF-8). For the
// installer's test, which looks at the Start-menu entries it made.
#include <windows.h>
#include <shlobj.h>
#include <cstdio>
#include <string>

namespace {

std::string Utf8(const wchar_t* w) {
    char s[4096] = "";
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s, sizeof s, nullptr, nullptr);
    return s;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    int status = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(argv[1], STGM_READ))) {
        wchar_t path[MAX_PATH] = L"", args[1024] = L"";
        link->GetPath(path, MAX_PATH, nullptr, 0);
        link->GetArguments(args, 1024);
        std::printf("%s\n%s\n", Utf8(path).c_str(), Utf8(args).c_str());
        status = 0;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return status;
}
