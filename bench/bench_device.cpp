// Figures for the device layer against the simulated device bridge with a
// profile's own latencies (default: the current phone of tests/profiles).
// Each figure is a ratio against a baseline measured in the same run; the
// median of several rounds is taken, each round starting from a fresh copy
// of the profile:
//   read    every package of user 0 in one process / one plain
//           `adb shell pm list packages -d` (the start-up window's own call)
//   batch   disabling 100 packages in one batch / disabling one
//   devices the batch of 100 on 4 phones at once / on one phone
// Prints one tab-separated line: name=value pairs.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include "device/batch.h"

namespace {

using namespace dev;

constexpr int kRounds = 3;
constexpr size_t kBatch = 100;
constexpr size_t kPhones = 4;

std::string ExeDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

std::string ReadText(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return text;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    return text;
}

void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// The profile with its first phone copied under other serials: the lines
// before the first device line are every phone's, the rest is that phone.
std::string WithPhones(const std::string& profile, const std::string& serial, size_t count) {
    size_t first = profile.find("\ndevice ");
    if (first == std::string::npos) return profile;
    std::string head = profile.substr(0, first + 1);
    std::string block = profile.substr(first + 1);
    size_t next = block.find("\ndevice ");
    if (next != std::string::npos) block.erase(next + 1);
    std::string out = head;
    for (size_t i = 0; i < count; i++) {
        std::string copy = block;
        if (i > 0) copy.replace(7, serial.size(), serial + "-" + std::to_string(i));
        out += copy;
    }
    return out;
}

// Median time of fn over the rounds, each after `reset`.
double Median(const std::function<void()>& reset, const std::function<void()>& fn) {
    std::vector<double> t;
    for (int i = 0; i < kRounds; i++) {
        reset();
        double start = Now();
        fn();
        t.push_back(Now() - start);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::string dir = ExeDir();
    std::string profilePath = argc > 1 ? argv[1] : dir + "\\..\\..\\tests\\profiles\\current.txt";
    std::string profile = ReadText(profilePath);
    if (profile.empty()) {
        std::fprintf(stderr, "no profile at %s\n", profilePath.c_str());
        return 1;
    }
    std::string state = dir + "\\bench_device_state.txt";
    SetEnvironmentVariableA("ADBSIM_STATE", state.c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", (dir + "\\bench_device_log.txt").c_str());
    Adb adb(dir + "\\..\\adb_1.0.40\\adb.exe");

    WriteText(state, profile);
    DeviceList devices = ListDevices(adb);
    std::string serial;
    for (const Device& d : devices.devices)
        if (d.state == DeviceState::Ready && serial.empty()) serial = d.serial;
    PackageRead first = ReadPackages(adb, serial, 0);
    std::vector<std::string> batch;
    for (const Package& p : first.snapshot.packages)
        if (p.state == PackageState::Enabled && batch.size() < kBatch) batch.push_back(p.name);
    if (serial.empty() || batch.size() < kBatch) {
        std::fprintf(stderr, "the profile needs a ready phone with %u enabled packages\n", unsigned(kBatch));
        return 1;
    }

    auto fresh = [&] { WriteText(state, profile); };
    double plain = Median(fresh, [&] { adb.Shell(serial, "pm list packages -d"); });
    double read = Median(fresh, [&] { ReadPackages(adb, serial, 0); });
    size_t done = 0;
    double one = Median(fresh, [&] { RunBatch(adb, serial, Action::Disable, {batch[0]}, BatchOptions()); });
    double hundred = Median(fresh, [&] {
        BatchResult b = RunBatch(adb, serial, Action::Disable, batch, BatchOptions());
        done = 0;
        for (const PackageResult& r : b.results) done += r.outcome == Outcome::Done;
    });

    std::string many = WithPhones(profile, serial, kPhones);
    std::vector<std::string> serials = {serial};
    for (size_t i = 1; i < kPhones; i++) serials.push_back(serial + "-" + std::to_string(i));
    double onAll = Median([&] { WriteText(state, many); },
                          [&] { RunOnDevices(adb, serials, Action::Disable, batch, BatchOptions()); });

    std::printf("device\tpackages=%u\tplain_ms=%.0f\tread_ms=%.0f\tread_ratio=%.2f\tone_ms=%.0f\tbatch_ms=%.0f"
                "\tbatch_done=%u\tbatch_ratio=%.2f\tfour_ms=%.0f\tfour_ratio=%.2f\n",
                unsigned(first.snapshot.packages.size()), plain * 1000, read * 1000, read / plain, one * 1000,
                hundred * 1000, unsigned(done), hundred / one, onAll * 1000, onAll / hundred);
    return 0;
}
