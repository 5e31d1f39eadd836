// The form template: the serialised description of every window and its
// units, and its in-memory form, the window table. A unit list keeps its
// records in one contiguous buffer in exactly the stored layout, so records
// are addressed by the same arithmetic in memory as in the block and run-time
// changes are made in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include "runtime/services.h"

namespace forms {

// Identifier scheme: bits 24..27 the kind, the low 24 bits a serial number.
constexpr uint32_t kKindWindow = 2;
constexpr uint32_t kKindRoutine = 4;
constexpr uint32_t kKindUnit = 6;

inline uint32_t IdKind(uint32_t id) { return (id >> 24) & 0xF; }
inline bool IsValidId(uint32_t id) { return (id & 0xFFFFFF) != 0 && IdKind(id) != 0; }
inline bool IsWindowId(uint32_t id) { return IdKind(id) == kKindWindow; }
inline bool IsMenuItemId(uint32_t id) { return (id & 0xF0000000) == 0x20000000 && (id & 0x0F000000) == 0x06000000; }

// Flag word bits of a unit record.
constexpr uint32_t kUnitVisible = 0x1;
constexpr uint32_t kUnitDisabled = 0x2;
constexpr uint32_t kUnitTabStop = 0x4;

// Flag word bits of a menu-item record.
constexpr uint32_t kMenuHidden = 0x1;
constexpr uint32_t kMenuDisabled = 0x2;
constexpr uint32_t kMenuChecked = 0x4;

struct EventPair {
    int32_t index;
    uint32_t handler;   // after resolution: an rt::EventHandler, or 0
};

// A view of one unit record inside a unit list. Positions are relative to
// the record data (after its length word). Views are invalidated by any
// change that resizes the list.
class UnitRecord {
public:
    UnitRecord() = default;
    UnitRecord(uint8_t* data, uint32_t len) : data_(data), len_(len) {}

    bool Valid() const { return data_ != nullptr; }
    uint8_t* Data() const { return data_; }
    uint32_t Length() const { return len_; }

    uint32_t TypeRef() const;
    uint32_t EventLink() const;
    const char* Name() const;           // zero-terminated GBK, "" for none
    bool IsMenuItem() const { return TypeRef() == rt::kTypeMenuItem; }

    // Controls and the window unit.
    uint32_t PosP() const;              // first byte after the comment text
    void* ControlSlot() const;
    void SetControlSlot(void* object);
    int32_t Left() const;
    int32_t Top() const;
    int32_t Width() const;
    int32_t Height() const;
    void SetLeft(int32_t v);
    void SetTop(int32_t v);
    void SetWidth(int32_t v);
    void SetHeight(int32_t v);
    uint32_t CursorSlot() const;
    void SetCursorSlot(uint32_t cursor);
    uint32_t Parent() const;
    int32_t ChildCount() const;
    const uint32_t* Children() const;
    uint32_t MousePointerPos() const;   // position of the byte buffer's length word
    uint32_t MousePointerLength() const;
    const uint8_t* MousePointer() const;
    uint32_t TagPos() const;
    const char* Tag() const;
    uint32_t PosT() const;              // first byte after the tag text
    uint32_t Flags() const;
    void SetFlags(uint32_t flags);
    int32_t FocusOrder() const;
    int32_t EventCount() const;
    EventPair* Events() const;
    uint32_t TypeDataPos() const;
    const uint8_t* TypeData() const;    // null when empty
    uint32_t TypeDataLength() const;

    // Menu items: the two words before the flag word hold the nesting level
    // and the accelerator (low 16 bits the virtual key, then the modifiers).
    uint32_t MenuLevel() const;
    uint32_t MenuAccelerator() const;
    uint32_t MenuFlagsPos() const;
    uint32_t MenuFlags() const;
    void SetMenuFlags(uint32_t flags);
    const char* MenuCaption() const;
    uint32_t MenuHandlerPos() const;    // the word after the caption
    uint32_t MenuHandler() const;

private:
    uint8_t* data_ = nullptr;
    uint32_t len_ = 0;
};

// Unit count and one contiguous byte buffer: identifiers, offsets, records.
class UnitList {
public:
    UnitList() = default;

    // Takes a copy of a stored list; false when the bytes do not hold `count`
    // well-formed records.
    bool Assign(int32_t count, const uint8_t* bytes, uint32_t length);
    void Clear();
    bool Empty() const { return count_ == 0; }

    int32_t Count() const { return count_; }
    uint32_t IdAt(int32_t index) const;
    UnitRecord At(int32_t index);
    // Record by identifier: entry 0 is compared first, then the identifier
    // table is searched from the start. Invalid identifiers fail at once.
    int32_t IndexOf(uint32_t unitId) const;
    UnitRecord Find(uint32_t unitId, int32_t* index = nullptr);
    bool IsMenuItemAt(int32_t index);

    // Replaces `oldLen` bytes at record position `pos` of record `index` by
    // `newLen` new bytes; the record's length word and every later offset
    // change by the difference.
    void Replace(int32_t index, uint32_t pos, uint32_t oldLen, const void* bytes, uint32_t newLen);
    // Replaces a zero-terminated text field (name, tag, caption) at `pos`.
    void ReplaceText(int32_t index, uint32_t pos, const char* text);

    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    int32_t count_ = 0;
    std::vector<uint8_t> bytes_;
};

struct WindowEntry {
    uint32_t id = 0;
    uint32_t valueA = 0;
    uint32_t valueB = 0;
    std::string text1;
    std::string text2;
    UnitList units;      // the template list; the live one while the window is loaded
    UnitList snapshot;   // the stored values, swapped back in when the window is destroyed
};

class WindowTable {
public:
    int32_t Count() const { return static_cast<int32_t>(windows_.size()); }
    WindowEntry* At(int32_t i) { return &windows_[i]; }
    WindowEntry* Find(uint32_t windowId);
    void Append(std::vector<WindowEntry>&& more);
    void Clear() { windows_.clear(); }

private:
    std::vector<WindowEntry> windows_;
};

enum class ReadResult { Ok, Damaged };

// Reads a template block into window entries, resolving every handler
// reference through `code` (-1 becomes 0, no handler). A block that ends
// where a count should be, holds malformed lists, or names a reference the
// map does not know reads as damaged.
ReadResult ReadTemplate(const uint8_t* block, uint32_t size, const rt::HandlerMapEntry* code,
                        std::vector<WindowEntry>* out);

} // namespace forms
