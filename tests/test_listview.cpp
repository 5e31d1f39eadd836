// The list view: the row model on its own (rows from one text, filter,
// sort, marks), then the unit in virtual mode through its interfaces and the
// library's commands: stored columns and styles, 20,000 rows, filtering and
// sorting with the selection kept, check marks by click, Space and command,
// row colours, names in UTF-16 found by pinyin, icons, and the events with
// their arguments.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <string>
#include <vector>
#include "runtime/values.h"
#include "support/png.h"
#include "support/unithost.h"
#include "icons/appicon.h"
#include "units/extlib.h"
#include "units/listmodel.h"
#include "units/queries.h"
#include "forms/unitdata.h"

namespace {

using test::UnitHost;
using units::ListModel;

// --- the model ---------------------------------------------------------------------

std::vector<int32_t> Shown(const ListModel& m) {
    std::vector<int32_t> rows;
    for (int32_t p = 0; p < m.ShownCount(); ++p) rows.push_back(m.RowAt(p));
    return rows;
}

void Fill(ListModel* m, const std::string& text) { m->SetRows(text.data(), text.size()); }

TEST(ListModel, RowsFromOneText) {
    ListModel m;
    Fill(&m, "a\tb\tc\r\nd\n\ne\tf\r\n");
    ASSERT_EQ(m.RowCount(), 4);   // the empty line is a row, the last line end adds none
    EXPECT_EQ(m.Cell(0, 2), "c");
    EXPECT_EQ(m.Cell(1, 0), "d");
    EXPECT_EQ(m.Cell(1, 1), "");  // a cell the row does not have
    EXPECT_EQ(m.Cell(2, 0), "");
    EXPECT_EQ(m.RowText(3), "e\tf");
    EXPECT_EQ(m.Cell(7, 0), "");
    Fill(&m, "");
    EXPECT_EQ(m.RowCount(), 0);
    EXPECT_EQ(m.ShownCount(), 0);
    EXPECT_EQ(units::SplitLines(std::string("x\r\ny")), (std::vector<std::string>{"x", "y"}));
}

TEST(ListModel, FilterOverChosenColumns) {
    ListModel m;
    Fill(&m, "com.android.phone\t已启用\n"
             "com.Example.App\t已禁用\n"
             "org.phone.x\t已删除\n");
    m.SetFilter("PHONE", 0);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(m.PositionOf(2), 1);
    EXPECT_EQ(m.PositionOf(1), -1);
    m.SetFilter("example", 1u << 0);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{1}));
    m.SetFilter("已删除", 1u << 0);   // only the first column is searched
    EXPECT_TRUE(Shown(m).empty());
    m.SetFilter("已删除", 1u << 1);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{2}));
    // New rows keep the filter.
    Fill(&m, "phone\nnone\n");
    EXPECT_EQ(m.ShownCount(), 0);
    m.SetFilter("", 0);
    EXPECT_EQ(m.ShownCount(), 2);
}

TEST(ListModel, GbkTextMatchesOnlyWholeCharacters) {
    if (!IsDBCSLeadByte(0xB0)) GTEST_SKIP() << "the system code page has no double-byte characters";
    // "啊" is B0 A1, "阿" is B0 A2; "癌" B0 A9. Across the boundary of
    // "啊阿" lie the bytes A1 B0, which are no character of the text.
    const std::string text = "\xB0\xA1\xB0\xA2";
    EXPECT_TRUE(units::ContainsText(text, "\xB0\xA2"));
    EXPECT_FALSE(units::ContainsText(text, "\xA1\xB0"));
    // A trail byte in the letter range is no letter: "奀" is 8A 41, not "?a".
    EXPECT_FALSE(units::ContainsText("\x8A\x41", "a"));
    EXPECT_TRUE(units::ContainsText("x\x8A\x41y", "Y"));
    // Characters differing only in a trail byte in the letter range sort apart.
    EXPECT_NE(units::CompareCells("\x8A\x41", "\x8A\x61"), 0);
}

TEST(ListModel, SortNumbersByValueAndKeepTiesInOrder) {
    ListModel m;
    Fill(&m, "b\t10\n"
             "a\t9\n"
             "C\t10\n"
             "a\t100\n");
    m.SetSort(1, false);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{1, 0, 2, 3}));
    m.SetSort(1, true);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{3, 0, 2, 1}));   // equal cells keep their order
    m.SetSort(0, false);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{1, 3, 0, 2}));   // letters in either case alike
    m.SetFilter("a", 1);
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{1, 3}));
    m.SetSort(-1, true);
    EXPECT_FALSE(m.SortDescending());
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{1, 3}));
    EXPECT_LT(units::CompareCells("file2", "file10"), 0);
    EXPECT_EQ(units::CompareCells("x007", "x7"), 0);
}

TEST(ListModel, ChangedRowMovesToItsPlace) {
    ListModel m;
    Fill(&m, "b\nd\nf\n");
    m.SetSort(0, false);
    m.SetFilter("", 0);
    ASSERT_TRUE(m.SetRow(2, "a", 0x0000FF));
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{2, 0, 1}));
    EXPECT_EQ(m.Colour(2), 0x0000FFu);
    EXPECT_EQ(m.Colour(0), ListModel::kDefaultColour);
    m.SetFilter("d", 0);
    ASSERT_TRUE(m.SetRow(0, "dd", ListModel::kDefaultColour));
    EXPECT_EQ(Shown(m), (std::vector<int32_t>{1, 0}));
    EXPECT_FALSE(m.SetRow(3, "x", 0));
    EXPECT_FALSE(m.SetRow(-1, "x", 0));
}

TEST(ListModel, MarksRoundTrip) {
    ListModel m;
    Fill(&m, "a\nb\nc\nd\n");
    EXPECT_TRUE(m.SetChecked(3, true));
    EXPECT_TRUE(m.SetChecked(1, true));
    EXPECT_FALSE(m.SetChecked(1, true));
    EXPECT_FALSE(m.SetChecked(9, true));
    EXPECT_EQ(m.CheckedRows(), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(m.CheckedCount(), 2);
    m.SetSort(0, true);   // sorting keeps the marks on their rows
    EXPECT_EQ(m.CheckedRows(), (std::vector<int32_t>{1, 3}));
    EXPECT_TRUE(m.SetChecked(3, false));
    EXPECT_EQ(m.CheckedCount(), 1);
    Fill(&m, "x\n");
    EXPECT_EQ(m.CheckedCount(), 0);
}

// --- the unit ----------------------------------------------------------------------

const rt::InterfaceQueryFn kQuery = units::ListViewQuery;
constexpr uint32_t kUnit = 0x16010060;

// Property indices less 8.
enum Property : int32_t {
    kColumns = 0, kCheckBoxes, kFullRow, kMultiSelect, kGridLines, kBorder, kTextColour, kBackColour, kFont,
    kSortColumn, kSortDescending, kRowCount, kShownCount, kCheckedCount, kCurrentRow,
};

TEST(ListModel, NamesAreFoundAndSortedByPinyinWithoutTouchingTheOtherCells) {
    units::ListModel m;
    const std::string rows = "\tcom.tencent.mm\r\n\tcom.eg.android.AlipayGphone\r\n\tcom.unnamed\r\n\tcom.android.settings\r\n";
    m.SetRows(rows.data(), rows.size());
    m.SetNameColumn(0);
    m.SetChecked(2, true);
    // 微信, 支付宝, (none), 设置 — and a name the code page cannot hold.
    ASSERT_TRUE(m.SetNames(0, {L"\u5FAE\u4FE1", L"\u652F\u4ED8\u5B9D", L"", L"\u8BBE\u7F6E\U0001F600"}));
    EXPECT_EQ(m.Name(3), L"\u8BBE\u7F6E\U0001F600");
    EXPECT_EQ(m.Cell(0, 1), "com.tencent.mm");
    EXPECT_TRUE(m.Checked(2)) << "names leave the marks alone";

    auto shown = [&m] {
        std::vector<int32_t> order;
        for (int32_t p = 0; p < m.ShownCount(); ++p) order.push_back(m.RowAt(p));
        return order;
    };
    m.SetFilter("wx", 0x3);
    EXPECT_EQ(shown(), (std::vector<int32_t>{0}));
    m.SetFilter("weixin", 0x3);
    EXPECT_EQ(shown(), (std::vector<int32_t>{0}));
    m.SetFilter("\xD6\xA7\xB8\xB6", 0x3);   // 支付 in the code page
    EXPECT_EQ(shown(), (std::vector<int32_t>{1}));
    m.SetFilter("sz", 0x3);
    EXPECT_EQ(shown(), (std::vector<int32_t>{3}));
    m.SetFilter("settings", 0x3);   // the package column still counts
    EXPECT_EQ(shown(), (std::vector<int32_t>{3}));
    m.SetFilter("wx", 0x2);         // not when the name column is left out
    EXPECT_TRUE(shown().empty());
    // Names set while a filter is on are filtered as they come.
    m.SetFilter("zfb", 0x3);
    EXPECT_EQ(shown(), (std::vector<int32_t>{1}));
    ASSERT_TRUE(m.SetNames(2, {L"\u652F\u4ED8\u5B9D\u5C0F\u7A0B\u5E8F"}));
    EXPECT_EQ(shown(), (std::vector<int32_t>{1, 2}));
    EXPECT_FALSE(m.SetNames(4, {L"x"}));
    ASSERT_TRUE(m.SetNames(2, {L""}));
    m.SetFilter("", 0);

    // By pinyin: 设置 (she), 微信 (wei), 支付宝 (zhi); the row without a name last either way.
    m.SetSort(0, false);
    EXPECT_EQ(shown(), (std::vector<int32_t>{3, 0, 1, 2}));
    m.SetSort(0, true);
    EXPECT_EQ(shown(), (std::vector<int32_t>{1, 0, 3, 2}));
    // A name arriving moves its row to its place.
    ASSERT_TRUE(m.SetNames(2, {L"\u963F\u91CC"}));   // 阿里 (a)
    EXPECT_EQ(shown(), (std::vector<int32_t>{1, 0, 3, 2}));
    m.SetSort(0, false);
    EXPECT_EQ(shown(), (std::vector<int32_t>{2, 3, 0, 1}));
    // Typing into the list finds a row by the start of its name, pinyin
    // initials too, or by its package when it has no name; from a place on.
    m.SetSort(-1, false);
    ASSERT_TRUE(m.SetNames(2, {L""}));
    EXPECT_EQ(m.FindTyped(L"wx", 0), 0);
    EXPECT_EQ(m.FindTyped(L"\u5FAE", 0), 0);
    EXPECT_EQ(m.FindTyped(L"ZF", 0), 1);
    EXPECT_EQ(m.FindTyped(L"com.u", 0), 2);
    EXPECT_EQ(m.FindTyped(L"s", 0), 3);
    EXPECT_EQ(m.FindTyped(L"w", 1), 0) << "round from the end";
    EXPECT_EQ(m.FindTyped(L"wy", 0), -1);
    EXPECT_EQ(m.FindTyped(L"com.t", 0), -1) << "a named row by its name";
    // New rows start without names.
    m.SetRows(rows.data(), rows.size());
    EXPECT_EQ(m.Name(0), L"");
}

// Commands of the extended library.
enum Command { kSetRows = 2, kSetRow, kRowText, kCheckRows, kCheckedRows, kSelectedRows, kFilter, kSort, kSetNames = 11, kSetIcon };

rt::ArgRecord UnitArg() { return rt::MakeArg(rt::kTypeListView, UnitHost::kWindowId, kUnit); }
rt::ArgRecord Int(int32_t v) { return rt::MakeArg(rt::kTypeInt, static_cast<uint32_t>(v)); }
rt::ArgRecord Text(const char* s) { return rt::MakeArg(rt::kTypeText, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s))); }
rt::ArgRecord Bool(bool b) { return rt::MakeArg(rt::kTypeBool, b ? 1 : 0); }

rt::ArgRecord Call(Command c, std::vector<rt::ArgRecord> args) {
    args.insert(args.begin(), UnitArg());
    rt::ArgRecord result = {0xDEAD, 0, 0};
    units::kExtCommands[c](&result, static_cast<int32_t>(args.size()), args.data());
    return result;
}

// Rows that a command wrote into an integer array variable.
std::vector<int32_t> CallRows(Command c) {
    void* array = nullptr;
    rt::ArgRecord r = Call(c, {rt::MakeArg(rt::kTypeInt | rt::kByRef, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&array)))});
    std::vector<int32_t> rows;
    if (array) {
        const int32_t* words = static_cast<const int32_t*>(array);
        EXPECT_EQ(words[0], 1);
        rows.assign(words + 2, words + 2 + words[1]);
        rt::FreeArray(rt::kTypeInt, array);
    }
    EXPECT_EQ(static_cast<int32_t>(r.lo), static_cast<int32_t>(rows.size()));
    return rows;
}

units::ListViewData Packages(bool checkBoxes = true) {
    units::ListViewData d;
    d.checkBoxes = checkBoxes;
    d.columns = {{"包名", 180, 0}, {"状态", 60, 2}, {"大小", 70, 1}};
    return d;
}

std::string Rows(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "com.app" + std::to_string(i) + "\t" + (i % 3 ? "已启用" : "已禁用") + "\t" + std::to_string(n - i) + "\r\n";
    return s;
}

class ListViewUnit : public ::testing::Test {
protected:
    static void SetUpTestSuite() { host_ = new UnitHost(&units::gExtLink); }
    static void TearDownTestSuite() {
        delete host_;
        host_ = nullptr;
    }
    void TearDown() override {
        while (HWND child = GetWindow(host_->Parent(), GW_CHILD)) DestroyWindow(child);
        UnitHost::Pump();
        host_->events.clear();
        host_->handler = nullptr;
    }

    void Make(const units::ListViewData& d) {
        object_ = host_->Create(kQuery, units::Encode(d), 10, 10, 500, 300, WS_TABSTOP, kUnit);
        ASSERT_NE(object_, nullptr);
        list_ = UnitHost::Handle(object_);
    }
    uint32_t Get(int32_t index) {
        uint32_t p0 = 0xDEAD;
        EXPECT_TRUE(host_->Get(kQuery, object_, index, &p0)) << index;
        return p0;
    }
    std::string GetText(int32_t index) {
        uint32_t p0 = Get(index);
        return p0 ? reinterpret_cast<const char*>(static_cast<uintptr_t>(p0)) : "";
    }
    void Set(int32_t index, uint32_t value) { EXPECT_EQ(host_->Changed(kQuery, object_, index, value), 0); }

    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageA(list_, msg, wp, lp); }
    std::string ItemText(int pos, int column) {
        char buf[256] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = buf;
        item.cchTextMax = sizeof buf;
        Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&item));
        return buf;
    }
    UINT State(int pos, UINT mask) { return static_cast<UINT>(Send(LVM_GETITEMSTATE, static_cast<WPARAM>(pos), mask)); }
    void Select(int pos) {
        LVITEMA item = {};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&item));
    }
    POINT RowPoint(int pos, int dx) {
        RECT r = {LVIR_BOUNDS, 0, 0, 0};
        Send(LVM_GETITEMRECT, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&r));
        return POINT{r.left + dx, (r.top + r.bottom) / 2};
    }
    void Key(WPARAM vk, bool ctrl = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        SetKeyboardState(keys);
        Send(WM_KEYDOWN, vk, 0);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
    std::vector<test::RaisedEvent> EventsOf(int32_t index) {
        std::vector<test::RaisedEvent> out;
        for (const test::RaisedEvent& e : host_->events)
            if (e.index == index) out.push_back(e);
        return out;
    }

    static UnitHost* host_;
    void* object_ = nullptr;
    HWND list_ = nullptr;
};

UnitHost* ListViewUnit::host_ = nullptr;

TEST_F(ListViewUnit, StoredColumnsAndStylesMakeTheControl) {
    units::ListViewData d = Packages();
    d.multiSelect = false;
    d.gridLines = true;
    d.sortColumn = 2;
    d.sortDescending = true;
    Make(d);
    LONG_PTR style = GetWindowLongPtrA(list_, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_OWNERDATA);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    DWORD ex = static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE));
    EXPECT_TRUE(ex & LVS_EX_CHECKBOXES);
    EXPECT_TRUE(ex & LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(ex & LVS_EX_GRIDLINES);

    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    ASSERT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 3);
    const int formats[3] = {HDF_LEFT, HDF_CENTER, HDF_RIGHT};
    for (int i = 0; i < 3; ++i) {
        char title[64] = {};
        HDITEMA item = {};
        item.mask = HDI_TEXT | HDI_FORMAT | HDI_WIDTH;
        item.pszText = title;
        item.cchTextMax = sizeof title;
        SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(title, d.columns[static_cast<size_t>(i)].title);
        EXPECT_EQ(item.cxy, d.columns[static_cast<size_t>(i)].width);
        EXPECT_EQ(item.fmt & HDF_JUSTIFYMASK, formats[i]) << i;
        EXPECT_EQ((item.fmt & HDF_SORTDOWN) != 0, i == 2) << i;   // the arrow of the stored sort
        EXPECT_FALSE(item.fmt & HDF_SORTUP);
    }
    // All property data gives back what was stored.
    std::vector<uint8_t> all = host_->AllData(kQuery, object_);
    units::ListViewData back;
    ASSERT_TRUE(units::Decode(all.data(), all.size(), &back));
    EXPECT_EQ(units::Encode(back), units::Encode(d));
}

TEST_F(ListViewUnit, DamagedDataCreatesNothing) {
    std::vector<uint8_t> bytes = units::Encode(Packages());
    bytes.resize(bytes.size() - 3);
    EXPECT_EQ(host_->Create(kQuery, bytes, 0, 0, 100, 100, 0, kUnit), nullptr);
    bytes = units::Encode(Packages());
    bytes[0] = 2;   // a version we do not know
    EXPECT_EQ(host_->Create(kQuery, bytes, 0, 0, 100, 100, 0, kUnit), nullptr);
    // A column count far beyond the data is refused before anything is reserved.
    units::DataWriter w;
    w.Word(1).Bool(false).Bool(true).Bool(true).Bool(false).Int(1).Word(0).Word(0xFFFFFF).Int(-1).Bool(false);
    w.Counted(std::vector<uint8_t>()).Word(0x7FFFFFFF);
    EXPECT_EQ(host_->Create(kQuery, w.Bytes(), 0, 0, 100, 100, 0, kUnit), nullptr);
    // Empty data takes the defaults.
    object_ = host_->Create(kQuery, {}, 0, 0, 100, 100, 0, kUnit);
    ASSERT_NE(object_, nullptr);
    EXPECT_EQ(Get(kSortColumn), static_cast<uint32_t>(-1));
    EXPECT_EQ(Get(kBorder), 1u);
}

TEST_F(ListViewUnit, PropertiesReadBackWhatWasWritten) {
    Make(Packages(false));
    std::string columns = "名称\t120\t0\r\n数量\t50\t1";
    Set(kColumns, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(columns.c_str())));
    EXPECT_EQ(GetText(kColumns), columns);
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(Send(LVM_GETHEADER)), HDM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(Send(LVM_GETCOLUMNWIDTH, 1), 50);
    // A line without width or alignment takes 100 and left.
    Set(kColumns, static_cast<uint32_t>(reinterpret_cast<uintptr_t>("一\r\n二\t\t2")));
    EXPECT_EQ(GetText(kColumns), "一\t100\t0\r\n二\t100\t2");

    Set(kCheckBoxes, 1);
    EXPECT_EQ(Get(kCheckBoxes), 1u);
    EXPECT_TRUE(Send(LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_CHECKBOXES);
    Set(kFullRow, 0);
    EXPECT_EQ(Get(kFullRow), 0u);
    EXPECT_FALSE(Send(LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_FULLROWSELECT);
    Set(kGridLines, 1);
    EXPECT_TRUE(Send(LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_GRIDLINES);
    Set(kMultiSelect, 0);
    EXPECT_EQ(Get(kMultiSelect), 0u);
    EXPECT_TRUE(GetWindowLongPtrA(list_, GWL_STYLE) & LVS_SINGLESEL);
    Set(kBorder, 9);
    EXPECT_EQ(Get(kBorder), 5u);
    EXPECT_TRUE(GetWindowLongPtrA(list_, GWL_STYLE) & WS_BORDER);
    Set(kTextColour, 0x0000FF);
    EXPECT_EQ(Get(kTextColour), 0x0000FFu);
    EXPECT_EQ(Send(LVM_GETTEXTCOLOR), 0x0000FF);
    Set(kBackColour, 0xFF000000);
    EXPECT_EQ(Get(kBackColour), 0xFF000000u);
    EXPECT_EQ(static_cast<COLORREF>(Send(LVM_GETBKCOLOR)), GetSysColor(COLOR_BTNFACE));
    LOGFONTA lf = {};
    lf.lfHeight = -20;
    lstrcpyA(lf.lfFaceName, "Tahoma");
    EXPECT_EQ(host_->Changed(kQuery, object_, kFont, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&lf)), sizeof lf), 0);
    uint32_t p0 = 0, p1 = 0;
    ASSERT_TRUE(host_->Get(kQuery, object_, kFont, &p0, &p1));
    EXPECT_EQ(p1, sizeof lf);
    LOGFONTA now = {};
    GetObjectA(reinterpret_cast<HFONT>(Send(WM_GETFONT)), sizeof now, &now);
    EXPECT_EQ(now.lfHeight, -20);

    // Run-time counts follow the rows; writes to them change nothing.
    Call(kSetRows, {Text("b\t2\r\na\t1\r\nc\t3")});
    Set(kRowCount, 99);
    EXPECT_EQ(Get(kRowCount), 3u);
    EXPECT_EQ(Get(kShownCount), 3u);
    Set(kSortColumn, 0);
    Set(kSortDescending, 1);
    EXPECT_EQ(Get(kSortColumn), 0u);
    EXPECT_EQ(Get(kSortDescending), 1u);
    EXPECT_EQ(ItemText(0, 0), "c");
    Set(kCurrentRow, 1);
    EXPECT_EQ(Get(kCurrentRow), 1u);
    EXPECT_EQ(State(2, LVIS_SELECTED), static_cast<UINT>(LVIS_SELECTED));   // row 1 ("a") is shown last
    Set(kCurrentRow, static_cast<uint32_t>(-1));
    EXPECT_EQ(Get(kCurrentRow), static_cast<uint32_t>(-1));
    EXPECT_TRUE(host_->events.empty()) << "property writes raise no events";
}

TEST_F(ListViewUnit, TwentyThousandRowsLoadAndScrollAtOnce) {
    Make(Packages());
    std::string rows = Rows(20000);
    Call(kSetRows, {Text(rows.c_str())});
    EXPECT_EQ(Send(LVM_GETITEMCOUNT), 20000);
    EXPECT_EQ(Get(kRowCount), 20000u);
    EXPECT_EQ(ItemText(0, 0), "com.app0");
    EXPECT_EQ(ItemText(19999, 2), "1");
    EXPECT_TRUE(Send(LVM_ENSUREVISIBLE, 19999, FALSE));
    UpdateWindow(list_);
    int top = static_cast<int>(Send(LVM_GETTOPINDEX));
    EXPECT_GT(top, 19000);
    EXPECT_EQ(ItemText(top, 0), "com.app" + std::to_string(top));
    rt::ArgRecord text = Call(kRowText, {Int(12345)});
    ASSERT_NE(text.lo, 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(text.lo)), "com.app12345\t已禁用\t7655");
    rt::MemFree(reinterpret_cast<void*>(static_cast<uintptr_t>(text.lo)));
    EXPECT_EQ(Call(kRowText, {Int(20000)}).lo, 0u);

    // Rows given to a hidden list leave it hidden.
    ShowWindow(list_, SW_HIDE);
    Call(kSetRows, {Text("a\r\nb")});
    Call(kFilter, {Text("b")});
    EXPECT_FALSE(GetWindowLongPtrA(list_, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(Send(LVM_GETITEMCOUNT), 1);
}

TEST_F(ListViewUnit, FilterAndSortKeepRowNumbersAndSelection) {
    Make(Packages());
    Call(kSetRows, {Text("com.b\t已启用\t5\r\ncom.a\t已禁用\t40\r\norg.c\t已启用\t300\r\ncom.d\t已删除\t2")});
    Select(1);   // com.a
    Select(3);   // com.d
    EXPECT_EQ(Call(kFilter, {Text("COM."), Int(1)}).lo, 3u);
    EXPECT_EQ(Send(LVM_GETITEMCOUNT), 3);
    EXPECT_EQ(CallRows(kSelectedRows), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(Call(kFilter, {Text("已启用"), Int(1)}).lo, 0u);   // the first column only
    EXPECT_EQ(Call(kFilter, {Text("已启用")}).lo, 2u);            // every column
    EXPECT_TRUE(CallRows(kSelectedRows).empty()) << "hidden rows drop out of the selection";

    // A filter paints nothing itself: the list waits for its next WM_PAINT,
    // whole (its rows moved), which paints the new rows.
    ASSERT_TRUE(IsWindowVisible(list_));
    UpdateWindow(list_);
    Call(kFilter, {Text("org")});
    RECT pending = {}, client = {};
    GetClientRect(list_, &client);
    ASSERT_TRUE(GetUpdateRect(list_, &pending, FALSE));
    EXPECT_TRUE(EqualRect(&pending, &client));
    UpdateWindow(list_);
    EXPECT_FALSE(GetUpdateRect(list_, &pending, FALSE));
    EXPECT_EQ(ItemText(0, 0), "org.c");
    Call(kFilter, {Text("")});
    Call(kSort, {Int(2), Bool(true)});
    std::vector<std::string> sizes;
    for (int p = 0; p < 4; ++p) sizes.push_back(ItemText(p, 2));
    EXPECT_EQ(sizes, (std::vector<std::string>{"300", "40", "5", "2"}));
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    SendMessageA(header, HDM_GETITEMA, 2, reinterpret_cast<LPARAM>(&item));
    EXPECT_TRUE(item.fmt & HDF_SORTDOWN);
    Call(kSort, {Int(-1)});
    SendMessageA(header, HDM_GETITEMA, 2, reinterpret_cast<LPARAM>(&item));
    EXPECT_FALSE(item.fmt & (HDF_SORTDOWN | HDF_SORTUP));
    EXPECT_EQ(ItemText(0, 0), "com.b");

    // One row rewritten: its text and colour, and a row beyond the set refused.
    Call(kSort, {Int(0)});
    EXPECT_EQ(Call(kSetRow, {Int(2), Text("aaa\t已禁用\t1"), Int(0x0000C0)}).lo, 1u);
    EXPECT_EQ(ItemText(0, 0), "aaa");
    EXPECT_EQ(Call(kSetRow, {Int(4), Text("x")}).lo, 0u);
    EXPECT_TRUE(host_->events.empty()) << "commands raise no events";
}

TEST_F(ListViewUnit, NamesShowInUnicodeAndTheFilterFindsThemByPinyin) {
    units::ListViewData d = Packages();
    d.columns.insert(d.columns.begin(), units::ListColumn{"名称", 120, 0});
    Make(d);
    Call(kSetRows, {Text("\tcom.tencent.mm\t已启用\t5\r\n\tcom.a\t已禁用\t40\r\n\tcom.b\t已启用\t3")});
    Select(1);
    // UTF-8 lines: 微信, none, and a name with a character GBK lacks.
    Call(kSetNames, {Int(0), Int(0), Text("\xE5\xBE\xAE\xE4\xBF\xA1\n\n\xE5\x9C\xB0\xE5\x9B\xBE\xF0\x9F\x97\xBA\n")});
    auto wide = [this](int pos, int column) {
        wchar_t buf[64] = {};
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = buf;
        item.cchTextMax = 64;
        SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&item));
        return std::wstring(buf);
    };
    EXPECT_EQ(wide(0, 0), L"\u5FAE\u4FE1");
    EXPECT_EQ(wide(2, 0), L"\u5730\u56FE\U0001F5FA");
    EXPECT_EQ(wide(1, 1), L"com.a");
    EXPECT_EQ(wide(1, 2), L"\u5DF2\u7981\u7528") << "the other cells widen from the code page";
    // A cell longer than the buffer it is asked into is cut, not lost.
    Call(kSetRow, {Int(2), Text(("\tcom.b\t" + std::string(100, 'x')).c_str())});
    EXPECT_EQ(wide(2, 2), std::wstring(63, L'x'));
    EXPECT_EQ(ItemText(0, 1), "com.tencent.mm");
    EXPECT_EQ(CallRows(kSelectedRows), (std::vector<int32_t>{1})) << "names in place keep the selection";

    EXPECT_EQ(Call(kFilter, {Text("dt"), Int(0x3)}).lo, 1u);
    EXPECT_EQ(wide(0, 1), L"com.b");
    EXPECT_EQ(Call(kFilter, {Text("")}).lo, 3u);
    Call(kSort, {Int(0)});
    EXPECT_EQ(wide(0, 0), L"\u5730\u56FE\U0001F5FA");   // di before wei
    EXPECT_EQ(wide(2, 1), L"com.a");                     // no name: last

    // A letter typed into the list selects the next row whose name begins
    // with it, as the pinyin of its first character.
    SetFocus(list_);
    Send(WM_CHAR, 'w', 1);   // a repeat count of 1, as a key press gives
    UnitHost::Pump();
    EXPECT_EQ(CallRows(kSelectedRows), (std::vector<int32_t>{0})) << "微信";
}

TEST_F(ListViewUnit, IconsDecodeOnceAndRowsWithoutOneShowTheDefault) {
    units::ListViewData d = Packages();
    d.columns.insert(d.columns.begin(), units::ListColumn{"名称", 120, 0});
    Make(d);
    Call(kSetRows, {Text("\tcom.a\r\n\tcom.b\r\n\tcom.c\r\n\tcom.d")});
    EXPECT_EQ(Send(LVM_GETIMAGELIST, LVSIL_SMALL), 0) << "no icons, no image list";
    auto byteSet = [](const std::string& bytes) {
        std::string set(sizeof(rt::ByteSetHeader), '\0');
        rt::ByteSetHeader h{1, static_cast<int32_t>(bytes.size())};
        std::memcpy(&set[0], &h, sizeof h);
        return set + bytes;
    };
    const std::string red = byteSet(test::Png(32, 32, [](uint32_t, uint32_t) { return 0xFF0000FFu; }));
    const std::string broken = byteSet("\x89PNG\r\n\x1a\n cut");
    auto bytes = [](const std::string& set) {
        return rt::MakeArg(rt::kTypeBytes, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(set.data())));
    };
    Call(kSetIcon, {Int(0), bytes(red)});
    Call(kSetIcon, {Int(2), bytes(red)});
    Call(kSetIcon, {Int(3), bytes(broken)});
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL));
    ASSERT_NE(images, nullptr);
    auto image = [this](int pos) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = pos;
        Send(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    };
    int first = image(0);
    EXPECT_GT(first, 0);
    EXPECT_EQ(image(2), first) << "the same bytes decode once";
    EXPECT_EQ(image(1), icons::AppIconList::kDefault);
    EXPECT_EQ(image(3), icons::AppIconList::kDefault) << "a damaged PNG";
    EXPECT_EQ(ImageList_GetImageCount(images), 2);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(images, &cx, &cy);
    EXPECT_EQ(cx, GetSystemMetrics(SM_CXSMICON));
    // The pixel the list draws is the icon's.
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old = SelectObject(dc, bitmap);
    ImageList_Draw(images, first, dc, 0, 0, ILD_NORMAL);
    EXPECT_EQ(GetPixel(dc, cx / 2, cy / 2), RGB(255, 0, 0));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    // New rows start with the default again.
    Call(kSetRows, {Text("\tcom.e\r\n\tcom.f")});
    EXPECT_EQ(image(0), icons::AppIconList::kDefault);
}

TEST_F(ListViewUnit, RowColourReachesTheDrawing) {
    Make(Packages());
    Call(kSetRows, {Text("a\r\nb")});
    Call(kSetRow, {Int(1), Text("b"), Int(0x0000FF)});
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = list_;
    draw.nmcd.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list_));
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    auto notify = [&] { return SendMessageA(host_->Parent(), WM_NOTIFY, draw.nmcd.hdr.idFrom, reinterpret_cast<LPARAM>(&draw)); };
    EXPECT_EQ(notify(), CDRF_NOTIFYITEMDRAW);
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = 1;
    draw.clrText = 0x123456;
    EXPECT_EQ(notify(), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, 0x0000FFu);
    draw.nmcd.dwItemSpec = 0;
    draw.clrText = 0x123456;
    EXPECT_EQ(notify(), CDRF_DODEFAULT);
    EXPECT_EQ(draw.clrText, 0x123456u);

    // Without a coloured row the control paints on its own, row after row.
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    Call(kSetRow, {Int(1), Text("b"), Int(0x00FF00)});
    EXPECT_EQ(notify(), CDRF_NOTIFYITEMDRAW) << "a row recoloured is still coloured";
    Call(kSetRow, {Int(1), Text("b"), Int(static_cast<int32_t>(ListModel::kDefaultColour))});
    EXPECT_EQ(notify(), CDRF_DODEFAULT);
    Call(kSetRow, {Int(0), Text("a"), Int(0x0000FF)});
    EXPECT_EQ(notify(), CDRF_NOTIFYITEMDRAW);
    Call(kSetRows, {Text("a\r\nb")});
    EXPECT_EQ(notify(), CDRF_DODEFAULT) << "new rows start in the list's colour";
}

TEST_F(ListViewUnit, MarksByClickSpaceAndCommandRoundTrip) {
    Make(Packages());
    Call(kSetRows, {Text(Rows(10).c_str())});
    EXPECT_EQ(State(0, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));

    // A click on the box toggles the mark and says so.
    POINT box = RowPoint(4, 8);
    LVHITTESTINFO hit = {};
    hit.pt = box;
    EXPECT_EQ(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)), 4);
    ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON) << "flags " << hit.flags;
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(box.x, box.y));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(box.x, box.y));
    EXPECT_EQ(State(4, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
    ASSERT_EQ(EventsOf(1).size(), 1u);
    EXPECT_EQ(EventsOf(1)[0].args, (std::vector<int32_t>{4, 1}));

    // Space toggles every selected row, taking the focused row's mark.
    host_->events.clear();
    Select(2);
    Select(6);
    Key(VK_SPACE);
    EXPECT_EQ(CallRows(kCheckedRows), (std::vector<int32_t>{2, 4, 6}));
    ASSERT_EQ(EventsOf(1).size(), 1u);
    EXPECT_EQ(EventsOf(1)[0].args, (std::vector<int32_t>{-1, 1}));   // several rows at once
    Key(VK_SPACE);
    EXPECT_EQ(CallRows(kCheckedRows), (std::vector<int32_t>{4}));
    EXPECT_EQ(Get(kCheckedCount), 1u);

    // The commands: one row, every shown row, and marks kept through a filter.
    host_->events.clear();
    EXPECT_EQ(Call(kCheckRows, {Int(7)}).lo, 1u);
    EXPECT_EQ(Call(kCheckRows, {Int(7), Bool(true)}).lo, 0u);
    Call(kFilter, {Text("app1")});   // app1 only among ten rows
    EXPECT_EQ(Call(kCheckRows, {Int(-1), Bool(true)}).lo, 1u);
    Call(kFilter, {Text("")});
    EXPECT_EQ(CallRows(kCheckedRows), (std::vector<int32_t>{1, 4, 7}));
    EXPECT_EQ(Call(kCheckRows, {Int(-1), Bool(false)}).lo, 3u);
    EXPECT_TRUE(CallRows(kCheckedRows).empty());
    EXPECT_TRUE(EventsOf(1).empty());
}

TEST_F(ListViewUnit, EventsCarryRowsAndColumns) {
    Make(Packages(false));
    Call(kSetRows, {Text(Rows(5).c_str())});
    Call(kSort, {Int(2)});   // sizes 5..1: row 4 shows first

    // Selection: one event for a click's burst, naming the row.
    POINT p = RowPoint(0, 40);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    UnitHost::Pump();
    ASSERT_EQ(EventsOf(0).size(), 1u);
    EXPECT_EQ(EventsOf(0)[0].args, (std::vector<int32_t>{4}));

    host_->events.clear();
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    Send(WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    UnitHost::Pump();
    ASSERT_EQ(EventsOf(2).size(), 1u);
    EXPECT_EQ(EventsOf(2)[0].args[0], 4);

    // Ctrl+A selects every shown row.
    host_->events.clear();
    Key('A', true);
    UnitHost::Pump();
    EXPECT_EQ(Send(LVM_GETSELECTEDCOUNT), 5);
    EXPECT_EQ(EventsOf(0).size(), 1u);
    ASSERT_FALSE(EventsOf(4).empty());
    EXPECT_EQ(EventsOf(4)[0].args, (std::vector<int32_t>{'A', 1}));

    // A key handler that returns false keeps the key from the list.
    host_->handler = [](const test::RaisedEvent& e, int32_t* value) {
        *value = 0;
        return e.index == 4;
    };
    Select(0);
    Key(VK_END);
    EXPECT_EQ(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 0);
    host_->handler = nullptr;
    Key(VK_END);
    EXPECT_EQ(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 4);

    // A click on a column header names the column and sorts by it, the
    // other way round on the next click; a handler returning false keeps the order.
    host_->events.clear();
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    auto clickHeader = [&](int column) {
        RECT r = {};
        SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(header, WM_LBUTTONUP, 0, at);
        UnitHost::Pump();
    };
    clickHeader(0);
    ASSERT_EQ(EventsOf(3).size(), 1u);
    EXPECT_EQ(EventsOf(3)[0].args, (std::vector<int32_t>{0}));
    EXPECT_EQ(Get(kSortColumn), 0u);
    EXPECT_EQ(Get(kSortDescending), 0u);
    EXPECT_EQ(ItemText(0, 0), "com.app0");
    clickHeader(0);
    EXPECT_EQ(Get(kSortDescending), 1u);
    EXPECT_EQ(ItemText(0, 0), "com.app4");
    host_->handler = [](const test::RaisedEvent& e, int32_t* value) {
        *value = 0;
        return e.index == 3;
    };
    clickHeader(2);
    EXPECT_EQ(Get(kSortColumn), 0u);
    EXPECT_EQ(EventsOf(3).back().args, (std::vector<int32_t>{2}));
}

} // namespace
