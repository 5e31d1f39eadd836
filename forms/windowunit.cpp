#include "windowunit.h"

#include <cstring>
#include "forms.h"
#include "loader.h"
#include "menubar.h"
#include "runtime/app.h"
#include "unit.h"
#include "unitdata.h"

namespace forms {

using rt::gApp;

bool gCreatingModal = false;

namespace {

const char kDefaultClass[] = "RVWindow";

enum WindowEvent : int32_t {
    kEvCreated = 0, kEvQueryClose = 1, kEvDestroy = 2, kEvMoved = 3, kEvSized = 4, kEvActivated = 5,
    kEvDeactivated = 6, kEvFirstActivation = 8, kEvTray = 9, kEvShown = 10, kEvHidden = 11, kEvClosing = 12, kEvPosted = 13,
    kEvGotFocus = -7, kEvLostFocus = -8,
};

} // namespace

bool RaiseUnitEvent(uint32_t windowId, uint32_t unitId, int32_t index, int32_t argc, const int32_t* args,
                    bool* returned, int32_t* value) {
    rt::EventRecord ev = {};
    ev.window = windowId;
    ev.unit = unitId;
    ev.index = index;
    ev.argc = argc;
    for (int32_t i = 0; i < argc && i < 5; i++) ev.args[i] = args[i];
    bool ran = RaiseEvent(&ev, false) != 0;
    if (returned) *returned = ran && ev.returned;
    if (value) *value = ev.value;
    return ran;
}

bool Refused(uint32_t windowId, uint32_t unitId, int32_t index, int32_t argc, const int32_t* args) {
    bool returned = false;
    int32_t value = 1;
    RaiseUnitEvent(windowId, unitId, index, argc, args, &returned, &value);
    return returned && value == 0;
}

// --- creation ------------------------------------------------------------------

bool WindowObject::CreateControl(DWORD style, HWND owner, HMENU menu, int x, int y, int w, int h, bool child,
                                 bool isModal) {
    child_ = child;
    DWORD ex = 0;
    style |= WS_CLIPCHILDREN;
    if (props_.border != 0) {
        if (!props_.title.empty() || props_.controlBox) {
            style |= WS_CAPTION;
            if (props_.controlBox) style |= WS_SYSMENU;
        }
        if (!child) style |= WS_DLGFRAME;
        if (props_.border == 1 || props_.border == 3 || props_.border == 5) style |= WS_THICKFRAME;
        if (props_.border == 3 || props_.border == 4) ex |= WS_EX_TOOLWINDOW;
        if (props_.border == 5 || props_.border == 6) ex |= WS_EX_CLIENTEDGE;
    }
    if (props_.maxButton) style |= WS_MAXIMIZEBOX;
    if (props_.minButton) style |= WS_MINIMIZEBOX;
    if (!child) {
        if (props_.position == 1) {
            x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
            y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
        } else if (props_.position == 2) {
            style |= WS_MINIMIZE;
        } else if (props_.position == 3 && (style & WS_THICKFRAME)) {
            style |= WS_MAXIMIZE;
        }
    }
    if (child) {
        style = (style & ~static_cast<DWORD>(WS_THICKFRAME)) | WS_CHILD;
    } else {
        style &= ~static_cast<DWORD>(WS_CHILD);
        if (owner) style |= WS_POPUP;
        if (!owner && (isModal || !props_.ownOwner)) owner = gApp.hiddenOwner;
    }
    const char* cls = props_.className.empty() ? kDefaultClass : props_.className.c_str();
    RegisterClass(cls, CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                  static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
    if (!Create(ex, cls, props_.title.c_str(), style, x, y, w, h, owner, menu)) {
        if (menu) DestroyMenu(menu);
        return false;
    }
    // The system may drop caption and box bits it does not like; put them back.
    const DWORD kKeep = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    DWORD now = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
    if ((now & kKeep) != (style & kKeep)) {
        SetWindowLongPtrA(hwnd, GWL_STYLE, static_cast<LONG_PTR>((now & ~kKeep) | (style & kKeep)));
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT r;
    GetWindowRect(hwnd, &r);
    if (!(style & (WS_MINIMIZE | WS_MAXIMIZE)) && (r.right - r.left != w || r.bottom - r.top != h)) {
        POINT pt = {r.left, r.top};
        if (child) ScreenToClient(GetParent(hwnd), &pt);
        MoveWindow(hwnd, pt.x, pt.y, w, h, FALSE);
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    if (props_.topmost && !child)
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (!props_.closable) DeleteMenu(GetSystemMenu(hwnd, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return true;
}

void WindowObject::ApplyStyleProps() {
    LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
    style &= ~static_cast<LONG_PTR>(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    if (props_.controlBox) style |= WS_SYSMENU;
    if (props_.minButton) style |= WS_MINIMIZEBOX;
    if (props_.maxButton) style |= WS_MAXIMIZEBOX;
    SetWindowLongPtrA(hwnd, GWL_STYLE, style);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- showing, focus and layout --------------------------------------------------

void WindowObject::FirstShow() {
    int cmd = props_.position == 2 ? SW_SHOWMINIMIZED : props_.position == 3 ? SW_SHOWMAXIMIZED : SW_SHOW;
    ShowWindow(hwnd, cmd);
    HWND focus = GetFocus();
    if (focus && (focus == hwnd || IsChild(hwnd, focus))) {
        WindowEntry* e = gApp.windows.Find(windowId_);
        int32_t index = e ? UnitIndexOfControl(e, focus) : -1;
        if (index >= 0) RaiseUnitEvent(windowId_, index == 0 ? 0 : e->units.IdAt(index), kEvGotFocus);
    }
}

void WindowObject::ReenableOthers() {
    for (auto& d : disabledByModal)
        if (IsWindow(d.first)) EnableWindow(d.first, d.second ? TRUE : FALSE);
    disabledByModal.clear();
}

void WindowObject::FocusFirstUnit() {
    WindowEntry* e = gApp.windows.Find(windowId_);
    if (!e) return;
    HWND target = ChooseFocusControl(e);
    if (target && GetFocus() != target) SetFocus(target);
}

void WindowObject::LayoutDocked() {
    WindowEntry* e = gApp.windows.Find(windowId_);
    if (!e) return;
    std::vector<HWND> top, bottom;
    for (int32_t i = 1; i < e->units.Count(); i++) {
        if (e->units.IsMenuItemAt(i)) continue;
        UnitRecord r = e->units.At(i);
        const rt::UnitTypeRecord* type = rt::LookupTypeRecord(r.TypeRef());
        rt::ControlHead* o = static_cast<rt::ControlHead*>(r.ControlSlot());
        if (!type || !(type->flags & rt::kTfDocked) || !o || !IsWindow(o->hwnd)) continue;
        SendMessageA(o->hwnd, kMsgLayoutDocked, 0, 0);
        LONG_PTR side = GetWindowLongPtrA(o->hwnd, GWL_STYLE) & 3;
        if (side == 1) top.push_back(o->hwnd);
        if (side == 3) bottom.push_back(o->hwnd);
    }
    RECT client;
    GetClientRect(hwnd, &client);
    int y = 0;
    for (size_t i = top.size(); i-- > 0;) {
        RECT r;
        GetWindowRect(top[i], &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        if (r.top != y) SetWindowPos(top[i], nullptr, r.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        y += r.bottom - r.top;
    }
    y = client.bottom;
    for (size_t i = bottom.size(); i-- > 0;) {
        RECT r;
        GetWindowRect(bottom[i], &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        y -= r.bottom - r.top;
        if (r.top != y) SetWindowPos(bottom[i], nullptr, r.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void WindowObject::PaintBackground(HDC dc, const RECT& r) {
    HBRUSH brush = CreateSolidBrush(units::ResolveColour(props_.backColour));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    if (props_.picture.empty()) return;
    units::Picture pic = units::DecodePicture(props_.picture, units::ResolveColour(props_.backColour));
    if (pic.Empty()) return;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = pic.bitmap;
    if (bmp) {
        HGDIOBJ old = SelectObject(mem, bmp);
        int w = r.right - r.left, h = r.bottom - r.top;
        switch (props_.pictureMode) {
        case 0: BitBlt(dc, r.left, r.top, pic.width, pic.height, mem, 0, 0, SRCCOPY); break;
        case 2: StretchBlt(dc, r.left, r.top, w, h, mem, 0, 0, pic.width, pic.height, SRCCOPY); break;
        case 3: BitBlt(dc, r.left + (w - pic.width) / 2, r.top + (h - pic.height) / 2, pic.width, pic.height, mem, 0, 0, SRCCOPY); break;
        default:
            for (int ty = r.top; ty < r.bottom; ty += pic.height)
                for (int tx = r.left; tx < r.right; tx += pic.width) BitBlt(dc, tx, ty, pic.width, pic.height, mem, 0, 0, SRCCOPY);
            break;
        }
        SelectObject(mem, old);
    } else if (pic.icon) {
        DrawIconEx(dc, r.left, r.top, pic.icon, 0, 0, 0, nullptr, DI_NORMAL);
    }
    DeleteDC(mem);
    pic.Release();
}

bool WindowObject::OnSetCursor(HWND over) {
    WindowEntry* e = gApp.windows.Find(windowId_);
    if (!e) return false;
    int32_t index = UnitIndexOfControl(e, over);
    if (index < 0) return false;
    uint32_t cursor = e->units.At(index).CursorSlot();
    if (!cursor) return false;
    SetCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(cursor)));
    return true;
}

// --- messages -----------------------------------------------------------------

// Handlers may destroy the window; the object outlives that until this
// message returns, with hwnd cleared.
bool WindowObject::OnClose() {
    bool mayRefuse = !child_ && !reloading;
    bool refused = Refused(windowId_, 0, kEvClosing);
    if (!hwnd || (refused && mayRefuse)) return false;
    refused = Refused(windowId_, 0, kEvQueryClose);
    if (!hwnd || (refused && mayRefuse)) return false;
    ReenableOthers();
    return true;
}

void WindowObject::OnActivate(bool active, HWND other) {
    (void)other;
    if (inActivation_) return;
    inActivation_ = true;
    if (active) {
        if (!firstActivationDone) {
            firstActivationDone = true;
            RaiseUnitEvent(windowId_, 0, kEvFirstActivation);
        }
        if (hwnd) RaiseUnitEvent(windowId_, 0, kEvActivated);
    } else {
        HWND focus = GetFocus();
        if (!child_ && focus && IsChild(hwnd, focus)) focusChild = focus;
        RaiseUnitEvent(windowId_, 0, kEvDeactivated);
    }
    inActivation_ = false;
}

// The default processing of an activation gives the window the keyboard
// focus (Windows does nothing else to give it), and WM_SETFOCUS then hands it
// on to the remembered child or the first unit. A window whose focus is
// already inside it keeps that focus; a window that handed the activation to
// a modal window must not take it back.
LRESULT WindowObject::OnActivateMessage(WPARAM wp, LPARAM lp) {
    bool active = LOWORD(wp) != WA_INACTIVE;
    if (active && !IsWindowEnabled(hwnd) && gApp.modalWindow) {
        HWND modalHwnd = WindowHandle(gApp.modalWindow);
        if (modalHwnd && modalHwnd != hwnd) {
            SetActiveWindow(modalHwnd);
            OnActivate(true, reinterpret_cast<HWND>(lp));
            return 0;
        }
    }
    OnActivate(active, reinterpret_cast<HWND>(lp));
    if (!active || !hwnd) return 0;
    HWND focus = GetFocus();
    if (focus && (focus == hwnd || IsChild(hwnd, focus))) return 0;
    return Default(WM_ACTIVATE, wp, lp);
}

void WindowObject::OnSetFocus() {
    RaiseUnitEvent(windowId_, 0, kEvGotFocus);
    if (!hwnd) return;
    if (focusChild && IsWindow(focusChild) && IsChild(hwnd, focusChild) && IsWindowVisible(focusChild) &&
        IsWindowEnabled(focusChild)) {
        SetFocus(focusChild);
        return;
    }
    FocusFirstUnit();
}

// Posted events come from other threads at any moment, also while the
// runtime re-creates a control and pumps messages with events suppressed.
// An event that arrives then waits for a timer tick instead of being lost
// (a worker's "done" dropped there would leave the window waiting for ever).
void WindowObject::RaisePostedEvents() {
    if (gApp.busy > 0) {
        SetTimer(hwnd, kPostedTimer, 10, nullptr);
        return;
    }
    KillTimer(hwnd, kPostedTimer);
    while (!postedWaiting_.empty() && gApp.busy == 0) {
        int32_t argument = postedWaiting_.front();
        postedWaiting_.erase(postedWaiting_.begin());
        RaiseUnitEvent(windowId_, 0, kEvPosted, 1, &argument);
    }
    if (!postedWaiting_.empty()) SetTimer(hwnd, kPostedTimer, 10, nullptr);
}

LRESULT WindowObject::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        if (OnClose() && hwnd) DestroyWindow(hwnd);
        return 0;
    case WM_QUERYENDSESSION: return Refused(windowId_, 0, kEvQueryClose) ? FALSE : TRUE;
    case WM_DESTROY:
        if (!reloading) RaiseUnitEvent(windowId_, 0, kEvDestroy);
        if (HMENU m = GetMenu(hwnd)) {
            SetMenu(hwnd, nullptr);
            DestroyMenu(m);
        }
        break;
    case WM_ACTIVATE: return OnActivateMessage(wp, lp);
    case WM_SETFOCUS: OnSetFocus(); return 0;
    case WM_KILLFOCUS: RaiseUnitEvent(windowId_, 0, kEvLostFocus); break;
    case WM_MOVE: RaiseUnitEvent(windowId_, 0, kEvMoved); break;
    case WM_SIZE:
        if (laidOut && wp != SIZE_MINIMIZED) Relayout();
        if (laidOut) LayoutDocked();
        RaiseUnitEvent(windowId_, 0, kEvSized);
        break;
    case WM_GETMINMAXINFO:
        if (props_.relayout && designWindow_.cx > 0)
            reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = POINT{designWindow_.cx, designWindow_.cy};
        break;
    case WM_COMMAND:
        if (lp == 0 && OnMenuCommand(LOWORD(wp))) return 0;
        break;
    case WM_SYSCOMMAND:
        if (OnSystemMenuItem(static_cast<UINT>(wp & 0xFFF0))) return 0;
        break;
    case WM_SHOWWINDOW: RaiseUnitEvent(windowId_, 0, wp ? kEvShown : kEvHidden); break;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        PaintBackground(reinterpret_cast<HDC>(wp), r);
        return 1;
    }
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && OnSetCursor(reinterpret_cast<HWND>(wp))) return TRUE;
        break;
    case kMsgLayoutWindow:
        if (!laidOut) CaptureDesign();
        laidOut = true;
        Relayout();   // a window that starts maximised is already larger than designed
        LayoutDocked();
        return 0;
    case kMsgPendingClose:
        ReenableOthers();
        DestroyWindow(hwnd);
        return 0;
    case kMsgTrayIcon: {
        int32_t kind = lp == WM_LBUTTONUP ? 1 : lp == WM_LBUTTONDBLCLK ? 2 : (lp == WM_RBUTTONUP || lp == WM_CONTEXTMENU) ? 3 : 0;
        if (kind) RaiseUnitEvent(windowId_, 0, kEvTray, 1, &kind);
        return 0;
    }
    case kMsgPostedEvent: {
        postedWaiting_.push_back(static_cast<int32_t>(lp));
        RaisePostedEvents();
        return 0;
    }
    case WM_TIMER:
        if (wp != kPostedTimer) break;
        RaisePostedEvents();
        return 0;
    case kMsgPaintBackground:
        if (wp && lp) PaintBackground(reinterpret_cast<HDC>(wp), *reinterpret_cast<const RECT*>(lp));
        return 0;
    default: break;
    }
    return Default(msg, wp, lp);
}

void WindowObject::PostNcDestroy() {
    uint32_t id = windowId_;
    if (accel) DestroyAcceleratorTable(accel);
    DestroyUnitCursors(id);
    delete this;
    WindowReleased(id);
}

// --- menus ----------------------------------------------------------------------

bool WindowObject::OnMenuCommand(UINT command) {
    int32_t index = MenuItemOfCommand(gApp.windows.Find(windowId_), command);
    if (index < 0) return false;
    RaiseUnitEvent(windowId_, gApp.windows.Find(windowId_)->units.IdAt(index), 0);
    return true;
}

// Our own system-menu commands count up from here in the system's steps of
// 16, below the system's own SC_ range.
constexpr UINT kFirstSystemItem = 0x1000;

bool WindowObject::AddSystemMenuItem(const char* caption, rt::EventHandler handler) {
    HMENU sys = GetSystemMenu(hwnd, FALSE);
    if (!sys || !handler) return false;
    UINT command = kFirstSystemItem + 16 * static_cast<UINT>(systemItems_.size());
    if (systemItems_.empty()) AppendMenuA(sys, MF_SEPARATOR, 0, nullptr);
    if (!AppendMenuA(sys, MF_STRING, command, caption ? caption : "")) return false;
    systemItems_.emplace_back(command, handler);
    return true;
}

bool WindowObject::OnSystemMenuItem(UINT command) {
    for (const auto& item : systemItems_) {
        if (item.first != command) continue;
        CallRegisteredHandler(windowId_, unitId_, item.second);
        return true;
    }
    return false;
}

bool AddSystemMenuItem(uint32_t windowId, const char* caption, rt::EventHandler handler) {
    WindowObject* w = LoadedWindow(windowId);
    return w && w->AddSystemMenuItem(caption, handler);
}

// --- properties -----------------------------------------------------------------

int32_t WindowObject::PropertyChanged(int32_t index, const uint32_t* data) {
    switch (index + 8) {
    case 8:
        props_.title = units::DataText(data);
        SetWindowTextA(hwnd, props_.title.c_str());
        break;
    case 9: props_.border = units::ClampPick(static_cast<int32_t>(data[0]), 6); break;
    case 10: props_.backColour = data[0]; InvalidateRect(hwnd, nullptr, TRUE); break;
    case 11: props_.picture = units::DataBytes(data); InvalidateRect(hwnd, nullptr, TRUE); break;
    case 12: props_.pictureMode = units::ClampPick(static_cast<int32_t>(data[0]), 3); InvalidateRect(hwnd, nullptr, TRUE); break;
    case 13: props_.sound = units::DataBytes(data); break;
    case 14: props_.playTimes = static_cast<int32_t>(data[0]); break;
    case 15: props_.controlBox = data[0] != 0; ApplyStyleProps(); break;
    case 16: props_.maxButton = data[0] != 0; ApplyStyleProps(); break;
    case 17: props_.minButton = data[0] != 0; ApplyStyleProps(); break;
    case 18:
        props_.position = units::ClampPick(static_cast<int32_t>(data[0]), 3);
        if (props_.position == 2) ShowWindow(hwnd, SW_MINIMIZE);
        else if (props_.position == 3) ShowWindow(hwnd, SW_MAXIMIZE);
        else if (IsIconic(hwnd) || IsZoomed(hwnd)) ShowWindow(hwnd, SW_RESTORE);
        break;
    case 19: {
        props_.closable = data[0] != 0;
        HMENU sys = GetSystemMenu(hwnd, FALSE);
        if (!props_.closable) DeleteMenu(sys, SC_CLOSE, MF_BYCOMMAND);
        else GetSystemMenu(hwnd, TRUE);
        break;
    }
    case 20: props_.icon = units::DataBytes(data); break;
    case 21: props_.enterMovesFocus = data[0] != 0; break;
    case 22: props_.escapeCloses = data[0] != 0; break;
    case 23: props_.f1Help = data[0] != 0; break;
    case 24: props_.helpFile = units::DataText(data); break;
    case 25: props_.helpContext = static_cast<int32_t>(data[0]); break;
    case 26: props_.ownOwner = data[0] != 0; break;
    case 27: props_.dragAnywhere = data[0] != 0; break;
    case 28: props_.relayout = static_cast<int32_t>(data[0]); break;
    case 29:
        props_.topmost = data[0] != 0;
        SetWindowPos(hwnd, props_.topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        break;
    case 30: props_.kept30 = data[0] != 0; break;
    case 31: props_.className = units::DataText(data); break;
    default: break;
    }
    return 0;
}

int32_t WindowObject::GetProperty(int32_t index, uint32_t* data) {
    switch (index + 8) {
    case 8: {
        int n = GetWindowTextLengthA(hwnd);
        scratch_.assign(static_cast<size_t>(n) + 1, '\0');
        GetWindowTextA(hwnd, &scratch_[0], n + 1);
        scratch_.resize(std::strlen(scratch_.c_str()));
        units::PutText(data, scratch_);
        return 1;
    }
    case 9: data[0] = static_cast<uint32_t>(props_.border); return 1;
    case 10: data[0] = props_.backColour; return 1;
    case 11: units::PutBytes(data, props_.picture); return 1;
    case 12: data[0] = static_cast<uint32_t>(props_.pictureMode); return 1;
    case 13: units::PutBytes(data, props_.sound); return 1;
    case 14: data[0] = static_cast<uint32_t>(props_.playTimes); return 1;
    case 15: data[0] = props_.controlBox; return 1;
    case 16: data[0] = props_.maxButton; return 1;
    case 17: data[0] = props_.minButton; return 1;
    case 18: data[0] = IsIconic(hwnd) ? 2 : IsZoomed(hwnd) ? 3 : 0; return 1;
    case 19: data[0] = props_.closable; return 1;
    case 20: units::PutBytes(data, props_.icon); return 1;
    case 21: data[0] = props_.enterMovesFocus; return 1;
    case 22: data[0] = props_.escapeCloses; return 1;
    case 23: data[0] = props_.f1Help; return 1;
    case 24: units::PutText(data, props_.helpFile); return 1;
    case 25: data[0] = static_cast<uint32_t>(props_.helpContext); return 1;
    case 26: data[0] = props_.ownOwner; return 1;
    case 27: data[0] = props_.dragAnywhere; return 1;
    case 28: data[0] = static_cast<uint32_t>(props_.relayout); return 1;
    case 29: data[0] = props_.topmost; return 1;
    case 30: data[0] = props_.kept30; return 1;
    case 31: units::PutText(data, props_.className); return 1;
    default: return 0;
    }
}

} // namespace forms

// --- the window type's interfaces ----------------------------------------------------

namespace units {

namespace {

using forms::WindowObject;

void* CreateWindowUnit(const uint8_t* data, uint32_t length, DWORD style, HWND owner, UINT, HMENU menu, int x, int y,
                       int w, int h, uint32_t windowId, uint32_t unitId, int32_t, int32_t asChild) {
    WindowObject* o = new WindowObject(windowId, unitId);
    if (!forms::DecodeWindowProps(data, length, &o->Props()) ||
        !o->CreateControl(style, owner, menu, x, y, w, h, asChild != 0, forms::gCreatingModal)) {
        delete o;
        return nullptr;
    }
    return o->Head();
}

WindowObject* AsWindow(void* object) { return static_cast<WindowObject*>(forms::Wnd::FromHead(object)); }

int32_t WindowChanged(void* object, int32_t index, const uint32_t* data, int32_t) {
    return object ? AsWindow(object)->PropertyChanged(index, data) : 0;
}

int32_t WindowGet(void* object, int32_t index, uint32_t* data) {
    return object ? AsWindow(object)->GetProperty(index, data) : 0;
}

HGLOBAL WindowAllData(void* object) {
    return object ? ToGlobal(forms::EncodeWindowProps(AsWindow(object)->Props())) : nullptr;
}

} // namespace

void* WindowQuery(int32_t number) {
    switch (number) {
    case rt::kIfCreate: return reinterpret_cast<void*>(&CreateWindowUnit);
    case rt::kIfPropertyChanged: return reinterpret_cast<void*>(&WindowChanged);
    case rt::kIfAllPropertyData: return reinterpret_cast<void*>(&WindowAllData);
    case rt::kIfGetPropertyData: return reinterpret_cast<void*>(&WindowGet);
    default: return nullptr;
    }
}

// Menu items become part of their window's menu bar; they have no control.
void* MenuItemQuery(int32_t) { return nullptr; }

} // namespace units
