// DLL commands: functions named in the program's DLL command table, bound on
// first call and kept for the rest of the run.
#pragma once

#include <windows.h>
#include <cstdint>

namespace rt {

void DllInitTables(int32_t count, const char* const* libraryNames, const char* const* functionNames);

// The function's address; a failure reports a run-time error and never returns.
void* BindDllCommand(int32_t index);

// Frees every cached module once per bound index and empties the tables.
void DllUnloadAll();

// Service slot 1, a stdcall thunk: the caller pushes the function's own
// arguments and then the index; the thunk drops the index and jumps into the
// bound function, which returns straight to the caller.
extern "C" void DllCallThunk();

// Calls DLL command `index` with `argc` 32-bit arguments (first argument
// first) through the thunk and reports whether the stack pointer after the
// call equals the one before it.
extern "C" uint32_t DllCallChecked(const void* thunk, int32_t index, const uint32_t* args, int32_t argc,
                                   int32_t* stackOk);

} // namespace rt
