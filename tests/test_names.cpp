// App names read off simulated phones of each Android version that serve
// the readers' real test APKs (tools/make_test_apks.sh): the names equal
// what the readers give on the same files, language splits are found, a
// phone in English gets English, missing and damaged APKs give no name, a
// cancel stops the read, and the cache on the computer spares a second read.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "apk/appname.h"
#include "appnames/appnames.h"
#include "device/batch.h"
#include "device/lockedfile.h"
#include "apk/respool.h"
#include "apk/zip.h"
#include "tests/support/child.h"
#include "tests/support/testapks.h"
#include "tests/support/uidriver.h"

namespace {

using namespace dev;
using namespace apk;
using namespace appnames;
using test::TestApk;

std::string Scratch() {
    std::string dir = test::ExeDir() + "\\names_scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(test::WriteFileText(path, bytes)) << path;
}

// Package -> the test APK it serves; a split beside it where named.
const std::map<std::string, std::string> kServed = {
    {"com.t.locales", "locales"},   {"com.t.split", "split_base"},       {"com.t.launcher", "launcher"},
    {"com.t.compact", "locales_compact"}, {"com.t.deflate", "locales_deflate"}, {"com.t.icons", "icons"},
    {"com.t.big", "big"},           {"com.t.aapt2", "locales_aapt2"},     {"com.t.refs", "refs"},
    {"com.t.sparse", "icons_sparsecompact"},
};

const char kFrameworkRes[] = "Z:\\usr\\share\\android-framework-res\\framework-res.apk";

// A phone whose packages are served from a folder of APKs, with the log of
// adb runs.
class ApkPhone {
public:
    ApkPhone(int api, const std::string& locale) : dir_(Scratch() + "\\apks"), log_(Scratch() + "\\log.txt") {
        CreateDirectoryA(dir_.c_str(), nullptr);
        std::string profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\nexec-ms 0\nusb-kbps 0\n"
                              "device N1 device\napi " + std::to_string(api) + "\nprop persist.sys.locale " + locale +
                              "\napk-dir " + dir_ + "\n";
        for (const auto& kv : kServed) {
            WriteBytes(dir_ + "\\" + kv.first + ".apk", TestApk(kv.second));
            profile += "package " + kv.first + " enabled " + (kv.first == "com.t.icons" ? "system" : "third-party") + "\n";
        }
        WriteBytes(dir_ + "\\com.t.split@split_config.zh.apk", TestApk("split_config.zh"));
        // Cut in half: no end record, no directory.
        std::string damaged = TestApk("locales");
        WriteBytes(dir_ + "\\com.t.damaged.apk", damaged.substr(0, damaged.size() / 2));
        // A system app whose APK the phone does not serve (a user app always has one).
        profile += "package com.t.damaged enabled\npackage com.t.missing enabled system\n";
        // framework-res: a 31.9 MB stored table, read in parts.
        std::string framework = dir_ + "\\android.apk";
        if (GetFileAttributesA(framework.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !CreateHardLinkA(framework.c_str(), kFrameworkRes, nullptr))
            CopyFileA(kFrameworkRes, framework.c_str(), FALSE);
        profile += "package android enabled system\n";
        WriteBytes(Scratch() + "\\profile.txt", profile);
        DeleteFileA(log_.c_str());
        SetEnvironmentVariableA("ADBSIM_STATE", (Scratch() + "\\profile.txt").c_str());
        SetEnvironmentVariableA("ADBSIM_LOG", log_.c_str());
    }
    std::string Dir() const { return dir_; }
    std::string Log() const { return test::ReadFileBytes(log_); }
    void ClearLog() const { DeleteFileA(log_.c_str()); }

private:
    std::string dir_, log_;
};

Adb TheAdb() { return Adb(test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe"); }

PackageSnapshot Snapshot() {
    PackageRead r = ReadPackages(TheAdb(), "N1", 0);
    EXPECT_EQ(r.error, "");
    return r.snapshot;
}

const AppLabel& LabelOf(const PackageSnapshot& s, const NameRead& r, const std::string& package) {
    for (size_t i = 0; i < s.packages.size(); i++)
        if (s.packages[i].name == package) return r.apps[i];
    static AppLabel none;
    ADD_FAILURE() << package << " not on the phone";
    return none;
}

// What the readers give on the whole files.
AppLabel Expected(const ApkPhone& phone, const std::string& package, const std::string& locale, int api) {
    std::string base = test::ReadFileBytes(phone.Dir() + "\\" + package + ".apk");
    std::string split = locale.compare(0, 2, "zh") == 0
                            ? test::ReadFileBytes(phone.Dir() + "\\" + package + "@split_config.zh.apk")
                            : std::string();
    std::vector<const std::string*> apks = {&base};
    if (!split.empty()) apks.push_back(&split);
    AppLabel want;
    IconChoice icon;
    want.hasName = !base.empty() && ReadAppName(apks, RequestForPhone(locale, api), &want.name, &icon);
    ZipArchive zip;
    if (icon.bitmap && icon.file.format == IconFormat::Png && zip.Open(*apks[icon.file.table]))
        zip.Read(icon.file.path, 1u << 20, &want.icon);
    return want;
}

std::string Utf8(const std::u16string& s) { return Utf16ToUtf8(s); }

TEST(AppNames, EveryAndroidVersionGivesWhatTheReadersGive) {
    for (int api : {23, 26, 29, 34}) {
        SCOPED_TRACE("API " + std::to_string(api));
        ApkPhone phone(api, "zh-CN");
        PackageSnapshot s = Snapshot();
        ASSERT_EQ(s.packages.size(), kServed.size() + 3);
        phone.ClearLog();
        NameReadOptions options;
        size_t lastDone = 0, lastTotal = 0;
        options.progress = [&](size_t done, size_t total) {
            EXPECT_GE(done, lastDone);
            lastDone = done;
            lastTotal = total;
        };
        std::map<size_t, AppLabel> arrived;
        options.arrived = [&](size_t index, const AppLabel& label) {
            EXPECT_TRUE(arrived.emplace(index, label).second) << "reported twice: " << index;
        };
        NameRead r = ReadAppNames(TheAdb(), "N1", s, options);
        EXPECT_EQ(r.error, "");
        // Each label is reported as it is settled, the same as in the result.
        for (size_t i = 0; i < r.apps.size(); i++) {
            if (!r.apps[i].hasName) continue;
            ASSERT_TRUE(arrived.count(i)) << s.packages[i].name;
            EXPECT_EQ(Utf8(arrived[i].name), Utf8(r.apps[i].name));
            EXPECT_EQ(arrived[i].icon, r.apps[i].icon);
        }
        EXPECT_EQ(r.locale, "zh-CN");
        EXPECT_EQ(lastDone, s.packages.size());
        EXPECT_EQ(lastTotal, s.packages.size());
        std::map<std::string, std::string> all = kServed;
        all["android"] = "framework-res";
        for (const auto& kv : all) {
            AppLabel want = Expected(phone, kv.first, "zh-CN", api);
            const AppLabel& got = LabelOf(s, r, kv.first);
            EXPECT_TRUE(want.hasName) << kv.first;
            EXPECT_EQ(got.hasName, want.hasName) << kv.first;
            EXPECT_EQ(Utf8(got.name), Utf8(want.name)) << kv.first;
            EXPECT_EQ(got.icon == want.icon, true) << kv.first << ": icon of " << got.icon.size() << " bytes, wanted "
                                                  << want.icon.size();
        }
        // androguard reads these two the same (tests/test_apk.cpp); the split's translation is in its split APK.
        EXPECT_EQ(Utf8(LabelOf(s, r, "com.t.locales").name), u8"全部(中国)");
        EXPECT_EQ(Utf8(LabelOf(s, r, "com.t.split").name), u8"拆分应用");
        EXPECT_EQ(LabelOf(s, r, "com.t.icons").icon.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
        EXPECT_FALSE(LabelOf(s, r, "com.t.damaged").hasName);
        // Of framework-res's table only the parts around the value strings, compressed where the phone can.
        if (api >= 26) {
            EXPECT_LT(r.stats.bytesIn, 4u << 20);
        }
        EXPECT_FALSE(LabelOf(s, r, "com.t.missing").hasName);
        // A whole batch per round: a handful of adb runs for every package.
        EXPECT_LE(r.stats.rounds, 6u);
        EXPECT_LE(r.stats.adbRuns, 8u) << "a 4 KB script before Android 7 holds fewer packages";
        std::string log = phone.Log();
        EXPECT_EQ(r.stats.adbRuns, static_cast<size_t>(std::count(log.begin(), log.end(), '\n')));
        // Only exec-out carries the bytes (no terminal before Android 7).
        EXPECT_EQ(log.find(" shell "), std::string::npos);
    }
}

TEST(AppNames, APhoneInEnglishGetsEnglishAndSkipsTheChineseSplit) {
    ApkPhone phone(34, "en-US");
    PackageSnapshot s = Snapshot();
    phone.ClearLog();
    NameRead r = ReadAppNames(TheAdb(), "N1", s, NameReadOptions());
    EXPECT_EQ(r.locale, "en-US");
    EXPECT_EQ(Utf8(LabelOf(s, r, "com.t.locales").name), "Full");
    EXPECT_EQ(Utf8(LabelOf(s, r, "com.t.split").name), "Split App");
    EXPECT_EQ(phone.Log().find("split_config.zh.apk"), std::string::npos);
    for (const auto& kv : kServed)
        EXPECT_EQ(Utf8(LabelOf(s, r, kv.first).name), Utf8(Expected(phone, kv.first, "en-US", 34).name)) << kv.first;
}

TEST(AppNames, TheCacheSparesUnchangedAppsAndRereadsAChangedOne) {
    ApkPhone phone(29, "zh-CN");
    PackageSnapshot s = Snapshot();
    std::string cachePath = Scratch() + "\\names.txt";
    DeleteFileA(cachePath.c_str());
    NameCache cache(cachePath);
    cache.Load();
    NameReadOptions options;
    options.cache = &cache;
    NameRead first = ReadAppNames(TheAdb(), "N1", s, options);
    EXPECT_EQ(cache.Size(), s.packages.size() - 1) << "every package but the one without an APK";

    // A fresh cache object reads the file: one adb run of sizes and times, no APK bytes.
    NameCache again(cachePath);
    again.Load();
    options.cache = &again;
    NameRead second = ReadAppNames(TheAdb(), "N1", s, options);
    EXPECT_EQ(second.stats.adbRuns, 1u);
    EXPECT_LT(second.stats.bytesIn, 250 * s.packages.size()) << "markers, sizes, times and folders only";
    for (size_t i = 0; i < s.packages.size(); i++) {
        EXPECT_EQ(Utf8(second.apps[i].name), Utf8(first.apps[i].name)) << s.packages[i].name;
        EXPECT_EQ(second.apps[i].icon == first.apps[i].icon, true) << s.packages[i].name;
        EXPECT_EQ(second.apps[i].fromCache, s.packages[i].name != "com.t.missing") << s.packages[i].name;
    }

    // An update: the same path with another time (and here another content) is read again.
    WriteBytes(phone.Dir() + "\\com.t.locales.apk", TestApk("launcher"));
    HANDLE h = CreateFileA((phone.Dir() + "\\com.t.locales.apk").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    FILETIME later;
    GetSystemTimeAsFileTime(&later);
    ULARGE_INTEGER t;
    t.LowPart = later.dwLowDateTime;
    t.HighPart = later.dwHighDateTime;
    t.QuadPart += 3600ULL * 10000000ULL;
    later.dwLowDateTime = t.LowPart;
    later.dwHighDateTime = t.HighPart;
    SetFileTime(h, nullptr, nullptr, &later);
    CloseHandle(h);
    NameRead third = ReadAppNames(TheAdb(), "N1", s, options);
    EXPECT_FALSE(LabelOf(s, third, "com.t.locales").fromCache);
    EXPECT_EQ(Utf8(LabelOf(s, third, "com.t.locales").name), Utf8(Expected(phone, "com.t.locales", "zh-CN", 29).name));
    EXPECT_TRUE(LabelOf(s, third, "com.t.split").fromCache);
    // A phone in another language is a different key.
    options.locale = "en-US";
    NameRead english = ReadAppNames(TheAdb(), "N1", s, options);
    EXPECT_FALSE(LabelOf(s, english, "com.t.split").fromCache);
    EXPECT_EQ(Utf8(LabelOf(s, english, "com.t.split").name), "Split App");
}

TEST(AppNames, ACancelStopsAfterTheRunInProgress) {
    ApkPhone phone(34, "zh-CN");
    PackageSnapshot s = Snapshot();
    Cancel cancel;
    NameReadOptions options;
    options.cancel = &cancel;
    options.progress = [&](size_t, size_t) { cancel.Request(); };
    NameRead r = ReadAppNames(TheAdb(), "N1", s, options);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.stats.adbRuns, 1u);
    for (const AppLabel& a : r.apps) EXPECT_FALSE(a.hasName);
}

TEST(NameCacheFile, ATornFileIsReadUpToTheTearAndStaysBounded) {
    std::string path = Scratch() + "\\torn.txt";
    NameKey a{"com.a", "/data/app/a/base.apk", 100, 5, "", "zh-CN"};
    NameKey b{"com.b", "/system/app/B/B.apk", 200, 6, "split_config.zh.apk", "zh-CN"};
    CachedName va{true, u"\u5FAE\u4FE1\t\U0001F600\\", "\x89PNG\r\n\x1a\nrest"}, vb{false, u"", ""};
    std::string text = FormatNameLine(a, va) + FormatNameLine(b, vb);
    WriteBytes(path, text + FormatNameLine(a, vb).substr(0, 20));
    NameCache cache(path);
    cache.Load();
    EXPECT_EQ(cache.Size(), 2u);
    CachedName got;
    ASSERT_TRUE(cache.Find(a, &got));
    EXPECT_EQ(Utf16ToUtf8(got.name), Utf16ToUtf8(va.name));
    EXPECT_EQ(got.icon, va.icon);
    NameKey moved = a;
    moved.mtime = 7;
    EXPECT_FALSE(cache.Find(moved, &got));
    EXPECT_TRUE(cache.KnowsPath(a.path));
    // The next append starts on a fresh line, so the torn one stays alone.
    NameKey c{"com.c", "/data/app/c/base.apk", 1, 1, "", "en-US"};
    EXPECT_TRUE(cache.Put(c, va));
    NameCache reread(path);
    reread.Load();
    EXPECT_EQ(reread.Size(), 3u);
    EXPECT_TRUE(reread.Find(c, &got));

    // Before a read confirms it, the newest name of a package is shown: at
    // its path when it is there, else wherever it was last.
    NameKey updated{"com.a", "/data/app/a2/base.apk", 300, 9, "", "zh-CN"};
    CachedName newer{true, u"\u5FAE\u4FE1 2", ""};
    EXPECT_TRUE(reread.Put(updated, newer));
    NameCache latest(path);
    latest.Load();
    ASSERT_TRUE(latest.Latest("com.a", a.path, &got));
    EXPECT_EQ(Utf16ToUtf8(got.name), Utf16ToUtf8(va.name));
    ASSERT_TRUE(latest.Latest("com.a", "", &got));
    EXPECT_EQ(Utf16ToUtf8(got.name), Utf16ToUtf8(newer.name));
    EXPECT_FALSE(latest.Latest("com.a", "/data/app/a3/base.apk", &got));
    EXPECT_FALSE(latest.Latest("com.x", "", &got));

    // Past its bound the file keeps the newest entries.
    std::string many;
    for (size_t i = 0; i <= kNameCacheMaxLines; i++) {
        NameKey k{"com.p" + std::to_string(i), "/data/app/p" + std::to_string(i) + "/base.apk", i, i, "", "zh-CN"};
        many += FormatNameLine(k, vb);
    }
    WriteBytes(path, many);
    NameCache big(path);
    big.Load();
    EXPECT_EQ(big.Size(), kNameCacheKeep);
    EXPECT_FALSE(big.KnowsPath("/data/app/p0/base.apk"));
    EXPECT_TRUE(big.KnowsPath("/data/app/p" + std::to_string(kNameCacheMaxLines) + "/base.apk"));
    NameCache trimmed(path);
    trimmed.Load();
    EXPECT_EQ(trimmed.Size(), kNameCacheKeep);
    size_t lines = 0;
    ForEachWholeLine(ReadShared(path), [&](const std::string&) { lines++; });
    EXPECT_EQ(lines, kNameCacheKeep);
}

} // namespace
