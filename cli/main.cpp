// adbctl: the package manager's actions for scripts, on the same device
// layer, record and list files. See `adbctl --help`.
#include <windows.h>
#include <shellapi.h>
#include <cstdlib>
#include <string>
#include <vector>
#include "commands.h"

#ifdef __GLIBCXX__
// libstdc++'s own handler for a C++ failure with nowhere to go prints the
// type's name, and links in its name demangler for that: 46 KB, a tenth of
// the program. This one ends it as Windows ends a crashed program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
} // namespace __gnu_cxx
#endif

namespace {

dev::Cancel* gCancel = nullptr;

// Ctrl+C and Ctrl+Break stop the batch after the package in progress; the
// record is finished and the program exits with 4.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    // A second press ends it at once: its adb clients end with it (the
    // device layer ties them to this process), and the record's intents
    // tell the next read what was asked.
    if (gCancel && gCancel->Requested()) ExitProcess(cli::kExitCancelled);
    if (gCancel) gCancel->Request();
    return TRUE;
}

std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return args;
    for (int i = 1; i < count; i++) args.push_back(argv[i]);
    LocalFree(argv);
    return args;
}

} // namespace

int main() {
    // adb inherits every inheritable handle, and the adb server it may start
    // lives on for minutes: holding our output pipe, it would keep a script's
    // `adbctl list | findstr ...` waiting long after we ended.
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
    std::vector<std::wstring> args = Arguments();
    cli::Options o;
    std::string error;
    bool parsed = cli::ParseArguments(args, &o, &error);
    // Even a usage error or the help text follows --ansi.
    bool ansi = false;
    for (const std::wstring& a : args) ansi = ansi || a == L"--ansi";
    cli::Output out(ansi);
    if (!parsed) {
        out.Error("adbctl：" + error);
        return cli::kExitUsage;
    }
    if (o.json && o.ansi) out.Error("adbctl：--ansi 对 --json 不起作用，JSON 总是 UTF-8");
    dev::Cancel cancel;
    gCancel = &cancel;
    out.StopOnFailure(&cancel);
    // A process started in a new process group ignores Ctrl+C until it asks for it.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int exit = cli::RunCommand(o, out, cancel);
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    gCancel = nullptr;
    if (out.out.Failed()) {
        out.Error("adbctl：输出无法写入（管道已关闭或磁盘已满），已停止");
        return cli::kExitOutput;
    }
    return exit;
}
