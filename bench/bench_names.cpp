// App names read off the current phone (tests/profiles/current-phone.txt: 369
// packages, Android 14, 30 MB/s over USB, the phone's own latencies) whose
// APKs are served from files of realistic size: framework-res.apk for
// `android`, and for the others APKs made here from the readers' test APKs
// with a resource table grown to 150 KB - 5.5 MB in framework-res's
// proportions (see Grown) behind a
// 10 - 60 MB classes.dex (a hole in the file: the names never read it).
// Packages share a few such files through hard links.
//   names   the first read of every name and icon, no cache / reading the
//           package list itself plus the time the bytes actually moved take
//           at the profile's rate (target: 2 or less)
//   bytes   what adb brought against the size of every resources.arsc the
//           read looked at (target: under 10 %)
//   held    bytes in heap blocks still in use after the read (the names
//           and icons kept, the cache's entries) against before
//   memory  private bytes after the read, names kept, against before, in
//           the last round (target: within 5 MB); the first round's too,
//           which includes what Wine's heap keeps of freed blocks and
//           zlib's and the threads' first allocations
//   cached  the second read, every name from the cache / the package list
//   framework  the bytes for `android` alone against its real 31.9 MB table
// Prints one tab-separated line: name=value pairs.
#include <windows.h>
#include <psapi.h>
#include <zlib.h>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/measure.h"
#include "tests/support/files.h"
#include "tests/support/testapks.h"
#include "appnames/appnames.h"
#include "device/batch.h"
#include "apk/zip.h"

namespace {

using namespace dev;
using namespace apk;
using namespace appnames;

constexpr int kRounds = 3;
constexpr double kUsbBytesPerMs = 30000.0;   // the profile's default rate

void Put16(std::string& s, uint32_t v) { s += static_cast<char>(v & 0xFF), s += static_cast<char>((v >> 8) & 0xFF); }
void Put32(std::string& s, uint32_t v) { Put16(s, v & 0xFFFF), Put16(s, v >> 16); }

// A zip of stored entries, written in order; an entry may be a hole.
class ZipWriter {
public:
    explicit ZipWriter(const std::string& path) {
        h_ = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    }
    void Add(const std::string& name, const std::string& data, uint32_t zeros = 0) {
        uint32_t size = zeros ? zeros : static_cast<uint32_t>(data.size());
        uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
        if (zeros) {
            std::string block(1 << 20, '\0');
            for (uint32_t left = zeros; left; left -= std::min<uint32_t>(left, 1u << 20))
                crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(block.data()), std::min<uint32_t>(left, 1u << 20)));
        } else {
            crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(data.data()), size));
        }
        // Stored data 4-aligned, as zipalign leaves it.
        uint32_t extra = (4 - (pos_ + 30 + name.size()) % 4) % 4;
        std::string local;
        Put32(local, 0x04034b50), Put16(local, 10), Put16(local, 0), Put16(local, 0), Put32(local, 0);
        Put32(local, crc), Put32(local, size), Put32(local, size);
        Put16(local, static_cast<uint32_t>(name.size())), Put16(local, extra);
        local += name + std::string(extra, '\0');
        Put32(central_, 0x02014b50), Put16(central_, 10), Put16(central_, 10), Put16(central_, 0), Put16(central_, 0);
        Put32(central_, 0), Put32(central_, crc), Put32(central_, size), Put32(central_, size);
        Put16(central_, static_cast<uint32_t>(name.size())), Put16(central_, 0), Put16(central_, 0);
        Put16(central_, 0), Put16(central_, 0), Put32(central_, 0), Put32(central_, pos_);
        central_ += name;
        count_++;
        Write(local);
        if (zeros) {
            LARGE_INTEGER skip;
            skip.QuadPart = zeros;
            SetFilePointerEx(h_, skip, nullptr, FILE_CURRENT);
            pos_ += zeros;
        } else {
            Write(data);
        }
    }
    void Close() {
        std::string end;
        Put32(end, 0x06054b50), Put16(end, 0), Put16(end, 0), Put16(end, count_), Put16(end, count_);
        Put32(end, static_cast<uint32_t>(central_.size())), Put32(end, pos_), Put16(end, 0);
        Write(central_);
        Write(end);
        CloseHandle(h_);
    }

private:
    void Write(const std::string& s) {
        DWORD put = 0;
        WriteFile(h_, s.data(), static_cast<DWORD>(s.size()), &put, nullptr);
        pos_ += static_cast<uint32_t>(s.size());
    }
    HANDLE h_;
    uint32_t pos_ = 0;
    std::string central_;
    uint32_t count_ = 0;
};

uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

void Set32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) s[at + i] = static_cast<char>(v >> (8 * i));
}

// The table grown to `target` bytes in the proportions of framework-res
// (its value strings 29 % of the table): words appended to the value
// pool's string data (no offset points at them) and entry records in an
// unknown chunk after the package, which the readers skip. At gzip -1 the
// words compress to about a third and the records to about a tenth, as
// framework-res's pool (33 %) and the rest of its table (5.9 %) nearly do.
std::string Grown(const std::string& table, uint32_t target, uint32_t seed) {
    static const char* const kWords[] = {"settings", "account", "message", "network", "button", "title", "summary",
                                         "dialog", "content", "description", "error", "notification", "privacy",
                                         "download", "share", "camera", "photo", "video", "contact", "search"};
    uint32_t grow = target > table.size() + 8 ? target - static_cast<uint32_t>(table.size()) - 8 : 0;
    std::string words, records;
    uint32_t r = seed * 2654435761u + 12345u, key = 0;
    bool stylesInPool = Get32(table, 12 + 24) != 0;
    uint32_t wordBytes = stylesInPool ? 0 : grow / 100 * 29;
    while (words.size() < wordBytes) {
        r = r * 1103515245u + 12345u;
        words += kWords[(r >> 8) % 20];
        words += (r >> 20) % 3 ? ' ' : '.';
        if ((r >> 24) % 4 == 0) Put32(words, r);
    }
    while (records.size() + words.size() < grow) {
        // An entry as a type chunk holds it: size, flags, key; a string value.
        Put16(records, 8), Put16(records, 0), Put32(records, ++key);
        Put16(records, 8), records += '\0', records += '\3', Put32(records, key * 3);
    }
    std::string out = table;
    uint32_t poolSize = Get32(out, 12 + 4);
    out.insert(12 + poolSize, words);
    Set32(out, 12 + 4, poolSize + static_cast<uint32_t>(words.size()));
    Put16(out, 0x7F01), Put16(out, 8), Put32(out, static_cast<uint32_t>(records.size() + 8));
    out += records;
    Set32(out, 4, static_cast<uint32_t>(out.size()));
    return out;
}

void MakeApk(const std::string& from, const std::string& to, uint32_t tableSize, uint32_t dexSize, uint32_t seed) {
    std::string source = test::ReadFileBytes(from);
    apk::ZipArchive zip;
    if (!zip.Open(source)) return;
    ZipWriter out(to);
    out.Add("classes.dex", std::string(), dexSize);
    for (const ZipEntry& e : zip.entries()) {
        std::string content;
        if (!zip.Read(e.name, 64u << 20, &content)) continue;
        out.Add(e.name, e.name == "resources.arsc" ? Grown(content, tableSize, seed) : content);
    }
    out.Close();
}

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX m = {};
    m.cb = sizeof m;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
    // Wine may leave PrivateUsage empty; the page-file figure is the same count there.
    return m.PrivateUsage ? m.PrivateUsage : m.PagefileUsage;
}

// Bytes in blocks the program holds, over every heap of the process: what
// the reader keeps, apart from what a heap keeps committed after a free.
size_t HeapBytesInUse() {
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    size_t busy = 0;
    for (DWORD i = 0; i < n && i < 64; i++) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY e = {};
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

} // namespace

int main(int argc, char** argv) {
    std::string dir = test::ExeDir();
    std::string profilePath = argc > 1 ? argv[1] : dir + "\\..\\..\\tests\\profiles\\current-phone.txt";
    std::string profile = test::ReadFileBytes(profilePath);
    if (profile.empty()) {
        std::fprintf(stderr, "no profile at %s\n", profilePath.c_str());
        return 1;
    }
    std::string scratch = dir + "\\names_bench";
    std::string apks = scratch + "\\apks";
    CreateDirectoryA(scratch.c_str(), nullptr);
    CreateDirectoryA(apks.c_str(), nullptr);

    // A few APKs of the sizes apps have, shared by the packages.
    struct Kind { const char* source; uint32_t table, dex; };
    const Kind kKinds[] = {{"locales", 150000, 10u << 20},  {"launcher", 300000, 12u << 20},
                           {"icons", 500000, 20u << 20},    {"locales_aapt2", 800000, 25u << 20},
                           {"refs", 1200000, 30u << 20},    {"icons_sparse", 2000000, 40u << 20},
                           {"launcher_compact", 3500000, 50u << 20}, {"locales_deflate", 5500000, 60u << 20}};
    std::vector<std::string> made;
    for (size_t k = 0; k < sizeof kKinds / sizeof kKinds[0]; k++) {
        made.push_back(scratch + "\\kind" + std::to_string(k) + ".apk");
        MakeApk(test::TestApkPath(kKinds[k].source), made.back(), kKinds[k].table,
                kKinds[k].dex, static_cast<uint32_t>(k));
    }
    // Small tables are the most common (system helpers), large ones few.
    const size_t kShare[] = {0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 6, 7, 0};
    size_t packages = 0;
    for (size_t at = profile.find("\npackage "); at != std::string::npos; at = profile.find("\npackage ", at + 1)) {
        size_t from = at + 9;
        std::string name = profile.substr(from, profile.find(' ', from) - from);
        std::string link = apks + "\\" + name + ".apk";
        DeleteFileA(link.c_str());
        if (name == "android") {
            CopyFileA("Z:\\usr\\share\\android-framework-res\\framework-res.apk", link.c_str(), FALSE);
        } else {
            const std::string& target = made[kShare[packages % (sizeof kShare / sizeof kShare[0])]];
            if (!CreateHardLinkA(link.c_str(), target.c_str(), nullptr)) CopyFileA(target.c_str(), link.c_str(), FALSE);
        }
        packages++;
    }
    std::string state = scratch + "\\profile.txt";
    SetEnvironmentVariableA("ADBSIM_STATE", state.c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", (scratch + "\\log.txt").c_str());
    Adb adb(dir + "\\..\\adb_1.0.40\\adb.exe");

    std::vector<double> listMs, namesMs, cachedMs;
    appnames::NameRead last;
    double memoryMb = 0, firstMemoryMb = 0, heldMb = 0;
    for (int round = 0; round < kRounds; round++) {
        test::WriteFileText(state, profile + "\napk-dir " + apks + "\n");
        double t0 = bench::NowMs();
        PackageRead list = ReadPackages(adb, "", 0);
        double t1 = bench::NowMs();
        if (!list.error.empty() || list.snapshot.packages.empty()) {
            std::fprintf(stderr, "the package list did not come: %s\n", list.error.c_str());
            return 1;
        }
        std::string cachePath = scratch + "\\names.txt";
        DeleteFileA(cachePath.c_str());
        appnames::NameCache cache(cachePath);
        cache.Load();
        appnames::NameReadOptions options;
        options.cache = &cache;
        size_t before = PrivateBytes(), heldBefore = HeapBytesInUse();
        double t2 = bench::NowMs();
        appnames::NameRead r = ReadAppNames(adb, "", list.snapshot, options);
        double t3 = bench::NowMs();
        memoryMb = (static_cast<double>(PrivateBytes()) - static_cast<double>(before)) / 1048576.0;
        heldMb = (static_cast<double>(HeapBytesInUse()) - static_cast<double>(heldBefore)) / 1048576.0;
        if (round == 0) firstMemoryMb = memoryMb;
        appnames::NameRead again = ReadAppNames(adb, "", list.snapshot, options);
        double t4 = bench::NowMs();
        listMs.push_back(t1 - t0);
        namesMs.push_back(t3 - t2);
        cachedMs.push_back(t4 - t3);
        last = std::move(r);
    }
    // framework-res alone: the one real large table (31.9 MB).
    PackageRead all = ReadPackages(adb, "", 0);
    PackageSnapshot frameworkOnly = all.snapshot;
    frameworkOnly.packages.clear();
    for (const Package& p : all.snapshot.packages)
        if (p.name == "android") frameworkOnly.packages.push_back(p);
    appnames::NameRead framework = appnames::ReadAppNames(adb, "", frameworkOnly, appnames::NameReadOptions());
    double frameworkShare = framework.stats.tableBytes
                                ? 100.0 * static_cast<double>(framework.stats.bytesIn) / static_cast<double>(framework.stats.tableBytes)
                                : 0;
    size_t named = 0, icons = 0;
    for (const AppLabel& a : last.apps) named += a.hasName, icons += !a.icon.empty();
    double list = bench::Median(listMs), names = bench::Median(namesMs), cached = bench::Median(cachedMs);
    double transfer = static_cast<double>(last.stats.bytesIn) / kUsbBytesPerMs;
    double share = 100.0 * static_cast<double>(last.stats.bytesIn) / static_cast<double>(last.stats.tableBytes);
    std::printf("names\tpackages=%u\tnamed=%u\ticons=%u\tlist_ms=%.0f\ttransfer_ms=%.0f\tnames_ms=%.0f\tnames_ratio=%.2f"
                "\tbytes_moved=%llu\ttable_bytes=%llu\tbytes_share_pct=%.1f\tadb_runs=%u\trounds=%u\tmemory_first_mb=%.1f\tmemory_mb=%.1f\theld_mb=%.1f"
                "\tcached_ms=%.0f\tcached_ratio=%.2f\tframework_bytes=%llu\tframework_share_pct=%.1f\n",
                unsigned(packages), unsigned(named), unsigned(icons), list, transfer, names, names / (list + transfer),
                static_cast<unsigned long long>(last.stats.bytesIn), static_cast<unsigned long long>(last.stats.tableBytes),
                share, unsigned(last.stats.adbRuns), unsigned(last.stats.rounds), firstMemoryMb, memoryMb, heldMb, cached, cached / list,
                static_cast<unsigned long long>(framework.stats.bytesIn), frameworkShare);
    return 0;
}
