#include "formbuild.h"

#include "runtime/values.h"

namespace data {

namespace {

void WriteMenuItemTail(const UnitSpec& u, DataWriter* w) {
    w->Word(u.menuWords[0]).Word(u.menuWords[1]);
    w->Word(u.flags);
    w->ZText(u.caption);
    w->Int(u.menuHandler);
}

void WriteControlTail(const UnitSpec& u, DataWriter* w) {
    w->Word(0);   // control slot
    w->Int(u.left).Int(u.top).Int(u.width).Int(u.height);
    w->Word(0);   // cursor slot
    w->Word(u.parent);
    w->Word(static_cast<uint32_t>(u.children.size()));
    for (uint32_t child : u.children) w->Word(child);
    w->Counted(u.mousePointer);
    w->ZText(u.tag);
    w->Word(0);   // reserved
    w->Word(u.flags);
    w->Int(u.focusOrder);
    w->Word(static_cast<uint32_t>(u.events.size()));
    for (const EventSpec& e : u.events) w->Int(e.first).Int(e.second);
    for (int i = 0; i < 5; ++i) w->Word(0);   // reserved
    w->Raw(u.typeData.data(), u.typeData.size());
}

} // namespace

UnitSpec MakeUnit(uint32_t id, const char* name, uint32_t type, int32_t left, int32_t top, int32_t width,
                  int32_t height, uint32_t flags, const std::vector<EventSpec>& events, std::vector<uint8_t> typeData) {
    UnitSpec u;
    u.id = id;
    u.name = name;
    u.type = type;
    u.left = left;
    u.top = top;
    u.width = width;
    u.height = height;
    u.flags = flags;
    u.events = events;
    u.typeData = std::move(typeData);
    return u;
}

std::vector<uint8_t> BuildRecord(const UnitSpec& u) {
    DataWriter w;
    w.Word(u.type).Word(u.eventLink);
    for (int i = 0; i < 4; ++i) w.Word(0);   // reserved
    w.ZText(u.name).ZText(u.comment);
    if (u.type == rt::kTypeMenuItem) {
        WriteMenuItemTail(u, &w);
    } else {
        WriteControlTail(u, &w);
    }
    return w.Take();
}

std::vector<uint8_t> BuildUnitList(const std::vector<UnitSpec>& units) {
    DataWriter ids, offsets, records;
    for (const UnitSpec& u : units) {
        ids.Word(u.id);
        offsets.Word(static_cast<uint32_t>(records.Size()));
        records.Counted(BuildRecord(u));
    }
    ids.Raw(offsets.Bytes().data(), offsets.Size());
    ids.Raw(records.Bytes().data(), records.Size());
    return ids.Take();
}

std::vector<uint8_t> BuildTemplate(const std::vector<WindowSpec>& windows) {
    DataWriter w;
    w.Word(static_cast<uint32_t>(8 * windows.size()));
    for (const WindowSpec& win : windows) w.Word(win.id);
    for (size_t i = 0; i < windows.size(); ++i) w.Word(0);   // filled by the reader at run time
    for (const WindowSpec& win : windows) {
        w.Word(win.valueA).Word(win.valueB);
        w.Counted(win.text1).Counted(win.text2);
        w.Word(static_cast<uint32_t>(win.units.size()));
        w.Counted(BuildUnitList(win.units));
    }
    return w.Take();
}

std::vector<uint8_t> ButtonWithCaption(const char* caption) {
    ButtonData d;
    d.caption = caption;
    return Encode(d);
}

std::vector<uint8_t> LabelWithCaption(const char* caption, bool wrap) {
    LabelData d;
    d.vAlign = wrap ? 0 : 1;
    d.wordWrap = wrap;
    d.caption = caption;
    return Encode(d);
}

} // namespace data
