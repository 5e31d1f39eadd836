// The check box, combo box and progress bar through their interfaces, and
// all four newer unit types (with the list view) in a window loaded by the
// runtime: stored data to controls, properties through the property
// services with their type codes, events through dispatch, keys and tab order.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>
#include "commands/commands.h"
#include "data/formbuild.h"
#include "forms/forms.h"
#include "forms/loader.h"
#include "runtime/app.h"
#include "runtime/services.h"
#include "support/capture.h"
#include "support/formhost.h"
#include "support/unithost.h"
#include "units/extlib.h"
#include "units/queries.h"
#include "forms/unitdata.h"

namespace {

using test::UnitHost;

uint32_t Ptr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
bool Green(COLORREF c) { return c == RGB(0, 255, 0); }
bool Reddish(COLORREF c) { return GetRValue(c) > 160 && GetGValue(c) < 100 && GetBValue(c) < 100; }
std::string WindowText(HWND h) {
    char buf[256] = {};
    GetWindowTextA(h, buf, sizeof buf);
    return buf;
}

class Units : public ::testing::Test {
protected:
    static void SetUpTestSuite() { host_ = new UnitHost(&commands::gCoreLink); }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }
    void TearDown() override {
        while (HWND child = GetWindow(host_->Parent(), GW_CHILD)) DestroyWindow(child);
        UnitHost::Pump();
        host_->events.clear();
    }
    void* Make(rt::InterfaceQueryFn q, const std::vector<uint8_t>& data, uint32_t unit = 0x16010001) {
        void* o = host_->Create(q, data, 10, 10, 160, 24, WS_TABSTOP, unit);
        EXPECT_NE(o, nullptr);
        return o;
    }
    uint32_t Get(rt::InterfaceQueryFn q, void* o, int32_t index) {
        uint32_t p0 = 0xDEAD;
        EXPECT_TRUE(host_->Get(q, o, index, &p0)) << index;
        return p0;
    }
    std::string GetText(rt::InterfaceQueryFn q, void* o, int32_t index) {
        uint32_t p0 = Get(q, o, index);
        return p0 ? reinterpret_cast<const char*>(static_cast<uintptr_t>(p0)) : "";
    }
    template <class Data>
    Data Stored(rt::InterfaceQueryFn q, void* o) {
        std::vector<uint8_t> all = host_->AllData(q, o);
        Data d;
        EXPECT_TRUE(units::Decode(all.data(), all.size(), &d));
        return d;
    }
    static UnitHost* host_;
};

UnitHost* Units::host_ = nullptr;

TEST_F(Units, CheckBox) {
    const rt::InterfaceQueryFn q = units::CheckBoxQuery;
    units::CheckBoxData d;
    d.caption = "同时用于所有已连接设备";
    d.checked = true;
    d.textColour = 0x0000FF;
    void* o = Make(q, units::Encode(d));
    HWND h = UnitHost::Handle(o);
    EXPECT_EQ(WindowText(h), d.caption);
    EXPECT_EQ(GetWindowLongPtrA(h, GWL_STYLE) & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_EQ(SendMessageA(h, BM_GETCHECK, 0, 0), BST_CHECKED);

    // A click changes the mark and raises event 0 with it; code does not.
    auto clicks = [] {
        std::vector<std::vector<int32_t>> out;
        for (const test::RaisedEvent& e : host_->events)
            if (e.index == 0) out.push_back(e.args);
        return out;
    };
    SendMessageA(h, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks(), (std::vector<std::vector<int32_t>>{{0}}));
    EXPECT_EQ(Get(q, o, 1), 0u);
    host_->Changed(q, o, 1, 1);
    EXPECT_EQ(Get(q, o, 1), 1u);
    SendMessageA(h, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks(), (std::vector<std::vector<int32_t>>{{0}, {0}}));

    host_->Changed(q, o, 0, Ptr("新标题"));
    EXPECT_EQ(WindowText(h), "新标题");
    EXPECT_EQ(GetText(q, o, 0), "新标题");
    host_->Changed(q, o, 0, 0);
    EXPECT_EQ(GetText(q, o, 0), "");
    host_->Changed(q, o, 4, 0x00FFFF);
    EXPECT_EQ(Get(q, o, 3), 0x0000FFu);
    EXPECT_EQ(Get(q, o, 4), 0x00FFFFu);
    // The colours reach the drawing through the parent's colour message.
    HDC dc = GetDC(h);
    SendMessageA(host_->Parent(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h));
    EXPECT_EQ(GetTextColor(dc), 0x0000FFu);
    EXPECT_EQ(GetBkColor(dc), 0x00FFFFu);
    ReleaseDC(h, dc);
    // And show, themed controls or not: red text on yellow.
    host_->Changed(q, o, 0, Ptr("新标题"));
    const test::Shot shown = test::CaptureClient(h, true);
    EXPECT_TRUE(shown.Ink(0, 0, shown.w, shown.h, Reddish)) << "red text";
    EXPECT_EQ(shown.At(shown.w - 1, shown.h / 2), RGB(255, 255, 0)) << "yellow behind it";
    host_->Changed(q, o, 0, 0);

    units::CheckBoxData back = Stored<units::CheckBoxData>(q, o);
    EXPECT_FALSE(back.checked);
    EXPECT_EQ(back.backColour, 0x00FFFFu);
    EXPECT_EQ(back.caption, "");
    // An unknown version creates nothing.
    std::vector<uint8_t> bad = units::Encode(d);
    bad[0] = 7;
    EXPECT_EQ(host_->Create(q, bad, 0, 0, 10, 10, 0, 0x16010002), nullptr);
}

TEST_F(Units, ComboBox) {
    const rt::InterfaceQueryFn q = units::ComboBoxQuery;
    units::ComboBoxData d;
    d.items = {"全部", "已启用", "已禁用", "已删除"};
    d.current = 2;
    void* o = Make(q, units::Encode(d));
    HWND h = UnitHost::Handle(o);
    EXPECT_EQ(GetWindowLongPtrA(h, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(SendMessageA(h, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(Get(q, o, 1), 2u);
    EXPECT_EQ(GetText(q, o, 2), "已禁用");
    EXPECT_EQ(GetText(q, o, 0), "全部\r\n已启用\r\n已禁用\r\n已删除");
    // The field keeps the height the form gave it; the list drops below.
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_LE(r.bottom - r.top, 40);

    // A choice by key raises event 0 with the new index; a write raises none.
    SendMessageA(h, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(host_->events.size(), 1u);
    EXPECT_EQ(host_->events[0].args, (std::vector<int32_t>{3}));
    host_->Changed(q, o, 1, 0);
    EXPECT_EQ(Get(q, o, 1), 0u);
    host_->Changed(q, o, 2, Ptr("已删除"));
    EXPECT_EQ(Get(q, o, 1), 3u);
    host_->Changed(q, o, 2, Ptr("没有"));
    EXPECT_EQ(Get(q, o, 1), static_cast<uint32_t>(-1));
    host_->Changed(q, o, 1, 9);
    EXPECT_EQ(Get(q, o, 1), static_cast<uint32_t>(-1));
    EXPECT_EQ(host_->events.size(), 1u);

    // New items keep a choice whose index still names one.
    host_->Changed(q, o, 1, 1);
    host_->Changed(q, o, 0, Ptr("a\nb\r\n"));
    EXPECT_EQ(SendMessageA(h, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(GetText(q, o, 2), "b");
    host_->Changed(q, o, 0, Ptr("only"));
    EXPECT_EQ(Get(q, o, 1), static_cast<uint32_t>(-1));

    units::ComboBoxData back = Stored<units::ComboBoxData>(q, o);
    EXPECT_EQ(back.items, (std::vector<std::string>{"only"}));
    EXPECT_EQ(back.current, -1);

    // Enter and Escape belong to an open list only.
    auto wants = reinterpret_cast<units::WantsKeyFn>(q(rt::kIfWantsKey));
    ASSERT_NE(wants, nullptr);
    EXPECT_EQ(wants(o, VK_ESCAPE), 0);
    SendMessageA(h, CB_SHOWDROPDOWN, TRUE, 0);
    EXPECT_EQ(wants(o, VK_ESCAPE), 1);
    EXPECT_EQ(wants(o, VK_RETURN), 1);
    EXPECT_EQ(wants(o, VK_TAB), 0);
    SendMessageA(h, CB_SHOWDROPDOWN, FALSE, 0);

    // A count beyond the data fails the load instead of reserving for it.
    units::DataWriter w;
    w.Word(1).Int(0).Word(0).Word(0).Counted(std::vector<uint8_t>()).Word(0x40000000);
    EXPECT_EQ(host_->Create(q, w.Bytes(), 0, 0, 10, 10, 0, 0x16010002), nullptr);
}

TEST_F(Units, ProgressBar) {
    const rt::InterfaceQueryFn q = units::ProgressBarQuery;
    units::ProgressBarData d;
    d.minimum = 10;
    d.maximum = 300;
    d.position = 50;
    void* o = Make(q, units::Encode(d));
    HWND h = UnitHost::Handle(o);
    EXPECT_FALSE(GetWindowLongPtrA(h, GWL_STYLE) & WS_TABSTOP);
    EXPECT_EQ(SendMessageA(h, PBM_GETRANGE, TRUE, 0), 10);
    EXPECT_EQ(SendMessageA(h, PBM_GETRANGE, FALSE, 0), 300);
    EXPECT_EQ(Get(q, o, 2), 50u);
    host_->Changed(q, o, 2, 400);   // the control keeps the position in range
    EXPECT_EQ(Get(q, o, 2), 300u);
    host_->Changed(q, o, 0, 500);   // upside down: taken the right way up
    EXPECT_EQ(Get(q, o, 0), 500u);
    EXPECT_EQ(SendMessageA(h, PBM_GETRANGE, TRUE, 0), 300);
    EXPECT_EQ(SendMessageA(h, PBM_GETRANGE, FALSE, 0), 500);
    host_->Changed(q, o, 0, 0);
    host_->Changed(q, o, 1, 100);
    host_->Changed(q, o, 2, 42);
    EXPECT_EQ(host_->Changed(q, o, 4, 0x00FF00), 0);
    EXPECT_EQ(Get(q, o, 4), 0x00FF00u);
    // Its own colour shows, themed controls or not.
    const test::Shot coloured = test::CaptureClient(h);
    EXPECT_TRUE(coloured.Ink(0, 0, coloured.w, coloured.h, Green)) << "the bar in green";

    // The marquee switches on the live control (common controls 6): the same
    // window, the style bit and a moving block in place of the bar; a position
    // written meanwhile is kept and shows when the marquee ends.
    host_->Changed(q, o, 2, 0);
    const test::Shot empty = test::CaptureClient(h);
    EXPECT_EQ(host_->Changed(q, o, 3, 0), 0);
    EXPECT_EQ(host_->Changed(q, o, 3, 1), 0) << "no fresh control";
    EXPECT_EQ(UnitHost::Handle(o), h);
    EXPECT_TRUE(GetWindowLongPtrA(h, GWL_STYLE) & PBS_MARQUEE);
    EXPECT_EQ(Get(q, o, 3), 1u);
    EXPECT_TRUE(test::CaptureClient(h).px != empty.px) << "a marquee block";
    host_->Changed(q, o, 2, 70);
    EXPECT_EQ(Get(q, o, 2), 70u);
    // Stored data carries the mode and the position.
    units::ProgressBarData back = Stored<units::ProgressBarData>(q, o);
    EXPECT_TRUE(back.marquee);
    EXPECT_EQ(back.position, 70);
    EXPECT_EQ(back.maximum, 100);
    void* fresh = host_->Create(q, host_->AllData(q, o), 10, 40, 160, 20, 0, 0x16010002);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(GetWindowLongPtrA(UnitHost::Handle(fresh), GWL_STYLE) & PBS_MARQUEE);
    EXPECT_EQ(Get(q, fresh, 3), 1u);

    EXPECT_EQ(host_->Changed(q, o, 3, 0), 0);
    EXPECT_FALSE(GetWindowLongPtrA(h, GWL_STYLE) & PBS_MARQUEE);
    EXPECT_EQ(SendMessageA(h, PBM_GETPOS, 0, 0), 70);
    host_->Changed(q, o, 2, 0);
    EXPECT_TRUE(test::CaptureClient(h).px == empty.px) << "the marquee is gone";
    EXPECT_TRUE(host_->events.empty());
}

// --- a window of the runtime -------------------------------------------------------

constexpr uint32_t kWindow = 0x52010003;
constexpr uint32_t kCheck = 0x16010020, kCombo = 0x16010021, kProgress = 0x16010022, kList = 0x16010023,
                   kButton = 0x16010024;

data::UnitSpec Spec(uint32_t id, const char* name, uint32_t type, int top, int height, std::vector<uint8_t> bytes,
                    std::vector<data::EventSpec> events, uint32_t flags = 5) {
    data::UnitSpec u;
    u.id = id;
    u.name = name;
    u.type = type;
    u.left = 10;
    u.top = top;
    u.width = 300;
    u.height = height;
    u.flags = flags;
    u.events = std::move(events);
    u.typeData = std::move(bytes);
    return u;
}

std::vector<uint8_t> ManagerLikeTemplate() {
    units::CheckBoxData check;
    check.caption = "全部设备";
    units::ComboBoxData combo;
    combo.items = {"一", "二", "三"};
    combo.current = 0;
    units::ProgressBarData progress;
    progress.position = 30;
    units::ListViewData list;
    list.checkBoxes = true;
    list.columns = {{"包名", 150, 0}, {"状态", 80, 0}};

    data::WindowSpec w;
    w.id = kWindow;
    data::UnitSpec win;
    win.id = 0x06010000;
    win.type = rt::kTypeWindow;
    win.left = win.top = 100;
    win.width = 420;
    win.height = 360;
    win.flags = 1;
    w.units.push_back(win);
    // Descending identifiers: created in ascending order, which is also the tab order.
    w.units.push_back(Spec(kButton, "按钮", rt::kTypeButton, 290, 24, test::TestUnitData("OK"), {}));
    w.units.push_back(Spec(kList, "超级列表框1", rt::kTypeListView, 110, 150, units::Encode(list),
                           {{1, test::Plain(3)}, {3, test::Plain(4)}}));
    w.units.push_back(Spec(kProgress, "进度条1", rt::kTypeProgressBar, 80, 20, units::Encode(progress), {}, 1));
    w.units.push_back(Spec(kCombo, "组合框1", rt::kTypeComboBox, 45, 24, units::Encode(combo), {{0, test::Plain(2)}}));
    w.units.push_back(Spec(kCheck, "选择框1", rt::kTypeCheckBox, 10, 24, units::Encode(check), {{0, test::Plain(1)}}));
    return data::BuildTemplate({w});
}

class RuntimeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        test::StartFormsRuntime(ManagerLikeTemplate(), test::kTestHandlers);
        commands::gCoreLink.Attach(rt::RuntimeCallbackEntry);
        units::gExtLink.Attach(rt::RuntimeCallbackEntry);
        test::Events().clear();
        ASSERT_EQ(forms::LoadWindow(rt::gApp.windows.Find(kWindow), false, false, nullptr), 1);
        hwnd = forms::WindowHandle(kWindow);
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override {
        if (HWND h = forms::WindowHandle(kWindow)) DestroyWindow(h);
        rt::PumpPendingMessages();
    }
    static HWND Control(uint32_t unit) {
        void* o = forms::UnitObject(kWindow, unit);
        return o ? static_cast<rt::ControlHead*>(o)->hwnd : nullptr;
    }
    static int64_t Read(uint32_t unit, int32_t index) { return rt::kServices.readProperty(kWindow, unit, index, -1); }
    static std::string ReadText(uint32_t unit, int32_t index) {
        char* s = reinterpret_cast<char*>(static_cast<intptr_t>(Read(unit, index)));
        std::string out = s ? s : "";
        rt::kServices.free(s);
        return out;
    }
    static void Write(uint32_t unit, int32_t index, uint32_t value) {
        rt::kServices.writeProperty(kWindow, unit, index, -1, value, 0);
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

TEST_F(RuntimeWindow, StoredDataPropertiesAndEvents) {
    // Stored data became controls.
    EXPECT_EQ(WindowText(Control(kCheck)), "全部设备");
    EXPECT_EQ(SendMessageA(Control(kCombo), CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendMessageA(Control(kProgress), PBM_GETPOS, 0, 0), 30);
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(SendMessageA(Control(kList), LVM_GETHEADER, 0, 0)), HDM_GETITEMCOUNT, 0, 0), 2);

    // Properties through the services, with their type codes.
    EXPECT_EQ(ReadText(kCheck, 8), "全部设备");
    Write(kCheck, 9, 2);   // a logical 2 is stored as true
    EXPECT_EQ(Read(kCheck, 9), 1);
    Write(kCombo, 9, 2);
    EXPECT_EQ(Read(kCombo, 9), 2);
    EXPECT_EQ(ReadText(kCombo, 10), "三");
    Write(kProgress, 10, 77);
    EXPECT_EQ(Read(kProgress, 10), 77);
    // Marquee mode switches on the live bar, which keeps its position; no
    // message is let through meanwhile (a handler switching it sees nothing
    // else run).
    HWND before = Control(kProgress);
    const UINT kWaiting = WM_APP + 7;
    PostMessageA(hwnd, kWaiting, 0, 0);
    Write(kProgress, 11, 1);
    EXPECT_EQ(Control(kProgress), before);
    MSG waiting;
    EXPECT_TRUE(PeekMessageA(&waiting, hwnd, kWaiting, kWaiting, PM_REMOVE)) << "a posted message was dispatched";
    EXPECT_TRUE(GetWindowLongPtrA(Control(kProgress), GWL_STYLE) & PBS_MARQUEE);
    EXPECT_EQ(Read(kProgress, 11), 1);
    EXPECT_EQ(Read(kProgress, 10), 77);
    Write(kProgress, 10, 60);   // kept while the marquee runs, shown when it ends
    Write(kProgress, 11, 0);
    EXPECT_EQ(Read(kProgress, 10), 60);
    EXPECT_EQ(SendMessageA(Control(kProgress), PBM_GETPOS, 0, 0), 60);
    Write(kList, 17, 0);
    EXPECT_EQ(Read(kList, 17), 0);
    Write(kList, 8, 0);   // a null text: no columns
    EXPECT_EQ(ReadText(kList, 8), "");
    Write(kList, 8, Ptr("包名\t150\t0\r\n状态\t80\t0"));
    EXPECT_EQ(static_cast<int32_t>(Read(kList, 22)), -1);   // no current row
    EXPECT_TRUE(test::Events().empty());

    // Events reach the bound handlers with their arguments.
    SendMessageA(Control(kCheck), BM_CLICK, 0, 0);
    ASSERT_EQ(test::Events().size(), 1u);
    EXPECT_EQ(test::Events()[0].tag, 1);
    EXPECT_EQ(test::Events()[0].unit, kCheck);
    EXPECT_EQ(test::Events()[0].args, (std::vector<int64_t>{0}));
    SendMessageA(Control(kCombo), WM_KEYDOWN, VK_UP, 0);
    ASSERT_EQ(test::Events().size(), 2u);
    EXPECT_EQ(test::Events()[1].tag, 2);
    EXPECT_EQ(test::Events()[1].args, (std::vector<int64_t>{1}));

    // The list view's rows come through the library command.
    rt::ArgRecord args[2] = {rt::MakeArg(rt::kTypeListView, kWindow, kList), rt::MakeArg(rt::kTypeText, Ptr("a\tx\r\nb\ty"))};
    rt::kServices.callLibraryCommand(units::kExtCommands[2], 2, args);
    EXPECT_EQ(Read(kList, 19), 2);
    HWND list = Control(kList);
    SetFocus(list);
    SendMessageA(list, WM_KEYDOWN, VK_HOME, 0);
    SendMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    ASSERT_EQ(test::Events().size(), 3u);
    EXPECT_EQ(test::Events()[2].tag, 3);
    EXPECT_EQ(test::Events()[2].args, (std::vector<int64_t>{0, 1}));
    EXPECT_EQ(Read(kList, 21), 1);
}

TEST_F(RuntimeWindow, TabOrderAndKeys) {
    SetForegroundWindow(hwnd);
    const uint32_t order[] = {kCheck, kCombo, kList, kButton, kCheck};   // the progress bar takes no focus
    for (size_t i = 0; i + 1 < sizeof order / sizeof order[0]; ++i) {
        SetFocus(Control(order[i]));
        Key(Control(order[i]), VK_TAB);
        EXPECT_EQ(GetFocus(), Control(order[i + 1])) << i;
    }
    SetFocus(Control(kCombo));
    Key(Control(kCombo), VK_TAB, true);
    EXPECT_EQ(GetFocus(), Control(kCheck));

    // Escape closes an open list, not the window; then the window.
    SetFocus(Control(kCombo));
    SendMessageA(Control(kCombo), CB_SHOWDROPDOWN, TRUE, 0);
    Key(Control(kCombo), VK_ESCAPE);
    EXPECT_TRUE(IsWindow(hwnd));
    SendMessageA(Control(kCombo), CB_SHOWDROPDOWN, FALSE, 0);
    Key(Control(kCombo), VK_ESCAPE);
    EXPECT_FALSE(IsWindow(hwnd));
}

} // namespace
