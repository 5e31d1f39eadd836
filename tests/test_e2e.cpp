// The real program, started under Wine with the simulated device beside it
// and driven through its window the way a person would.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
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
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb_1.0.40\\adb\" devices")) << tool.AdbLog().back();
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "List of devices attached\nemulator-5554\tdevice")) << tool.Text(tool.Log());

    ASSERT_TRUE(tool.ClickAndWait(kForeground));
    // The interpreter hands the command before the pipe symbol with its blank.
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb_1.0.40\\adb\" shell dumpsys window ")) << tool.AdbLog().back();
    EXPECT_EQ(tool.Text(tool.Edit()), "com.example.app");
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "mCurrentFocus=Window{")) << tool.Text(tool.Log());

    ASSERT_TRUE(tool.ClickAndWait(kDisable));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb\" shell pm disable-user com.example.app")) << tool.AdbLog().back();
    EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: disabled-user\n");

    ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb\" shell pm list packages -d"));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "package:com.example.app\n"));
    EXPECT_TRUE(Contains(tool.Text(tool.Log()), "package:com.example.old\n"));

    ASSERT_TRUE(tool.ClickAndWait(kEnable));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb\" shell pm enable com.example.app"));
    EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: enabled\n");
    ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
    EXPECT_FALSE(Contains(tool.Text(tool.Log()), "package:com.example.app\n"));

    // A name with blanks is passed with its blanks; an empty one still runs.
    tool.SetText(tool.Edit(), " com.example.old ");
    ASSERT_TRUE(tool.ClickAndWait(kDelete));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb\" shell pm uninstall -k --user 0  com.example.old ")) << tool.AdbLog().back();
    tool.SetText(tool.Edit(), "");
    ASSERT_TRUE(tool.ClickAndWait(kDisable));
    EXPECT_TRUE(EndsWith(tool.AdbLog().back(), "adb\" shell pm disable-user ")) << tool.AdbLog().back();

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
    EXPECT_TRUE(EndsWith(log[0], "adb_1.0.40\\adb\" devices")) << log[0];
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

// Folders people put the tool in, and names built to break out of the
// command line. "%OS%" is defined in every Windows environment.
TEST(EndToEnd, EveryActionWorksFromAnyFolder) {
    struct Case {
        const char* folder;
        bool relative;   // the interpreter would expand the folder's name
    } cases[] = {
        {"Program Files (x86) 新建文件夹 (2)", false},
        {"a&mkdir pwned1&b", false},
        {"p^q;r,s=t (1)&(mkdir pwned2)", false},
        {"100%OS%!OS!&mkdir pwned3", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ToolUnderTest tool(c.folder, kDevice);
        ASSERT_TRUE(tool.Start());
        const std::string program = "\"" + (c.relative ? std::string(".") : tool.Folder()) + "\\adb_1.0.40\\adb\" ";

        ASSERT_TRUE(tool.ClickAndWait(kListDevices));
        EXPECT_EQ(tool.AdbLog().back(), program + "devices");
        EXPECT_TRUE(Contains(tool.Text(tool.Log()), "emulator-5554\tdevice")) << tool.Text(tool.Log());
        ASSERT_TRUE(tool.ClickAndWait(kForeground));
        EXPECT_EQ(tool.AdbLog().back(), program + "shell dumpsys window ");
        EXPECT_EQ(tool.Text(tool.Edit()), "com.example.app");
        ASSERT_TRUE(tool.ClickAndWait(kDisable));
        EXPECT_EQ(tool.AdbLog().back(), program + "shell pm disable-user com.example.app");
        EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: disabled-user\n");
        ASSERT_TRUE(tool.ClickAndWait(kListDisabled));
        EXPECT_EQ(tool.AdbLog().back(), program + "shell pm list packages -d");
        EXPECT_TRUE(Contains(tool.Text(tool.Log()), "package:com.example.app\n")) << tool.Text(tool.Log());
        ASSERT_TRUE(tool.ClickAndWait(kEnable));
        EXPECT_EQ(tool.AdbLog().back(), program + "shell pm enable com.example.app");
        EXPECT_EQ(tool.Text(tool.Log()), "Package com.example.app new state: enabled\n");
        ASSERT_TRUE(tool.ClickAndWait(kDelete));
        EXPECT_EQ(tool.AdbLog().back(), program + "shell pm uninstall -k --user 0 com.example.app");
        EXPECT_EQ(tool.Text(tool.Log()), "Success\n");
        EXPECT_EQ(tool.AdbLog().size(), 6u);

        tool.Close();
        EXPECT_EQ(tool.WaitExit(), 0u);
        for (const char* marker : {"pwned1", "pwned2", "pwned3"}) {
            EXPECT_EQ(GetFileAttributesA((tool.Folder() + "\\" + marker).c_str()), INVALID_FILE_ATTRIBUTES) << marker;
            EXPECT_EQ(GetFileAttributesA((tool.Folder() + "\\..\\" + marker).c_str()), INVALID_FILE_ATTRIBUTES)
                << marker;
        }
    }
}

// --- closing while commands run --------------------------------------------------

// When a process was created; 0 when it cannot be told.
ULONGLONG CreatedAt(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The processes whose parent is one of `parents`, opened so that their ids
// stay theirs while the test looks at them. A process id is soon used again
// (under Wine within seconds): a process whose recorded parent had the same
// id before the parent was created belongs to an earlier process, such as
// the server of an earlier test, and is no child.
std::vector<HANDLE> ChildrenOf(const std::vector<HANDLE>& parents) {
    std::vector<std::pair<DWORD, ULONGLONG>> ids;
    for (HANDLE p : parents) ids.push_back({GetProcessId(p), CreatedAt(p)});
    std::vector<HANDLE> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 e = {};
    e.dwSize = sizeof e;
    for (BOOL more = Process32First(snapshot, &e); more; more = Process32Next(snapshot, &e)) {
        for (const auto& id : ids) {
            if (e.th32ParentProcessID != id.first) continue;
            HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, e.th32ProcessID);
            if (!h) continue;
            if (CreatedAt(h) >= id.second) children.push_back(h);
            else CloseHandle(h);
        }
    }
    CloseHandle(snapshot);
    return children;
}

// Ending is asked for, not waited for: give it time to happen.
bool Ended(HANDLE h) { return WaitForSingleObject(h, 10000) == WAIT_OBJECT_0; }
bool Running(HANDLE h) { return WaitForSingleObject(h, 0) == WAIT_TIMEOUT; }

// The tool's commands as process generations: interpreters, what they
// started (adb clients, findstr) and the servers the clients started.
struct CommandProcesses {
    std::vector<HANDLE> interpreters, clients, servers;
    CommandProcesses() = default;
    CommandProcesses(const CommandProcesses&) = delete;
    ~CommandProcesses() {
        for (auto* list : {&interpreters, &clients, &servers})
            for (HANDLE h : *list) CloseHandle(h);
    }
};

// Waits until `count` commands each have an interpreter and an adb client
// that started its server.
bool WaitForCommands(const ToolUnderTest& tool, size_t count, CommandProcesses* out) {
    HANDLE self = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, tool.ProcessId());
    bool found = tool.WaitFor([&] {
        CommandProcesses now;
        now.interpreters = ChildrenOf({self});
        now.clients = ChildrenOf(now.interpreters);
        now.servers = ChildrenOf(now.clients);
        if (now.interpreters.size() != count || now.servers.size() != count) return false;
        out->interpreters.swap(now.interpreters);
        out->clients.swap(now.clients);
        out->servers.swap(now.servers);
        return true;
    });
    CloseHandle(self);
    return found;
}

// The servers outlive the tool; the test ends them itself.
void ExpectOnlyTheServersLeft(const CommandProcesses& p) {
    for (HANDLE h : p.interpreters) EXPECT_TRUE(Ended(h)) << "interpreter " << GetProcessId(h);
    for (HANDLE h : p.clients) EXPECT_TRUE(Ended(h)) << "started by an interpreter: " << GetProcessId(h);
    for (HANDLE h : p.servers) EXPECT_TRUE(Running(h)) << "adb server " << GetProcessId(h);
    for (HANDLE h : p.servers) TerminateProcess(h, 0);
}

// Far longer than closing may take: a close that waited for the command
// would fail here, not by a tight time bound.
const char kHungWithServer[] = "delay 60000\ndaemon 60000\n";

TEST(EndToEnd, ClosingDuringTheLookupEndsItsProcessesButNotTheServer) {
    ToolUnderTest tool("closing", std::string(kDevice) + kHungWithServer);
    ASSERT_TRUE(tool.Start());
    tool.Click(tool.Button(kForeground));
    CommandProcesses p;
    ASSERT_TRUE(WaitForCommands(tool, 1, &p));
    tool.Close();
    EXPECT_EQ(tool.WaitExit(15000), 0u);
    ExpectOnlyTheServersLeft(p);
}

TEST(EndToEnd, ClosingDuringNestedCommandsEndsEveryOne) {
    ToolUnderTest tool("closingnested", std::string(kDevice) + kHungWithServer);
    ASSERT_TRUE(tool.Start());
    tool.SetText(tool.Edit(), "com.example.app");
    const char* buttons[] = {kListDevices, kForeground, kDisable, kDelete, kListDisabled, kEnable};
    for (const char* caption : buttons) {
        HWND b = tool.Button(caption);
        tool.Click(b);
        ASSERT_TRUE(tool.WaitFor([&] { return !IsWindowEnabled(b); })) << caption;
    }
    CommandProcesses p;
    ASSERT_TRUE(WaitForCommands(tool, 6, &p));
    tool.Close();
    EXPECT_EQ(tool.WaitExit(15000), 0u);
    ExpectOnlyTheServersLeft(p);
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
    // As for a person, a click lands once the menu has gone: a button clicked
    // while the menu loop still holds the mouse capture loses the click.
    ASSERT_TRUE(tool.WaitFor([&] { return !test::FindProcessWindow(tool.ProcessId(), "#32768"); }));
    ASSERT_TRUE(tool.ClickAndWait(kListDevices));
    ChooseSystemMenuItem(tool, 'p');
    ASSERT_TRUE(tool.WaitFor([&] { return ManagerWindows(tool.ProcessId()).size() == 1; }));

    // Closing the start-up window ends the program, the manager with it.
    tool.Close();
    EXPECT_EQ(tool.WaitExit(), 0u);
}

} // namespace
