// The contract between the runtime and its support libraries: library and
// unit type records, command and notify functions, the runtime callback, and
// the helpers a library uses to make values through that callback.
#pragma once

#include <windows.h>
#include <cstddef>
#include <cstdint>
#include "values.h"

namespace rt {

// (code, value 1, value 2) -> 32-bit result. Library code reaches the runtime
// only through this.
typedef intptr_t (*RuntimeCallback)(int32_t code, intptr_t v1, intptr_t v2);
typedef intptr_t (*NotifyFn)(int32_t code, intptr_t v1, intptr_t v2);
typedef void (*CommandFn)(ArgRecord* result, int32_t count, ArgRecord* args);
typedef void* (*InterfaceQueryFn)(int32_t number);

// Every unit control object, the window's included, is handed around (control
// slots, callback codes 2006 and 2007, unit interfaces) as a pointer to this
// head, so that any library can reach the object's system window.
struct ControlHead {
    HWND hwnd = nullptr;
};

// Unit interfaces by number.
enum UnitInterface : int32_t {
    kIfCreate = 1,
    kIfPropertyChanged = 4,
    kIfAllPropertyData = 5,
    kIfGetPropertyData = 6,
    kIfWantsKey = 8,
    kIfIsDefaultButton = 10,
    kIfTakeMessage = 11,
};

// Property table entry: the low 16 bits of `type` (signed) are the property
// type code; the high half holds design-time flags that access ignores.
struct PropertyEntry {
    const char* name;
    const char* englishName;
    const char* description;
    uint32_t type;
    const char* candidates;
};
static_assert(sizeof(void*) != 4 || sizeof(PropertyEntry) == 20, "20-byte property entries");

// Unit type flags.
enum TypeFlag : uint32_t {
    kTfCanRaise4      = 0x4,
    kTfNoRecreate     = 0x10,
    kTfTakesMessages  = 0x20,
    kTfCanRaise40     = 0x40,
    kTfContainer      = 0x80,
    kTfPages          = 0x100,
    kTfDefaultButton  = 0x800,
    kTfFocusByOrder   = 0x2000,
    kTfFocusOrderZero = 0x4000,
    kTfSelfVisible    = 0x8000,
    kTfNoFocus        = 0x10000,
    kTfStopOnDestroy  = 0x80000,
    kTfDocked         = 0x100000,
    kTfDragsWindow    = 0x4000000,
};

// One data type of a library (56 bytes on the target). An all-zero record is
// an unused slot.
struct UnitTypeRecord {
    const char* name;
    const char* englishName;
    const char* description;
    uint32_t reserved0;
    uint32_t flags;
    int32_t propertyCount;
    const PropertyEntry* properties;
    InterfaceQueryFn query;
    int32_t eventCount;
    const void* events;
    int32_t methodCount;
    const void* methods;
    uint32_t reserved1;
    uint32_t reserved2;
};
static_assert(sizeof(void*) != 4 || sizeof(UnitTypeRecord) == 56, "56-byte type records");

constexpr uint32_t kLibraryMarker = 0x01312D6B;

// One support library (144 bytes on the target). The runtime reads only the
// notify function, the data-type count and the data-type records.
struct LibraryRecord {
    uint32_t marker;
    const char* identifier;
    uint32_t version[3];
    uint32_t version2[2];
    uint32_t version3[2];
    const char* displayName;
    uint32_t word40;
    const char* furtherText;
    uint32_t flags;
    uint32_t kept52[8];
    int32_t typeCount;
    const UnitTypeRecord* types;
    uint32_t kept92[2];
    int32_t commandCount;
    const void* kept104;
    const CommandFn* commands;
    uint32_t reserved112[2];
    NotifyFn notify;
    uint32_t reserved124[5];
};
static_assert(sizeof(void*) != 4 || sizeof(LibraryRecord) == 144, "144-byte library records");

// Runtime callback codes.
enum CallbackCode : int32_t {
    kCbStart = 1,                // notify: store the callback (value 1)
    kCbPreTranslate = 2,         // notify (core library): offer a message to a window object
    kCbEnd = 6,                  // notify: the runtime is ending
    kCbWindowTable = 1001,
    kCbTypeRecord = 1002,
    kCbAddIdle = 1012,
    kCbRemoveIdle = 1013,
    kCbIsUnitControl = 1014,
    kCbDestroyed = 2000,
    kCbRunDirectory = 2003,
    kCbExeName = 2004,
    kCbLoadWindow = 2005,
    kCbUnitObject = 2006,
    kCbUnitObjectOrError = 2007,
    kCbRaiseEvent = 2008,
    kCbBeginBusy = 2009,
    kCbEndBusy = 2010,
    kCbPumpMessages = 2018,
    kCbFreeArray = 2023,
    kCbAlloc = 2024,
    kCbFree = 2025,
    kCbRealloc = 2026,
    kCbError = 2027,
    kCbExit = 2028,
    kCbRaiseEvent64 = 2031,
};

// Event record, 32-bit form (callback code 2008).
struct EventRecord {
    uint32_t window;
    uint32_t unit;      // 0: the window unit itself
    int32_t index;
    int32_t argc;       // 0..5
    int32_t args[5];
    int32_t returned;   // 1 when the handler returned a value
    int32_t value;
};

// Event record, 64-bit form (callback code 2031).
struct EventArg64 {
    uint32_t lo, hi;
    uint32_t kind;      // value type code
    uint32_t flags;     // bit 0: pass the address as is; bit 1: pass all 8 bytes
};
#pragma pack(push, 4)
struct EventRecord64 {
    uint32_t window;
    uint32_t unit;
    int32_t index;
    int32_t argc;       // 0..12
    EventArg64 args[12];
    int32_t returned;   // byte offset 208
    int64_t value;      // byte offset 212
};
#pragma pack(pop)
static_assert(offsetof(EventRecord64, returned) == 208 && offsetof(EventRecord64, value) == 212, "64-bit event record layout");

// A library's link to the runtime: the callback it received on code 1, and
// the value-making routines built on it. Before code 1 every request gives 0.
class LibraryLink {
public:
    void Attach(RuntimeCallback cb) { cb_ = cb; }
    void Detach() { cb_ = nullptr; }
    bool Attached() const { return cb_ != nullptr; }

    intptr_t Call(int32_t code, intptr_t v1 = 0, intptr_t v2 = 0) const { return cb_ ? cb_(code, v1, v2) : 0; }

    void* Alloc(uint32_t n) const { return reinterpret_cast<void*>(Call(kCbAlloc, static_cast<intptr_t>(n), 0)); }
    void Free(void* p) const { Call(kCbFree, reinterpret_cast<intptr_t>(p)); }
    [[noreturn]] void Fail(const char* message) const;

    // Empty results are null; non-empty ones never are.
    char* CopyText(const char* s) const;
    char* CopyCountedText(const void* bytes, int32_t n) const;
    void* MakeByteSet(const void* bytes, int32_t n) const;

private:
    RuntimeCallback cb_ = nullptr;
};

} // namespace rt
