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
    Entries e = Parse("# heading\r\n\r\ncom.a\treason a\r\n  com.b   reason b  \ncom.c\ncom.a\tlater\n");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e["com.a"], "later");
    EXPECT_EQ(e["com.b"], "reason b");
    EXPECT_FALSE(e["com.c"].empty()) << "a name alone still gets a reason";
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
}

} // namespace
