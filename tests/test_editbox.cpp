// The edit box unit: the program's own 编辑框1, content events, typing and
// input modes, selection, the spin control, presentation and stored data.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <string>
#include <vector>
#include "commands/commands.h"
#include "app/program.h"
#include "data/template.h"
#include "forms/template.h"
#include "support/hex.h"
#include "support/unithost.h"
#include "units/editbox.h"
#include "units/queries.h"

namespace {

using units::EditBoxData;

using test::Hex;

uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

int TextHeight(HFONT font, const char* text) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE s = {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &s);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return s.cy;
}

RECT RectIn(HWND parent, HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class EditBoxTest : public ::testing::Test {
protected:
    test::UnitHost host{&commands::gCoreLink};

    void* Make(const EditBoxData& d, int h = 24, DWORD style = WS_TABSTOP) {
        return host.Create(units::EditBoxQuery, units::Encode(d), 10, 10, 120, h, style);
    }
    static HWND H(void* o) { return test::UnitHost::Handle(o); }
    int32_t Set(void* o, int32_t index, uint32_t v) { return host.Changed(units::EditBoxQuery, o, index, v); }
    int32_t SetText(void* o, int32_t index, const char* s) { return Set(o, index, Word(s)); }
    uint32_t Get(void* o, int32_t index) {
        uint32_t p0 = 0;
        EXPECT_TRUE(host.Get(units::EditBoxQuery, o, index, &p0));
        return p0;
    }
    std::string GetText(void* o, int32_t index) {
        const char* s = reinterpret_cast<const char*>(static_cast<uintptr_t>(Get(o, index)));
        return s ? s : "";
    }
    static void Type(HWND h, const char* s) {
        for (; *s; ++s) SendMessageA(h, WM_CHAR, static_cast<unsigned char>(*s), 1);
    }
    int Count(int32_t index) const {
        int n = 0;
        for (const auto& e : host.events) n += e.index == index;
        return n;
    }
    void Spin(int delta) {
        HWND spin = GetDlgItem(host.Parent(), 104);
        ASSERT_TRUE(spin) << "no spin control";
        NMUPDOWN n = {};
        n.hdr.hwndFrom = spin;
        n.hdr.idFrom = 104;
        n.hdr.code = UDN_DELTAPOS;
        n.iDelta = delta;
        SendMessageA(host.Parent(), WM_NOTIFY, 104, reinterpret_cast<LPARAM>(&n));
    }
};

// 编辑框1 as the program stores it: created, its data written back unchanged,
// and the content path the device actions use.
TEST_F(EditBoxTest, ProgramEditBoxFromTemplate) {
    const std::vector<uint8_t>& block = data::FormTemplate();
    std::vector<forms::WindowEntry> windows;
    ASSERT_EQ(forms::ReadTemplate(block.data(), static_cast<uint32_t>(block.size()), app::kHandlerMap, &windows),
              forms::ReadResult::Ok);
    forms::UnitRecord r = windows[0].units.Find(data::kUnitPackageEdit);
    ASSERT_TRUE(r.Valid());
    std::vector<uint8_t> stored(r.TypeData(), r.TypeData() + r.TypeDataLength());
    EXPECT_EQ(stored, Hex("02000000 05000000 00000000 ffffff00 01000000 00000000 00000000 00000000 00000000 "
                          "00000000 2a000000 00000000 00000000 00006400 00000000 00000000 00000000 00000000 "
                          "00000000 00000000 0000"));

    void* o = host.Create(units::EditBoxQuery, stored, r.Left(), r.Top(), r.Width(), r.Height(), WS_TABSTOP,
                          data::kUnitPackageEdit);
    ASSERT_TRUE(o);
    HWND h = H(o);
    LONG_PTR style = GetWindowLongPtrA(h, GWL_STYLE);
    EXPECT_TRUE(style & WS_BORDER);   // border 5, single line
    EXPECT_FALSE(GetWindowLongPtrA(h, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
    EXPECT_TRUE(style & ES_AUTOHSCROLL);
    EXPECT_FALSE(style & (ES_MULTILINE | ES_NOHIDESEL | ES_READONLY | ES_PASSWORD));
    EXPECT_EQ(GetDlgItem(host.Parent(), 104), nullptr);
    EXPECT_EQ(RectIn(host.Parent(), h).bottom - RectIn(host.Parent(), h).top, 24);
    EXPECT_EQ(GetText(o, units::kEditContent), "");
    EXPECT_EQ(host.AllData(units::EditBoxQuery, o), stored);

    EXPECT_EQ(SetText(o, units::kEditContent, "com.android.chrome"), 0);
    EXPECT_EQ(GetText(o, units::kEditContent), "com.android.chrome");
    ASSERT_EQ(host.events.size(), 1u);
    EXPECT_EQ(host.events[0].window, test::UnitHost::kWindowId);
    EXPECT_EQ(host.events[0].unit, data::kUnitPackageEdit);
    EXPECT_EQ(host.events[0].index, 0);
    EXPECT_TRUE(host.events[0].args.empty());
}

// Event 0 comes once per write, single- or multi-line, with the text already
// in place; typing raises it per change and reads back live.
TEST_F(EditBoxTest, ContentEventsAndLiveReads) {
    EditBoxData multi;
    multi.multiLine = true;
    for (const EditBoxData& d : {EditBoxData(), multi}) {
        SCOPED_TRACE(d.multiLine ? "multi-line" : "single-line");
        host.events.clear();
        void* o = Make(d, 60);
        ASSERT_TRUE(o);
        std::vector<std::string> seen;
        host.handler = [&](const test::RaisedEvent&, int32_t*) {
            char buf[64] = {};
            GetWindowTextA(H(o), buf, sizeof buf);
            seen.push_back(buf);
            return false;
        };
        SetText(o, units::kEditContent, "包名 pkg");
        EXPECT_EQ(seen, std::vector<std::string>{"包名 pkg"});
        EXPECT_EQ(GetText(o, units::kEditContent), "包名 pkg");
        SetText(o, units::kEditContent, nullptr);
        EXPECT_EQ(Count(0), 2);
        EXPECT_EQ(GetText(o, units::kEditContent), "");
        host.handler = nullptr;

        host.events.clear();
        SendMessageA(H(o), EM_SETSEL, 0, 0);
        Type(H(o), "abc");
        EXPECT_EQ(GetText(o, units::kEditContent), "abc");
        EXPECT_EQ(Count(0), 3);
        DestroyWindow(H(o));
    }
}

TEST_F(EditBoxTest, FocusEventsAndNormalisingModes) {
    EditBoxData d;
    d.inputMode = units::kEditModeByte;
    void* o = Make(d);
    HWND h = H(o);
    SetFocus(h);
    EXPECT_EQ(Count(-7), 1);
    Type(h, "-a3x0.0");
    EXPECT_EQ(GetText(o, units::kEditContent), "300");
    SendMessageA(h, WM_CHAR, VK_BACK, 1);   // control characters always pass
    EXPECT_EQ(GetText(o, units::kEditContent), "30");
    Type(h, "0");

    // -8 comes after the text is normalised; the caret stays at the old start.
    std::string atLostFocus;
    host.handler = [&](const test::RaisedEvent& e, int32_t*) {
        if (e.index == -8) atLostFocus = GetText(o, units::kEditContent);
        return false;
    };
    SendMessageA(h, EM_SETSEL, 1, 1);
    SetFocus(host.Parent());
    EXPECT_EQ(atLostFocus, "255");
    EXPECT_EQ(Get(o, units::kEditSelStart), 1u);
    EXPECT_EQ(Count(-8), 1);

    SetFocus(h);
    SetText(o, units::kEditContent, "0");
    SetFocus(host.Parent());
    EXPECT_EQ(atLostFocus, "");

    Set(o, units::kEditInputMode, units::kEditModeShort);
    SetFocus(h);
    Type(h, "40000");
    SetFocus(host.Parent());
    EXPECT_EQ(atLostFocus, "32767");
}

TEST(EditBoxInput, CharactersByMode) {
    using units::EditModeAccepts;
    struct Case { int32_t mode; const char* takes; const char* drops; };
    const Case cases[] = {
        {0, "a-.9\xb0", ""}, {1, "a", ""}, {2, "a", ""}, {3, "0-", "a."}, {4, "0-.", "a+"},
        {5, "09", "-.a"}, {6, "0-", ".a"}, {7, "0-", ".a"}, {8, "0-", ".e"}, {9, "0-.", "ae"},
        {10, "0-.", "a,"}, {11, "a/: ", ""},
    };
    for (const Case& c : cases) {
        for (const char* p = c.takes; *p; ++p) EXPECT_TRUE(EditModeAccepts(c.mode, static_cast<unsigned char>(*p))) << c.mode << " " << *p;
        for (const char* p = c.drops; *p; ++p) EXPECT_FALSE(EditModeAccepts(c.mode, static_cast<unsigned char>(*p))) << c.mode << " " << *p;
        EXPECT_TRUE(EditModeAccepts(c.mode, VK_BACK));
    }
}

TEST(EditBoxInput, NormalisedTexts) {
    using units::NormaliseEditText;
    struct Case { int32_t mode; const char* in; const char* out; };
    const Case cases[] = {
        {0, "0", "0"}, {3, "abc", "abc"}, {4, "-", "-"},
        {5, "300", "255"}, {5, "-5", ""}, {5, "0", ""}, {5, "12abc", "12"}, {5, "abc", ""}, {5, " 7", "7"},
        {6, "40000", "32767"}, {6, "-40000", "-32768"}, {6, "-12", "-12"},
        {7, "99999999999", "2147483647"}, {7, "-99999999999", "-2147483648"},
        {8, "99999999999", "99999999999"}, {8, "-99999999999999999999", "-9223372036854775808"},
        {8, "99999999999999999999", "9223372036854775807"},
        {9, "0.1", "0.1"}, {9, "1.5x", "1.5"}, {9, "-0", ""}, {9, ".", ""}, {9, "1e39", "3.4028235e+38"},
        {10, "0.1", "0.1"}, {10, "2.50", "2.5"}, {10, "1e400", "1.7976931348623157e+308"}, {10, "1e", "1"},
        {11, "2024-01-02 03:04:05", "2024-01-02 03:04:05"}, {11, "2024-1-2", "2024-01-02"}, {11, "hello", ""},
        {11, "", ""},
    };
    for (const Case& c : cases) {
        std::string got = NormaliseEditText(c.mode, c.in);
        EXPECT_EQ(got, c.out) << "mode " << c.mode << " text \"" << c.in << "\"";
        EXPECT_EQ(NormaliseEditText(c.mode, got), got) << "mode " << c.mode << " does not round-trip";
    }
}

TEST_F(EditBoxTest, SelectionRules) {
    void* o = Make(EditBoxData());
    SetText(o, units::kEditContent, "hello");
    Set(o, units::kEditSelStart, static_cast<uint32_t>(-1));
    EXPECT_EQ(Get(o, units::kEditSelStart), 5u);
    EXPECT_EQ(Get(o, units::kEditSelLength), 0u);
    Set(o, units::kEditSelLength, static_cast<uint32_t>(-1));
    EXPECT_EQ(Get(o, units::kEditSelStart), 0u);
    EXPECT_EQ(Get(o, units::kEditSelLength), 5u);
    EXPECT_EQ(GetText(o, units::kEditSelText), "hello");
    Set(o, units::kEditSelStart, 1);   // keeps the length
    EXPECT_EQ(Get(o, units::kEditSelLength), 5u - 1u);
    Set(o, units::kEditSelLength, 3);
    EXPECT_EQ(GetText(o, units::kEditSelText), "ell");
    Set(o, units::kEditSelStart, static_cast<uint32_t>(-7));
    EXPECT_EQ(Get(o, units::kEditSelStart), 0u);
    Set(o, units::kEditSelLength, static_cast<uint32_t>(-3));
    EXPECT_EQ(Get(o, units::kEditSelLength), 0u);

    Set(o, units::kEditSelStart, 1);
    Set(o, units::kEditSelLength, 3);
    SetText(o, units::kEditSelText, "ipp");
    EXPECT_EQ(GetText(o, units::kEditContent), "hippo");

    SetText(o, units::kEditContent, "包名abc");
    Set(o, units::kEditSelStart, 1);
    Set(o, units::kEditSelLength, 2);
    EXPECT_EQ(GetText(o, units::kEditSelText), "名a");
}

TEST_F(EditBoxTest, AutomaticSpinWrapsAtTheBounds) {
    EditBoxData d;
    d.spinMode = 1;
    void* o = Make(d);
    HWND h = H(o);
    HWND spin = GetDlgItem(host.Parent(), 104);
    ASSERT_TRUE(spin);
    char cls[32] = {};
    GetClassNameA(spin, cls, sizeof cls);
    EXPECT_STREQ(cls, "msctls_updown32");
    EXPECT_TRUE(GetWindowLongPtrA(spin, GWL_EXSTYLE) & WS_EX_STATICEDGE);
    EXPECT_EQ(LOWORD(SendMessageA(spin, UDM_GETRANGE, 0, 0)), 100);

    struct Step { uint32_t b1, b2; const char* from; int delta; const char* to; };
    const Step steps[] = {
        {0, 100, "100", 1, "0"}, {0, 100, "0", -1, "100"}, {0, 100, "50", 1, "51"}, {0, 100, "50", -1, "49"},
        {0, 100, "abc", 1, "1"}, {100, 0, "100", 1, "0"}, {100, 0, "0", -1, "100"}, {0, 100, "-7", -1, "100"},
    };
    for (const Step& s : steps) {
        Set(o, units::kEditSpinBound1, s.b1);
        Set(o, units::kEditSpinBound2, s.b2);
        SetText(o, units::kEditContent, s.from);
        SetFocus(host.Parent());
        host.events.clear();
        Spin(s.delta);
        EXPECT_EQ(GetText(o, units::kEditContent), s.to) << s.from << " by " << s.delta;
        EXPECT_EQ(Count(0), 1);
        EXPECT_EQ(Get(o, units::kEditSelLength), std::strlen(s.to));
        EXPECT_EQ(GetFocus(), h);
    }
    EXPECT_EQ(Count(1), 0);

    // A real press on the upper arrow steps up as well.
    SetText(o, units::kEditContent, "7");
    RECT r;
    GetClientRect(spin, &r);
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.right / 2, 2));
    SendMessageA(spin, WM_LBUTTONUP, 0, MAKELPARAM(r.right / 2, 2));
    EXPECT_EQ(GetText(o, units::kEditContent), "8");
}

TEST_F(EditBoxTest, ManualSpinRaisesEventOne) {
    EditBoxData d;
    d.spinMode = 2;
    d.border = 2;
    void* o = Make(d);
    ASSERT_TRUE(GetDlgItem(host.Parent(), 104));
    EXPECT_FALSE(GetWindowLongPtrA(GetDlgItem(host.Parent(), 104), GWL_EXSTYLE) & WS_EX_STATICEDGE);
    SetText(o, units::kEditContent, "5");
    host.events.clear();
    Spin(1);
    Spin(-3);
    ASSERT_EQ(host.events.size(), 2u);
    EXPECT_EQ(host.events[0].index, 1);
    EXPECT_EQ(host.events[0].args, std::vector<int32_t>{1});
    EXPECT_EQ(host.events[1].args, std::vector<int32_t>{-1});
    EXPECT_EQ(GetText(o, units::kEditContent), "5");

    EnableWindow(H(o), FALSE);   // only while enabled and visible
    Spin(1);
    EnableWindow(H(o), TRUE);
    ShowWindow(H(o), SW_HIDE);
    Spin(1);
    EXPECT_EQ(host.events.size(), 2u);
}

// The spin control sits at the box's right edge and follows it; it is taken
// down with the box, which reports its destruction.
TEST_F(EditBoxTest, SpinFollowsTheBox) {
    EditBoxData d;
    d.spinMode = 1;
    void* o = Make(d, 24, WS_TABSTOP | WS_DISABLED);
    HWND h = H(o);
    HWND spin = GetDlgItem(host.Parent(), 104);
    ASSERT_TRUE(spin);
    EXPECT_FALSE(IsWindowEnabled(spin));
    EXPECT_TRUE(IsWindowVisible(spin));
    auto placed = [&]() {
        RECT b = RectIn(host.Parent(), h), s = RectIn(host.Parent(), spin);
        return s.left == b.right && s.top == b.top && s.bottom == b.bottom && s.right - s.left == 18;
    };
    EXPECT_TRUE(placed());
    EXPECT_EQ(GetWindow(h, GW_HWNDNEXT), spin);

    MoveWindow(h, 40, 50, 150, 30, TRUE);
    EXPECT_TRUE(placed());
    EXPECT_EQ(RectIn(host.Parent(), spin).left, 190);
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(h, GW_HWNDNEXT), spin);
    EnableWindow(h, TRUE);
    EXPECT_TRUE(IsWindowEnabled(spin));
    ShowWindow(h, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(spin));
    ShowWindow(h, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(spin));

    Set(o, units::kEditBorder, 4);
    EXPECT_FALSE(GetWindowLongPtrA(spin, GWL_EXSTYLE) & WS_EX_STATICEDGE);
    Set(o, units::kEditBorder, 3);
    EXPECT_TRUE(GetWindowLongPtrA(spin, GWL_EXSTYLE) & WS_EX_STATICEDGE);

    DestroyWindow(h);
    EXPECT_FALSE(IsWindow(spin));
    EXPECT_EQ(host.destroyed, std::vector<uint32_t>{0x16010001});
}

TEST_F(EditBoxTest, SingleLineGrowsAndCentres) {
    HFONT gui = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const int line = TextHeight(gui, "田") + 2 * GetSystemMetrics(SM_CYEDGE);
    void* low = Make(EditBoxData(), 10);
    RECT r = RectIn(host.Parent(), H(low));
    EXPECT_EQ(r.bottom - r.top, line);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, 120);

    EditBoxData multi;
    multi.multiLine = true;
    void* flat = Make(multi, 10);
    r = RectIn(host.Parent(), H(flat));
    EXPECT_EQ(r.bottom - r.top, 10);

    // A tall box keeps its height; the text line sits in the middle, the rest
    // is frame painted in the background colour and answering HTBORDER.
    DestroyWindow(H(low));   // out of the way of the pixels below
    DestroyWindow(H(flat));
    EditBoxData red;
    red.backColour = 0x0000FF;
    void* tall = Make(red, 60);
    HWND h = H(tall);
    RECT client;
    GetClientRect(h, &client);
    EXPECT_EQ(client.bottom, TextHeight(gui, "W"));
    POINT top = {0, 0};
    ClientToScreen(h, &top);
    RECT win;
    GetWindowRect(h, &win);
    EXPECT_NEAR((top.y - win.top) + client.bottom / 2, (win.bottom - win.top) / 2, 1);
    EXPECT_EQ(SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(top.x + 5, win.top + 4)), HTBORDER);
    EXPECT_EQ(SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(top.x + 5, top.y + 1)), HTCLIENT);
    RedrawWindow(h, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = GetWindowDC(h);
    EXPECT_EQ(GetPixel(dc, (win.right - win.left) / 2, 5), 0x0000FFu);
    ReleaseDC(h, dc);
}

TEST_F(EditBoxTest, ColoursThroughTheParent) {
    EditBoxData d;
    d.textColour = 0x112233;
    d.backColour = 0xFF000000;
    void* o = Make(d);
    HDC dc = GetDC(H(o));
    LRESULT brush = SendMessageA(host.Parent(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(H(o)));
    EXPECT_NE(brush, 0);
    EXPECT_EQ(GetTextColor(dc), 0x112233u);
    EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE));
    Set(o, units::kEditBackColour, 0x00FF00);
    LRESULT other = SendMessageA(host.Parent(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(H(o)));
    EXPECT_NE(other, 0);
    EXPECT_EQ(GetBkColor(dc), 0x00FF00u);
    ReleaseDC(H(o), dc);
}

// Interface 5 gives data from which creation builds the same unit.
TEST_F(EditBoxTest, StoredDataRecreatesTheSameUnit) {
    LOGFONTA lf = {};
    lf.lfHeight = -20;
    std::strcpy(lf.lfFaceName, "Tahoma");
    EditBoxData d;
    d.border = 3;
    d.textColour = 0x123456;
    d.backColour = 0xFF000000;
    d.hideSelection = false;
    d.maxLength = 40;
    d.multiLine = true;
    d.scrollBars = 3;
    d.alignment = 2;
    d.inputMode = 4;
    d.passwordChar = '#';
    d.caseConversion = 2;
    d.spinBound1 = -5;
    d.spinBound2 = 9;
    d.font.assign(reinterpret_cast<uint8_t*>(&lf), reinterpret_cast<uint8_t*>(&lf) + sizeof lf);
    d.content = "AB\r\nCD";
    d.dataSource = "src";
    d.dataColumn = "col";
    void* first = Make(d, 80);
    ASSERT_TRUE(first);
    LONG_PTR style = GetWindowLongPtrA(H(first), GWL_STYLE);
    EXPECT_EQ(style & (ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL |
                       ES_RIGHT | ES_UPPERCASE | ES_NOHIDESEL),
              ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL | ES_RIGHT |
                  ES_UPPERCASE | ES_NOHIDESEL);
    EXPECT_EQ(SendMessageA(H(first), EM_GETLIMITTEXT, 0, 0), 40);
    EXPECT_NE(reinterpret_cast<HGDIOBJ>(SendMessageA(H(first), WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));

    std::vector<uint8_t> bytes = host.AllData(units::EditBoxQuery, first);
    EXPECT_EQ(bytes, units::Encode(d));
    void* second = host.Create(units::EditBoxQuery, bytes, 10, 100, 120, 80, WS_TABSTOP, 0x16010002, 110);
    ASSERT_TRUE(second);
    EXPECT_EQ(host.AllData(units::EditBoxQuery, second), bytes);
    for (int32_t i = units::kEditBorder; i < units::kEditPropertyCount; i++) {
        uint32_t a0 = 0, a1 = 0, b0 = 0, b1 = 0;
        ASSERT_TRUE(host.Get(units::EditBoxQuery, first, i, &a0, &a1));
        ASSERT_TRUE(host.Get(units::EditBoxQuery, second, i, &b0, &b1));
        if (i == units::kEditFont || i == units::kEditPasswordChar || i >= units::kEditSelText) continue;
        EXPECT_EQ(a0, b0) << "property " << i + 8;
    }
    EXPECT_EQ(GetText(second, units::kEditContent), "AB\r\nCD");
    EXPECT_EQ(GetText(second, units::kEditPasswordChar), "#");
    EXPECT_EQ(GetText(second, units::kEditDataColumn), "col");
    uint32_t p0 = 0, p1 = 0;
    host.Get(units::EditBoxQuery, second, units::kEditFont, &p0, &p1);
    ASSERT_EQ(p1, sizeof lf);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(static_cast<uintptr_t>(p0)), &lf, sizeof lf), 0);
    EXPECT_FALSE(host.Get(units::EditBoxQuery, second, units::kEditPropertyCount, &p0));

    // Older versions read; an unknown one does not create.
    EditBoxData v1 = d;
    v1.version = 1;
    void* old = host.Create(units::EditBoxQuery, units::Encode(v1), 10, 200, 120, 24, WS_TABSTOP, 0x16010003, 120);
    ASSERT_TRUE(old);
    EXPECT_EQ(GetText(old, units::kEditDataSource), "");
    EXPECT_EQ(host.AllData(units::EditBoxQuery, old)[0], 2);
    std::vector<uint8_t> v3 = units::Encode(EditBoxData());
    v3[0] = 3;
    EXPECT_EQ(host.Create(units::EditBoxQuery, v3, 10, 250, 120, 24), nullptr);
    v3[0] = 2;
    v3.pop_back();
    EXPECT_EQ(host.Create(units::EditBoxQuery, v3, 10, 250, 120, 24), nullptr);
}

// Which writes ask for a new control, and the clamps on the way in.
TEST_F(EditBoxTest, RecreationFlagsAndClamps) {
    void* o = Make(EditBoxData());
    struct Write { int32_t index; uint32_t value; int32_t result; uint32_t reads; };
    const Write writes[] = {
        {units::kEditHideSelection, 1, 0, 1}, {units::kEditHideSelection, 0, 1, 0},
        {units::kEditMultiLine, 0, 0, 0},     {units::kEditMultiLine, 1, 1, 1},
        {units::kEditScrollBars, 7, 1, 3},    {units::kEditScrollBars, 3, 0, 3},
        {units::kEditAlignment, 5, 1, 2},     {units::kEditAlignment, static_cast<uint32_t>(-1), 1, 0},
        {units::kEditCaseConversion, 9, 1, 2}, {units::kEditCaseConversion, 2, 0, 2},
        {units::kEditSpinMode, 3, 1, 2},      {units::kEditSpinMode, 2, 0, 2},
        {units::kEditBorder, 9, 0, 5},        {units::kEditBorder, static_cast<uint32_t>(-1), 0, 0},
        {units::kEditInputMode, 20, 0, 11},   {units::kEditMaxLength, static_cast<uint32_t>(-3), 0, 0},
        {units::kEditTextColour, 0xFF, 0, 0xFF}, {units::kEditSpinBound1, static_cast<uint32_t>(-9), 0, static_cast<uint32_t>(-9)},
    };
    for (const Write& w : writes) {
        EXPECT_EQ(Set(o, w.index, w.value), w.result) << "property " << w.index + 8 << " = " << static_cast<int32_t>(w.value);
        EXPECT_EQ(Get(o, w.index), w.reads) << "property " << w.index + 8;
    }
    EXPECT_EQ(SetText(o, units::kEditContent, "x"), 0);
    EXPECT_EQ(SetText(o, units::kEditDataSource, "db"), 0);
    EXPECT_EQ(GetText(o, units::kEditDataSource), "db");

    // Input mode and password character act on the live control.
    HWND h = H(o);
    Set(o, units::kEditInputMode, units::kEditModePassword);
    EXPECT_EQ(SendMessageA(h, EM_GETPASSWORDCHAR, 0, 0), '*');
    SetText(o, units::kEditPasswordChar, "#?");
    EXPECT_EQ(SendMessageA(h, EM_GETPASSWORDCHAR, 0, 0), '#');
    EXPECT_EQ(GetText(o, units::kEditPasswordChar), "#");
    Set(o, units::kEditInputMode, units::kEditModeReadOnly);
    EXPECT_EQ(SendMessageA(h, EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_TRUE(GetWindowLongPtrA(h, GWL_STYLE) & ES_READONLY);
    Set(o, units::kEditInputMode, units::kEditModeNormal);
    EXPECT_FALSE(GetWindowLongPtrA(h, GWL_STYLE) & ES_READONLY);
}

TEST_F(EditBoxTest, PasswordModeAndEnterKey) {
    EditBoxData d;
    d.inputMode = units::kEditModePassword;
    void* single = Make(d);
    EXPECT_EQ(SendMessageA(H(single), EM_GETPASSWORDCHAR, 0, 0), '*');

    auto wants = reinterpret_cast<units::WantsKeyFn>(units::EditBoxQuery(rt::kIfWantsKey));
    ASSERT_TRUE(wants);
    EXPECT_EQ(wants(single, VK_RETURN), 0);
    EditBoxData multi;
    multi.multiLine = true;
    void* m = Make(multi, 60);
    EXPECT_EQ(wants(m, VK_RETURN), 1);
    EXPECT_EQ(wants(m, VK_TAB), 0);
    Set(m, units::kEditInputMode, units::kEditModeReadOnly);
    EXPECT_EQ(wants(m, VK_RETURN), 0);
    EXPECT_EQ(units::EditBoxQuery(rt::kIfIsDefaultButton), nullptr);
}

TEST_F(EditBoxTest, FontBytesApplyAndGrowTheBox) {
    void* o = Make(EditBoxData(), 20);
    LOGFONTA lf = {};
    lf.lfHeight = -40;
    std::strcpy(lf.lfFaceName, "Tahoma");
    Set(o, units::kEditFont, 0);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(H(o), WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));
    host.Changed(units::EditBoxQuery, o, units::kEditFont, Word(&lf), sizeof lf);
    HFONT applied = reinterpret_cast<HFONT>(SendMessageA(H(o), WM_GETFONT, 0, 0));
    EXPECT_NE(reinterpret_cast<HGDIOBJ>(applied), GetStockObject(DEFAULT_GUI_FONT));
    RECT r = RectIn(host.Parent(), H(o));
    EXPECT_EQ(r.bottom - r.top, TextHeight(applied, "田") + 2 * GetSystemMetrics(SM_CYEDGE));
    host.Changed(units::EditBoxQuery, o, units::kEditFont, Word(&lf), sizeof lf - 1);   // not 60 bytes
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(H(o), WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT));
}

TEST_F(EditBoxTest, DestroyedWithItsParent) {
    EditBoxData d;
    d.spinMode = 2;
    void* o = Make(d);
    HWND spin = GetDlgItem(host.Parent(), 104);
    ASSERT_TRUE(o && spin);
    DestroyWindow(host.Parent());
    EXPECT_FALSE(IsWindow(spin));
    EXPECT_EQ(host.destroyed, std::vector<uint32_t>{0x16010001});
}

} // namespace
