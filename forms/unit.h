// What every unit type shares: the unit interfaces' signatures, the control
// object base that raises events and tells the runtime when its control is
// gone, and the font, border, colour and picture rules.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "forms/wnd.h"
#include "runtime/library.h"

namespace units {

// Unit interfaces, by number (rt::UnitInterface).
typedef void* (*CreateFn)(const uint8_t* data, uint32_t length, DWORD style, HWND parent, UINT controlId,
                          HMENU menu, int x, int y, int width, int height, uint32_t windowId, uint32_t unitId,
                          int32_t extra1, int32_t extra2);                                  // 1
typedef int32_t (*PropertyChangedFn)(void* object, int32_t index, const uint32_t* data, int32_t zero);  // 4
typedef HGLOBAL (*AllPropertyDataFn)(void* object);                                        // 5
typedef int32_t (*GetPropertyDataFn)(void* object, int32_t index, uint32_t* data);         // 6
typedef int32_t (*WantsKeyFn)(void* object, int32_t key);                                  // 8
typedef int32_t (*IsDefaultButtonFn)(void* object);                                        // 10
typedef int32_t (*TakeMessageFn)(void* object, MSG* msg);                                  // 11

// A unit's control object. Objects cross every interface as rt::ControlHead*
// (see Wnd::FromHead); the index given to interfaces 4 and 6 is the property
// index minus 8.
class UnitWnd : public forms::Wnd {
public:
    UnitWnd(const rt::LibraryLink* link, uint32_t windowId, uint32_t unitId)
        : link_(link), windowId_(windowId), unitId_(unitId) {}

    uint32_t WindowId() const { return windowId_; }
    uint32_t UnitId() const { return unitId_; }

    // Raises one of this unit's events; true when a handler ran. `returned`
    // receives the handler's value when it returned one.
    bool Raise(int32_t index, int32_t argc = 0, const int32_t* args = nullptr, bool* returned = nullptr,
               int32_t* value = nullptr);

protected:
    // Tells the runtime the control is gone (code 2000), then deletes the object.
    void PostNcDestroy() override;

    const rt::LibraryLink* link_;
    uint32_t windowId_;
    uint32_t unitId_;
};

// A GDI object (font, brush) owned by a unit: deleted when replaced or when
// the unit goes.
class OwnedGdi {
public:
    OwnedGdi() = default;
    OwnedGdi(const OwnedGdi&) = delete;
    OwnedGdi& operator=(const OwnedGdi&) = delete;
    ~OwnedGdi() { Reset(nullptr); }
    void Reset(HGDIOBJ h) {
        if (h_) DeleteObject(h_);
        h_ = h;
    }
    HGDIOBJ Get() const { return h_; }

private:
    HGDIOBJ h_ = nullptr;
};

// The font of 60 stored bytes (a LOGFONTA, made with character set 1,
// quality 2 and the precisions and pitch cleared), else null: the caller
// then uses DEFAULT_GUI_FONT. The caller owns a non-null font.
HFONT CreateStoredFont(const std::vector<uint8_t>& bytes);

// Sends `hwnd` the font of `bytes` (DEFAULT_GUI_FONT when they hold none),
// keeping the new font in `owned`; the new font goes in before the old one
// is deleted, so the control never holds a dead handle.
void ApplyStoredFont(HWND hwnd, const std::vector<uint8_t>& bytes, OwnedGdi* owned);

// Border styles shared by the label, edit box and rich edit box: 0 none,
// 1 sunken, 2 raised, 3 shallow sunken, 4 framed, 5 single line, 6 gradient
// (drawn by the unit itself). Applied with a frame refresh.
void ApplyBorder(HWND hwnd, int32_t border);

// 0xFF000000 means the default colour: the system button face.
inline bool IsDefaultColour(uint32_t c) { return c == 0xFF000000; }
COLORREF ResolveColour(uint32_t c);

// Registers the common control classes `classes` (ICC_ bits) of COMCTL32,
// loaded by the first unit that needs one: most forms have none, and loading
// the library at start-up costs every launch (a quarter of the start-up of a
// small window under Wine). False when the library or a class is missing.
bool LoadCommonControls(DWORD classes);

// Draws `hwnd` without the visual style (classic) or with it again. A themed
// common control (version 6) draws in the theme's colours and ignores those
// set by message, so a unit given colours of its own goes classic. False
// when UXTHEME is missing (no themes, nothing to undo).
bool UseClassicLook(HWND hwnd, bool classic);

// Clamps a pick-list value to 0..max; above becomes max, negative 0.
inline int32_t ClampPick(int32_t v, int32_t max) { return v < 0 ? 0 : (v > max ? max : v); }

// A picture decoded by the platform's picture loader.
struct Picture {
    HICON icon = nullptr;
    HBITMAP bitmap = nullptr;
    int width = 0, height = 0;
    bool Empty() const { return !icon && !bitmap; }
    void Release();
};
// Decodes `bytes` and renders them against `background`; an empty picture
// when they do not decode.
Picture DecodePicture(const std::vector<uint8_t>& bytes, COLORREF background);

// Property data (p0, p1) helpers for interfaces 4 and 6.
inline const char* DataText(const uint32_t* data) {
    const char* s = reinterpret_cast<const char*>(static_cast<uintptr_t>(data[0]));
    return s ? s : "";
}
inline std::vector<uint8_t> DataBytes(const uint32_t* data) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(data[0]));
    return p && data[1] ? std::vector<uint8_t>(p, p + data[1]) : std::vector<uint8_t>();
}
inline void PutText(uint32_t* data, const std::string& s) { data[0] = reinterpret_cast<uintptr_t>(s.c_str()); }
inline void PutBytes(uint32_t* data, const std::vector<uint8_t>& b) {
    data[0] = b.empty() ? 0 : reinterpret_cast<uintptr_t>(b.data());
    data[1] = static_cast<uint32_t>(b.size());
}

// The interfaces a unit type backed by one control class answers alike,
// written once. T is made by T(windowId, unitId) and
//   bool Build(data, length, style, parent, controlId, x, y, width, height)
//   int32_t Changed(index, data); HGLOBAL AllData(); bool Get(index, data)
// A type with further interfaces answers those itself and asks Query for the rest.
template <class T>
struct ControlUnit {
    static T* Of(void* object) { return static_cast<T*>(forms::Wnd::FromHead(object)); }

    static void* Create(const uint8_t* data, uint32_t length, DWORD style, HWND parent, UINT controlId, HMENU, int x,
                        int y, int width, int height, uint32_t windowId, uint32_t unitId, int32_t, int32_t) {
        T* c = new T(windowId, unitId);
        if (!c->Build(data, length, style, parent, controlId, x, y, width, height)) {
            delete c;
            return nullptr;
        }
        return c->Head();
    }
    static int32_t Changed(void* object, int32_t index, const uint32_t* data, int32_t) {
        T* c = Of(object);
        return c && data ? c->Changed(index, data) : 0;
    }
    static HGLOBAL AllData(void* object) {
        T* c = Of(object);
        return c ? c->AllData() : nullptr;
    }
    static int32_t Get(void* object, int32_t index, uint32_t* data) {
        T* c = Of(object);
        return c && data && c->Get(index, data) ? 1 : 0;
    }

    static void* Query(int32_t number) {
        switch (number) {
        case rt::kIfCreate: return reinterpret_cast<void*>(static_cast<CreateFn>(Create));
        case rt::kIfPropertyChanged: return reinterpret_cast<void*>(static_cast<PropertyChangedFn>(Changed));
        case rt::kIfAllPropertyData: return reinterpret_cast<void*>(static_cast<AllPropertyDataFn>(AllData));
        case rt::kIfGetPropertyData: return reinterpret_cast<void*>(static_cast<GetPropertyDataFn>(Get));
        default: return nullptr;
        }
    }
};

} // namespace units
