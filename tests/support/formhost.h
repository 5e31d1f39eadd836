// A runtime for forms tests: the runtime initialised in-process with a test
// program whose libraries carry small unit types of the tests' own, so that
// loading, dispatch and property access can be exercised on any template.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "data/formbuild.h"
#include "runtime/services.h"

namespace test {

// Test unit types: library 1 slots 1 and 3 are the real window and menu-item
// types; the other
// slots named here are test types built on system controls.
//   0x00010005  a single-line EDIT (interface 8 wants Enter when multi-line)
//   0x0001000A  a STATIC label
//   0x0001000B  a BUTTON (click -> event 0; interface 10)
//   0x00020006  a multi-line EDIT standing in for the rich edit box
// and the real check box (0x00010006), combo box (0x00010007), progress bar
// (0x00010008) and list view (0x00020007), whose libraries' links the tests
// attach to the runtime themselves.
// Their type data is a counted caption followed by one word, "extra";
// property 8 is the caption (text), 9 the extra word (integer; a change asks
// for re-creation), 10 a logical, 11 a font, 12 a pick list, 13 byte data.
std::vector<uint8_t> TestUnitData(const std::string& caption, int32_t extra = 0);

// What a test handler saw: the current event source and its own tag.
struct EventLog {
    uint32_t window;
    uint32_t unit;
    int32_t tag;
    std::vector<int64_t> args;
};

// Starts the runtime once per process with the given template (the
// program's own template by default); later calls replace the window table.
void StartFormsRuntime(const std::vector<uint8_t>& formTemplate, const rt::HandlerMapEntry* handlers);

// Handlers for test templates, by stored reference: 100 + tag records the
// event and returns nothing, 200 + tag records and returns false, 300 + tag
// records and returns true (tags 0 to 63).
extern const rt::HandlerMapEntry* const kTestHandlers;
inline int32_t Plain(int32_t tag) { return 100 + tag; }
inline int32_t ReturnsFalse(int32_t tag) { return 200 + tag; }
inline int32_t ReturnsTrue(int32_t tag) { return 300 + tag; }
std::vector<EventLog>& Events();
// Runs inside every test handler after it recorded its event.
extern void (*gOnEvent)(const EventLog&);

// Pumps this thread's messages until `done` holds; false if it still does not
// after `timeoutMs`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);

} // namespace test
