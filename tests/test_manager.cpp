// The package manager window of the real program, driven from outside
// against simulated phones: devices and their hints, every action with the
// states read back from the phone, the risk confirmation, restore on an old
// phone, the record and undo.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <string>
#include <vector>
#include "device/adb.h"
#include "appnames/namecache.h"
#include "connect/known.h"
#include "device/record.h"
#include "device/servers.h"
#include "support/child.h"
#include "support/managerdriver.h"
#include "support/testapks.h"

namespace {

using test::ManagerUnderTest;
using test::PackageLine;
using test::ToolUnderTest;

std::string Profile(const char* name) {
    return test::ReadFileBytes(test::ExeDir() + "\\..\\..\\tests\\profiles\\" + name);
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// Every test starts with an empty record of actions, no names cached and
// no phone paired over the network.
class Manager : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileA(dev::ActionRecord::DefaultPath().c_str());
        DeleteFileA(appnames::NameCache::DefaultPath().c_str());
        DeleteFileA(conn::KnownPhones::DefaultPath().c_str());
    }
};

// Starts the tool, opens the manager and waits until it shows `rows` rows
// and its first read is over.
::testing::AssertionResult OpenShowing(ToolUnderTest& tool, ManagerUnderTest& m, int rows) {
    if (!tool.Start()) return ::testing::AssertionFailure() << "the tool did not start";
    if (!m.Open()) return ::testing::AssertionFailure() << "the manager did not open";
    if (!tool.WaitFor([&] { return m.RowCount() == rows; }))
        return ::testing::AssertionFailure() << m.RowCount() << " rows, not " << rows << "; " << m.Status();
    if (!m.WaitIdle()) return ::testing::AssertionFailure() << "still busy: " << m.Status();
    return ::testing::AssertionSuccess();
}

// Imports the list file at `path` through 导入列表... and waits until the
// count says `checked` packages are checked.
::testing::AssertionResult Imported(ToolUnderTest& tool, ManagerUnderTest& m, const std::string& path, int checked) {
    if (!m.Click("导入列表...")) return ::testing::AssertionFailure() << "导入列表... is missing or disabled";
    if (!m.AnswerFileDialog(path)) return ::testing::AssertionFailure() << "no file dialog";
    std::string want = "已勾选 " + std::to_string(checked) + " 个";
    if (!tool.WaitFor([&] { return Contains(m.Count(), want); }))
        return ::testing::AssertionFailure() << m.Count() << "\n" << m.Log();
    return ::testing::AssertionSuccess();
}

// Exports the list through 导出列表... into `path`: the file's bytes, empty
// when none came.
std::string ExportedList(ToolUnderTest& tool, ManagerUnderTest& m, const std::string& path) {
    DeleteFileA(path.c_str());
    if (!m.Click("导出列表...") || !m.AnswerFileDialog(path)) return std::string();
    tool.WaitFor([&] { return !test::ReadFileBytes(path).empty(); });
    return test::ReadFileBytes(path);
}

std::string Title(HWND h) {
    char text[256] = "";
    GetWindowTextA(h, text, sizeof text);
    return text;
}

TEST_F(Manager, TwoPhonesOneUnauthorizedTheHintTheChoiceAndTheStartUpWindowFollowing) {
    std::string profile = Profile("two-phones.txt");
    ASSERT_FALSE(profile.empty());
    ToolUnderTest tool("mgr-two", profile);
    ASSERT_TRUE(tool.Start());
    EXPECT_EQ(Title(tool.Window()), "");
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() > 0; })) << m.Status();
    ASSERT_TRUE(m.WaitIdle());

    // The only ready phone is chosen and read; the other says what to do.
    ASSERT_EQ(SendMessageA(m.Combo(0), CB_GETCOUNT, 0, 0), 4) << "two phones, 无线连接… and 添加远程 adb 服务器…";
    EXPECT_EQ(SendMessageA(m.Combo(0), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(m.ComboText(m.Combo(0)), "Pixel_7 2A191FDH300ABC");
    EXPECT_EQ(m.RowCount(), 13);
    EXPECT_EQ(m.Count(), "共 13 个，显示 13 个，已勾选 0 个");
    EXPECT_EQ(Title(tool.Window()), "Pixel_7 2A191FDH300ABC");

    // Choosing the unauthorized phone empties the list and shows the hint.
    m.ChooseComboItem(m.Combo(0), 1);
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 0; }));
    EXPECT_EQ(m.ComboText(m.Combo(0)), "R5CT41ABCDE（未授权）");
    EXPECT_EQ(m.Status(), "未授权：请在手机上点“允许 USB 调试”（没有弹出时：在开发者选项里点“撤销 USB 调试授权”，再重新插线）") << "the whole hint";
    EXPECT_EQ(Title(tool.Window()), "Pixel_7 2A191FDH300ABC") << "still the ready phone";
    // Back to the ready one: read again.
    m.ChooseComboItem(m.Combo(0), 0);
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 13; }));
    ASSERT_TRUE(m.WaitIdle());

    // Filters: the state and kind choices and the text narrow the same list.
    m.ChooseComboItem(m.Combo(2), 2);   // 已禁用
    EXPECT_EQ(m.RowCount(), 1);
    EXPECT_EQ(m.Cell(0, 1), "com.google.android.apps.tachyon");
    EXPECT_EQ(m.Cell(0, 2), "已禁用");
    m.ChooseComboItem(m.Combo(2), 0);
    m.ChooseComboItem(m.Combo(3), 2);   // 用户
    EXPECT_EQ(m.RowCount(), 2);
    m.ChooseComboItem(m.Combo(3), 0);
    SetWindowTextA(m.Filter(), "GOOGLE.ANDROID.APPS");
    EXPECT_EQ(m.RowCount(), 4);
    EXPECT_EQ(m.Count(), "共 13 个，显示 4 个，已勾选 0 个");
    SetWindowTextA(m.Filter(), "");

    // Risky rows name their risk.
    int systemui = m.PositionOf("com.android.systemui");
    ASSERT_GE(systemui, 0);
    EXPECT_TRUE(Contains(m.Cell(systemui, 4), "系统界面")) << m.Cell(systemui, 4);
    EXPECT_EQ(m.Cell(systemui, 3), "系统");
}

// `adbtool.exe --manager --device SERIAL`, as a shortcut starts it: the
// window opens by itself over the start-up window and in front, with that
// phone chosen among several; the start-up window's buttons act on it too.
TEST_F(Manager, OpenedFromTheCommandLineWithThePhoneChosen) {
    ToolUnderTest tool("mgr-start", Profile("phone-shelf.txt"));
    ASSERT_TRUE(tool.Start(20000, "--manager --device 7HX0219C00"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Find());
    EXPECT_EQ(GetWindow(m.Window(), GW_OWNER), tool.Window());
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 5; })) << m.Status();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(m.ComboText(m.Combo(0)), "IN2013 7HX0219C00");
    EXPECT_TRUE(tool.WaitFor([&] { return GetForegroundWindow() == m.Window(); }));
    EXPECT_EQ(Title(tool.Window()), "IN2013 7HX0219C00");
    ASSERT_TRUE(tool.ClickAndWait(test::captions::kListDisabled));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "com.google.android.youtube")) << tool.Text(tool.Log());

    // Without arguments the start-up window opens alone, as it always did.
    ToolUnderTest plain("mgr-plain", Profile("phone-shelf.txt"));
    ASSERT_TRUE(plain.Start());
    ASSERT_TRUE(plain.ClickAndWait(test::captions::kListDevices));
    EXPECT_EQ(test::FindProcessWindow(plain.ProcessId(), "RVWindow", "应用管理"), nullptr);
    EXPECT_EQ(Title(plain.Window()), "");
}

// Waits for the copies of user apps (a phone deletes the APK of an app its
// owner installed with its last user, so 恢复 and 全部撤销 bring it back only
// by installing the copies made before the delete): until then disabled.
TEST_F(Manager, EveryActionReadsTheStateBackRiskConfirmationAndUndo) {
    ToolUnderTest tool("mgr-actions", Profile("two-phones.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 13));

    // 禁用 with the selected rows (none checked).
    ASSERT_TRUE(m.Select({"com.google.android.youtube", "com.google.android.gm"}));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(m.Log(), "com.google.android.gm：已禁用\ncom.google.android.youtube：已禁用\n")) << m.Log();
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.youtube"), " disabled-user "));
    EXPECT_EQ(m.Cell(m.PositionOf("com.google.android.youtube"), 2), "已禁用");
    EXPECT_TRUE(Contains(m.Cell(m.PositionOf("com.google.android.youtube"), 6), "禁用"));

    // A risky package: the box names it; No leaves the phone alone.
    ASSERT_TRUE(m.Select({"com.android.systemui"}));
    std::string before = test::PhoneState(tool);
    ASSERT_TRUE(m.Click("禁用"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.android.systemui：系统界面")) << box;
    m.AnswerBox(IDNO);
    EXPECT_TRUE(m.WaitIdle());
    EXPECT_EQ(test::PhoneState(tool), before);
    // Yes: the phone refuses a protected package, and the log says so.
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(m.WaitBox(&box));
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.android.systemui："); }));
    EXPECT_TRUE(Contains(m.Log(), "com.android.systemui：失败，系统不允许禁用受保护的应用")) << m.Log();
    ASSERT_TRUE(m.WaitIdle());

    // 删除 of a user app warns first; then the row shows what the phone reports.
    ASSERT_TRUE(m.Select({"com.spotify.music"}));
    ASSERT_TRUE(m.Click("删除"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "复制到这台电脑")) << "a copy is kept, and said: " << box;
    EXPECT_TRUE(Contains(box, "com.spotify.music")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.spotify.music："); }));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(PackageLine(tool, "com.spotify.music"), " uninstalled ")) << PackageLine(tool, "com.spotify.music");
    EXPECT_EQ(m.Cell(m.PositionOf("com.spotify.music"), 2), "已删除");

    // 恢复 and 启用.
    ASSERT_TRUE(m.Select({"com.spotify.music"}));
    ASSERT_TRUE(m.Click("恢复"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(m.Cell(m.PositionOf("com.spotify.music"), 2), "已启用");
    ASSERT_TRUE(m.Select({"com.google.android.gm"}));
    ASSERT_TRUE(m.Click("启用"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.gm"), " enabled ")) << PackageLine(tool, "com.google.android.gm");

    // The record, newest first.
    ASSERT_TRUE(m.Click("操作记录..."));
    ASSERT_TRUE(m.WaitBox(&box));
    m.AnswerBox(IDOK);
    size_t enable = box.find("com.google.android.gm  启用"), disable = box.find("com.google.android.gm  禁用");
    EXPECT_NE(enable, std::string::npos) << box;
    EXPECT_LT(enable, disable) << box;

    // 全部撤销: what is still disabled or deleted by this tool comes back.
    ASSERT_TRUE(m.Select({"com.tencent.mm"}));
    ASSERT_TRUE(m.Click("删除"));
    ASSERT_TRUE(m.WaitBox(&box));
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.tencent.mm："); }));
    ASSERT_TRUE(m.WaitIdle());
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.google.android.youtube：启用")) << box;
    EXPECT_TRUE(Contains(box, "com.tencent.mm：恢复")) << box;
    EXPECT_FALSE(Contains(box, "com.google.android.gm")) << "enabled again already: " << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(PackageLine(tool, "com.tencent.mm"), " enabled "); }));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.youtube"), " enabled "));
    EXPECT_EQ(m.Cell(m.PositionOf("com.tencent.mm"), 2), "已启用");
}

// The keyboard alone: Tab walks the window top to bottom, Enter leaves the
// filter for the list, Space checks, Ctrl+A selects what is shown, F5 reads
// again, Escape closes the window and leaves the program running.
TEST_F(Manager, KeysWalkFilterCheckSelectRefreshAndClose) {
    ToolUnderTest tool("mgr-keys", Profile("two-phones.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 13));
    ASSERT_TRUE(tool.WaitFor([&] { return GetForegroundWindow() == m.Window(); }));

    // A combo box that edits gives the focus to its edit field.
    auto focused = [&] {
        HWND f = m.Focus();
        char cls[32] = "";
        GetClassNameA(GetParent(f), cls, sizeof cls);
        return lstrcmpiA(cls, "ComboBox") == 0 ? GetParent(f) : f;
    };
    std::vector<HWND> order = {m.Combo(0), m.Combo(1), m.Button("刷新"), m.Button("同时用于所有已连接设备"),
                               m.Filter(), m.Combo(2), m.Combo(3), m.List(), m.Button("禁用"), m.Button("启用"),
                               m.Button("删除"), m.Button("恢复"), m.Button("导入列表..."), m.Button("导出列表..."),
                               m.Button("操作记录..."), m.Button("全部撤销")};
    for (HWND h : order) ASSERT_NE(h, nullptr);
    auto describe = [](HWND h) {
        char cls[32] = "", text[64] = "";
        GetClassNameA(h, cls, sizeof cls);
        GetWindowTextA(h, text, sizeof text);
        return std::string(cls) + " \"" + text + "\"";
    };
    ASSERT_TRUE(tool.WaitFor([&] { return focused() == order[0]; }, 5000))
        << "the first control has the focus, not " << describe(focused());
    for (size_t i = 1; i < order.size(); i++) {
        m.Press(VK_TAB);
        ASSERT_TRUE(tool.WaitFor([&] { return focused() == order[i]; }, 5000))
            << "step " << i << ": " << describe(focused()) << " instead of " << describe(order[i]);
    }
    m.Press(VK_TAB);   // 取消 is off while nothing runs: the log comes next
    ASSERT_TRUE(tool.WaitFor([&] { return focused() != order.back(); }, 5000));
    EXPECT_NE(focused(), m.Button("取消"));
    char cls[32] = "";
    GetClassNameA(focused(), cls, sizeof cls);
    EXPECT_STREQ(cls, "RichEdit20A");
    m.Press(VK_TAB);
    ASSERT_TRUE(tool.WaitFor([&] { return focused() == order[0]; }, 5000)) << "round to the top";

    // Typing filters as it goes; Enter takes the focus to the list.
    for (int i = 0; i < 4; i++) m.Press(VK_TAB);
    ASSERT_TRUE(tool.WaitFor([&] { return focused() == m.Filter(); }, 5000));
    for (char c : std::string("YOUTUBE")) m.Press(static_cast<WORD>(c));
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 1; }, 5000)) << m.RowCount();
    EXPECT_EQ(m.Cell(0, 1), "com.google.android.youtube");
    m.Press(VK_RETURN);
    ASSERT_TRUE(tool.WaitFor([&] { return focused() == m.List(); }, 5000));

    // Space checks the selected row and checks it off again.
    m.Press(VK_HOME);
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.List(), LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 5000));
    m.Press(VK_SPACE);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Count(), "已勾选 1 个"); }, 5000)) << m.Count();
    m.Press(VK_SPACE);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Count(), "已勾选 0 个"); }, 5000)) << m.Count();

    // Ctrl+A selects every row shown, and only those.
    SetWindowTextA(m.Filter(), "com.google");
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() > 1 && m.RowCount() < 13; }));
    int shown = m.RowCount();
    m.Press('A', true);
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.List(), LVM_GETSELECTEDCOUNT, 0, 0) == shown; }, 5000));

    // F5 lists the devices and reads the phone again.
    size_t commands = tool.AdbLog().size();
    m.Press(VK_F5);
    ASSERT_TRUE(tool.WaitFor([&] { return tool.AdbLog().size() > commands; }));
    ASSERT_TRUE(m.WaitIdle());
    bool listed = false;
    for (size_t i = commands; i < tool.AdbLog().size(); i++) listed = listed || Contains(tool.AdbLog()[i], " devices");
    EXPECT_TRUE(listed);
    EXPECT_EQ(m.RowCount(), shown) << "the filter stays";

    // Escape closes the window; the program and its start-up window stay.
    HWND window = m.Window();
    m.Press(VK_ESCAPE);
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindow(window); }, 5000));
    EXPECT_TRUE(tool.Running());
    EXPECT_TRUE(IsWindowVisible(tool.Window()));
}

// Without a phone, and without adb at all, the window says what is wrong
// and stays usable.
TEST_F(Manager, NoPhoneOrNoAdbIsSaidPlainly) {
    {
        ToolUnderTest tool("mgr-nophone", "platform-tools 35.0.1\n");
        ASSERT_TRUE(tool.Start());
        ManagerUnderTest m(tool);
        ASSERT_TRUE(m.Open());
        ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "没有发现手机"); })) << m.Status();
        ASSERT_TRUE(m.WaitIdle());
        // The checks in order on the status line; the phones that never show up once in the log.
        EXPECT_EQ(m.Status(), "没有发现手机，请依次检查：①已打开“USB 调试” ②手机上已点“允许” ③数据线能传数据 "
                              "④已装厂商 USB 驱动 ⑤华为：USB 连接方式别选“仅充电”");
        EXPECT_TRUE(Contains(m.Log(), "HarmonyOS")) << m.Log();
        ASSERT_TRUE(m.Click("刷新"));
        ASSERT_TRUE(m.WaitIdle());
        EXPECT_EQ(m.Log().find("HarmonyOS"), m.Log().rfind("HarmonyOS")) << "said once\n" << m.Log();
        EXPECT_EQ(SendMessageA(m.Combo(0), CB_GETCOUNT, 0, 0), 2) << "only 无线连接… and 添加远程 adb 服务器…";
        EXPECT_EQ(m.RowCount(), 0);
        ASSERT_TRUE(m.Click("禁用"));
        EXPECT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "请先勾选或选中"); })) << m.Status();
    }
    ToolUnderTest tool("mgr-noadb", "", false);
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "找不到"); })) << m.Status();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(m.Status(), "adb_1.0.40\\adb.exe：请把 platform-tools 里的 adb.exe")) << m.Status();
    EXPECT_TRUE(Contains(m.Status(), "developer.android.com/tools/releases/platform-tools")) << m.Status();
    EXPECT_TRUE(IsWindowEnabled(m.Button("刷新")));
    EXPECT_EQ(m.RowCount(), 0);
}

TEST_F(Manager, RestoreIsRefusedWithTheReasonOnAnOldPhone) {
    ToolUnderTest tool("mgr-old", Profile("old-phone.txt"));
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() > 0; }));
    ASSERT_TRUE(m.WaitIdle());
    size_t runs = tool.AdbLog().size();
    ASSERT_TRUE(m.Select({m.Cell(0, 1)}));
    ASSERT_TRUE(m.Click("恢复"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box));
    m.AnswerBox(IDOK);
    EXPECT_TRUE(Contains(box, "Android 6.0.1")) << box;
    EXPECT_TRUE(Contains(box, "需要 Android 8")) << box;
    EXPECT_EQ(tool.AdbLog().size(), runs) << "nothing sent to the phone";
}

} // namespace

namespace {

size_t Occurrences(const std::string& s, const std::string& part) {
    size_t n = 0;
    for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1)) n++;
    return n;
}

// Two ready phones with the same packages; slow changes, so that a batch
// can be cancelled while it runs.
std::string TwoReadyPhones(int changeMs) {
    std::string packages;
    for (int i = 0; i < 8; i++) packages += "package com.example.app" + std::to_string(i) + " enabled third-party\n";
    return "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms " + std::to_string(changeMs) + "\n" +
           "device AAA111 device product:a model:Phone_A device:a\napi 33\n" + packages +
           "device BBB222 device product:b model:Phone_B device:b\napi 30\n" + packages;
}

// A device's lines in the log: from its heading to the next heading. The
// phones' groups come in the order their batches ended.
std::string Group(const std::string& log, const std::string& heading) {
    size_t at = log.find(heading);
    if (at == std::string::npos) return "<no " + heading + ">";
    size_t end = log.find("【", at + heading.size());
    return log.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::vector<std::string> AppNames() {
    std::vector<std::string> names;
    for (int i = 0; i < 8; i++) names.push_back("com.example.app" + std::to_string(i));
    return names;
}

TEST_F(Manager, AllDevicesAtOnceWithTheLogGroupedPerDevice) {
    ToolUnderTest tool("mgr-all", TwoReadyPhones(0));
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    // The device list arrives at the end of the first read.
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.Combo(0), CB_GETCOUNT, 0, 0) == 4; }));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(m.RowCount(), 0) << "two ready phones: the user picks";
    m.ChooseComboItem(m.Combo(0), 1);
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 8; }));
    ASSERT_TRUE(m.WaitIdle());

    PostMessageA(m.Button("同时用于所有已连接设备"), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.Button("同时用于所有已连接设备"), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    ASSERT_TRUE(m.Select({"com.example.app1", "com.example.app2"}));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.example.app2："); })) << m.Status() << "\n" << m.Log();
    ASSERT_TRUE(m.WaitIdle());
    std::string state = test::PhoneState(tool);
    EXPECT_EQ(Occurrences(state, "package com.example.app1 disabled-user"), 2u) << state;
    EXPECT_EQ(Occurrences(state, "package com.example.app2 disabled-user"), 2u) << state;
    std::string log = m.Log();
    EXPECT_EQ(Occurrences(Group(log, "【Phone_A AAA111】"), "：已禁用"), 2u) << log;
    EXPECT_EQ(Occurrences(Group(log, "【Phone_B BBB222】"), "：已禁用"), 2u) << log;
    EXPECT_EQ(Occurrences(log, "【"), 2u) << "each phone's outcomes once\n" << log;
    EXPECT_EQ(m.Cell(m.PositionOf("com.example.app1"), 2), "已禁用");
}

TEST_F(Manager, CancelStopsAfterThePackageInProgressAndTheRecordMatchesThePhone) {
    ToolUnderTest tool("mgr-cancel", TwoReadyPhones(400));
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    // The device list arrives at the end of the first read.
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.Combo(0), CB_GETCOUNT, 0, 0) == 4; }));
    ASSERT_TRUE(m.WaitIdle());
    m.ChooseComboItem(m.Combo(0), 0);
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 8; }));
    ASSERT_TRUE(m.WaitIdle());
    const HWND bar = m.Progress();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(m.Select(AppNames()));
    ASSERT_TRUE(m.Click("禁用"));
    // The first package is done on the phone: cancel.
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(test::PhoneState(tool), "com.example.app0 disabled-user"); }));
    ASSERT_TRUE(IsWindowEnabled(m.Button("取消")));
    ASSERT_TRUE(m.Click("取消"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_FALSE(IsWindowEnabled(m.Button("取消")));

    std::string state = test::PhoneState(tool);
    size_t disabled = Occurrences(state, "disabled-user");
    EXPECT_GE(disabled, 1u);
    EXPECT_LT(disabled, 8u) << state;
    size_t recordedDone = 0;
    for (const dev::RecordEntry& e : dev::ActionRecord().ReadAll()) {
        if (e.outcome != dev::Outcome::Done) continue;
        recordedDone++;
        EXPECT_TRUE(Contains(state, "package " + e.package + " disabled-user")) << e.package;
    }
    EXPECT_EQ(recordedDone, disabled) << state;
    EXPECT_TRUE(Contains(m.Log(), "已取消，没有禁用")) << m.Log();
    EXPECT_TRUE(Contains(m.Status(), "已取消")) << m.Status();
    // The busy bar went into its marquee and out of it in place.
    EXPECT_EQ(m.Progress(), bar) << "the bar was re-created";
    EXPECT_FALSE(GetWindowLongPtrA(bar, GWL_STYLE) & PBS_MARQUEE);
}

// A phone that goes on with a script after its client is gone, slow enough
// to be caught mid-batch: ten user apps.
std::string KeepsGoingPhone(std::vector<std::string>* names) {
    std::string profile = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 300\nkeeps-going\n"
                          "device SER1 device product:s model:Slow device:s\napi 34\nprop android_id a1b2c3\n";
    for (int i = 0; i < 10; i++) {
        names->push_back("com.keep.app" + std::to_string(i));
        profile += "package " + names->back() + " enabled third-party\n";
    }
    return profile;
}

// 全部撤销, answered yes: every one of `names` is listed and comes back enabled.
void UndoAllBringsBack(ToolUnderTest& tool, ManagerUnderTest& m, const std::vector<std::string>& names) {
    ASSERT_TRUE(m.Click("全部撤销"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box)) << m.Status();
    for (const std::string& n : names) EXPECT_TRUE(Contains(box, n + "：启用")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Occurrences(test::PhoneState(tool), "disabled-user") == 0; }, 60000))
        << test::PhoneState(tool);
    ASSERT_TRUE(m.WaitIdle());
}

// Killed after three of ten (Task Manager): the phone finishes the list on
// its own; the next start settles the intents the record holds, and undo
// brings all ten back.
TEST_F(Manager, AToolKilledMidBatchUndoesEveryPackageThePhoneFinishedWithoutIt) {
    std::vector<std::string> names;
    ToolUnderTest tool("mgr-killed", KeepsGoingPhone(&names));
    {
        ManagerUnderTest m(tool);
        ASSERT_TRUE(OpenShowing(tool, m, 10));
        ASSERT_TRUE(m.Select(names));
        ASSERT_TRUE(m.Click("禁用"));
        ASSERT_TRUE(tool.WaitFor([&] { return Occurrences(test::PhoneState(tool), "disabled-user") >= 3; }, 60000));
        tool.Kill();
    }
    ASSERT_TRUE(tool.WaitFor([&] { return Occurrences(test::PhoneState(tool), "disabled-user") == 10; }, 60000))
        << "the phone goes on after its client is gone: " << test::PhoneState(tool);
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 10));
    UndoAllBringsBack(tool, m, names);
}

// 取消 ends the adb client after the package in progress; the phone goes on.
// The read right after may come too early; the next read settles the rest.
TEST_F(Manager, ACancelledBatchOnAPhoneThatGoesOnIsUndoneWholeAfterARefresh) {
    std::vector<std::string> names;
    ToolUnderTest tool("mgr-going", KeepsGoingPhone(&names));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 10));
    ASSERT_TRUE(m.Select(names));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(test::PhoneState(tool), "com.keep.app0 disabled-user"); }, 60000));
    ASSERT_TRUE(m.Click("取消"));
    ASSERT_TRUE(m.WaitIdle(60000));
    ASSERT_TRUE(tool.WaitFor([&] { return Occurrences(test::PhoneState(tool), "disabled-user") == 10; }, 60000));
    ASSERT_TRUE(m.Click("刷新"));
    ASSERT_TRUE(m.WaitIdle());
    for (const std::string& n : names) EXPECT_EQ(m.Cell(m.PositionOf(n), 2), "已禁用") << n;
    UndoAllBringsBack(tool, m, names);
}

// Two boards that share the serial 0123456789ABCDEF are swapped on the cable
// between a batch and 全部撤销: undo reads the phone first and refuses.
TEST_F(Manager, UndoRefusesAnotherPhoneOnTheSameSerial) {
    const std::string board = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n"
                              "device 0123456789ABCDEF device product:b model:Board device:b\napi 34\n"
                              "prop ro.serialno 0123456789ABCDEF\n";
    ToolUnderTest tool("mgr-swapped", board + "prop android_id 1111aaaa\npackage com.board.app enabled third-party\n");
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 1));
    ASSERT_TRUE(m.Select({"com.board.app"}));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(m.WaitIdle());
    ASSERT_TRUE(Contains(PackageLine(tool, "com.board.app"), " disabled-user "));
    // The other board: its app disabled by its owner long ago.
    test::WriteFileText(tool.Folder() + "\\adb_1.0.40\\adb_state.txt",
                  board + "prop android_id 2222bbbb\npackage com.board.app disabled-user third-party\n");
    size_t sent = tool.AdbLog().size();
    ASSERT_TRUE(m.Click("全部撤销"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box)) << m.Status();
    EXPECT_TRUE(Contains(box, "不是刚才列表里的那一台")) << box;
    m.AnswerBox(IDOK);
    ASSERT_TRUE(m.WaitIdle());
    for (size_t i = sent; i < tool.AdbLog().size(); i++)
        EXPECT_FALSE(Contains(tool.AdbLog()[i], "enable")) << tool.AdbLog()[i];
    EXPECT_TRUE(Contains(PackageLine(tool, "com.board.app"), " disabled-user "));
}

} // namespace

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(test::WriteFileText(path, bytes)) << path;
}

TEST_F(Manager, ListFilesCheckWhatTheyNameReportTheRestAndExportTheChecks) {
    ToolUnderTest tool("mgr-lists", Profile("two-phones.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 13));

    // UTF-8 with a byte-order mark, pm's "package:" lines, a comment, a
    // name not on the phone and a hostile line.
    std::string in = tool.Folder() + "\\in.txt";
    WriteBytes(in, "\xEF\xBB\xBF# 我的列表\r\npackage:/system/app/YouTube/YouTube.apk=com.google.android.youtube\r\n"
                   "package:com.tencent.mm\r\ncom.not.on.phone\r\ncom.x;reboot\r\n");
    ASSERT_TRUE(Imported(tool, m, in, 2));
    EXPECT_TRUE(Contains(m.Log(), "com.not.on.phone：手机上没有这个应用")) << m.Log();
    EXPECT_TRUE(Contains(m.Log(), "第 5 行")) << m.Log();

    std::string written = ExportedList(tool, m, tool.Folder() + "\\out.txt");
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(written.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_TRUE(Contains(written, "com.google.android.youtube\r\n")) << written;
    EXPECT_TRUE(Contains(written, "com.tencent.mm\r\n")) << written;
    EXPECT_FALSE(Contains(written, "com.android.chrome")) << written;

    // A GBK file reads back the same way.
    WriteBytes(in, "# \xCE\xD2\xB5\xC4\xC1\xD0\xB1\xED\r\ncom.android.chrome\r\n");
    ASSERT_TRUE(Imported(tool, m, in, 3));
}

// App names: read from the phone's APKs beside the list, found by pinyin,
// named in the log and in exported lists; the next opening shows them from
// the cache with the list, and 取消 stops the read that confirms them.
TEST_F(Manager, AppNamesFromTheApksAreShownFoundByPinyinAndKept) {
    std::string apks = test::ExeDir() + "\\mgr-names-apks";
    CreateDirectoryA(apks.c_str(), nullptr);
    for (const char* served : {"locales", "refs", "split_base", "split_config.zh"}) {
        std::string to = std::string(served) == "split_base" ? "com.t.split" : std::string(served) == "split_config.zh" ? "com.t.split@split_config.zh" : std::string("com.t.") + served;
        ASSERT_TRUE(CopyFileA(test::TestApkPath(served).c_str(), (apks + "\\" + to + ".apk").c_str(), FALSE))
            << served;
    }
    auto phone = [&](int execMs) {
        return "platform-tools 34.0.5\ndevice N1 device product:p model:Names_Phone\napi 34\n"
               "prop persist.sys.locale zh-CN\nexec-ms " + std::to_string(execMs) + "\napk-dir " + apks + "\n"
               "package com.t.locales enabled third-party\npackage com.t.refs enabled third-party\n"
               "package com.t.split enabled third-party\npackage com.t.plain enabled third-party\n";
    };
    {
        ToolUnderTest tool("mgr-names", phone(0));
        ManagerUnderTest m(tool);
        ASSERT_TRUE(OpenShowing(tool, m, 4));
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.locales"), 0), "全部(中国)");
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.refs"), 0), "真名");
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.split"), 0), "拆分应用") << "its translation is in the split";
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.plain"), 0), "") << "no APK, no name";
        EXPECT_TRUE(Contains(m.Status(), "3 个有名称")) << m.Status();

        // Pinyin initials and full pinyin find the names; package names still count.
        SetWindowTextA(m.Filter(), "qb");
        ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 1; })) << m.RowCount();
        EXPECT_EQ(m.Cell(0, 1), "com.t.locales");
        SetWindowTextA(m.Filter(), "zhenming");
        ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 1 && m.Cell(0, 1) == "com.t.refs"; }));
        EXPECT_TRUE(Contains(m.Count(), "显示 1 个")) << m.Count();
        SetWindowTextA(m.Filter(), "");
        ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 4; }));

        // The log and the box name the app as the phone does.
        ASSERT_TRUE(m.Select({"com.t.refs"}));
        ASSERT_TRUE(m.Click("删除"));
        std::string box;
        ASSERT_TRUE(m.WaitBox(&box));
        EXPECT_TRUE(Contains(box, "真名 (com.t.refs)")) << box;
        m.AnswerBox(IDYES);
        ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "真名 (com.t.refs)："); })) << m.Log();
        ASSERT_TRUE(m.WaitIdle());
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.refs"), 0), "真名") << "a batch keeps the names";

        // An exported list carries the names as comments and imports again.
        std::string out = tool.Folder() + "\\names.txt";
        std::string written = ExportedList(tool, m, out);
        ASSERT_FALSE(written.empty());
        EXPECT_TRUE(Contains(written, u8"com.t.locales  # 全部(中国)\r\n")) << written;
        EXPECT_TRUE(Contains(written, "com.t.plain\r\n")) << written;
        ASSERT_TRUE(Imported(tool, m, out, 4));
    }
    {
        // A slow phone: the names are there with the list, from the cache,
        // while the read that confirms them goes on; 取消 stops it at once.
        ToolUnderTest tool("mgr-names-again", phone(20000));
        ManagerUnderTest m(tool);
        ASSERT_TRUE(tool.Start());
        ASSERT_TRUE(m.Open());
        ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 4; })) << m.Status();
        EXPECT_EQ(m.Status(), "已读取 4 个应用，正在读取应用名称 0/4");
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.locales"), 0), "全部(中国)");
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.split"), 0), "拆分应用");
        HWND cancel = m.Button("取消");
        ASSERT_TRUE(tool.WaitFor([&] { return IsWindowEnabled(m.Button("刷新")) && IsWindowEnabled(cancel); }))
            << m.Status();
        ASSERT_TRUE(m.Click("取消"));
        ASSERT_TRUE(m.WaitIdle(10000)) << m.Status();
        EXPECT_TRUE(Contains(m.Status(), "已停止读取应用名称")) << m.Status();
        EXPECT_EQ(m.Cell(m.PositionOf("com.t.refs"), 0), "真名") << "what the cache showed stays";

        // Closing the window during the read closes it at once.
        ASSERT_TRUE(m.Click("刷新"));
        ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "正在读取应用名称 0/4"); })) << m.Status();
        HWND window = m.Window();
        PostMessageA(window, WM_CLOSE, 0, 0);
        ASSERT_TRUE(tool.WaitFor([&] { return !IsWindow(window); }, 5000)) << "the window closes at once";
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutA(tool.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0)
            << "the start-up window answers";
    }
}

// Checks stay on packages the filter hides, and the user is asked before
// they are acted on; a package off before the batch is not turned on by undo.
TEST_F(Manager, HiddenChecksAreAskedAboutAndUndoLeavesWhatWasOffBefore) {
    ToolUnderTest tool("mgr-hidden", Profile("two-phones.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 13));

    std::string in = tool.Folder() + "\\in.txt";
    WriteBytes(in, "com.google.android.apps.tachyon\r\ncom.google.android.youtube\r\ncom.google.android.gm\r\n");
    ASSERT_TRUE(Imported(tool, m, in, 3));

    // The filter hides gm; its check stays.
    SetWindowTextA(m.Filter(), "yo");
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 2; })) << m.RowCount();
    ASSERT_LT(m.PositionOf("com.google.android.gm"), 0);
    EXPECT_TRUE(Contains(m.Count(), "已勾选 3 个")) << m.Count();
    ASSERT_TRUE(m.Click("禁用"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "已勾选 3 个，其中 1 个不在当前列表中：一并操作？")) << box;
    EXPECT_TRUE(Contains(box, "com.google.android.gm")) << box;
    m.AnswerBox(IDNO);   // only what is shown
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Log(), "com.google.android.youtube："); }));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.gm"), " enabled ")) << "hidden and refused";
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.youtube"), " disabled-user "));
    EXPECT_TRUE(Contains(m.Log(), "com.google.android.apps.tachyon：本来就是禁用状态，没有改动")) << m.Log();

    // Undo turns youtube on again, and leaves tachyon off as it was before.
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.google.android.youtube：启用")) << box;
    EXPECT_FALSE(Contains(box, "tachyon")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(PackageLine(tool, "com.google.android.youtube"), " enabled "); }));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.apps.tachyon"), " disabled-user "));
}

// The phone's users: a work profile is chosen beside the device, acted on,
// recorded and undone on its own.
TEST_F(Manager, AWorkProfileIsChosenActedOnRecordedAndUndoneOnItsOwn) {
    ToolUnderTest tool("mgr-work", Profile("work-profile.txt"));
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() > 0; }));
    ASSERT_TRUE(m.WaitIdle());
    HWND users = m.Combo(1);
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(users, CB_GETCOUNT, 0, 0) == 2; }));
    EXPECT_EQ(m.ComboText(users), "机主");
    m.ChooseComboItem(users, 1);
    ASSERT_TRUE(tool.WaitFor([&] { return m.ComboText(users) == "工作资料"; }));
    ASSERT_TRUE(m.WaitIdle());
    // The work profile's own states: Teams is installed there, not for the owner.
    ASSERT_TRUE(tool.WaitFor([&] { return m.PositionOf("com.microsoft.teams") >= 0 &&
                                          m.Cell(m.PositionOf("com.microsoft.teams"), 2) == "已启用"; }));
    ASSERT_TRUE(m.Select({"com.microsoft.teams"}));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(m.WaitIdle());
    std::string line = PackageLine(tool, "com.microsoft.teams");
    EXPECT_TRUE(Contains(line, " uninstalled ") && Contains(line, "u10=disabled-user")) << line;
    std::vector<dev::RecordEntry> all = dev::LatestLines(dev::ActionRecord().ReadAll());
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].user, 10);

    std::string box;
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.microsoft.teams：启用")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(PackageLine(tool, "com.microsoft.teams"), "u10=enabled"); }));
    ASSERT_TRUE(m.WaitIdle());
    // The owner has nothing to undo.
    m.ChooseComboItem(users, 0);
    ASSERT_TRUE(tool.WaitFor([&] { return m.ComboText(users) == "机主"; }));
    ASSERT_TRUE(m.WaitIdle());
    ASSERT_TRUE(m.Click("全部撤销"));
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "没有需要撤销的操作")) << box;
    m.AnswerBox(IDOK);
}

// A record that cannot be written is said; the action still completes.
TEST_F(Manager, AnUnwritableRecordIsSaidAndTheActionStillCompletes) {
    std::string path = dev::ActionRecord::DefaultPath();
    std::string folder = path.substr(0, path.rfind('\\'));
    CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << "a folder where the file should be";
    struct Restore {
        std::string path;
        ~Restore() { RemoveDirectoryA(path.c_str()); }
    } restore{path};
    ToolUnderTest tool("mgr-unwritable", Profile("two-phones.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 13));
    ASSERT_TRUE(m.Select({"com.google.android.youtube"}));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(PackageLine(tool, "com.google.android.youtube"), " disabled-user "));
    EXPECT_TRUE(Contains(m.Status(), "操作记录无法写入：")) << m.Status();
    EXPECT_TRUE(Contains(m.Log(), "操作记录无法写入：")) << m.Log();
    EXPECT_TRUE(Contains(m.Log(), "com.google.android.youtube：已禁用")) << m.Log();
}

// The package service stops answering: the list stays as it was, and the
// user is told to try again.
TEST_F(Manager, AFailingPackageServiceLeavesTheListAndSaysSo) {
    ToolUnderTest tool("mgr-service", Profile("two-phones.txt"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 13));
    std::string state = test::PhoneState(tool);
    size_t at = state.find("package android ");
    ASSERT_NE(at, std::string::npos);
    state.insert(at, "package-service down\n");
    WriteBytes(tool.Folder() + "\\adb_1.0.40\\adb_state.txt", state);
    ASSERT_TRUE(m.Click("刷新"));
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "手机上的软件包服务没有响应，请稍后按 刷新"); }))
        << m.Status();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(m.RowCount(), 13);
    EXPECT_EQ(m.Cell(m.PositionOf("com.google.android.youtube"), 2), "已启用") << "never shown as deleted";
}

// Closing the window while a batch waits on a phone that stopped answering:
// the window goes at once, the start-up window answers, and the program
// still ends at once when it is closed.
TEST_F(Manager, ClosingDuringABatchOnAHungPhoneBlocksNothing) {
    std::string packages;
    for (int i = 0; i < 6; i++) packages += "package com.example.app" + std::to_string(i) + " enabled third-party\n";
    ToolUnderTest tool("mgr-hung", "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 50\nhang-after 2\n"
                                   "device AAA111 device product:a model:Phone_A device:a\napi 33\n" + packages);
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 6; }));
    ASSERT_TRUE(m.WaitIdle());
    std::vector<std::string> names;
    for (int i = 0; i < 6; i++) names.push_back("com.example.app" + std::to_string(i));
    ASSERT_TRUE(m.Select(names));
    ASSERT_TRUE(m.Click("禁用"));
    // The two packages the phone answered before it hung are in the record.
    auto done = [] {
        size_t n = 0;
        for (const dev::RecordEntry& e : dev::ActionRecord().ReadAll()) n += e.outcome == dev::Outcome::Done;
        return n;
    };
    ASSERT_TRUE(tool.WaitFor([&] { return done() == 2; }));
    HWND window = m.Window();
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindow(window); }, 5000)) << "the window closes at once";
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(tool.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0)
        << "the start-up window answers";
    EXPECT_EQ(done(), 2u);
    tool.Close();
    DWORD began = GetTickCount();
    EXPECT_EQ(tool.WaitExit(10000), 0u);
    EXPECT_LT(GetTickCount() - began, 5000u) << "the program's end does not wait for the hung phone";
}

// No adb server runs yet: the first open starts it once, alone, before the
// device list and the read run side by side, and neither fails for it.
TEST_F(Manager, TheFirstOpenWithoutAServerStartsItOnceAndReadsThePhone) {
    std::string profile = Profile("two-phones.txt");
    profile.insert(profile.find("device "), "server-start-ms 1500\n");
    ToolUnderTest tool("mgr-server", profile);
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 13; })) << m.Status() << "\n" << m.Log();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_FALSE(Contains(m.Status(), "daemon")) << m.Status();
    EXPECT_EQ(SendMessageA(m.Combo(0), CB_GETCOUNT, 0, 0), 4);
    std::vector<std::string> log = tool.AdbLog();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(Contains(log[0], "start-server")) << log[0];
    // The simulated server is ended with the test's folder.
    dev::Adb(tool.Folder() + "\\adb_1.0.40\\adb.exe").Run({"kill-server"});
}

HWND ServerWindow(const ToolUnderTest& tool) {
    return test::FindProcessWindow(tool.ProcessId(), nullptr, "添加远程 adb 服务器");
}

// The item's text in the program's code page (the combo box is a Unicode window).
std::string ComboItem(HWND combo, int index) {
    wchar_t wide[256] = L"";
    if (SendMessageW(combo, CB_GETLBTEXTLEN, index, 0) >= 256) return "(too long)";
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(wide));
    char text[512] = "";
    WideCharToMultiByte(936, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

// The window's edit boxes, left to right.
std::vector<HWND> EditsOf(HWND window) {
    std::vector<HWND> edits;
    for (HWND h = FindWindowExA(window, nullptr, "Edit", nullptr); h; h = FindWindowExA(window, h, "Edit", nullptr))
        edits.push_back(h);
    std::sort(edits.begin(), edits.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return edits;
}

// The phones of another computer's adb server: added through the last item
// of the device list, listed beside the local phone with their computer in
// the label, changed by an all-devices batch each through its own server,
// and listed again at the next start.
TEST_F(Manager, AnotherComputersServerIsAddedItsPhonesListedActedOnAndRemembered) {
    DeleteFileA(dev::DefaultServersPath().c_str());
    std::string apps;
    for (int i = 0; i < 4; i++) apps += "package com.example.app" + std::to_string(i) + " enabled third-party\n";
    std::string head = "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\n";
    std::string local = head + "device AAA111 device product:a model:Phone_A device:a\napi 33\n" + apps;
    std::string remote = head + "device BBB222 device product:b model:Phone_B device:b\napi 30\n" + apps;
    {
        ToolUnderTest tool("mgr-remote", local);
        std::string remoteState = tool.Folder() + "\\adb_1.0.40\\adb_state-10.0.0.2-5038.txt";
        test::WriteFileText(remoteState, remote);
        ASSERT_TRUE(tool.Start());
        ManagerUnderTest m(tool);
        ASSERT_TRUE(m.Open());
        ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 4; })) << m.Status();
        ASSERT_TRUE(m.WaitIdle());
        HWND devices = m.Combo(0);
        ASSERT_EQ(SendMessageA(devices, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(ComboItem(devices, 1), "无线连接…");
        EXPECT_EQ(ComboItem(devices, 2), "添加远程 adb 服务器…");

        // The window opens modal; the handler waits in it, so the choice is posted.
        SendMessageA(devices, CB_SETCURSEL, 2, 0);
        PostMessageA(m.Window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(devices), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(devices));
        HWND dialog = nullptr;
        ASSERT_TRUE(tool.WaitFor([&] { return (dialog = ServerWindow(tool)) != nullptr; }));
        std::vector<HWND> edits = EditsOf(dialog);
        ASSERT_EQ(edits.size(), 2u);
        HWND host = edits[0], port = edits[1];
        EXPECT_EQ(tool.Text(port), "5037");
        SetWindowTextA(host, "10.0.0.2");
        SetWindowTextA(port, "70000");
        // Refused: the window stays for the port to be put right (were it
        // gone, the server below would never be added). Sent, so the check
        // has run before the port changes.
        SendMessageA(FindWindowExA(dialog, nullptr, "Button", "确定"), BM_CLICK, 0, 0);
        SetWindowTextA(port, "5038");
        PostMessageA(FindWindowExA(dialog, nullptr, "Button", "确定"), BM_CLICK, 0, 0);
        ASSERT_TRUE(tool.WaitFor([&] { return !IsWindow(dialog); }));
        ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(devices, CB_GETCOUNT, 0, 0) == 4; })) << m.Status();
        ASSERT_TRUE(m.WaitIdle());
        EXPECT_EQ(ComboItem(devices, 0), "Phone_A AAA111");
        EXPECT_EQ(ComboItem(devices, 1), "Phone_B BBB222 @ 10.0.0.2:5038");
        EXPECT_EQ(m.ComboText(devices), "Phone_A AAA111") << "the phone shown stays chosen";

        PostMessageA(m.Button("同时用于所有已连接设备"), BM_CLICK, 0, 0);
        ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.Button("同时用于所有已连接设备"), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
        ASSERT_TRUE(m.Select({"com.example.app1", "com.example.app2"}));
        ASSERT_TRUE(m.Click("禁用"));
        ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "完成"); })) << m.Status() << "\n" << m.Log();
        ASSERT_TRUE(m.WaitIdle());
        for (const std::string& state : {test::PhoneState(tool), test::ReadFileBytes(remoteState)}) {
            EXPECT_TRUE(Contains(state, "package com.example.app1 disabled-user")) << state;
            EXPECT_TRUE(Contains(state, "package com.example.app2 disabled-user")) << state;
            EXPECT_TRUE(Contains(state, "package com.example.app3 enabled")) << state;
        }
        std::string log = m.Log();
        EXPECT_EQ(Occurrences(Group(log, "【Phone_A AAA111】"), "：已禁用"), 2u) << log;
        EXPECT_EQ(Occurrences(Group(log, "【Phone_B BBB222 @ 10.0.0.2:5038】"), "：已禁用"), 2u) << log;
        EXPECT_EQ(Occurrences(log, "【"), 2u) << "each phone's outcomes once\n" << log;
        bool remoteRun = false;
        for (const std::string& line : tool.AdbLog())
            remoteRun = remoteRun || Contains(line, "-H 10.0.0.2 -P 5038 -s BBB222 shell");
        EXPECT_TRUE(remoteRun);
        EXPECT_TRUE(Contains(test::ReadFileBytes(dev::DefaultServersPath()), "10.0.0.2:5038"));
    }

    // The next start lists the remote phones with the local one; a server
    // that stopped answering is said in the log and hides nothing else.
    ToolUnderTest tool("mgr-remote2", local);
    test::WriteFileText(tool.Folder() + "\\adb_1.0.40\\adb_state-10.0.0.2-5038.txt", remote);
    std::vector<dev::Server> servers = dev::ReadServers(dev::DefaultServersPath());
    servers.push_back(dev::Server{"10.0.0.9", 5037});
    ASSERT_TRUE(dev::WriteServers(dev::DefaultServersPath(), servers, nullptr));
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return SendMessageA(m.Combo(0), CB_GETCOUNT, 0, 0) == 4; })) << m.Status();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(ComboItem(m.Combo(0), 1), "Phone_B BBB222 @ 10.0.0.2:5038");
    EXPECT_TRUE(Contains(m.Log(), "远程 adb 服务器 10.0.0.9:5037：")) << m.Log();
    EXPECT_EQ(m.RowCount(), 0) << "two ready phones: the user picks";
    m.ChooseComboItem(m.Combo(0), 1);
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 4; })) << m.Status();
    ASSERT_TRUE(m.WaitIdle());
    // This run's remote phone is a fresh one with the same identity: the
    // record knows what the tool did to it.
    int app1 = m.PositionOf("com.example.app1");
    EXPECT_EQ(m.Cell(app1, 2), "已启用");
    EXPECT_EQ(m.Cell(app1, 6).substr(0, 5), "禁用 ") << m.Cell(app1, 6);
    DeleteFileA(dev::DefaultServersPath().c_str());
}

// 刷新 finds another phone plugged in in place of the first: the first
// phone's checks do not carry over to it.
TEST_F(Manager, ChecksStayWithThePhoneTheyWereMadeOn) {
    auto phone = [](const char* serial) {
        return "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nchange-ms 0\ndevice " + std::string(serial) +
               " device product:p model:M device:d\napi 34\npackage com.example.a enabled third-party\n"
               "package com.example.b enabled third-party\n";
    };
    ToolUnderTest tool("mgr-replug", phone("FIRST1"));
    ManagerUnderTest m(tool);
    ASSERT_TRUE(OpenShowing(tool, m, 2));
    std::string in = tool.Folder() + "\\in.txt";
    WriteBytes(in, "com.example.a\r\n");
    ASSERT_TRUE(Imported(tool, m, in, 1));
    // The same phone read again keeps them.
    ASSERT_TRUE(m.Click("刷新"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(m.Count(), "已勾选 1 个")) << m.Count();

    WriteBytes(tool.Folder() + "\\adb_1.0.40\\adb_state.txt", phone("SECOND2"));
    ASSERT_TRUE(m.Click("刷新"));
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.ComboText(m.Combo(0)), "SECOND2"); })) << m.ComboText(m.Combo(0));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_TRUE(Contains(m.Count(), "已勾选 0 个")) << m.Count();
}

} // namespace
