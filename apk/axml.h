// What the launcher needs from an APK's AndroidManifest.xml (Android's
// binary XML, chunk type 0x0003): the application's label and icon and those
// of the activity the launcher lists. Attributes are found by resource id
// through the resource map, as Android does, so renamed or stripped
// attribute names do not matter.
#pragma once

#include <cstdint>
#include <string>

namespace apk {

// The manifest of framework-res is 222 KB; no app's comes near this.
constexpr uint32_t kManifestMaxSize = 4u << 20;

// A label attribute: a literal string, a string resource, or neither.
struct ManifestLabel {
    std::u16string literal;
    bool hasLiteral = false;
    uint32_t resource = 0;   // 0: none
};

struct ManifestComponent {
    ManifestLabel label;
    uint32_t icon = 0;       // drawable or mipmap resource ids; 0: none
    uint32_t roundIcon = 0;
};

struct ManifestInfo {
    std::string package;
    ManifestComponent application;
    // The first enabled <activity> or <activity-alias> whose intent filter
    // holds action MAIN and category LAUNCHER, in the order written (the
    // order the package manager keeps them in). An alias without its own
    // label or icon has its target activity's.
    bool hasLauncher = false;
    ManifestComponent launcher;
    std::string launcherName;   // its android:name, as written
};

// `bytes` is the whole AndroidManifest.xml from the APK. False when it is
// not binary XML or is damaged before the application element was read.
bool ReadManifest(const std::string& bytes, ManifestInfo* info);

} // namespace apk
