// Test host for unit types: a top-level parent window, a runtime callback
// that records raised events and destroyed controls, and the unit's
// interfaces called the way the runtime calls them.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "runtime/library.h"
#include "forms/unit.h"

namespace test {

struct RaisedEvent {
    uint32_t window;
    uint32_t unit;
    int32_t index;
    std::vector<int32_t> args;
};

class UnitHost {
public:
    // Attaches `link` to the host's callback (memory, events, code 2000,
    // codes 2006/2007 for units created through Create).
    explicit UnitHost(rt::LibraryLink* link);
    ~UnitHost();

    HWND Parent() const { return parent_; }

    // Creates a unit through its type's interface 1 on the host window.
    void* Create(rt::InterfaceQueryFn query, const std::vector<uint8_t>& data, int x, int y, int w, int h,
                 DWORD style = WS_TABSTOP, uint32_t unitId = 0x16010001, UINT controlId = 100);
    static HWND Handle(void* object) { return object ? static_cast<rt::ControlHead*>(object)->hwnd : nullptr; }

    // Interfaces 4, 5 and 6 as the runtime calls them (index = property index - 8).
    int32_t Changed(rt::InterfaceQueryFn query, void* object, int32_t index, uint32_t p0, uint32_t p1 = 0);
    bool Get(rt::InterfaceQueryFn query, void* object, int32_t index, uint32_t* p0, uint32_t* p1 = nullptr);
    std::vector<uint8_t> AllData(rt::InterfaceQueryFn query, void* object);

    // Dispatches waiting messages.
    static void Pump();

    std::vector<RaisedEvent> events;      // in order
    std::vector<uint32_t> destroyed;      // unit identifiers reported through code 2000
    // Answer for the next raised events: when set, the handler "returns" it.
    std::function<bool(const RaisedEvent&, int32_t* value)> handler;

    static constexpr uint32_t kWindowId = 0x52010001;

private:
    static intptr_t Callback(int32_t code, intptr_t v1, intptr_t v2);
    rt::LibraryLink* link_;
    HWND parent_ = nullptr;
    std::vector<std::pair<uint32_t, void*>> units_;
};

} // namespace test
