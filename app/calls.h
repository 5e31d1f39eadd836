// How the program's own code reaches the runtime: DLL commands with the
// stack check, core-library commands over argument records, and the records
// it hands to DLL commands. Everything goes through rt::kServices.
#pragma once

#include <cstdint>
#include <initializer_list>
#include "runtime/services.h"

namespace app {

// A pointer or handle as the 32-bit word the target passes.
inline uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <class T>
inline T* PointerAt(uint32_t word) { return reinterpret_cast<T*>(static_cast<uintptr_t>(word)); }

// Calls DLL command `index` with its arguments, first argument first. When
// the function left the stack pointer elsewhere than it found it, reports
// run-time error 6 with (routine, position) and does not return.
uint32_t CallDll(int32_t index, std::initializer_list<uint32_t> args, int32_t routine, int32_t position);

// --- argument records as the program builds them ---------------------------

rt::ArgRecord IntArg(int32_t v);
rt::ArgRecord TextArg(const char* s);           // null: the constant empty text
rt::ArgRecord BytesArg(const void* bytes);      // null: the constant empty byte set
rt::ArgRecord ByRefArg(uint32_t type, void* variable);
rt::ArgRecord OmittedArg();

// Positions of the core library's commands in its command table.
enum CoreCommand : int32_t {
    kGetRunDirectory = 0,
    kBitOr = 1,
    kGetSystemKind = 2,
    kMakeBlankBytes = 3,
    kReadValueFromBytes = 4,
    kProcessPendingMessages = 5,
    kShowMessageBox = 6,
    kLoadWindow = 7,
};

// Core-library command call (service slot 3); the result record's words.
rt::ArgRecord CallCore(CoreCommand command, std::initializer_list<rt::ArgRecord> args);

// --- the start-up record ----------------------------------------------------

// STARTUPINFOA as the program holds it: every member, the two 16-bit ones
// included, in a 32-bit slot (72 bytes).
struct StartupRecord {
    uint32_t cb;
    char* lpReserved;
    char* lpDesktop;
    char* lpTitle;
    uint32_t dwX, dwY, dwXSize, dwYSize;
    uint32_t dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    uint32_t wShowWindow;
    uint32_t cbReserved2;
    uint32_t lpReserved2;
    uint32_t hStdInput, hStdOutput, hStdError;
};
static_assert(sizeof(void*) != 4 || sizeof(StartupRecord) == 72, "72-byte program layout");

constexpr uint32_t kSystemStartupSize = 68;

// A new 68-byte block in the system layout (16-bit members from the low
// halves of their slots) for passing to a DLL command.
void* MarshalStartupRecord(const StartupRecord& record);

// Copies the block back after the call and frees it: 16-bit members into the
// low halves, text members only when the function changed the pointer (the
// old text is freed, a copy of the new one stored, null when empty).
void UnmarshalStartupRecord(StartupRecord* record, void* block);

} // namespace app
