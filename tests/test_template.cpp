// The form template: the program's own template decoded back into its table,
// addressing, in-place replacement and damaged blocks.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "app/handlers.h"
#include "app/program.h"
#include "data/formbuild.h"
#include "data/template.h"
#include "forms/template.h"
#include "tests/support/hex.h"

namespace {

using data::EventSpec;
using data::UnitSpec;
using data::WindowSpec;
using forms::ReadResult;
using forms::ReadTemplate;
using forms::UnitList;
using forms::UnitRecord;
using forms::WindowEntry;

uint32_t HandlerWord(rt::EventHandler h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); }

using test::Hex;

std::vector<uint8_t> TypeDataOf(const UnitRecord& r) {
    const uint8_t* p = r.TypeData();
    return p ? std::vector<uint8_t>(p, p + r.TypeDataLength()) : std::vector<uint8_t>();
}

void PutWord(std::vector<uint8_t>* b, size_t at, uint32_t v) { std::memcpy(b->data() + at, &v, 4); }

ReadResult Read(const std::vector<uint8_t>& block, std::vector<WindowEntry>* out,
                const rt::HandlerMapEntry* map = app::kHandlerMap) {
    return ReadTemplate(block.data(), static_cast<uint32_t>(block.size()), map, out);
}

UnitSpec Control(uint32_t id, const char* name, std::vector<uint8_t> typeData = {}) {
    UnitSpec u;
    u.id = id;
    u.name = name;
    u.type = rt::kTypeButton;
    u.left = 1;
    u.top = 2;
    u.width = 3;
    u.height = 4;
    u.flags = forms::kUnitVisible;
    u.typeData = std::move(typeData);
    return u;
}

WindowSpec SmallWindow() {
    WindowSpec w;
    w.id = 0x52010002;
    UnitSpec win;
    win.id = 0x06010000;
    win.type = rt::kTypeWindow;
    win.events = {EventSpec(0, -1)};
    w.units = {win, Control(0x16010003, "a", {1, 2, 3}), Control(0x16010002, "bb", {4, 5}),
               Control(0x16010001, "ccc", {6})};
    return w;
}

// --- the program's template --------------------------------------------------

struct Row {
    uint32_t id;
    const char* name;
    uint32_t type;
    int32_t left, top, width, height;
    uint32_t flags;
    rt::EventHandler handler;
    uint32_t typeDataLength;
};

const Row kRows[] = {
    {0x06010000, "", rt::kTypeWindow, 50, 50, 749, 412, 1, app::OnWindowCreated, 0},
    {0x16010097, "标签3", rt::kTypeLabel, 496, 16, 224, 40, 1, nullptr, 155},
    {0x16010092, "按钮6", rt::kTypeButton, 261, 39, 53, 33, 5, app::OnEnablePackage, 32},
    {0x16010088, "按钮5", rt::kTypeButton, 153, 4, 87, 32, 5, app::OnListDisabled, 41},
    {0x1601007A, "按钮4", rt::kTypeButton, 319, 39, 53, 33, 5, app::OnDeletePackage, 32},
    {0x16010078, "编辑框1", rt::kTypeEditBox, 168, 80, 208, 24, 5, nullptr, 82},
    {0x16010077, "按钮3", rt::kTypeButton, 204, 39, 53, 33, 5, app::OnDisablePackage, 32},
    {0x16010074, "标签2", rt::kTypeLabel, 75, 81, 80, 24, 1, nullptr, 101},
    {0x1601005D, "按钮2", rt::kTypeButton, 73, 39, 128, 32, 5, app::OnForegroundPackage, 47},
    {0x1601004B, "按钮1", rt::kTypeButton, 74, 4, 72, 32, 5, app::OnListDevices, 36},
    {0x1601004A, "标签1", rt::kTypeLabel, 75, 111, 589, 24, 1, nullptr, 95},
    {0x16010049, "超级编辑框1", rt::kTypeRichEdit, 75, 135, 589, 225, 5, nullptr, 48},
};

TEST(ProgramTemplate, DecodesToItsTable) {
    const std::vector<uint8_t> block = data::BuildTemplate({data::StartupWindow()});
    ASSERT_EQ(block.size(), 0x8BCu);

    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(block, &windows), ReadResult::Ok);
    ASSERT_EQ(windows.size(), 1u);
    WindowEntry& w = windows[0];
    EXPECT_EQ(w.id, 0x52010001u);
    EXPECT_EQ(w.valueA, 0u);
    EXPECT_EQ(w.valueB, 0x19010047u);
    EXPECT_EQ(w.text1, "");
    EXPECT_EQ(w.text2, "");
    ASSERT_EQ(w.units.Count(), 12);
    EXPECT_EQ(w.units.Bytes().size(), 2200u);

    for (int32_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const Row& row = kRows[i];
        EXPECT_EQ(w.units.IdAt(i), row.id);
        UnitRecord r = w.units.At(i);
        ASSERT_TRUE(r.Valid());
        EXPECT_EQ(std::string(r.Name()), row.name);
        EXPECT_EQ(r.TypeRef(), row.type);
        EXPECT_EQ(r.EventLink(), 0u);
        EXPECT_EQ(r.ControlSlot(), nullptr);
        EXPECT_EQ(r.Left(), row.left);
        EXPECT_EQ(r.Top(), row.top);
        EXPECT_EQ(r.Width(), row.width);
        EXPECT_EQ(r.Height(), row.height);
        EXPECT_EQ(r.CursorSlot(), 0u);
        EXPECT_EQ(r.Parent(), 0u);
        EXPECT_EQ(r.ChildCount(), 0);
        ASSERT_EQ(r.MousePointerLength(), 4u);
        EXPECT_EQ(std::memcmp(r.MousePointer(), "\0\0\0\0", 4), 0);
        EXPECT_STREQ(r.Tag(), "");
        EXPECT_EQ(r.Flags(), row.flags);
        EXPECT_EQ(r.FocusOrder(), 0);
        EXPECT_FALSE(w.units.IsMenuItemAt(i));
        if (row.handler) {
            ASSERT_EQ(r.EventCount(), 1);
            EXPECT_EQ(r.Events()[0].index, 0);
            EXPECT_EQ(r.Events()[0].handler, HandlerWord(row.handler));
        } else {
            EXPECT_EQ(r.EventCount(), 0);
        }
        EXPECT_EQ(r.TypeDataLength(), row.typeDataLength);
        int32_t found = -1;
        EXPECT_EQ(w.units.Find(row.id, &found).Data(), r.Data());
        EXPECT_EQ(found, i);
    }
    EXPECT_EQ(w.units.At(0).TypeData(), nullptr);
    // Names are GBK bytes.
    EXPECT_STREQ(w.units.At(9).Name(), "\xB0\xB4\xC5\xA5" "1");
}

TEST(ProgramTemplate, StartupWindowEntryStaysAsItWasBesideTheManager) {
    // One window: table count, identifier, placeholder, then the entry.
    const std::vector<uint8_t> alone = data::BuildTemplate({data::StartupWindow()});
    const std::vector<uint8_t>& full = data::FormTemplate();
    // Four windows: the count, then an identifier and a placeholder each.
    const size_t entry = alone.size() - 12, header = 4 + 4 * 8;
    ASSERT_GT(full.size(), header + entry);
    EXPECT_EQ(std::vector<uint8_t>(full.begin() + header, full.begin() + header + entry),
              std::vector<uint8_t>(alone.begin() + 12, alone.end()));

    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(full, &windows), ReadResult::Ok);
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(windows[0].id, 0x52010001u);
    EXPECT_EQ(windows[1].id, 0x52010002u);
    EXPECT_EQ(windows[2].id, 0x52010003u);
    EXPECT_EQ(windows[3].id, 0x52010004u);
    // The manager, the server and the wireless window list their controls in descending
    // identifier order, so that creation and the tab order run top to bottom.
    for (size_t w = 1; w < windows.size(); ++w) {
        UnitList& units = windows[w].units;
        ASSERT_GT(units.Count(), 2);
        for (int32_t i = 2; i < units.Count(); ++i) EXPECT_LT(units.IdAt(i), units.IdAt(i - 1)) << w << " " << i;
    }
    UnitList& m = windows[1].units;
    for (int32_t i = 1; i < m.Count(); ++i) {
        UnitRecord r = m.At(i);
        EXPECT_LE(r.Left() + r.Width(), 852) << i;
        EXPECT_EQ(r.Parent(), 0u);
    }
}

TEST(ProgramTemplate, TypeDataBytes) {
    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(data::FormTemplate(), &windows), ReadResult::Ok);
    UnitList& units = windows[0].units;

    const char* kLabelWords =
        "02000000 00000000 08000000 05000000 80808000 ffffff00 80808000 00000000 000000ff 01000000 "
        "00000000 80808000 ffffff00 80808000 00000000 00000000 01000000 00000000 00000000";
    std::vector<uint8_t> hint = Hex(kLabelWords);
    data::DataWriter text;
    text.Counted(std::string("禁用的系统app还可以恢复\r\n删除的不可恢复\r\n禁用不了的app,考虑使用删除"));
    EXPECT_EQ(text.Size(), 4u + 67u);
    hint.insert(hint.end(), text.Bytes().begin(), text.Bytes().end());
    hint.insert(hint.end(), 8, 0);
    EXPECT_EQ(TypeDataOf(units.At(1)), hint);

    std::vector<uint8_t> log = TypeDataOf(units.At(10));
    ASSERT_EQ(log.size(), 95u);
    EXPECT_EQ(std::vector<uint8_t>(log.begin(), log.begin() + 76),
              Hex("02000000 00000000 08000000 00000000 80808000 ffffff00 80808000 00000000 00e08000 01000000 "
                  "00000000 80808000 ffffff00 80808000 01000000 01000000 00000000 00000000 00000000"));
    EXPECT_EQ(std::vector<uint8_t>(log.begin() + 76, log.begin() + 87), Hex("07000000 636d64 C8D5D6BE"));

    EXPECT_EQ(TypeDataOf(units.At(9)),
              Hex("01000000 00000000 01000000 01000000 00000000 00000000 08000000 B2E9BFB4C9E8B1B8"));
    EXPECT_EQ(TypeDataOf(units.At(5)),
              Hex("02000000 05000000 00000000 ffffff00 01000000 00000000 00000000 00000000 00000000 00000000 "
                  "2a000000 00000000 00000000 00006400 00000000 00000000 00000000 00000000 00000000 00000000 "
                  "0000"));
    EXPECT_EQ(TypeDataOf(units.At(11)),
              Hex("01000000 00000000 05000000 000000ff 01000000 00000000 00000000 01000000 00000000 00000000 "
                  "00000000 00000000"));
}

TEST(ProgramTemplate, EveryTruncationIsDamaged) {
    const std::vector<uint8_t>& full = data::FormTemplate();
    for (size_t n = 1; n < full.size(); ++n) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + n);
        std::vector<WindowEntry> windows;
        ASSERT_EQ(Read(cut, &windows), ReadResult::Damaged) << "size " << n;
        EXPECT_TRUE(windows.empty());
    }
}

TEST(ProgramTemplate, CorruptedBytesNeverBreakTheReader) {
    // Any byte turned into 0xFF or 0x80 either still reads or is refused; what
    // reads must stay walkable.
    const std::vector<uint8_t>& full = data::FormTemplate();
    int damaged = 0;
    for (size_t at = 0; at < full.size(); ++at) {
        for (uint8_t value : {uint8_t(0xFF), uint8_t(0x80)}) {
            std::vector<uint8_t> bad = full;
            bad[at] = value;
            std::vector<WindowEntry> windows;
            if (Read(bad, &windows) == ReadResult::Damaged) {
                ++damaged;
                continue;
            }
            for (WindowEntry& w : windows) {
                for (int32_t i = 0; i < w.units.Count(); ++i) {
                    UnitRecord r = w.units.At(i);
                    ASSERT_LE(r.IsMenuItem() ? r.MenuHandlerPos() + 4 : r.TypeDataPos(), r.Length()) << at;
                }
            }
        }
    }
    EXPECT_GT(damaged, 0);
}

// --- reading -----------------------------------------------------------------

TEST(ReadTemplate, EmptyTablesAndWindowTexts) {
    std::vector<WindowEntry> windows;
    EXPECT_EQ(Read(data::BuildTemplate({}), &windows), ReadResult::Ok);
    EXPECT_TRUE(windows.empty());
    EXPECT_EQ(ReadTemplate(nullptr, 0, app::kHandlerMap, &windows), ReadResult::Ok);

    WindowSpec w;
    w.id = 0x52010007;
    w.text1 = std::string("ab\0cd", 5);
    w.text2 = "title";
    ASSERT_EQ(Read(data::BuildTemplate({w}), &windows), ReadResult::Ok);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].text1, "ab");
    EXPECT_EQ(windows[0].text2, "title");
    EXPECT_EQ(windows[0].units.Count(), 0);

    forms::WindowTable table;
    table.Append(std::move(windows));
    EXPECT_NE(table.Find(0x52010007), nullptr);
    EXPECT_EQ(table.Find(0x52000000), nullptr);
    EXPECT_EQ(table.Find(0x52010001), nullptr);
}

TEST(ReadTemplate, HandlerReferences) {
    const rt::HandlerMapEntry map[] = {{0, app::OnListDevices}, {7, app::OnDeletePackage}, {0, nullptr}};
    WindowSpec w = SmallWindow();
    w.units[0].events = {EventSpec(0, -1), EventSpec(3, 0), EventSpec(-7, 7)};
    UnitSpec menu;
    menu.id = 0x26010005;
    menu.type = rt::kTypeMenuItem;
    menu.name = "menu";
    menu.flags = forms::kMenuChecked;
    menu.caption = "File";
    menu.menuHandler = 7;
    w.units.insert(w.units.begin() + 1, menu);

    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(data::BuildTemplate({w}), &windows, map), ReadResult::Ok);
    UnitRecord win = windows[0].units.At(0);
    ASSERT_EQ(win.EventCount(), 3);
    EXPECT_EQ(win.Events()[0].handler, 0u);
    EXPECT_EQ(win.Events()[1].handler, HandlerWord(app::OnListDevices));
    EXPECT_EQ(win.Events()[2].index, -7);
    EXPECT_EQ(win.Events()[2].handler, HandlerWord(app::OnDeletePackage));

    UnitList& units = windows[0].units;
    EXPECT_TRUE(units.IsMenuItemAt(1));
    UnitRecord item = units.At(1);
    EXPECT_TRUE(item.IsMenuItem());
    EXPECT_EQ(item.MenuFlags(), forms::kMenuChecked);
    EXPECT_STREQ(item.MenuCaption(), "File");
    EXPECT_EQ(item.MenuHandler(), HandlerWord(app::OnDeletePackage));
    EXPECT_EQ(item.MenuHandlerPos() + 4, item.Length());

    // A reference the map lacks, in an event table or a menu item.
    w.units[0].events = {EventSpec(0, 8)};
    EXPECT_EQ(Read(data::BuildTemplate({w}), &windows, map), ReadResult::Damaged);
    w.units[0].events = {};
    w.units[1].menuHandler = 0xABC;
    EXPECT_EQ(Read(data::BuildTemplate({w}), &windows, map), ReadResult::Damaged);
    w.units[1].menuHandler = -1;
    EXPECT_EQ(Read(data::BuildTemplate({w}), &windows, nullptr), ReadResult::Ok);
}

TEST(ReadTemplate, RecordFieldsOfABuiltUnit) {
    WindowSpec w = SmallWindow();
    UnitSpec& u = w.units[1];
    u.mousePointer = {};
    u.children = {0x16010002, 0, 0x16010001};
    u.parent = 0x16010001;
    u.tag = "tag";
    u.comment = "skipped";
    u.focusOrder = -3;
    u.eventLink = 0x16010002;
    u.left = -20;
    u.flags = forms::kUnitVisible | forms::kUnitDisabled;
    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(data::BuildTemplate({w}), &windows), ReadResult::Ok);
    UnitRecord r = windows[0].units.At(1);
    EXPECT_STREQ(r.Name(), "a");
    EXPECT_EQ(r.PosP(), 24u + 2 + 8);
    EXPECT_EQ(r.EventLink(), 0x16010002u);
    EXPECT_EQ(r.Left(), -20);
    EXPECT_EQ(r.Parent(), 0x16010001u);
    ASSERT_EQ(r.ChildCount(), 3);
    EXPECT_EQ(r.Children()[2], 0x16010001u);
    EXPECT_EQ(r.MousePointerLength(), 0u);
    EXPECT_STREQ(r.Tag(), "tag");
    EXPECT_EQ(r.Flags(), 3u);
    EXPECT_EQ(r.FocusOrder(), -3);
    EXPECT_EQ(TypeDataOf(r), (std::vector<uint8_t>{1, 2, 3}));

    r.SetControlSlot(&windows);
    r.SetCursorSlot(0x1234);
    r.SetWidth(99);
    EXPECT_EQ(r.ControlSlot(), &windows);
    EXPECT_EQ(r.CursorSlot(), 0x1234u);
    EXPECT_EQ(r.Width(), 99);
    EXPECT_EQ(r.Height(), 4);
    EXPECT_EQ(TypeDataOf(r), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(ReadTemplate, DamagedBlocks) {
    const std::vector<uint8_t> good = data::BuildTemplate({SmallWindow()});
    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(good, &windows), ReadResult::Ok);

    // Offsets inside the small block: table at 0, window entry at 12, unit
    // count at 28, list length at 32, the list at 36 (ids, offsets, records).
    const size_t kCount = 28, kLength = 32, kList = 36, kOffsets = kList + 16, kRecords = kList + 32;
    struct Patch {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Patch patches[] = {
        {"table count not a multiple of 8", 0, 4},
        {"table count past the end", 0, 0x1000},
        {"window text count past the end", 20, 0xFFFFFFF0},
        {"negative unit count", kCount, 0xFFFFFFFF},
        {"unit count too large for the list", kCount, 1000},
        {"list length past the end", kLength, 0xFFFFFFF0},
        {"record offset outside the list", kOffsets + 4, 0x10000},
        {"record length past the list", kRecords, 0x10000},
        {"record too short for its name", kRecords, 20},
        {"child count past the record", kRecords + 4 + 26 + 28, 0x100},
        {"negative child count", kRecords + 4 + 26 + 28, 0xFFFFFFFF},
        {"mouse-pointer buffer past the record", kRecords + 4 + 26 + 32, 0x100},
        {"event count past the record", kRecords + 4 + 26 + 32 + 8 + 1 + 12, 0x100},
        {"window unit marked as a menu item", kRecords + 4, rt::kTypeMenuItem},
        {"control identifier of the menu-item class", kList + 4, 0x26010003},
    };
    for (const Patch& p : patches) {
        std::vector<uint8_t> bad = good;
        PutWord(&bad, p.at, p.value);
        EXPECT_EQ(Read(bad, &windows), ReadResult::Damaged) << p.what;
    }

    // Two entries sharing one record: a change to one would move the other.
    std::vector<uint8_t> shared = good;
    std::memcpy(shared.data() + kOffsets + 8, shared.data() + kOffsets + 4, 4);
    EXPECT_EQ(Read(shared, &windows), ReadResult::Damaged);

    // A name without its terminator inside the record.
    std::vector<uint8_t> unterminated = good;
    std::memset(unterminated.data() + kRecords + 4 + 24, 'x', 200);
    EXPECT_EQ(Read(unterminated, &windows), ReadResult::Damaged);
    EXPECT_EQ(ReadTemplate(nullptr, 8, app::kHandlerMap, &windows), ReadResult::Damaged);
}

// --- addressing and replacement ----------------------------------------------

TEST(UnitList, LookupByIdentifier) {
    WindowSpec w = SmallWindow();
    w.units[3].id = 0x16000000;   // low 24 bits 0: never found
    w.units.push_back(Control(0x16010002, "dup"));
    UnitList units;
    std::vector<uint8_t> list = data::BuildUnitList(w.units);
    ASSERT_TRUE(units.Assign(5, list.data(), static_cast<uint32_t>(list.size())));

    EXPECT_EQ(units.IndexOf(0x06010000), 0);
    EXPECT_EQ(units.IndexOf(0x16010002), 2);   // the first of two equal entries
    EXPECT_EQ(units.IndexOf(0), -1);
    EXPECT_EQ(units.IndexOf(0x16000000), -1);
    EXPECT_EQ(units.IndexOf(0x00010002), -1);
    EXPECT_EQ(units.IndexOf(0x16010099), -1);
    int32_t index = 7;
    EXPECT_FALSE(units.Find(0, &index).Valid());
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(units.At(5).Valid());
    EXPECT_FALSE(units.At(-1).Valid());

    EXPECT_FALSE(units.Assign(6, list.data(), static_cast<uint32_t>(list.size())));
    EXPECT_EQ(units.Count(), 0);
    EXPECT_TRUE(units.Assign(0, nullptr, 0));
}

TEST(UnitList, LongerTagMovesLaterRecords) {
    WindowSpec w = SmallWindow();
    std::vector<WindowEntry> windows;
    ASSERT_EQ(Read(data::BuildTemplate({w}), &windows), ReadResult::Ok);
    UnitList& units = windows[0].units;
    const std::vector<uint8_t> before = units.Bytes();
    const uint32_t lengthBefore = units.At(1).Length();

    units.ReplaceText(1, units.At(1).TagPos(), "a much longer tag");
    UnitRecord r = units.At(1);
    EXPECT_STREQ(r.Tag(), "a much longer tag");
    EXPECT_EQ(r.Length(), lengthBefore + 17);
    EXPECT_EQ(TypeDataOf(r), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(r.Flags(), forms::kUnitVisible);
    EXPECT_EQ(units.Bytes().size(), before.size() + 17);
    // Later records are still found, whole; the earlier one did not move.
    EXPECT_EQ(units.At(0).Data(), units.Bytes().data() + 4 * 8 + 4);
    EXPECT_STREQ(units.Find(0x16010002).Name(), "bb");
    EXPECT_EQ(TypeDataOf(units.Find(0x16010002)), (std::vector<uint8_t>{4, 5}));
    EXPECT_STREQ(units.Find(0x16010001).Name(), "ccc");
    EXPECT_EQ(TypeDataOf(units.Find(0x16010001)), (std::vector<uint8_t>{6}));
    EXPECT_EQ(units.Find(0x16010001).Height(), 4);

    // The changed list is itself a well-formed list, and shrinking back
    // restores the original bytes.
    UnitList copy;
    EXPECT_TRUE(copy.Assign(units.Count(), units.Bytes().data(), static_cast<uint32_t>(units.Bytes().size())));
    units.ReplaceText(1, units.At(1).TagPos(), nullptr);
    EXPECT_EQ(units.Bytes(), before);

    // Replacing the mouse-pointer buffer of the last record.
    UnitRecord last = units.At(3);
    const uint8_t pointer[] = {8, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    units.Replace(3, last.MousePointerPos(), 4 + last.MousePointerLength(), pointer, sizeof pointer);
    last = units.At(3);
    EXPECT_EQ(last.MousePointerLength(), 8u);
    EXPECT_STREQ(last.Tag(), "");
    EXPECT_EQ(TypeDataOf(last), (std::vector<uint8_t>{6}));
}

} // namespace
