// Opening the package manager window to a shown list of the current phone's
// 369 packages, against one plain `adb shell` call to the same simulated
// phone in the same run. Prints the medians and their ratio (target <= 1.3).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "tests/support/managerdriver.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

std::string ExeDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string ReadText(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    return text;
}

// One `adb shell true` as its own process, start to end.
double PlainShell(const std::string& adb, const std::string& dir) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "\"" + adb + "\" shell true";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    double t0 = Now();
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, dir.c_str(), &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    double t = Now() - t0;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return t;
}

} // namespace

int main() {
    std::string profile = ReadText(ExeDir() + "\\..\\..\\tests\\profiles\\current-phone.txt");
    if (profile.empty()) return std::fprintf(stderr, "no profile\n"), 1;
    std::vector<double> shells, opens;
    for (int round = 0; round < 5; round++) {
        test::ToolUnderTest tool("bench-manager", profile);
        if (!tool.Start()) return std::fprintf(stderr, "no window\n"), 1;
        std::string adbDir = tool.Folder() + "\\adb_1.0.40";
        shells.push_back(PlainShell(adbDir + "\\adb.exe", adbDir));
        test::ManagerUnderTest m(tool);
        double t0 = Now();
        if (!m.Open() || !tool.WaitFor([&] { return m.RowCount() > 300; }, 60000))
            return std::fprintf(stderr, "no list\n"), 1;
        opens.push_back(Now() - t0);
        tool.Close();
        tool.WaitExit();
    }
    double shell = Median(shells), open = Median(opens);
    std::printf("manager_open_ms=%.1f\tplain_shell_ms=%.1f\tratio=%.2f\ttarget<=1.3\n", open, shell, open / shell);
    return 0;
}
