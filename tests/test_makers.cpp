// The makers' phones, each action and undo on each of their profiles: what
// the phone answered, what the tool made of it and recorded, and that
// nothing is reported done that the phone did not do, no refusal goes
// without its words, and undo brings back what it can. The device layer
// runs the actions; the window is driven where it asks the user something
// (改用删除, 改用禁用, 已被系统停用, the spaces).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "device/batch.h"
#include "device/record.h"
#include "support/files.h"
#include "support/managerdriver.h"

namespace {

using namespace dev;

std::string Scratch() {
    std::string dir = test::ExeDir() + "\\makers_scratch";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ProfileText(const std::string& name) { return test::ReadFileBytes(std::string(KEEL_PROFILE_DIR) + "\\" + name); }

// A profile in a scratch state file the simulated adb reads and changes.
class Phone {
public:
    // `quick`: without the profile's latencies, which this test does not measure.
    explicit Phone(const std::string& profile, bool quick = false) : state_(Scratch() + "\\state.txt") {
        std::string text = ProfileText(profile), kept;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find('\n', at);
            end = end == std::string::npos ? text.size() : end + 1;
            std::string line = text.substr(at, end - at);
            at = end;
            bool cost = line.find("-ms ") != std::string::npos && line.compare(0, 8, "package ") != 0;
            if (!quick || !cost) kept += line;
            if (line.compare(0, 7, "device ") == 0) serial_ = line.substr(7, line.find(' ', 7) - 7);
        }
        test::WriteFileText(state_, quick ? "connect-ms 0\ncommand-ms 0\nchange-ms 0\n" + kept : kept);
        SetEnvironmentVariableA("ADBSIM_STATE", state_.c_str());
        SetEnvironmentVariableA("ADBSIM_LOG", (Scratch() + "\\log.txt").c_str());
    }
    // The tools started later find their own state beside their adb.
    ~Phone() {
        SetEnvironmentVariableA("ADBSIM_STATE", nullptr);
        SetEnvironmentVariableA("ADBSIM_LOG", nullptr);
    }
    // The package's line as the phone keeps it.
    std::string Line(const std::string& package) const {
        std::string state = test::ReadFileBytes(state_);
        size_t at = state.find("package " + package + " ");
        return at == std::string::npos ? std::string() : state.substr(at, state.find('\n', at) - at);
    }

    const std::string& Serial() const { return serial_; }

private:
    std::string state_, serial_;
};

Adb TheAdb() { return Adb(test::ExeDir() + "\\..\\adb_1.0.40\\adb.exe"); }

// The line of what the phone printed that carries its answer.
std::string AnswerLine(const std::string& printed) {
    size_t start = 0;
    std::string first;
    while (start < printed.size()) {
        size_t end = printed.find('\n', start);
        std::string line = printed.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? printed.size() : end + 1;
        if (first.empty() && !line.empty()) first = line;
        if (line.find("Exception: ") != std::string::npos || line.find("exception: ") != std::string::npos ||
            line.find("Failure") != std::string::npos)
            return line;
    }
    return first;
}

// The rows of the closing table: profile, action, package, what the phone
// answered, what the tool said, the record's word.
std::vector<std::string>& TableRows() {
    static std::vector<std::string> rows;
    return rows;
}

struct Want {
    const char* package;
    Outcome outcome;
};

struct Step {
    Action action;
    std::vector<Want> wants;
};

struct MakerPhone {
    const char* profile;
    int user;
    std::vector<Step> steps;
};

const MakerPhone kPhones[] = {
    {"xiaomi-hyperos.txt", 0,
     {{Action::Disable,
       {{"com.miui.analytics", Outcome::DisableRefused},
        {"com.miui.core", Outcome::CorePackage},
        {"com.android.systemui", Outcome::Protected},
        {"com.miui.hybrid", Outcome::Already},
        {"com.eg.android.AlipayGphone", Outcome::Already},
        {"com.taobao.taobao", Outcome::Done}}},
      {Action::Enable, {{"com.miui.hybrid", Outcome::SystemDisabled}, {"com.eg.android.AlipayGphone", Outcome::Done}}},
      {Action::Delete,
       {{"com.miui.analytics", Outcome::Done},
        {"com.mi.globalbrowser", Outcome::MakerCode},
        {"com.xiaomi.finddevice", Outcome::DeviceAdmin},
        {"com.tencent.mm", Outcome::Done},
        {"com.ss.android.ugc.aweme", Outcome::Done},
        {"com.facebook.appmanager", Outcome::Already}}},
      {Action::Restore, {{"com.facebook.appmanager", Outcome::Done}}}}},
    {"oppo-coloros.txt", 0,
     {{Action::Delete,
       {{"com.heytap.market", Outcome::InternalError},
        {"com.oplus.cosa", Outcome::InternalError},
        {"com.coloros.gamespaceui", Outcome::Done},
        {"com.tencent.mm", Outcome::Done},
        {"com.smile.gifmaker", Outcome::Done}}},
      {Action::Disable, {{"com.heytap.market", Outcome::Done}, {"com.coloros.compass2", Outcome::SystemDisabled}}},
      {Action::Enable, {{"com.coloros.compass2", Outcome::SystemDisabled}}},
      {Action::Restore, {{"com.heytap.pictorial", Outcome::Done}}}}},
    {"vivo-originos.txt", 0,
     {{Action::Delete,
       {{"com.vivo.appstore", Outcome::Restricted},
        {"com.bbk.theme", Outcome::Restricted},
        {"com.vivo.space", Outcome::Done},
        {"com.taobao.taobao", Outcome::Done}}},
      {Action::Disable,
       {{"com.vivo.appstore", Outcome::NoRootPermission},
        {"com.vivo.game", Outcome::Done},
        {"com.iqoo.secure", Outcome::Protected}}}}},
    {"honor-magicos.txt", 0,
     {{Action::Delete,
       {{"com.hihonor.id", Outcome::NotAllowed},
        {"com.hihonor.findmydevice", Outcome::DeviceAdmin},
        {"com.hihonor.gamecenter", Outcome::Done}}},
      {Action::Disable, {{"com.hihonor.id", Outcome::Done}, {"com.hihonor.systemmanager", Outcome::Protected}}},
      {Action::Restore, {{"com.hihonor.magicvoice", Outcome::Done}}}}},
    {"android17-phone.txt", 0,
     {{Action::Delete,
       {{"com.google.android.youtube", Outcome::RootOnly},
        {"com.google.android.apps.tachyon", Outcome::RootOnly},
        {"com.spotify.music", Outcome::Done}}},
      {Action::Disable, {{"com.google.android.youtube", Outcome::Done}, {"com.android.systemui", Outcome::Protected}}},
      {Action::Enable, {{"com.android.egg", Outcome::SystemDisabled}}},
      {Action::Restore, {{"com.google.android.videos", Outcome::Done}}}}},
    {"dual-apps-work-profile.txt", 0,
     {{Action::Delete,
       {{"com.whatsapp", Outcome::Done},
        {"com.example.notes", Outcome::Done},
        {"com.miui.videoplayer", Outcome::Done},
        {"com.microsoft.teams", Outcome::Already}}},
      {Action::Disable, {{"com.tencent.mm", Outcome::Done}}}}},
    {"dual-apps-work-profile.txt", 10,
     {{Action::Disable, {{"com.google.android.gm", Outcome::Done}}},
      {Action::Delete, {{"com.microsoft.teams", Outcome::Done}, {"com.miui.player", Outcome::Done}}}}},
    {"samsung-secure-folder.txt", 0,
     {{Action::Delete,
       {{"com.samsung.android.themecenter", Outcome::InternalError}, {"com.samsung.android.app.tips", Outcome::Done}}},
      {Action::Disable, {{"com.samsung.android.themecenter", Outcome::Done}}}}},
    {"samsung-secure-folder.txt", 150,
     {{Action::Disable, {{"com.whatsapp", Outcome::UserDenied}}}}},
};

// Whether the phone kept the package's APK: a user app deleted with its last
// user loses it (its line says apk-gone).
bool ApkGone(const Phone& phone, const std::string& package) {
    return phone.Line(package).find(" apk-gone") != std::string::npos;
}

void Check(const MakerPhone& m, const BatchResult& b, const ActionRecord& record) {
    std::map<std::string, RecordEntry> last;
    if (b.after.complete) last = LastActions(record.ReadAll(), IdentifyPhone(b.serial, b.after), m.user);
    for (const PackageResult& r : b.results) {
        SCOPED_TRACE(std::string(ActionWord(b.action)) + " " + r.name + ": " + r.text);
        std::string message = OutcomeMessage(b.action, r);
        TableRows().push_back(std::string(m.profile) + (m.user ? " (user " + std::to_string(m.user) + ")" : "") + "\t" +
                              ActionVerb(b.action) + "\t" + r.name + "\t" + AnswerLine(r.text) + "\t" + message + "\t" +
                              OutcomeWord(r.outcome));
        // Every answer in the owner's words, never the phone's raw line.
        EXPECT_FALSE(message.empty());
        EXPECT_NE(message.compare(0, 9, "失败："), 0) << message;
        if (b.after.complete && r.outcome != Outcome::UserDenied) {
            const Package* was = FindPackage(b.before, r.name);
            const Package* now = FindPackage(b.after, r.name);
            ASSERT_TRUE(was && now);
            // Done is what the phone shows; anything else left it as it was.
            if (r.outcome == Outcome::Done) EXPECT_TRUE(ShowsDone(b.action, now->state) && was->state != now->state);
            else EXPECT_EQ(was->state, now->state) << message;
            ASSERT_TRUE(last.count(r.name)) << "recorded";
            EXPECT_EQ(last.at(r.name).outcome, r.outcome) << "the record's word is the outcome's";
        }
    }
}

TEST(MakersPhones, EachActionEachAnswerItsWordsTheRecordAndUndo) {
    Adb adb = TheAdb();
    for (const MakerPhone& m : kPhones) {
        SCOPED_TRACE(std::string(m.profile) + " user " + std::to_string(m.user));
        Phone phone(m.profile, true);
        ActionRecord record(Scratch() + "\\record.log");
        DeleteFileA(record.Path().c_str());
        BatchOptions o;
        o.user = m.user;
        o.record = &record;
        const std::string serial = phone.Serial();
        PackageSnapshot first;   // the phone before the tool, as its first batch read it
        BatchResult b;
        for (const Step& step : m.steps) {
            std::vector<std::string> names;
            for (const Want& w : step.wants) names.push_back(w.package);
            b = RunBatch(adb, serial, step.action, names, o);
            if (!first.complete) first = b.before;
            o.knownApi = b.before.api;
            ASSERT_EQ(b.results.size(), names.size());
            for (size_t i = 0; i < names.size(); i++)
                EXPECT_EQ(OutcomeWord(b.results[i].outcome), std::string(OutcomeWord(step.wants[i].outcome)))
                    << ActionWord(step.action) << " " << names[i] << ": " << b.results[i].text;
            Check(m, b, record);
        }
        if (!first.complete) {
            // A user the shell may not reach: its read says so, and every package alike.
            EXPECT_TRUE(b.before.userDenied);
            EXPECT_EQ(b.before.failure, kUserDenied);
            continue;
        }

        // Undo: each package back to its state before the tool, where the
        // phone allows it: a user app whose APK went with it comes back from
        // its copy unless installs from the computer are off, and Android 17
        // deletes no system app again; both are said, never reported done.
        PhoneId id = IdentifyPhone(serial, b.after);
        std::vector<UndoItem> undo = UndoSet(record.ReadAll(), id, m.user, &b.after);
        std::map<std::string, bool> restored;
        std::vector<std::string> stays;   // what undo cannot bring back today
        for (Action a : {Action::Restore, Action::Enable, Action::Disable, Action::Delete}) {
            std::vector<std::string> names;
            for (const UndoItem& u : undo)
                if ((a == Action::Restore && u.restore) || (a == Action::Enable && u.enable) ||
                    (a == Action::Disable && u.disable) || (a == Action::Delete && u.remove))
                    names.push_back(u.package);
            if (names.empty()) continue;
            b = RunBatch(adb, serial, a, names, o);
            for (const PackageResult& r : b.results) {
                SCOPED_TRACE(std::string("undo: ") + ActionWord(a) + " " + r.name + ": " + r.text);
                const Package* p = FindPackage(first, r.name);
                bool system = p && p->kind == PackageKind::System;
                Outcome want = Outcome::Done;
                // A user app whose APK went with it comes back from the copy
                // made before the delete, unless the phone refuses installs
                // from the computer (USB安装 off): then it stays, and says why.
                if (ApkGone(phone, r.name)) want = a == Action::Restore ? Outcome::InstallRefused : Outcome::NotInstalled;
                else if (a == Action::Delete && system && first.api >= kRootOnlyDeleteApi) want = Outcome::RootOnly;
                else if (restored[r.name]) want = Outcome::Already;   // install-existing left it enabled
                EXPECT_EQ(OutcomeWord(r.outcome), std::string(OutcomeWord(want)));
                if (a == Action::Restore && r.outcome == Outcome::Done) restored[r.name] = true;
                if (want == Outcome::InstallRefused || want == Outcome::RootOnly) stays.push_back(r.name);
            }
            Check(m, b, record);
        }
        const PackageSnapshot& end = b.after;   // the last batch read the phone back
        ASSERT_TRUE(end.complete) << b.error;
        auto stayed = [&](const std::string& name) { return std::find(stays.begin(), stays.end(), name) != stays.end(); };
        for (const Package& p : first.packages) {
            if (stayed(p.name)) continue;
            const Package* now = FindPackage(end, p.name);
            ASSERT_NE(now, nullptr) << p.name;
            EXPECT_EQ(StateText(now->state), std::string(StateText(p.state))) << p.name << " back as it was";
        }
        for (const UndoItem& u : UndoSet(record.ReadAll(), id, m.user, &end))
            EXPECT_TRUE(stayed(u.package)) << u.package << " is still to undo";
    }
    // The closing table, when asked for (KEEL_MAKERS_TABLE names its file).
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KEEL_MAKERS_TABLE", path, sizeof path);
    if (n > 0 && n < sizeof path) {
        std::string text;
        for (const std::string& row : TableRows()) text += row + "\n";
        test::WriteFileText(path, text);
    }
}

// --- the window ---------------------------------------------------------------

using test::ManagerUnderTest;
using test::ToolUnderTest;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class MakersWindow : public ::testing::Test {
protected:
    void SetUp() override { DeleteFileA(ActionRecord::DefaultPath().c_str()); }
};

::testing::AssertionResult Opened(ToolUnderTest& tool, ManagerUnderTest& m) {
    if (!tool.Start()) return ::testing::AssertionFailure() << "the tool did not start";
    if (!m.Open()) return ::testing::AssertionFailure() << "the manager did not open";
    if (!tool.WaitFor([&] { return m.RowCount() > 0; })) return ::testing::AssertionFailure() << m.Status();
    if (!m.WaitIdle()) return ::testing::AssertionFailure() << "still busy: " << m.Status();
    return ::testing::AssertionSuccess();
}

std::string Row(const ManagerUnderTest& m, const char* package, int column) {
    int at = m.PositionOf(package);
    return at < 0 ? std::string("<not shown>") : m.Cell(at, column);
}

// HyperOS will not disable its system apps but deletes them: asked once for
// all of them, 改用删除 deletes them, undo brings them back. An app the system
// disabled itself is said so, shown so, and not asked again.
TEST_F(MakersWindow, AnXiaomiPhoneOffersDeleteOnceAndLeavesWhatTheSystemDisabled) {
    ToolUnderTest tool("makers-xiaomi", ProfileText("xiaomi-hyperos.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(Opened(tool, m));
    HWND users = m.Combo(1);
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(users, CB_GETCOUNT, 0, 0) == 3; }));
    std::vector<std::string> labels;
    for (int i = 0; i < 3; i++) {
        wchar_t item[64] = L"";
        SendMessageW(users, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        char gbk[128] = "";
        WideCharToMultiByte(936, 0, item, -1, gbk, sizeof gbk, nullptr, nullptr);
        labels.push_back(gbk);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"机主", "手机分身", "应用双开"}));

    ASSERT_TRUE(m.Select({"com.miui.analytics", "com.miui.msa.global"}));
    ASSERT_TRUE(m.Click("禁用"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box)) << m.Log();
    EXPECT_TRUE(Contains(box, "手机不允许禁用下列系统应用，但允许删除")) << box;
    EXPECT_TRUE(Contains(box, "com.miui.analytics") && Contains(box, "com.miui.msa.global")) << box;
    EXPECT_TRUE(Contains(m.Log(), "com.miui.analytics：失败，这台手机不允许禁用系统应用；可以改用删除")) << m.Log();
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.miui.msa.global：已删除"); })) << m.Log();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_FALSE(m.BoxShown()) << "asked once";
    EXPECT_TRUE(Contains(test::PackageLine(tool, "com.miui.analytics"), " uninstalled "));
    EXPECT_EQ(Row(m, "com.miui.analytics", 2), "已删除");

    // The region's app the system switched off: said, shown, not sent again.
    ASSERT_TRUE(m.Select({"com.miui.hybrid"}));
    ASSERT_TRUE(m.Click("启用"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(m.Log(), "com.miui.hybrid：已被系统停用")) << m.Log();
    EXPECT_EQ(Row(m, "com.miui.hybrid", 2), "已被系统停用");
    size_t runs = tool.AdbLog().size();
    ASSERT_TRUE(m.Select({"com.miui.hybrid"}));
    ASSERT_TRUE(m.Click("启用"));
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "没有发送"); })) << m.Log();
    EXPECT_EQ(tool.AdbLog().size(), runs) << "nothing sent";

    // Undo: the deleted system apps come back; the system's own state stays.
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.miui.analytics") && !Contains(box, "com.miui.hybrid")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(test::PackageLine(tool, "com.miui.msa.global"), " enabled "); }));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(test::PackageLine(tool, "com.miui.analytics"), " enabled "));
    EXPECT_TRUE(Contains(test::PackageLine(tool, "com.miui.hybrid"), " disabled "));
}

// Android 17 deletes no system app for one user: the confirmation says so
// before anything is sent, and disables them instead when asked to.
TEST_F(MakersWindow, OnAndroid17TheConfirmationSaysWhatWillNotWorkAndDisablesInstead) {
    ToolUnderTest tool("makers-17", ProfileText("android17-phone.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(Opened(tool, m));
    size_t runs = tool.AdbLog().size();
    ASSERT_TRUE(m.Select({"com.google.android.youtube", "com.whatsapp"}));
    ASSERT_TRUE(m.Click("删除"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "Android 17")) << box;
    EXPECT_TRUE(Contains(box, "com.google.android.youtube") && !Contains(box, "com.whatsapp")) << box;
    EXPECT_EQ(tool.AdbLog().size(), runs) << "asked before anything is sent";
    m.AnswerBox(IDYES);
    // The user app's deletion is confirmed as before.
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.whatsapp")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.google.android.youtube："); })) << m.Log();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(m.Log(), "com.whatsapp：已删除")) << m.Log();
    EXPECT_TRUE(Contains(m.Log(), "com.google.android.youtube：已禁用")) << m.Log();
    EXPECT_TRUE(Contains(test::PackageLine(tool, "com.google.android.youtube"), " disabled-user "));
    EXPECT_EQ(Row(m, "com.google.android.youtube", 2), "已禁用");
}

// Samsung's Secure Folder is named so, and choosing it says adb may not
// reach it instead of failing every package.
TEST_F(MakersWindow, ASecureFolderIsNamedAndSaysItCannotBeReached) {
    ToolUnderTest tool("makers-samsung", ProfileText("samsung-secure-folder.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(Opened(tool, m));
    HWND users = m.Combo(1);
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(users, CB_GETCOUNT, 0, 0) == 3; }));
    m.ChooseComboItem(users, 2);
    ASSERT_TRUE(tool.WaitFor([&] { return m.ComboText(users) == "安全文件夹"; }));
    ASSERT_TRUE(m.WaitIdle());
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "手机不允许 adb 访问这个用户"); })) << m.Status();
    EXPECT_TRUE(Contains(m.Status(), "安全文件夹：")) << m.Status();
    EXPECT_EQ(m.RowCount(), 0);
    EXPECT_TRUE(Contains(m.Log(), "安全文件夹：手机不允许 adb 访问这个用户")) << m.Log();
}

} // namespace

namespace {

using test::ManagerUnderTest;
using test::ToolUnderTest;

std::string SwitchUsbInstallOn(const ToolUnderTest& tool) {
    std::string path = tool.Folder() + "\\adb_1.0.40\\adb_state.txt";
    std::string state = test::ReadFileBytes(path);
    size_t at = state.find("usb-install off");
    if (at != std::string::npos) state.replace(at, 15, "usb-install on");
    test::WriteFileText(path, state);
    return state;
}

// Waits for the copies of user apps. An app its owner installed that no
// other user has loses its APK when deleted for the owner; the tool copies
// the APKs (base and splits) before the delete, and undo reinstalls them
// when install-existing finds none: across a restart of the tool, and on a
// phone that refuses installs from the computer once its owner has switched
// USB安装 on, after being told to.
TEST_F(MakersWindow, ADeletedUserAppWithASplitComesBackAfterARestart) {
    std::string state;
    {
        ToolUnderTest tool("makers-copies-1", ProfileText("xiaomi-hyperos.txt"));
        ManagerUnderTest m(tool);
        ASSERT_TRUE(Opened(tool, m));
        ASSERT_TRUE(m.Select({"com.ss.android.ugc.aweme"}));
        ASSERT_TRUE(m.Click("删除"));
        std::string box;
        ASSERT_TRUE(m.WaitBox(&box));
        EXPECT_FALSE(Contains(box, "可能无法再恢复")) << "a copy is kept: " << box;
        m.AnswerBox(IDYES);
        ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.ss.android.ugc.aweme："); })) << m.Log();
        ASSERT_TRUE(m.WaitIdle());
        EXPECT_TRUE(Contains(test::PackageLine(tool, "com.ss.android.ugc.aweme"), " apk-gone"));
        state = test::PhoneState(tool);
        tool.Close();
        EXPECT_EQ(tool.WaitExit(), 0u);
    }
    ToolUnderTest tool("makers-copies-2", state);
    ManagerUnderTest m(tool);
    ASSERT_TRUE(Opened(tool, m));
    std::string box;
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.ss.android.ugc.aweme")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(m.WaitIdle());
    // USB安装 is off: the owner is told what to switch on; nothing is reported done.
    EXPECT_TRUE(Contains(m.Log(), "USB安装")) << m.Log();
    EXPECT_FALSE(Contains(m.Log(), "com.ss.android.ugc.aweme：已恢复")) << m.Log();
    EXPECT_TRUE(Contains(test::PackageLine(tool, "com.ss.android.ugc.aweme"), " apk-gone"));
    SwitchUsbInstallOn(tool);
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    m.AnswerBox(IDYES);
    ASSERT_TRUE(m.WaitIdle());
    std::string line = test::PackageLine(tool, "com.ss.android.ugc.aweme");
    EXPECT_TRUE(Contains(line, " enabled ") && !Contains(line, "apk-gone") && !Contains(line, "data-lost")) << line;
    EXPECT_FALSE(Contains(line, "u999=")) << "back for the owner alone: " << line;
    EXPECT_EQ(Row(m, "com.ss.android.ugc.aweme", 2), "已启用");
}

} // namespace
