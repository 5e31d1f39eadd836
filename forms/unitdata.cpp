#include "unitdata.h"

#include <cstring>

namespace units {

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

bool DataReader::Take(void* out, size_t n) {
    if (!ok_ || static_cast<size_t>(end_ - p_) < n) {
        ok_ = false;
        std::memset(out, 0, n);
        return false;
    }
    std::memcpy(out, p_, n);
    p_ += n;
    return true;
}

uint32_t DataReader::Word() {
    uint8_t b[4];
    Take(b, 4);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

uint16_t DataReader::Short() {
    uint8_t b[2];
    Take(b, 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
}

std::vector<uint8_t> DataReader::Counted() {
    uint32_t n = Word();
    if (!ok_ || n > static_cast<size_t>(end_ - p_)) {
        ok_ = false;
        return {};
    }
    std::vector<uint8_t> v(p_, p_ + n);
    p_ += n;
    return v;
}

std::string DataReader::CountedText() {
    std::vector<uint8_t> v = Counted();
    size_t len = 0;
    while (len < v.size() && v[len]) len++;
    return std::string(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(len));
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

bool Decode(const uint8_t* bytes, size_t n, LabelData* d) {
    *d = LabelData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version > 2) return false;
    d->effect = r.Int();
    d->gradientBorderWidth = r.Int();
    d->border = r.Int();
    for (uint32_t& c : d->borderColours) c = r.Word();
    d->textColour = r.Word();
    d->backColour = r.Word();
    d->pictureMode = r.Int();
    d->gradientBack = r.Int();
    for (uint32_t& c : d->gradientColours) c = r.Word();
    d->hAlign = r.Int();
    d->vAlign = r.Int();
    d->wordWrap = r.Bool();
    d->font = r.Counted();
    d->picture = r.Counted();
    d->caption = r.CountedText();
    if (d->version >= 2) {
        d->dataSource = r.CountedText();
        d->dataColumn = r.CountedText();
    }
    return r.Ok();
}

bool Decode(const uint8_t* bytes, size_t n, ButtonData* d) {
    *d = ButtonData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version > 1) return false;
    d->buttonType = r.Int();
    d->hAlign = r.Int();
    d->vAlign = r.Int();
    d->picture = r.Counted();
    d->font = r.Counted();
    d->caption = r.CountedText();
    return r.Ok();
}

bool Decode(const uint8_t* bytes, size_t n, EditBoxData* d) {
    *d = EditBoxData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version > 2) return false;
    d->border = r.Int();
    d->textColour = r.Word();
    d->backColour = r.Word();
    d->hideSelection = r.Bool();
    d->maxLength = r.Int();
    d->multiLine = r.Bool();
    d->scrollBars = r.Int();
    d->alignment = r.Int();
    d->inputMode = r.Int();
    d->passwordChar = r.Short();
    d->caseConversion = r.Int();
    d->spinMode = r.Int();
    d->spinBound1 = r.Int();
    d->spinBound2 = r.Int();
    d->selStart = r.Int();
    d->selLength = r.Int();
    d->font = r.Counted();
    d->content = r.CountedText();
    if (d->version >= 2) {
        d->dataSource = r.CountedText();
        d->dataColumn = r.CountedText();
    }
    return r.Ok();
}

bool Decode(const uint8_t* bytes, size_t n, RichEditData* d) {
    *d = RichEditData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version > 1) return false;
    d->contentFormat = r.Int();
    d->border = r.Int();
    d->backColour = r.Word();
    d->multiLine = r.Bool();
    d->autoWrap = r.Bool();
    d->readOnly = r.Bool();
    d->hideSelection = r.Bool();
    d->maxLength = r.Int();
    d->selStart = r.Int();
    d->selLength = r.Int();
    d->content = r.CountedText();
    return r.Ok();
}

std::vector<uint8_t> Encode(const CheckBoxData& d) {
    DataWriter w;
    w.Word(d.version).Bool(d.checked).Word(d.textColour).Word(d.backColour);
    w.Counted(d.font).Counted(d.caption);
    return w.Take();
}

std::vector<uint8_t> Encode(const ComboBoxData& d) {
    DataWriter w;
    w.Word(d.version).Int(d.current).Word(d.textColour).Word(d.backColour);
    w.Counted(d.font);
    w.Word(static_cast<uint32_t>(d.items.size()));
    for (const std::string& item : d.items) w.Counted(item);
    return w.Take();
}

std::vector<uint8_t> Encode(const ProgressBarData& d) {
    DataWriter w;
    w.Word(d.version).Int(d.minimum).Int(d.maximum).Int(d.position).Bool(d.marquee);
    w.Word(d.barColour).Word(d.backColour);
    return w.Take();
}

std::vector<uint8_t> Encode(const ListViewData& d) {
    DataWriter w;
    w.Word(d.version).Bool(d.checkBoxes).Bool(d.fullRowSelect).Bool(d.multiSelect).Bool(d.gridLines);
    w.Int(d.border).Word(d.textColour).Word(d.backColour).Int(d.sortColumn).Bool(d.sortDescending);
    w.Counted(d.font);
    w.Word(static_cast<uint32_t>(d.columns.size()));
    for (const ListColumn& c : d.columns) w.Counted(c.title).Int(c.width).Int(c.alignment);
    return w.Take();
}

bool Decode(const uint8_t* bytes, size_t n, CheckBoxData* d) {
    *d = CheckBoxData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version != 1) return false;
    d->checked = r.Bool();
    d->textColour = r.Word();
    d->backColour = r.Word();
    d->font = r.Counted();
    d->caption = r.CountedText();
    return r.Ok();
}

// A count word that cannot be right (each entry takes at least `entrySize`
// bytes of what is left) fails the reading instead of reserving memory for it.
static bool PlausibleCount(uint32_t count, size_t entrySize, size_t left) { return count <= left / entrySize; }

bool Decode(const uint8_t* bytes, size_t n, ComboBoxData* d) {
    *d = ComboBoxData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version != 1) return false;
    d->current = r.Int();
    d->textColour = r.Word();
    d->backColour = r.Word();
    d->font = r.Counted();
    uint32_t count = r.Word();
    if (!r.Ok() || !PlausibleCount(count, 4, n)) return false;
    d->items.reserve(count);
    for (uint32_t i = 0; i < count && r.Ok(); ++i) d->items.push_back(r.CountedText());
    return r.Ok();
}

bool Decode(const uint8_t* bytes, size_t n, ProgressBarData* d) {
    *d = ProgressBarData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version != 1) return false;
    d->minimum = r.Int();
    d->maximum = r.Int();
    d->position = r.Int();
    d->marquee = r.Bool();
    d->barColour = r.Word();
    d->backColour = r.Word();
    return r.Ok();
}

bool Decode(const uint8_t* bytes, size_t n, ListViewData* d) {
    *d = ListViewData();
    if (n == 0) return true;
    DataReader r(bytes, n);
    d->version = r.Word();
    if (d->version != 1) return false;
    d->checkBoxes = r.Bool();
    d->fullRowSelect = r.Bool();
    d->multiSelect = r.Bool();
    d->gridLines = r.Bool();
    d->border = r.Int();
    d->textColour = r.Word();
    d->backColour = r.Word();
    d->sortColumn = r.Int();
    d->sortDescending = r.Bool();
    d->font = r.Counted();
    uint32_t count = r.Word();
    if (!r.Ok() || !PlausibleCount(count, 12, n)) return false;
    d->columns.resize(count);
    for (ListColumn& c : d->columns) {
        c.title = r.CountedText();
        c.width = r.Int();
        c.alignment = r.Int();
    }
    return r.Ok();
}

HGLOBAL ToGlobal(const std::vector<uint8_t>& bytes) {
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
    if (!g) return nullptr;
    if (void* p = GlobalLock(g)) {
        if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
        GlobalUnlock(g);
    }
    return g;
}

} // namespace units
