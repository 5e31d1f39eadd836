// The device layer's texts: what adb and the phone print, read into records,
// and the scripts and files the layer writes, without any process.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>
#include "device/actions.h"
#include "device/devices.h"
#include "device/lists.h"
#include "device/names.h"
#include "device/packages.h"
#include "device/record.h"
#include "text/text.h"

namespace {

using namespace dev;

TEST(DeviceList, LongAndShortFormsEveryStateAndItsHint) {
    const std::string out =
        "* daemon not running; starting now at tcp:5037\n"
        "* daemon started successfully\n"
        "List of devices attached\n"
        "emulator-5554          device product:sdk_gphone_x86 model:Android_SDK_built_for_x86 device:generic_x86 "
        "transport_id:11\n"
        "R58M1234ABC            unauthorized usb:1-4 transport_id:3\n"
        "0123456789ABCDEF       no permissions; see [http://developer.android.com/tools/device.html] usb:1-2 "
        "transport_id:4\r\n"
        "adb-XYZ._adb-tls-connect._tcp offline transport_id:5\n"
        "HT7A1B2C3\tauthorizing\n"
        "\n";
    std::vector<Device> d = ParseDevices(out);
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d[0].serial, "emulator-5554");
    EXPECT_EQ(d[0].state, DeviceState::Ready);
    EXPECT_EQ(d[0].model, "Android_SDK_built_for_x86");
    EXPECT_EQ(d[0].transportId, 11);
    EXPECT_EQ(StateHint(d[0]), "");
    EXPECT_EQ(DeviceLabel(d[0]), "Android_SDK_built_for_x86 emulator-5554");

    EXPECT_EQ(d[1].state, DeviceState::Unauthorized);
    EXPECT_EQ(d[1].usb, "1-4");
    EXPECT_EQ(StateHint(d[1]), "未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线）");
    EXPECT_EQ(DeviceLabel(d[1]), "R58M1234ABC（未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线））");
    EXPECT_EQ(ShortDeviceLabel(d[1]), "R58M1234ABC（未授权）") << "the state in a word";

    EXPECT_EQ(d[2].state, DeviceState::NoPermissions);
    EXPECT_EQ(d[2].stateText, "no permissions; see [http://developer.android.com/tools/device.html]");
    EXPECT_EQ(d[2].transportId, 4);
    EXPECT_EQ(d[3].serial, "adb-XYZ._adb-tls-connect._tcp");
    EXPECT_EQ(d[3].state, DeviceState::Offline);
    EXPECT_EQ(d[4].state, DeviceState::Authorizing);
    for (size_t i = 1; i < d.size(); i++) EXPECT_FALSE(StateHint(d[i]).empty()) << d[i].stateText;

    Device odd;
    odd.serial = "X";
    odd.stateText = "recovery";
    odd.state = StateFromText(odd.stateText);
    EXPECT_EQ(StateHint(odd), "不可用：设备处于“recovery”状态");
    EXPECT_EQ(ShortDeviceLabel(odd), "X（recovery）");
    d[2].model = "Pixel_7";
    d[2].server = Server{"lab-pc", 5037};
    EXPECT_EQ(ShortDeviceLabel(d[2]), "Pixel_7 0123456789ABCDEF @ lab-pc（没有权限）");
    EXPECT_EQ(ShortDeviceLabel(d[0]), DeviceLabel(d[0])) << "a ready phone's label has no hint";
    EXPECT_TRUE(ParseDevices("List of devices attached\n\n").empty());
}

// The read script's output as a current phone prints it.
std::string CurrentPhoneOutput(bool withEnd) {
    std::string s =
        ":adbtool:section props\n[ro.build.version.release]: [14]\n[ro.build.version.sdk]: [34]\n"
        "[ro.product.model]: [Pixel 7]\n[ro.serialno]: [2A19]\n[ro.build.fingerprint]: [g/p:14/[x]: [y]]\n"
        ":adbtool:section androidid\nnull\n"
        ":adbtool:section users\nUsers:\n\tUserInfo{0:Owner:c13} running\n\tUserInfo{10:Work profile:1030} running\n"
        ":adbtool:section all\n"
        "package:/data/app/~~Zx1==/com.example.notes-Ab9==/base.apk=com.example.notes\n"
        "package:/system/priv-app/SystemUI/SystemUI.apk=com.android.systemui\n"
        "package:/system/app/Gone/Gone.apk=com.oem.gone\n"
        "package:/product/app/Off/Off.apk=com.oem.off\n"
        "package:/data/app/evil/base.apk=com.evil;reboot\n"
        "package:/data/app/evil2/base.apk=com.evil $(id)\n:adbtool:status 0\n"
        ":adbtool:section installed\npackage:com.example.notes\npackage:com.android.systemui\npackage:com.oem.off\n"
        ":adbtool:status 0\n:adbtool:section disabled\npackage:com.oem.off\n:adbtool:status 0\n"
        ":adbtool:section system\npackage:com.android.systemui\npackage:com.oem.gone\npackage:com.oem.off\n"
        ":adbtool:status 0\n";
    return withEnd ? s + ":adbtool:section end\n" : s;
}

TEST(PackageRead, StatesKindsPathsAndRefusedNamesFromOneScript) {
    // Each phone's fastest way to the package service: `cmd package` from
    // Android 8, pm before 7, and cmd falling back on pm where not known.
    std::string script = BuildReadScript(10);
    EXPECT_EQ(script.find("list users"), std::string::npos);
    EXPECT_EQ(BuildReadScript(10, Users::List, 34).find("echo :adbtool:section users;cmd package list users 2>&1;"), 0u);
    EXPECT_NE(script.find("echo :adbtool:section props;getprop;"), std::string::npos) << script;
    EXPECT_NE(script.find("cmd package list packages -f -u --user 10 2>/dev/null||"
                          "pm list packages -f -u --user 10 2>&1;echo :adbtool:status $?;"),
              std::string::npos)
        << script;
    EXPECT_NE(script.find("cmd settings get secure android_id 2>/dev/null||settings get secure android_id"),
              std::string::npos);
    std::string current = BuildReadScript(10, Users::Skip, 26);
    EXPECT_NE(current.find(";cmd package list packages -s -u --user 10 2>&1;"), std::string::npos) << current;
    EXPECT_NE(current.find(";cmd settings get secure android_id 2>/dev/null;"), std::string::npos) << current;
    EXPECT_EQ(current.find("pm "), std::string::npos) << current;
    std::string old = BuildReadScript(0, Users::Skip, 23);
    EXPECT_NE(old.find(";pm list packages -d --user 0 2>&1;"), std::string::npos) << old;
    EXPECT_EQ(old.find("cmd "), std::string::npos) << old;

    PackageSnapshot s = ParseReadOutput(CurrentPhoneOutput(true));
    EXPECT_TRUE(s.complete);
    EXPECT_EQ(s.api, 34);
    EXPECT_EQ(s.model, "Pixel 7");
    EXPECT_EQ(s.release, "14");
    EXPECT_EQ(s.serialNo, "2A19");
    EXPECT_EQ(s.androidId, "") << "settings prints null for no value";
    ASSERT_EQ(s.users.size(), 2u);
    EXPECT_EQ(s.users[1].id, 10);
    EXPECT_EQ(s.users[1].name, "Work profile");
    EXPECT_TRUE(s.users[1].WorkProfile());
    EXPECT_FALSE(s.users[0].WorkProfile()) << "c13: primary, admin, full";
    ASSERT_EQ(s.packages.size(), 4u);
    const Package* notes = FindPackage(s, "com.example.notes");
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ(notes->path, "/data/app/~~Zx1==/com.example.notes-Ab9==/base.apk");
    EXPECT_EQ(notes->kind, PackageKind::User);
    EXPECT_EQ(notes->state, PackageState::Enabled);
    EXPECT_EQ(FindPackage(s, "com.oem.gone")->state, PackageState::Deleted);
    EXPECT_EQ(FindPackage(s, "com.oem.off")->state, PackageState::Disabled);
    EXPECT_EQ(FindPackage(s, "com.android.systemui")->kind, PackageKind::System);
    EXPECT_EQ(s.rejected, (std::vector<std::string>{"com.evil;reboot", "com.evil $(id)"}));
    EXPECT_FALSE(ParseReadOutput(CurrentPhoneOutput(false)).complete);

    // Android 6 through a terminal: CR LF, and "\r\r\n" where a text-mode stream added its own.
    std::string oldOut =
        ":adbtool:section props\r\n[ro.build.version.sdk]: [23]\r\n:adbtool:section all\r\npackage:/system/app/A/A.apk=com.a\r\r\n"
        ":adbtool:status 0\r\n:adbtool:section installed\r\npackage:com.a\r\n:adbtool:status 0\r\n"
        ":adbtool:section disabled\r\n:adbtool:status 0\r\n:adbtool:section system\r\n:adbtool:status 0\r\n"
        ":adbtool:section end\r\n";
    PackageSnapshot o = ParseReadOutput(oldOut);
    EXPECT_TRUE(o.complete);
    EXPECT_EQ(o.api, 23);
    ASSERT_EQ(o.packages.size(), 1u);
    EXPECT_EQ(o.packages[0].name, "com.a");
    EXPECT_EQ(o.packages[0].path, "/system/app/A/A.apk");
}

TEST(ActionScript, EachPackageOnceBetweenItsMarkersAndNothingForABadName) {
    std::string script = BuildActionScript(Action::Delete, 0, {"com.a", "com.b"});
    for (const char* name : {"com.a", "com.b"}) {
        size_t at = script.find(std::string(" ") + name + " ");
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_EQ(script.find(std::string(" ") + name + " ", at + 1), std::string::npos) << "sent once: " << name;
        std::string n = name[4] == 'a' ? "0" : "1";
        EXPECT_LT(script.find(":adbtool:begin " + n), at);
        EXPECT_GT(script.find(":adbtool:end " + n), at);
    }
    EXPECT_NE(script.find(BuildReadScript(0)), std::string::npos) << "the read back follows";
    // Android 8 on: no Java VM per package; restore only through cmd, which
    // the old pm lacks (its refusal is the answer there).
    std::string eight = BuildActionScript(Action::Disable, 0, {"com.a"}, ReadBack::Yes, ReadBefore::Yes, 27);
    EXPECT_EQ(eight.find("pm "), std::string::npos) << eight;
    EXPECT_NE(eight.find(BuildReadScript(0, Users::Skip, 27)), std::string::npos);
    EXPECT_NE(ActionCommand(Action::Restore, 0, "com.a", 23).find("cmd package install-existing"), std::string::npos);
    EXPECT_NE(ActionCommand(Action::Disable, 10, "com.a", 34).find("--user 10 com.a"), std::string::npos);
    for (const char* bad : {"", "com.a;reboot", "com.a b", "com.a'", "-k", "com.a\n", "com.\xD6\xD0"})
        EXPECT_EQ(BuildActionScript(Action::Disable, 0, {"com.ok", bad}), "") << bad;
}

TEST(ActionOutput, EachAndroidVersionsTextsBecomeOneOutcomePerPackage) {
    struct Case {
        Action action;
        const char* printed;
        int status;
        Outcome want;
    } cases[] = {
        {Action::Disable, "Package com.x new state: disabled-user", 0, Outcome::Done},
        {Action::Enable, "Package com.x new state: enabled", 0, Outcome::Done},
        {Action::Delete, "Success", 0, Outcome::Done},
        {Action::Restore, "Package com.x installed for user: 0", 0, Outcome::Done},
        // Android 9+: an exception on stderr, exit 255.
        {Action::Disable, "Exception occurred while executing 'disable-user':\n"
                          "java.lang.SecurityException: Cannot disable a protected package: com.x\n\tat com.android",
         255, Outcome::Protected},
        {Action::Disable, "java.lang.IllegalArgumentException: Unknown package: com.x", 255, Outcome::UnknownPackage},
        {Action::Disable, "java.lang.SecurityException: Shell cannot change component state for null to 3", 255,
         Outcome::SystemDisabled},
        {Action::Enable, "java.lang.SecurityException: Permission Denial: attempt to change component state", 255,
         Outcome::RefusedByPolicy},
        {Action::Delete, "Failure [not installed for 0]", 1, Outcome::NotInstalled},
        {Action::Delete, "Failure [DELETE_FAILED_DEVICE_POLICY_MANAGER]", 1, Outcome::DeviceAdmin},
        {Action::Delete, "Failure [DELETE_FAILED_INTERNAL_ERROR]", 1, Outcome::InternalError},
        {Action::Restore, "android.content.pm.PackageManager$NameNotFoundException: Package com.x doesn't exist", 1,
         Outcome::ApkGone},
        // Android 7-8: exit 0 after a failure; Android 6: the old pm's texts.
        {Action::Disable, "Security exception: Cannot disable a protected package: com.x", 0, Outcome::Protected},
        {Action::Restore, "Unknown command: install-existing", 0, Outcome::NeedsAndroid8},
        {Action::Restore, "/system/bin/sh: cmd: not found", 127, Outcome::NeedsAndroid8},
        {Action::Enable, "Error: java.lang.IllegalArgumentException: Unknown package: com.x", 1, Outcome::UnknownPackage},
        {Action::Delete, "Failure - not installed for 0", 0, Outcome::NotInstalled},
        // Android 8 through `cmd package`: the exception without the command's
        // name, and the result kept in the status.
        {Action::Disable, "\nException occurred while executing:\n"
                          "java.lang.IllegalArgumentException: Unknown package: com.x\n\tat com.android",
         255, Outcome::UnknownPackage},
        {Action::Delete, "Failure [DELETE_FAILED_INTERNAL_ERROR]", 255, Outcome::InternalError},
        // Success printed, failure reported through the status.
        {Action::Delete, "Success", 1, Outcome::Other},
    };
    for (const Case& c : cases) EXPECT_EQ(Classify(c.action, c.printed, c.status), c.want) << c.printed;

    std::vector<std::string> names = {"com.a", "com.b", "com.c"};
    const std::string out = ":adbtool:begin 0\r\nPackage com.a new state: disabled-user\r\n:adbtool:end 0 0\r\n"
                            ":adbtool:begin 1\n\nException occurred while executing 'disable-user':\n"
                            "java.lang.SecurityException: Cannot disable a protected package: com.b\n"
                            "\tat com.android.server.pm.Foo\n:adbtool:end 1 255\n"
                            ":adbtool:begin 2\n";
    std::vector<PackageResult> r = ParseActionOutput(out, names);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].text, "Package com.a new state: disabled-user");
    EXPECT_EQ(r[0].status, 0);
    EXPECT_EQ(r[1].status, 255);
    EXPECT_NE(r[1].text.find("protected package: com.b"), std::string::npos);
    EXPECT_TRUE(r[2].begun);
    EXPECT_EQ(r[2].status, -1);
}

// The package service not answering (booting, system_server restarting)
// must never read as "every package deleted".
TEST(PackageRead, AFailingPackageServiceMakesTheReadIncompleteNeverAllDeleted) {
    std::string good = CurrentPhoneOutput(true);
    ASSERT_TRUE(ParseReadOutput(good).complete);
    auto replaceSection = [&](const std::string& name, const std::string& body) {
        std::string s = good;
        size_t at = s.find(":adbtool:section " + name + "\n");
        size_t end = s.find(":adbtool:section ", at + 1);
        return s.substr(0, at) + ":adbtool:section " + name + "\n" + body + s.substr(end);
    };
    struct Case {
        const char* what;
        std::string out;
    } cases[] = {
        {"Android 9+ without the service", replaceSection("installed", "cmd: Can't find service: package\n:adbtool:status 20\n")},
        {"Android 7-8 pm, status 0", replaceSection("installed", "Error: Could not access the Package Manager.  Is the system running?\n:adbtool:status 0\n")},
        {"an exception from a dying service", replaceSection("disabled", "java.lang.NullPointerException\n\tat x\n:adbtool:status 255\n")},
        {"an installed list that came back empty", replaceSection("installed", ":adbtool:status 0\n")},
        {"a section without its status", replaceSection("system", "package:com.android.systemui\n")},
    };
    for (const Case& c : cases) {
        PackageSnapshot s = ParseReadOutput(c.out);
        EXPECT_FALSE(s.complete) << c.what;
        EXPECT_TRUE(s.serviceFailed) << c.what;
        EXPECT_EQ(s.failure.find(kServiceNotAnswering), 0u) << c.what << ": " << s.failure;
    }
    // A line pm adds that is no error (a linker warning on an old build) passes.
    PackageSnapshot warned = ParseReadOutput(replaceSection(
        "disabled", "WARNING: linker: libdvm.so has text relocations\npackage:com.oem.off\n:adbtool:status 0\n"));
    EXPECT_TRUE(warned.complete) << warned.failure;

    // A read whose failure was seen reconciles nothing: a failed delete stays failed.
    PackageSnapshot failed = ParseReadOutput(cases[0].out);
    PackageResult r;
    r.name = "com.example.notes";
    r.begun = true;
    r.outcome = Outcome::Other;
    r.text = "Failure [DELETE_FAILED_INTERNAL_ERROR]";
    Reconcile(Action::Delete, failed, &r);
    EXPECT_EQ(r.outcome, Outcome::Other);
}

// Output arrives in pieces: a marker line cut short is not yet a marker.
TEST(ActionOutput, AMarkerCutInTheMiddleIsNeverTakenForOne) {
    std::vector<std::string> names;
    for (int i = 0; i < 13; i++) names.push_back("com.p" + std::to_string(i));
    std::string out;
    for (int i = 0; i < 13; i++)
        out += ":adbtool:begin " + std::to_string(i) + "\nPackage com.p" + std::to_string(i) +
               " new state: disabled-user\n:adbtool:end " + std::to_string(i) + " 0\n";
    size_t cut = out.find(":adbtool:end 12 0");
    for (size_t len : {cut + 13, cut + 14, cut + 15, cut + 16}) {   // ":adbtool:end 1", "... 12", "... 12 ", "... 12 0"
        std::vector<PackageResult> r = ParseActionOutput(out.substr(0, len), names);
        EXPECT_EQ(r[1].status, 0);
        EXPECT_EQ(r[12].status, -1) << "cut after " << out.substr(cut, len - cut);
        EXPECT_TRUE(r[12].begun);
    }
    EXPECT_EQ(ParseActionOutput(out, names)[12].status, 0);
    // Nor is a section line cut short the end of a read.
    std::string read = CurrentPhoneOutput(true);
    EXPECT_FALSE(ParseReadOutput(read.substr(0, read.size() - 1)).complete);
}

// Every length of list goes in pieces each within adb's limit, the first
// carrying the read before and the last the read back, whatever the sizes.
TEST(ActionScript, PiecesFitAndTheLastAlwaysReadsBack) {
    for (int api : {23, 34}) {
        size_t limit = ScriptLimit(api);
        for (size_t n = 1; n <= (api < 24 ? 140u : 400u); n++) {
            std::vector<std::string> names;
            for (size_t i = 0; i < n; i++) names.push_back("com.example.app" + std::to_string(i));
            std::vector<size_t> pieces = SplitIntoScripts(Action::Disable, 0, names, limit, ReadBefore::Yes);
            size_t first = 0;
            for (size_t p = 0; p < pieces.size(); p++) {
                ASSERT_GE(pieces[p], 1u);
                std::vector<std::string> piece(names.begin() + first, names.begin() + first + pieces[p]);
                std::string script = BuildActionScript(Action::Disable, 0, piece,
                                                       p + 1 == pieces.size() ? ReadBack::Yes : ReadBack::No,
                                                       p == 0 ? ReadBefore::Yes : ReadBefore::No);
                EXPECT_LE(script.size(), limit) << "API " << api << ", " << n << " names, piece " << p;
                first += pieces[p];
            }
            ASSERT_EQ(first, n) << "API " << api << ", " << n << " names";
        }
    }
}

// What each package was before the batch decides "done" from "so already".
TEST(ActionOutcome, APackageAlreadySoIsNotDoneByTheTool) {
    PackageSnapshot before = ParseReadOutput(CurrentPhoneOutput(true));
    std::vector<PackageResult> r(2);
    r[0].name = "com.oem.off";         // disabled before
    r[1].name = "com.example.notes";   // enabled before
    for (PackageResult& x : r) {
        x.begun = true;
        x.status = 0;
        x.outcome = Outcome::Done;
    }
    NoteBefore(before, &r);
    ASSERT_TRUE(r[0].beforeKnown);
    EXPECT_EQ(r[0].before, PackageState::Disabled);
    // After: both disabled.
    std::string out = CurrentPhoneOutput(true);
    size_t at = out.find(":adbtool:section disabled\n") + 26;
    out.insert(at, "package:com.example.notes\n");
    PackageSnapshot after = ParseReadOutput(out);
    ASSERT_TRUE(after.complete) << after.failure;
    for (PackageResult& x : r) Reconcile(Action::Disable, after, &x);
    EXPECT_EQ(r[0].outcome, Outcome::Already);
    EXPECT_EQ(r[1].outcome, Outcome::Done);
    EXPECT_EQ(OutcomeMessage(Action::Disable, r[0]), "本来就是禁用状态，没有改动");
    // Deleting what was deleted already: pm refuses it as not installed.
    PackageResult gone;
    gone.name = "com.oem.gone";
    gone.begun = true;
    gone.outcome = Outcome::NotInstalled;
    std::vector<PackageResult> one{gone};
    NoteBefore(before, &one);
    Reconcile(Action::Delete, before, &one[0]);
    EXPECT_EQ(one[0].outcome, Outcome::Already);
}

TEST(ActionOutcome, ReadBackDecidesAndEveryOutcomeHasItsWords) {
    PackageSnapshot after = ParseReadOutput(CurrentPhoneOutput(true));
    PackageResult cut;
    cut.name = "com.oem.off";
    cut.begun = true;
    cut.outcome = Outcome::Cancelled;
    Reconcile(Action::Disable, after, &cut);
    EXPECT_EQ(cut.outcome, Outcome::Done) << "the phone shows it disabled";

    PackageResult claimed;
    claimed.name = "com.example.notes";
    claimed.begun = true;
    claimed.outcome = Outcome::Done;
    claimed.text = "Package com.example.notes new state: disabled-user";
    Reconcile(Action::Disable, after, &claimed);
    EXPECT_EQ(claimed.outcome, Outcome::Other);
    EXPECT_EQ(OutcomeMessage(Action::Disable, claimed),
              "失败，手机上的状态没有改变（Package com.example.notes new state: disabled-user）");

    PackageResult refused;
    refused.name = "com.oem.off";
    refused.begun = true;
    refused.outcome = Outcome::Protected;
    Reconcile(Action::Disable, after, &refused);
    EXPECT_EQ(refused.outcome, Outcome::Protected);
    EXPECT_EQ(OutcomeMessage(Action::Disable, refused), "失败，系统不允许禁用受保护的应用");

    PackageResult r;
    r.outcome = Outcome::Done;
    EXPECT_EQ(OutcomeMessage(Action::Disable, r), "已禁用");
    EXPECT_EQ(OutcomeMessage(Action::Restore, r), "已恢复");
    r.outcome = Outcome::Other;
    r.text = "Failure [DELETE_FAILED_INTERNAL_ERROR]";
    EXPECT_EQ(OutcomeMessage(Action::Delete, r), "失败：Failure [DELETE_FAILED_INTERNAL_ERROR]");
    r.outcome = Outcome::BadName;
    r.name = "com.a;reboot";
    EXPECT_EQ(OutcomeMessage(Action::Delete, r),
              "失败，包名含有不允许的字符“;”，没有发送到手机。包名只能包含字母、数字、“.”和“_”。");
    for (int o = 0; o <= static_cast<int>(Outcome::SharedLibrary); o++) {
        Outcome back;
        ASSERT_TRUE(OutcomeFromWord(OutcomeWord(static_cast<Outcome>(o)), &back));
        EXPECT_EQ(static_cast<int>(back), o);
    }
}

TEST(PackageNames, OneCheckForTheStartupWindowAndTheScripts) {
    const char* where = nullptr;
    EXPECT_EQ(FindBadCharacter("com.a b", Blank::Separates, &where), 0u);
    EXPECT_EQ(FindBadCharacter("com.a b", Blank::Refused, &where), 1u);
    EXPECT_EQ(*where, ' ');
    EXPECT_EQ(FindBadCharacter("com.\xD6\xD0x", Blank::Refused, &where), 2u);
    EXPECT_TRUE(IsPackageName("com.android.systemui"));
    EXPECT_TRUE(IsPackageName("A_1"));
    EXPECT_FALSE(IsPackageName(std::string("com.a\0b", 7)));
    EXPECT_FALSE(IsPackageName(std::string(256, 'a')));
    EXPECT_EQ(RefusalText(std::string("a\tb")), "包名含有不允许的字符“0x09”，没有发送到手机。包名只能包含字母、数字、“.”和“_”。");
    EXPECT_EQ(RefusalText(std::string("ab\0", 3)), "包名含有不允许的字符“0x00”，没有发送到手机。包名只能包含字母、数字、“.”和“_”。");
}

TEST(ActionRecordText, TornAndDamagedLinesAreSkippedAndUndoFollowsTheLastDoneAction) {
    RecordEntry e{"2026-12-08T04:10:00Z", "SER1", "Pixel\t7", 0, "com.a", Action::Disable, Outcome::Done};
    std::string line = FormatEntry(e);
    EXPECT_EQ(line, "2026-12-08T04:10:00Z\tSER1\tPixel 7\t0\tcom.a\tdisable\tdone\t-\t-\t-\t-\t-\n");
    std::string bytes = line + "garbage without tabs\n" + "t\tSER1\tm\t0\tcom.b;x\tdisable\tdone\n" +
                        "t\tSER1\tm\t0\tcom.c\tdelete\tdone\n" + "t\tSER1\tm\t0\tcom.c\tdel";
    std::vector<RecordEntry> all = ParseRecord(bytes);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].model, "Pixel 7");
    EXPECT_EQ(all[1].package, "com.c");

    // Lines of the first builds: no state before, which undo takes as enabled.
    auto entry = [](const char* serial, int user, const char* pkg, Action a, Outcome o) {
        RecordEntry first{"t", serial, "m", user, pkg, a, o};
        first.firstBuild = true;
        return first;
    };
    std::vector<RecordEntry> history = {
        entry("S", 0, "com.a", Action::Disable, Outcome::Done),   entry("S", 0, "com.a", Action::Enable, Outcome::Done),
        entry("S", 0, "com.b", Action::Disable, Outcome::Done),   entry("S", 0, "com.b", Action::Delete, Outcome::Done),
        entry("S", 0, "com.c", Action::Delete, Outcome::Protected), entry("S", 10, "com.d", Action::Delete, Outcome::Done),
        entry("T", 0, "com.e", Action::Disable, Outcome::Done),   entry("S", 0, "com.f", Action::Delete, Outcome::Done),
    };
    PhoneId s{"", "", "S", ""};
    std::vector<UndoItem> undo = UndoSet(history, s, 0, nullptr);
    ASSERT_EQ(undo.size(), 2u);
    EXPECT_EQ(undo[0].package, "com.b");
    EXPECT_TRUE(undo[0].restore && undo[0].enable);
    EXPECT_EQ(undo[1].package, "com.f");
    EXPECT_EQ(LastActions(history, s, 0).at("com.b").action, Action::Delete);

    // com.f was restored some other way: the phone shows it, so nothing is left to bring back.
    PackageSnapshot now;
    now.complete = true;
    now.packages = {Package{"com.b", "", PackageState::Deleted, PackageKind::User},
                    Package{"com.f", "", PackageState::Enabled, PackageKind::User}};
    undo = UndoSet(history, s, 0, &now);
    ASSERT_EQ(undo.size(), 1u);
    EXPECT_EQ(undo[0].package, "com.b");
}

std::string ScratchFile(const char* name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + name;
    DeleteFileA(path.c_str());
    return path;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(h);
}

// Times are recorded in UTC and shown in the computer's local time.
RecordEntry Line(const char* serial, const char* phone, const char* pkg, Action a, Outcome o, const char* before,
                 const char* batch = "b") {
    RecordEntry e{"2026-12-08T04:10:00Z", serial, "m", 0, pkg, a, o};
    std::string text = FormatEntry(e);
    text.resize(text.size() - 11);   // "\t-\t-\t-\t-\t-\n"
    text += std::string("\t") + before + "\t" + phone + "\t" + batch + "\n";
    RecordEntry back;
    EXPECT_TRUE(ParseEntry(text.substr(0, text.size() - 1), &back)) << text;
    return back;
}

// Undo returns each package to what it was before the tool first changed
// it, and never further; a phone is known by its own identity.
TEST(ActionRecordText, UndoGoesBackToTheStateBeforeTheToolAndNoFurther) {
    PhoneId usb{"SN1/aid1", "SN1", "SN1", "m"};
    PhoneId wifi{"SN1/aid1", "SN1", "192.168.1.5:41234", "m"};
    PhoneId twin{"0123456789ABCDEF/aid2", "0123456789ABCDEF", "0123456789ABCDEF", "m"};
    std::vector<RecordEntry> h = {
        // Disabled long ago by the user, "disabled" again by a batch.
        Line("SN1", "SN1/aid1", "com.was.off", Action::Disable, Outcome::Already, "disabled", "b1"),
        // Disabled by the tool over USB, then deleted by it over Wi-Fi.
        Line("SN1", "SN1/aid1", "com.on", Action::Disable, Outcome::Done, "enabled", "b1"),
        Line("192.168.1.5:41234", "SN1/aid1", "com.on", Action::Delete, Outcome::Done, "disabled", "b2"),
        // Shipped disabled, enabled by the tool.
        Line("SN1", "SN1/aid1", "com.vendor.off", Action::Enable, Outcome::Done, "disabled", "b1"),
        // Disabled by the tool, later deleted some other way.
        Line("SN1", "SN1/aid1", "com.later", Action::Disable, Outcome::Done, "enabled", "b1"),
        // Reported done, settled by the read back of the same batch as unchanged.
        Line("SN1", "SN1/aid1", "com.settled", Action::Disable, Outcome::Done, "enabled", "b3"),
        Line("SN1", "SN1/aid1", "com.settled", Action::Disable, Outcome::Other, "enabled", "b3"),
        // Another phone with the same serial.
        Line("0123456789ABCDEF", "0123456789ABCDEF/aid2", "com.twin", Action::Disable, Outcome::Done, "enabled"),
        // The phone went away mid-command: what it shows decides.
        Line("SN1", "SN1/aid1", "com.cut", Action::Disable, Outcome::DeviceGone, "enabled", "b4"),
    };
    PackageSnapshot now;
    now.complete = true;
    for (auto [name, state] : std::vector<std::pair<const char*, PackageState>>{
             {"com.cut", PackageState::Disabled}, {"com.later", PackageState::Deleted},
             {"com.on", PackageState::Deleted}, {"com.settled", PackageState::Enabled},
             {"com.twin", PackageState::Disabled}, {"com.vendor.off", PackageState::Enabled},
             {"com.was.off", PackageState::Disabled}})
        now.packages.push_back(Package{name, "", state, PackageKind::System});
    for (const PhoneId& phone : {usb, wifi}) {
        std::vector<UndoItem> undo = UndoSet(h, phone, 0, &now);
        ASSERT_EQ(undo.size(), 3u);
        EXPECT_EQ(undo[0].package, "com.cut");
        EXPECT_TRUE(undo[0].enable && !undo[0].restore);
        EXPECT_EQ(undo[1].package, "com.on");
        EXPECT_TRUE(undo[1].restore && undo[1].enable);
        EXPECT_EQ(undo[2].package, "com.vendor.off");
        EXPECT_TRUE(undo[2].disable && !undo[2].enable);
        EXPECT_EQ(LastActions(h, phone, 0).at("com.settled").outcome, Outcome::Other);
        EXPECT_EQ(LastActions(h, phone, 0).count("com.twin"), 0u);
    }
    // The phone is back: its uncertain line is settled by what it shows.
    std::vector<RecordEntry> settled = SettleUncertain(h, usb, 0, now);
    ASSERT_EQ(settled.size(), 1u);
    EXPECT_EQ(settled[0].package, "com.cut");
    EXPECT_EQ(settled[0].outcome, Outcome::Done);
    EXPECT_EQ(settled[0].batch, "b4");
    std::vector<RecordEntry> withSettled = h;
    withSettled.push_back(settled[0]);
    EXPECT_EQ(LastActions(withSettled, usb, 0).at("com.cut").outcome, Outcome::Done);
    EXPECT_TRUE(SettleUncertain(withSettled, usb, 0, now).empty());

    std::vector<UndoItem> twinUndo = UndoSet(h, twin, 0, &now);
    ASSERT_EQ(twinUndo.size(), 1u);
    EXPECT_EQ(twinUndo[0].package, "com.twin");
    // A later phone on the same address is not the first one.
    PhoneId stranger{"SN9/aid9", "SN9", "192.168.1.5:41234", "m"};
    EXPECT_TRUE(UndoSet(h, stranger, 0, &now).empty());

    // The first builds' lines still read, matched by their serial.
    RecordEntry old;
    ASSERT_TRUE(ParseEntry("t\tSN1\tm\t0\tcom.old\tdisable\tdone", &old));
    EXPECT_FALSE(old.beforeKnown);
    EXPECT_TRUE(SamePhone(old, usb));
    EXPECT_TRUE(SamePhone(old, wifi)) << "a first builds' line by its USB serial, the phone now over Wi-Fi";
    RecordEntry oldWifi;
    ASSERT_TRUE(ParseEntry("t\t192.168.1.5:41234\tm\t0\tcom.old\tdisable\tdone", &oldWifi));
    EXPECT_FALSE(SamePhone(oldWifi, usb)) << "an address names no phone over USB";
    RecordEntry fresh;
    EXPECT_TRUE(ParseEntry("t\tSN1\tm\t0\tcom.new\tdisable\talready\tdisabled\tSN1/aid1\tb9\tenabled\tlater-field",
                           &fresh))
        << "fields added later are passed over";
    EXPECT_TRUE(fresh.afterKnown);
    EXPECT_EQ(fresh.outcome, Outcome::Already);
}

// A phone's identity when one part of it could not be read: an Android ID
// read empty early after boot keeps the history together by the serial
// number, unless that serial is one many boards share.
TEST(ActionRecordText, AnIdentityWithAPartMissingMatchesOnlyWhatTheRestProves) {
    EXPECT_TRUE(SameIdentity("SN1/aid1", "SN1/aid1"));
    EXPECT_FALSE(SameIdentity("SN1/aid1", "SN1/aid2")) << "a reset phone starts a new history";
    EXPECT_FALSE(SameIdentity("SN1/aid1", "SN2/aid1"));
    EXPECT_TRUE(SameIdentity("SN1/aid1", "SN1/")) << "Android ID not read yet";
    EXPECT_TRUE(SameIdentity("SN1/", "SN1/aid1"));
    EXPECT_TRUE(SameIdentity("/aid1", "SN1/aid1")) << "serial number not read";
    EXPECT_FALSE(SameIdentity("0123456789ABCDEF/aid1", "0123456789ABCDEF/")) << "a shared serial proves nothing";
    EXPECT_FALSE(SameIdentity("0123456789ABCDEF/", "0123456789ABCDEF/"));
    EXPECT_FALSE(SameIdentity("", "SN1/aid1"));

    // Lines written while the Android ID read failed stay in the phone's history.
    std::vector<RecordEntry> h = {
        Line("SN1", "SN1/", "com.early", Action::Disable, Outcome::Done, "enabled", "b1"),
        Line("SN1", "SN1/aid1", "com.later", Action::Disable, Outcome::Done, "enabled", "b2"),
        Line("0123456789ABCDEF", "0123456789ABCDEF/", "com.board", Action::Disable, Outcome::Done, "enabled", "b3"),
    };
    PhoneId phone{"SN1/aid1", "SN1", "SN1", "m"};
    EXPECT_EQ(LastActions(h, phone, 0).size(), 2u);
    PhoneId early{"SN1/", "SN1", "SN1", "m"};
    EXPECT_EQ(LastActions(h, early, 0).size(), 2u);
    PhoneId board{"0123456789ABCDEF/aid7", "0123456789ABCDEF", "0123456789ABCDEF", "m"};
    EXPECT_TRUE(LastActions(h, board, 0).empty()) << "which board wrote com.board cannot be told";
}

// Intent lines before a batch, settled by its outcome lines or, when the tool
// ended first, by the next complete read; the state seen after a refusal or
// an ignored command keeps undo off a change the user made later.
TEST(ActionRecordText, IntentsAreSettledByWhatThePhoneShowsAndUndoNeverGuesses) {
    RecordEntry intent{"t", "SN1", "m", 0, "com.i", Action::Disable, Outcome::Intent};
    intent.beforeKnown = true;
    intent.before = PackageState::Enabled;
    intent.phone = "SN1/aid1";
    intent.batch = "b5";
    std::string text = FormatEntry(intent);
    EXPECT_EQ(text, "t\tSN1\tm\t0\tcom.i\tdisable\tintent\tenabled\tSN1/aid1\tb5\t-\t-\n");
    RecordEntry back;
    ASSERT_TRUE(ParseEntry(text.substr(0, text.size() - 1), &back));
    EXPECT_EQ(back.outcome, Outcome::Intent);

    auto intentOf = [&](const char* pkg) {
        RecordEntry e = intent;
        e.package = pkg;
        return e;
    };
    std::vector<RecordEntry> h = {intentOf("com.i1"), intentOf("com.i2"), intentOf("com.i3"),
                                  Line("SN1", "SN1/aid1", "com.i1", Action::Disable, Outcome::Done, "enabled", "b5"),
                                  // Cut off by a cancel, the phone shown unchanged just after.
                                  Line("SN1", "SN1/aid1", "com.c1", Action::Disable, Outcome::Cancelled, "enabled", "b6"),
                                  Line("SN1", "SN1/aid1", "com.c2", Action::Disable, Outcome::Cancelled, "enabled", "b6")};
    PhoneId phone{"SN1/aid1", "SN1", "SN1", "m"};
    PackageSnapshot now;
    now.complete = true;
    for (auto [name, state] : std::vector<std::pair<const char*, PackageState>>{
             {"com.c1", PackageState::Disabled}, {"com.c2", PackageState::Enabled}, {"com.i1", PackageState::Disabled},
             {"com.i2", PackageState::Disabled}, {"com.i3", PackageState::Enabled}})
        now.packages.push_back(Package{name, "", state, PackageKind::User});
    // Before settling, undo already acts on what the phone shows.
    std::vector<UndoItem> undo = UndoSet(h, phone, 0, &now);
    ASSERT_EQ(undo.size(), 2u);
    EXPECT_EQ(undo[0].package, "com.i1");
    EXPECT_EQ(undo[1].package, "com.i2");

    std::vector<RecordEntry> settled = SettleUncertain(h, phone, 0, now);
    ASSERT_EQ(settled.size(), 3u);
    std::map<std::string, Outcome> got;
    for (const RecordEntry& e : settled) {
        got[e.package] = e.outcome;
        EXPECT_TRUE(e.afterKnown);
    }
    EXPECT_EQ(got, (std::map<std::string, Outcome>{
                       {"com.c1", Outcome::Done}, {"com.i2", Outcome::Done}, {"com.i3", Outcome::NotSent}}));
    h.insert(h.end(), settled.begin(), settled.end());
    EXPECT_TRUE(SettleUncertain(h, phone, 0, now).empty());
    undo = UndoSet(h, phone, 0, &now);
    ASSERT_EQ(undo.size(), 3u);
    EXPECT_EQ(undo[0].package, "com.c1");

    // "Other" with the state seen after: the phone did not change it, so a
    // later change is the user's and undo leaves it alone.
    RecordEntry ignored = Line("SN1", "SN1/aid1", "com.o", Action::Disable, Outcome::Other, "enabled", "b7");
    ignored.afterKnown = true;
    ignored.after = PackageState::Enabled;
    PackageSnapshot later = now;
    later.packages.push_back(Package{"com.o", "", PackageState::Disabled, PackageKind::User});
    std::sort(later.packages.begin(), later.packages.end(),
              [](const Package& a, const Package& b) { return a.name < b.name; });
    for (const UndoItem& u : UndoSet({ignored}, phone, 0, &later)) EXPECT_NE(u.package, "com.o");

    // A state before that could not be read is not guessed; the first
    // builds' lines, which never wrote one, still are.
    RecordEntry unread = Line("SN1", "SN1/aid1", "com.o", Action::Disable, Outcome::Done, "-", "b8");
    EXPECT_TRUE(UndoSet({unread}, phone, 0, &later).empty());
    RecordEntry first;
    ASSERT_TRUE(ParseEntry("t\tSN1\tm\t0\tcom.o\tdisable\tdone", &first));
    ASSERT_EQ(UndoSet({first}, phone, 0, &later).size(), 1u);
}

// Compaction keeps what undo reads and sets the rest aside: on random
// histories of several phones (intents, settlements, refusals, the first
// builds' lines, a package changed behind the tool's back), undo and the
// last action of every package are the same before and after.
TEST(ActionRecordText, CompactionKeepsEverythingUndoReads) {
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    const char* phones[] = {"SN1/aid1", "SN2/aid2", "0123456789ABCDEF/aid3"};
    const char* states[] = {"enabled", "disabled", "deleted", "-"};
    const Action actions[] = {Action::Disable, Action::Enable, Action::Delete, Action::Restore};
    const Outcome outcomes[] = {Outcome::Done, Outcome::Done, Outcome::Done, Outcome::Already, Outcome::Protected,
                                Outcome::Other, Outcome::DeviceGone, Outcome::Cancelled, Outcome::NotSent};
    for (int round = 0; round < 40; round++) {
        std::string bytes;
        for (int i = 0; i < 400; i++) {
            const char* phone = phones[next(3)];
            std::string serial = std::string(phone).substr(0, std::string(phone).find('/'));
            std::string pkg = "com.p" + std::to_string(next(12));
            Action a = actions[next(4)];
            std::string batch = "b" + std::to_string(i / 3);
            if (next(10) == 0) {   // a line of the first builds
                bytes += "t\t" + serial + "\tm\t0\t" + pkg + "\t" + ActionWord(a) + "\tdone\n";
                continue;
            }
            RecordEntry e{"t", serial, "m", static_cast<int>(next(2)) * 10, pkg, a, outcomes[next(9)]};
            e.phone = phone;
            e.batch = batch;
            const char* before = states[next(4)];
            for (PackageState st : {PackageState::Enabled, PackageState::Disabled, PackageState::Deleted})
                if (std::string(before) == StateWord(st)) e.beforeKnown = true, e.before = st;
            if (next(3) == 0) {   // its intent first
                RecordEntry intent = e;
                intent.outcome = Outcome::Intent;
                bytes += FormatEntry(intent);
            }
            if (e.outcome == Outcome::Other && next(2)) {
                e.afterKnown = true;
                e.after = e.before;
            }
            bytes += FormatEntry(e);
            if (next(20) == 0) bytes += "a damaged line\n";
        }
        std::string kept, archived;
        CompactRecord(bytes, 0, &kept, &archived);
        EXPECT_EQ(kept.size() + archived.size(), bytes.size());
        std::vector<RecordEntry> all = ParseRecord(bytes), compacted = ParseRecord(kept);
        for (const char* phone : phones) {
            std::string serial = std::string(phone).substr(0, std::string(phone).find('/'));
            PhoneId id{phone, serial, serial, "m"};
            PackageSnapshot now;
            now.complete = true;
            for (int k = 0; k < 12; k++) now.packages.push_back(Package{"com.p" + std::to_string(k), "", PackageState(next(3)), PackageKind::User});
            std::sort(now.packages.begin(), now.packages.end(), [](const Package& a, const Package& b) { return a.name < b.name; });
            for (int user : {0, 10}) {
                auto flags = [](const std::vector<UndoItem>& u) {
                    std::vector<std::string> out;
                    for (const UndoItem& i : u)
                        out.push_back(i.package + (i.restore ? "R" : "") + (i.enable ? "E" : "") + (i.disable ? "D" : "") +
                                      (i.remove ? "X" : "") + StateWord(i.target));
                    return out;
                };
                EXPECT_EQ(flags(UndoSet(all, id, user, &now)), flags(UndoSet(compacted, id, user, &now)))
                    << "round " << round << " " << phone << " user " << user;
                EXPECT_EQ(flags(UndoSet(all, id, user, nullptr)), flags(UndoSet(compacted, id, user, nullptr)));
            }
        }
        if (round == 0) {
            EXPECT_LT(kept.size(), bytes.size() / 2) << "most of a long history is set aside";
        }
    }
    // The newest lines stay whatever undo needs; a line torn at the end stays for the next append to end.
    std::string two = "t\tSN1\tm\t0\tcom.a\tdisable\tdone\tenabled\tSN1/aid1\tb1\t-\n"
                      "t\tSN1\tm\t0\tcom.a\tenable\tdone\tdisabled\tSN1/aid1\tb2\t-\n";
    std::string kept, archived;
    CompactRecord(two, 0, &kept, &archived);
    EXPECT_EQ(kept, "") << "back where the tool found it: nothing for undo";
    CompactRecord(two, 1, &kept, &archived);
    EXPECT_EQ(archived, two.substr(0, two.find('\n') + 1));
}

// One line of a message or a record field: control bytes never pass as half
// of a double-byte character, in GBK or UTF-8, and no character is cut.
TEST(TextLines, OneLineKeepsCharactersWholeAndControlBytesOut) {
    EXPECT_EQ(text::OneLine("\xD6\xD0\t7"), "\xD6\xD0 7");                   // 中, a tab, 7 in GBK
    EXPECT_EQ(text::OneLine("\xE4\xB8\xAD\t7"), "\xE4\xB8\xAD 7");           // in UTF-8
    EXPECT_EQ(text::OneLine("\xD6\t\n7"), "\xD6 7") << "a lead byte before a tab is no character";
    EXPECT_EQ(text::OneLine("\xE5\xBE\xAE\xE4\xBF\xA1\xE5\xBE\xAE", 7), "\xE5\xBE\xAE\xE4\xBF\xA1");   // 微信 of 微信微
    EXPECT_EQ(text::OneLine("\xCE\xA2\xD0\xC5\xCE\xA2", 5), "\xCE\xA2\xD0\xC5");                       // in GBK
    RecordEntry e{"t", "S\xD6\tX", "\xD6\xD0\t7", 0, "com.a", Action::Disable, Outcome::Done};
    std::vector<std::string> fields = text::SplitTabs(FormatEntry(e));
    EXPECT_EQ(fields.size(), 12u) << "a serial or model with a tab after a lead byte keeps its line";
}

TEST(ActionRecordText, RecordTimesAreShownInLocalTime) {
    for (const char* odd : {"", "2026-12-08 04:10:00", "2026-12-08T04:10:00Z later", "2026-13-40T04:10:00Z",
                            "2026-12-08T04:10:00+08", " 2026-12-08T04:10:00Z", "2026-12-08T4:10:00Z",
                            "2026-12-08T04:10:0xZ", "2026-12-08T04:10:00Z\n"})
        EXPECT_EQ(dev::LocalTimeText(odd), odd);

    for (const char* utc : {"2026-12-08T04:10:00Z", "2026-06-30T23:59:59Z", "2024-02-29T00:00:00Z"}) {
        std::string local = dev::LocalTimeText(utc);
        SYSTEMTIME l = {}, back = {};
        ASSERT_EQ(std::sscanf(local.c_str(), "%4hu-%2hu-%2hu %2hu:%2hu:%2hu", &l.wYear, &l.wMonth, &l.wDay, &l.wHour,
                              &l.wMinute, &l.wSecond),
                  6)
            << local;
        ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &l, &back));
        char again[32];
        std::snprintf(again, sizeof again, "%04u-%02u-%02uT%02u:%02u:%02uZ", back.wYear, back.wMonth, back.wDay,
                      back.wHour, back.wMinute, back.wSecond);
        EXPECT_STREQ(again, utc) << "shown as " << local;
    }
}

TEST(ActionRecordFile, AnAppendAfterATornLineStartsAFreshLine) {
    std::string path = ScratchFile("adbtool_record_torn\\actions.log");
    ActionRecord record(path);
    RecordEntry e{"t1", "S", "m", 0, "com.a", Action::Disable, Outcome::Done};
    ASSERT_TRUE(record.Append({e}));
    HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, "t2\tS\tm\t0\tcom.b\tdis", 19, &n, nullptr);   // a writer killed mid-line
    CloseHandle(h);
    EXPECT_EQ(record.ReadAll().size(), 1u);
    e.package = "com.c";
    ASSERT_TRUE(record.Append({e}));
    std::vector<RecordEntry> all = record.ReadAll();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1].package, "com.c");
}

TEST(PackageListFile, EveryEncodingPrefixAndHostileLine) {
    std::string path = ScratchFile("adbtool_list.txt");
    // UTF-8 with a byte-order mark and a Chinese comment; pm's own lines; a hostile one.
    WriteBytes(path, "\xEF\xBB\xBF# \xE7\xA6\x81\xE7\x94\xA8\xE5\x88\x97\xE8\xA1\xA8\r\n\r\ncom.a\r\n"
                     "package:com.b\r\npackage:/data/app/~~x==/com.c-y==/base.apk=com.c\r\n  com.a  \r\n"
                     "com.d;reboot\r\n\xE4\xB8\xAD\xE6\x96\x87\r\n");
    PackageList list;
    std::string error;
    ASSERT_TRUE(ReadPackageListFile(path, &list, &error)) << error;
    EXPECT_EQ(list.names, (std::vector<std::string>{"com.a", "com.b", "com.c"}));
    ASSERT_EQ(list.refused.size(), 2u);
    EXPECT_EQ(list.refused[0].number, 7);
    EXPECT_EQ(list.refused[0].text, "com.d;reboot");
    EXPECT_EQ(list.refused[1].text, "中文") << "shown in the program's code page";

    // GBK without a mark, LF only.
    list = ParsePackageList("# \xBD\xFB\xD3\xC3\ncom.e\n\xD6\xD0\xCE\xC4\n");
    EXPECT_EQ(list.names, (std::vector<std::string>{"com.e"}));
    ASSERT_EQ(list.refused.size(), 1u);
    EXPECT_EQ(list.refused[0].text, "中文");

    ASSERT_TRUE(WritePackageListFile(path, {"com.x", "bad name", "com.y"}, &error, "手机 Pixel 7"));
    ASSERT_TRUE(ReadPackageListFile(path, &list, &error));
    EXPECT_EQ(list.names, (std::vector<std::string>{"com.x", "com.y"}));
    EXPECT_TRUE(list.refused.empty());
    EXPECT_EQ(FormatPackageList({"com.x"}), "\xEF\xBB\xBF" "com.x\r\n");

    // What each app is called follows its name as a comment, and the file still imports.
    ASSERT_TRUE(WritePackageListFile(path, {"com.tencent.mm", "com.x"}, &error, "", {u8"微信 # 新版\n2", ""}));
    EXPECT_EQ(FormatPackageList({"com.tencent.mm", "com.x"}, "", {u8"微信 # 新版\n2"}),
              u8"\uFEFFcom.tencent.mm  # 微信 # 新版 2\r\ncom.x\r\n");
    ASSERT_TRUE(ReadPackageListFile(path, &list, &error));
    EXPECT_EQ(list.names, (std::vector<std::string>{"com.tencent.mm", "com.x"}));
    EXPECT_TRUE(list.refused.empty());
}

// UTF-16 as `adb shell pm list packages > list.txt` writes it in Windows
// PowerShell 5: a byte-order mark, then every line ended with CR LF.
std::string Utf16File(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

TEST(PackageListFile, PowerShellUtf16AndHugeOrBinaryFilesStayBounded) {
    std::string path = ScratchFile("adbtool_list16.txt");
    PackageList list;
    std::string error;
    const std::u16string text = u"package:com.a\r\npackage:com.b\r\n\u4E2D\u6587\r\n\r\npackage:com.a\r\ncom.c";
    for (bool bigEndian : {false, true}) {
        WriteBytes(path, Utf16File(text, bigEndian));
        ASSERT_TRUE(ReadPackageListFile(path, &list, &error)) << error;
        EXPECT_EQ(list.names, (std::vector<std::string>{"com.a", "com.b", "com.c"})) << bigEndian;
        ASSERT_EQ(list.refused.size(), 1u);
        EXPECT_EQ(list.refused[0].number, 3);
        EXPECT_EQ(list.refused[0].text, "中文");
        EXPECT_EQ(list.refusedCount, 1u);
    }
    // Cut after an odd byte: the half code unit is dropped, the lines before stay.
    std::string cut = Utf16File(u"com.a\r\ncom.bb", false);
    list = ParsePackageList(cut.substr(0, cut.size() - 1));
    EXPECT_EQ(list.names, (std::vector<std::string>{"com.a", "com.b"}));

    // 700,000 lines, about 14 MB: every other line no name, the names
    // repeating after 300,000. Only the first refused lines are kept.
    std::string big;
    const size_t lines = 700000;
    for (size_t i = 0; i < lines; i++)
        big += i % 2 ? "not a name " + std::to_string(i) + "\r\n" : "com.x.p" + std::to_string(i / 2 % 300000) + "\r\n";
    ASSERT_LT(big.size(), 16u * 1024 * 1024);
    WriteBytes(path, big);
    ASSERT_TRUE(ReadPackageListFile(path, &list, &error)) << error;
    ASSERT_EQ(list.names.size(), 300000u);
    EXPECT_EQ(list.names[0], "com.x.p0");
    EXPECT_EQ(list.names[299999], "com.x.p299999");
    EXPECT_EQ(list.refusedCount, lines / 2);
    ASSERT_EQ(list.refused.size(), kRefusedLinesKept);
    EXPECT_EQ(list.refused[0].number, 2);
    EXPECT_EQ(list.refused.back().number, static_cast<int>(2 * kRefusedLinesKept));
    EXPECT_EQ(list.refused[0].text, "not a name 1");

    // A picture renamed .txt (NUL bytes), and control bytes without a NUL.
    std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\x01\0", 20);
    for (int i = 0; i < 4096; i++) png += static_cast<char>((i * 7919) % 251);
    std::string controls;
    for (int i = 0; i < 4096; i++) controls += static_cast<char>(1 + i % 31);
    for (const std::string& bytes : {png, controls, std::string("com.a\r\n\0com.b\r\n", 14)}) {
        WriteBytes(path, bytes);
        list = PackageList();
        error.clear();
        EXPECT_FALSE(ReadPackageListFile(path, &list, &error));
        EXPECT_EQ(error.rfind("不是文本文件：" + path, 0), 0u) << error;
        EXPECT_TRUE(list.names.empty());
        EXPECT_TRUE(list.refused.empty());
    }
    // A stray control byte in a long text file is still text.
    list = ParsePackageList("com.a\r\n\x1B[0m\r\n" + std::string(200, '#') + "\r\ncom.b\r\n");
    EXPECT_FALSE(list.binary);
    EXPECT_EQ(list.names, (std::vector<std::string>{"com.a", "com.b"}));
}

// Serials with blanks, as cheap USB descriptors give them: adb pads the serial
// to 22 columns with -l ("%-22s %s") and writes a tab without it.
TEST(DeviceList, SerialsWithBlanksInBothForms) {
    const std::string out =
        "List of devices attached\n"
        "Cheap USB 1234         device usb:1-4 product:p model:M_1 device:d transport_id:7\n"
        "My Generic Phone Serial 0001 unauthorized usb:1-2 transport_id:8\n"
        "USB device offline 42  device transport_id:9\n"
        "ABCDEFGHIJKLMNOPQRSTUV device X offline transport_id:10\n"
        "Cheap USB 5            no permissions (user in plugdev group; are your udev rules wrong?); see "
        "[http://developer.android.com/tools/device.html] usb:1-3 transport_id:11\n"
        "Cheap USB 6\tdevice\n"
        "SER7                   sideload\n"
        "SER8                   brand-new-state transport_id:12\n"
        "\n";
    std::vector<Device> d = ParseDevices(out);
    ASSERT_EQ(d.size(), 8u);
    EXPECT_EQ(d[0].serial, "Cheap USB 1234");
    EXPECT_EQ(d[0].state, DeviceState::Ready);
    EXPECT_EQ(d[0].model, "M_1");
    EXPECT_EQ(d[0].transportId, 7);
    EXPECT_EQ(d[1].serial, "My Generic Phone Serial 0001");
    EXPECT_EQ(d[1].state, DeviceState::Unauthorized);
    EXPECT_EQ(d[1].usb, "1-2");
    EXPECT_EQ(d[2].serial, "USB device offline 42");
    EXPECT_EQ(d[2].state, DeviceState::Ready);
    EXPECT_EQ(d[3].serial, "ABCDEFGHIJKLMNOPQRSTUV device X") << "a state word inside a long serial";
    EXPECT_EQ(d[3].state, DeviceState::Offline);
    EXPECT_EQ(d[3].transportId, 10);
    EXPECT_EQ(d[4].serial, "Cheap USB 5");
    EXPECT_EQ(d[4].state, DeviceState::NoPermissions);
    EXPECT_EQ(d[4].stateText, "no permissions (user in plugdev group; are your udev rules wrong?); see "
                              "[http://developer.android.com/tools/device.html]");
    EXPECT_EQ(d[4].usb, "1-3");
    EXPECT_EQ(d[5].serial, "Cheap USB 6");
    EXPECT_EQ(d[5].state, DeviceState::Ready);
    EXPECT_EQ(d[6].serial, "SER7");
    EXPECT_EQ(d[6].stateText, "sideload");
    EXPECT_EQ(d[7].serial, "SER8") << "a state this parser does not know";
    EXPECT_EQ(d[7].stateText, "brand-new-state");
    EXPECT_EQ(d[7].state, DeviceState::Other);
}

} // namespace
