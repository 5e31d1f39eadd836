// The message filter's pre-translation chain and the window's keyboard
// handling: keys claimed by units, Tab order, Enter on the default button,
// Escape and F1, and the common mouse and keyboard events of every unit.
#include <algorithm>
#include <vector>
#include "forms.h"
#include "loader.h"
#include "runtime/app.h"
#include "unit.h"
#include "windowunit.h"

namespace forms {

using rt::gApp;

namespace {

enum CommonEvent : int32_t {
    kEvLeftDown = -1, kEvLeftUp = -2, kEvLeftDouble = -3, kEvRightDown = -4, kEvRightUp = -5, kEvMouseMove = -6,
    kEvKeyDown = -9, kEvKeyUp = -10, kEvChar = -11, kEvWheel = -12,
};

bool IsKeyboard(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }

int32_t Modifiers(int32_t key = 0) {
    int32_t m = 0;
    if ((GetKeyState(VK_CONTROL) & 0x8000) && key != VK_CONTROL) m |= 1;
    if ((GetKeyState(VK_SHIFT) & 0x8000) && key != VK_SHIFT) m |= 2;
    if ((GetKeyState(VK_MENU) & 0x8000) && key != VK_MENU) m |= 4;
    return m;
}

int32_t MapKey(WPARAM vk) {
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<int32_t>('0' + (vk - VK_NUMPAD0));
    if (vk == VK_SUBTRACT) return 189;
    if (vk == VK_DECIMAL) return 190;
    if (vk == VK_DIVIDE) return 191;
    return static_cast<int32_t>(vk);
}

struct Candidate {
    int32_t index;
    int32_t order;
    HWND hwnd;
};

// The tab list: live, visible, enabled tab stops by focus order; equal
// orders in the order met from the last entry back to entry 1.
std::vector<Candidate> TabList(WindowEntry* e) {
    std::vector<Candidate> list;
    for (int32_t i = e->units.Count() - 1; i >= 1; i--)
        if (HWND h = TabStopAt(e, i)) list.push_back(Candidate{i, e->units.At(i).FocusOrder(), h});
    std::stable_sort(list.begin(), list.end(), [](const Candidate& a, const Candidate& b) { return a.order < b.order; });
    return list;
}

HWND NextInTabList(WindowEntry* e, int32_t focused, bool backward) {
    std::vector<Candidate> list = TabList(e);
    if (list.empty()) return nullptr;
    const int32_t n = static_cast<int32_t>(list.size());
    const rt::UnitTypeRecord* type = focused > 0 ? TypeAt(e, focused) : nullptr;
    if (type && (type->flags & (rt::kTfFocusByOrder | rt::kTfFocusOrderZero))) {
        int32_t order = (type->flags & rt::kTfFocusOrderZero) ? 0 : e->units.At(focused).FocusOrder();
        if (!backward) {
            for (const Candidate& c : list)
                if (c.order >= order && c.index != focused) return c.hwnd;
        } else {
            for (int32_t k = n - 1; k >= 0; k--)
                if (list[k].order < order) return list[k].hwnd;
        }
        return nullptr;
    }
    for (int32_t k = 0; k < n; k++) {
        if (list[k].index != focused) continue;
        return list[backward ? (k + n - 1) % n : (k + 1) % n].hwnd;
    }
    for (int32_t k = 0; k < n; k++) {
        if (list[k].index > focused) continue;
        return backward ? list[k == 0 ? n - 1 : k - 1].hwnd : list[k].hwnd;
    }
    return backward ? list[n - 1].hwnd : list[0].hwnd;
}

bool IsEnabledDefaultButton(WindowEntry* e, int32_t index) {
    const rt::UnitTypeRecord* type = TypeAt(e, index);
    HWND h = ControlAt(e, index);
    if (!type || !(type->flags & rt::kTfDefaultButton) || !h || !IsWindowEnabled(h) || !type->query) return false;
    auto isDefault = reinterpret_cast<units::IsDefaultButtonFn>(type->query(rt::kIfIsDefaultButton));
    return isDefault && isDefault(e->units.At(index).ControlSlot());
}

void OpenHelp(HWND window, const WindowProps& p) {
    std::string file = p.helpFile;
    if (file.empty()) {
        file = gApp.runDirectory.empty() ? gApp.exeName : gApp.runDirectory + "\\" + gApp.exeName;
        size_t dot = file.find_last_of('.');
        size_t slash = file.find_last_of('\\');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) file.erase(dot);
        file += ".hlp";
    }
    if (GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (p.helpContext)
        WinHelpA(window, file.c_str(), HELP_CONTEXT, static_cast<ULONG_PTR>(p.helpContext));
    else
        WinHelpA(window, file.c_str(), HELP_FINDER, 0);
}

} // namespace

// Keys the window acts on; true when the key was handled.
static bool HandleKey(WindowObject* w, WindowEntry* e, MSG* m) {
    if (m->message != WM_KEYDOWN) return false;
    HWND focus = GetFocus();
    int32_t focused = UnitIndexOfControl(e, focus);
    if (focused > 0) {
        const rt::UnitTypeRecord* type = TypeAt(e, focused);
        auto wants = type && type->query ? reinterpret_cast<units::WantsKeyFn>(type->query(rt::kIfWantsKey)) : nullptr;
        if (wants && wants(e->units.At(focused).ControlSlot(), static_cast<int32_t>(m->wParam))) return false;
    }
    const uint32_t windowId = w->WindowId();
    switch (m->wParam) {
    case VK_TAB: {
        if (GetKeyState(VK_CONTROL) & 0x8000) return false;
        HWND next = NextInTabList(e, focused, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        if (next && next != focus) SetFocus(next);
        return true;
    }
    case VK_RETURN: {
        if (focused > 0 && IsEnabledDefaultButton(e, focused)) {
            RaiseUnitEvent(windowId, e->units.IdAt(focused), 0);
            return true;
        }
        if (w->Props().enterMovesFocus) {
            HWND next = NextInTabList(e, focused, false);
            if (next && next != focus) SetFocus(next);
            return true;
        }
        for (int32_t i = 1; i < e->units.Count(); i++) {
            if (IsEnabledDefaultButton(e, i)) {
                RaiseUnitEvent(windowId, e->units.IdAt(i), 0);
                return true;
            }
        }
        return false;
    }
    case VK_ESCAPE:
        if (!w->Props().escapeCloses) return false;
        SendMessageA(w->hwnd, WM_CLOSE, 0, 0);
        return true;
    case VK_F1:
        if (!w->Props().f1Help) return false;
        OpenHelp(w->hwnd, w->Props());
        return true;
    default: return false;
    }
}

// Mouse and keyboard messages become the unit's common events; a handler
// that returned false consumes the message.
static bool RaiseCommonEvent(WindowObject* w, WindowEntry* e, MSG* m) {
    int32_t index = m->hwnd == w->hwnd ? 0 : UnitIndexOfControl(e, m->hwnd);
    if (index < 0) return false;
    uint32_t unitId = index == 0 ? 0 : e->units.IdAt(index);
    int32_t args[3] = {static_cast<int32_t>(LOWORD(m->lParam)), static_cast<int32_t>(HIWORD(m->lParam)), Modifiers()};
    int32_t event;
    int32_t argc = 3;
    switch (m->message) {
    case WM_LBUTTONDOWN: event = kEvLeftDown; break;
    case WM_LBUTTONUP: event = kEvLeftUp; break;
    case WM_LBUTTONDBLCLK: event = kEvLeftDouble; break;
    case WM_RBUTTONDOWN: event = kEvRightDown; break;
    case WM_RBUTTONUP: event = kEvRightUp; break;
    case WM_MOUSEMOVE: event = kEvMouseMove; break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        event = (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) ? kEvKeyDown : kEvKeyUp;
        args[0] = MapKey(m->wParam);
        args[1] = Modifiers(static_cast<int32_t>(m->wParam));
        argc = 2;
        break;
    case WM_CHAR: {
        int32_t ch = static_cast<int32_t>(m->wParam);
        bool returned = false;
        int32_t value = 0;
        RaiseUnitEvent(w->WindowId(), unitId, kEvChar, 1, &ch, &returned, &value);
        if (!returned) return false;
        if (value == 0) return true;
        m->wParam = static_cast<WPARAM>(value);
        return false;
    }
    case WM_MOUSEWHEEL:
        event = kEvWheel;
        args[0] = static_cast<int16_t>(HIWORD(m->wParam)) / WHEEL_DELTA;
        args[1] = Modifiers();
        argc = 2;
        break;
    default: return false;
    }
    return Refused(w->WindowId(), unitId, event, argc, args);
}

bool WindowObject::PreTranslateMessage(MSG* m) {
    if (IsKeyboard(m->message) && m->hwnd && !IsWindowEnabled(m->hwnd)) return false;
    if (child_ || !(m->hwnd == hwnd || IsChild(hwnd, m->hwnd))) return false;
    WindowEntry* e = gApp.windows.Find(windowId_);
    if (!e) return false;
    if (accel && IsKeyboard(m->message) && TranslateAcceleratorA(hwnd, accel, m)) return true;
    // A control of another loaded window placed inside this one is its own business.
    if (m->hwnd != hwnd && UnitIndexOfControl(e, m->hwnd) < 0 && IsUnitControl(m->hwnd)) return false;
    for (int32_t i = 1; i < e->units.Count(); i++) {
        const rt::UnitTypeRecord* type = e->units.IsMenuItemAt(i) ? nullptr : TypeAt(e, i);
        if (!type || !(type->flags & rt::kTfTakesMessages) || !type->query) continue;
        auto take = reinterpret_cast<units::TakeMessageFn>(type->query(rt::kIfTakeMessage));
        if (take && take(e->units.At(i).ControlSlot(), m)) return true;
    }
    if (props_.dragAnywhere && m->message == WM_LBUTTONDOWN) {
        int32_t index = m->hwnd == hwnd ? 0 : UnitIndexOfControl(e, m->hwnd);
        const rt::UnitTypeRecord* type = index > 0 ? TypeAt(e, index) : nullptr;
        if (index == 0 || (type && (type->flags & rt::kTfDragsWindow))) {
            PostMessageA(hwnd, WM_NCLBUTTONDOWN, HTCAPTION, m->lParam);
            return true;
        }
    }
    // Handlers may close the window: keep only the identifier from here on.
    const uint32_t windowId = windowId_;
    if (HandleKey(this, e, m)) return true;
    WindowObject* w = LoadedWindow(windowId);
    if (!w) return true;
    e = gApp.windows.Find(windowId);
    return RaiseCommonEvent(w, e, m);
}

bool PreTranslate(MSG* m) {
    for (HWND h = m->hwnd; h;) {
        Wnd* w = Wnd::FromHandle(h);
        if (!w) w = Wnd::FromAnswer(SendMessageA(h, kMsgGetObject, 0, 0));
        if (w && w->PreTranslateMessage(m)) return true;
        if (!(GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD)) break;
        h = GetParent(h);
    }
    return false;
}

} // namespace forms
