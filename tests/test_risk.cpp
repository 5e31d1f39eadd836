// The risk list compiled into the program: how its text is read, and that
// the list we ship names only real package names, each with a reason, and
// covers the packages a phone cannot do without.
#include <gtest/gtest.h>
#include <map>
#include <string>
#include "knowledge/risk.h"
#include "device/names.h"

namespace data {
extern const char kRiskText[];
}

namespace {

using Entries = std::map<std::string, std::string>;

Entries Parse(const char* text) {
    Entries e;
    knowledge::ParseRiskList(text, [](const std::string& n, const std::string& r, void* to) {
        (*static_cast<Entries*>(to))[n] = r;
    }, &e);
    return e;
}

TEST(RiskList, CommentsBlankLinesTabsAndBlanksAndANameAlone) {
    Entries e = Parse("# heading\r\n\r\ncom.a\treason a\r\n  com.b   reason b  \ncom.c\ncom.a\tlater\n"
                      "com.d\tboots no more # owner/repo#12\ncom.e\t# owner/repo#13\n");
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e["com.a"], "later");
    EXPECT_EQ(e["com.b"], "reason b");
    EXPECT_FALSE(e["com.c"].empty()) << "a name alone still gets a reason";
    EXPECT_EQ(e["com.d"], "boots no more") << "the comment is not the reason";
    EXPECT_EQ(e["com.e"], e["com.c"]);
}

TEST(RiskList, TheShippedListNamesRealPackagesWithReasonsAndTheEssentials) {
    Entries e = Parse(data::kRiskText);
    EXPECT_GE(e.size(), 40u);
    for (const auto& entry : e) {
        EXPECT_TRUE(dev::IsPackageName(entry.first)) << entry.first;
        EXPECT_FALSE(entry.second.empty()) << entry.first;
    }
    for (const char* essential : {"android", "com.android.systemui", "com.android.phone", "com.android.providers.telephony",
                                  "com.android.settings", "com.android.providers.settings",
                                  "com.android.packageinstaller", "com.google.android.packageinstaller",
                                  "com.android.launcher3", "com.miui.home"}) {
        ASSERT_NE(knowledge::RiskReason(essential), nullptr) << essential;
        EXPECT_EQ(*knowledge::RiskReason(essential), e[essential]);
    }
    EXPECT_EQ(knowledge::RiskReason("com.tencent.mm"), nullptr);
    // What owners reported of their makers' apps.
    for (const char* reported : {"com.miui.powerkeeper", "com.miui.home", "com.miui.guardprovider", "com.miui.securitycenter",
                                 "com.miui.securitycore", "com.xiaomi.finddevice", "com.coloros.weather.service",
                                 "com.oplus.exsystemservice", "com.huawei.hwid", "com.huawei.lbs"})
        EXPECT_NE(knowledge::RiskReason(reported), nullptr) << reported;
    EXPECT_NE(knowledge::RiskReason("com.miui.guardprovider")->find("安装"), std::string::npos);
}

} // namespace
