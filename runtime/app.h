// The application object: the one process-wide state of the runtime, its
// start-up and its end sequence.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "forms/template.h"
#include "library.h"
#include "services.h"

namespace rt {

typedef void (*EndRoutine)();
typedef void (*IdleCallback)(void* argument);

struct IdleEntry {
    HWND window;
    IdleCallback callback;
    void* argument;
};

// The DLL command tables: per command its names, bound address and module.
struct DllTables {
    std::vector<const char*> libraryNames;
    std::vector<const char*> functionNames;
    std::vector<void*> addresses;
    std::vector<HMODULE> modules;
};

struct EventSource {
    uint32_t window = 0;
    uint32_t unit = 0;
};

struct AppState {
    const ProgramHeader* header = nullptr;
    uint32_t buildKind = 0, headerValue2 = 0, headerValue3 = 0;

    std::string runDirectory;   // the executable's folder, no trailing backslash
    std::string exeName;        // the executable's file name
    std::string exeFolder;      // the executable's folder with a trailing backslash

    DWORD mainThread = 0;
    HWND hiddenOwner = nullptr;
    bool oleInitialised = false;
    CRITICAL_SECTION lock;

    std::vector<const LibraryRecord*> libraries;
    std::vector<uint32_t> libraryWords;
    DllTables dll;

    forms::WindowTable windows;
    std::vector<EndRoutine> endRoutines;
    std::vector<IdleEntry> idle;

    int busy = 0;
    bool loopStarted = false;
    bool shutdownStarted = false;
    uint32_t modalWindow = 0;
    EventSource currentEvent;
};

extern AppState gApp;

// The runtime callback every library receives on notify code 1.
intptr_t RuntimeCallbackEntry(int32_t code, intptr_t v1, intptr_t v2);

// The unit type record of a type reference (library << 16 | type), or null.
const UnitTypeRecord* LookupTypeRecord(uint32_t ref);

// Start-up steps 3 to 12 (auxiliary service 6).
void InitRuntime();

// The end sequence with exit code c; Exit runs it and ends the process.
void EndSequence(int32_t c);
[[noreturn]] void Exit(int32_t c);

void RegisterEndRoutine(EndRoutine routine);

// Message loop: non-modal, or modal until the window `modal` has ended.
void MessageLoop(uint32_t modalWindow);
// Dispatches waiting messages until the queue is empty or WM_QUIT is next.
void PumpPendingMessages();

void BeginBusy();
void EndBusy();

// Loads a window of the table and reports "载入启动窗口失败" when it cannot.
void LoadStartupWindow(uint32_t windowId);

} // namespace rt
