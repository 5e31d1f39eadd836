#include "reslocale.h"

#include <cctype>
#include <cstring>
#include <vector>

namespace apk {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool AllAlpha(const std::string& s) {
    for (char c : s)
        if (!std::isalpha(static_cast<unsigned char>(c))) return false;
    return !s.empty();
}

bool AllDigit(const std::string& s) {
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return !s.empty();
}

bool In(const std::string& s, const char* const* list) {
    for (; *list; list++)
        if (s == *list) return true;
    return false;
}

// Android treats Tagalog and Filipino as one language (langsAreEquivalent);
// old language codes are kept by resources as written ("in", "iw").
bool SameLanguage(const std::string& a, const std::string& b) {
    if (a == b) return true;
    return (a == "tl" && b == "fil") || (a == "fil" && b == "tl");
}

// Regions whose English descends from International English (en-001),
// some through European English (en-150); the rest descend from US English
// (CLDR parent locales, androidfw LocaleDataTables.cpp).
const char* const kEnglish001[] = {
    "150", "AG", "AI", "AU", "BB", "BE", "BM", "BS", "BW", "BZ", "CA", "CC", "CK", "CM", "CX", "CY", "DG",
    "DM",  "ER", "FJ", "FK", "FM", "GB", "GD", "GG", "GH", "GI", "GM", "GY", "HK", "IE", "IL", "IM", "IN",
    "IO",  "JE", "JM", "KE", "KI", "KN", "KY", "LC", "LR", "LS", "MG", "MO", "MS", "MT", "MU", "MW", "MY",
    "NA",  "NF", "NG", "NR", "NU", "NZ", "PG", "PH", "PK", "PN", "PW", "RW", "SB", "SC", "SD", "SG", "SH",
    "SL",  "SS", "SX", "SZ", "TC", "TK", "TO", "TT", "TV", "TZ", "UG", "VC", "VG", "VU", "WS", "ZA", "ZM",
    "ZW",  nullptr};
const char* const kEnglish150[] = {"AT", "CH", "DE", "DK", "FI", "NL", "SE", "SI", nullptr};

// localeDataIsCloseToUsEnglish: "en" comes before "en-001" among the region's ancestors.
bool CloseToUsEnglish(const std::string& region) {
    return region != "001" && !In(region, kEnglish001) && !In(region, kEnglish150);
}

// Latin American Spanish descends from es-419 (CLDR parent locales).
const char* const kSpanish419[] = {"AR", "BO", "BR", "BZ", "CL", "CO", "CR", "CU", "DO", "EC", "GT", "HN", "MX",
                                   "NI", "PA", "PE", "PR", "PY", "SV", "US", "UY", "VE", nullptr};

// The regions between the phone's own and the bare language, as CLDR's
// parent locales give them for the languages where it matters to apps.
std::vector<std::string> ParentRegions(const ResLocale& want) {
    if (want.language == "en" && In(want.region, kEnglish150)) return {"150", "001"};
    if (want.language == "en" && !CloseToUsEnglish(want.region)) return {"001"};
    if (want.language == "es" && In(want.region, kSpanish419)) return {"419"};
    if (want.language == "pt" && !want.region.empty() && want.region != "BR" && want.region != "PT") return {"PT"};
    if (want.language == "zh" && want.script == "Hant" && want.region == "MO") return {"HK"};
    return {};
}

// The region a language and script are usually written in (CLDR likely
// subtags): a resource for it is the better guess among strangers.
bool Representative(const std::string& language, const std::string& script, const std::string& region) {
    struct Rep {
        const char* language;
        const char* script;
        const char* region;
    };
    static const Rep reps[] = {{"zh", "Hans", "CN"}, {"zh", "Hant", "TW"}, {"en", "", "US"}, {"pt", "", "BR"},
                               {"ar", "", "EG"},     {"ja", "", "JP"},     {"ko", "", "KR"}, {"sv", "", "SE"},
                               {"da", "", "DK"},     {"el", "", "GR"},     {"uk", "", "UA"}, {"cs", "", "CZ"},
                               {"he", "", "IL"},     {"iw", "", "IL"},     {"hi", "", "IN"}, {"vi", "", "VN"},
                               {"ms", "", "MY"},     {"in", "", "ID"},     {"id", "", "ID"}, {"fa", "", "IR"}};
    for (const Rep& r : reps) {
        if (language != r.language) continue;
        return (!*r.script || script == r.script) && region == r.region;
    }
    return region == Upper(language);  // fr-FR, de-DE, es-ES, ru-RU, it-IT ...
}

// > 0 when region `a` serves `want` better, < 0 when `b` does
// (localeDataCompareRegions): the phone's region, then its parents up to
// the bare language, then the representative region.
int CompareRegions(const std::string& a, const std::string& b, const ResLocale& want) {
    if (a == b) return 0;
    std::vector<std::string> ancestors = {want.region};
    for (const std::string& parent : ParentRegions(want)) ancestors.push_back(parent);
    ancestors.push_back(std::string());
    for (const std::string& r : ancestors) {
        if (a == r) return 1;
        if (b == r) return -1;
    }
    bool aRep = Representative(want.language, want.script, a);
    bool bRep = Representative(want.language, want.script, b);
    return aRep == bRep ? 0 : aRep ? 1 : -1;
}

std::string ScriptOf(const ResLocale& l) {
    return l.script.empty() ? LikelyScript(l.language, l.region) : l.script;
}

} // namespace

bool ParseLocaleTag(const std::string& tag, ResLocale* out) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : tag) {
        if (c == '-' || c == '_') {
            parts.push_back(part);
            part.clear();
        } else if (c == '.' || c == '@') {
            break;  // "zh_CN.UTF-8"
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    ResLocale l;
    if (parts[0].size() < 2 || parts[0].size() > 3 || !AllAlpha(parts[0])) return false;
    l.language = Lower(parts[0]);
    for (size_t i = 1; i < parts.size(); i++) {
        const std::string& p = parts[i];
        if (p.size() == 4 && AllAlpha(p) && l.script.empty() && l.region.empty()) {
            l.script = Upper(p.substr(0, 1)) + Lower(p.substr(1));
        } else if ((p.size() == 2 && AllAlpha(p)) || (p.size() == 3 && AllDigit(p))) {
            if (!l.region.empty()) return false;
            l.region = Upper(p);
        } else if (p.size() >= 4 && p.size() <= 8) {
            l.variant = p;
        } else if (p.size() == 1) {
            break;  // extensions ("-u-nu-arab") do not choose strings
        } else {
            return false;
        }
    }
    *out = l;
    return true;
}

std::string LikelyScript(const std::string& language, const std::string& region) {
    // Languages written in more than one script, by region (androidfw
    // LocaleDataTables.cpp LIKELY_SCRIPTS).
    if (language == "zh") return region == "TW" || region == "HK" || region == "MO" ? "Hant" : "Hans";
    if (language == "sr") return region == "ME" || region == "XK" ? "Latn" : "Cyrl";
    if (language == "pa") return region == "PK" ? "Arab" : "Guru";
    if (language == "uz") return region == "AF" ? "Arab" : "Latn";
    if (language == "az") return region == "IQ" || region == "IR" ? "Arab" : "Latn";
    struct Script {
        const char* language;
        const char* script;
    };
    static const Script scripts[] = {
        {"ar", "Arab"}, {"fa", "Arab"}, {"ur", "Arab"}, {"ps", "Arab"}, {"ug", "Arab"}, {"he", "Hebr"},
        {"iw", "Hebr"}, {"yi", "Hebr"}, {"ru", "Cyrl"}, {"uk", "Cyrl"}, {"be", "Cyrl"}, {"bg", "Cyrl"},
        {"mk", "Cyrl"}, {"kk", "Cyrl"}, {"ky", "Cyrl"}, {"mn", "Cyrl"}, {"tg", "Cyrl"}, {"el", "Grek"},
        {"hy", "Armn"}, {"ka", "Geor"}, {"hi", "Deva"}, {"mr", "Deva"}, {"ne", "Deva"}, {"bn", "Beng"},
        {"as", "Beng"}, {"ta", "Taml"}, {"te", "Telu"}, {"kn", "Knda"}, {"ml", "Mlym"}, {"gu", "Gujr"},
        {"or", "Orya"}, {"si", "Sinh"}, {"th", "Thai"}, {"lo", "Laoo"}, {"km", "Khmr"}, {"my", "Mymr"},
        {"am", "Ethi"}, {"ti", "Ethi"}, {"ja", "Jpan"}, {"ko", "Kore"}, {"bo", "Tibt"}, {"dv", "Thaa"},
    };
    for (const Script& s : scripts)
        if (language == s.language) return s.script;
    return language.empty() ? std::string() : "Latn";
}

bool LocaleMatches(const ResLocale& have, const ResLocale& want) {
    if (have.language.empty()) return have.region.empty() || have.region == want.region;
    if (!SameLanguage(have.language, want.language)) return false;
    return ScriptOf(have) == ScriptOf(want);
}

bool LocaleBetter(const ResLocale& a, const ResLocale& b, const ResLocale& want) {
    if (want.language.empty()) return false;
    if (a.language.empty() && b.language.empty()) return false;
    if (!SameLanguage(a.language, b.language)) {
        // One has no language. For US English a resource without one is
        // where apps keep their US texts: it beats English of elsewhere.
        if (want.language == "en" && want.region == "US") {
            if (!a.language.empty()) return a.region.empty() || a.region == "US";
            return !(b.region.empty() || b.region == "US");
        }
        if (want.language == "en" && CloseToUsEnglish(want.region)) {
            if (!a.language.empty()) return CloseToUsEnglish(a.region);
            return !CloseToUsEnglish(b.region);
        }
        return !a.language.empty();
    }
    int regions = CompareRegions(a.region, b.region, want);
    if (regions != 0) return regions > 0;
    bool aVariant = a.variant == want.variant, bVariant = b.variant == want.variant;
    if (aVariant != bVariant) return aVariant;
    return a.language == want.language && b.language != want.language;
}

} // namespace apk
