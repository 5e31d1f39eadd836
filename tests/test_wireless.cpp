// Getting a phone to show up, driven in the real program: 无线连接 from the
// device list (the phone found, a wrong code, an expired one, the pairing
// port used to connect, the right code), the phone then listed, read, acted
// on and undone over the network, and brought back by 刷新; another
// program's adb server on adb's port said on the status line.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "connect/known.h"
#include "connect/otheradb.h"
#include "device/adb.h"
#include "device/record.h"
#include "support/managerdriver.h"
#include "support/rival.h"

namespace {

using test::ManagerUnderTest;
using test::ToolUnderTest;

bool Contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// A phone on the network, no cable: wireless debugging on, its pairing
// dialog open with this port and code.
std::string NetworkPhone(const std::string& pairing) {
    return "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nscript-ms 0\nchange-ms 0\n"
           "device 192.168.1.23:37123 wifi product:p model:Pixel_7 device:d\napi 34\nprop ro.serialno R58M123\n"
           "wireless guid=adb-R58M123-AbCdEf" + pairing + "\n"
           "package com.user.app enabled third-party\npackage com.sys.plain enabled system\n";
}

class Wireless : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileA(dev::ActionRecord::DefaultPath().c_str());
        DeleteFileA(conn::KnownPhones::DefaultPath().c_str());
    }
    void TearDown() override { DeleteFileA(conn::KnownPhones::DefaultPath().c_str()); }
};

// The window 无线连接 and its controls by place.
struct Dialog {
    HWND window = nullptr;
    HWND Edit(int left, int top) const {   // the edit box nearest this place (client coordinates)
        HWND best = nullptr;
        long bestDistance = 1 << 30;
        for (HWND h = FindWindowExA(window, nullptr, "Edit", nullptr); h; h = FindWindowExA(window, h, "Edit", nullptr)) {
            RECT r;
            GetWindowRect(h, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            long d = std::labs(r.left - left) + std::labs(r.top - top);
            if (d < bestDistance) best = h, bestDistance = d;
        }
        return best;
    }
    HWND Code() const { return Edit(312, 88); }
    HWND PairAddress() const { return Edit(80, 88); }
    HWND ConnectAddress() const { return Edit(80, 120); }
    HWND Button(const char* caption) const { return FindWindowExA(window, nullptr, "Button", caption); }
    HWND Phones() const { return FindWindowExA(window, nullptr, "ComboBox", nullptr); }
    // The status label: the label under the address rows.
    std::string Status() const {
        for (HWND h = GetWindow(window, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
            char cls[64] = "";
            GetClassNameA(h, cls, sizeof cls);
            if (!lstrcmpiA(cls, "Edit") || !lstrcmpiA(cls, "Button") || !lstrcmpiA(cls, "ComboBox")) continue;
            RECT r;
            GetWindowRect(h, &r);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            if (r.top < 150 || r.bottom - r.top < 40) continue;
            char text[1024] = "";
            SendMessageA(h, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            return text;
        }
        return std::string();
    }
};

// What a control of the tool shows (WM_GETTEXT: GetWindowText does not
// ask a control of another process).
std::string TextOf(HWND h) {
    char text[256] = "";
    SendMessageA(h, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

// Chooses the device list's item, as the user does: the window it opens is
// modal and the handler waits in it, so the choice is posted.
void ChooseItem(const ManagerUnderTest& m, int index) {
    HWND devices = m.Combo(0);
    SendMessageA(devices, CB_SETCURSEL, index, 0);
    PostMessageA(m.Window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(devices), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(devices));
}

// Types a code and presses 配对并连接 (posted: the click's handler starts the work).
void Pair(const Dialog& d, const std::string& code) {
    SetWindowTextA(d.Code(), code.c_str());
    PostMessageA(d.Button("配对并连接"), BM_CLICK, 0, 0);
}

void Rewrite(const ToolUnderTest& tool, const std::string& from, const std::string& to) {
    std::string s = test::PhoneState(tool);
    size_t at = s.find(from);
    ASSERT_NE(at, std::string::npos) << from << "\n" << s;
    s.replace(at, from.size(), to);
    test::WriteFileText(tool.Folder() + "\\adb_1.0.40\\adb_state.txt", s);
}

TEST_F(Wireless, FoundPairedWithTheCodeConnectedActedOnUndoneAndBroughtBack) {
    ToolUnderTest tool("wl-pair", NetworkPhone(" pair-port=41234 code=482915"));
    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), "没有发现手机"); })) << m.Status();
    ASSERT_TRUE(m.WaitIdle());

    ChooseItem(m, 0);
    Dialog d;
    ASSERT_TRUE(tool.WaitFor([&] { return (d.window = test::FindProcessWindow(tool.ProcessId(), nullptr, "无线连接")) != nullptr; }));
    // Found: the one phone offering pairing is chosen, its addresses filled in.
    ASSERT_TRUE(tool.WaitFor([&] { return TextOf(d.PairAddress()) == "192.168.1.23:41234"; }))
        << d.Status();
    EXPECT_EQ(TextOf(d.ConnectAddress()), "192.168.1.23:37123");
    EXPECT_EQ(SendMessageA(d.Phones(), CB_GETCOUNT, 0, 0), 1);
    // The code box has the focus: the code is all the owner types.
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(d.window, nullptr), &gui));
    EXPECT_EQ(gui.hwndFocus, d.Code());

    Pair(d, "111111");
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(d.Status(), "配对码不对"); })) << d.Status();
    ASSERT_TRUE(tool.WaitFor([&] { return IsWindowEnabled(d.Button("配对并连接")) != FALSE; }));

    // The pairing dialog's port used to connect.
    SetWindowTextA(d.ConnectAddress(), "192.168.1.23:41234");
    PostMessageA(d.Button("连接"), BM_CLICK, 0, 0);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(d.Status(), "配对用的端口"); })) << d.Status();
    ASSERT_TRUE(tool.WaitFor([&] { return IsWindowEnabled(d.Button("连接")) != FALSE; }));

    // The owner left the page: the dialog and its code are gone.
    Rewrite(tool, " pair-port=41234 code=482915", "");
    Pair(d, "482915");
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(d.Status(), "配对码已失效"); })) << d.Status();
    ASSERT_TRUE(tool.WaitFor([&] { return IsWindowEnabled(d.Button("配对并连接")) != FALSE; }));

    // Opened again: a new port and code, found by the window by itself.
    Rewrite(tool, "wireless guid=adb-R58M123-AbCdEf", "wireless guid=adb-R58M123-AbCdEf pair-port=41999 code=654321");
    ASSERT_TRUE(tool.WaitFor([&] { return TextOf(d.PairAddress()) == "192.168.1.23:41999"; })) << d.Status();
    Pair(d, "654 321");
    ASSERT_TRUE(tool.WaitFor([&] { return !IsWindow(d.window); })) << d.Status();

    // Listed and read at once; acted on and undone like a phone on a cable.
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 2; })) << m.Status() << "\n" << m.Log();
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(m.ComboText(m.Combo(0)), "Pixel_7 192.168.1.23:37123");
    ASSERT_TRUE(m.Select({"com.user.app"}));
    ASSERT_TRUE(m.Click("禁用"));
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(test::PackageLine(tool, "com.user.app"), "disabled-user"); }));
    ASSERT_TRUE(m.WaitIdle());
    ASSERT_TRUE(m.Click("全部撤销"));
    std::string box;
    ASSERT_TRUE(m.WaitBox(&box));
    EXPECT_TRUE(Contains(box, "com.user.app：启用")) << box;
    m.AnswerBox(IDYES);
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(test::PackageLine(tool, "com.user.app"), " enabled "); }));
    ASSERT_TRUE(m.WaitIdle());

    // The phone went away (it slept): 刷新 brings it back without a code.
    ASSERT_EQ(dev::Adb(tool.Folder() + "\\adb_1.0.40\\adb.exe").Run({"disconnect", "192.168.1.23:37123"}).exitCode, 0u);
    ASSERT_TRUE(m.Click("刷新"));
    ASSERT_TRUE(m.WaitIdle());
    EXPECT_EQ(m.ComboText(m.Combo(0)), "Pixel_7 192.168.1.23:37123") << m.Status();
    EXPECT_EQ(m.RowCount(), 2);
    EXPECT_TRUE(Contains(test::PhoneState(tool), "device 192.168.1.23:37123 device"));
}


// A phone-assistant program's adb holds adb's port: the status line says
// so. Where the system names the port's owner (Windows) the tool asks, and
// with a yes ends it and reads again; Wine shows no owner of a socket, so
// there the program is described, nothing is offered, and the phone comes
// once that program is gone and 刷新 is pressed.
TEST_F(Wireless, AnotherProgramsAdbOnThePortIsSaid) {
    ToolUnderTest tool("wl-rival", "platform-tools 34.0.5\nconnect-ms 0\ncommand-ms 0\nvm-ms 0\nscript-ms 0\n"
                                   "device USB123 device product:p model:M device:d\npackage com.a enabled third-party\n");
    test::Rival rival(tool.Folder() + "\\adb_1.0.40\\adb.exe", tool.Folder() + "\\suite_adb.exe");
    ASSERT_TRUE(rival.Serving());
    bool named = conn::FindPortOwner(rival.Port()).Known();

    ASSERT_TRUE(tool.Start());
    ManagerUnderTest m(tool);
    ASSERT_TRUE(m.Open());
    std::string port = "端口 " + std::to_string(rival.Port());
    std::string want = named ? port + " 被 suite_adb.exe 占用，它自带的 adb 与本工具的版本不同"
                             : port + " 被另一个程序的 adb 服务占用，它与本工具的 adb 版本不同（它的是 31 版，本工具的是 41 版）";
    ASSERT_TRUE(tool.WaitFor([&] { return Contains(m.Status(), want); })) << m.Status();
    if (named) {
        std::string box;
        ASSERT_TRUE(m.WaitBox(&box));
        EXPECT_TRUE(Contains(box, "suite_adb.exe")) << box;
        m.AnswerBox(IDYES);
        ASSERT_TRUE(tool.WaitFor([&] { return rival.Ended(); }));
    } else {
        ASSERT_TRUE(m.WaitIdle());
        EXPECT_FALSE(m.BoxShown()) << "no owner known: nothing to offer";
        rival.End();
        ASSERT_TRUE(m.Click("刷新"));
    }
    ASSERT_TRUE(tool.WaitFor([&] { return m.RowCount() == 1; })) << m.Status();
}

} // namespace
