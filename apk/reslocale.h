// Which locale of a resource a phone picks, as androidfw's
// ResTable_config::match and isLocaleBetterThan do (ResourceTypes.cpp): the
// language must be the same and the script (written, or the likely one for
// language and region) the same; among those, the phone's own region wins,
// then the bare language, then other regions; a resource without a locale
// is the last resort.
#pragma once

#include <string>

namespace apk {

// A locale as the phone has it or as a resource configuration holds it.
// Empty fields are unset; codes are kept as written ("zh", "CN", "Hans").
struct ResLocale {
    std::string language;
    std::string region;
    std::string script;
    std::string variant;
};

// Parses what `persist.sys.locale` / `ro.product.locale` hold ("zh-CN",
// "zh-Hans-CN", "en-US", "zh_CN", "in"); false for an empty or malformed tag.
bool ParseLocaleTag(const std::string& tag, ResLocale* out);

// The script the language and region imply ("zh"+"TW" -> "Hant", "zh" ->
// "Hans"), or "" when our table does not know the language.
std::string LikelyScript(const std::string& language, const std::string& region);

// Whether a resource in `have` may serve a phone in `want` (ResTable_config::match).
// A resource without a language always may.
bool LocaleMatches(const ResLocale& have, const ResLocale& want);

// Whether `a` serves `want` better than `b`; both already match
// (ResTable_config::isLocaleBetterThan). Equal ones are not better.
bool LocaleBetter(const ResLocale& a, const ResLocale& b, const ResLocale& want);

} // namespace apk
