// An app's name and launcher icon as a phone's launcher shows them, from the
// APK's manifest and resource tables (LauncherActivityInfo.getLabel and
// ComponentInfo.loadUnsafeLabel): the launcher activity's literal label,
// else its label resource, else the application's literal, else its
// resource. A blank label counts as none; no label at all gives no name,
// and the caller shows the package name. Names stay UTF-16 to the screen:
// GBK cannot hold every name.
//
// Over adb, for each APK `pm path` lists (base first): read its tail and
// central directory (zip.h), then AndroidManifest.xml of the base and
// resources.arsc of every APK through LocalGuess / ExtractFromLocal; then
// ReadManifest, ResourceTable::Read, AppName and AppIcon; the icon's file
// is one more entry of the APK `IconFile::table` names.
#pragma once

#include <string>
#include <vector>
#include "arsc.h"
#include "axml.h"

namespace apk {

// The request for a phone whose `persist.sys.locale` (or, before Android 7,
// `ro.product.locale`) is `localeTag`; an empty or unreadable tag means a
// Chinese phone (zh-Hans-CN). `sdk` is ro.build.version.sdk (0: unknown,
// taken as the newest).
ResRequest RequestForPhone(const std::string& localeTag, int sdk = 0);

// `tables`: the base APK's resources.arsc first, then any splits' (e.g.
// split_config.zh.apk, which holds the translations of the base's ids),
// and, for labels naming "@android:string/...", the phone's own
// framework-res.apk's; null entries are skipped. False when no label gives
// text.
bool AppName(const ManifestInfo& manifest, const std::vector<const ResourceTable*>& tables,
             const ResRequest& request, std::u16string* name);

// The icon the launcher activity (else the application) shows, as a file
// in one of the APKs; `file.table` says which.
IconChoice AppIcon(const ManifestInfo& manifest, const std::vector<const ResourceTable*>& tables,
                   const ResRequest& request, int pixels = 16);

// Whole APK files in memory, base first then splits: reads the base's
// manifest and every table, then the name and the icon (either pointer
// may be null). False when the base is not a readable APK or has no name;
// `icon` is filled whenever the base was readable.
bool ReadAppName(const std::vector<const std::string*>& apks, const ResRequest& request, std::u16string* name,
                 IconChoice* icon);

} // namespace apk
