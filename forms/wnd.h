// Our small application framework's window objects: a C++ object bound to
// its HWND for life, with the parent's notifications reflected back to the
// child control's own object, so that each unit type owns its notifications.
#pragma once

#include <windows.h>
#include "runtime/library.h"

namespace forms {

// Private messages between the runtime and its units.
constexpr UINT kMsgLayoutDocked = 0x8003;
constexpr UINT kMsgLayoutWindow = 0x8004;
constexpr UINT kMsgGetObject = 0x8002;
constexpr UINT kMsgPendingClose = 0x8065;
constexpr UINT kMsgTrayIcon = 0x8064;
constexpr UINT kMsgAfterCreate = 0x806F;
constexpr UINT kMsgRebindData = 0x8070;
constexpr UINT kMsgLabelEvent = 0x8075;
constexpr UINT kMsgAfterLoad = 0x8076;
constexpr UINT kMsgPostedEvent = 0x8077;   // lParam: the argument of window event 13
constexpr UINT kMsgPaintBackground = 0x8389;

class Wnd : public rt::ControlHead {
public:
    Wnd() = default;
    Wnd(const Wnd&) = delete;
    Wnd& operator=(const Wnd&) = delete;
    virtual ~Wnd();

    // Creates a window and binds it to this object. A window of our own class
    // (registered with WndProc) is bound at WM_NCCREATE; a system class is
    // subclassed right after creation.
    bool Create(DWORD exStyle, const char* className, const char* text, DWORD style, int x, int y, int width,
                int height, HWND parent, HMENU menuOrId);

    // Moves this object to another window of a system class (for a control
    // replaced by a fresh one); the old window is left unbound, so destroying
    // it no longer reaches this object.
    void Rebind(HWND fresh);

    static Wnd* FromHandle(HWND hwnd);
    // The object another module's window answered to kMsgGetObject, when it
    // is one of ours; anything else a window may answer is not trusted.
    static Wnd* FromAnswer(LRESULT answer);
    static Wnd* FromHead(void* head) { return head ? static_cast<Wnd*>(static_cast<rt::ControlHead*>(head)) : nullptr; }
    // The object behind a head that library code passed in, when it is a
    // live object of ours; null for anything else.
    static Wnd* FromLiveHead(void* head);
    rt::ControlHead* Head() { return this; }

    // The procedure of every class of ours.
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static bool RegisterClass(const char* name, UINT style, HCURSOR cursor, HBRUSH background);

    // Pre-translation of a message bound for this window or one below it.
    virtual bool PreTranslateMessage(MSG* msg);

protected:
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    // A notification the parent received from this control (WM_COMMAND,
    // WM_NOTIFY, control colours, owner draw, scroll); true when handled.
    virtual bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);
    // After WM_NCDESTROY, with the object already unbound from its window,
    // once no message handler of this object is running any more: an object
    // may delete itself here even when a handler destroyed its window.
    virtual void PostNcDestroy() {}

    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT Dispatch(Wnd* self, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Attach(HWND h);
    void Detach();
    void Enter() { depth_++; }
    void Leave();

    WNDPROC superProc_ = nullptr;   // the class's own procedure for subclassed system controls
    int depth_ = 0;                 // handlers of this object now running
    bool ended_ = false;            // WM_NCDESTROY seen, PostNcDestroy still owed
};

} // namespace forms
