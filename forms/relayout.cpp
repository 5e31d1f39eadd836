// The window's re-layout (property 28): a form designed at one size keeps
// its shape at any larger one. The units as loaded are the design; the
// tallest unit (the list of a list window) takes the extra room.
#include <algorithm>
#include "loader.h"
#include "runtime/app.h"
#include "windowunit.h"

namespace forms {

using rt::gApp;

namespace {

SIZE SizeOf(const RECT& r) { return SIZE{r.right - r.left, r.bottom - r.top}; }

} // namespace

void WindowObject::CaptureDesign() {
    design_.clear();
    if (!props_.relayout) return;
    WindowEntry* e = gApp.windows.Find(windowId_);
    if (!e) return;
    // The stored size is the design even when the window starts maximised;
    // the frame is what the window now has around its client area.
    RECT client, outer;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &outer);
    const SIZE frame = {SizeOf(outer).cx - client.right, SizeOf(outer).cy - client.bottom};
    designWindow_ = SIZE{e->units.At(0).Width(), e->units.At(0).Height()};
    designClient_ = SIZE{designWindow_.cx - frame.cx, designWindow_.cy - frame.cy};
    for (int32_t i = 1; i < e->units.Count(); i++) {
        HWND h = ControlAt(e, i);
        const rt::UnitTypeRecord* type = h ? TypeAt(e, i) : nullptr;
        // Docked units have their own layout; children move with their container.
        if (!type || (type->flags & rt::kTfDocked) || e->units.At(i).Parent() != 0) continue;
        RECT r;
        GetWindowRect(h, &r);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
        design_.push_back(Placed{i, r});
    }
}

void WindowObject::Relayout() {
    WindowEntry* e = gApp.windows.Find(windowId_);
    if (!props_.relayout || design_.empty() || !e) return;
    RECT client;
    GetClientRect(hwnd, &client);
    const int dx = std::max(0L, client.right - designClient_.cx);
    const int dy = std::max(0L, client.bottom - designClient_.cy);

    const Placed* grower = &design_.front();
    for (const Placed& p : design_)
        if (p.rect.bottom - p.rect.top > grower->rect.bottom - grower->rect.top) grower = &p;
    const RECT g = grower->rect;

    HDWP batch = BeginDeferWindowPos(static_cast<int>(design_.size()));
    for (const Placed& p : design_) {
        HWND h = ControlAt(e, p.index);
        if (!h) continue;
        RECT r = p.rect;
        if (&p == grower) {
            r.right += dx;
            r.bottom += dy;
        } else {
            if (r.top >= g.bottom) OffsetRect(&r, 0, dy);
            if (r.left >= g.right) OffsetRect(&r, dx, 0);
            else if (r.right >= g.right) r.right += dx;
        }
        RECT now;
        GetWindowRect(h, &now);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&now), 2);
        if (EqualRect(&now, &r)) continue;
        // A unit that only moves keeps its size untouched: a drop-down list's
        // window height is not the height it drops to.
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (r.right - r.left == now.right - now.left && r.bottom - r.top == now.bottom - now.top) flags |= SWP_NOSIZE;
        if (batch)
            batch = DeferWindowPos(batch, h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
        else
            SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
    }
    if (batch) EndDeferWindowPos(batch);
}

} // namespace forms
