// Builds form template blocks from readable descriptions, so that a template
// in the source reads as a table of windows and units rather than as bytes.
// The program's own template is written with it, and tests build their small
// templates the same way.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace data {

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

// (event index, stored handler reference); -1 means no handler.
typedef std::pair<int32_t, int32_t> EventSpec;

// What every stored unit of the program carries: no pointer of its own.
inline std::vector<uint8_t> NoMousePointer() { return std::vector<uint8_t>(4, 0); }

// One unit record. When `type` is the menu-item type, the record takes the
// menu-item layout: `menuWords`, `flags` as the menu flag word, `caption` and
// `menuHandler`; the rectangle, children, pointer, tag and events are unused.
struct UnitSpec {
    uint32_t id = 0;
    std::string name;       // GBK
    uint32_t type = 0;
    int32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t flags = 0;
    int32_t focusOrder = 0;
    uint32_t parent = 0;
    std::vector<uint32_t> children;
    std::vector<uint8_t> mousePointer = NoMousePointer();
    std::string tag;
    uint32_t eventLink = 0;
    std::vector<EventSpec> events;
    std::vector<uint8_t> typeData;
    std::string comment;

    uint32_t menuWords[2] = {0, 0};
    std::string caption;
    int32_t menuHandler = -1;
};

struct WindowSpec {
    uint32_t id = 0;
    uint32_t valueA = 0;
    uint32_t valueB = 0;
    std::string text1;
    std::string text2;
    std::vector<UnitSpec> units;   // list order; entry 0 is the window unit
};

// The record data of one unit (without its length word).
std::vector<uint8_t> BuildRecord(const UnitSpec& unit);
// A unit list: identifiers, offsets, then the records in list order.
std::vector<uint8_t> BuildUnitList(const std::vector<UnitSpec>& units);
// A whole template block.
std::vector<uint8_t> BuildTemplate(const std::vector<WindowSpec>& windows);

// Type-specific data of the unit types the program places, field by field in
// stored order. Each struct starts at the type's property defaults.

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
    std::string caption;
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
    std::string caption;
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

std::vector<uint8_t> Encode(const LabelData& d);
std::vector<uint8_t> Encode(const ButtonData& d);
std::vector<uint8_t> Encode(const EditBoxData& d);
std::vector<uint8_t> Encode(const RichEditData& d);

} // namespace data
