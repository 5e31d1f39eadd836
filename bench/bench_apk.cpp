// Figures for the APK readers on the largest real table there is:
// framework-res.apk of Debian's android-framework-res (45 MB; a 31.9 MB
// stored resources.arsc, a 222 KB deflated manifest), read from memory so
// only the readers are timed:
//   directory  the zip's tail and central directory
//   manifest   the manifest found, inflated and walked
//   table      the resources.arsc copied out and indexed
//   name       the launcher's name for a zh-CN phone from the read table
// Each figure is the median of its rounds, in milliseconds. Prints one
// tab-separated line: name=value pairs. Usage: bench_apk [APK]
#include <cstdio>
#include <string>
#include <vector>
#include "bench/measure.h"
#include "tests/support/files.h"
#include "apk/appname.h"
#include "apk/respool.h"
#include "apk/zip.h"

namespace {

using namespace apk;

constexpr int kRounds = 5;
constexpr char kDefaultApk[] = "Z:\\usr\\share\\android-framework-res\\framework-res.apk";

template <typename F>
double Time(F step) {
    std::vector<double> ms;
    for (int i = 0; i < kRounds; i++) {
        double start = bench::NowMs();
        if (!step()) return -1;
        ms.push_back(bench::NowMs() - start);
    }
    return bench::Median(ms);
}

} // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : kDefaultApk;
    std::string apk = test::ReadFileBytes(path);
    if (apk.empty()) {
        std::fprintf(stderr, "bench_apk: cannot read %s\n", path);
        return 1;
    }
    apk::ZipArchive zip;
    apk::ManifestInfo manifest;
    std::string table;
    apk::ResourceTable index;
    const ResRequest zh = RequestForPhone("zh-CN");
    std::u16string name;

    double directory = Time([&] { return zip.Open(apk); });
    double manifestMs = Time([&] {
        std::string xml;
        return zip.Read("AndroidManifest.xml", apk::kManifestMaxSize, &xml) && apk::ReadManifest(xml, &manifest);
    });
    double tableMs = Time([&] {
        return zip.Read("resources.arsc", apk::kResTableMaxSize, &table) && index.Read(table);
    });
    double nameMs = Time([&] { return apk::AppName(manifest, {&index}, zh, &name); });
    std::printf("directory_ms=%.2f\tmanifest_ms=%.2f\ttable_ms=%.1f\tname_ms=%.3f\tname=%s\tentries=%u\n", directory,
                manifestMs, tableMs, nameMs, apk::Utf16ToUtf8(name).c_str(), static_cast<unsigned>(zip.entries().size()));
    return directory < 0 || manifestMs < 0 || tableMs < 0 || nameMs < 0 ? 1 : 0;
}
