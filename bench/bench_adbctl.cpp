// adbctl against the device layer it is built on: disabling one list of
// packages on 16 simulated phones at once, as `adbctl disable --from
// list.txt --all` (a process of its own: its start, the device list, the
// printing) and as the same batch through dev::RunOnDevices in this process.
// Both write the record; each round starts from fresh phones. Prints one
// tab-separated line of name=value pairs (and each round on standard error);
// the target is a ratio of at most 1.1.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/measure.h"
#include "bench/phones.h"
#include "device/batch.h"

namespace {

constexpr size_t kPhones = 16;
constexpr size_t kPackages = 40;
constexpr int kRounds = 5;

// Runs adbctl with its output into NUL; its exit status.
DWORD RunAdbctl(const std::string& exe, const std::string& args) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = nul;
    si.hStdError = nul;
    std::string line = "\"" + exe + "\" " + args;
    PROCESS_INFORMATION pi = {};
    DWORD exit = 0xDEAD;
    // As from a script's console: no console of its own to make first.
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &exit);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(nul);
    return exit;
}

} // namespace

// Sixteen phones of the profile defaults' latencies (a connection 40 ms, a
// command 15 ms, a change 150 ms), each with the list's packages and a few
// more. Small phones on purpose: the simulator rewrites its whole state file
// per change, and 16 copies of a 370-package phone turn that into the
// machine's load rather than the phones' latency.
std::string Phones(std::vector<std::string>* names, std::vector<std::string>* serials) {
    std::string profile = "platform-tools 34.0.5\n";
    for (size_t i = 0; i < kPackages; i++) names->push_back("com.example.preinstalled.app" + std::to_string(i));
    for (size_t p = 0; p < kPhones; p++) {
        serials->push_back("BENCH" + std::to_string(p));
        profile += "device " + serials->back() + " device product:bench model:Bench_" + std::to_string(p) +
                   " device:bench\napi 34\npackage android enabled system protected\n"
                   "package com.android.systemui enabled system protected\n";
        for (const std::string& n : *names) profile += "package " + n + " enabled system\n";
        profile += "package com.tencent.mm enabled third-party\n";
    }
    return profile;
}

int main() {
    std::string dir = test::ExeDir();
    std::string state = dir + "\\bench_adbctl_state.txt";
    std::string record = dir + "\\bench_adbctl_record.log";
    std::string list = dir + "\\bench_adbctl_list.txt";
    std::string adbctl = dir + "\\..\\adbctl.exe";
    SetEnvironmentVariableA("ADBSIM_STATE", state.c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", (dir + "\\bench_adbctl_log.txt").c_str());
    dev::Adb adb(dir + "\\..\\adb_1.0.40\\adb.exe");

    std::vector<std::string> names, serials;
    std::string phones = Phones(&names, &serials);
    std::string text;
    for (const std::string& n : names) text += n + "\r\n";
    test::WriteFileText(list, text);

    dev::ActionRecord layerRecord(record);
    dev::BatchOptions options;
    options.record = &layerRecord;
    std::vector<double> layer, cli, ratio;
    DWORD exit = 0;
    for (int i = 0; i < kRounds; i++) {
        test::WriteFileText(state, phones);
        DeleteFileA(record.c_str());
        double start = bench::NowMs();
        dev::RunOnDevices(adb, serials, dev::Action::Disable, names, options);
        layer.push_back(bench::NowMs() - start);

        test::WriteFileText(state, phones);
        DeleteFileA(record.c_str());
        start = bench::NowMs();
        // --yes: the layer's batch asks nobody either.
        exit = RunAdbctl(adbctl, "disable --all --yes --from \"" + list + "\" --record-file \"" + record + "\"");
        cli.push_back(bench::NowMs() - start);
        ratio.push_back(cli.back() / layer.back());
        std::fprintf(stderr, "round %d: layer %.0f ms, adbctl %.0f ms\n", i + 1, layer.back(), cli.back());
    }
    std::printf("adbctl\tphones=%u\tpackages=%u\tlayer_ms=%.0f\tadbctl_ms=%.0f\tadbctl_exit=%lu\tratio=%.2f\n",
                unsigned(kPhones), unsigned(names.size()), bench::Median(layer), bench::Median(cli), exit,
                bench::Median(ratio));
    return 0;
}
