// The phone tools/run.sh starts: the current phone's profile serving the APKs
// tools/make_phone_apks.py builds for it. Every package's name, read through
// the simulated adb, is the one the APK was built with (its labels.txt): the
// Chinese where it has one (from the language split for split apps), else
// the default; a phone in English gets the default; PNG icons arrive,
// adaptive ones give none.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "appnames/appnames.h"
#include "device/batch.h"
#include "apk/respool.h"
#include "text/text.h"
#include "tests/support/child.h"
#include "tests/support/uidriver.h"

#ifndef KEEL_PHONE_APK_DIR
#error "KEEL_PHONE_APK_DIR: where the build put the phone's APKs"
#endif
#ifndef KEEL_PROFILE_DIR
#error "KEEL_PROFILE_DIR: the simulated phones' profiles"
#endif

namespace {

using namespace dev;
using namespace apk;
using namespace appnames;
using namespace text;

const char kSerial[] = "8a3c7f21";

struct Built {
    std::string name, zh, icon;
    bool split = false;
};

// labels.txt: package, default, zh-CN or "-", icon kind, split or "-".
std::map<std::string, Built> ReadLabels() {
    std::map<std::string, Built> built;
    for (const std::string& line : SplitLines(test::ReadFileBytes(std::string(KEEL_PHONE_APK_DIR) + "\\labels.txt"))) {
        std::vector<std::string> f = SplitTabs(line);
        if (f.size() != 5) {
            ADD_FAILURE() << "labels.txt: " << line;
            continue;
        }
        built[f[0]] = {f[1], f[2] == "-" ? std::string() : f[2], f[3], f[4] == "split"};
    }
    return built;
}

// The current phone with the built APKs, at no simulated latency.
void ServeThePhone() {
    std::string scratch = test::ExeDir() + "\\phone_apks_scratch";
    CreateDirectoryA(scratch.c_str(), nullptr);
    std::string profile = test::ReadFileBytes(std::string(KEEL_PROFILE_DIR) + "\\current-phone.txt");
    ASSERT_FALSE(profile.empty());
    profile += "connect-ms 0\ncommand-ms 0\nexec-ms 0\nusb-kbps 0\napk-dir " + std::string(KEEL_PHONE_APK_DIR) + "\n";
    std::string state = scratch + "\\profile.txt";
    FILE* f = std::fopen(state.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(profile.data(), 1, profile.size(), f);
    std::fclose(f);
    SetEnvironmentVariableA("ADBSIM_STATE", state.c_str());
    SetEnvironmentVariableA("ADBSIM_LOG", (scratch + "\\log.txt").c_str());
}

Adb TheAdb() { return Adb(test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe"); }

TEST(PhoneApks, EveryPackageShowsTheNameItWasBuiltWith) {
    std::map<std::string, Built> built = ReadLabels();
    ASSERT_GT(built.size(), 300u);
    ServeThePhone();
    PackageRead list = ReadPackages(TheAdb(), kSerial, 0);
    ASSERT_EQ(list.error, "");
    for (const char* locale : {"", "en-US"}) {
        SCOPED_TRACE(*locale ? locale : "the phone's locale");
        NameReadOptions options;
        options.locale = locale;
        NameRead r = ReadAppNames(TheAdb(), kSerial, list.snapshot, options);
        ASSERT_EQ(r.error, "");
        ASSERT_EQ(r.apps.size(), list.snapshot.packages.size());
        bool chinese = r.locale == "zh-CN";
        EXPECT_EQ(chinese, !*locale) << r.locale;
        size_t compared = 0, pngs = 0, splits = 0;
        for (size_t i = 0; i < r.apps.size(); i++) {
            const std::string& package = list.snapshot.packages[i].name;
            const AppLabel& got = r.apps[i];
            EXPECT_TRUE(got.hasName) << package;
            if (package == "android") continue;   // framework-res itself
            auto it = built.find(package);
            if (it == built.end()) {
                ADD_FAILURE() << package << " was not built";
                continue;
            }
            const Built& want = it->second;
            compared++;
            EXPECT_EQ(Utf16ToUtf8(got.name), chinese && !want.zh.empty() ? want.zh : want.name) << package;
            if (want.icon == "png") {
                pngs++;
                EXPECT_EQ(got.icon.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << package;
            } else {
                EXPECT_EQ(got.icon.size(), 0u) << package << ": " << want.icon;
            }
            splits += want.split;
        }
        // Almost every package (those uninstalled for the user are not listed), a share of them with icons and
        // language splits: the Chinese names above that only a split holds.
        EXPECT_GT(compared, 350u);
        EXPECT_GT(pngs, compared / 4);
        EXPECT_GT(splits, 0u);
    }
}

} // namespace
