// Figures for the device layer against the simulated device bridge with a
// profile's own latencies (default: the current phone of tests/profiles;
// the first argument names another). Baselines are measured in the same run,
// timed in turn with what they are compared with, each from a fresh copy of
// the profile:
//   read    every package of user 0 with the users, as the window's first
//           read (the API level not known yet) / one plain
//           `adb shell cmd package list packages` (`pm list packages` on a
//           phone without cmd)
//   batch   disabling 100 packages in one batch, the API level known as the
//           window knows it, against the phone's own work: the same 100
//           `cmd package disable-user` (or pm) commands as one plain script
//           in one adb run. What the batch costs beyond it, divided by 100,
//           is its cost per package (the reads before and after, the
//           markers, the layer's reading of the output); the target is 5 ms
//   pm      on a phone whose pm is a Java program, the same batch through pm
//           (the layer's way when the API level is not known), one round
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
using test::ExeDir;
using bench::WithPhones;

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
    std::string profile = test::ReadFileBytes(profilePath);
    if (profile.empty()) {
        std::fprintf(stderr, "no profile at %s\n", profilePath.c_str());
        return 1;
    }
    std::string state = dir + "\\bench_device_state.txt";
    SetEnvironmentVariableA("ADBSIM_STATE", state.c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", (dir + "\\bench_device_log.txt").c_str());
    Adb adb(dir + "\\..\\adb_1.0.40\\adb.exe");

    test::WriteFileText(state, profile);
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
    const int api = first.snapshot.api;
    BatchOptions options;
    options.knownApi = api;
    auto fresh = [&] { test::WriteFileText(state, profile); };
    const std::string plain = api >= 24 ? "cmd package list packages" : "pm list packages";
    Figure read = Compare(kReadRounds, fresh, [&] { adb.Shell(serial, plain); }, fresh,
                          [&] { ReadPackages(adb, serial, 0, nullptr, Users::List); });

    // The phone's own work: the same 100 changes as one plain script in one
    // adb run, nothing read and nothing marked; less that adb run (one
    // `adb shell true`) it is the sum of the phone's per-package times.
    std::string plainChanges;
    for (const std::string& n : names) plainChanges += ActionCommand(Action::Disable, 0, n, api) + ";";
    plainChanges.pop_back();
    Figure phone = Compare(kBatchRounds, fresh, [&] { adb.Shell(serial, "true"); }, fresh,
                           [&] { adb.Shell(serial, plainChanges); });
    const double perPackageMs = (phone.measuredMs - phone.baseMs) / kBatch;
    std::vector<double> batches;
    size_t done = 0;
    for (int i = 0; i < kBatchRounds; i++)
        batches.push_back(Timed(fresh, [&] {
                              BatchResult b = RunBatch(adb, serial, Action::Disable, names, options);
                              done = 0;
                              for (const PackageResult& r : b.results) done += r.outcome == Outcome::Done;
                          }) * 1000);
    const double batchMs = bench::Median(batches);
    const double phoneSumMs = kBatch * perPackageMs;
    const double budgetMs = phoneSumMs + phone.baseMs + 5.0 * kBatch;
    const double overheadMs = (batchMs - phone.baseMs - phoneSumMs) / kBatch;

    // Where pm is a Java program beside cmd (Android 7 to 8.1), the batch
    // through pm for comparison.
    double pmBatchMs = 0;
    if (api >= 24 && api <= 27) {
        BatchOptions unknown;
        pmBatchMs = Timed(fresh, [&] { RunBatch(adb, serial, Action::Disable, names, unknown); }) * 1000;
    }

    std::string many = WithPhones(profile, kPhones);
    std::vector<std::string> serials = {serial};
    for (size_t i = 1; i < kPhones; i++) serials.push_back(serial + "-" + std::to_string(i));
    Figure four = Compare(kBatchRounds, fresh, [&] { RunBatch(adb, serial, Action::Disable, names, options); },
                          [&] { test::WriteFileText(state, many); },
                          [&] { RunOnDevices(adb, serials, Action::Disable, names, options); });

    std::printf("device\tapi=%d\tpackages=%u\tplain_ms=%.0f\tread_ms=%.0f\tread_ratio=%.2f\tadb_true_ms=%.0f"
                "\tplain_changes_ms=%.0f\tphone_per_package_ms=%.1f\tbatch_ms=%.0f\tbatch_done=%u\tphone_sum_ms=%.0f"
                "\tbudget_ms=%.0f\toverhead_per_package_ms=%.1f\tpm_batch_ms=%.0f\tone_device_ms=%.0f\tfour_ms=%.0f"
                "\tfour_ratio=%.2f\n",
                api, unsigned(first.snapshot.packages.size()), read.baseMs, read.measuredMs, read.ratio, phone.baseMs,
                phone.measuredMs, perPackageMs, batchMs, unsigned(done), phoneSumMs, budgetMs, overheadMs, pmBatchMs,
                four.baseMs, four.measuredMs, four.ratio);
    return 0;
}
