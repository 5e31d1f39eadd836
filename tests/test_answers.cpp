// What the tool knows of phones' answers and users: each answer of the
// makers' phones told by its exception and message in every form Android
// prints it, the owner's words and way out for each, and the users and
// spaces named as their owners know them.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "knowledge/answers.h"
#include "knowledge/users.h"

namespace {

using knowledge::Answer;

// Android 9 and later: the exception on stderr after its announcement, and a trace.
std::string Thrown(const std::string& command, const std::string& exception) {
    return "\nException occurred while executing '" + command + "':\n" + exception +
           "\n\tat com.android.server.pm.PackageManagerService.setEnabledSettings(PackageManagerService.java:4069)\n"
           "\tat com.android.modules.utils.BasicShellCommandHandler.exec(BasicShellCommandHandler.java:97)\n";
}

TEST(PhoneAnswers, EachIsToldByItsExceptionOrFailureWhateverTheForm) {
    struct Case {
        std::string printed;
        Answer want;
    } cases[] = {
        // Every Android version's form of one refusal.
        {Thrown("disable-user", "java.lang.SecurityException: Cannot disable a protected package: com.x"),
         Answer::ProtectedPackage},
        {"\nException occurred while executing:\njava.lang.SecurityException: Cannot disable a protected package: com.x",
         Answer::ProtectedPackage},
        {"Security exception: Cannot disable a protected package: com.x", Answer::ProtectedPackage},
        {"Error: java.lang.SecurityException: Cannot disable a protected package: com.x", Answer::ProtectedPackage},
        // The system's own disabled state, before and after Android 13.
        {Thrown("enable", "java.lang.SecurityException: Shell cannot change component state for com.x/null to 1"),
         Answer::ShellCannotChange},
        {Thrown("disable-user", "java.lang.SecurityException: Shell cannot change component state for null to 3"),
         Answer::ShellCannotChange},
        // The makers'.
        {Thrown("disable-user", "java.lang.SecurityException: Cannot disable system packages."), Answer::SystemPackages},
        {Thrown("disable-user", "java.lang.SecurityException: Cannot disable miui core packages."), Answer::CorePackage},
        {Thrown("disable-user", "java.lang.SecurityException: Cannot disable com.vivo.appstore no root permission"),
         Answer::NoRootPermission},
        {"Failure [DELETE_FAILED_USER_RESTRICTED]", Answer::UserRestricted},
        {"Failure [DELETE_FAILED_ABORTED: com.hihonor.id is not allowed the uninstall.]", Answer::UninstallNotAllowed},
        {"Failure [DELETE_FAILED_ABORTED: com.hihonor.id is not allowed the uninstall.", Answer::UninstallNotAllowed},
        {"Failure [-1000]", Answer::MakerCode},
        {"Failure [only root can delete system app for a particular user]", Answer::RootOnly},
        {"Failure [DELETE_FAILED_INTERNAL_ERROR]", Answer::InternalError},
        {"Failure [DELETE_FAILED_DEVICE_POLICY_MANAGER]", Answer::DeviceAdmin},
        {"Failure [DELETE_FAILED_OWNER_BLOCKED]", Answer::OwnerBlocked},
        {"Failure [DELETE_FAILED_USED_SHARED_LIBRARY]", Answer::SharedLibrary},
        // Not there, for that user or at all; Android 6 on stderr with a dash.
        {"Failure [not installed for 0]", Answer::NotInstalled},
        {"Failure - not installed for 0", Answer::NotInstalled},
        {Thrown("disable-user", "java.lang.IllegalArgumentException: Unknown package: com.x"), Answer::UnknownPackage},
        {"Error: java.lang.IllegalArgumentException: Unknown package: com.x", Answer::UnknownPackage},
        // install-existing: no APK; no such command before Android 8.
        {"android.content.pm.PackageManager$NameNotFoundException: Package com.x doesn't exist", Answer::NoApk},
        {"Unknown command: install-existing", Answer::NoInstallExisting},
        {"Error: unknown command 'install-existing'\nusage: pm list packages", Answer::NoInstallExisting},
        // A profile the shell may not reach.
        {"\nException occurred while executing 'list':\n"
         "java.lang.SecurityException: Shell does not have permission to access user 150\n"
         " com.android.server.am.ActivityManagerService.handleIncomingUser:14983 "
         "android.app.ActivityManager.handleIncomingUser:4805\n",
         Answer::UserDenied},
        // adb's own words around the installer's failure.
        {"adb: failed to install base.apk: Failure [INSTALL_FAILED_USER_RESTRICTED: Install canceled by user]",
         Answer::InstallRestricted},
        {"adb: failed to finalize session\r\nFailure [INSTALL_FAILED_USER_RESTRICTED: Install canceled by user]\r\n",
         Answer::InstallRestricted},
        {"java.lang.SecurityException: Permission Denial: attempt to change component state", Answer::OtherSecurity},
        // Successes and the unknown: nothing the table knows.
        {"Package com.x new state: disabled-user", Answer::None},
        {"Success", Answer::None},
        {"Package com.x installed for user: 0", Answer::None},
        {"Failure [INSTALL_FAILED_SOMETHING_NEW]", Answer::None},
        {"", Answer::None},
    };
    for (const Case& c : cases) EXPECT_EQ(knowledge::ReadAnswer(c.printed), c.want) << c.printed;
}

TEST(PhoneAnswers, EachHasItsOwnWordsAndTheWayOutAndTheActionThatWorks) {
    std::set<std::string> seen;
    for (int a = static_cast<int>(Answer::NotInstalled); a <= static_cast<int>(Answer::OtherSecurity); a++) {
        std::string words = knowledge::Explain(static_cast<Answer>(a), "删除");
        EXPECT_FALSE(words.empty()) << a;
        // OwnerBlocked is said as the old policy refusal, as before.
        if (a != static_cast<int>(Answer::OwnerBlocked)) {
            EXPECT_TRUE(seen.insert(words).second) << "the same words twice: " << words;
        }
    }
    EXPECT_EQ(knowledge::Explain(Answer::None, "禁用"), "");
    EXPECT_EQ(knowledge::InsteadOf(Answer::SystemPackages), knowledge::Instead::Delete);
    EXPECT_EQ(knowledge::InsteadOf(Answer::RootOnly), knowledge::Instead::Disable);
    EXPECT_EQ(knowledge::InsteadOf(Answer::ProtectedPackage), knowledge::Instead::Nothing);
    EXPECT_NE(knowledge::Explain(Answer::SystemPackages, "禁用").find("改用删除"), std::string::npos);
    EXPECT_NE(knowledge::Explain(Answer::RootOnly, "删除").find("改用禁用"), std::string::npos);
    EXPECT_NE(knowledge::Explain(Answer::DeviceAdmin, "删除").find("设备管理应用"), std::string::npos);

    // The way to allow installs from the computer is each maker's own.
    std::string xiaomi = knowledge::InstallRemedy("Xiaomi"), oppo = knowledge::InstallRemedy("OPPO");
    EXPECT_NE(xiaomi.find("USB安装"), std::string::npos);
    EXPECT_NE(xiaomi.find("小米账号"), std::string::npos);
    EXPECT_EQ(xiaomi.find("禁用权限监控"), std::string::npos);
    EXPECT_NE(oppo.find("禁用权限监控"), std::string::npos);
    EXPECT_EQ(knowledge::InstallRemedy("realme"), oppo);
    std::string unknown = knowledge::InstallRemedy("");
    EXPECT_NE(unknown.find("USB安装"), std::string::npos);
    EXPECT_NE(unknown.find("禁用权限监控"), std::string::npos);
}

TEST(PhoneUsers, SpacesAreNamedAsTheirOwnersKnowThem) {
    struct Case {
        int id;
        const char* name;
        unsigned flags;
        const char* label;
    } cases[] = {
        {0, "Owner", 0xc13, "机主"},
        {0, "\xE6\x9C\xBA\xE4\xB8\xBB", 0x13, "机主"},
        {10, "Work profile", 0x1030, "工作资料"},
        {999, "XSpace", 0x801010, "应用双开"},
        {999, "MultiApp", 0x4001010, "应用双开"},
        {95, "DualApp", 0x30, "应用双开"},
        {11, "security space", 0x13, "手机分身"},
        // Secure Folder has the managed-profile flag too.
        {150, "Secure Folder", 0x10061030, "安全文件夹"},
        {11, "Guest", 0x14, "用户 11（Guest）"},
    };
    for (const Case& c : cases) EXPECT_EQ(knowledge::UserLabel(c.id, c.name, c.flags), c.label) << c.name;
}

} // namespace
