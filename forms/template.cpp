#include "template.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include "runtime/errors.h"

namespace forms {

namespace {

// Records sit at arbitrary byte offsets, so every word goes through memcpy.
inline uint32_t Get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Fixed positions of a unit record (relative to its data).
constexpr uint32_t kPosTypeRef = 0;
constexpr uint32_t kPosEventLink = 4;
constexpr uint32_t kPosName = 24;

// Offsets from P and from T.
constexpr uint32_t kP_Control = 0, kP_Left = 4, kP_Top = 8, kP_Width = 12, kP_Height = 16;
constexpr uint32_t kP_Cursor = 20, kP_Parent = 24, kP_ChildCount = 28, kP_Children = 32;
constexpr uint32_t kT_Flags = 4, kT_Focus = 8, kT_EventCount = 12, kT_Events = 16;
constexpr uint32_t kReservedAfterEvents = 20;
constexpr uint32_t kMenuWordsBeforeFlags = 8;

// Walks the parts of a record that may be damaged, never reading past `len`.
// Gives the same positions as the accessors once it has succeeded.
class RecordChecker {
public:
    RecordChecker(const uint8_t* data, uint32_t len) : data_(data), len_(len) {}

    bool Check() {
        uint64_t pos = kPosName;
        if (!SkipText(&pos) || !SkipText(&pos)) return false;   // name, comment
        if (Get32(data_ + kPosTypeRef) == rt::kTypeMenuItem) return CheckMenuItem(pos);
        return CheckControl(pos);
    }

private:
    bool Has(uint64_t pos, uint64_t n) const { return pos + n <= len_; }

    bool SkipText(uint64_t* pos) const {
        if (*pos >= len_) return false;
        const void* end = std::memchr(data_ + *pos, 0, static_cast<size_t>(len_ - *pos));
        if (!end) return false;
        *pos = static_cast<const uint8_t*>(end) - data_ + 1;
        return true;
    }

    bool CheckMenuItem(uint64_t pos) const {
        pos += kMenuWordsBeforeFlags + 4;
        if (!SkipText(&pos)) return false;   // caption
        return Has(pos, 4);                   // handler reference
    }

    bool CheckControl(uint64_t p) const {
        if (!Has(p, kP_Children)) return false;
        int32_t children = static_cast<int32_t>(Get32(data_ + p + kP_ChildCount));
        if (children < 0) return false;
        uint64_t pos = p + kP_Children + 4ull * static_cast<uint32_t>(children);
        if (!Has(pos, 4)) return false;
        pos += 4ull + Get32(data_ + pos);     // mouse-pointer bytes
        if (!SkipText(&pos)) return false;    // tag
        if (!Has(pos, kT_Events)) return false;
        int32_t events = static_cast<int32_t>(Get32(data_ + pos + kT_EventCount));
        if (events < 0) return false;
        return Has(pos + kT_Events, 8ull * static_cast<uint32_t>(events) + kReservedAfterEvents);
    }

    const uint8_t* data_;
    uint32_t len_;
};

// Cursor over the template block; every read checks the block's end.
class BlockReader {
public:
    BlockReader(const uint8_t* block, uint32_t size) : p_(block), left_(size) {}

    bool Word(uint32_t* v) {
        if (left_ < 4) return false;
        *v = Get32(p_);
        Advance(4);
        return true;
    }

    bool Bytes(uint32_t n, const uint8_t** bytes) {
        if (left_ < n) return false;
        *bytes = p_;
        Advance(n);
        return true;
    }

    // A counted text; it ends at its first zero byte.
    bool Text(std::string* s) {
        uint32_t n;
        const uint8_t* bytes;
        if (!Word(&n) || !Bytes(n, &bytes)) return false;
        const void* zero = std::memchr(bytes, 0, n);
        uint32_t used = zero ? static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - bytes) : n;
        s->assign(reinterpret_cast<const char*>(bytes), used);
        return true;
    }

private:
    void Advance(uint32_t n) {
        p_ += n;
        left_ -= n;
    }

    const uint8_t* p_;
    uint32_t left_;
};

// Turns a stored reference into the handler word; false when the map does
// not know it.
bool ResolveReference(const rt::HandlerMapEntry* code, uint8_t* word) {
    int32_t ref = static_cast<int32_t>(Get32(word));
    if (ref == -1) {
        Put32(word, 0);
        return true;
    }
    for (const rt::HandlerMapEntry* e = code; e && e->handler; ++e) {
        if (e->reference == ref) {
            Put32(word, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(e->handler)));
            return true;
        }
    }
    return false;
}

bool ResolveHandlers(UnitList* units, const rt::HandlerMapEntry* code) {
    for (int32_t i = 0; i < units->Count(); ++i) {
        UnitRecord r = units->At(i);
        if (r.IsMenuItem()) {
            if (!ResolveReference(code, r.Data() + r.MenuHandlerPos())) return false;
            continue;
        }
        EventPair* events = r.Events();
        for (int32_t k = 0; k < r.EventCount(); ++k) {
            if (!ResolveReference(code, reinterpret_cast<uint8_t*>(&events[k].handler))) return false;
        }
    }
    return true;
}

bool ReadWindow(BlockReader* in, WindowEntry* w) {
    uint32_t count, length;
    const uint8_t* list;
    return in->Word(&w->valueA) && in->Word(&w->valueB) && in->Text(&w->text1) && in->Text(&w->text2) &&
           in->Word(&count) && in->Word(&length) && in->Bytes(length, &list) &&
           w->units.Assign(static_cast<int32_t>(count), list, length);
}

ReadResult ReadBlock(const uint8_t* block, uint32_t size, const rt::HandlerMapEntry* code,
                     std::vector<WindowEntry>* out) {
    BlockReader in(block, size);
    uint32_t tableBytes;
    const uint8_t* table;
    if (!in.Word(&tableBytes) || tableBytes % 8 != 0 || !in.Bytes(tableBytes, &table)) {
        return ReadResult::Damaged;
    }
    uint32_t count = tableBytes / 8;
    std::vector<WindowEntry> windows(count);
    for (uint32_t i = 0; i < count; ++i) {
        WindowEntry& w = windows[i];
        w.id = Get32(table + 4 * i);
        if (!ReadWindow(&in, &w) || !ResolveHandlers(&w.units, code)) return ReadResult::Damaged;
    }
    *out = std::move(windows);
    return ReadResult::Ok;
}

} // namespace

// --- UnitRecord --------------------------------------------------------------

uint32_t UnitRecord::TypeRef() const { return Get32(data_ + kPosTypeRef); }
uint32_t UnitRecord::EventLink() const { return Get32(data_ + kPosEventLink); }
const char* UnitRecord::Name() const { return reinterpret_cast<const char*>(data_ + kPosName); }

uint32_t UnitRecord::PosP() const {
    uint32_t pos = kPosName;
    pos += static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(data_ + pos))) + 1;
    pos += static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(data_ + pos))) + 1;
    return pos;
}

void* UnitRecord::ControlSlot() const {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(Get32(data_ + PosP() + kP_Control)));
}

void UnitRecord::SetControlSlot(void* object) {
    Put32(data_ + PosP() + kP_Control, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object)));
}

int32_t UnitRecord::Left() const { return static_cast<int32_t>(Get32(data_ + PosP() + kP_Left)); }
int32_t UnitRecord::Top() const { return static_cast<int32_t>(Get32(data_ + PosP() + kP_Top)); }
int32_t UnitRecord::Width() const { return static_cast<int32_t>(Get32(data_ + PosP() + kP_Width)); }
int32_t UnitRecord::Height() const { return static_cast<int32_t>(Get32(data_ + PosP() + kP_Height)); }
void UnitRecord::SetLeft(int32_t v) { Put32(data_ + PosP() + kP_Left, static_cast<uint32_t>(v)); }
void UnitRecord::SetTop(int32_t v) { Put32(data_ + PosP() + kP_Top, static_cast<uint32_t>(v)); }
void UnitRecord::SetWidth(int32_t v) { Put32(data_ + PosP() + kP_Width, static_cast<uint32_t>(v)); }
void UnitRecord::SetHeight(int32_t v) { Put32(data_ + PosP() + kP_Height, static_cast<uint32_t>(v)); }

uint32_t UnitRecord::CursorSlot() const { return Get32(data_ + PosP() + kP_Cursor); }
void UnitRecord::SetCursorSlot(uint32_t cursor) { Put32(data_ + PosP() + kP_Cursor, cursor); }
uint32_t UnitRecord::Parent() const { return Get32(data_ + PosP() + kP_Parent); }
int32_t UnitRecord::ChildCount() const { return static_cast<int32_t>(Get32(data_ + PosP() + kP_ChildCount)); }

const uint32_t* UnitRecord::Children() const {
    return reinterpret_cast<const uint32_t*>(data_ + PosP() + kP_Children);
}

uint32_t UnitRecord::MousePointerPos() const {
    uint32_t p = PosP();
    return p + kP_Children + 4 * static_cast<uint32_t>(Get32(data_ + p + kP_ChildCount));
}

uint32_t UnitRecord::MousePointerLength() const { return Get32(data_ + MousePointerPos()); }
const uint8_t* UnitRecord::MousePointer() const { return data_ + MousePointerPos() + 4; }

uint32_t UnitRecord::TagPos() const {
    uint32_t pos = MousePointerPos();
    return pos + 4 + Get32(data_ + pos);
}

const char* UnitRecord::Tag() const { return reinterpret_cast<const char*>(data_ + TagPos()); }

uint32_t UnitRecord::PosT() const {
    uint32_t pos = TagPos();
    return pos + static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(data_ + pos))) + 1;
}

uint32_t UnitRecord::Flags() const { return Get32(data_ + PosT() + kT_Flags); }
void UnitRecord::SetFlags(uint32_t flags) { Put32(data_ + PosT() + kT_Flags, flags); }
int32_t UnitRecord::FocusOrder() const { return static_cast<int32_t>(Get32(data_ + PosT() + kT_Focus)); }
int32_t UnitRecord::EventCount() const { return static_cast<int32_t>(Get32(data_ + PosT() + kT_EventCount)); }
EventPair* UnitRecord::Events() const { return reinterpret_cast<EventPair*>(data_ + PosT() + kT_Events); }

uint32_t UnitRecord::TypeDataPos() const {
    uint32_t t = PosT();
    return t + kT_Events + 8 * Get32(data_ + t + kT_EventCount) + kReservedAfterEvents;
}

const uint8_t* UnitRecord::TypeData() const {
    uint32_t pos = TypeDataPos();
    return pos < len_ ? data_ + pos : nullptr;
}

uint32_t UnitRecord::TypeDataLength() const { return len_ - TypeDataPos(); }

uint32_t UnitRecord::MenuLevel() const { return Get32(data_ + PosP()); }
uint32_t UnitRecord::MenuAccelerator() const { return Get32(data_ + PosP() + 4); }
uint32_t UnitRecord::MenuFlagsPos() const { return PosP() + kMenuWordsBeforeFlags; }
uint32_t UnitRecord::MenuFlags() const { return Get32(data_ + MenuFlagsPos()); }
void UnitRecord::SetMenuFlags(uint32_t flags) { Put32(data_ + MenuFlagsPos(), flags); }
const char* UnitRecord::MenuCaption() const { return reinterpret_cast<const char*>(data_ + MenuFlagsPos() + 4); }

uint32_t UnitRecord::MenuHandlerPos() const {
    uint32_t pos = MenuFlagsPos() + 4;
    return pos + static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(data_ + pos))) + 1;
}

uint32_t UnitRecord::MenuHandler() const { return Get32(data_ + MenuHandlerPos()); }

// --- UnitList ----------------------------------------------------------------

bool UnitList::Assign(int32_t count, const uint8_t* bytes, uint32_t length) {
    Clear();
    if (count < 0 || (length > 0 && !bytes)) return false;
    const uint64_t n = static_cast<uint32_t>(count);
    const uint64_t recordBase = 8 * n;
    if (recordBase > length) return false;

    // Records must lie inside the list and must not overlap, or an in-place
    // change of one would corrupt another.
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    spans.reserve(static_cast<size_t>(n));
    for (uint64_t i = 0; i < n; ++i) {
        uint64_t start = recordBase + Get32(bytes + 4 * n + 4 * i);
        if (start + 4 > length) return false;
        uint32_t recordLength = Get32(bytes + start);
        uint64_t end = start + 4 + recordLength;
        if (end > length) return false;
        const uint8_t* data = bytes + start + 4;
        // The loader skips menu items by identifier while the record layout
        // follows the type: the two must agree.
        bool menuType = recordLength >= 4 && Get32(data) == rt::kTypeMenuItem;
        if (menuType != IsMenuItemId(Get32(bytes + 4 * i))) return false;
        if (!RecordChecker(data, recordLength).Check()) return false;
        spans.emplace_back(start, end);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].first < spans[i - 1].second) return false;
    }

    bytes_.assign(bytes, bytes + length);
    count_ = count;
    return true;
}

void UnitList::Clear() {
    count_ = 0;
    bytes_.clear();
}

uint32_t UnitList::IdAt(int32_t index) const {
    if (index < 0 || index >= count_) return 0;
    return Get32(bytes_.data() + 4 * index);
}

UnitRecord UnitList::At(int32_t index) {
    if (index < 0 || index >= count_) return UnitRecord();
    uint8_t* record = bytes_.data() + 8 * count_ + Get32(bytes_.data() + 4 * count_ + 4 * index);
    return UnitRecord(record + 4, Get32(record));
}

int32_t UnitList::IndexOf(uint32_t unitId) const {
    if (!IsValidId(unitId) || count_ == 0) return -1;
    if (IdAt(0) == unitId) return 0;
    for (int32_t i = 1; i < count_; ++i) {
        if (IdAt(i) == unitId) return i;
    }
    return -1;
}

UnitRecord UnitList::Find(uint32_t unitId, int32_t* index) {
    int32_t i = IndexOf(unitId);
    if (index) *index = i;
    return At(i);
}

bool UnitList::IsMenuItemAt(int32_t index) { return IsMenuItemId(IdAt(index)); }

void UnitList::Replace(int32_t index, uint32_t pos, uint32_t oldLen, const void* bytes, uint32_t newLen) {
    if (index < 0 || index >= count_) return;
    uint8_t* offsets = bytes_.data() + 4 * count_;
    const uint32_t offset = Get32(offsets + 4 * index);
    const size_t record = 8 * static_cast<size_t>(count_) + offset;
    const uint32_t recordLength = Get32(bytes_.data() + record);
    if (static_cast<uint64_t>(pos) + oldLen > recordLength) return;

    const size_t at = record + 4 + pos;
    const uint8_t* src = static_cast<const uint8_t*>(bytes);
    // Bytes taken from this list itself would move with the resize.
    std::vector<uint8_t> copy;
    try {
        if (newLen > 0 && src >= bytes_.data() && src < bytes_.data() + bytes_.size()) {
            copy.assign(src, src + newLen);
            src = copy.data();
        }
        if (newLen > oldLen) {
            bytes_.insert(bytes_.begin() + at + oldLen, newLen - oldLen, 0);
        } else if (newLen < oldLen) {
            bytes_.erase(bytes_.begin() + at + newLen, bytes_.begin() + at + oldLen);
        }
    } catch (const std::bad_alloc&) {
        char msg[100];
        std::snprintf(msg, sizeof msg, "分配 %d 字节内存失败!", static_cast<int>(bytes_.size() + newLen - oldLen));
        rt::ReportError(msg, 0, 0, 0);
    }
    if (newLen > 0) std::memmove(bytes_.data() + at, src, newLen);

    // Unsigned wrap-around adds a negative difference correctly.
    const uint32_t delta = newLen - oldLen;
    Put32(bytes_.data() + record, recordLength + delta);
    offsets = bytes_.data() + 4 * count_;
    for (int32_t i = 0; i < count_; ++i) {
        uint32_t o = Get32(offsets + 4 * i);
        if (o > offset) Put32(offsets + 4 * i, o + delta);
    }
}

void UnitList::ReplaceText(int32_t index, uint32_t pos, const char* text) {
    UnitRecord r = At(index);
    if (!r.Valid() || pos >= r.Length()) return;
    uint32_t oldLen = static_cast<uint32_t>(std::strlen(reinterpret_cast<const char*>(r.Data() + pos))) + 1;
    const char* s = text ? text : "";
    Replace(index, pos, oldLen, s, static_cast<uint32_t>(std::strlen(s)) + 1);
}

// --- WindowTable -------------------------------------------------------------

WindowEntry* WindowTable::Find(uint32_t windowId) {
    if (!IsValidId(windowId)) return nullptr;
    for (WindowEntry& w : windows_) {
        if (w.id == windowId) return &w;
    }
    return nullptr;
}

void WindowTable::Append(std::vector<WindowEntry>&& more) {
    for (WindowEntry& w : more) windows_.push_back(std::move(w));
    more.clear();
}

// --- reading -----------------------------------------------------------------

ReadResult ReadTemplate(const uint8_t* block, uint32_t size, const rt::HandlerMapEntry* code,
                        std::vector<WindowEntry>* out) {
    out->clear();
    // A template size of 0 is a program without windows, not a damaged one.
    if (size == 0) return ReadResult::Ok;
    if (!block) return ReadResult::Damaged;
    try {
        return ReadBlock(block, size, code, out);
    } catch (const std::bad_alloc&) {
        out->clear();
        return ReadResult::Damaged;
    }
}

} // namespace forms
