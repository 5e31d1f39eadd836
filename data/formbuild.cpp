#include "formbuild.h"

#include "runtime/values.h"

namespace data {

DataWriter& DataWriter::Word(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

DataWriter& DataWriter::Short(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

DataWriter& DataWriter::Raw(const void* bytes, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    bytes_.insert(bytes_.end(), p, p + n);
    return *this;
}

DataWriter& DataWriter::Counted(const void* bytes, size_t n) {
    Word(static_cast<uint32_t>(n));
    return Raw(bytes, n);
}

DataWriter& DataWriter::ZText(const std::string& s) {
    Raw(s.data(), s.size());
    bytes_.push_back(0);
    return *this;
}

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

std::vector<uint8_t> Encode(const LabelData& d) {
    DataWriter w;
    w.Word(d.version);
    w.Int(d.effect).Int(d.gradientBorderWidth).Int(d.border);
    for (uint32_t c : d.borderColours) w.Word(c);
    w.Word(d.textColour).Word(d.backColour);
    w.Int(d.pictureMode).Int(d.gradientBack);
    for (uint32_t c : d.gradientColours) w.Word(c);
    w.Int(d.hAlign).Int(d.vAlign).Bool(d.wordWrap);
    w.Counted(d.font).Counted(d.picture).Counted(d.caption);
    if (d.version >= 2) w.Counted(d.dataSource).Counted(d.dataColumn);
    return w.Take();
}

std::vector<uint8_t> Encode(const ButtonData& d) {
    DataWriter w;
    w.Word(d.version);
    w.Int(d.buttonType).Int(d.hAlign).Int(d.vAlign);
    w.Counted(d.picture).Counted(d.font).Counted(d.caption);
    return w.Take();
}

std::vector<uint8_t> Encode(const EditBoxData& d) {
    DataWriter w;
    w.Word(d.version);
    w.Int(d.border).Word(d.textColour).Word(d.backColour);
    w.Bool(d.hideSelection).Int(d.maxLength).Bool(d.multiLine).Int(d.scrollBars).Int(d.alignment).Int(d.inputMode);
    w.Short(d.passwordChar);
    w.Int(d.caseConversion).Int(d.spinMode).Int(d.spinBound1).Int(d.spinBound2).Int(d.selStart).Int(d.selLength);
    w.Counted(d.font).Counted(d.content);
    if (d.version >= 2) w.Counted(d.dataSource).Counted(d.dataColumn);
    return w.Take();
}

std::vector<uint8_t> Encode(const RichEditData& d) {
    DataWriter w;
    w.Word(d.version);
    w.Int(d.contentFormat).Int(d.border).Word(d.backColour);
    w.Bool(d.multiLine).Bool(d.autoWrap).Bool(d.readOnly).Bool(d.hideSelection);
    w.Int(d.maxLength).Int(d.selStart).Int(d.selLength);
    w.Counted(d.content);
    return w.Take();
}

} // namespace data
