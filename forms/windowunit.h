// The window unit: the top-level (or child) window that carries a form's
// units, its properties, its events and its keyboard handling.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "runtime/services.h"
#include "windowdata.h"
#include "wnd.h"

namespace forms {

struct WindowEntry;

class WindowObject : public Wnd {
public:
    WindowObject(uint32_t windowId, uint32_t unitId) : windowId_(windowId), unitId_(unitId) {}

    uint32_t WindowId() const { return windowId_; }
    uint32_t UnitId() const { return unitId_; }
    WindowProps& Props() { return props_; }

    bool CreateControl(DWORD style, HWND owner, HMENU menu, int x, int y, int w, int h, bool child, bool modal);

    // Loading state.
    bool reloading = false;
    bool modal = false;
    bool loadedNotShown = false;
    bool firstActivationDone = false;
    bool laidOut = false;
    std::vector<std::pair<HWND, bool>> disabledByModal;
    HWND focusChild = nullptr;   // remembered on deactivation
    HACCEL accel = nullptr;      // from the window's menu items; owned

    // The first show: by property 18, then event -7 for the focused unit.
    void FirstShow();
    void ReenableOthers();
    void LayoutDocked();
    // Property 28: the units as loaded are the design; on every resize the
    // tallest unit takes the extra height and width, the units below it move
    // down, and the units reaching its right edge stretch with it.
    void CaptureDesign();
    void Relayout();
    // An item of our own on the system menu (a separator comes before the
    // first); choosing it calls the handler.
    bool AddSystemMenuItem(const char* caption, rt::EventHandler handler);
    // Gives the focus to the unit chosen by the focus-order rule.
    void FocusFirstUnit();

    bool PreTranslateMessage(MSG* msg) override;
    int32_t PropertyChanged(int32_t index, const uint32_t* data);
    int32_t GetProperty(int32_t index, uint32_t* data);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void PostNcDestroy() override;

private:
    bool OnClose();
    void OnActivate(bool active, HWND other);
    void OnSetFocus();
    LRESULT OnActivateMessage(WPARAM wp, LPARAM lp);
    void PaintBackground(HDC dc, const RECT& r);
    bool OnSetCursor(HWND over);
    void ApplyStyleProps();
    bool OnMenuCommand(UINT command);
    bool OnSystemMenuItem(UINT command);
    void RaisePostedEvents();

    static constexpr UINT_PTR kPostedTimer = 0x8077;
    std::vector<int32_t> postedWaiting_;   // posted events not raised yet, oldest first

    struct Placed {
        int32_t index;
        RECT rect;
    };
    std::vector<Placed> design_;       // parent-level units as loaded
    SIZE designClient_ = {0, 0};
    SIZE designWindow_ = {0, 0};       // also the smallest size the user can drag to
    std::vector<std::pair<UINT, rt::EventHandler>> systemItems_;

    uint32_t windowId_;
    uint32_t unitId_;
    WindowProps props_;
    bool inActivation_ = false;
    bool child_ = false;
    std::string scratch_;
};

// Raises an event of a unit of a window; true when a handler ran, and the
// returned value when it returned one.
bool RaiseUnitEvent(uint32_t windowId, uint32_t unitId, int32_t index, int32_t argc = 0,
                    const int32_t* args = nullptr, bool* returned = nullptr, int32_t* value = nullptr);
// True when the handler ran and returned false.
bool Refused(uint32_t windowId, uint32_t unitId, int32_t index, int32_t argc = 0, const int32_t* args = nullptr);

// Calls a handler the program registered outside the template, as an event
// of the unit; nothing while events are suppressed. True when it ran.
bool CallRegisteredHandler(uint32_t windowId, uint32_t unitId, rt::EventHandler handler);

// The window object of a loaded window, or null.
WindowObject* LoadedWindow(uint32_t windowId);

// The hidden owner handle; the flag tells the window's creation it is modal.
extern bool gCreatingModal;

} // namespace forms

namespace units {

// The interface query functions of the window and menu-item types (the core
// library's types 1 and 3): an interface number in, its function out.
void* WindowQuery(int32_t number);
void* MenuItemQuery(int32_t number);

} // namespace units
