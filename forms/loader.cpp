// Form loading: a window entry of the window table becomes live controls,
// and comes back to its stored values when the window is destroyed.
#include "loader.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include "forms.h"
#include "menubar.h"
#include "runtime/app.h"
#include "runtime/errors.h"
#include "unit.h"
#include "windowunit.h"

namespace forms {

using rt::gApp;

bool gRecreating = false;

namespace {

constexpr UINT kFirstControlId = 100;
constexpr UINT kControlIdStep = 10;

const uint32_t kStockCursors[15] = {0,     32512, 32515, 32513, 32514, 32651, 32650, 32648,
                                    32646, 32643, 32645, 32642, 32644, 32516, 32649};

rt::ControlHead* Head(void* slot) { return static_cast<rt::ControlHead*>(slot); }

bool Live(void* slot) { return slot && IsWindow(Head(slot)->hwnd); }

struct Created {
    int32_t index;
    rt::ControlHead* object;
    bool container;
    bool visible;
};

// A cursor image of our own: the .cur file layout (directory, one entry,
// then the image) made into a cursor with its hot spot.
HCURSOR CursorFromImage(const uint8_t* p, uint32_t n) {
    if (n < 6 + 16) return nullptr;
    uint16_t type, count;
    std::memcpy(&type, p + 2, 2);
    std::memcpy(&count, p + 4, 2);
    if (type != 2 || count < 1) return nullptr;
    const uint8_t* entry = p + 6;
    uint16_t hotX, hotY;
    uint32_t size, offset;
    std::memcpy(&hotX, entry + 4, 2);
    std::memcpy(&hotY, entry + 6, 2);
    std::memcpy(&size, entry + 8, 4);
    std::memcpy(&offset, entry + 12, 4);
    if (offset > n || size > n - offset || size == 0) return nullptr;
    std::vector<uint8_t> res(4 + size);
    std::memcpy(&res[0], &hotX, 2);
    std::memcpy(&res[2], &hotY, 2);
    std::memcpy(&res[4], p + offset, size);
    return reinterpret_cast<HCURSOR>(
        CreateIconFromResourceEx(res.data(), static_cast<DWORD>(res.size()), FALSE, 0x00030000, 0, 0, 0));
}

HCURSOR StockCursor(uint32_t id) {
    HCURSOR c = LoadCursorA(nullptr, MAKEINTRESOURCEA(id));
    return c ? reinterpret_cast<HCURSOR>(CopyIcon(reinterpret_cast<HICON>(c))) : nullptr;
}

// Places the control of unit `index` after the nearest earlier sibling's.
void PlaceInZOrder(WindowEntry* e, int32_t index) {
    UnitRecord r = e->units.At(index);
    HWND self = ControlAt(e, index);
    if (!self) return;
    HWND after = HWND_TOP;
    for (int32_t j = index - 1; j >= 1; j--) {
        if (e->units.IsMenuItemAt(j)) continue;
        if (e->units.At(j).Parent() != r.Parent()) continue;
        if (HWND prev = ControlAt(e, j)) {
            after = prev;
            break;
        }
    }
    SetWindowPos(self, after, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

void SendToUnits(WindowEntry* e, UINT msg) {
    for (int32_t i = e->units.Count(); i-- > 0;) {
        if (HWND h = ControlAt(e, i)) SendMessageA(h, msg, 0, 0);
    }
}

void DestroyCursorSlot(UnitRecord r) {
    if (uint32_t c = r.CursorSlot()) {
        DestroyCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(c)));
        r.SetCursorSlot(0);
    }
}

} // namespace

// --- lookups -----------------------------------------------------------------------

HWND ControlAt(WindowEntry* e, int32_t index) {
    if (!e || index < 0 || index >= e->units.Count() || e->units.IsMenuItemAt(index)) return nullptr;
    void* slot = e->units.At(index).ControlSlot();
    return Live(slot) ? Head(slot)->hwnd : nullptr;
}

const rt::UnitTypeRecord* TypeAt(WindowEntry* e, int32_t index) {
    return rt::LookupTypeRecord(e->units.At(index).TypeRef());
}

int32_t UnitIndexOfControl(WindowEntry* e, HWND hwnd) {
    if (!e || !hwnd) return -1;
    for (int32_t i = 0; i < e->units.Count(); i++)
        if (ControlAt(e, i) == hwnd) return i;
    return -1;
}

HWND TabStopAt(WindowEntry* e, int32_t index) {
    HWND h = ControlAt(e, index);
    if (!h || !IsWindowVisible(h) || !IsWindowEnabled(h)) return nullptr;
    const rt::UnitTypeRecord* type = TypeAt(e, index);
    if (!(e->units.At(index).Flags() & kUnitTabStop) || !type ||
        (type->flags & (rt::kTfSelfVisible | rt::kTfNoFocus)))
        return nullptr;
    return h;
}

HWND ChooseFocusControl(WindowEntry* e) {
    HWND best = nullptr;
    int32_t bestOrder = 0;
    for (int32_t i = e->units.Count() - 1; i >= 1; i--) {
        HWND h = TabStopAt(e, i);
        if (!h) continue;
        int32_t order = e->units.At(i).FocusOrder();
        if (!best || order < bestOrder) {
            best = h;
            bestOrder = order;
        }
    }
    return best;
}

WindowObject* LoadedWindow(uint32_t windowId) {
    WindowEntry* e = gApp.windows.Find(windowId);
    if (!e || e->units.Empty()) return nullptr;
    void* slot = e->units.At(0).ControlSlot();
    return Live(slot) ? static_cast<WindowObject*>(Wnd::FromHead(slot)) : nullptr;
}

HWND WindowHandle(uint32_t windowId) {
    WindowObject* w = LoadedWindow(windowId);
    return w ? w->hwnd : nullptr;
}

std::vector<uint32_t> LiveWindows() {
    std::vector<uint32_t> ids;
    for (int32_t i = 0; i < gApp.windows.Count(); i++) {
        WindowEntry* e = gApp.windows.At(i);
        if (LoadedWindow(e->id)) ids.push_back(e->id);
    }
    return ids;
}

bool AnyWindowAlive() { return !LiveWindows().empty(); }

void* UnitObject(uint32_t windowId, uint32_t unitId) {
    if (!LoadedWindow(windowId)) return nullptr;
    WindowEntry* e = gApp.windows.Find(windowId);
    int32_t index = unitId == 0 ? 0 : e->units.IndexOf(unitId);
    if (index < 0 || e->units.IsMenuItemAt(index)) return nullptr;
    void* slot = e->units.At(index).ControlSlot();
    return Live(slot) ? slot : nullptr;
}

bool IsUnitControl(HWND hwnd) {
    for (uint32_t id : LiveWindows())
        if (UnitIndexOfControl(gApp.windows.Find(id), hwnd) >= 0) return true;
    return false;
}

// --- cursors -------------------------------------------------------------------------

uint32_t CursorIndexToStock(uint32_t v) { return v < 15 ? kStockCursors[v] : v; }

uint32_t CursorStockToIndex(uint32_t v) {
    for (uint32_t i = 0; i < 15; i++)
        if (kStockCursors[i] == v) return i;
    return v;
}

HCURSOR BuildCursor(const uint8_t* p, uint32_t n) {
    if (n == 0) return nullptr;
    int32_t code;
    if (n >= 4) {
        std::memcpy(&code, p, 4);
    } else {
        code = p[0];
    }
    if (n > 10 && code != -1) {
        if (HCURSOR c = CursorFromImage(p, n)) return c;
    }
    if (code == -1) return n > 4 ? CursorFromImage(p + 4, n - 4) : nullptr;
    if (code >= 0 && code <= 14) return code == 0 ? nullptr : StockCursor(kStockCursors[code]);
    // The hand has no stock cursor on the oldest systems; ours is the system's.
    return StockCursor(static_cast<uint32_t>(code));
}

void DestroyUnitCursors(uint32_t windowId) {
    WindowEntry* e = gApp.windows.Find(windowId);
    if (!e) return;
    for (int32_t i = 0; i < e->units.Count(); i++)
        if (!e->units.IsMenuItemAt(i)) DestroyCursorSlot(e->units.At(i));
}

// --- destruction ---------------------------------------------------------------------

void UnitDestroyed(uint32_t windowId, uint32_t unitId) {
    if (gRecreating) return;
    WindowEntry* e = gApp.windows.Find(windowId);
    if (!e || e->units.Empty()) return;
    if (unitId == 0 || unitId == e->units.IdAt(0)) {
        WindowReleased(windowId);
        return;
    }
    int32_t index = e->units.IndexOf(unitId);
    if (index <= 0 || e->units.IsMenuItemAt(index)) return;
    UnitRecord r = e->units.At(index);
    // A control re-created from its own event handler is cleaned up only when
    // that handler returns: by then the slot holds the new control, which
    // keeps the slot and the cursor.
    if (Live(r.ControlSlot())) return;
    DestroyCursorSlot(r);
    r.SetControlSlot(nullptr);
}

void WindowReleased(uint32_t windowId) {
    WindowEntry* e = gApp.windows.Find(windowId);
    if (e && !e->snapshot.Empty()) {
        std::swap(e->units, e->snapshot);
        e->snapshot.Clear();
    }
    if (gApp.modalWindow == windowId) gApp.modalWindow = 0;
    if (gApp.loopStarted && !AnyWindowAlive()) PostQuitMessage(0);
}

void DestroyAllWindows() {
    for (uint32_t id : LiveWindows())
        if (HWND h = WindowHandle(id)) DestroyWindow(h);
}

// --- loading -------------------------------------------------------------------------

int LoadWindow(WindowEntry* e, bool reload, bool modal, HWND owner) {
    if (!e || e->units.Empty()) return 0;
    if (!reload) {
        if (WindowObject* w = LoadedWindow(e->id)) {
            // Already open: carry out a pending close, or bring it forward.
            MSG pending;
            if (PeekMessageA(&pending, w->hwnd, kMsgPendingClose, kMsgPendingClose, PM_REMOVE)) {
                SendMessageA(w->hwnd, kMsgPendingClose, 0, 0);
            } else {
                if (IsIconic(w->hwnd))
                    ShowWindow(w->hwnd, SW_RESTORE);
                else
                    SetActiveWindow(w->hwnd);
                return 1;
            }
        }
    }
    if (modal) owner = nullptr;
    else if (owner && !IsWindow(owner)) return 0;

    rt::BeginBusy();
    e->snapshot = e->units;
    const uint32_t windowId = e->id;
    MenuBar bar = BuildMenuBar(e);

    // The window unit first, then the controls from the last entry back.
    std::vector<Created> created;
    UINT controlId = kFirstControlId;
    bool failed = false;
    for (int32_t step = 0; step < e->units.Count() && !failed; step++) {
        int32_t i = step == 0 ? 0 : e->units.Count() - step;
        if (e->units.IsMenuItemAt(i)) continue;
        UnitRecord r = e->units.At(i);
        const rt::UnitTypeRecord* type = rt::LookupTypeRecord(r.TypeRef());
        auto create = type && type->query ? reinterpret_cast<units::CreateFn>(type->query(rt::kIfCreate)) : nullptr;
        if (!create) {
            failed = true;
            break;
        }
        bool selfVisible = (type->flags & rt::kTfSelfVisible) != 0;
        bool visible = selfVisible ? false : (i == 0 && reload) ? true : (r.Flags() & kUnitVisible) != 0;
        DWORD style = 0;
        if ((r.Flags() & kUnitDisabled) && !selfVisible && !(i == 0 && reload)) style |= WS_DISABLED;
        if (r.Flags() & kUnitTabStop) style |= WS_TABSTOP;
        // Copy the type data: creation may resize nothing, but keep it safe.
        std::vector<uint8_t> data(r.TypeData(), r.TypeData() + r.TypeDataLength());
        void* object;
        if (i == 0) {
            gCreatingModal = modal;
            object = create(data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()), style, owner,
                            0, bar.menu, r.Left(), r.Top(), r.Width(), r.Height(), windowId, e->units.IdAt(0), 0, 0);
            gCreatingModal = false;
            if (object && !IsWindow(Head(object)->hwnd)) object = nullptr;
            // The window owns the menu from now on, and destroys it on failure.
            bar.menu = nullptr;
        } else {
            object = create(data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()), style,
                            WindowHandle(windowId) ? Head(e->units.At(0).ControlSlot())->hwnd : nullptr,
                            controlId, nullptr, r.Left(), r.Top(), r.Width(), r.Height(), windowId, e->units.IdAt(i),
                            0, 0);
            controlId += kControlIdStep;
        }
        if (!object) {
            failed = true;
            break;
        }
        e->units.At(i).SetControlSlot(object);
        if (i == 0) {
            WindowObject* w = static_cast<WindowObject*>(Wnd::FromHead(object));
            w->reloading = reload;
        }
        created.push_back(Created{i, Head(object), (type->flags & rt::kTfPages) != 0, visible});
    }
    if (failed) {
        bar.Destroy();
        e->snapshot.Clear();
        rt::EndBusy();
        return 0;
    }

    HWND windowHwnd = WindowHandle(windowId);
    // Parenting, and children on later pages of a container start hidden.
    for (Created& c : created) {
        if (c.index == 0) continue;
        UnitRecord r = e->units.At(c.index);
        uint32_t parentId = r.Parent();
        HWND parent = windowHwnd;
        if (parentId) {
            int32_t pi = e->units.IndexOf(parentId);
            if (HWND ph = ControlAt(e, pi)) parent = ph;
        }
        if (GetParent(c.object->hwnd) != parent) SetParent(c.object->hwnd, parent);
        if (!c.container) continue;
        const uint32_t* children = r.Children();
        bool laterPage = false;
        for (int32_t k = 0; k < r.ChildCount(); k++) {
            uint32_t child;
            std::memcpy(&child, children + k, 4);
            if (child == 0) {
                laterPage = true;
                continue;
            }
            if (!laterPage) continue;
            for (Created& other : created)
                if (e->units.IdAt(other.index) == child) other.visible = false;
        }
    }
    for (int32_t i = 1; i < e->units.Count(); i++)
        if (!e->units.IsMenuItemAt(i)) PlaceInZOrder(e, i);
    for (int32_t i = 0; i < e->units.Count(); i++) {
        if (e->units.IsMenuItemAt(i)) continue;
        UnitRecord r = e->units.At(i);
        DestroyCursorSlot(r);
        HCURSOR c = BuildCursor(r.MousePointer(), r.MousePointerLength());
        e->units.At(i).SetCursorSlot(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(c)));
    }
    SendToUnits(e, kMsgAfterCreate);
    if (windowHwnd) SendMessageA(windowHwnd, kMsgLayoutWindow, 0, 0);
    for (const Created& c : created)
        if (c.index != 0 && IsWindow(c.object->hwnd)) ShowWindow(c.object->hwnd, c.visible ? SW_SHOWNA : SW_HIDE);
    if (WindowObject* w = LoadedWindow(windowId)) {
        if (w->accel) DestroyAcceleratorTable(w->accel);
        w->accel = bar.accel;
        bar.accel = nullptr;
    }
    bar.Destroy();
    rt::EndBusy();

    // The window's first events; a handler may close it.
    const int32_t firstEvents[] = {0, 3, 4};
    for (int32_t ev : firstEvents) {
        if (!WindowHandle(windowId)) return 1;
        RaiseUnitEvent(windowId, 0, ev);
    }
    WindowObject* w = LoadedWindow(windowId);
    if (!w) return 1;
    bool windowVisible = created.front().visible;
    if (windowVisible) {
        if (reload)
            ShowWindow(w->hwnd, SW_SHOW);
        else
            w->FirstShow();
    }
    w = LoadedWindow(windowId);
    if (!w) return 1;
    if (modal) {
        w->modal = true;
        gApp.modalWindow = windowId;
        for (uint32_t other : LiveWindows()) {
            if (other == windowId) continue;
            HWND h = WindowHandle(other);
            if (!h || (GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD)) continue;
            w->disabledByModal.push_back({h, IsWindowEnabled(h) != FALSE});
            EnableWindow(h, FALSE);
        }
    }
    HWND focus = GetFocus();
    SendToUnits(e, kMsgAfterLoad);
    if (focus && GetFocus() != focus && IsWindow(focus)) SetFocus(focus);
    if ((w = LoadedWindow(windowId)) != nullptr) w->loadedNotShown = true;
    return 1;
}

void ShowLoadedWindow(uint32_t windowId, bool plainShow) {
    WindowObject* w = LoadedWindow(windowId);
    if (!w) return;
    if (!w->loadedNotShown) {
        if (plainShow) ShowWindow(w->hwnd, SW_SHOW);
        return;
    }
    w->loadedNotShown = false;
    if (w->modal) {
        HWND owner = GetWindow(w->hwnd, GW_OWNER);
        if (owner && (GetWindowLongPtrA(owner, GWL_EXSTYLE) & WS_EX_TOPMOST) && IsUnitControl(owner))
            SetWindowPos(w->hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    if (plainShow) w->FirstShow();
    if (w->modal) rt::MessageLoop(windowId);
}

} // namespace forms
