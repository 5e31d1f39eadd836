// Figures for the device layer against the simulated device bridge with a
// profile's own latencies (default: the current phone of tests/profiles).
// Each figure is a ratio against a baseline measured in the same run, the
// two timed in turn over several rounds, each from a fresh copy of the
// profile:
//   read    every package of user 0 in one process / one plain
//           `adb shell pm list packages -d` (the start-up window's own call)
//   batch   disabling 100 packages in one batch / disabling one. The phone
//           changes packages one after another (the profile's change-ms
//           each), so the ratio cannot fall below about
//           100 x change-ms / (one adb run + change-ms + the read-back);
//           one process per package would add a whole adb run per package
//   devices the batch of 100 on 4 phones at once / on one phone
// Prints one tab-separated line: name=value pairs.
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include "device/batch.h"
#include "bench/measure.h"
#include "bench/phones.h"

namespace {

using namespace dev;
using bench::ExeDir;
using bench::ReadText;
using bench::WithPhones;
using bench::WriteText;

constexpr int kReadRounds = 5;
constexpr int kBatchRounds = 3;   // a batch of 100 takes seconds
constexpr size_t kBatch = 100;
constexpr size_t kPhones = 4;

double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

struct Figure {
    double baseMs, measuredMs, ratio;   // medians over the rounds
};

double Timed(const std::function<void()>& reset, const std::function<void()>& fn) {
    reset();
    double start = Now();
    fn();
    return Now() - start;
}

// Baseline and measured in turn, each round: a load that drifts during the
// run weighs on both alike. The ratio is the median of the rounds' ratios.
Figure Compare(int rounds, const std::function<void()>& resetBase, const std::function<void()>& base,
               const std::function<void()>& resetMeasured, const std::function<void()>& measured) {
    std::vector<double> b, m, r;
    for (int i = 0; i < rounds; i++) {
        b.push_back(Timed(resetBase, base));
        m.push_back(Timed(resetMeasured, measured));
        r.push_back(m.back() / b.back());
    }
    return Figure{bench::Median(b) * 1000, bench::Median(m) * 1000, bench::Median(r)};
}

} // namespace

int main(int argc, char** argv) {
    std::string dir = ExeDir();
    std::string profilePath = argc > 1 ? argv[1] : dir + "\\..\\..\\tests\\profiles\\current-phone.txt";
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
    std::vector<std::string> names;
    for (const Package& p : first.snapshot.packages)
        if (p.state == PackageState::Enabled && names.size() < kBatch) names.push_back(p.name);
    if (serial.empty() || names.size() < kBatch) {
        std::fprintf(stderr, "the profile needs a ready phone with %u enabled packages\n", unsigned(kBatch));
        return 1;
    }

    // As the window does: batches know the phone's API level from its first read.
    BatchOptions options;
    options.knownApi = first.snapshot.api;
    auto fresh = [&] { WriteText(state, profile); };
    Figure read = Compare(kReadRounds, fresh, [&] { adb.Shell(serial, "pm list packages -d"); }, fresh,
                          [&] { ReadPackages(adb, serial, 0); });
    size_t done = 0;
    Figure batch = Compare(kBatchRounds, fresh, [&] { RunBatch(adb, serial, Action::Disable, {names[0]}, options); }, fresh,
                           [&] {
                               BatchResult b = RunBatch(adb, serial, Action::Disable, names, options);
                               done = 0;
                               for (const PackageResult& r : b.results) done += r.outcome == Outcome::Done;
                           });

    std::string many = WithPhones(profile, serial, kPhones);
    std::vector<std::string> serials = {serial};
    for (size_t i = 1; i < kPhones; i++) serials.push_back(serial + "-" + std::to_string(i));
    Figure four = Compare(kBatchRounds, fresh, [&] { RunBatch(adb, serial, Action::Disable, names, options); },
                          [&] { WriteText(state, many); },
                          [&] { RunOnDevices(adb, serials, Action::Disable, names, options); });

    std::printf("device\tpackages=%u\tplain_ms=%.0f\tread_ms=%.0f\tread_ratio=%.2f\tone_ms=%.0f\tbatch_ms=%.0f"
                "\tbatch_done=%u\tbatch_ratio=%.2f\tone_device_ms=%.0f\tfour_ms=%.0f\tfour_ratio=%.2f\n",
                unsigned(first.snapshot.packages.size()), read.baseMs, read.measuredMs, read.ratio, batch.baseMs,
                batch.measuredMs, unsigned(done), batch.ratio, four.baseMs, four.measuredMs, four.ratio);
    return 0;
}
