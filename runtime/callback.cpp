// The runtime callback: the one channel through which library code (units,
// commands) asks the runtime for services.
#include <windows.h>
#include "app.h"
#include "errors.h"
#include "forms/forms.h"

namespace rt {

namespace {

// The unit type record of a type reference, or null.
const UnitTypeRecord* TypeRecord(uint32_t ref) {
    uint32_t lib = ref >> 16, type = ref & 0xFFFF;
    if (lib == 0 || type == 0 || lib > gApp.libraries.size()) return nullptr;
    const LibraryRecord* l = gApp.libraries[lib - 1];
    if (!l || type > static_cast<uint32_t>(l->typeCount) || !l->types) return nullptr;
    return &l->types[type - 1];
}

struct IdleRequest {
    HWND window;
    IdleCallback callback;
    void* argument;
};

struct LoadRequest {
    uint32_t window;
    void* owner;        // the owner's window object, or null
    int32_t modal;
};

void AddIdle(const IdleRequest* r) {
    if (!r || !IsWindow(r->window) || !r->callback) return;
    for (const IdleEntry& e : gApp.idle)
        if (e.window == r->window) return;
    gApp.idle.push_back(IdleEntry{r->window, r->callback, r->argument});
}

void RemoveIdle(HWND window) {
    for (size_t i = gApp.idle.size(); i-- > 0;)
        if (gApp.idle[i].window == window) gApp.idle.erase(gApp.idle.begin() + static_cast<std::ptrdiff_t>(i));
}

intptr_t LoadAndShow(const LoadRequest* r) {
    forms::WindowEntry* e = r ? gApp.windows.Find(r->window) : nullptr;
    if (!e) return 0;
    HWND owner = r->owner ? static_cast<ControlHead*>(r->owner)->hwnd : nullptr;
    if (forms::LoadWindow(e, false, r->modal != 0, owner) && !e->units.Empty()) {
        bool visible = (e->units.At(0).Flags() & forms::kUnitVisible) != 0;
        forms::ShowLoadedWindow(r->window, visible);
    }
    return 0;
}

} // namespace

const UnitTypeRecord* LookupTypeRecord(uint32_t ref) { return TypeRecord(ref); }

intptr_t RuntimeCallbackEntry(int32_t code, intptr_t v1, intptr_t v2) {
    uint32_t u1 = static_cast<uint32_t>(v1), u2 = static_cast<uint32_t>(v2);
    switch (code) {
    case kCbWindowTable: return reinterpret_cast<intptr_t>(&gApp.windows);
    case kCbTypeRecord: return reinterpret_cast<intptr_t>(TypeRecord(u1));
    case kCbAddIdle: AddIdle(reinterpret_cast<const IdleRequest*>(v1)); return 0;
    case kCbRemoveIdle: RemoveIdle(reinterpret_cast<HWND>(v1)); return 0;
    case kCbIsUnitControl: return forms::IsUnitControl(reinterpret_cast<HWND>(v1)) ? 1 : 0;
    case kCbDestroyed: forms::UnitDestroyed(u1, u2); return 0;
    case kCbRunDirectory: return reinterpret_cast<intptr_t>(gApp.runDirectory.c_str());
    case kCbExeName: return reinterpret_cast<intptr_t>(gApp.exeName.c_str());
    case kCbLoadWindow: return LoadAndShow(reinterpret_cast<const LoadRequest*>(v1));
    case kCbUnitObject: return reinterpret_cast<intptr_t>(forms::UnitObject(u1, u2));
    case kCbUnitObjectOrError: {
        void* o = forms::UnitObject(u1, u2);
        if (!o) ReportError("指定窗口或窗口组件不存在或尚未载入", 0, static_cast<int32_t>(u1), static_cast<int32_t>(u2));
        return reinterpret_cast<intptr_t>(o);
    }
    case kCbRaiseEvent: return forms::RaiseEvent(reinterpret_cast<void*>(v1), false);
    case kCbRaiseEvent64: return forms::RaiseEvent(reinterpret_cast<void*>(v1), true);
    case kCbBeginBusy: BeginBusy(); return 0;
    case kCbEndBusy: EndBusy(); return 0;
    case kCbPumpMessages: PumpPendingMessages(); return 0;
    case kCbFreeArray: FreeArray(u1, reinterpret_cast<void*>(v2)); return 0;
    case kCbAlloc: return reinterpret_cast<intptr_t>(v2 == 0 ? MemAlloc(u1) : MemAllocPlain(u1));
    case kCbFree: MemFree(reinterpret_cast<void*>(v1)); return 0;
    case kCbRealloc: return reinterpret_cast<intptr_t>(MemRealloc(reinterpret_cast<void*>(v1), u2));
    case kCbError: ReportError(reinterpret_cast<const char*>(v1), 0, 0, 0);
    case kCbExit: Exit(static_cast<int32_t>(v1));
    default:
        // Codes of facilities this program does not carry answer 0.
        return 0;
    }
}

} // namespace rt
