// The stored form of each unit type's own properties (its type-specific
// data in the form template): decoding with the version rules, and encoding
// in the newest version. Units keep their properties in these structs.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace units {

// Little-endian writer for the template's conventions: words, 16-bit values,
// counted texts and byte buffers, zero-terminated texts.
class DataWriter {
public:
    DataWriter& Word(uint32_t v);
    DataWriter& Int(int32_t v) { return Word(static_cast<uint32_t>(v)); }
    DataWriter& Bool(bool v) { return Word(v ? 1 : 0); }
    DataWriter& Short(uint16_t v);
    DataWriter& Raw(const void* bytes, size_t n);
    // Word count, then the bytes; no terminator.
    DataWriter& Counted(const void* bytes, size_t n);
    DataWriter& Counted(const std::string& s) { return Counted(s.data(), s.size()); }
    DataWriter& Counted(const std::vector<uint8_t>& b) { return Counted(b.data(), b.size()); }
    // The bytes of `s` and a zero byte.
    DataWriter& ZText(const std::string& s);

    size_t Size() const { return bytes_.size(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    std::vector<uint8_t> Take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

// Little-endian reader over type-specific data; any read past the end sets
// the failed state, and every later read yields zeros.
class DataReader {
public:
    DataReader(const uint8_t* bytes, size_t n) : p_(bytes), end_(bytes + n) {}
    uint32_t Word();
    int32_t Int() { return static_cast<int32_t>(Word()); }
    bool Bool() { return Word() != 0; }
    uint16_t Short();
    std::vector<uint8_t> Counted();
    std::string CountedText();   // ends at its first zero byte
    bool Ok() const { return ok_; }

private:
    bool Take(void* out, size_t n);
    const uint8_t* p_;
    const uint8_t* end_;
    bool ok_ = true;
};

// Each struct starts at the type's property defaults, fields in stored order.

struct LabelData {
    uint32_t version = 2;
    int32_t effect = 0;
    int32_t gradientBorderWidth = 8;
    int32_t border = 0;
    uint32_t borderColours[3] = {0x808080, 0xFFFFFF, 0x808080};
    uint32_t textColour = 0;
    uint32_t backColour = 0xFF000000;
    int32_t pictureMode = 1;
    int32_t gradientBack = 0;
    uint32_t gradientColours[3] = {0x808080, 0xFFFFFF, 0x808080};
    int32_t hAlign = 0;
    int32_t vAlign = 1;
    bool wordWrap = false;
    std::vector<uint8_t> font;
    std::vector<uint8_t> picture;
    std::string caption = "标签";
    std::string dataSource;   // version 2 only
    std::string dataColumn;   // version 2 only
};

struct ButtonData {
    uint32_t version = 1;
    int32_t buttonType = 0;
    int32_t hAlign = 1;
    int32_t vAlign = 1;
    std::vector<uint8_t> picture;
    std::vector<uint8_t> font;
    std::string caption = "按钮";
};

struct EditBoxData {
    uint32_t version = 2;
    int32_t border = 1;
    uint32_t textColour = 0;
    uint32_t backColour = 0xFFFFFF;
    bool hideSelection = true;
    int32_t maxLength = 0;
    bool multiLine = false;
    int32_t scrollBars = 0;
    int32_t alignment = 0;
    int32_t inputMode = 0;
    uint16_t passwordChar = '*';
    int32_t caseConversion = 0;
    int32_t spinMode = 0;
    int32_t spinBound1 = 0;
    int32_t spinBound2 = 100;
    int32_t selStart = 0;
    int32_t selLength = 0;
    std::vector<uint8_t> font;
    std::string content;
    std::string dataSource;   // version 2 only
    std::string dataColumn;   // version 2 only
};

struct RichEditData {
    uint32_t version = 1;
    int32_t contentFormat = 0;
    int32_t border = 1;
    uint32_t backColour = 0xFF000000;
    bool multiLine = true;
    bool autoWrap = true;
    bool readOnly = false;
    bool hideSelection = true;
    int32_t maxLength = 0;
    int32_t selStart = 0;
    int32_t selLength = 0;
    std::string content;
};

// Check box (选择框): version 1.
struct CheckBoxData {
    uint32_t version = 1;
    bool checked = false;
    uint32_t textColour = 0;
    uint32_t backColour = 0xFF000000;
    std::vector<uint8_t> font;
    std::string caption = "选择框";
};

// Combo box (组合框), a drop-down list: version 1. The items are stored as a
// word count followed by that many counted texts.
struct ComboBoxData {
    uint32_t version = 1;
    int32_t current = -1;   // -1: no item chosen
    uint32_t textColour = 0;
    uint32_t backColour = 0xFFFFFF;
    std::vector<uint8_t> font;
    std::vector<std::string> items;
};

// Progress bar (进度条): version 1.
struct ProgressBarData {
    uint32_t version = 1;
    int32_t minimum = 0;
    int32_t maximum = 100;
    int32_t position = 0;
    bool marquee = false;
    uint32_t barColour = 0xFF000000;    // the system's own colours
    uint32_t backColour = 0xFF000000;
};

// One list view column: title, width in pixels, alignment 0 left, 1 right,
// 2 centre.
struct ListColumn {
    std::string title;
    int32_t width = 100;
    int32_t alignment = 0;
};

// List view (超级列表框), report view: version 1. The columns are stored as a
// word count followed by, per column, its counted title, width and
// alignment. Rows are not stored: they come at run time through the
// library's commands.
struct ListViewData {
    uint32_t version = 1;
    bool checkBoxes = false;
    bool fullRowSelect = true;
    bool multiSelect = true;
    bool gridLines = false;
    int32_t border = 1;
    uint32_t textColour = 0;
    uint32_t backColour = 0xFFFFFF;
    int32_t sortColumn = -1;   // -1: rows in the order they were given
    bool sortDescending = false;
    std::vector<uint8_t> font;
    std::vector<ListColumn> columns;
};

// Encoding writes the struct's version as it is; units write the newest.
std::vector<uint8_t> Encode(const LabelData& d);
std::vector<uint8_t> Encode(const ButtonData& d);
std::vector<uint8_t> Encode(const EditBoxData& d);
std::vector<uint8_t> Encode(const RichEditData& d);
std::vector<uint8_t> Encode(const CheckBoxData& d);
std::vector<uint8_t> Encode(const ComboBoxData& d);
std::vector<uint8_t> Encode(const ProgressBarData& d);
std::vector<uint8_t> Encode(const ListViewData& d);

// Decoding starts from the defaults; empty data keeps them. False for an
// unknown version or data that ends too early.
bool Decode(const uint8_t* bytes, size_t n, LabelData* d);
bool Decode(const uint8_t* bytes, size_t n, ButtonData* d);
bool Decode(const uint8_t* bytes, size_t n, EditBoxData* d);
bool Decode(const uint8_t* bytes, size_t n, RichEditData* d);
bool Decode(const uint8_t* bytes, size_t n, CheckBoxData* d);
bool Decode(const uint8_t* bytes, size_t n, ComboBoxData* d);
bool Decode(const uint8_t* bytes, size_t n, ProgressBarData* d);
bool Decode(const uint8_t* bytes, size_t n, ListViewData* d);

// A movable global block holding `bytes` (unit interface 5), or null.
HGLOBAL ToGlobal(const std::vector<uint8_t>& bytes);

} // namespace units
