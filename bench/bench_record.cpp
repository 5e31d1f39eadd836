// The record of actions at 100 MB, as a bench of sixteen phones writes it
// over months: what the first read (which compacts it) costs against reading
// its bytes alone, the size left, and what every later read and undo costs.
// The window reads the record on its jobs' thread only, so these are waits
// of the job, never of the window.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/measure.h"
#include "device/lockedfile.h"
#include "device/packages.h"
#include "device/record.h"

namespace {

using namespace dev;

// Days of work on 16 phones of 400 packages: each batch disables or enables
// a handful, with its intents, and some packages go back and forth.
std::string History(size_t targetBytes) {
    std::string bytes;
    uint32_t seed = 7;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    std::vector<std::vector<PackageState>> states(16, std::vector<PackageState>(400, PackageState::Enabled));
    for (size_t batch = 0; bytes.size() < targetBytes; batch++) {
        size_t phone = next(16);
        std::string key = "SERIAL" + std::to_string(phone) + "/aid" + std::to_string(phone);
        std::string serial = "SERIAL" + std::to_string(phone);
        Action a = next(2) ? Action::Disable : Action::Enable;
        std::vector<RecordEntry> lines;
        for (int k = 0; k < 6; k++) {
            size_t p = next(400);
            RecordEntry e{"2026-12-08T04:10:00Z", serial, "Phone", 0, "com.bench.app" + std::to_string(p), a, Outcome::Intent};
            e.beforeKnown = true;
            e.before = states[phone][p];
            e.phone = key;
            e.batch = "b" + std::to_string(batch);
            bytes += FormatEntry(e);
            bool so = ShowsDone(a, e.before);
            e.outcome = so ? Outcome::Already : Outcome::Done;
            lines.push_back(e);
            states[phone][p] = a == Action::Disable ? PackageState::Disabled : PackageState::Enabled;
        }
        for (const RecordEntry& e : lines) bytes += FormatEntry(e);
    }
    return bytes;
}

} // namespace

int main() {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + "bench_record.log";
    ActionRecord record(path);
    DeleteFileA(path.c_str());
    DeleteFileA(record.ArchivePath().c_str());
    std::string bytes = History(100u << 20);
    RewriteLocked(path, bytes);
    bytes.clear();
    bytes.shrink_to_fit();
    unsigned long long before = FileSize(path);

    double t0 = bench::NowMs();
    std::string raw = ReadShared(path);
    double rawMs = bench::NowMs() - t0;
    raw.clear();
    raw.shrink_to_fit();

    double t1 = bench::NowMs();
    std::vector<RecordEntry> all = record.ReadAll();   // compacts first
    double firstMs = bench::NowMs() - t1;
    unsigned long long after = FileSize(path);
    unsigned long long archive = FileSize(record.ArchivePath());

    std::vector<double> reads, undos;
    PhoneId phone{"SERIAL3/aid3", "SERIAL3", "SERIAL3", "Phone"};
    for (int round = 0; round < 5; round++) {
        double t2 = bench::NowMs();
        all = record.ReadAll();
        double t3 = bench::NowMs();
        UndoSet(all, phone, 0, nullptr);
        double t4 = bench::NowMs();
        reads.push_back(t3 - t2);
        undos.push_back(t4 - t3);
    }
    std::printf("record\tbefore_mb=%.1f\tafter_mb=%.2f\tarchive_mb=%.1f\tlines_kept=%u\traw_read_ms=%.0f"
                "\tfirst_read_ms=%.0f\tfirst_ratio=%.1f\tread_ms=%.1f\tundo_ms=%.1f\tread_ratio=%.3f\n",
                before / 1048576.0, after / 1048576.0, archive / 1048576.0, unsigned(all.size()), rawMs, firstMs,
                firstMs / rawMs, bench::Median(reads), bench::Median(undos), bench::Median(reads) / rawMs);
    DeleteFileA(path.c_str());
    DeleteFileA(record.ArchivePath().c_str());
    return 0;
}
