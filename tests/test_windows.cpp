// Menu bars and accelerators from menu-item units, further windows loaded by
// library code (owned, modal, closed and loaded again), the start-up window's
// system-menu item, and the re-layout that lets a list grow with its window.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "app/handlers.h"
#include "commands/commands.h"
#include "forms/forms.h"
#include "forms/loader.h"
#include "forms/menubar.h"
#include "forms/windowunit.h"
#include "forms/wnd.h"
#include "runtime/app.h"
#include "runtime/services.h"
#include "support/capture.h"
#include "support/formhost.h"

namespace {

using data::UnitSpec;
using data::WindowSpec;
using rt::kServices;

constexpr uint32_t kMain = 0x52010001;
constexpr uint32_t kSecond = 0x52010002;
constexpr uint32_t kWindowUnit = 0x06010000;
constexpr uint32_t kFile = 0x26010001, kOpen = 0x26010002, kSep = 0x26010003, kRecent = 0x26010004,
                   kRecentA = 0x26010005, kQuit = 0x26010006, kView = 0x26010007, kHiddenItem = 0x26010008,
                   kHelp = 0x26010009;
constexpr uint32_t kList = 0x16010020, kButton = 0x16010021, kLabel = 0x16010022, kSide = 0x16010023;

UnitSpec WindowUnit(int32_t width, int32_t height, std::vector<data::EventSpec> events, std::vector<uint8_t> data = {}) {
    UnitSpec u;
    u.id = kWindowUnit;
    u.type = rt::kTypeWindow;
    u.left = 100;
    u.top = 100;
    u.width = width;
    u.height = height;
    u.flags = forms::kUnitVisible;
    u.events = std::move(events);
    u.typeData = std::move(data);
    return u;
}

UnitSpec MenuItem(uint32_t id, uint32_t level, const char* caption, int32_t tag, uint32_t flags = 0,
                  uint32_t accel = 0) {
    UnitSpec u;
    u.id = id;
    u.type = rt::kTypeMenuItem;
    u.menuWords[0] = level;
    u.menuWords[1] = accel;
    u.flags = flags;
    u.caption = caption;
    u.menuHandler = tag < 0 ? -1 : test::Plain(tag);
    return u;
}

UnitSpec Control(uint32_t id, uint32_t type, int l, int t, int w, int h, const char* caption) {
    UnitSpec u;
    u.id = id;
    u.type = type;
    u.left = l;
    u.top = t;
    u.width = w;
    u.height = h;
    u.flags = forms::kUnitVisible | forms::kUnitTabStop;
    u.typeData = test::TestUnitData(caption);
    return u;
}

// 文件 (Open Ctrl+O, -, Recent > A, Quit), 视图 (disabled, checked),
// a hidden top-level item, 帮助 with no drop-down.
WindowSpec MenuWindow() {
    WindowSpec w;
    w.id = kMain;
    w.units = {
        WindowUnit(400, 300, {}),
        MenuItem(kFile, 0, "文件(&F)", -1),
        MenuItem(kOpen, 1, "打开(&O)...", 1, 0, forms::MakeAccelerator('O', forms::kAccelCtrl)),
        MenuItem(kSep, 1, "-", -1),
        MenuItem(kRecent, 1, "最近", -1),
        MenuItem(kRecentA, 2, "a.txt", 2, 0, forms::MakeAccelerator(VK_F5, forms::kAccelShift)),
        MenuItem(kQuit, 1, "退出", 3),
        MenuItem(kView, 0, "视图", 4, forms::kMenuDisabled | forms::kMenuChecked),
        MenuItem(kHiddenItem, 0, "隐藏", 5, forms::kMenuHidden),
        MenuItem(kHelp, 0, "帮助", 6, 0, forms::MakeAccelerator(VK_F1, 0)),
        Control(kButton, rt::kTypeButton, 10, 10, 80, 25, "OK"),
    };
    return w;
}

std::string ItemText(HMENU m, UINT pos) {
    char buf[128] = {};
    GetMenuStringA(m, pos, buf, sizeof buf, MF_BYPOSITION);
    return buf;
}

class Windows : public ::testing::Test {
protected:
    void Start(const std::vector<WindowSpec>& windows, const rt::HandlerMapEntry* handlers = test::kTestHandlers) {
        test::StartFormsRuntime(data::BuildTemplate(windows), handlers);
        commands::gCoreLink.Attach(&rt::RuntimeCallbackEntry);
        test::Events().clear();
        test::gOnEvent = nullptr;
    }
    HWND LoadMain() {
        EXPECT_EQ(forms::LoadWindow(rt::gApp.windows.Find(kMain), false, false, nullptr), 1);
        return forms::WindowHandle(kMain);
    }
    void TearDown() override {
        test::gOnEvent = nullptr;
        for (uint32_t id : {kSecond, kMain})
            if (HWND h = forms::WindowHandle(id)) DestroyWindow(h);
        rt::PumpPendingMessages();
    }
    static rt::ArgRecord WindowArg(uint32_t id) { return rt::ArgRecord{id, 0, rt::kTypeWindow}; }
    static bool LoadByCommand(uint32_t id, bool modal, uint32_t owner) {
        rt::ArgRecord args[3] = {WindowArg(id), rt::ArgRecord{modal ? 1u : 0u, 0, rt::kTypeBool},
                                 owner ? WindowArg(owner) : rt::ArgRecord{0, 0, 0}};
        rt::ArgRecord result = {};
        commands::LoadWindow(&result, 3, args);
        return result.lo != 0;
    }
    static void KeyDown(HWND target, WPARAM vk, BYTE modifier = 0) {
        BYTE keys[256];
        GetKeyboardState(keys);
        if (modifier) keys[modifier] = 0x80;
        SetKeyboardState(keys);
        MSG m = {};
        m.hwnd = target;
        m.message = WM_KEYDOWN;
        m.wParam = vk;
        if (!forms::PreTranslate(&m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        if (modifier) keys[modifier] = 0;
        SetKeyboardState(keys);
    }
    std::vector<std::pair<uint32_t, int32_t>> Seen() {
        std::vector<std::pair<uint32_t, int32_t>> seen;
        for (const test::EventLog& e : test::Events()) seen.emplace_back(e.unit, e.tag);
        return seen;
    }
};

// --- menu bars ------------------------------------------------------------------------

TEST_F(Windows, MenuBarFollowsLevelsFlagsAndAccelerators) {
    Start({MenuWindow()});
    HWND w = LoadMain();
    ASSERT_NE(w, nullptr);
    HMENU bar = GetMenu(w);
    ASSERT_NE(bar, nullptr);
    // The hidden item is left out.
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    EXPECT_EQ(ItemText(bar, 0), "文件(&F)");
    EXPECT_EQ(ItemText(bar, 1), "视图");
    EXPECT_EQ(ItemText(bar, 2), "帮助\tF1");
    UINT viewState = GetMenuState(bar, 1, MF_BYPOSITION);
    EXPECT_TRUE(viewState & MF_GRAYED);
    EXPECT_TRUE(viewState & MF_CHECKED);

    HMENU file = GetSubMenu(bar, 0);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(GetMenuItemCount(file), 4);
    EXPECT_EQ(ItemText(file, 0), "打开(&O)...\tCtrl+O");
    EXPECT_TRUE(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR);
    HMENU recent = GetSubMenu(file, 2);
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(GetMenuItemCount(recent), 1);
    EXPECT_EQ(ItemText(recent, 0), "a.txt\tShift+F5");
    EXPECT_EQ(ItemText(file, 3), "退出");

    // Choosing an item raises the item's event with the item as source.
    SendMessageA(w, WM_COMMAND, GetMenuItemID(file, 3), 0);
    SendMessageA(w, WM_COMMAND, GetMenuItemID(recent, 0), 0);
    // Accelerators: Ctrl+O and Shift+F5; F5 alone and O alone are not keys of ours.
    KeyDown(forms::WindowHandle(kMain), 'O', VK_CONTROL);
    KeyDown(w, VK_F5, VK_SHIFT);
    KeyDown(w, VK_F5);
    // The disabled item's command is refused even when sent.
    SendMessageA(w, WM_COMMAND, GetMenuItemID(bar, 1), 0);
    EXPECT_EQ(Seen(), (std::vector<std::pair<uint32_t, int32_t>>{{kQuit, 3}, {kRecentA, 2}, {kOpen, 1}, {kRecentA, 2}}));
}

TEST_F(Windows, MenuWritesRebuildTheBarOnlyWhenSomethingChanges) {
    Start({MenuWindow()});
    HWND w = LoadMain();
    HMENU before = GetMenu(w);
    // Same caption, same flag: the bar stays as it is.
    kServices.writeProperty(kMain, kFile, 0, -1, static_cast<uint32_t>(reinterpret_cast<uintptr_t>("文件(&F)")), 0);
    kServices.writeProperty(kMain, kView, 2, -1, 1, 0);
    EXPECT_EQ(GetMenu(w), before);
    EXPECT_TRUE(IsMenu(before));

    kServices.writeProperty(kMain, kFile, 0, -1, static_cast<uint32_t>(reinterpret_cast<uintptr_t>("档案")), 0);
    HMENU bar = GetMenu(w);
    EXPECT_NE(bar, before);
    EXPECT_FALSE(IsMenu(before));   // the old one is destroyed
    EXPECT_EQ(ItemText(bar, 0), "档案");
    char* caption = reinterpret_cast<char*>(static_cast<uintptr_t>(kServices.readProperty(kMain, kFile, 0, -1)));
    EXPECT_STREQ(caption, "档案");
    kServices.free(caption);

    // Disabling 打开 greys it and takes its accelerator away.
    kServices.writeProperty(kMain, kOpen, 2, -1, 1, 0);
    EXPECT_TRUE(GetMenuState(GetSubMenu(GetMenu(w), 0), 0, MF_BYPOSITION) & MF_GRAYED);
    KeyDown(w, 'O', VK_CONTROL);
    // Showing the hidden item and un-checking 视图.
    kServices.writeProperty(kMain, kHiddenItem, 3, -1, 1, 0);
    kServices.writeProperty(kMain, kView, 1, -1, 0, 0);
    bar = GetMenu(w);
    ASSERT_EQ(GetMenuItemCount(bar), 4);
    EXPECT_EQ(ItemText(bar, 2), "隐藏");
    EXPECT_FALSE(GetMenuState(bar, 1, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_EQ(kServices.readProperty(kMain, kHiddenItem, 3, -1), 1);
    EXPECT_EQ(kServices.readProperty(kMain, kView, 1, -1), 0);
    // Hiding the drop-down's head hides its items: 退出 no longer answers.
    UINT quit = GetMenuItemID(GetSubMenu(bar, 0), 3);
    kServices.writeProperty(kMain, kFile, 3, -1, 0, 0);
    EXPECT_EQ(GetMenuItemCount(GetMenu(w)), 3);
    SendMessageA(w, WM_COMMAND, quit, 0);
    EXPECT_TRUE(test::Events().empty());
}

TEST_F(Windows, ReloadedWindowShowsItsStoredMenu) {
    Start({MenuWindow()});
    HWND w = LoadMain();
    kServices.writeProperty(kMain, kHelp, 0, -1, static_cast<uint32_t>(reinterpret_cast<uintptr_t>("关于")), 0);
    DestroyWindow(w);
    rt::PumpPendingMessages();
    w = LoadMain();
    EXPECT_EQ(ItemText(GetMenu(w), 2), "帮助\tF1");
}

// --- further windows ---------------------------------------------------------------------

WindowSpec PlainWindow(uint32_t id, std::vector<data::EventSpec> events, const char* caption) {
    WindowSpec w;
    w.id = id;
    w.units = {WindowUnit(300, 200, std::move(events)), Control(kButton, rt::kTypeButton, 10, 10, 80, 25, caption)};
    return w;
}

TEST_F(Windows, OwnedWindowLoadsOnceClosesAndLoadsAgainWithItsStoredValues) {
    Start({PlainWindow(kMain, {}, "main"), PlainWindow(kSecond, {{0, test::Plain(7)}, {2, test::Plain(8)}}, "second")});
    HWND main = LoadMain();
    ASSERT_TRUE(LoadByCommand(kSecond, false, kMain));
    HWND second = forms::WindowHandle(kSecond);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetWindow(second, GW_OWNER), main);
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_TRUE(IsWindowEnabled(main));   // not modal

    kServices.writeProperty(kSecond, kButton, 8, -1, static_cast<uint32_t>(reinterpret_cast<uintptr_t>("changed")), 0);
    // A second load finds it and brings it forward instead of making another.
    SetActiveWindow(main);
    ASSERT_TRUE(LoadByCommand(kSecond, false, kMain));
    EXPECT_EQ(forms::WindowHandle(kSecond), second);
    EXPECT_EQ(GetActiveWindow(), second);
    ShowWindow(second, SW_MINIMIZE);
    ASSERT_TRUE(LoadByCommand(kSecond, false, kMain));
    EXPECT_FALSE(IsIconic(second));

    SendMessageA(second, WM_CLOSE, 0, 0);
    rt::PumpPendingMessages();
    EXPECT_EQ(forms::WindowHandle(kSecond), nullptr);
    EXPECT_NE(forms::WindowHandle(kMain), nullptr);   // the owner lives on

    ASSERT_TRUE(LoadByCommand(kSecond, false, kMain));
    char* caption = reinterpret_cast<char*>(static_cast<uintptr_t>(kServices.readProperty(kSecond, kButton, 8, -1)));
    EXPECT_STREQ(caption, "second");
    kServices.free(caption);
    EXPECT_EQ(Seen(), (std::vector<std::pair<uint32_t, int32_t>>{{kWindowUnit, 7}, {kWindowUnit, 8}, {kWindowUnit, 7}}));

    // An owner that is not loaded is refused; so is a window the table lacks.
    DestroyWindow(forms::WindowHandle(kSecond));
    EXPECT_FALSE(LoadByCommand(kSecond, false, 0x52010009));
    EXPECT_FALSE(LoadByCommand(0x52010009, false, 0));
    EXPECT_EQ(forms::WindowHandle(kSecond), nullptr);
}

TEST_F(Windows, ModalWindowDisablesTheOthersUntilItCloses) {
    // The modal window closes itself once it is up; its closing handler
    // looks at the main window while the modal loop still runs.
    Start({PlainWindow(kMain, {}, "main"), PlainWindow(kSecond, {{0, test::Plain(7)}, {12, test::Plain(9)}}, "modal")});
    HWND main = LoadMain();
    static HWND sMain;
    static bool sMainEnabledWhileModal;
    static HWND sOwner;
    sMain = main;
    sMainEnabledWhileModal = true;
    test::gOnEvent = [](const test::EventLog& e) {
        if (e.tag == 7) PostMessageA(forms::WindowHandle(kSecond), WM_CLOSE, 0, 0);
        if (e.tag == 9) {
            sMainEnabledWhileModal = IsWindowEnabled(sMain) != FALSE;
            sOwner = GetWindow(forms::WindowHandle(kSecond), GW_OWNER);
        }
    };
    // The modal load returns once the window has closed.
    EXPECT_FALSE(LoadByCommand(kSecond, true, kMain));
    EXPECT_EQ(forms::WindowHandle(kSecond), nullptr);
    EXPECT_FALSE(sMainEnabledWhileModal);
    EXPECT_EQ(sOwner, rt::gApp.hiddenOwner);   // a modal load ignores the owner given
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(rt::gApp.modalWindow, 0u);
    EXPECT_EQ(Seen(), (std::vector<std::pair<uint32_t, int32_t>>{{kWindowUnit, 7}, {kWindowUnit, 9}}));
}

// --- the start-up window's system menu ---------------------------------------------

TEST_F(Windows, SystemMenuItemOpensTheManagerWindowOnce) {
    // The program's own handlers on small windows of the tests' types: the
    // start-up window's created event adds the item, the item loads 0x52010002.
    static const rt::HandlerMapEntry kAppHandlers[] = {{1, app::OnWindowCreated}, {0, nullptr}};
    Start({PlainWindow(kMain, {{0, 1}}, "main"), PlainWindow(kSecond, {}, "manager")}, kAppHandlers);
    HWND main = LoadMain();
    HMENU sys = GetSystemMenu(main, FALSE);
    int n = GetMenuItemCount(sys);
    ASSERT_GE(n, 2);
    EXPECT_TRUE(GetMenuState(sys, static_cast<UINT>(n - 2), MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(ItemText(sys, static_cast<UINT>(n - 1)), "应用管理(&P)...");
    UINT command = GetMenuItemID(sys, n - 1);

    SendMessageA(main, WM_SYSCOMMAND, command, 0);
    HWND manager = forms::WindowHandle(kSecond);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(GetWindow(manager, GW_OWNER), main);
    SetActiveWindow(main);
    SendMessageA(main, WM_SYSCOMMAND, command, 0);
    EXPECT_EQ(forms::WindowHandle(kSecond), manager);
    EXPECT_EQ(GetActiveWindow(), manager);

    SendMessageA(manager, WM_CLOSE, 0, 0);
    rt::PumpPendingMessages();
    ASSERT_EQ(forms::WindowHandle(kSecond), nullptr);
    SendMessageA(main, WM_SYSCOMMAND, command, 0);
    EXPECT_NE(forms::WindowHandle(kSecond), nullptr);
    // Events are suppressed while the runtime is busy; so is the item.
    DestroyWindow(forms::WindowHandle(kSecond));
    rt::BeginBusy();
    SendMessageA(main, WM_SYSCOMMAND, command, 0);
    rt::EndBusy();
    EXPECT_EQ(forms::WindowHandle(kSecond), nullptr);
}

// --- the caption --------------------------------------------------------------------

// The dark pixels of `r` in `s`, cut to their bounding box.
struct Glyph {
    int w = 0, h = 0;
    std::vector<bool> ink;
    bool At(int x, int y) const { return ink[y * w + x]; }
    std::string Picture() const {   // for failure messages
        std::string out = "\n";
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) out += At(x, y) ? '#' : '.';
            out += '\n';
        }
        return out;
    }
    bool Mirrored(bool acrossRows) const {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (At(x, y) != (acrossRows ? At(x, h - 1 - y) : At(w - 1 - x, y))) return false;
        return true;
    }
};
Glyph GlyphIn(const test::Shot& s, RECT r) {
    auto dark = [&](int x, int y) {
        COLORREF c = s.At(x, y);
        return GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 100;
    };
    RECT box = {r.right, r.bottom, r.left, r.top};
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            if (dark(x, y))
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                       std::max(box.bottom, y + 1)};
    Glyph g;
    if (box.right <= box.left) return g;
    g.w = box.right - box.left;
    g.h = box.bottom - box.top;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) g.ink.push_back(dark(x, y));
    return g;
}

// Captions draw their buttons with the Marlett face; a prefix without it
// shows the face's letters instead ("0 1 r").
TEST_F(Windows, CaptionButtonsShowACrossAndABarNotLetters) {
    WindowSpec w;
    w.id = kMain;
    w.units = {WindowUnit(300, 200, {})};
    Start({w});
    HWND main = LoadMain();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(GetWindowLongPtrA(main, GWL_STYLE) & WS_MINIMIZEBOX);
    TITLEBARINFO bar = {};
    bar.cbSize = sizeof bar;
    ASSERT_TRUE(GetTitleBarInfo(main, &bar));
    RECT outer;
    GetWindowRect(main, &outer);
    OffsetRect(&bar.rcTitleBar, -outer.left, -outer.top);
    const test::Shot shot = test::CaptureWindow(main);
    // The buttons' faces, without the raised edges round them: close at the
    // right end of the title bar, minimise two buttons to its left.
    const int size = GetSystemMetrics(SM_CXSIZE), edge = 3;
    RECT close = {bar.rcTitleBar.right - size + edge, bar.rcTitleBar.top + edge, bar.rcTitleBar.right - edge,
                  bar.rcTitleBar.bottom - edge};
    RECT minimise = close;
    OffsetRect(&minimise, -2 * size - 2, 0);

    Glyph cross = GlyphIn(shot, close);
    ASSERT_TRUE(cross.w >= 5 && cross.h >= 5) << cross.Picture();
    EXPECT_TRUE(cross.At(0, 0) && cross.At(cross.w - 1, 0) && cross.At(0, cross.h - 1) &&
                cross.At(cross.w - 1, cross.h - 1) && cross.At(cross.w / 2, cross.h / 2))
        << "both diagonals of an X" << cross.Picture();
    EXPECT_TRUE(cross.Mirrored(false)) << "an X reads the same from the right; an r does not" << cross.Picture();
    EXPECT_TRUE(cross.Mirrored(true)) << cross.Picture();

    Glyph line = GlyphIn(shot, minimise);
    EXPECT_TRUE(line.w >= 4 && line.h >= 1 && line.h <= 2) << "a bar, not the letter 0" << line.Picture();
    EXPECT_EQ(line.ink, std::vector<bool>(line.ink.size(), true)) << line.Picture();
}

// --- re-layout -------------------------------------------------------------------------

RECT RectIn(HWND parent, HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(Windows, ResizableWindowGrowsItsTallestUnitAndMovesWhatLiesBelow) {
    forms::WindowProps props;
    props.border = 1;
    props.maxButton = true;
    props.relayout = 1;
    WindowSpec w;
    w.id = kMain;
    w.units = {
        WindowUnit(420, 320, {}, forms::EncodeWindowProps(props)),
        Control(kSide, rt::kTypeLabel, 320, 40, 60, 20, "side"),        // right of the list: moves right
        Control(kButton, rt::kTypeButton, 10, 200, 80, 25, "below"),    // below the list: moves down
        Control(kLabel, rt::kTypeLabel, 10, 10, 300, 20, "count"),      // reaches the list's right edge: stretches
        Control(kList, rt::kTypeRichEdit, 10, 40, 300, 150, "list"),
    };
    Start({w});
    HWND win = LoadMain();
    ASSERT_NE(win, nullptr);
    EXPECT_TRUE(GetWindowLongPtrA(win, GWL_STYLE) & WS_THICKFRAME);
    auto at = [&](uint32_t unit) { return RectIn(win, static_cast<rt::ControlHead*>(forms::UnitObject(kMain, unit))->hwnd); };
    const RECT list0 = at(kList), button0 = at(kButton), label0 = at(kLabel), side0 = at(kSide);

    SetWindowPos(win, nullptr, 0, 0, 420 + 100, 320 + 80, SWP_NOMOVE | SWP_NOZORDER);
    RECT list = at(kList), button = at(kButton), label = at(kLabel), side = at(kSide);
    EXPECT_EQ(list.right - list0.right, 100);
    EXPECT_EQ(list.bottom - list0.bottom, 80);
    EXPECT_EQ(list.left, list0.left);
    EXPECT_EQ(list.top, list0.top);
    EXPECT_EQ(button.top - button0.top, 80);
    EXPECT_EQ(button.left, button0.left);
    EXPECT_EQ(button.right - button.left, 80);
    EXPECT_EQ(label.right - label0.right, 100);
    EXPECT_EQ(label.top, label0.top);
    EXPECT_EQ(side.left - side0.left, 100);
    EXPECT_EQ(side.right - side.left, 60);

    // Smaller than designed: everything stays where it was designed, and
    // the user cannot drag the frame that small.
    SetWindowPos(win, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    list = at(kList);
    EXPECT_TRUE(EqualRect(&list, &list0));
    button = at(kButton);
    EXPECT_TRUE(EqualRect(&button, &button0));
    MINMAXINFO mm = {};
    SendMessageA(win, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
    EXPECT_EQ(mm.ptMinTrackSize.x, 420);
    EXPECT_EQ(mm.ptMinTrackSize.y, 320);

    // Maximised and back.
    ShowWindow(win, SW_MAXIMIZE);
    list = at(kList);
    EXPECT_GT(list.right, list0.right);
    ShowWindow(win, SW_RESTORE);
    SetWindowPos(win, nullptr, 0, 0, 420, 320, SWP_NOMOVE | SWP_NOZORDER);
    list = at(kList);
    EXPECT_TRUE(EqualRect(&list, &list0));
}

TEST_F(Windows, WindowStoredMaximisedIsLaidOutAtOnceAndRestoresToItsDesign) {
    forms::WindowProps props;
    props.border = 1;
    props.maxButton = true;
    props.position = 3;
    props.relayout = 1;
    WindowSpec w;
    w.id = kMain;
    w.units = {WindowUnit(420, 320, {}, forms::EncodeWindowProps(props)),
               Control(kList, rt::kTypeRichEdit, 10, 40, 300, 150, "list")};
    Start({w});
    HWND win = LoadMain();
    ASSERT_TRUE(IsZoomed(win));
    HWND list = static_cast<rt::ControlHead*>(forms::UnitObject(kMain, kList))->hwnd;
    RECT client, outer, r = RectIn(win, list);
    GetClientRect(win, &client);
    GetWindowRect(win, &outer);
    // The margins to the right and bottom edges are the designed ones.
    const LONG frameX = outer.right - outer.left - client.right, frameY = outer.bottom - outer.top - client.bottom;
    EXPECT_EQ(client.right - r.right, 420 - frameX - 310);
    EXPECT_EQ(client.bottom - r.bottom, 320 - frameY - 190);
    ShowWindow(win, SW_RESTORE);
    r = RectIn(win, list);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.bottom - r.top, 150);
    MINMAXINFO mm = {};
    SendMessageA(win, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
    EXPECT_EQ(mm.ptMinTrackSize.x, 420);
}

TEST_F(Windows, FixedWindowKeepsItsLayout) {
    WindowSpec w;
    w.id = kMain;
    w.units = {WindowUnit(420, 320, {}), Control(kList, rt::kTypeRichEdit, 10, 40, 300, 150, "list")};
    Start({w});
    HWND win = LoadMain();
    HWND list = static_cast<rt::ControlHead*>(forms::UnitObject(kMain, kList))->hwnd;
    RECT before = RectIn(win, list);
    EXPECT_FALSE(GetWindowLongPtrA(win, GWL_STYLE) & WS_THICKFRAME);
    SetWindowPos(win, nullptr, 0, 0, 600, 500, SWP_NOMOVE | SWP_NOZORDER);
    RECT after = RectIn(win, list);
    EXPECT_TRUE(EqualRect(&before, &after));
}

} // namespace

// --- events posted from other threads ----------------------------------------------------

TEST_F(Windows, PostedEventsArriveInOrderAndAreNeverLostWhileTheRuntimeIsBusy) {
    Start({PlainWindow(kMain, {{13, test::Plain(5)}}, "main")});
    LoadMain();
    uint32_t target = static_cast<uint32_t>(kServices.auxiliary(rt::kAuxPostTarget, kMain));
    ASSERT_NE(target, 0u);
    auto posted = [&] {
        std::vector<int64_t> args;
        for (const test::EventLog& e : test::Events())
            if (e.tag == 5 && !e.args.empty()) args.push_back(e.args[0]);
        return args;
    };

    // From a worker thread, as the package manager's jobs post.
    struct Poster {
        uint32_t target;
        static DWORD WINAPI Run(void* p) {
            for (int32_t i = 1; i <= 3; i++) kServices.auxiliary(rt::kAuxPostEvent, static_cast<Poster*>(p)->target, i);
            return 0;
        }
    } poster{target};
    HANDLE thread = CreateThread(nullptr, 0, &Poster::Run, &poster, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_TRUE(test::PumpUntil([&] { return posted().size() == 3; })) << posted().size();
    EXPECT_EQ(posted(), (std::vector<int64_t>{1, 2, 3}));

    // Arriving while a control is re-created (events suppressed, messages
    // pumped), the event waits and comes afterwards.
    rt::gApp.busy++;
    kServices.auxiliary(rt::kAuxPostEvent, target, 4);
    rt::PumpPendingMessages();
    EXPECT_EQ(posted().size(), 3u) << "no event while busy";
    rt::gApp.busy--;
    ASSERT_TRUE(test::PumpUntil([&] { return posted().size() == 4; })) << "the event posted while busy was lost";
    EXPECT_EQ(posted().back(), 4);
}

// A window whose WM_CREATE refuses (as every window does under Wine without
// a display driver): Windows sends WM_NCDESTROY before CreateWindowEx
// returns, and the object still belongs to its creator, which deletes it.
class RefusingWnd : public forms::Wnd {
public:
    explicit RefusingWnd(int* freed) : freed_(freed) {}
    ~RefusingWnd() override { ++*freed_; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        return msg == WM_CREATE ? -1 : Default(msg, wp, lp);
    }
    void PostNcDestroy() override { delete this; }

private:
    int* freed_;
};

TEST(WindowObjects, CreationRefusedAfterNcCreateLeavesTheObjectToItsCaller) {
    ASSERT_TRUE(forms::Wnd::RegisterClass("KeelRefusing", 0, nullptr, nullptr));
    int freed = 0;
    RefusingWnd* w = new RefusingWnd(&freed);
    EXPECT_FALSE(w->Create(0, "KeelRefusing", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(freed, 0) << "deleted under its creator";
    EXPECT_EQ(w->hwnd, nullptr);
    delete w;
    EXPECT_EQ(freed, 1);
}
