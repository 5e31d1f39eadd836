#include "appname.h"

#include <memory>
#include "zip.h"

namespace apk {

namespace {

// Newer than any release, so no -vNN value is ruled out when the phone's is unknown.
constexpr uint16_t kAnySdk = 0xFFFF;

bool Blank(const std::u16string& s) {
    for (char16_t c : s)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r' && c != 0x00A0 && c != 0x3000) return false;
    return true;
}

bool LiteralOf(const ManifestLabel& label, std::u16string* name) {
    if (!label.hasLiteral || Blank(label.literal)) return false;
    *name = label.literal;
    return true;
}

bool ResourceOf(const ManifestLabel& label, const std::vector<const ResourceTable*>& tables,
                const ResRequest& request, std::u16string* name) {
    std::u16string s;
    if (!label.resource || !ResolveString(tables, label.resource, request, &s) || Blank(s)) return false;
    *name = s;
    return true;
}

} // namespace

ResRequest RequestForPhone(const std::string& localeTag, int sdk) {
    ResRequest r;
    if (!ParseLocaleTag(localeTag, &r.locale)) ParseLocaleTag("zh-Hans-CN", &r.locale);
    if (r.locale.script.empty()) r.locale.script = LikelyScript(r.locale.language, r.locale.region);
    r.sdk = sdk > 0 && sdk < kAnySdk ? static_cast<uint16_t>(sdk) : kAnySdk;
    return r;
}

bool AppName(const ManifestInfo& manifest, const std::vector<const ResourceTable*>& tables,
             const ResRequest& request, std::u16string* name) {
    if (manifest.hasLauncher) {
        if (LiteralOf(manifest.launcher.label, name)) return true;
        if (ResourceOf(manifest.launcher.label, tables, request, name)) return true;
    }
    if (LiteralOf(manifest.application.label, name)) return true;
    return ResourceOf(manifest.application.label, tables, request, name);
}

IconChoice AppIcon(const ManifestInfo& manifest, const std::vector<const ResourceTable*>& tables,
                   const ResRequest& request, int pixels) {
    uint32_t icon = manifest.hasLauncher && manifest.launcher.icon ? manifest.launcher.icon : manifest.application.icon;
    IconChoice choice = ResolveIcon(tables, icon, request, pixels);
    // Some apps give the bitmap only as the round icon.
    if (!choice.bitmap) {
        uint32_t round = manifest.hasLauncher && manifest.launcher.roundIcon ? manifest.launcher.roundIcon
                                                                             : manifest.application.roundIcon;
        IconChoice other = ResolveIcon(tables, round, request, pixels);
        if (other.bitmap) {
            other.hasXml = other.hasXml || choice.hasXml;
            choice = other;
        }
    }
    return choice;
}

bool ReadAppName(const std::vector<const std::string*>& apks, const ResRequest& request, std::u16string* name,
                 IconChoice* icon) {
    if (apks.empty() || !apks[0]) return false;
    ZipArchive base;
    std::string manifestBytes;
    ManifestInfo manifest;
    if (!base.Open(*apks[0]) || !base.Read("AndroidManifest.xml", kManifestMaxSize, &manifestBytes) ||
        !ReadManifest(manifestBytes, &manifest))
        return false;
    std::vector<std::unique_ptr<ResourceTable>> owned;
    std::vector<const ResourceTable*> tables;
    for (const std::string* apk : apks) {
        ZipArchive zip;
        std::string bytes;
        owned.emplace_back(new ResourceTable);
        bool ok = apk && zip.Open(*apk) && zip.Read("resources.arsc", kResTableMaxSize, &bytes) &&
                  owned.back()->Read(std::move(bytes));
        tables.push_back(ok ? owned.back().get() : nullptr);
    }
    if (icon) *icon = AppIcon(manifest, tables, request);
    std::u16string found;
    if (!AppName(manifest, tables, request, &found)) return false;
    if (name) *name = found;
    return true;
}

} // namespace apk
