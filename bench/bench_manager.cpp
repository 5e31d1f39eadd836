// Opening the package manager window to a shown list of the current phone's
// 369 packages, against one plain `adb shell` call to the same simulated
// phone in the same run. The clock starts at the user's choice of the
// system-menu item (the command the menu sends) and stops when the list
// view holds the rows. Two baselines: `adb shell true` (a process start and
// a round trip) and `adb shell pm list packages` (what one types to see the
// packages). Prints the medians, the time until the window appeared, and
// the ratios (target <= 1.3).
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "tests/support/managerdriver.h"
#include "bench/measure.h"

namespace {

// One plain `adb shell <command>` as its own process, start to end.
double PlainShell(const std::string& adb, const std::string& dir, const char* command) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + adb + "\" shell " + command;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    double t0 = bench::NowMs();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, dir.c_str(), &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    double t = bench::NowMs() - t0;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return t;
}

// The command the start-up window's system menu sends for its first item of ours.
constexpr WPARAM kManagerItem = 0x1000;

} // namespace

int main() {
    std::string profile = test::ReadFileBytes(test::ExeDir() + "\\..\\..\\tests\\profiles\\current-phone.txt");
    if (profile.empty()) return std::fprintf(stderr, "no profile\n"), 1;
    std::vector<double> shells, lists, opens, windows;
    for (int round = 0; round < 7; round++) {
        test::ToolUnderTest tool("bench-manager", profile);
        if (!tool.Start()) return std::fprintf(stderr, "no window\n"), 1;
        std::string adbDir = tool.Folder() + "\\adb_1.0.40";
        shells.push_back(PlainShell(adbDir + "\\adb.exe", adbDir, "true"));
        lists.push_back(PlainShell(adbDir + "\\adb.exe", adbDir, "pm list packages"));
        double t0 = bench::NowMs();
        PostMessageA(tool.Window(), WM_SYSCOMMAND, kManagerItem, 0);
        HWND window = nullptr, list = nullptr;
        double shown = 0;
        for (;;) {
            if (!window && (window = test::FindProcessWindow(tool.ProcessId(), "RVWindow", "应用管理")) != nullptr) {
                shown = bench::NowMs() - t0;
                list = FindWindowExA(window, nullptr, "SysListView32", nullptr);
            }
            if (list && SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) > 300) break;
            if (bench::NowMs() - t0 > 60000) return std::fprintf(stderr, "no list\n"), 1;
            Sleep(1);
        }
        opens.push_back(bench::NowMs() - t0);
        windows.push_back(shown);
        tool.Close();
        tool.WaitExit();
    }
    double shell = bench::Median(shells), list = bench::Median(lists), open = bench::Median(opens);
    std::printf("manager_open_ms=%.1f\twindow_shown_ms=%.1f\tshell_true_ms=%.1f\tratio=%.2f\tshell_pm_list_ms=%.1f"
                "\tratio_pm_list=%.2f\ttarget<=1.3\n",
                open, bench::Median(windows), shell, open / shell, list, open / list);
    return 0;
}
