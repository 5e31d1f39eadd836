#include "wnd.h"

#include <unordered_map>
#include <unordered_set>

namespace forms {

namespace {

// Every object bound to a window, for checking answers to kMsgGetObject.
std::unordered_set<const Wnd*>& LiveObjects() {
    static std::unordered_set<const Wnd*> live;
    return live;
}

// Window -> its object. Every message of ours looks its object up, and a
// control's notification twice (the parent's, then the control's); a window
// property would cost a round trip to the wine server each time (26 us
// measured), which made a list view's repaint of 30 rows half again slower.
// A window's messages come on the thread that created it, so each thread
// keeps its own windows.
std::unordered_map<HWND, Wnd*>& Bound() {
    thread_local std::unordered_map<HWND, Wnd*> bound;
    return bound;
}

// The object being created, bound at its first message (WM_GETMINMAXINFO
// comes before WM_NCCREATE).
thread_local Wnd* gCreating = nullptr;

HWND ReflectTarget(UINT msg, WPARAM wp, LPARAM lp, HWND parent) {
    switch (msg) {
    case WM_COMMAND:
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORDLG:
        return reinterpret_cast<HWND>(lp);
    case WM_NOTIFY:
        return lp ? reinterpret_cast<const NMHDR*>(lp)->hwndFrom : nullptr;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        return d && d->CtlType != ODT_MENU ? d->hwndItem : nullptr;
    }
    case WM_DELETEITEM:
        return lp ? reinterpret_cast<const DELETEITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_COMPAREITEM:
        return lp ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lp)->hwndItem : nullptr;
    case WM_MEASUREITEM: {
        const MEASUREITEMSTRUCT* m = reinterpret_cast<const MEASUREITEMSTRUCT*>(lp);
        return m && m->CtlType != ODT_MENU ? GetDlgItem(parent, static_cast<int>(wp)) : nullptr;
    }
    default:
        return nullptr;
    }
}

} // namespace

Wnd::~Wnd() {
    if (hwnd) Detach();
}

Wnd* Wnd::FromHandle(HWND h) {
    if (!h) return nullptr;
    auto it = Bound().find(h);
    return it != Bound().end() ? it->second : nullptr;
}

Wnd* Wnd::FromAnswer(LRESULT answer) {
    Wnd* w = reinterpret_cast<Wnd*>(answer);
    return w && LiveObjects().count(w) ? w : nullptr;
}

Wnd* Wnd::FromLiveHead(void* head) {
    for (const Wnd* w : LiveObjects())
        if (static_cast<const rt::ControlHead*>(w) == head) return const_cast<Wnd*>(w);
    return nullptr;
}

bool Wnd::RegisterClass(const char* name, UINT style, HCURSOR cursor, HBRUSH background) {
    WNDCLASSA probe;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (GetClassInfoA(inst, name, &probe)) return true;
    WNDCLASSA wc = {};
    wc.style = style;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return ::RegisterClassA(&wc) != 0;
}

bool Wnd::Create(DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y, int width,
                 int height, HWND parent, HMENU menuOrId) {
    Wnd* outer = gCreating;
    gCreating = this;
    // A creation that fails after WM_NCCREATE (a handler refusing WM_CREATE,
    // or no display driver under Wine) ends with WM_NCDESTROY inside the
    // call. The caller still owns the object then and deletes it: held
    // across the call, the object is not handed to PostNcDestroy as well.
    Enter();
    HWND h = CreateWindowExA(exStyle, className, text, style, x, y, width, height, parent, menuOrId,
                             GetModuleHandleA(nullptr), this);
    gCreating = outer;
    if (!h) {
        depth_--;
        ended_ = false;
        if (hwnd) Detach();
        return false;
    }
    Leave();
    if (!hwnd) {
        // A system class: take its messages from now on.
        Attach(h);
        superProc_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Wnd::SubclassProc)));
    }
    return true;
}

void Wnd::Rebind(HWND fresh) {
    WNDPROC keep = superProc_;
    Detach();
    Attach(fresh);
    superProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(fresh, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Wnd::SubclassProc)));
    if (!superProc_) superProc_ = keep;
}

void Wnd::Attach(HWND h) {
    LiveObjects().insert(this);
    hwnd = h;
    Bound()[h] = this;
}

void Wnd::Detach() {
    if (superProc_ && IsWindow(hwnd) &&
        GetWindowLongPtrA(hwnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Wnd::SubclassProc))
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(superProc_));
    auto it = Bound().find(hwnd);
    if (it != Bound().end() && it->second == this) Bound().erase(it);
    hwnd = nullptr;
    LiveObjects().erase(this);
}

LRESULT Wnd::Default(UINT msg, WPARAM wp, LPARAM lp) {
    if (!hwnd) return 0;   // a handler destroyed the window meanwhile
    if (superProc_) return CallWindowProcA(superProc_, hwnd, msg, wp, lp);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT Wnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

bool Wnd::OnReflected(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

bool Wnd::PreTranslateMessage(MSG*) { return false; }

void Wnd::Leave() {
    if (--depth_ == 0 && ended_) {
        ended_ = false;
        PostNcDestroy();
    }
}

LRESULT Wnd::Dispatch(Wnd* self, HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgGetObject) return reinterpret_cast<LRESULT>(self);
    self->Enter();
    LRESULT r = 0;
    bool taken = false;
    if (HWND child = ReflectTarget(msg, wp, lp, h)) {
        Wnd* c = FromHandle(child);
        if (c && c != self) {
            c->Enter();
            taken = c->OnReflected(msg, wp, lp, &r);
            c->Leave();
        }
    }
    if (!taken) {
        r = self->WindowProc(msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            self->Detach();
            self->ended_ = true;
        }
    }
    self->Leave();
    return r;
}

LRESULT CALLBACK Wnd::WndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Wnd* self = FromHandle(h);
    if (!self && gCreating && !gCreating->hwnd) {
        self = gCreating;
        self->Attach(h);
    }
    if (!self) return DefWindowProcA(h, msg, wp, lp);
    return Dispatch(self, h, msg, wp, lp);
}

LRESULT CALLBACK Wnd::SubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Wnd* self = FromHandle(h);
    if (!self) return DefWindowProcA(h, msg, wp, lp);
    return Dispatch(self, h, msg, wp, lp);
}

} // namespace forms
