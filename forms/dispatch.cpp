// Event dispatch: from a unit's event record to the handler bound in the
// form template.
#include "forms.h"
#include "windowunit.h"

#include "runtime/app.h"
#include "runtime/errors.h"

namespace forms {

namespace {

using rt::gApp;

// Follows event source links while the linked unit exists in the same window
// with the same type reference.
int32_t FollowLinks(UnitList& units, int32_t index) {
    for (int32_t guard = 0; guard < units.Count(); guard++) {
        UnitRecord r = units.At(index);
        uint32_t link = r.EventLink();
        if (link == 0) break;
        int32_t next = units.IndexOf(link);
        if (next < 0 || next == index || units.At(next).TypeRef() != r.TypeRef()) break;
        index = next;
    }
    return index;
}

} // namespace

rt::EventHandler FindHandler(uint32_t windowId, uint32_t unitId, int32_t eventIndex) {
    if (gApp.busy > 0) return nullptr;
    WindowEntry* w = gApp.windows.Find(windowId);
    if (!w) rt::ReportError("未找到引发事件的窗口", 0, static_cast<int32_t>(windowId), 0);
    int32_t index = unitId == 0 ? (w->units.Empty() ? -1 : 0) : w->units.IndexOf(unitId);
    if (index < 0)
        rt::ReportError("未找到引发事件的窗口组件", 0, static_cast<int32_t>(windowId), static_cast<int32_t>(unitId));
    uint32_t sourceUnit = w->units.IdAt(index);
    index = FollowLinks(w->units, index);
    UnitRecord r = w->units.At(index);
    const rt::UnitTypeRecord* type = rt::LookupTypeRecord(r.TypeRef());
    if (!type || !(type->flags & (rt::kTfCanRaise40 | rt::kTfCanRaise4)))
        rt::ReportError("引发事件的窗口组件无效", 0, static_cast<int32_t>(windowId), static_cast<int32_t>(unitId));

    uint32_t handler = 0;
    if (r.IsMenuItem()) {
        handler = r.MenuHandler();
    } else {
        EventPair* pairs = r.Events();
        for (int32_t i = 0; i < r.EventCount(); i++) {
            if (pairs[i].index == eventIndex) {
                handler = pairs[i].handler;
                break;
            }
        }
    }
    if (!handler) return nullptr;
    gApp.currentEvent.window = windowId;
    gApp.currentEvent.unit = sourceUnit;
    return reinterpret_cast<rt::EventHandler>(static_cast<uintptr_t>(handler));
}

bool CallRegisteredHandler(uint32_t windowId, uint32_t unitId, rt::EventHandler handler) {
    if (gApp.busy > 0 || !handler) return false;
    gApp.currentEvent.window = windowId;
    gApp.currentEvent.unit = unitId;
    int64_t ignored = 0;
    handler(0, nullptr, &ignored);
    gApp.currentEvent.window = 0;
    return true;
}

namespace {

// Widens one argument of the 64-bit form by its value kind.
int64_t WidenArg(const rt::EventArg64& a) {
    if (a.flags & 1) return static_cast<int64_t>(a.lo);
    bool wide = (a.flags & 2) || a.kind == rt::kTypeMenuItem || a.kind == rt::kTypeLong ||
                a.kind == rt::kTypeDouble || a.kind == rt::kTypeDateTime || a.kind == 0x80000008;
    if (wide) return static_cast<int64_t>((static_cast<uint64_t>(a.hi) << 32) | a.lo);
    if (a.kind == rt::kTypeByte) return static_cast<int64_t>(a.lo & 0xFF);
    if (a.kind == rt::kTypeShort) return static_cast<int64_t>(static_cast<int16_t>(a.lo & 0xFFFF));
    return static_cast<int64_t>(static_cast<int32_t>(a.lo));
}

} // namespace

intptr_t RaiseEvent(void* record, bool wide) {
    int64_t argv[12] = {};
    int32_t argc = 0;
    rt::EventHandler handler;
    if (wide) {
        rt::EventRecord64* ev = static_cast<rt::EventRecord64*>(record);
        handler = FindHandler(ev->window, ev->unit, ev->index);
        if (!handler) return 0;
        argc = ev->argc < 0 ? 0 : (ev->argc > 12 ? 12 : ev->argc);
        for (int32_t i = 0; i < argc; i++) argv[i] = WidenArg(ev->args[i]);
    } else {
        rt::EventRecord* ev = static_cast<rt::EventRecord*>(record);
        handler = FindHandler(ev->window, ev->unit, ev->index);
        if (!handler) return 0;
        argc = ev->argc < 0 ? 0 : (ev->argc > 5 ? 5 : ev->argc);
        for (int32_t i = 0; i < argc; i++) argv[i] = ev->args[i];
    }
    int64_t value = 0;
    bool returned = handler(argc, argv, &value);
    gApp.currentEvent.window = 0;
    if (returned) {
        if (wide) {
            rt::EventRecord64* ev = static_cast<rt::EventRecord64*>(record);
            ev->returned = 1;
            ev->value = value;
        } else {
            rt::EventRecord* ev = static_cast<rt::EventRecord*>(record);
            ev->returned = 1;
            ev->value = static_cast<int32_t>(value);
        }
    }
    return 1;
}

} // namespace forms
