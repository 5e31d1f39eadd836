// The program header and the service table: the whole interface between the
// program's own code (app/, data/) and the runtime.
#pragma once

#include <cstdint>
#include "library.h"

namespace rt {

// A handler bound in the form template. It receives the event's arguments,
// already widened to 64 bits, and returns true when it returned a value
// (stored through `result`).
typedef bool (*EventHandler)(int32_t argc, const int64_t* argv, int64_t* result);

// Maps the handler references stored in the form template to handlers. In
// this build the program's "code base" is this map: a reference is looked up
// by value, and the list ends with a null handler.
struct HandlerMapEntry {
    int32_t reference;
    EventHandler handler;
};

// The program header (all fields 32-bit on the target).
struct ProgramHeader {
    uint32_t buildKind;
    uint32_t value2;
    uint32_t value3;
    const HandlerMapEntry* codeBase;
    const void* constants;
    uint32_t constantsSize;
    const void* formTemplate;
    uint32_t formTemplateSize;
    int32_t libraryCount;
    const LibraryRecord* const* libraries;
    int32_t dllCount;
    const char* const* dllLibraryNames;
    const char* const* dllFunctionNames;
};
static_assert(sizeof(void*) != 4 || sizeof(ProgramHeader) == 52, "13 header words");

// The program's start routine; its result is the application's start result.
typedef int32_t (*StartRoutine)();

// The thirteen services, in slot order. Add nothing but at the end.
struct ServiceTable {
    void (*reportError)(int32_t code, int32_t loc1, int32_t loc2);                  // 0, never returns
    void* callDll;                                                                 // 1, stdcall thunk: (index, args...)
    ArgRecord (*callLibraryCommand)(CommandFn fn, int32_t count, ArgRecord* args);  // 2
    ArgRecord (*callCoreCommand)(CommandFn fn, int32_t count, ArgRecord* args);     // 3
    int64_t (*readProperty)(uint32_t window, uint32_t unit, int32_t index, int32_t sub);            // 4
    void (*writeProperty)(uint32_t window, uint32_t unit, int32_t index, int32_t sub,
                          uint32_t lo, uint32_t hi);                               // 5
    void* (*alloc)(uint32_t n);                                                    // 6
    void* (*realloc)(void* p, uint32_t n);                                         // 7
    void (*free)(void* p);                                                         // 8
    void (*exit)(int32_t code);                                                    // 9, never returns
    void (*messageLoop)();                                                         // 10
    void (*loadWindow)(uint32_t window);                                           // 11
    int64_t (*auxiliary)(int32_t number, ...);                                     // 12
};

extern const ServiceTable kServices;

// Auxiliary service numbers.
enum AuxService : int32_t {
    kAuxFindFile = 0,
    kAuxCloseFind = 1,
    kAuxMakeArrayWritable = 2,
    kAuxRegisterEndRoutine = 3,
    kAuxReadUnitProperty = 4,
    kAuxWriteUnitProperty = 5,
    kAuxInitRuntime = 6,
    kAuxWindowLoaded = 7,   // (window identifier): 1 while the window is loaded, else 0
    kAuxAddSystemMenuItem = 8,   // (window identifier, caption, EventHandler): 1 when added
    // (window identifier): a token naming the loaded window for kAuxPostEvent, 0 when it is not loaded.
    kAuxPostTarget = 9,
    // (token, argument): from any thread, queues the window's event 13 ("posted", one integer
    // argument) to be raised on the window's own thread; 1 when queued. The token stays good while
    // the window lives; the caller makes sure posts stop before the window is destroyed.
    kAuxPostEvent = 10,
};

// The framework entry: runs the application (start-up, message loop, end
// sequence) and ends the process. Called by the program's WinMain.
[[noreturn]] void RunApplication(const ProgramHeader* header, StartRoutine start);

} // namespace rt
