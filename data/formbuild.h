// Builds form template blocks from readable descriptions, so that a template
// in the source reads as a table of windows and units rather than as bytes.
// The program's own template is written with it, and tests build their small
// templates the same way.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "forms/unitdata.h"

namespace data {

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

// One row of a readable window table.
UnitSpec MakeUnit(uint32_t id, const char* name, uint32_t type, int32_t left, int32_t top, int32_t width,
                  int32_t height, uint32_t flags, const std::vector<EventSpec>& events, std::vector<uint8_t> typeData);

// The type data of a button, and of a label vertically centred (or, when it
// wraps, from the top), with this caption.
std::vector<uint8_t> ButtonWithCaption(const char* caption);
std::vector<uint8_t> LabelWithCaption(const char* caption, bool wrap = false);

// The record data of one unit (without its length word).
std::vector<uint8_t> BuildRecord(const UnitSpec& unit);
// A unit list: identifiers, offsets, then the records in list order.
std::vector<uint8_t> BuildUnitList(const std::vector<UnitSpec>& units);
// A whole template block.
std::vector<uint8_t> BuildTemplate(const std::vector<WindowSpec>& windows);

// The unit types' stored data, shared with the units themselves.
using units::DataWriter;
using units::LabelData;
using units::ButtonData;
using units::EditBoxData;
using units::RichEditData;
using units::CheckBoxData;
using units::ComboBoxData;
using units::ProgressBarData;
using units::ListViewData;
using units::ListColumn;
using units::Encode;

} // namespace data
