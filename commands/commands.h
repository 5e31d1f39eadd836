// The core library's built-in commands: the eight the program calls, the
// library's notify function, and its link to the runtime.
#pragma once

#include <windows.h>
#include <cstdint>
#include "runtime/library.h"

namespace commands {

// The core library's channel to the runtime, set by notify code 1. The core
// unit types share it with the commands.
extern rt::LibraryLink gCoreLink;

// Every command: (result record, argument count, first argument record).
void GetRunDirectory(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void BitOr(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void GetSystemKind(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void MakeBlankBytes(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ReadValueFromBytes(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ProcessPendingMessages(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ShowMessageBox(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
// (window value, modal logical = false, owner window value = none): loads a
// window of the window table and shows it; a modal one returns once it has
// closed. True when the window is loaded afterwards.
void LoadWindow(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);

// The fold behind BitOr: the low 32 bits of every argument, in order.
enum class BitOp : int32_t { And = 0, Or = 1, Xor = 2 };
int32_t FoldBits(BitOp op, int32_t count, const rt::ArgRecord* args);

// The command table of the library record, in this fixed order.
constexpr int32_t kCoreCommandCount = 8;
extern const rt::CommandFn kCoreCommands[kCoreCommandCount];

// The core library's notify function.
intptr_t CoreNotify(int32_t code, intptr_t v1, intptr_t v2);

} // namespace commands
