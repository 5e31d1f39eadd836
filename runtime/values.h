// The value model shared by the program's code, the runtime and the support
// libraries: argument records, type codes, text and byte-set blocks, arrays
// and the runtime allocator on the process heap.
#pragma once

#include <cstdint>
#include <cstddef>

namespace rt {

// One value crossing into a command, method, property or DLL command.
struct ArgRecord {
    uint32_t lo;    // value, low half (narrow values and pointers live here)
    uint32_t hi;    // value, high half
    uint32_t type;  // type code, possibly with kByRef
};
static_assert(sizeof(ArgRecord) == 12, "argument records are 12 bytes");

// Basic type codes.
constexpr uint32_t kTypeByte       = 0x80000101;
constexpr uint32_t kTypeShort      = 0x80000201;
constexpr uint32_t kTypeInt        = 0x80000301;
constexpr uint32_t kTypeLong       = 0x80000401;
constexpr uint32_t kTypeFloat      = 0x80000501;
constexpr uint32_t kTypeDouble     = 0x80000601;
constexpr uint32_t kTypeBool       = 0x80000002;
constexpr uint32_t kTypeDateTime   = 0x80000003;
constexpr uint32_t kTypeText       = 0x80000004;
constexpr uint32_t kTypeBytes      = 0x80000005;
constexpr uint32_t kTypeSubprogram = 0x80000006;

constexpr uint32_t kByRef = 0x20000000;

// Library types: (library number << 16) | type number.
constexpr uint32_t LibType(uint32_t lib, uint32_t type) { return (lib << 16) | type; }
constexpr uint32_t kTypeWindow       = 0x00010001;
constexpr uint32_t kTypeMenuItem     = 0x00010003;
constexpr uint32_t kTypeEditBox      = 0x00010005;
constexpr uint32_t kTypeCheckBox     = 0x00010006;
constexpr uint32_t kTypeComboBox     = 0x00010007;
constexpr uint32_t kTypeProgressBar  = 0x00010008;
constexpr uint32_t kTypeLabel        = 0x0001000A;
constexpr uint32_t kTypeButton       = 0x0001000B;
constexpr uint32_t kTypeTab          = 0x00010015;
constexpr uint32_t kTypeRichEdit     = 0x00020006;
constexpr uint32_t kTypeListView     = 0x00020007;
constexpr uint32_t kTypeRegex        = 0x00030001;
constexpr uint32_t kTypeSearchResult = 0x00030002;

// Date-time values read from bytes or formatted are clamped to years 100..9999.
constexpr double kDateTimeMin = -657434.0;
constexpr double kDateTimeMax = 2958465.0;

enum class TypeClass { None, Basic, Library, Other };

inline TypeClass ClassOf(uint32_t code) {
    code &= ~kByRef;
    if (code == 0) return TypeClass::None;
    switch (code >> 30) {
    case 2: return TypeClass::Basic;
    case 0: return TypeClass::Library;
    default: return TypeClass::Other;
    }
}

// The six numeric types are exactly the basic codes whose low byte is 0x01.
inline bool IsNumericType(uint32_t code) {
    code &= ~kByRef;
    return ClassOf(code) == TypeClass::Basic && (code & 0xFF) == 0x01;
}

inline bool IsOmitted(const ArgRecord& a) { return a.type == 0; }

inline ArgRecord MakeArg(uint32_t type, uint32_t lo, uint32_t hi = 0) { return ArgRecord{lo, hi, type}; }

// Byte set and array blocks: a dimension count, one size per dimension, then
// the elements. A byte set is a one-dimensional array of bytes.
struct ByteSetHeader {
    int32_t dims;   // always 1 for a byte set
    int32_t count;
};

inline int32_t ByteSetCount(const void* bs) { return bs ? static_cast<const ByteSetHeader*>(bs)->count : 0; }
inline uint8_t* ByteSetData(void* bs) { return static_cast<uint8_t*>(bs) + sizeof(ByteSetHeader); }
inline const uint8_t* ByteSetData(const void* bs) { return static_cast<const uint8_t*>(bs) + sizeof(ByteSetHeader); }

// --- the runtime allocator -------------------------------------------------

// Records the heap (the process heap unless a test says otherwise) and the
// constant block's range. Called once at start-up before the program's code.
void MemInit(void* heap);
void MemSetConstantBlock(const void* begin, uint32_t size);
void MemForgetConstantBlock();
bool IsConstant(const void* p);

void* MemAlloc(uint32_t n);            // never null: exhaustion is a run-time error
void* MemAllocPlain(uint32_t n);       // null on failure
void* MemRealloc(void* p, uint32_t n); // never null; constants are copied
void MemFree(void* p);                 // ignores null and constants

void FreeArray(uint32_t elemType, void* array);

// Copies for the runtime's own use (property reads and the like); the
// libraries make their values through LibraryLink instead. Empty gives null.
char* DupText(const char* s);
char* DupCountedText(const void* bytes, int32_t n);
void* DupByteSet(const void* bytes, int32_t n);

inline uint32_t TextLen(const char* s) { uint32_t n = 0; if (s) while (s[n]) n++; return n; }

} // namespace rt
