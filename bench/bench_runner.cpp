// Figures for the console command runner, run against the simulated device
// bridge (adb_1.0.40\adb.exe of this build) through the command interpreter.
// One mode per run, so that bench/run.sh can watch the wine server around it:
//   cpu <server pid> <token>
//            the runner's CPU time while a 3 s command runs, and the same for
//            a busy polling loop (peek, exit code, messages) as a reference:
//            this program's and the wine server's, from Linux's counters; also
//            the silent middle of the runner's run alone
//   capture  a 10 MB output: the runner against a plain blocking pipe reader
//   latency  from the interpreter's exit to the runner's return
// Each prints one tab-separated line: mode, then name=value pairs.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "app/runner.h"
#include "app/program.h"
#include "app/support.h"
#include "data/program.h"
#include "runtime/app.h"
#include "runtime/dll.h"
#include "runtime/services.h"
#include "runtime/syscalls.h"
#include "bench/measure.h"

namespace {

using rt::kServices;

std::string gExeDir;

std::string ExeDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

std::string Adb(const std::string& args) { return gExeDir + "\\..\\adb_1.0.40\\adb " + args; }

void SetState(const std::string& text) {
    std::string path = gExeDir + "\\bench_state.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

uint64_t Ticks(const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; }

// CPU seconds of a Linux process, all its threads,
// from the scheduler's nanosecond counters; Wine's GetProcessTimes counts in
// 10 ms ticks, too coarse for a share below 1 %.
double LinuxCpu(const std::string& pid) {
    std::string dir = "Z:\\proc\\" + pid + "\\task\\";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    double total = 0;
    do {
        if (fd.cFileName[0] == '.') continue;
        FILE* f = std::fopen((dir + fd.cFileName + "\\schedstat").c_str(), "rb");
        if (!f) continue;
        unsigned long long ns = 0;
        if (std::fscanf(f, "%llu", &ns) == 1) total += static_cast<double>(ns) / 1e9;
        std::fclose(f);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return total;
}

std::string gServerPid;   // the wine server of this prefix, when run.sh names it
std::string gOwnPid;      // this program's Linux process

// Under Wine, /proc/self names the wine server, so this process is found by
// a token that run.sh put on its command line, in the one command line that
// starts with this program (not timeout's or the wine launcher's).
std::string FindOwnPid(const std::string& token) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("Z:\\proc\\*", &fd);
    if (h == INVALID_HANDLE_VALUE) return "";
    std::string found;
    do {
        if (fd.cFileName[0] < '0' || fd.cFileName[0] > '9') continue;
        FILE* f = std::fopen((std::string("Z:\\proc\\") + fd.cFileName + "\\cmdline").c_str(), "rb");
        if (!f) continue;
        char buf[4096];
        size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        std::string line(buf, n);
        std::string first = line.substr(0, line.find('\0'));
        const std::string self = "bench_runner.exe";
        bool isSelf = first.size() >= self.size() && first.compare(first.size() - self.size(), self.size(), self) == 0;
        if (isSelf && line.find(token) != std::string::npos) found = fd.cFileName;
    } while (found.empty() && FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

struct CpuMark {
    double wall, self, server;
};
CpuMark Mark() {
    return CpuMark{Now(), gOwnPid.empty() ? 0 : LinuxCpu(gOwnPid), gServerPid.empty() ? 0 : LinuxCpu(gServerPid)};
}

size_t RunRunner(const std::string& line) {
    char* command = app::Concat(1, line.c_str());
    char* out = app::RunConsoleCommand(&command);
    size_t n = out ? std::strlen(out) : 0;
    kServices.free(out);
    kServices.free(command);
    return n;
}

struct Child {
    HANDLE process = nullptr;
    HANDLE read = nullptr;
};

Child StartInterpreter(const std::string& line) {
    Child c;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE write = nullptr;
    CreatePipe(&c.read, &write, &sa, 0);
    SetHandleInformation(c.read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    si.hStdOutput = si.hStdError = write;
    PROCESS_INFORMATION pi = {};
    std::string full = "cmd.exe /c " + line;
    std::vector<char> buf(full.begin(), full.end());
    buf.push_back(0);
    CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(write);
    CloseHandle(pi.hThread);
    c.process = pi.hProcess;
    return c;
}

// The reference reader: one blocking ReadFile after another until the pipe
// breaks. Fast, but it would wait for any process holding the write end.
size_t PlainReader(const std::string& line) {
    Child c = StartInterpreter(line);
    std::string out;
    std::vector<char> buf(65536);
    DWORD got = 0;
    while (ReadFile(c.read, buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0)
        out.append(buf.data(), got);
    WaitForSingleObject(c.process, INFINITE);
    CloseHandle(c.process);
    CloseHandle(c.read);
    return out.size();
}

// The wait without a pause: peek, exit code, pending messages, again.
size_t BusyPolling(const std::string& line) {
    Child c = StartInterpreter(line);
    std::string out;
    for (;;) {
        DWORD avail = 0, code = 0;
        PeekNamedPipe(c.read, nullptr, 0, nullptr, &avail, nullptr);
        if (avail) {
            std::vector<char> buf(avail);
            ReadFile(c.read, buf.data(), avail, &avail, nullptr);
            out.append(buf.data(), avail);
        } else {
            GetExitCodeProcess(c.process, &code);
            if (code != STILL_ACTIVE) break;
        }
        rt::PumpPendingMessages();
    }
    CloseHandle(c.process);
    CloseHandle(c.read);
    return out.size();
}

void PrintShare(const char* name, const CpuMark& a, const CpuMark& b) {
    double wall = b.wall - a.wall;
    std::printf("\t%s_wall_s=%.3f\t%s_self_pct=%.3f\t%s_server_pct=%.3f", name, wall, name,
                100.0 * (b.self - a.self) / wall, name, 100.0 * (b.server - a.server) / wall);
}

// Marks taken by a thread of its own while the command sleeps, from 1.0 s to
// 2.8 s after the run began: the wait alone, without the cost of starting
// the interpreter and adb, which the whole run's figure includes.
struct SteadyWindow {
    double start = 0;
    CpuMark from{}, to{};
};

DWORD WINAPI MarkSteadyWindow(void* p) {
    SteadyWindow* w = static_cast<SteadyWindow*>(p);
    Sleep(static_cast<DWORD>(w->start + 1000 - Now()));
    w->from = Mark();
    Sleep(1800);
    w->to = Mark();
    return 0;
}

int Cpu() {
    const std::string line = Adb("devices");
    SetState("device emulator-5554 device\ndelay 3000\n");
    RunRunner(line);   // binds the DLL commands outside the measured run

    // The server's own background work, with nothing of ours running.
    CpuMark idle = Mark();
    Sleep(3000);
    CpuMark a = Mark();
    SteadyWindow steady;
    steady.start = a.wall;
    HANDLE marker = CreateThread(nullptr, 0, MarkSteadyWindow, &steady, 0, nullptr);
    size_t n = RunRunner(line);
    CpuMark b = Mark();
    WaitForSingleObject(marker, INFINITE);
    CloseHandle(marker);
    size_t m = BusyPolling(line);
    CpuMark c = Mark();

    std::printf("cpu\town_pid=%s\tserver_pid=%s", gOwnPid.c_str(), gServerPid.c_str());
    PrintShare("idle", idle, a);
    PrintShare("runner", a, b);
    PrintShare("wait", steady.from, steady.to);
    PrintShare("poll", b, c);
    std::printf("\trunner_bytes=%u\tpoll_bytes=%u\n", static_cast<unsigned>(n), static_cast<unsigned>(m));
    return 0;
}

int Capture(int megabytes) {
    const std::string line = Adb("shell pm list packages -d");
    SetState("device emulator-5554 device\npad " + std::to_string(megabytes << 20) + "\n");
    RunRunner(line);
    PlainReader(line);

    const int kRounds = 7;
    std::vector<double> runner, plain;
    size_t runnerBytes = 0, plainBytes = 0;
    for (int i = 0; i < kRounds; i++) {
        double t0 = Now();
        runnerBytes = RunRunner(line);
        runner.push_back(Now() - t0);
        t0 = Now();
        plainBytes = PlainReader(line);
        plain.push_back(Now() - t0);
    }
    double r = bench::Median(runner), p = bench::Median(plain);
    std::printf("capture\tmb=%d\trunner_ms=%.1f\tplain_ms=%.1f\tratio=%.2f\trunner_bytes=%u\tplain_bytes=%u\trounds=%d\n",
                megabytes, r * 1e3, p * 1e3, r / p, static_cast<unsigned>(runnerBytes),
                static_cast<unsigned>(plainBytes), kRounds);
    return 0;
}

// CreateProcessA for the runner, keeping a handle to the interpreter so that
// its exit time can be read after the runner has closed its own.
HANDLE gKept = nullptr;

BOOL WINAPI KeepingCreateProcessA(LPCSTR app, LPSTR line, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta,
                                  BOOL inherit, DWORD flags, LPVOID env, LPCSTR dir, LPSTARTUPINFOA si,
                                  LPPROCESS_INFORMATION pi) {
    BOOL ok = CreateProcessA(app, line, pa, ta, inherit, flags, env, dir, si, pi);
    if (ok) DuplicateHandle(GetCurrentProcess(), pi->hProcess, GetCurrentProcess(), &gKept, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
    return ok;
}

FARPROC WINAPI KeepingGetProcAddress(HMODULE m, LPCSTR name) {
    if (HIWORD(reinterpret_cast<uintptr_t>(name)) && std::strcmp(name, "CreateProcessA") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(KeepingCreateProcessA));
    return GetProcAddress(m, name);
}

int Latency() {
    typedef VOID(WINAPI * PreciseTime)(LPFILETIME);
    auto precise = reinterpret_cast<PreciseTime>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    if (!precise) precise = GetSystemTimeAsFileTime;
    rt::gSys.GetProcAddress = KeepingGetProcAddress;

    const std::string line = Adb("devices");
    SetState("device emulator-5554 device\ndelay 300\n");
    RunRunner(line);
    CloseHandle(gKept);

    const int kRounds = 15;
    std::vector<double> ms;
    for (int i = 0; i < kRounds; i++) {
        RunRunner(line);
        FILETIME returned;
        precise(&returned);
        FILETIME created, exited, kernel, user;
        GetProcessTimes(gKept, &created, &exited, &kernel, &user);
        CloseHandle(gKept);
        ms.push_back(static_cast<double>(static_cast<int64_t>(Ticks(returned) - Ticks(exited))) / 1e4);
    }
    std::printf("latency\tmedian_ms=%.2f\tmax_ms=%.2f\tmin_ms=%.2f\trounds=%d\n", bench::Median(ms),
                *std::max_element(ms.begin(), ms.end()), *std::min_element(ms.begin(), ms.end()), kRounds);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    gExeDir = ExeDir();
    rt::gApp.header = app::Header();
    rt::gApp.exeFolder = gExeDir + "\\";
    kServices.auxiliary(rt::kAuxInitRuntime);
    SetEnvironmentVariableA("ADBSIM_STATE", (gExeDir + "\\bench_state.txt").c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", (gExeDir + "\\bench_log.txt").c_str());
    DeleteFileA((gExeDir + "\\bench_log.txt").c_str());

    std::string mode = argc > 1 ? argv[1] : "";
    if (argc > 3) {
        gServerPid = argv[2];
        gOwnPid = FindOwnPid(argv[3]);
    }
    if (mode == "cpu") return Cpu();
    if (mode == "capture") return Capture(argc > 2 && argc <= 3 ? std::atoi(argv[2]) : 10);
    if (mode == "latency") return Latency();
    std::fprintf(stderr, "usage: bench_runner cpu|capture|latency\n");
    return 2;
}
