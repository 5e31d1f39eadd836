// The real program, started under Wine with the simulated device beside it
// and driven through its window the way a person would.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "support/uidriver.h"

namespace {

using test::ToolUnderTest;
using namespace test::captions;

const char kDevice[] =
    "device emulator-5554 device\n"
    "package com.example.app enabled\n"
    "package com.example.old disabled-user\n"
    "focus com.example.app/com.example.app.MainActivity\n";

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

TEST(EndToEnd, EveryActionRunsItsCommandAndShowsTheOutput) {
    ToolUnderTest tool("actions", kDevice);
    ASSERT_TRUE(tool.Start());

    ASSERT_TRUE(tool.ClickAndWait(kListDevices));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb_1.0.40\\adb devices")) << tool.AdbLog().back();
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "List of devices attached\nemulator-5554\tdevice")) << tool.Text(tool.Log());

    ASSERT_TRUE(tool.ClickAndWait(kForeground));
    // The interpreter hands the command before the pipe symbol with its blank.
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb_1.0.40\\adb shell dumpsys window ")) << tool.AdbLog().back();
    EXPECT_EQ(tool.Text(tool.Edit()), "com.example.app");
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "mCurrentFocus=Window{")) << tool.Text(tool.Log());

    ASSERT_TRUE(tool.ClickAndWait(kDisable));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb shell pm disable-user com.example.app")) << tool.AdbLog().back();
    EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: disabled-user\n");

    ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb shell pm list packages -d"));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "package:com.example.app\n"));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "package:com.example.old\n"));

    ASSERT_TRUE(tool.ClickAndWait(kEnable));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb shell pm enable com.example.app"));
    EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: enabled\n");
    ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
    EXPECT_FALSE(Contains(tool.Text(tool.Log()), "package:com.example.app\n"));

    // A name with blanks is passed with its blanks; an empty one still runs.
    tool.SetText(tool.Edit(), " com.example.old ");
    ASSERT_TRUE(tool.ClickAndWait(kDelete));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb shell pm uninstall -k --user 0  com.example.old ")) << tool.AdbLog().back();
    tool.SetText(tool.Edit(), "");
    ASSERT_TRUE(tool.ClickAndWait(kDisable));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb shell pm disable-user ")) << tool.AdbLog().back();

    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(EndToEnd, HostileNamesAreRefusedWithoutRunningAnything) {
    ToolUnderTest tool("refused", kDevice);
    ASSERT_TRUE(tool.Start());
    const char* names[] = {"x & echo hacked", "a|b", "a>b", "a\"b", "a%PATH%", "a^b", "(a)", "包名"};
    for (const char* name : names) {
        tool.SetText(tool.Edit(), name);
        size_t before = tool.AdbLog().size();
        ASSERT_TRUE(tool.ClickAndWait(kDisable, false)) << name;
        EXPECT_EQ(tool.AdbLog().size(), before) << name;
        std::string log = tool.Text(tool.Log());
        EXPECT_TRUE(Contains(log, "包名含有不允许的字符“")) << name << ": " << log;
        EXPECT_EQ(log.find('\n'), std::string::npos) << "one line: " << log;
        EXPECT_TRUE(IsWindowEnabled(tool.Button(kDisable)));
    }
    tool.SetText(tool.Edit(), "a&b");
    ASSERT_TRUE(tool.ClickAndWait(kEnable, false));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "“&”")) << tool.Text(tool.Log());
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(EndToEnd, AnotherButtonWorksWhileACommandRuns) {
    ToolUnderTest tool("nested", std::string(kDevice) + "delay 2500\n");
    ASSERT_TRUE(tool.Start());
    tool.Click(tool.Button(kListDisabled));
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindowEnabled(tool.Button(kListDisabled)); }));
    EXPECT_TRUE(IsWindowEnabled(tool.Button(kListDevices)));
    tool.Click(tool.Button(kListDevices));
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindowEnabled(tool.Button(kListDevices)); }));
    // Both run; the outer one writes the log last.
    ASSERT_TRUE(tool.WaitFor([&] {
        return IsWindowEnabled(tool.Button(kListDisabled)) && IsWindowEnabled(tool.Button(kListDevices));
    }));
    EXPECT_EQ(tool.AdbLog().size(), 2u);
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "package:com.example.old")) << tool.Text(tool.Log());
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(EndToEnd, NoDeviceShowsAdbsMessageAndEmptiesThePackage) {
    ToolUnderTest tool("nodevice", "package com.example.app enabled\n");
    ASSERT_TRUE(tool.Start());
    tool.SetText(tool.Edit(), "typed.by.user");
    ASSERT_TRUE(tool.ClickAndWait(kForeground));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "error: no devices/emulators found")) << tool.Text(tool.Log());
    EXPECT_EQ(tool.Text(tool.Edit()), "");
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(EndToEnd, MissingAdbFolderShowsTheInterpretersMessage) {
    ToolUnderTest tool("noadb", "", false);
    ASSERT_TRUE(tool.Start());
    HWND b = tool.Button(kListDevices);
    tool.Click(b);
    ASSERT_TRUE(tool.WaitFor([&] { return !tool.Text(tool.Log()).empty() && IsWindowEnabled(b); }));
    EXPECT_FALSE(Contains(tool.Text(tool.Log()), "List of devices"));
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(EndToEnd, ClosingDuringACommandEndsWithExitCodeZero) {
    ToolUnderTest tool("closing", std::string(kDevice) + "delay 3000\n");
    ASSERT_TRUE(tool.Start());
    tool.Click(tool.Button(kListDevices));
    ASSERT_TRUE(tool.WaitFor([&] { return !tool.AdbLog().empty(); }));
    DWORD start = GetTickCount();
    tool.Close();
    EXPECT_EQ(tool.WaitExit(15000), 0u);
    EXPECT_LT(GetTickCount() - start, 10000u);
}

// Alt+Space, and once the system menu is open (a popup-menu window of the
// tool's), the item's letter.
void ChooseSystemMenuItem(const ToolUnderTest& tool, char letter) {
    auto menuOpen = [&] { return test::FindProcessWindow(tool.ProcessId(), "#32768") != nullptr; };
    // The menu of an earlier choice must be gone, or its window would be taken for the new one.
    ASSERT_TRUE(tool.WaitFor([&] { return !menuOpen(); }));
    PostMessageA(tool.Window(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
    ASSERT_TRUE(tool.WaitFor(menuOpen));
    PostMessageA(tool.Window(), WM_CHAR, static_cast<WPARAM>(letter), 0);
}

struct ManagerSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectManager(HWND h, LPARAM lp) {
    ManagerSearch* search = reinterpret_cast<ManagerSearch*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    char title[64] = {};
    GetWindowTextA(h, title, sizeof title);
    if (owner == search->pid && IsWindowVisible(h) && std::string(title) == "应用管理") search->found.push_back(h);
    return TRUE;
}

std::vector<HWND> ManagerWindows(DWORD pid) {
    ManagerSearch search{pid, {}};
    EnumWindows(CollectManager, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(EndToEnd, SystemMenuOpensOnePackageManagerWindow) {
    ToolUnderTest tool("manager", kDevice);
    ASSERT_TRUE(tool.Start());
    ChooseSystemMenuItem(tool, 'p');
    ASSERT_TRUE(tool.WaitFor([&] { return ManagerWindows(tool.ProcessId()).size() == 1; }));
    HWND manager = ManagerWindows(tool.ProcessId()).front();
    EXPECT_EQ(GetWindow(manager, GW_OWNER), tool.Window());
    EXPECT_TRUE(GetWindowLongPtrA(manager, GWL_STYLE) & WS_THICKFRAME);

    // A second choice brings the same window back from the task bar.
    ShowWindow(manager, SW_MINIMIZE);
    ChooseSystemMenuItem(tool, 'p');
    ASSERT_TRUE(tool.WaitFor([&] { return !IsIconic(manager); }));
    EXPECT_EQ(ManagerWindows(tool.ProcessId()), std::vector<HWND>{manager});

    // Closed, it opens again; the start-up window stayed usable throughout.
    PostMessageA(manager, WM_CLOSE, 0, 0);
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindow(manager); }));
    ASSERT_TRUE(tool.ClickAndWait(kListDevices));
    ChooseSystemMenuItem(tool, 'p');
    ASSERT_TRUE(tool.WaitFor([&] { return ManagerWindows(tool.ProcessId()).size() == 1; }));

    // Closing the start-up window ends the program, the manager with it.
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

} // namespace
