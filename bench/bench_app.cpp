// The whole tool against baselines measured in the same run: start-up to the
// first painted window against a bare window program, click-to-log against
// running the same command line directly, the tool's private memory, and
// closing the window while a hung command runs against closing it idle.
#include <windows.h>
#include <psapi.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "tests/support/uidriver.h"
#include "bench/measure.h"

namespace {

// Milliseconds from CreateProcess until the program's window is visible and
// has handled its first messages (its first paint comes before an idle queue
// answers WM_NULL).
double TimeToWindow(const std::string& exe, const std::string& dir) {
    PROCESS_INFORMATION pi = {};
    double t0 = bench::NowMs();
    if (!test::StartProgram(exe, dir, &pi)) return -1;
    HWND window = nullptr;
    while (!window && bench::NowMs() - t0 < 20000) {
        window = test::FindProcessWindow(pi.dwProcessId);
        if (!window) Sleep(1);
    }
    DWORD_PTR r;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    double t = bench::NowMs() - t0;
    PostMessageA(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return t;
}

// The same command line run directly, reading the pipe until the end.
double RunDirect(const std::string& command) {
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE rd, wr;
    CreatePipe(&rd, &wr, &sa, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.hStdOutput = si.hStdError = wr;
    PROCESS_INFORMATION pi = {};
    std::string cmd = "cmd.exe /c " + command;
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    double t0 = bench::NowMs();
    CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(wr);
    char buf[65536];
    DWORD got, avail;
    for (;;) {
        if (PeekNamedPipe(rd, nullptr, 0, nullptr, &avail, nullptr) && avail) {
            ReadFile(rd, buf, sizeof buf, &got, nullptr);
            continue;
        }
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    double t = bench::NowMs() - t0;
    CloseHandle(rd);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return t;
}

double PrivateMb(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
    // Wine may leave PrivateUsage empty; the page-file figure is the same count there.
    SIZE_T bytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

const char kDevice[] = "device emulator-5554 device\npackage com.example.app enabled\n";

void Startup() {
    std::string build = test::ExeDir();
    build = build.substr(0, build.find_last_of('\\'));
    test::ToolUnderTest stage("bench-startup", kDevice);
    std::vector<double> tool, bare;
    // Alternating, eleven of each: one start-up under Wine varies by a third.
    for (int i = 0; i < 11; i++) {
        bare.push_back(TimeToWindow(build + "\\bench\\barewin.exe", stage.Folder()));
        tool.push_back(TimeToWindow(stage.Folder() + "\\adbtool.exe", stage.Folder()));
    }
    std::printf("startup\ttool_ms=%.1f\tbare_ms=%.1f\tratio=%.2f\n", bench::Median(tool), bench::Median(bare),
                bench::Median(tool) / bench::Median(bare));
}

void Click() {
    test::ToolUnderTest tool("bench-click", kDevice);
    if (!tool.Start()) return;
    std::string command = "\"\"" + tool.Folder() + "\\adb_1.0.40\\adb\" devices\"";
    std::vector<double> clicks, direct;
    for (int i = 0; i < 25; i++) {
        tool.SetText(tool.Log(), "");
        double t0 = bench::NowMs();
        tool.Click(tool.Button(test::captions::kListDevices));
        HWND log = tool.Log(), button = tool.Button(test::captions::kListDevices);
        // A tight watch: the driver's own polling would add its interval to every figure.
        char probe[16];
        // WM_GETTEXTLENGTH of another process's rich edit box answers 0 under Wine.
        while (SendMessageA(log, WM_GETTEXT, sizeof probe, reinterpret_cast<LPARAM>(probe)) == 0 ||
               !IsWindowEnabled(button)) {
            if (bench::NowMs() - t0 > 20000) break;
            Sleep(1);
        }
        clicks.push_back(bench::NowMs() - t0);
        direct.push_back(RunDirect(command));
    }
    std::printf("click\tclick_ms=%.1f\tdirect_ms=%.1f\toverhead_ms=%.1f\n", bench::Median(clicks), bench::Median(direct),
                bench::Median(clicks) - bench::Median(direct));
    tool.Close();
    tool.WaitExit();
}

void Memory(int megabytes) {
    test::ToolUnderTest tool("bench-memory", std::string(kDevice) + "pad " + std::to_string(megabytes << 20) + "\n");
    if (!tool.Start()) return;
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, tool.ProcessId());
    Sleep(500);
    double atStart = PrivateMb(p);
    tool.ClickAndWait(test::captions::kListDevices, true, 600000);
    double shown = PrivateMb(p);
    // The next output is small again: the state file loses its padding.
    HANDLE h = CreateFileA((tool.Folder() + "\\adb_1.0.40\\adb_state.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr);
    DWORD put;
    WriteFile(h, kDevice, sizeof kDevice - 1, &put, nullptr);
    CloseHandle(h);
    tool.ClickAndWait(test::captions::kListDevices, true, 600000);
    Sleep(500);
    double replaced = PrivateMb(p);
    std::printf("memory\tmb=%d\tstart_mb=%.1f\tshown_mb=%.1f\treplaced_mb=%.1f\tgrowth_mb=%.1f\n", megabytes, atStart,
                shown, replaced, replaced - atStart);
    CloseHandle(p);
    tool.Close();
    tool.WaitExit(60000);
}

// Milliseconds from WM_CLOSE until the process has ended, with the window
// idle and with a hung command running (its adb client sleeps a minute).
double TimeToClose(bool hung) {
    test::ToolUnderTest tool(hung ? "bench-close-hung" : "bench-close-idle",
                             std::string(kDevice) + (hung ? "delay 60000\n" : ""));
    if (!tool.Start()) return -1;
    if (hung) {
        size_t before = tool.AdbLog().size();
        tool.Click(tool.Button(test::captions::kListDevices));
        tool.WaitFor([&] { return tool.AdbLog().size() > before; });
        Sleep(200);
    }
    double t0 = bench::NowMs();
    tool.Close();
    tool.WaitExit(120000);
    return bench::NowMs() - t0;
}

void Close() {
    std::vector<double> idle, hung;
    for (int i = 0; i < 5; i++) {
        idle.push_back(TimeToClose(false));
        hung.push_back(TimeToClose(true));
    }
    std::printf("close\tidle_ms=%.1f\thung_ms=%.1f\tmax_hung_ms=%.1f\n", bench::Median(idle), bench::Median(hung),
                *std::max_element(hung.begin(), hung.end()));
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "all";
    if (mode == "startup" || mode == "all") Startup();
    if (mode == "click" || mode == "all") Click();
    if (mode == "close" || mode == "all") Close();
    if (mode == "memory" || mode == "all") Memory(argc > 2 ? std::atoi(argv[2]) : 10);
    return 0;
}
