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

int FirstVisibleLine(HWND log) { return static_cast<int>(SendMessageA(log, EM_GETFIRSTVISIBLELINE, 0, 0)); }
int LineCount(HWND log) { return static_cast<int>(SendMessageA(log, EM_GETLINECOUNT, 0, 0)); }

TEST(EndToEnd, ListingDevicesScrollsToItsLastLinesAndOtherActionsDoNot) {
    ToolUnderTest tool("scrolling", std::string(kDevice) + "pad 3200\n");   // 50 more lines after every answer
    ASSERT_TRUE(tool.Start());
    ASSERT_TRUE(tool.ClickAndWait(kListDevices));
    int lines = LineCount(tool.Log());
    ASSERT_GT(lines, 50);
    int first = FirstVisibleLine(tool.Log());
    EXPECT_GT(first, 0);
    EXPECT_LE(first, lines - 6) << "the last six lines are in view";

    ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
    ASSERT_GT(LineCount(tool.Log()), 50);
    EXPECT_EQ(FirstVisibleLine(tool.Log()), 0);
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

TEST(EndToEnd, AClickOnADisabledButtonStartsNothing) {
    ToolUnderTest tool("disabledclick", std::string(kDevice) + "delay 1500\n");
    ASSERT_TRUE(tool.Start());
    HWND b = tool.Button(kListDevices);
    tool.Click(b);
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindowEnabled(b); }));
    tool.Click(b);
    ASSERT_TRUE(tool.WaitFor([&] { return IsWindowEnabled(b) != FALSE; }));
    // Posted clicks are handled in order: once this one ran, the one before it had.
    ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
    std::vector<std::string> log = tool.AdbLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_TRUE(EndsWith(log[0], "adb devices")) << log[0];
    EXPECT_TRUE(EndsWith(log[1], "pm list packages -d")) << log[1];
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

} // namespace
