// An APK's resources.arsc (chunk type 0x0002) read far enough to find a
// resource's values per configuration, and the choice among them that a
// phone makes for strings (by locale) and for launcher icons (by density).
//
// Layouts read: UTF-8 and UTF-16 pools; dense, sparse (FLAG_SPARSE) and
// 16-bit-offset (FLAG_OFFSET16) types; full and compact (FLAG_COMPACT)
// entries; complex (bag) entries are skipped; unknown chunks are skipped by
// their size (androidfw ResourceTypes.h, LoadedArsc.cpp; aapt2
// TableFlattener.cpp writes them).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "reslocale.h"

namespace apk {

// framework-res's table, the largest known, is 31.9 MB; apps' are 2-6 MB.
constexpr uint32_t kResTableMaxSize = 48u << 20;
// References between resources are followed this deep (a label naming a
// string naming a string is two); a loop stops here.
constexpr int kResMaxReferenceDepth = 8;

// The qualifiers of one configuration (ResTable_config) that the choices use.
struct ResConfig {
    ResLocale locale;
    uint16_t density = 0;    // dpi; 0 unset, 0xFFFE anydpi, 0xFFFF nodpi
    uint16_t sdk = 0;        // the -vNN qualifier
    // Any qualifier a plain phone in portrait, daytime, with no SIM-specific
    // resources would not match (night, television, large screens, round,
    // mcc, keyboards ...): such values are never chosen.
    bool special = false;
};

constexpr uint16_t kDensityAny = 0xFFFE;
constexpr uint16_t kDensityNone = 0xFFFF;

// Res_value types the callers meet.
constexpr uint8_t kResTypeReference = 0x01;
constexpr uint8_t kResTypeString = 0x03;

struct ResValue {
    ResConfig config;
    uint8_t type = 0;
    uint32_t data = 0;
};

class ResourceTable {
public:
    ResourceTable();
    ~ResourceTable();
    ResourceTable(const ResourceTable&) = delete;
    ResourceTable& operator=(const ResourceTable&) = delete;

    // Takes the whole resources.arsc. False when it is not a resource table
    // or is damaged in its headers; a damaged type chunk only loses its values.
    bool Read(std::string bytes);

    // Every value resource `id` has, one per configuration, in file order;
    // bags (styles, arrays) have none.
    std::vector<ResValue> Values(uint32_t id) const;

    // A string of the table's value pool (what a kResTypeString value's data indexes).
    bool String(uint32_t index, std::u16string* out) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What a phone asks for.
struct ResRequest {
    ResLocale locale;        // the phone's; an empty language chooses only unlocalized values
    uint16_t sdk = 0xFFFF;   // values for a later -vNN are not chosen (default: any)
};

// Resolves string resource `id` through `tables` (the base APK's first, then
// its splits': a language split holds the translations of the base's ids),
// following references for the same request. False when no configuration
// matches or the value is not text.
bool ResolveString(const std::vector<const ResourceTable*>& tables, uint32_t id, const ResRequest& request,
                   std::u16string* out);

enum class IconFormat { Png, Webp, Jpeg, Other };

struct IconFile {
    std::string path;        // entry in the APK, e.g. "res/mipmap-mdpi-v4/ic_launcher.png"
    IconFormat format = IconFormat::Other;
    uint16_t density = 0;    // of the chosen configuration (0: unset)
    size_t table = 0;        // which of `tables` (and so which APK) holds the file
};

struct IconChoice {
    bool bitmap = false;     // false: only XML (adaptive or vector) or nothing found
    IconFile file;
    bool hasXml = false;     // an adaptive or vector icon exists (newer phones show that)
};

// The launcher icon file best for a row `pixels` high: among bitmaps in
// density folders, the smallest density that still needs no scaling up
// (a launcher icon is 48 px at 160 dpi), else the largest there is.
IconChoice ResolveIcon(const std::vector<const ResourceTable*>& tables, uint32_t id, const ResRequest& request,
                       int pixels = 16);

} // namespace apk
