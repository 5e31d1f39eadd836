// Every app's name (and launcher icon) as the phone's launcher shows them,
// read from the APKs on the phone without installing anything there: only
// the bytes the readers need (appname.h), fetched for all packages at once
// in a few rounds, each one `adb exec-out` script for a whole batch
// (apkfetch.h):
//   1. the phone's locale; per package the base APK's size and time (`stat`),
//      its folder's split APKs (`ls`), and, unless the cache has seen the
//      path, the APK's last 16 KB (`tail -c`);
//   2. what the tail did not hold: the central directory (`dd`); the
//      language split's size and tail; the base's tail for a changed app;
//   3. AndroidManifest.xml and resources.arsc of the base and the split,
//      each from its local header (`dd`; a stored table of more than 64 KB
//      is gzipped on phones that have gzip, Android 8 on); of a stored table
//      over 256 KB only its first bytes, then
//   4. its header, the value pool's offsets and all after the pool, then
//   5. only the value strings the label and the icon can resolve to;
//   6. the icon's PNG.
// A package is done when its name is known, one package's tables at a
// time; an app whose base APK, size, time and splits match the cache moves
// nothing beyond round 1. Needs `stat` and `tail` (Android 6 on): older
// phones get no names. Safe to call from a worker thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "device/adb.h"
#include "namecache.h"
#include "device/packages.h"

namespace appnames {

struct AppLabel {
    bool hasName = false;      // false: show the package name
    std::u16string name;
    std::string icon;          // the launcher icon's PNG bytes, empty when it has no bitmap (or not PNG)
    bool fromCache = false;
};

struct NameReadStats {
    size_t adbRuns = 0;
    uint64_t bytesIn = 0;      // adb's output, all runs
    uint64_t tableBytes = 0;   // the resources.arsc sizes (uncompressed) of the APKs whose directory was read
    size_t rounds = 0;
};

// Called after each adb run: packages done so far and how many there are.
using NameProgress = std::function<void(size_t done, size_t total)>;

struct NameReadOptions {
    std::string locale;        // the phone's locale tag ("zh-CN", "en-US"); empty: read from the phone
    NameCache* cache = nullptr;
    const dev::Cancel* cancel = nullptr;   // stops after the adb run in progress (that run ends at once)
    NameProgress progress;
    // Called, before `progress`, for each package whose label is settled by
    // the run that just ended (from the cache or read): its index in
    // snapshot.packages. Packages that can have no name are not reported,
    // nor those whose bytes an interrupted run did not bring.
    std::function<void(size_t index, const AppLabel& label)> arrived;
    bool icons = true;
};

struct NameRead {
    std::vector<AppLabel> apps;   // one per snapshot.packages, in its order
    std::string locale;           // the locale used
    NameReadStats stats;
    std::string error;            // why adb gave no answer, empty when it did
    bool cancelled = false;
};

NameRead ReadAppNames(const dev::Adb& adb, const std::string& serial, const dev::PackageSnapshot& snapshot,
                      const NameReadOptions& options);

} // namespace appnames
