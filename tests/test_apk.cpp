// The APK readers of the device layer (zip by ranges, binary XML manifest,
// resource table, locale and icon choice, the launcher's name) over real
// APKs built at build time by aapt, aapt2, zipalign and our own rewriter
// (tools/make_test_apks.sh), checked against androguard's reading, and
// fuzzed with truncations and flipped bytes.
#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "apk/appname.h"
#include "apk/arsc.h"
#include "apk/axml.h"
#include "apk/respool.h"
#include "apk/zip.h"
#include "tests/support/uidriver.h"

#ifndef KEEL_APK_DIR
#error "KEEL_APK_DIR: where the build put the test APKs"
#endif

namespace {

using namespace apk;

std::string ApkPath(const std::string& file) {
#ifdef _WIN32
    return std::string(KEEL_APK_DIR) + "\\" + file;
#else
    return std::string(KEEL_APK_DIR) + "/" + file;
#endif
}

// Each file once per run: the fuzz tests read the same ones thousands of times.
const std::string& File(const std::string& file) {
    static std::map<std::string, std::string> cache;
    auto it = cache.find(file);
    if (it == cache.end()) it = cache.emplace(file, test::ReadFileBytes(ApkPath(file))).first;
    return it->second;
}

const std::string& Apk(const std::string& name) {
    const std::string& bytes = File(name + ".apk");
    EXPECT_FALSE(bytes.empty()) << "missing test APK " << ApkPath(name + ".apk");
    return bytes;
}

// "string/s_full" -> id, from the R.java aapt wrote for the case.
uint32_t Id(const std::string& apk, const std::string& resource) {
    const std::string& ids = File(apk + ".ids");
    size_t at = ids.find(resource + " 0x");
    EXPECT_NE(at, std::string::npos) << resource << " not in " << apk << ".ids";
    if (at == std::string::npos) return 0;
    return static_cast<uint32_t>(std::stoul(ids.substr(at + resource.size() + 1, 10), nullptr, 16));
}

std::string Entry(const std::string& apk, const std::string& name) {
    ZipArchive zip;
    std::string content;
    EXPECT_TRUE(zip.Open(apk));
    EXPECT_TRUE(zip.Read(name, 64u << 20, &content)) << name;
    return content;
}

struct Table {
    explicit Table(const std::string& apk) { ok = table.Read(Entry(apk, "resources.arsc")); }
    ResourceTable table;
    bool ok = false;
};

std::string Utf8(const std::u16string& s) {
    return Utf16ToUtf8(s);
}

// The string a phone in `locale` ("" for one asking for no locale) gets, or "(none)".
std::string Resolve(const std::vector<const ResourceTable*>& tables, uint32_t id, const std::string& locale) {
    ResRequest request = locale.empty() ? ResRequest() : RequestForPhone(locale);
    std::u16string s;
    return ResolveString(tables, id, request, &s) ? Utf8(s) : "(none)";
}

// The launcher's name for the APKs (base first), or "(none)".
std::string NameOf(const std::vector<std::string>& apks, const std::string& locale) {
    std::vector<const std::string*> files;
    for (const std::string& a : apks) files.push_back(&Apk(a));
    std::u16string name;
    return ReadAppName(files, RequestForPhone(locale), &name, nullptr) ? Utf8(name) : "(none)";
}

// --- zip -------------------------------------------------------------------

// What the phone would hand out for a range: the file's bytes there, cut at its end.
std::string Range(const std::string& file, const ByteRange& r) {
    if (r.offset >= file.size()) return std::string();
    return file.substr(static_cast<size_t>(r.offset), static_cast<size_t>(r.size));
}

// Reads an entry the way the fetching step will: tail, directory, local
// header with the data after it, counting the reads.
bool ReadByRanges(const std::string& file, const std::string& name, std::string* content, int* reads) {
    *reads = 0;
    std::string tail = Range(file, TailRange(file.size()));
    ++*reads;
    std::vector<ZipEntry> entries;
    if (!ReadDirectoryFromTail(file.size(), tail, &entries)) {
        ByteRange cd;
        if (!FindDirectory(file.size(), tail, &cd)) return false;
        ++*reads;
        if (!ReadDirectory(Range(file, cd), &entries)) return false;
    }
    const ZipEntry* e = FindEntry(entries, name);
    if (!e) return false;
    std::string local = Range(file, LocalGuess(*e));
    ++*reads;
    if (ExtractFromLocal(*e, local, 64u << 20, content)) return true;
    ByteRange data;
    if (!DataRange(*e, local, &data)) return false;
    ++*reads;
    return Extract(*e, Range(file, data), 64u << 20, content);
}

TEST(ApkZip, ByRangesGivesWhatTheWholeFileGives) {
    for (const char* apk : {"locales", "locales_deflate", "locales_aapt2", "icons", "big"}) {
        const std::string& file = Apk(apk);
        ZipArchive zip;
        ASSERT_TRUE(zip.Open(file)) << apk;
        for (const char* name : {"AndroidManifest.xml", "resources.arsc"}) {
            std::string whole, ranged;
            int reads = 0;
            ASSERT_TRUE(zip.Read(name, 1u << 20, &whole)) << apk << " " << name;
            ASSERT_TRUE(ReadByRanges(file, name, &ranged, &reads)) << apk << " " << name;
            EXPECT_EQ(ranged, whole) << apk << " " << name;
            // Tail (and directory), then one read for the entry.
            EXPECT_LE(reads, 3) << apk << " " << name;
        }
    }
}

TEST(ApkZip, LocalHeaderNotCentralDirectorySaysWhereDataStarts) {
    // zipalign pads the local extra field only: an entry whose data starts
    // elsewhere than the central directory's lengths would put it.
    const std::string& file = Apk("locales");
    ZipArchive zip;
    ASSERT_TRUE(zip.Open(file));
    int moved = 0;
    for (const ZipEntry& e : zip.entries()) {
        ByteRange data;
        ASSERT_TRUE(DataRange(e, Range(file, LocalGuess(e)), &data)) << e.name;
        if (data.offset != e.localOffset + kZipLocalHeaderSize + e.name.size() + e.centralExtra) moved++;
        std::string content;
        EXPECT_TRUE(zip.Read(e.name, 1u << 20, &content)) << e.name;
    }
    EXPECT_GT(moved, 0);
}

TEST(ApkZip, LargeFileNeedsTheDirectoryReadApartAndHonoursTheComment) {
    // big.apk: 300 KB of stored padding, 400 small entries and a 60,000-byte
    // archive comment, so the tail holds only part of the directory.
    const std::string& file = Apk("big");
    ASSERT_GT(file.size(), kZipTailSize * 2);
    std::string tail = Range(file, TailRange(file.size()));
    EXPECT_EQ(tail.size(), kZipTailSize);
    std::vector<ZipEntry> entries;
    EXPECT_FALSE(ReadDirectoryFromTail(file.size(), tail, &entries));
    ByteRange cd;
    ASSERT_TRUE(FindDirectory(file.size(), tail, &cd));
    EXPECT_LT(cd.offset, file.size() - tail.size());
    ASSERT_TRUE(ReadDirectory(Range(file, cd), &entries));
    EXPECT_EQ(entries.size(), 403u);
    EXPECT_NE(FindEntry(entries, "assets/pad.bin"), nullptr);
    // A tail that ends inside the comment has no end record to trust.
    EXPECT_FALSE(FindDirectory(file.size() - 30000, tail.substr(0, tail.size() - 30000), &cd));
}

TEST(ApkZip, RefusesWhatDoesNotAddUp) {
    const std::string& file = Apk("locales_deflate");
    ZipArchive zip;
    ASSERT_TRUE(zip.Open(file));
    const ZipEntry* e = zip.Find("resources.arsc");
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->method, 8);
    ByteRange data;
    ASSERT_TRUE(DataRange(*e, Range(file, LocalGuess(*e)), &data));
    std::string raw = Range(file, data), content;
    EXPECT_TRUE(Extract(*e, raw, e->size, &content));
    EXPECT_FALSE(Extract(*e, raw, e->size - 1, &content)) << "over the cap";
    EXPECT_FALSE(Extract(*e, raw.substr(0, raw.size() - 1), e->size, &content)) << "short data";
    ZipEntry wrongCrc = *e;
    wrongCrc.crc ^= 1;
    EXPECT_FALSE(Extract(wrongCrc, raw, e->size, &content));
    ZipEntry bigger = *e;
    bigger.size += 1;
    EXPECT_FALSE(Extract(bigger, raw, bigger.size, &content)) << "stream shorter than the directory says";
    EXPECT_FALSE(DataRange(*e, "PK\x03\x04", &data)) << "local header cut short";
    EXPECT_FALSE(zip.Open(file.substr(0, file.size() - 5)));
    EXPECT_FALSE(zip.Open("not a zip at all, just some text that is long enough"));
}

// --- manifest --------------------------------------------------------------

ManifestInfo Manifest(const std::string& apk) {
    ManifestInfo info;
    EXPECT_TRUE(ReadManifest(Entry(Apk(apk), "AndroidManifest.xml"), &info)) << apk;
    return info;
}

TEST(ApkManifest, FirstEnabledLauncherActivityAndTheApplication) {
    ManifestInfo m = Manifest("launcher");
    EXPECT_EQ(m.package, "com.example.launcher");
    EXPECT_EQ(m.application.label.resource, Id("launcher", "string/app_name"));
    ASSERT_TRUE(m.hasLauncher);
    // Not ".Settings" (no launcher filter), not ".Off" (disabled), not the later alias.
    EXPECT_EQ(m.launcherName, ".Main");
    EXPECT_EQ(m.launcher.label.resource, Id("launcher", "string/launcher_label"));
    EXPECT_FALSE(m.launcher.label.hasLiteral);

    // An alias without a label of its own shows its target's.
    ManifestInfo alias = Manifest("alias");
    ASSERT_TRUE(alias.hasLauncher);
    EXPECT_EQ(alias.launcherName, ".Alias");
    EXPECT_EQ(Utf8(alias.launcher.label.literal), "Target");
    EXPECT_EQ(alias.launcher.icon, Id("alias", "drawable/target_icon"));
    EXPECT_EQ(Utf8(alias.application.label.literal), "Alias App");

    ManifestInfo literal = Manifest("literal");
    ASSERT_TRUE(literal.launcher.label.hasLiteral);
    EXPECT_EQ(Utf8(literal.launcher.label.literal), u8"Literal 名字");

    ManifestInfo none = Manifest("nolauncher");
    EXPECT_FALSE(none.hasLauncher);

    ManifestInfo icons = Manifest("icons");
    EXPECT_EQ(icons.application.icon, Id("icons", "mipmap/ic_launcher"));
    EXPECT_EQ(icons.application.roundIcon, Id("icons", "mipmap/ic_launcher"));
    EXPECT_EQ(icons.launcher.icon, Id("icons", "drawable/icon_ref"));
}

// --- locale choice ---------------------------------------------------------

struct Want {
    const char* resource;
    const char* locale;
    const char* text;
};

// What a phone in each locale shows for strings defined in different sets
// of folders (see tests/apk/locales/res), the same in every table layout.
const Want kLocaleTable[] = {
    {"string/s_full", "zh-CN", u8"全部(中国)"},        // zh-rCN before b+zh+Hans+CN, both exact
    {"string/s_full", "zh-Hans-CN", u8"全部(中国)"},
    {"string/s_full", "zh_CN", u8"全部(中国)"},
    {"string/s_full", "zh-SG", u8"全部(中文)"},        // bare zh is SG's parent; CN is not
    {"string/s_full", "zh-TW", u8"全部(臺灣)"},
    {"string/s_full", "zh-HK", u8"全部(臺灣)"},        // Hant: TW, never the Hans ones
    {"string/s_full", "en-US", "Full"},
    {"string/s_full", "", "Full"},
    {"string/s_hans", "zh-CN", u8"简体中国"},          // b+zh+Hans+CN
    {"string/s_hans", "zh-TW", u8"臺灣"},
    {"string/s_zh", "zh-CN", u8"中文"},                // bare zh before another region
    {"string/s_zh", "zh-SG", u8"新加坡"},
    {"string/s_tw", "zh-CN", "Tw"},                   // only Hant ones: the default
    {"string/s_tw", "zh-TW", u8"臺灣"},
    {"string/s_tw", "zh-HK", u8"香港"},
    {"string/s_tw", "zh-MO", u8"香港"},               // Macau's parent is Hong Kong
    {"string/s_sg", "zh-CN", u8"新加坡"},             // same script beats no locale
    {"string/s_en", "en-US", "Color"},                // no locale is US English
    {"string/s_en", "en-GB", "Colour"},
    {"string/s_en", "en-AU", "Colour"},
    {"string/s_en", "fr-CA", "Couleur"},
    {"string/s_en", "de-DE", "Color"},
    {"string/s_en", "zh-CN", "Color"},
    {"string/s_emoji", "zh-CN", u8"微笑😀"},
    {"string/s_emoji", "en-US", u8"Smile 😀"},
};

TEST(ApkLocale, ChinesePhonePicksAsAndroidDoesInEveryTableLayout) {
    for (const char* apk : {"locales", "locales_utf16", "locales_aapt2", "locales_compact", "locales_sparse",
                            "locales_sparsecompact", "locales_deflate"}) {
        Table t(Apk(apk));
        ASSERT_TRUE(t.ok) << apk;
        for (const Want& w : kLocaleTable)
            EXPECT_EQ(Resolve({&t.table}, Id(apk, w.resource), w.locale), w.text)
                << apk << " " << w.resource << " for " << w.locale;
    }
}

TEST(ApkLocale, TagsAndScripts) {
    ResLocale l;
    ASSERT_TRUE(ParseLocaleTag("zh-Hans-CN", &l));
    EXPECT_EQ(l.language + "/" + l.script + "/" + l.region, "zh/Hans/CN");
    ASSERT_TRUE(ParseLocaleTag("en_us.UTF-8", &l));
    EXPECT_EQ(l.language + "/" + l.region, "en/US");
    ASSERT_TRUE(ParseLocaleTag("es-419", &l));
    EXPECT_EQ(l.region, "419");
    EXPECT_FALSE(ParseLocaleTag("", &l));
    EXPECT_FALSE(ParseLocaleTag("x", &l));
    EXPECT_EQ(RequestForPhone("").locale.region, "CN") << "an unknown locale is a Chinese phone's";
    EXPECT_EQ(RequestForPhone("zh-TW").locale.script, "Hant");
    EXPECT_EQ(LikelyScript("zh", "SG"), "Hans");
    EXPECT_EQ(LikelyScript("sr", ""), "Cyrl");
}

// --- names -----------------------------------------------------------------

TEST(ApkName, AsTheLauncherShowsIt) {
    struct Case {
        std::vector<std::string> apks;
        const char* locale;
        const char* name;
    };
    const Case cases[] = {
        {{"locales"}, "zh-CN", u8"全部(中国)"},
        {{"locales"}, "en-US", "Full"},
        {{"fake_encrypted"}, "zh-CN", u8"全部(中国)"},      // the bit phones ignore
        {{"launcher"}, "zh-CN", u8"启动器"},                // launcher activity's resource
        {{"launcher"}, "en-US", "Launcher"},
        {{"launcher_compact"}, "zh-CN", u8"启动器"},
        {{"launcher_sparsecompact"}, "zh-CN", u8"启动器"},
        {{"launcher_deflate"}, "zh-CN", u8"启动器"},
        {{"literal"}, "zh-CN", u8"Literal 名字"},           // the literal beats any resource
        {{"refs"}, "zh-CN", u8"真名"},                      // a looping activity label, then a chain
        {{"refs"}, "en-US", "Real Name"},
        {{"blank_literal"}, "zh-CN", u8"空白回退"},         // blank literal counts as none
        {{"blank_resource"}, "zh-CN", u8"应用名"},          // blank string too
        {{"alias"}, "zh-CN", "Target"},                    // an alias without label: its target's
        {{"nolabel"}, "zh-CN", "(none)"},
        {{"nolauncher"}, "zh-CN", u8"无启动器"},
        {{"nolauncher"}, "en-US", "No Launcher"},
        {{"split_base"}, "zh-CN", "Split App"},            // without its split: the default
        {{"split_base", "split_config.zh"}, "zh-CN", u8"拆分应用"},
        {{"split_base", "split_config.zh"}, "zh-TW", u8"拆分應用"},
        {{"split_base", "split_config.zh"}, "en-US", "Split App"},
    };
    for (const Case& c : cases) EXPECT_EQ(NameOf(c.apks, c.locale), c.name) << c.apks[0] << " for " << c.locale;
}

TEST(ApkName, AgreesWithAndroguard) {
    // androguard resolves the application label for no locale and for an
    // exact zh-rCN folder; both must equal ours.
    const std::string& lines = File("androguard.txt");
    ASSERT_FALSE(lines.empty());
    int compared = 0;
    size_t start = 0;
    while (start < lines.size()) {
        size_t end = lines.find('\n', start);
        std::string line = lines.substr(start, end - start);
        start = end == std::string::npos ? lines.size() : end + 1;
        std::vector<std::string> f;
        size_t a = 0;
        for (size_t tab; (tab = line.find('\t', a)) != std::string::npos; a = tab + 1) f.push_back(line.substr(a, tab - a));
        f.push_back(line.substr(a));
        if (f.size() != 4) continue;
        const std::string& file = File(f[0]);
        ManifestInfo m;
        ASSERT_TRUE(ReadManifest(Entry(file, "AndroidManifest.xml"), &m)) << f[0];
        if (f[1] == "-") {
            EXPECT_EQ(Utf8(m.application.label.literal), f[2]) << f[0];
        } else {
            Table t(file);
            uint32_t id = static_cast<uint32_t>(std::stoul(f[1], nullptr, 16));
            EXPECT_EQ(m.application.label.resource, id) << f[0];
            EXPECT_EQ(Resolve({&t.table}, id, ""), f[2]) << f[0];
            if (f[3] != "-") {
                EXPECT_EQ(Resolve({&t.table}, id, "zh-CN"), f[3]) << f[0];
            }
        }
        compared++;
    }
    EXPECT_GE(compared, 10);
}

// Debian's framework-res.apk (Android 10): 45 MB, read once per run.
const std::string& FrameworkRes() {
    static const std::string bytes = test::ReadFileBytes(KEEL_FRAMEWORK_RES);
    return bytes;
}

TEST(ApkName, AgreesWithAaptOnEveryLocaleOfFrameworkRes) {
    // framework-res (141 locales with their regions) against aapt's
    // badging, which asks androidfw itself for each locale.
    const std::string& labels = File("framework_labels.txt");
    ASSERT_FALSE(labels.empty());
    const std::string& apk = FrameworkRes();
    ZipArchive zip;
    std::string xml, arsc;
    ASSERT_TRUE(zip.Open(apk));
    ASSERT_TRUE(zip.Read("AndroidManifest.xml", kManifestMaxSize, &xml));
    ASSERT_TRUE(zip.Read("resources.arsc", kResTableMaxSize, &arsc));
    ManifestInfo m;
    ResourceTable table;
    ASSERT_TRUE(ReadManifest(xml, &m));
    ASSERT_TRUE(table.Read(std::move(arsc)));
    std::string differ;
    int compared = 0;
    size_t start = 0;
    while (start < labels.size()) {
        size_t end = labels.find('\n', start);
        if (end == std::string::npos) end = labels.size();
        std::string line = labels.substr(start, end - start);
        start = end + 1;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        std::string locale = line.substr(0, tab), want = line.substr(tab + 1);
        std::u16string got;
        AppName(m, {&table}, RequestForPhone(locale), &got);
        if (Utf8(got) != want) differ += locale + ": " + Utf8(got) + " (aapt: " + want + ")\n";
        compared++;
    }
    EXPECT_EQ(differ, "");
    EXPECT_GT(compared, 100);
}

TEST(ApkName, FrameworkStringsNeedThePhonesFrameworkTable) {
    // android:label="@android:string/cancel": only the phone's own
    // framework-res holds the text; given as one more table, it serves.
    std::vector<const std::string*> alone = {&Apk("framework_label")};
    std::vector<const std::string*> withFramework = {&Apk("framework_label"), &FrameworkRes()};
    std::u16string name;
    EXPECT_FALSE(ReadAppName(alone, RequestForPhone("zh-CN"), &name, nullptr));
    ASSERT_TRUE(ReadAppName(withFramework, RequestForPhone("zh-CN"), &name, nullptr));
    EXPECT_EQ(Utf8(name), u8"取消");
    ASSERT_TRUE(ReadAppName(withFramework, RequestForPhone("en-US"), &name, nullptr));
    EXPECT_EQ(Utf8(name), "Cancel");
}

// --- icons -----------------------------------------------------------------

TEST(ApkIcon, SmallestDensityThatNeedsNoScalingUpAndTheFileIsThere) {
    for (const char* apk : {"icons", "icons_compact", "icons_sparse", "icons_deflate"}) {
        const std::string& file = Apk(apk);
        Table t(file);
        ASSERT_TRUE(t.ok) << apk;
        std::vector<const ResourceTable*> tables = {&t.table};
        uint32_t launcher = Id(apk, "mipmap/ic_launcher");
        struct Row {
            int pixels;
            const char* path;
        };
        // mdpi 48 px, hdpi 72, xhdpi 96: 16 px needs 54 dpi, 64 px 214 dpi,
        // 80 px 267 dpi; 200 px is beyond all, so the largest.
        for (Row r : {Row{16, "res/mipmap-mdpi-v4/ic_launcher.png"}, Row{64, "res/mipmap-hdpi-v4/ic_launcher.png"},
                      Row{80, "res/mipmap-xhdpi-v4/ic_launcher.png"}, Row{200, "res/mipmap-xhdpi-v4/ic_launcher.png"}}) {
            IconChoice c = ResolveIcon(tables, launcher, RequestForPhone("zh-CN"), r.pixels);
            ASSERT_TRUE(c.bitmap) << apk;
            EXPECT_EQ(c.file.path, r.path) << apk << " at " << r.pixels << " px";
            EXPECT_EQ(c.file.format, IconFormat::Png);
            EXPECT_TRUE(c.hasXml) << "the anydpi-v26 adaptive icon";
        }
        // The launcher activity's own icon, through a drawable naming a mipmap.
        std::u16string name;
        IconChoice own;
        std::vector<const std::string*> files = {&file};
        ASSERT_TRUE(ReadAppName(files, RequestForPhone("zh-CN"), &name, &own)) << apk;
        ASSERT_TRUE(own.bitmap) << apk;
        EXPECT_EQ(own.file.path, "res/mipmap-hdpi-v4/ic_activity.png") << apk;
        std::string png = Entry(file, own.file.path);
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << apk;
    }
    // A density split holds the xhdpi bitmap; the choice says which APK.
    Table base(Apk("icons_drawable")), split(Apk("split_config.xhdpi"));
    ASSERT_TRUE(base.ok && split.ok);
    for (int pixels : {16, 80}) {
        IconChoice c = ResolveIcon({&base.table, &split.table}, Id("icons_drawable", "drawable/ic_app"),
                                   RequestForPhone("zh-CN"), pixels);
        ASSERT_TRUE(c.bitmap);
        const char* apk = pixels == 16 ? "icons_drawable" : "split_config.xhdpi";
        EXPECT_EQ(c.file.table, pixels == 16 ? 0u : 1u) << pixels << " px";
        EXPECT_EQ(Entry(Apk(apk), c.file.path).substr(0, 4), "\x89PNG") << apk << " " << c.file.path;
    }

    Table vector(Apk("icons_xml"));
    IconChoice c = ResolveIcon({&vector.table}, Id("icons_xml", "mipmap/ic_launcher"), RequestForPhone("zh-CN"));
    EXPECT_FALSE(c.bitmap) << "only an adaptive icon: no bitmap";
    EXPECT_TRUE(c.hasXml);
}

// --- damage ----------------------------------------------------------------

TEST(ApkDamage, GarbageAndLoopsGiveNothing) {
    ResourceTable t;
    EXPECT_FALSE(t.Read(std::string()));
    EXPECT_FALSE(t.Read(std::string(4096, '\x02')));
    EXPECT_TRUE(t.Values(0x7f020000).empty());
    ManifestInfo m;
    EXPECT_FALSE(ReadManifest(std::string(), &m));
    EXPECT_FALSE(ReadManifest(std::string("\x03\x00\x08\x00\xff\xff\xff\x7f", 8), &m));
    Table refs(Apk("refs"));
    EXPECT_EQ(Resolve({&refs.table}, Id("refs", "string/loop_a"), "zh-CN"), "(none)");
    EXPECT_EQ(Resolve({nullptr, &refs.table}, Id("refs", "string/label"), "zh-CN"), u8"真名");
    EXPECT_EQ(Resolve({&refs.table}, 0x7f7f0001, "zh-CN"), "(none)");
    EXPECT_EQ(Resolve({&refs.table}, 0x01040000, "zh-CN"), "(none)") << "framework ids are not in the app";
}

// Flips and cuts bytes of real files; every reading must end, and what it
// gives must stay within the caps.
TEST(ApkDamage, FuzzedFilesNeverCrashOrGrow) {
    std::mt19937 rng(20240607);
    struct Subject {
        const char* apk;
        std::string manifest, table;
    };
    std::vector<Subject> subjects;
    for (const char* apk : {"locales", "launcher_compact", "icons_sparse", "locales_aapt2", "split_config.zh",
                            "locales_sparsecompact"}) {
        const std::string& file = Apk(apk);
        subjects.push_back({apk, Entry(file, "AndroidManifest.xml"), Entry(file, "resources.arsc")});
    }
    auto damage = [&rng](std::string s) {
        std::uniform_int_distribution<int> how(0, 2);
        int kind = how(rng);
        if (kind != 1 && !s.empty()) s.resize(std::uniform_int_distribution<size_t>(0, s.size() - 1)(rng));
        if (kind != 0 && !s.empty()) {
            int flips = std::uniform_int_distribution<int>(1, 8)(rng);
            for (int i = 0; i < flips; i++) {
                size_t at = std::uniform_int_distribution<size_t>(0, s.size() - 1)(rng);
                s[at] = static_cast<char>(s[at] ^ (1 << std::uniform_int_distribution<int>(0, 7)(rng)));
            }
        }
        return s;
    };
    const ResRequest zh = RequestForPhone("zh-CN");
    int readable = 0, iterations = 0;
    for (int round = 0; round < 1000; round++) {
        for (const Subject& s : subjects) {
            iterations++;
            ManifestInfo m;
            if (ReadManifest(damage(s.manifest), &m)) {
                EXPECT_LE(m.application.label.literal.size(), kResMaxString);
                EXPECT_LE(m.launcher.label.literal.size(), kResMaxString);
            }
            ResourceTable t;
            if (t.Read(damage(s.table))) {
                readable++;
                for (uint32_t id = 0x7f020000; id < 0x7f020008; id++) {
                    std::u16string text;
                    if (ResolveString({&t}, id, zh, &text)) {
                        EXPECT_LE(text.size(), kResMaxString);
                    }
                    ResolveIcon({&t}, id, zh);
                }
            }
            std::string apk = damage(Apk(s.apk));
            std::u16string name;
            IconChoice icon;
            if (ReadAppName({&apk}, zh, &name, &icon)) {
                EXPECT_LE(name.size(), kResMaxString);
            }
            std::string content;
            int reads = 0;
            if (ReadByRanges(apk, "resources.arsc", &content, &reads)) {
                EXPECT_LE(content.size(), (apk.size() + 1) * 1032) << "deflate expands at most 1032 times";
            }
        }
    }
    EXPECT_EQ(iterations, 6000);
    EXPECT_GT(readable, 0) << "damage that spares the headers must still read";
}

} // namespace
