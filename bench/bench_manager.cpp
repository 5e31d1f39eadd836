// Opening the package manager window to a shown list of a phone's packages
// (default: the current phone of tests/profiles; the first argument names
// another profile there), against what it cannot do without: one plain
// `adb shell cmd package list packages` to the same simulated phone
// (`pm list packages` on a phone without cmd) plus the window's own
// creation, measured alone (the tool without adb beside it). The clock
// starts at the user's choice of the system-menu item (the command the menu
// sends) and stops when the list view holds every row, or for the window
// alone when it is shown. As on a computer where adb has been used since it
// started, an adb server listens on its port (the benchmark holds the port
// open); a second argument "no-server" leaves it closed, so that the window
// starts the server first, as on the first use of adb. Prints the medians
// and the ratio (target <= 1.3).
//
// With "names" as the second argument it measures app names instead: the
// phone's packages served from the test APKs, opening with every name in
// the name cache (as on every opening after the first) against opening with
// no cache file at all, alternating (target <= 1.1), and how many rows had
// their name when the list was first shown.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "tests/support/managerdriver.h"
#include "bench/measure.h"
#include "appnames/namecache.h"
#include "tests/support/testapks.h"

namespace {

constexpr int kRounds = 7;

// One plain `adb shell <command>` as its own process, start to end.
double PlainShell(const std::string& adb, const std::string& dir, const std::string& command) {
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

// Chooses the menu item and waits until the window is shown and, when
// `rows` > 0, its list holds that many rows. Milliseconds, or -1.
double OpenManager(test::ToolUnderTest& tool, int rows) {
    double t0 = bench::NowMs();
    PostMessageA(tool.Window(), WM_SYSCOMMAND, kManagerItem, 0);
    HWND window = nullptr, list = nullptr;
    for (;;) {
        if (!window && (window = test::FindProcessWindow(tool.ProcessId(), "RVWindow", "应用管理")) != nullptr) {
            if (rows == 0) return bench::NowMs() - t0;
            list = FindWindowExA(window, nullptr, "SysListView32", nullptr);
        }
        if (list && SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) >= rows) return bench::NowMs() - t0;
        if (bench::NowMs() - t0 > 60000) return -1;
        Sleep(1);
    }
}

// Listens on adb's port until the program ends, as a running adb server
// does; false when the port is taken (by a server, most likely).
bool HoldServerPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(5037);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return s != INVALID_SOCKET && bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0 && listen(s, 16) == 0;
}

int CountLines(const std::string& text, const char* start) {
    int n = 0;
    for (size_t at = 0; (at = text.find(start, at)) != std::string::npos; at++) n++;
    return n;
}

// The packages of a profile, in its order.
std::vector<std::string> Packages(const std::string& profile) {
    std::vector<std::string> names;
    for (size_t at = 0; (at = profile.find("\npackage ", at)) != std::string::npos;) {
        at += 9;
        names.push_back(profile.substr(at, profile.find_first_of(" \n", at) - at));
    }
    return names;
}

int Names(const std::string& profile, int rows) {
    // Every package serves one of the test APKs (the split's translation beside its base).
    std::string apks = test::ExeDir() + "\\bench-names-apks";
    CreateDirectoryA(apks.c_str(), nullptr);
    const char* kinds[] = {"locales", "refs", "launcher", "icons", "split_base", "literal", "locales_aapt2"};
    std::vector<std::string> packages = Packages(profile);
    for (size_t i = 0; i < packages.size(); i++) {
        std::string kind = kinds[i % 7];
        CopyFileA(test::TestApkPath(kind).c_str(), (apks + "\\" + packages[i] + ".apk").c_str(), FALSE);
        if (kind == "split_base")
            CopyFileA(test::TestApkPath("split_config.zh").c_str(),
                      (apks + "\\" + packages[i] + "@split_config.zh.apk").c_str(), FALSE);
    }
    const std::string named = profile + "apk-dir " + apks + "\n";
    const std::string cachePath = appnames::NameCache::DefaultPath();

    // The first opening reads every name and fills the cache.
    DeleteFileA(cachePath.c_str());
    {
        test::ToolUnderTest tool("bench-manager-names", named);
        if (!tool.Start() || OpenManager(tool, rows) < 0) return std::fprintf(stderr, "no list\n"), 1;
        test::ManagerUnderTest m(tool);
        if (!m.Find() || !m.WaitIdle(300000)) return std::fprintf(stderr, "no names\n"), 1;
        tool.Close();
        tool.WaitExit();
    }
    const std::string cache = test::ReadFileBytes(cachePath);
    if (cache.empty()) return std::fprintf(stderr, "no name cache\n"), 1;

    std::vector<double> withNames, without;
    int namedAtFirst = rows;
    for (int round = 0; round < kRounds; round++) {
        {
            DeleteFileA(cachePath.c_str());
            test::ToolUnderTest tool("bench-manager", profile);
            if (!tool.Start()) return std::fprintf(stderr, "no window\n"), 1;
            without.push_back(OpenManager(tool, rows));
            tool.Close();
            tool.WaitExit();
        }
        test::WriteFileText(cachePath, cache);
        test::ToolUnderTest tool("bench-manager-names", named);
        if (!tool.Start()) return std::fprintf(stderr, "no window\n"), 1;
        withNames.push_back(OpenManager(tool, rows));
        if (withNames.back() < 0 || without.back() < 0) return std::fprintf(stderr, "no list\n"), 1;
        if (round == 0) {
            test::ManagerUnderTest m(tool);
            m.Find();
            int count = 0;
            for (int r = 0; r < rows; r++) count += !m.Cell(r, 0).empty();
            namedAtFirst = count;
        }
        tool.Close();
        tool.WaitExit();
    }
    double a = bench::Median(withNames), b = bench::Median(without);
    std::printf("rows=%d\tnamed_at_first_show=%d\topen_with_cached_names_ms=%.1f\topen_without_names_ms=%.1f"
                "\tratio=%.2f\ttarget<=1.1\n",
                rows, namedAtFirst, a, b, a / b);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string name = argc > 1 ? argv[1] : "current-phone.txt";
    std::string profile = test::ReadFileBytes(test::ExeDir() + "\\..\\..\\tests\\profiles\\" + name);
    if (profile.empty()) return std::fprintf(stderr, "no profile %s\n", name.c_str()), 1;
    size_t apiAt = profile.find("\napi ");
    int api = apiAt == std::string::npos ? 34 : std::atoi(profile.c_str() + apiAt + 5);
    int rows = CountLines(profile, "\npackage ");
    const std::string plain = api >= 24 ? "cmd package list packages" : "pm list packages";
    // The window alone: no adb beside the tool, so that no adb run of its
    // first read competes with its creation for the processor.
    const std::string nothing = profile.substr(0, profile.find("\ndevice ") + 1);

    if (argc > 2 && std::string(argv[2]) == "names") {
        if (!HoldServerPort()) std::fprintf(stderr, "adb's port is taken already\n");
        return Names(profile, rows);
    }
    bool server = !(argc > 2 && std::string(argv[2]) == "no-server");
    if (server && !HoldServerPort()) std::fprintf(stderr, "adb's port is taken already\n");
    std::vector<double> lists, opens, alones;
    for (int round = 0; round < kRounds; round++) {
        {
            test::ToolUnderTest tool("bench-manager-alone", nothing, false);
            if (!tool.Start()) return std::fprintf(stderr, "no window\n"), 1;
            alones.push_back(OpenManager(tool, 0));
            tool.Close();
            tool.WaitExit();
        }
        test::ToolUnderTest tool("bench-manager", profile);
        if (!tool.Start()) return std::fprintf(stderr, "no window\n"), 1;
        std::string adbDir = tool.Folder() + "\\adb_1.0.40";
        lists.push_back(PlainShell(adbDir + "\\adb.exe", adbDir, plain));
        opens.push_back(OpenManager(tool, rows));
        if (opens.back() < 0) return std::fprintf(stderr, "no list\n"), 1;
        tool.Close();
        tool.WaitExit();
    }
    double list = bench::Median(lists), open = bench::Median(opens), alone = bench::Median(alones);
    std::printf("manager_api=%d\tserver=%d\trows=%d\tmanager_open_ms=%.1f\tplain_list_ms=%.1f\twindow_alone_ms=%.1f"
                "\tratio=%.2f\ttarget<=1.3\n",
                api, server ? 1 : 0, rows, open, list, alone, open / (list + alone));
    return 0;
}
