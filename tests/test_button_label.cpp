// The button and the label: the program's own units from its template,
// property writes and clamps, re-creation, stored data round trips, events,
// and what the label paints.
#include <gtest/gtest.h>
#include <ole2.h>
#include <cstring>
#include <string>
#include <vector>
#include "commands/commands.h"
#include "app/program.h"
#include "data/template.h"
#include "forms/template.h"
#include "forms/wnd.h"
#include "support/capture.h"
#include "support/unithost.h"
#include "units/queries.h"
#include "forms/unitdata.h"

namespace {

using test::Shot;
using test::UnitHost;
using units::ButtonData;
using units::LabelData;

const rt::InterfaceQueryFn kButton = units::ButtonQuery;
const rt::InterfaceQueryFn kLabel = units::LabelQuery;
constexpr COLORREF kGreen = RGB(0, 255, 0), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);
constexpr COLORREF kWhite = RGB(255, 255, 255), kNone = 0xFF000000;

struct StoredUnit {
    uint32_t id, type;
    RECT rect;   // left, top, width, height
    std::vector<uint8_t> data;
};

std::vector<StoredUnit> ProgramUnits(uint32_t type) {
    const std::vector<uint8_t>& block = data::FormTemplate();
    std::vector<forms::WindowEntry> windows;
    EXPECT_EQ(forms::ReadResult::Ok, forms::ReadTemplate(block.data(), static_cast<uint32_t>(block.size()),
                                                         app::kHandlerMap, &windows));
    std::vector<StoredUnit> out;
    forms::UnitList& list = windows.at(0).units;
    for (int32_t i = 1; i < list.Count(); ++i) {
        forms::UnitRecord r = list.At(i);
        if (r.TypeRef() != type) continue;
        const uint8_t* p = r.TypeData();
        out.push_back({list.IdAt(i), type, {r.Left(), r.Top(), r.Width(), r.Height()},
                       p ? std::vector<uint8_t>(p, p + r.TypeDataLength()) : std::vector<uint8_t>()});
    }
    return out;
}

void* Make(UnitHost& host, rt::InterfaceQueryFn q, const std::vector<uint8_t>& data, int w = 120, int h = 60,
           uint32_t unit = 0x16010001) {
    return host.Create(q, data, 10, 10, w, h, WS_TABSTOP, unit);
}
DWORD Style(void* o) { return static_cast<DWORD>(GetWindowLongPtrA(UnitHost::Handle(o), GWL_STYLE)); }
std::string Text(void* o) {
    char buf[256] = {};
    GetWindowTextA(UnitHost::Handle(o), buf, sizeof buf);
    return buf;
}
uint32_t Get(UnitHost& host, rt::InterfaceQueryFn q, void* o, int32_t index) {
    uint32_t p0 = 0xDEAD;
    EXPECT_TRUE(host.Get(q, o, index, &p0)) << "index " << index;
    return p0;
}
uint32_t Ptr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

bool Dark(COLORREF c) { return GetRValue(c) < 90 && GetGValue(c) < 90 && GetBValue(c) < 90; }
bool Whitish(COLORREF c) { return GetRValue(c) > 220 && GetGValue(c) > 220 && GetBValue(c) > 220; }
// Black text on white, also where the face is drawn smoothed into greys (a
// thin Ming face at 12 pixels has hardly a black pixel).
bool Written(COLORREF c) { return GetRValue(c) < 200 && GetGValue(c) < 200 && GetBValue(c) < 200; }

Shot Capture(void* o, bool fromScreen = false) { return test::CaptureClient(UnitHost::Handle(o), fromScreen); }

int LineHeight() {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return tm.tmHeight;
}

// A w x h 24-bit BMP file of one colour.
std::vector<uint8_t> Bmp(int w, int h, COLORREF c) {
    const int stride = (w * 3 + 3) & ~3;
    const uint32_t size = 54 + stride * h;
    units::DataWriter out;
    out.Short(0x4D42).Word(size).Word(0).Word(54);
    out.Word(40).Int(w).Int(h).Short(1).Short(24).Word(0).Word(stride * h).Word(0).Word(0).Word(0).Word(0);
    std::vector<uint8_t> row(stride, 0);
    for (int x = 0; x < w; ++x) row[x * 3] = GetBValue(c), row[x * 3 + 1] = GetGValue(c), row[x * 3 + 2] = GetRValue(c);
    for (int y = 0; y < h; ++y) out.Raw(row.data(), row.size());
    return out.Take();
}

// A 16 x 16 32-bit icon file.
std::vector<uint8_t> Ico() {
    units::DataWriter out;
    const uint32_t imageSize = 40 + 16 * 16 * 4 + 16 * 4;
    out.Short(0).Short(1).Short(1);
    out.Raw("\x10\x10\x00\x00", 4).Short(1).Short(32).Word(imageSize).Word(22);
    out.Word(40).Int(16).Int(32).Short(1).Short(32).Word(0).Word(0).Word(0).Word(0).Word(0).Word(0);
    for (int i = 0; i < 16 * 16; ++i) out.Word(0xFF0000FF);
    for (int i = 0; i < 16; ++i) out.Word(0);
    return out.Take();
}

class ButtonLabel : public testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    UnitHost host{&commands::gCoreLink};
};

// --- the program's own units --------------------------------------------------

TEST_F(ButtonLabel, ProgramButtonsComeUpAsStored) {
    const char* captions[] = {"启用", "禁用app的列表", "删除", "禁用", "查看当前页面App包名", "查看设备"};
    std::vector<StoredUnit> stored = ProgramUnits(rt::kTypeButton);
    ASSERT_EQ(6u, stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        const StoredUnit& u = stored[i];
        void* o = host.Create(kButton, u.data, u.rect.left, u.rect.top, u.rect.right, u.rect.bottom, WS_TABSTOP, u.id);
        ASSERT_NE(nullptr, o) << i;
        EXPECT_EQ(captions[i], Text(o));
        const DWORD wanted = WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE | WS_TABSTOP | BS_CENTER | BS_VCENTER;
        EXPECT_EQ(wanted, Style(o) & ~WS_VISIBLE) << std::hex << Style(o);
        EXPECT_EQ(0, GetWindowLongPtrA(UnitHost::Handle(o), GWL_EXSTYLE));
        EXPECT_EQ(GetStockObject(DEFAULT_GUI_FONT),
                  reinterpret_cast<HGDIOBJ>(SendMessageA(UnitHost::Handle(o), WM_GETFONT, 0, 0)));
        EXPECT_EQ(0, reinterpret_cast<units::IsDefaultButtonFn>(kButton(rt::kIfIsDefaultButton))(o));
        EXPECT_EQ(u.data, host.AllData(kButton, o)) << "interface 5 gives the stored bytes back";
    }
}

TEST_F(ButtonLabel, ProgramLabelsComeUpAsStored) {
    std::vector<StoredUnit> stored = ProgramUnits(rt::kTypeLabel);
    ASSERT_EQ(3u, stored.size());
    for (const StoredUnit& u : stored) {
        void* o = host.Create(kLabel, u.data, u.rect.left, u.rect.top, u.rect.right, u.rect.bottom, 0, u.id);
        ASSERT_NE(nullptr, o);
        HWND h = UnitHost::Handle(o);
        char cls[64] = {};
        GetClassNameA(h, cls, sizeof cls);
        EXPECT_STREQ("_QD_Label", cls);
        EXPECT_EQ(UINT(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS), GetClassLongA(h, GCL_STYLE));
        EXPECT_EQ(Ptr(GetStockObject(NULL_BRUSH)), GetClassLongA(h, GCL_HBRBACKGROUND));
        const bool hint = u.id == data::kUnitHintLabel;
        EXPECT_EQ(DWORD(WS_CHILD | WS_CLIPSIBLINGS | (hint ? WS_BORDER : 0)), Style(o) & ~WS_VISIBLE);
        EXPECT_EQ(u.data, host.AllData(kLabel, o));
        EXPECT_STREQ(reinterpret_cast<const char*>(Get(host, kLabel, o, 0)), Text(o).c_str());
    }
}

TEST_F(ButtonLabel, HintLabelShowsThreeLinesAndLogCaptionItsGreen) {
    int line = LineHeight();
    for (const StoredUnit& u : ProgramUnits(rt::kTypeLabel)) {
        void* o = host.Create(kLabel, u.data, u.rect.left, u.rect.top, u.rect.right, u.rect.bottom, 0, u.id);
        Shot s = Capture(o);
        if (u.id == data::kUnitHintLabel) {
            ASSERT_GT(s.h, 2 * line + 4) << "the third line is at least partly inside";
            for (int i = 0; i < 3; ++i) EXPECT_TRUE(s.Ink(0, i * line, s.w, (i + 1) * line, Dark)) << "line " << i;
            // With SimSun's metrics (or a face standing in for it) the third
            // line, which starts with the same characters as the first, shows
            // as many rows of ink: the bottom edge does not cut it.
            auto inkedRows = [&](int y0, int y1) {
                int n = 0;
                for (int y = y0; y < y1; ++y) n += s.Ink(0, y, s.w, y + 1, Dark);
                return n;
            };
            EXPECT_GE(inkedRows(2 * line, s.h), inkedRows(0, line)) << "the third line is cut; line height " << line;
            EXPECT_EQ(GetSysColor(COLOR_BTNFACE), s.At(s.w - 1, s.h - 1));
        } else if (u.id == data::kUnitLogLabel) {
            EXPECT_EQ(RGB(0, 0xE0, 0x80), s.At(0, 0)) << "stored as 0x0080E000";
            EXPECT_EQ(s.px, Capture(o, true).px) << "WM_PAINT and WM_PRINTCLIENT paint alike";
        }
    }
}

// --- button -------------------------------------------------------------------

TEST_F(ButtonLabel, ButtonPropertyWritesClampAndChangeTheLiveControl) {
    void* o = Make(host, kButton, {});
    HWND h = UnitHost::Handle(o);
    EXPECT_EQ("按钮", Text(o)) << "empty data keeps the defaults";
    auto isDefault = reinterpret_cast<units::IsDefaultButtonFn>(kButton(rt::kIfIsDefaultButton));
    struct { int32_t index, value; uint32_t stored; DWORD mask, bits; } cases[] = {
        {11, 7, 2, 0x300, BS_RIGHT}, {11, -1, 0, 0x300, BS_LEFT}, {11, 1, 1, 0x300, BS_CENTER},
        {12, 7, 2, 0xC00, BS_BOTTOM}, {12, -1, 0, 0xC00, BS_TOP}, {9, 5, 1, 0x1F, BS_DEFPUSHBUTTON},
    };
    for (auto& c : cases) {
        EXPECT_EQ(0, host.Changed(kButton, o, c.index - 8, static_cast<uint32_t>(c.value)));
        EXPECT_EQ(c.stored, Get(host, kButton, o, c.index - 8)) << c.index << " <- " << c.value;
        EXPECT_EQ(c.bits, Style(o) & c.mask) << c.index << " <- " << c.value;
    }
    EXPECT_EQ(1, isDefault(o));
    EXPECT_EQ(0, host.Changed(kButton, o, 1, static_cast<uint32_t>(-3)));
    EXPECT_EQ(0, isDefault(o));

    EXPECT_EQ(0, host.Changed(kButton, o, 2, Ptr("新标题")));
    EXPECT_EQ(h, UnitHost::Handle(o)) << "a caption needs no re-creation";
    EXPECT_EQ("新标题", Text(o));
    EXPECT_EQ(0, host.Changed(kButton, o, 2, 0));
    EXPECT_EQ("", Text(o));

    LOGFONTA lf = {};
    lf.lfHeight = -20;
    std::strcpy(lf.lfFaceName, "Tahoma");
    EXPECT_EQ(0, host.Changed(kButton, o, 5, Ptr(&lf), sizeof lf));
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(h, WM_GETFONT, 0, 0));
    ASSERT_NE(GetStockObject(DEFAULT_GUI_FONT), font);
    LOGFONTA made;
    GetObjectA(font, sizeof made, &made);
    EXPECT_EQ(1, made.lfCharSet);
    EXPECT_EQ(2, made.lfQuality);
    EXPECT_EQ(0, host.Changed(kButton, o, 5, Ptr(&lf), 59)) << "59 bytes stand for the default font";
    EXPECT_EQ(GetStockObject(DEFAULT_GUI_FONT), reinterpret_cast<HGDIOBJ>(SendMessageA(h, WM_GETFONT, 0, 0)));

    std::vector<uint8_t> bmp = Bmp(4, 4, kRed);
    EXPECT_EQ(1, host.Changed(kButton, o, 0, Ptr(bmp.data()), static_cast<uint32_t>(bmp.size())))
        << "only a new picture re-creates";
    uint32_t p0 = 0, p1 = 0;
    EXPECT_TRUE(host.Get(kButton, o, 0, &p0, &p1));
    EXPECT_EQ(bmp.size(), p1);
    EXPECT_FALSE(host.Get(kButton, o, 6, &p0)) << "no property 14";
}

TEST_F(ButtonLabel, ButtonPicturesPickIconOrBitmapStyle) {
    struct { std::vector<uint8_t> bytes; DWORD style; WPARAM image; } cases[] = {
        {Bmp(8, 6, kRed), BS_BITMAP, IMAGE_BITMAP}, {Ico(), BS_ICON, IMAGE_ICON}, {{1, 2, 3, 4, 5}, 0, 0}};
    for (auto& c : cases) {
        ButtonData d;
        d.picture = c.bytes;
        d.caption = "pic";
        void* o = Make(host, kButton, units::Encode(d));
        ASSERT_NE(nullptr, o);
        EXPECT_EQ(c.style, Style(o) & (BS_ICON | BS_BITMAP));
        if (c.image) {
            EXPECT_NE(0, SendMessageA(UnitHost::Handle(o), BM_GETIMAGE, c.image, 0));
        }
        EXPECT_EQ("pic", Text(o));
    }
}

TEST_F(ButtonLabel, ButtonClickAndFocusRaiseEvents) {
    void* a = Make(host, kButton, {}, 80, 30, 0x16010001);
    void* b = Make(host, kButton, {}, 80, 30, 0x16010002);
    SetForegroundWindow(host.Parent());
    bool focusedWhenRaised = false;
    host.handler = [&](const test::RaisedEvent& e, int32_t*) {
        if (e.index == -7 && e.unit == 0x16010001u)
            focusedWhenRaised = SendMessageA(UnitHost::Handle(a), BM_GETSTATE, 0, 0) & BST_FOCUS;
        return false;
    };
    SendMessageA(UnitHost::Handle(a), BM_CLICK, 0, 0);
    UnitHost::Pump();
    int clicks = 0;
    for (auto& e : host.events) {
        if (e.index != 0) continue;
        ++clicks;
        EXPECT_EQ(0x16010001u, e.unit);
        EXPECT_TRUE(e.args.empty());
    }
    EXPECT_EQ(1, clicks);

    host.events.clear();
    SetFocus(UnitHost::Handle(a));
    SetFocus(UnitHost::Handle(b));
    std::vector<std::pair<uint32_t, int32_t>> got;
    for (auto& e : host.events) got.push_back({e.unit, e.index});
    std::vector<std::pair<uint32_t, int32_t>> focus = {{0x16010001u, -8}, {0x16010002u, -7}};
    EXPECT_EQ(focus, got);
    EXPECT_TRUE(focusedWhenRaised) << "-7 comes after the button's own focus handling";

    // A disabled button starts nothing, even when a program clicks it.
    EnableWindow(UnitHost::Handle(a), FALSE);
    host.events.clear();
    SendMessageA(UnitHost::Handle(a), BM_CLICK, 0, 0);
    UnitHost::Pump();
    for (auto& e : host.events) EXPECT_NE(0, e.index) << std::hex << e.unit;
}

// --- label --------------------------------------------------------------------

TEST_F(ButtonLabel, LabelWritesClampAndNeverRecreate) {
    void* o = Make(host, kLabel, {});
    HWND h = UnitHost::Handle(o);
    EXPECT_EQ("标签", Text(o));
    struct { int32_t index, value; uint32_t stored; } cases[] = {
        {11, 3, 5}, {11, -1, 5}, {11, 7, 7}, {9, 9, 3}, {10, -2, 0}, {10, 9, 6}, {19, 5, 2},
        {20, 99, 8}, {24, 3, 2}, {26, -4, 0}, {25, 2, 1}, {17, int32_t(kNone), kNone}};
    for (auto& c : cases) {
        EXPECT_EQ(0, host.Changed(kLabel, o, c.index - 8, static_cast<uint32_t>(c.value)));
        EXPECT_EQ(c.stored, Get(host, kLabel, o, c.index - 8)) << c.index << " <- " << c.value;
    }
    EXPECT_EQ(0, host.Changed(kLabel, o, 10 - 8, 4));
    EXPECT_EQ(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME, GetWindowLongPtrA(h, GWL_EXSTYLE) & 0x20201);
    std::vector<uint8_t> bmp = Bmp(2, 2, kRed);
    EXPECT_EQ(0, host.Changed(kLabel, o, 18 - 8, Ptr(bmp.data()), static_cast<uint32_t>(bmp.size())));
    EXPECT_EQ(0, host.Changed(kLabel, o, 0, Ptr("新标题")));
    EXPECT_EQ(h, UnitHost::Handle(o));
    EXPECT_EQ("新标题", Text(o));
    uint32_t p0;
    EXPECT_FALSE(host.Get(kLabel, o, 21, &p0));
}

TEST_F(ButtonLabel, StoredDataReadBackByCreationGivesTheSameUnit) {
    LabelData old;   // version 1 carries no data source
    old.version = 1;
    old.caption = "v1";
    LabelData v0 = old;
    v0.version = 0;
    for (const LabelData& d : {old, v0}) {
        void* o = Make(host, kLabel, units::Encode(d));
        ASSERT_NE(nullptr, o);
        LabelData back;
        std::vector<uint8_t> all = host.AllData(kLabel, o);
        ASSERT_TRUE(units::Decode(all.data(), all.size(), &back));
        EXPECT_EQ(2u, back.version);
        EXPECT_EQ("v1", back.caption);
    }
    ButtonData b0;
    b0.version = 0;
    b0.caption = "v0";
    void* button = Make(host, kButton, units::Encode(b0));
    ASSERT_NE(nullptr, button);
    EXPECT_EQ(1u, host.AllData(kButton, button)[0]);

    host.Changed(kButton, button, 11 - 8, 7);
    host.Changed(kButton, button, 9 - 8, 1);
    void* again = Make(host, kButton, host.AllData(kButton, button), 120, 60, 0x16010002);
    EXPECT_EQ(Style(button), Style(again));
    EXPECT_EQ(host.AllData(kButton, button), host.AllData(kButton, again));

    void* label = Make(host, kLabel, {});
    host.Changed(kLabel, label, 10 - 8, 6);
    host.Changed(kLabel, label, 20 - 8, 7);
    host.Changed(kLabel, label, 27 - 8, Ptr("源"));
    void* copy = Make(host, kLabel, host.AllData(kLabel, label), 120, 60, 0x16010004);
    EXPECT_EQ(host.AllData(kLabel, label), host.AllData(kLabel, copy));
    EXPECT_EQ(Capture(label).px, Capture(copy).px);

    ButtonData newer;
    newer.version = 2;
    LabelData newest;
    newest.version = 3;
    std::vector<uint8_t> cut = units::Encode(LabelData());
    cut.resize(cut.size() - 3);
    host.destroyed.clear();
    EXPECT_EQ(nullptr, Make(host, kButton, units::Encode(newer)));
    EXPECT_EQ(nullptr, Make(host, kLabel, units::Encode(newest)));
    EXPECT_EQ(nullptr, Make(host, kLabel, cut));
    EXPECT_TRUE(host.destroyed.empty()) << "no control was made, so none is reported gone";
}

TEST_F(ButtonLabel, LabelEventTakesTheHandlersResult) {
    void* o = Make(host, kLabel, {});
    host.handler = [](const test::RaisedEvent&, int32_t* v) { *v = 42; return true; };
    EXPECT_EQ(42, SendMessageA(UnitHost::Handle(o), forms::kMsgLabelEvent, 7, 9));
    ASSERT_EQ(1u, host.events.size());
    EXPECT_EQ(0, host.events[0].index);
    EXPECT_EQ((std::vector<int32_t>{7, 9}), host.events[0].args);
    host.handler = nullptr;
    EXPECT_EQ(0, SendMessageA(UnitHost::Handle(o), forms::kMsgLabelEvent, 7, 9));
}

TEST_F(ButtonLabel, LabelBackgroundAndGradients) {
    LabelData d;
    d.caption.clear();
    Shot plain = Capture(Make(host, kLabel, units::Encode(d), 133, 77));
    EXPECT_EQ(std::vector<COLORREF>(plain.px.size(), GetSysColor(COLOR_BTNFACE)), plain.px);

    d.backColour = kGreen;
    d.gradientBack = 1;
    d.gradientColours[0] = kNone;
    d.gradientColours[2] = kNone;   // one colour left: no gradient
    d.border = 6;
    d.borderColours[0] = d.borderColours[1] = kNone;   // and no frame
    Shot single = Capture(Make(host, kLabel, units::Encode(d), 133, 77));
    EXPECT_EQ(std::vector<COLORREF>(single.px.size(), kGreen), single.px);

    d.gradientColours[0] = kRed;
    d.gradientColours[1] = kGreen;
    std::vector<std::vector<COLORREF>> kinds;
    for (int kind = 1; kind <= 8; ++kind) {
        d.gradientBack = kind;
        Shot s = Capture(Make(host, kLabel, units::Encode(d), 133, 77));
        for (COLORREF c : s.px)   // every pixel a blend of the two: none left unpainted
            ASSERT_TRUE(GetBValue(c) == 0 && std::abs(GetRValue(c) + GetGValue(c) - 255) <= 2)
                << "kind " << kind << std::hex << " pixel " << c;
        for (auto& other : kinds) EXPECT_NE(other, s.px) << "kind " << kind;
        kinds.push_back(s.px);
    }

    d.gradientBack = 0;
    d.borderColours[0] = RGB(0, 0, 0);
    d.borderColours[1] = kWhite;
    d.borderColours[2] = kNone;
    d.gradientBorderWidth = 5;
    Shot framed = Capture(Make(host, kLabel, units::Encode(d), 40, 30));
    EXPECT_EQ(RGB(0, 0, 0), framed.At(0, 15));
    EXPECT_EQ(kWhite, framed.At(4, 15));
    EXPECT_EQ(kGreen, framed.At(5, 15));
    EXPECT_EQ(kGreen, framed.At(34, 24));
    EXPECT_EQ(RGB(0, 0, 0), framed.At(39, 29));
}

TEST_F(ButtonLabel, LabelPictureModes) {
    LabelData d;
    d.caption.clear();
    d.backColour = kGreen;
    d.picture = Bmp(4, 3, kBlue);
    d.pictureMode = 0;
    Shot corner = Capture(Make(host, kLabel, units::Encode(d), 20, 10));
    EXPECT_EQ(kBlue, corner.At(3, 2));
    EXPECT_EQ(kGreen, corner.At(4, 0));
    EXPECT_EQ(kGreen, corner.At(0, 3));
    d.pictureMode = 1;
    Shot tiled = Capture(Make(host, kLabel, units::Encode(d), 20, 10));
    EXPECT_EQ(std::vector<COLORREF>(tiled.px.size(), kBlue), tiled.px);
    d.pictureMode = 2;
    d.picture = Bmp(40, 10, kBlue);   // twice too wide: shown at 20 x 5, centred
    Shot fitted = Capture(Make(host, kLabel, units::Encode(d), 20, 10));
    EXPECT_EQ(kGreen, fitted.At(10, 1));
    EXPECT_EQ(kBlue, fitted.At(0, 5));
    EXPECT_EQ(kBlue, fitted.At(19, 5));
    EXPECT_EQ(kGreen, fitted.At(10, 8));

    d.picture = {9, 9, 9, 9};
    void* bad = Make(host, kLabel, units::Encode(d), 20, 10);
    Shot s = Capture(bad);
    EXPECT_EQ(std::vector<COLORREF>(s.px.size(), kGreen), s.px);
    uint32_t p1 = 1;
    host.Get(kLabel, bad, 18 - 8, nullptr, &p1);
    EXPECT_EQ(0u, p1) << "undecodable bytes are discarded";
}

TEST_F(ButtonLabel, LabelCaptionLayoutAndEffects) {
    const int line = LineHeight();
    LabelData d;
    d.backColour = kWhite;
    d.vAlign = 0;
    d.caption = "Top line\r\nSecond line";
    Shot one = Capture(Make(host, kLabel, units::Encode(d), 160, 80));
    EXPECT_TRUE(one.Ink(0, 0, one.w, line, Written));
    EXPECT_FALSE(one.Ink(0, line, one.w, one.h, Written)) << "without word wrap CR LF does not break the line";
    d.wordWrap = true;
    Shot two = Capture(Make(host, kLabel, units::Encode(d), 160, 80));
    EXPECT_TRUE(two.Ink(0, line, two.w, 2 * line, Written));

    d.wordWrap = false;
    d.caption = "MMMM";
    d.vAlign = 2;
    d.hAlign = 2;
    Shot corner = Capture(Make(host, kLabel, units::Encode(d), 160, 80));
    EXPECT_FALSE(corner.Ink(0, 0, 160, 80 - line, Written));
    EXPECT_FALSE(corner.Ink(0, 0, 80, 80, Written));
    EXPECT_TRUE(corner.Ink(80, 80 - line, 160, 80, Written));

    d.backColour = RGB(128, 128, 128);
    d.textColour = kRed;
    bool whiteExpected[] = {false, true, true, false}, darkExpected[] = {false, false, false, true};
    for (int effect = 0; effect <= 3; ++effect) {
        d.effect = effect;
        Shot s = Capture(Make(host, kLabel, units::Encode(d), 160, 80));
        EXPECT_EQ(whiteExpected[effect], s.Ink(0, 0, s.w, s.h, Whitish)) << "effect " << effect;
        EXPECT_EQ(darkExpected[effect], s.Ink(0, 0, s.w, s.h, Dark)) << "effect " << effect;
    }
}

TEST_F(ButtonLabel, UnitsReportTheirDestruction) {
    void* b = Make(host, kButton, {}, 80, 30, 0x16010001);
    Make(host, kLabel, {}, 80, 30, 0x16010002);
    DestroyWindow(UnitHost::Handle(b));
    EXPECT_EQ(std::vector<uint32_t>{0x16010001u}, host.destroyed);
    DestroyWindow(host.Parent());
    EXPECT_EQ((std::vector<uint32_t>{0x16010001u, 0x16010002u}), host.destroyed);
}

} // namespace
