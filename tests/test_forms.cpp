// Form loading, the window unit, event dispatch, keyboard handling and
// property access, on the program's template and on small test templates,
// with unit types of the tests' own.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "data/template.h"
#include "app/program.h"
#include "forms/forms.h"
#include "forms/loader.h"
#include "runtime/app.h"
#include "runtime/services.h"
#include "support/child.h"
#include "support/formhost.h"

namespace {

using data::UnitSpec;
using data::WindowSpec;
using rt::kServices;

constexpr uint32_t kTestWindow = 0x52010002;
constexpr uint32_t kButtonA = 0x16010010, kButtonB = 0x16010011, kEdit = 0x16010012, kLabel = 0x16010013;

UnitSpec Unit(uint32_t id, const char* name, uint32_t type, int l, int t, int w, int h, uint32_t flags,
              std::vector<data::EventSpec> events, const std::string& caption, int32_t extra = 0) {
    UnitSpec u;
    u.id = id;
    u.name = name;
    u.type = type;
    u.left = l;
    u.top = t;
    u.width = w;
    u.height = h;
    u.flags = flags;
    u.events = std::move(events);
    u.typeData = test::TestUnitData(caption, extra);
    return u;
}

std::vector<uint8_t> TestTemplate(std::vector<data::EventSpec> windowEvents) {
    WindowSpec w;
    w.id = kTestWindow;
    UnitSpec win;
    win.id = 0x06010000;
    win.type = rt::kTypeWindow;
    win.left = 100;
    win.top = 100;
    win.width = 400;
    win.height = 300;
    win.flags = forms::kUnitVisible;
    win.events = std::move(windowEvents);
    w.units.push_back(win);
    w.units.push_back(Unit(kLabel, "label", rt::kTypeLabel, 10, 90, 100, 20, 1, {}, "label"));
    w.units.push_back(Unit(kEdit, "edit", rt::kTypeEditBox, 10, 50, 200, 22, 5, {{-7, test::Plain(20)}}, "text"));
    w.units.push_back(Unit(kButtonB, "b", rt::kTypeButton, 100, 10, 80, 25, 5, {{0, test::Plain(11)}}, "Default", 1));
    w.units.push_back(Unit(kButtonA, "a", rt::kTypeButton, 10, 10, 80, 25, 5, {{0, test::Plain(10)}}, "OK"));
    return data::BuildTemplate({w});
}

const std::vector<data::EventSpec> kPlainWindowEvents = {
    {0, test::Plain(0)}, {3, test::Plain(3)}, {4, test::Plain(4)}};

class Forms : public ::testing::Test {
protected:
    void Load(std::vector<data::EventSpec> windowEvents = kPlainWindowEvents) {
        test::StartFormsRuntime(TestTemplate(std::move(windowEvents)), test::kTestHandlers);
        test::Events().clear();
        test::gOnEvent = nullptr;
        ASSERT_EQ(forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr), 1);
        hwnd = forms::WindowHandle(kTestWindow);
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override {
        test::gOnEvent = nullptr;
        if (HWND h = forms::WindowHandle(kTestWindow)) DestroyWindow(h);
        rt::PumpPendingMessages();
    }
    HWND Control(uint32_t unit) {
        void* o = forms::UnitObject(kTestWindow, unit);
        return o ? static_cast<rt::ControlHead*>(o)->hwnd : nullptr;
    }
    std::vector<int32_t> Tags() {
        std::vector<int32_t> t;
        for (auto& e : test::Events()) t.push_back(e.tag);
        return t;
    }
    static void Key(HWND target, WPARAM vk, bool shift = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG m = {};
        m.hwnd = target;
        m.message = WM_KEYDOWN;
        m.wParam = vk;
        if (!forms::PreTranslate(&m)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
    HWND hwnd = nullptr;
};

TEST_F(Forms, LoadRaisesCreatedMovedSizedInOrderAndBuildsEveryUnit) {
    Load();
    std::vector<int32_t> tags = Tags();
    ASSERT_GE(tags.size(), 3u);
    EXPECT_EQ(std::vector<int32_t>(tags.begin(), tags.begin() + 3), (std::vector<int32_t>{0, 3, 4}));
    for (uint32_t u : {kButtonA, kButtonB, kEdit, kLabel}) {
        HWND c = Control(u);
        ASSERT_NE(c, nullptr) << std::hex << u;
        EXPECT_EQ(GetParent(c), hwnd);
    }
    // Controls are created in ascending identifier order with identifiers from 100.
    EXPECT_EQ(GetDlgCtrlID(Control(kButtonA)), 100);
    EXPECT_EQ(GetDlgCtrlID(Control(kButtonB)), 110);
    EXPECT_EQ(GetDlgCtrlID(Control(kLabel)), 130);
    // Each control sits right after the nearest earlier sibling of the unit list.
    EXPECT_EQ(GetWindow(Control(kLabel), GW_HWNDNEXT), Control(kEdit));
    EXPECT_EQ(GetWindow(Control(kEdit), GW_HWNDNEXT), Control(kButtonB));
    EXPECT_EQ(GetWindow(Control(kButtonB), GW_HWNDNEXT), Control(kButtonA));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    char cls[64];
    GetClassNameA(hwnd, cls, sizeof cls);
    EXPECT_STREQ(cls, "RVWindow");
    // Loading an open window only activates it.
    EXPECT_EQ(forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr), 1);
    EXPECT_EQ(forms::WindowHandle(kTestWindow), hwnd);
}

TEST_F(Forms, ClickRaisesTheButtonsEventZero) {
    Load();
    test::Events().clear();
    SendMessageA(Control(kButtonA), BM_CLICK, 0, 0);
    ASSERT_EQ(test::Events().size(), 1u);
    EXPECT_EQ(test::Events()[0].tag, 10);
    EXPECT_EQ(test::Events()[0].unit, kButtonA);
    EXPECT_EQ(test::Events()[0].window, kTestWindow);
    // While the runtime is busy, events are dropped.
    test::Events().clear();
    rt::gApp.busy++;
    SendMessageA(Control(kButtonA), BM_CLICK, 0, 0);
    rt::gApp.busy--;
    EXPECT_TRUE(test::Events().empty());
}

TEST_F(Forms, ClosingRefusedByEventTwelveOrOne) {
    Load({{12, test::ReturnsFalse(12)}, {1, test::Plain(1)}});
    test::Events().clear();
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(Tags(), (std::vector<int32_t>{12}));   // no event 1
    DestroyWindow(hwnd);

    Load({{12, test::ReturnsTrue(12)}, {1, test::ReturnsFalse(1)}});
    test::Events().clear();
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(Tags(), (std::vector<int32_t>{12, 1}));
    DestroyWindow(hwnd);

    Load({{12, test::Plain(12)}, {1, test::ReturnsTrue(1)}, {2, test::Plain(2)}});
    test::Events().clear();
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(Tags(), (std::vector<int32_t>{12, 1, 2}));
    EXPECT_EQ(forms::WindowHandle(kTestWindow), nullptr);
}

TEST_F(Forms, ReloadShowsStoredValuesAgain) {
    Load();
    kServices.writeProperty(kTestWindow, kButtonA, 8, -1, reinterpret_cast<uintptr_t>("changed"), 0);
    kServices.writeProperty(kTestWindow, kButtonA, 4, -1, reinterpret_cast<uintptr_t>("a longer tag than before"), 0);
    kServices.writeProperty(kTestWindow, kButtonA, 0, -1, 33, 0);
    char* caption = reinterpret_cast<char*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 8, -1)));
    EXPECT_STREQ(caption, "changed");
    kServices.free(caption);
    // Later records stay addressable after the tag grew.
    EXPECT_EQ(kServices.readProperty(kTestWindow, kLabel, 1, -1), 90);
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    ASSERT_FALSE(IsWindow(hwnd));

    ASSERT_EQ(forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr), 1);
    caption = reinterpret_cast<char*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 8, -1)));
    EXPECT_STREQ(caption, "OK");
    kServices.free(caption);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 4, -1), 0);   // empty tag reads as null
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 0, -1), 10);
}

TEST_F(Forms, CommonPropertiesClampAndRoundTrip) {
    Load();
    kServices.writeProperty(kTestWindow, kButtonA, 0, -1, 40000, 0);
    EXPECT_EQ(rt::gApp.windows.Find(kTestWindow)->units.Find(kButtonA).Left(), 32627);
    kServices.writeProperty(kTestWindow, kButtonA, 0, -1, static_cast<uint32_t>(-40000), 0);
    EXPECT_EQ(rt::gApp.windows.Find(kTestWindow)->units.Find(kButtonA).Left(), -32627);
    kServices.writeProperty(kTestWindow, kButtonA, 0, -1, 15, 0);
    kServices.writeProperty(kTestWindow, kButtonA, 2, -1, static_cast<uint32_t>(-5), 0);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 2, -1), 0);
    kServices.writeProperty(kTestWindow, kButtonA, 2, -1, 70, 0);
    // Width keeps position and height; left keeps width.
    RECT r;
    GetWindowRect(Control(kButtonA), &r);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 15);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, 70);
    EXPECT_EQ(r.bottom - r.top, 25);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 0, -1), 15);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 1, -1), 10);
    // The window reports screen coordinates.
    RECT wr;
    GetWindowRect(hwnd, &wr);
    EXPECT_EQ(kServices.readProperty(kTestWindow, 0, 0, -1), wr.left);

    kServices.writeProperty(kTestWindow, kButtonB, 6, -1, 1, 0);
    EXPECT_FALSE(IsWindowEnabled(Control(kButtonB)));
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonB, 6, -1), 1);
    kServices.writeProperty(kTestWindow, kButtonB, 6, -1, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(Control(kButtonB)));
    kServices.writeProperty(kTestWindow, kLabel, 5, -1, 0, 0);
    EXPECT_FALSE(IsWindowVisible(Control(kLabel)));
    EXPECT_EQ(kServices.readProperty(kTestWindow, kLabel, 5, -1), 0);

    // Own properties: logical 2 is stored as 1, a negative pick as 0, null text as empty.
    kServices.writeProperty(kTestWindow, kButtonA, 10, -1, 2, 0);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 10, -1), 1);
    kServices.writeProperty(kTestWindow, kButtonA, 12, -1, static_cast<uint32_t>(-3), 0);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 12, -1), 0);
    kServices.writeProperty(kTestWindow, kButtonA, 8, -1, 0, 0);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 8, -1), 0);

    // Mouse pointer: the index form outside, the stock identifier inside.
    uint32_t bytes[3] = {1, 4, 14};   // byte set: one dimension, four bytes: index 14
    kServices.writeProperty(kTestWindow, kButtonA, 7, -1, reinterpret_cast<uintptr_t>(bytes), 0);
    uint32_t stored;
    std::memcpy(&stored, rt::gApp.windows.Find(kTestWindow)->units.Find(kButtonA).MousePointer(), 4);
    EXPECT_EQ(stored, 32649u);
    void* back = reinterpret_cast<void*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 7, -1)));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(rt::ByteSetData(back)[0], 14);
    kServices.free(back);
    EXPECT_NE(rt::gApp.windows.Find(kTestWindow)->units.Find(kButtonA).CursorSlot(), 0u);
}

TEST_F(Forms, FontsBySubFieldAndWhole) {
    Load();
    kServices.writeProperty(kTestWindow, kButtonA, 11, 0, static_cast<uint32_t>(-10), 0);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonA, 11, 0), 3590);
    const std::string face31(31, 'f'), face32(32, 'g');
    kServices.writeProperty(kTestWindow, kButtonA, 11, 6, reinterpret_cast<uintptr_t>(face31.c_str()), 0);
    char* face = reinterpret_cast<char*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 11, 6)));
    EXPECT_EQ(std::string(face), face31);
    kServices.free(face);
    kServices.writeProperty(kTestWindow, kButtonA, 11, 6, reinterpret_cast<uintptr_t>(face32.c_str()), 0);
    face = reinterpret_cast<char*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 11, 6)));
    EXPECT_STREQ(face, "宋体");
    kServices.free(face);

    struct { int32_t angle, bold, italic, strike, underline, size; const char* face; } font = {
        7210, 1, 1, 0, 1, 12, face31.c_str()};
    kServices.writeProperty(kTestWindow, kButtonA, 11, -1, reinterpret_cast<uintptr_t>(&font), 0);
    auto* whole = reinterpret_cast<decltype(font)*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 11, -1)));
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->angle, 7210);   // only a single angle write is taken modulo 3600
    EXPECT_EQ(whole->bold, 1);
    EXPECT_EQ(whole->italic, 1);
    EXPECT_EQ(whole->strike, 0);
    EXPECT_EQ(whole->underline, 1);
    EXPECT_EQ(whole->size, 12);
    EXPECT_STREQ(whole->face, "宋体");   // 31 characters inside the whole record
    kServices.free(const_cast<char*>(whole->face));
    kServices.free(whole);

    // A null face in the whole record is the default face; an empty one stays empty.
    for (const char* given : {static_cast<const char*>(nullptr), ""}) {
        font.face = given;
        kServices.writeProperty(kTestWindow, kButtonA, 11, -1, reinterpret_cast<uintptr_t>(&font), 0);
        face = reinterpret_cast<char*>(static_cast<intptr_t>(kServices.readProperty(kTestWindow, kButtonA, 11, 6)));
        EXPECT_STREQ(face ? face : "", given ? "" : "宋体");
        kServices.free(face);
    }
}

// A click handler that re-creates its own button: the old control's clean-up
// is postponed until the handler returns, and must not touch the new control.
TEST_F(Forms, RecreatedFromItsOwnClickHandlerKeepsTheNewControlAndCursor) {
    Load();
    uint32_t pointer[3] = {1, 4, 2};   // the cross
    kServices.writeProperty(kTestWindow, kButtonB, 7, -1, reinterpret_cast<uintptr_t>(pointer), 0);
    const uint32_t cursor = rt::gApp.windows.Find(kTestWindow)->units.Find(kButtonB).CursorSlot();
    ASSERT_NE(cursor, 0u);
    HWND before = Control(kButtonB);
    test::gOnEvent = [](const test::EventLog& e) {
        if (e.tag == 11) kServices.writeProperty(kTestWindow, kButtonB, 9, -1, 9, 0);
    };
    SendMessageA(before, BM_CLICK, 0, 0);
    test::gOnEvent = nullptr;
    rt::PumpPendingMessages();

    EXPECT_FALSE(IsWindow(before));
    HWND after = Control(kButtonB);
    ASSERT_NE(after, nullptr) << "the new control lost its slot";
    EXPECT_NE(after, before);
    EXPECT_EQ(rt::gApp.windows.Find(kTestWindow)->units.Find(kButtonB).CursorSlot(), cursor);
    ICONINFO info = {};
    EXPECT_TRUE(GetIconInfo(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(cursor)), &info)) << "cursor destroyed";
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonB, 9, -1), 9);
    kServices.writeProperty(kTestWindow, kButtonB, 8, -1, reinterpret_cast<uintptr_t>("again"), 0);
    char text[16] = {};
    GetWindowTextA(after, text, sizeof text);
    EXPECT_STREQ(text, "again");
}

TEST_F(Forms, RecreationKeepsRectangleAndZOrder) {
    Load();
    HWND before = Control(kButtonB);
    HWND prev = Control(kEdit);
    RECT r0;
    GetWindowRect(before, &r0);
    test::Events().clear();
    kServices.writeProperty(kTestWindow, kButtonB, 9, -1, 7, 0);   // asks for re-creation
    HWND after = Control(kButtonB);
    ASSERT_NE(after, nullptr);
    EXPECT_NE(after, before);
    EXPECT_FALSE(IsWindow(before));
    RECT r1;
    GetWindowRect(after, &r1);
    EXPECT_TRUE(EqualRect(&r0, &r1));
    EXPECT_EQ(GetWindow(prev, GW_HWNDNEXT), after);
    EXPECT_EQ(kServices.readProperty(kTestWindow, kButtonB, 9, -1), 7);
    EXPECT_EQ(rt::gApp.busy, 0);
    // Writing the same value again does not re-create.
    kServices.writeProperty(kTestWindow, kButtonB, 9, -1, 7, 0);
    EXPECT_EQ(Control(kButtonB), after);
}

TEST_F(Forms, EnterRaisesTheDefaultButtonAndEscapeCloses) {
    Load({{2, test::Plain(2)}});
    test::Events().clear();
    SetFocus(Control(kEdit));
    Key(Control(kEdit), VK_RETURN);
    ASSERT_FALSE(test::Events().empty());
    EXPECT_EQ(test::Events().back().tag, 11);   // button B is the default button
    test::Events().clear();
    Key(Control(kEdit), VK_ESCAPE);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(Forms, StartupWindowTabOrderAndFirstFocus) {
    test::StartFormsRuntime(data::FormTemplate(), app::kHandlerMap);
    ASSERT_EQ(forms::LoadWindow(rt::gApp.windows.Find(0x52010001), false, false, nullptr), 1);
    HWND w = forms::WindowHandle(0x52010001);
    ASSERT_NE(w, nullptr);
    auto control = [](uint32_t unit) {
        return static_cast<rt::ControlHead*>(forms::UnitObject(0x52010001, unit))->hwnd;
    };
    // Fixed border with caption, control box and minimise button; centred; 749 by 412; no owner.
    LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, 749);
    EXPECT_EQ(r.bottom - r.top, 412);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 749) / 2);
    EXPECT_EQ(GetWindowTextLengthA(w), 0);

    SetForegroundWindow(w);
    SetFocus(w);
    // Activation reaches the window through posted messages.
    test::PumpUntil([&] { return GetFocus() != nullptr && GetFocus() != w; });
    EXPECT_EQ(GetFocus(), control(0x16010049));   // the rich edit box wins among equal focus orders
    const uint32_t order[] = {0x16010049, 0x1601004B, 0x1601005D, 0x16010077, 0x16010078,
                              0x1601007A, 0x16010088, 0x16010092, 0x16010049};
    for (size_t i = 0; i + 1 < sizeof order / sizeof order[0]; i++) {
        SetFocus(control(order[i]));
        Key(control(order[i]), VK_TAB);
        EXPECT_EQ(GetFocus(), control(order[i + 1])) << i;
    }
    for (size_t i = sizeof order / sizeof order[0] - 1; i > 0; i--) {
        SetFocus(control(order[i]));
        Key(control(order[i]), VK_TAB, true);
        EXPECT_EQ(GetFocus(), control(order[i - 1])) << i;
    }
    // Escape closes the start-up window too.
    Key(control(0x1601004B), VK_ESCAPE);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Forms, ActivationGivesTheFocusBackToAUnit) {
    Load();
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    SetActiveWindow(other);
    SetFocus(other);
    ASSERT_EQ(GetFocus(), other);
    // The default processing of an activation is what moves the focus.
    SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
    HWND focus = GetFocus();
    EXPECT_TRUE(IsChild(hwnd, focus)) << focus;
    DestroyWindow(other);
}

// --- the message loop ------------------------------------------------------------

std::vector<int> gIdleRuns;
HWND gIdleWindows[4];

// Callback 3 removes callback 2 before its turn; callback 1 ends the loop.
void RecordIdle(void* argument) {
    int n = static_cast<int>(reinterpret_cast<intptr_t>(argument));
    gIdleRuns.push_back(n);
    if (n == 3) rt::RuntimeCallbackEntry(rt::kCbRemoveIdle, reinterpret_cast<intptr_t>(gIdleWindows[2]), 0);
    if (n == 1) PostQuitMessage(0);
}

TEST(MessageLoop, IdleCallbacksRunLastToFirstAndDeadWindowsAreDropped) {
    rt::PumpPendingMessages();
    rt::gApp.idle.clear();
    for (HWND& w : gIdleWindows) {
        w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
    }
    struct { HWND window; rt::IdleCallback callback; void* argument; } request;
    for (int n : {1, 0, 2, 3}) {
        request = {gIdleWindows[n], RecordIdle, reinterpret_cast<void*>(static_cast<intptr_t>(n))};
        rt::RuntimeCallbackEntry(rt::kCbAddIdle, reinterpret_cast<intptr_t>(&request), 0);
    }
    ASSERT_EQ(rt::gApp.idle.size(), 4u);
    DestroyWindow(gIdleWindows[0]);
    gIdleRuns.clear();
    rt::MessageLoop(0);
    EXPECT_EQ(gIdleRuns, (std::vector<int>{3, 1}));
    ASSERT_EQ(rt::gApp.idle.size(), 2u);
    EXPECT_EQ(rt::gApp.idle[0].window, gIdleWindows[1]);
    EXPECT_EQ(rt::gApp.idle[1].window, gIdleWindows[3]);
    rt::gApp.idle.clear();
    for (int n = 1; n < 4; n++) DestroyWindow(gIdleWindows[n]);
}

std::vector<int64_t> gElapsed;
bool gStillQueued = false;

TEST_F(Forms, IdleTimeRaisesEventSevenWithTheElapsedMilliseconds) {
    // A handler that asks for more idle time gets it within the same cycle.
    Load({{7, test::ReturnsTrue(7)}});
    gElapsed.clear();
    // A message of the system's own may end an idle cycle and start the count
    // anew; the loop ends at the first pair of events within one cycle.
    test::gOnEvent = [](const test::EventLog& e) {
        if (e.tag != 7) return;
        gElapsed.push_back(e.args.size() == 1 ? e.args[0] : -1);
        size_t n = gElapsed.size();
        if ((n >= 2 && gElapsed[n - 1] >= gElapsed[n - 2] + 40) || n == 20) PostQuitMessage(0);
        else Sleep(60);
    };
    rt::PumpPendingMessages();
    rt::MessageLoop(0);
    ASSERT_GE(gElapsed.size(), 2u);
    EXPECT_GE(gElapsed[0], 0);
    EXPECT_GE(gElapsed.back(), gElapsed[gElapsed.size() - 2] + 40) << "no event came within the same idle cycle";
    DestroyWindow(hwnd);

    // A handler that asks for nothing gets event 7 again only after a message ended idle time.
    Load({{7, test::Plain(7)}});
    gElapsed.clear();
    test::gOnEvent = [](const test::EventLog& e) {
        if (e.tag != 7) return;
        gElapsed.push_back(e.args.size() == 1 ? e.args[0] : -1);
        HWND w = forms::WindowHandle(kTestWindow);
        if (gElapsed.size() == 1) {
            PostMessageA(w, WM_USER + 7, 0, 0);
            return;
        }
        MSG m;
        gStillQueued = PeekMessageA(&m, w, WM_USER + 7, WM_USER + 7, PM_NOREMOVE) != FALSE;
        PostQuitMessage(0);
    };
    rt::PumpPendingMessages();
    rt::MessageLoop(0);
    ASSERT_EQ(gElapsed.size(), 2u);
    EXPECT_FALSE(gStillQueued);
    EXPECT_GE(gElapsed[1], 0);
}

// --- errors end the program ----------------------------------------------------

TEST_CHILD(read_unloaded) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    kServices.readProperty(kTestWindow, kButtonA, 8, -1);
    return 0;
}

TEST_CHILD(read_without_control) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr);
    DestroyWindow(static_cast<rt::ControlHead*>(forms::UnitObject(kTestWindow, kButtonA))->hwnd);
    kServices.readProperty(kTestWindow, kButtonA, 1, -1);   // common properties still answer
    kServices.readProperty(kTestWindow, kButtonA, 8, -1);
    return 0;
}

TEST_CHILD(write_without_control) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr);
    DestroyWindow(static_cast<rt::ControlHead*>(forms::UnitObject(kTestWindow, kButtonA))->hwnd);
    kServices.writeProperty(kTestWindow, kButtonA, 8, -1, 0, 0);
    return 0;
}

TEST_CHILD(read_beyond_table) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr);
    kServices.readProperty(kTestWindow, kButtonA, 14, -1);   // the test types have 14 properties
    return 0;
}

TEST_CHILD(write_beyond_table) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    forms::LoadWindow(rt::gApp.windows.Find(kTestWindow), false, false, nullptr);
    kServices.writeProperty(kTestWindow, kButtonA, 40, -1, 1, 0);
    return 0;
}

TEST_CHILD(event_unknown_unit) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    rt::EventRecord ev = {};
    ev.window = kTestWindow;
    ev.unit = 0x16010077;
    forms::RaiseEvent(&ev, false);
    return 0;
}

TEST_CHILD(event_unknown_window) {
    test::StartFormsRuntime(TestTemplate(kPlainWindowEvents), test::kTestHandlers);
    rt::EventRecord ev = {};
    ev.window = 0x52010009;
    forms::RaiseEvent(&ev, false);
    return 0;
}

std::string Message(const char* gbk) {
    return std::string("\r\n\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA") + gbk + "\r\n";   // 错误信息：
}

TEST(FormsErrors, PropertyAndDispatchErrorsNameTheWindowAndUnit) {
    struct Case {
        const char* child;
        const char* message;
        const char* location;
    } cases[] = {
        {"read_unloaded", "未载入欲访问窗口组件所在的窗口", "\r\n1375797250, 369164304\r\n\"\"\r\n\"\"\r\n"},
        {"read_without_control", "读取组件属性时发现指定窗口尚未载入", "\r\n1375797250, 369164304\r\n\"\"\r\n\"\"\r\n"},
        {"write_without_control", "修改组件属性时发现指定窗口尚未载入", "\r\n1375797250, 369164304\r\n\"\"\r\n\"\"\r\n"},
        {"read_beyond_table", "未载入欲访问窗口组件所在的窗口", "\r\n1375797250, 369164304\r\n\"\"\r\n\"\"\r\n"},
        {"write_beyond_table", "未载入欲访问窗口组件所在的窗口", "\r\n1375797250, 369164304\r\n\"\"\r\n\"\"\r\n"},
        {"event_unknown_unit", "未找到引发事件的窗口组件", "\r\n1375797250, 369164407\r\n\"\"\r\n\xCE\xB4\xD5\xD2"},
        {"event_unknown_window", "未找到引发事件的窗口", "\r\n1375797257, 0\r\n\xCE\xB4\xD5\xD2"},
    };
    for (const Case& c : cases) {
        test::ChildResult r = test::RunChild(c.child);
        EXPECT_EQ(r.exitCode, 0xFFFFFFFFu) << c.child;
        ASSERT_EQ(r.boxes.size(), 1u) << c.child << r.output;
        EXPECT_NE(r.boxes[0].text.find(Message(c.message)), std::string::npos) << c.child;
        EXPECT_NE(r.boxes[0].text.find(c.location), std::string::npos) << c.child << "\n" << r.boxes[0].text;
    }
}

} // namespace
