// Loaded windows: which window entries have live controls, and the requests
// the runtime makes of them.
#include "forms.h"

#include "runtime/app.h"
#include "runtime/errors.h"

namespace forms {

using rt::gApp;

namespace {

using rt::ControlHead;

// The window's control object when the window is loaded, else null.
ControlHead* WindowObject(WindowEntry* e) {
    if (!e || e->units.Empty()) return nullptr;
    return static_cast<ControlHead*>(e->units.At(0).ControlSlot());
}

bool Live(ControlHead* o) { return o && IsWindow(o->hwnd); }

} // namespace

int LoadWindow(WindowEntry* entry, bool /*reload*/, bool modal, HWND owner) {
    if (!entry || entry->units.Empty()) return 0;
    if (!modal && owner && !IsWindow(owner)) return 0;
    for (int32_t i = 0; i < entry->units.Count(); i++) {
        if (entry->units.IsMenuItemAt(i)) continue;
        const rt::UnitTypeRecord* type = rt::LookupTypeRecord(entry->units.At(i).TypeRef());
        if (!type || !type->query || !type->query(rt::kIfCreate)) return 0;
    }
    // No unit type of this build creates controls yet.
    return 0;
}

void ShowLoadedWindow(uint32_t /*windowId*/, bool /*plainShow*/) {}

void DestroyAllWindows() {
    for (int32_t i = 0; i < gApp.windows.Count(); i++) {
        ControlHead* o = WindowObject(gApp.windows.At(i));
        if (Live(o)) DestroyWindow(o->hwnd);
    }
}

bool AnyWindowAlive() { return !LiveWindows().empty(); }

std::vector<uint32_t> LiveWindows() {
    std::vector<uint32_t> ids;
    for (int32_t i = 0; i < gApp.windows.Count(); i++) {
        WindowEntry* e = gApp.windows.At(i);
        if (Live(WindowObject(e))) ids.push_back(e->id);
    }
    return ids;
}

void* UnitObject(uint32_t windowId, uint32_t unitId) {
    WindowEntry* e = gApp.windows.Find(windowId);
    if (!Live(WindowObject(e))) return nullptr;
    UnitRecord r = unitId == 0 ? e->units.At(0) : e->units.Find(unitId);
    if (!r.Valid() || r.IsMenuItem()) return nullptr;
    ControlHead* o = static_cast<ControlHead*>(r.ControlSlot());
    return Live(o) ? o : nullptr;
}

HWND WindowHandle(uint32_t windowId) {
    ControlHead* o = WindowObject(gApp.windows.Find(windowId));
    return Live(o) ? o->hwnd : nullptr;
}

bool IsUnitControl(HWND hwnd) {
    for (int32_t i = 0; i < gApp.windows.Count(); i++) {
        WindowEntry* e = gApp.windows.At(i);
        if (!Live(WindowObject(e))) continue;
        for (int32_t u = 0; u < e->units.Count(); u++) {
            if (e->units.IsMenuItemAt(u)) continue;
            ControlHead* o = static_cast<ControlHead*>(e->units.At(u).ControlSlot());
            if (o && o->hwnd == hwnd) return true;
        }
    }
    return false;
}

void UnitDestroyed(uint32_t windowId, uint32_t unitId) {
    WindowEntry* e = gApp.windows.Find(windowId);
    if (!e) return;
    UnitRecord r = unitId == 0 ? e->units.At(0) : e->units.Find(unitId);
    if (r.Valid() && !r.IsMenuItem()) r.SetControlSlot(nullptr);
}

bool PreTranslate(MSG* /*msg*/) { return false; }

int64_t ReadProperty(uint32_t windowId, uint32_t unitId, int32_t /*index*/, int32_t /*sub*/) {
    if (!WindowHandle(windowId))
        rt::ReportError("未载入欲访问窗口组件所在的窗口", 0, static_cast<int32_t>(windowId), static_cast<int32_t>(unitId));
    return 0;
}

void WriteProperty(uint32_t windowId, uint32_t unitId, int32_t /*index*/, int32_t /*sub*/, uint32_t /*lo*/,
                   uint32_t /*hi*/) {
    if (!WindowHandle(windowId))
        rt::ReportError("未载入欲访问窗口组件所在的窗口", 0, static_cast<int32_t>(windowId), static_cast<int32_t>(unitId));
}

int64_t ReadUnitObjectProperty(uint32_t /*type*/, void* /*object*/, int32_t /*index*/, int32_t /*sub*/) { return 0; }

void WriteUnitObjectProperty(uint32_t /*type*/, void* /*object*/, int32_t /*index*/, int32_t /*sub*/,
                             uint32_t /*lo*/, uint32_t /*hi*/) {}

} // namespace forms
