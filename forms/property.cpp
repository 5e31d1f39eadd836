// Property access: reading and writing a unit's properties by window, unit
// and property index. Indices 0 to 7 are served here from the live control
// or the unit record; from 8 on the unit's own code serves them through its
// interfaces 4, 5 and 6, with the values converted by property type code.
#include <cstring>
#include <string>
#include <vector>
#include "forms.h"
#include "loader.h"
#include "menubar.h"
#include "runtime/app.h"
#include "runtime/errors.h"
#include "unit.h"
#include "windowunit.h"

namespace forms {

using rt::gApp;

namespace {

enum : int32_t {
    kCodeInt0 = 1000, kCodeInt = 1001, kCodeDecimal = 1002, kCodeBool = 1003, kCodeDate = 1004, kCodeText = 1005,
    kCodePick = 1006, kCodePicture = 1009, kCodePointer = 1011, kCodeFont = 1013,
};

const char kSongTi[] = "宋体";

bool IsTextCode(int32_t c) { return c == 1005 || c == 1007 || c == 1008 || c == 1016 || (c >= 1018 && c <= 1022); }
bool IsBytesCode(int32_t c) { return c == 1009 || c == 1010 || c == 1012 || c == 1023 || c == 1024; }

// The unit a call names: its window entry, index and whether its control lives.
struct Target {
    WindowEntry* entry = nullptr;
    int32_t index = -1;
    UnitRecord record;
    rt::ControlHead* object = nullptr;   // null unless the control lives
};

[[noreturn]] void Fail(const char* message, uint32_t windowId, uint32_t unitId) {
    rt::ReportError(message, 0, static_cast<int32_t>(windowId), static_cast<int32_t>(unitId));
}

Target Locate(uint32_t windowId, uint32_t unitId) {
    Target t;
    if (LoadedWindow(windowId)) t.entry = gApp.windows.Find(windowId);
    if (t.entry) t.index = unitId == 0 ? 0 : t.entry->units.IndexOf(unitId);
    if (!t.entry || t.index < 0) Fail("未载入欲访问窗口组件所在的窗口", windowId, unitId);
    t.record = t.entry->units.At(t.index);
    if (!t.record.IsMenuItem()) {
        rt::ControlHead* o = static_cast<rt::ControlHead*>(t.record.ControlSlot());
        if (o && IsWindow(o->hwnd)) t.object = o;
    }
    return t;
}

// The property type code of one of the unit type's own properties. An index
// the type's table does not hold is reported like a window not loaded.
int32_t TypeCodeOf(const Target& t, int32_t index, uint32_t windowId, uint32_t unitId) {
    const rt::UnitTypeRecord* type = rt::LookupTypeRecord(t.record.TypeRef());
    if (!type || !type->properties || index >= type->propertyCount)
        Fail("未载入欲访问窗口组件所在的窗口", windowId, unitId);
    return static_cast<int16_t>(type->properties[index].type & 0xFFFF);
}

void* Interface(const Target& t, int32_t number) {
    const rt::UnitTypeRecord* type = rt::LookupTypeRecord(t.record.TypeRef());
    return type && type->query ? type->query(number) : nullptr;
}

RECT RectInParent(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    HWND parent = GetParent(h);
    if (parent && !(GetWindowLongPtrA(h, GWL_STYLE) & WS_POPUP))
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Mouse-pointer bytes with the cursor code of the first word converted.
std::vector<uint8_t> ConvertPointer(const uint8_t* p, uint32_t n, bool toIndex) {
    std::vector<uint8_t> b(p, p + n);
    if (n >= 4) {
        uint32_t code;
        std::memcpy(&code, b.data(), 4);
        code = toIndex ? CursorStockToIndex(code) : CursorIndexToStock(code);
        std::memcpy(b.data(), &code, 4);
    }
    return b;
}

int64_t Pack(void* p) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p)); }

// --- fonts ---------------------------------------------------------------------

struct FontRecord {
    int32_t angle, bold, italic, strikeOut, underline, size;
    const char* face;
};

LOGFONTA DefaultFont() {
    LOGFONTA lf = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    return lf;
}

LOGFONTA FontFromData(const uint32_t* data) {
    const void* p = reinterpret_cast<const void*>(static_cast<uintptr_t>(data[0]));
    if (!p || data[1] != sizeof(LOGFONTA)) return DefaultFont();
    LOGFONTA lf;
    std::memcpy(&lf, p, sizeof lf);
    return lf;
}

int32_t ScreenDpiY() {
    HDC dc = GetDC(nullptr);
    int32_t dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi;
}

int32_t FontField(const LOGFONTA& lf, int32_t sub) {
    switch (sub) {
    case 0: return lf.lfOrientation;
    case 1: return lf.lfWeight >= 700 ? 1 : 0;
    case 2: return lf.lfItalic ? 1 : 0;
    case 3: return lf.lfStrikeOut ? 1 : 0;
    case 4: return lf.lfUnderline ? 1 : 0;
    case 5: return MulDiv(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight, 72, ScreenDpiY());
    default: return 0;
    }
}

void SetFace(LOGFONTA* lf, const char* face) { lstrcpynA(lf->lfFaceName, face, LF_FACESIZE); }

void SetFontField(LOGFONTA* lf, int32_t sub, uint32_t value) {
    switch (sub) {
    case 0: {
        int32_t angle = static_cast<int32_t>(value) % 3600;
        if (angle < 0) angle += 3600;
        lf->lfEscapement = lf->lfOrientation = angle;
        break;
    }
    case 1: lf->lfWeight = value ? 700 : 0; break;
    case 2: lf->lfItalic = value ? 1 : 0; break;
    case 3: lf->lfStrikeOut = value ? 1 : 0; break;
    case 4: lf->lfUnderline = value ? 1 : 0; break;
    case 5: {
        int32_t size = static_cast<int32_t>(value) < 0 ? 0 : static_cast<int32_t>(value);
        lf->lfHeight = -MulDiv(size, ScreenDpiY(), 72);
        break;
    }
    case 6: {
        const char* face = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
        size_t n = face ? std::strlen(face) : 0;
        SetFace(lf, n >= 1 && n <= 31 ? face : kSongTi);
        break;
    }
    default: break;
    }
}

// The whole record: the angle is stored as given; a face that is null or
// too long for the record becomes the default face, an empty one stays empty.
LOGFONTA FontFromRecord(const FontRecord* f) {
    LOGFONTA lf = {};
    lf.lfEscapement = lf.lfOrientation = f->angle;
    SetFontField(&lf, 1, static_cast<uint32_t>(f->bold));
    SetFontField(&lf, 2, static_cast<uint32_t>(f->italic));
    SetFontField(&lf, 3, static_cast<uint32_t>(f->strikeOut));
    SetFontField(&lf, 4, static_cast<uint32_t>(f->underline));
    SetFontField(&lf, 5, static_cast<uint32_t>(f->size));
    SetFace(&lf, !f->face || std::strlen(f->face) >= 31 ? kSongTi : f->face);
    return lf;
}

int64_t ReadFont(const uint32_t* data, int32_t sub) {
    LOGFONTA lf = FontFromData(data);
    if (sub == 6) return Pack(rt::DupText(lf.lfFaceName));
    if (sub >= 0) return FontField(lf, sub);
    FontRecord* f = static_cast<FontRecord*>(rt::MemAlloc(sizeof(FontRecord)));
    f->angle = FontField(lf, 0);
    f->bold = FontField(lf, 1);
    f->italic = FontField(lf, 2);
    f->strikeOut = FontField(lf, 3);
    f->underline = FontField(lf, 4);
    f->size = FontField(lf, 5);
    f->face = rt::DupText(lf.lfFaceName);
    return Pack(f);
}

// --- re-creation ---------------------------------------------------------------

void DrainQueue() { rt::PumpPendingMessages(); }

void Recreate(WindowEntry* e, int32_t index) {
    UnitRecord r = e->units.At(index);
    const rt::UnitTypeRecord* type = rt::LookupTypeRecord(r.TypeRef());
    if (!type || (type->flags & rt::kTfNoRecreate) || !type->query) return;
    auto allData = reinterpret_cast<units::AllPropertyDataFn>(type->query(rt::kIfAllPropertyData));
    auto create = reinterpret_cast<units::CreateFn>(type->query(rt::kIfCreate));
    rt::ControlHead* old = static_cast<rt::ControlHead*>(r.ControlSlot());
    if (!allData || !create || !old) return;
    HGLOBAL block = allData(old);
    if (!block) return;

    HWND oldHwnd = old->hwnd;
    RECT rc = RectInParent(oldHwnd);
    LONG_PTR oldStyle = GetWindowLongPtrA(oldHwnd, GWL_STYLE);
    DWORD style = (oldStyle & WS_TABSTOP) | (IsWindowEnabled(oldHwnd) ? 0 : WS_DISABLED);
    HWND parent = GetParent(oldHwnd);
    UINT id = static_cast<UINT>(GetDlgCtrlID(oldHwnd));
    HWND focus = GetFocus();
    bool hadFocus = focus == oldHwnd || IsChild(oldHwnd, focus);

    const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    uint32_t length = static_cast<uint32_t>(GlobalSize(block));
    void* fresh = create(bytes, length, style, parent, id, nullptr, rc.left, rc.top, rc.right - rc.left,
                         rc.bottom - rc.top, e->id, e->units.IdAt(index), 0, 0);
    GlobalUnlock(block);
    if (fresh) {
        HWND newHwnd = static_cast<rt::ControlHead*>(fresh)->hwnd;
        if (type->flags & rt::kTfContainer) {
            std::vector<HWND> kids;
            for (HWND k = GetTopWindow(oldHwnd); k; k = GetWindow(k, GW_HWNDNEXT)) kids.push_back(k);
            for (size_t k = kids.size(); k-- > 0;) SetParent(kids[k], newHwnd);
        }
        e->units.At(index).SetControlSlot(fresh);
        HWND after = HWND_TOP;
        for (int32_t j = index - 1; j >= 1; j--) {
            if (e->units.IsMenuItemAt(j) || e->units.At(j).Parent() != e->units.At(index).Parent()) continue;
            if (HWND prev = ControlAt(e, j)) {
                after = prev;
                break;
            }
        }
        SetWindowPos(newHwnd, after, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
        SendMessageA(newHwnd, kMsgAfterCreate, 0, 0);
        SendMessageA(newHwnd, kMsgAfterLoad, 0, 0);
        if (type->flags & rt::kTfDocked) SendMessageA(parent, kMsgLayoutWindow, 0, 0);
        if (oldStyle & WS_VISIBLE) ShowWindow(newHwnd, SW_SHOWNA);
        if (type->flags & rt::kTfPages) {
            LRESULT page = SendMessageA(oldHwnd, 0x130B /* TCM_GETCURSEL */, 0, 0);
            SendMessageA(newHwnd, 0x130C /* TCM_SETCURSEL */, static_cast<WPARAM>(page), 0);
        }
        gRecreating = true;
        DestroyWindow(oldHwnd);
        gRecreating = false;
        if (hadFocus)
            SetFocus(newHwnd);
        else if (focus && IsWindow(focus) && GetFocus() != focus)
            SetFocus(focus);
    }
    GlobalFree(block);
}

// Is the unit on a tab unit's page that is not selected?
bool OnHiddenTabPage(WindowEntry* e, uint32_t unitId) {
    for (int32_t i = 1; i < e->units.Count(); i++) {
        if (e->units.IsMenuItemAt(i) || e->units.At(i).TypeRef() != rt::kTypeTab) continue;
        UnitRecord tab = e->units.At(i);
        HWND tabHwnd = ControlAt(e, i);
        int32_t selected = tabHwnd ? static_cast<int32_t>(SendMessageA(tabHwnd, 0x130B, 0, 0)) : 0;
        if (selected < 0) selected = 0;
        int32_t page = 0;
        bool listed = false, onSelected = false;
        for (int32_t k = 0; k < tab.ChildCount(); k++) {
            uint32_t child;
            std::memcpy(&child, tab.Children() + k, 4);
            if (child == 0) {
                page++;
                continue;
            }
            if (child == unitId) {
                listed = true;
                onSelected = page == selected;
            }
        }
        if (listed) return !onSelected;
    }
    return false;
}

// --- menu items ---------------------------------------------------------------------

int64_t ReadMenuItem(UnitRecord r, int32_t index) {
    switch (index) {
    case 0: return Pack(rt::DupText(r.MenuCaption()));
    case 1: return (r.MenuFlags() & kMenuChecked) ? 1 : 0;
    case 2: return (r.MenuFlags() & kMenuDisabled) ? 1 : 0;
    case 3: return (r.MenuFlags() & kMenuHidden) ? 0 : 1;
    default: return 0;
    }
}

void WriteMenuItem(Target& t, int32_t index, uint32_t lo) {
    if (index == 0) {
        const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(lo));
        if (!text) text = "";
        uint32_t pos = static_cast<uint32_t>(t.record.MenuCaption() - reinterpret_cast<const char*>(t.record.Data()));
        if (std::strcmp(text, t.record.MenuCaption()) == 0) return;
        t.entry->units.ReplaceText(t.index, pos, text);
        RebuildMenuBar(t.entry->id);
        return;
    }
    uint32_t bit = index == 1 ? kMenuChecked : index == 2 ? kMenuDisabled : index == 3 ? kMenuHidden : 0;
    if (!bit) return;
    bool set = index == 3 ? lo == 0 : lo != 0;
    uint32_t flags = t.record.MenuFlags();
    uint32_t now = set ? (flags | bit) : (flags & ~bit);
    if (now == flags) return;
    t.record.SetMenuFlags(now);
    RebuildMenuBar(t.entry->id);
}

} // namespace

// --- reading ----------------------------------------------------------------------------

int64_t ReadProperty(uint32_t windowId, uint32_t unitId, int32_t index, int32_t sub) {
    Target t = Locate(windowId, unitId);
    if (t.record.IsMenuItem()) return ReadMenuItem(t.record, index);
    if (index < 0) Fail("未载入欲访问窗口组件所在的窗口", windowId, unitId);
    HWND h = t.object ? t.object->hwnd : nullptr;

    if (index >= 8) {
        if (!t.object) Fail("读取组件属性时发现指定窗口尚未载入", windowId, unitId);
        int32_t code = TypeCodeOf(t, index, windowId, unitId);
        auto get = reinterpret_cast<units::GetPropertyDataFn>(Interface(t, rt::kIfGetPropertyData));
        if (!get || code < 1000 || code > 1024) return 0;
        uint32_t data[2] = {0, 0};
        get(t.object, index - 8, data);
        if (code == kCodeDecimal || code == kCodeDate) return static_cast<int64_t>((static_cast<uint64_t>(data[1]) << 32) | data[0]);
        if (code == kCodeBool) return data[0] == 1 ? 1 : 0;
        if (IsTextCode(code)) return Pack(rt::DupText(reinterpret_cast<const char*>(static_cast<uintptr_t>(data[0]))));
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(data[0]));
        if (IsBytesCode(code)) return Pack(bytes ? rt::DupByteSet(bytes, static_cast<int32_t>(data[1])) : nullptr);
        if (code == kCodePointer) {
            if (!bytes || !data[1]) return 0;
            std::vector<uint8_t> b = ConvertPointer(bytes, data[1], true);
            return Pack(rt::DupByteSet(b.data(), static_cast<int32_t>(b.size())));
        }
        if (code == kCodeFont) return ReadFont(data, sub);
        return static_cast<int64_t>(static_cast<int32_t>(data[0])) & 0xFFFFFFFF;
    }

    switch (index) {
    case 0:
    case 1: {
        if (!h) return static_cast<uint32_t>(index == 0 ? t.record.Left() : t.record.Top());
        RECT r = RectInParent(h);
        return static_cast<uint32_t>(index == 0 ? r.left : r.top);
    }
    case 2:
    case 3: {
        if (!h) return static_cast<uint32_t>(index == 2 ? t.record.Width() : t.record.Height());
        RECT r;
        GetWindowRect(h, &r);
        return static_cast<uint32_t>(index == 2 ? r.right - r.left : r.bottom - r.top);
    }
    case 4: return Pack(rt::DupText(t.record.Tag()));
    case 5: return h ? (IsWindowVisible(h) ? 1 : 0) : (t.record.Flags() & kUnitVisible ? 1 : 0);
    case 6: return h ? (IsWindowEnabled(h) ? 0 : 1) : (t.record.Flags() & kUnitDisabled ? 1 : 0);
    case 7: {
        uint32_t n = t.record.MousePointerLength();
        if (n == 0) return 0;
        std::vector<uint8_t> b = ConvertPointer(t.record.MousePointer(), n, true);
        return Pack(rt::DupByteSet(b.data(), static_cast<int32_t>(b.size())));
    }
    default: return 0;
    }
}

// --- writing -------------------------------------------------------------------------------

void WriteProperty(uint32_t windowId, uint32_t unitId, int32_t index, int32_t sub, uint32_t lo, uint32_t hi) {
    Target t = Locate(windowId, unitId);
    if (t.record.IsMenuItem()) {
        WriteMenuItem(t, index, lo);
        return;
    }
    if (index < 0) Fail("未载入欲访问窗口组件所在的窗口", windowId, unitId);
    HWND h = t.object ? t.object->hwnd : nullptr;
    int32_t v = static_cast<int32_t>(lo);

    switch (index) {
    case 0:
    case 1: {
        v = Clamp(v, -32627, 32627);
        if (index == 0) t.record.SetLeft(v); else t.record.SetTop(v);
        if (h) {
            RECT r = RectInParent(h);
            int w = r.right - r.left, ht = r.bottom - r.top;
            if (index == 0) MoveWindow(h, v, r.top, w, ht, TRUE); else MoveWindow(h, r.left, v, w, ht, TRUE);
        }
        return;
    }
    case 2:
    case 3: {
        v = Clamp(v, 0, 32627);
        if (index == 2) t.record.SetWidth(v); else t.record.SetHeight(v);
        if (h) {
            RECT r;
            GetWindowRect(h, &r);
            int w = index == 2 ? v : r.right - r.left, ht = index == 3 ? v : r.bottom - r.top;
            SetWindowPos(h, nullptr, 0, 0, w, ht, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        return;
    }
    case 4: {
        const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(lo));
        t.entry->units.ReplaceText(t.index, t.record.TagPos(), text ? text : "");
        return;
    }
    case 5: {
        uint32_t flags = t.record.Flags();
        t.record.SetFlags(v ? (flags | kUnitVisible) : (flags & ~kUnitVisible));
        if (!h) return;
        if (!v) {
            ShowWindow(h, SW_HIDE);
            return;
        }
        if (t.index == 0 || unitId == 0) {
            ShowLoadedWindow(windowId, true);
            return;
        }
        const rt::UnitTypeRecord* type = rt::LookupTypeRecord(t.record.TypeRef());
        if (type && (type->flags & rt::kTfSelfVisible)) return;
        if (!OnHiddenTabPage(t.entry, t.entry->units.IdAt(t.index))) ShowWindow(h, SW_SHOW);
        return;
    }
    case 6: {
        uint32_t flags = t.record.Flags();
        t.record.SetFlags(v ? (flags | kUnitDisabled) : (flags & ~kUnitDisabled));
        if (h) EnableWindow(h, v ? FALSE : TRUE);
        return;
    }
    case 7: {
        const void* bs = reinterpret_cast<const void*>(static_cast<uintptr_t>(lo));
        std::vector<uint8_t> bytes;
        if (bs) bytes = ConvertPointer(rt::ByteSetData(bs), static_cast<uint32_t>(rt::ByteSetCount(bs)), false);
        if (uint32_t c = t.record.CursorSlot()) DestroyCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(c)));
        HCURSOR cursor = bytes.empty() ? nullptr : BuildCursor(bytes.data(), static_cast<uint32_t>(bytes.size()));
        t.record.SetCursorSlot(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cursor)));
        std::vector<uint8_t> counted(4 + bytes.size());
        uint32_t n = static_cast<uint32_t>(bytes.size());
        std::memcpy(counted.data(), &n, 4);
        if (n) std::memcpy(counted.data() + 4, bytes.data(), n);
        t.entry->units.Replace(t.index, t.record.MousePointerPos(), 4 + t.record.MousePointerLength(),
                               counted.data(), static_cast<uint32_t>(counted.size()));
        if (h) {
            POINT p;
            GetCursorPos(&p);
            SetCursorPos(p.x, p.y);
        }
        return;
    }
    default: break;
    }

    if (!t.object) Fail("修改组件属性时发现指定窗口尚未载入", windowId, unitId);
    int32_t code = TypeCodeOf(t, index, windowId, unitId);
    uint32_t data[2] = {0, 0};
    std::vector<uint8_t> scratch;
    LOGFONTA lf;
    if (code == kCodeInt0 || code == kCodeInt || code == 1014 || code == 1015 || code == 1017) {
        data[0] = lo;
    } else if (code == kCodeDecimal || code == kCodeDate) {
        data[0] = lo;
        data[1] = hi;
    } else if (code == kCodeBool) {
        data[0] = lo ? 1 : 0;
    } else if (code == kCodePick) {
        data[0] = v < 0 ? 0 : lo;
    } else if (IsTextCode(code)) {
        data[0] = lo ? lo : reinterpret_cast<uintptr_t>("");
    } else if (IsBytesCode(code) || code == kCodePointer) {
        const void* bs = reinterpret_cast<const void*>(static_cast<uintptr_t>(lo));
        if (bs && rt::ByteSetCount(bs) > 0) {
            uint32_t n = static_cast<uint32_t>(rt::ByteSetCount(bs));
            if (code == kCodePointer) {
                scratch = ConvertPointer(rt::ByteSetData(bs), n, false);
                data[0] = reinterpret_cast<uintptr_t>(scratch.data());
            } else {
                data[0] = reinterpret_cast<uintptr_t>(rt::ByteSetData(bs));
            }
            data[1] = n;
        }
    } else if (code == kCodeFont) {
        if (sub < 0) {
            const FontRecord* f = reinterpret_cast<const FontRecord*>(static_cast<uintptr_t>(lo));
            if (f) {
                lf = FontFromRecord(f);
                data[0] = reinterpret_cast<uintptr_t>(&lf);
                data[1] = sizeof lf;
            }
        } else {
            uint32_t current[2] = {0, 0};
            if (auto get = reinterpret_cast<units::GetPropertyDataFn>(Interface(t, rt::kIfGetPropertyData)))
                get(t.object, index - 8, current);
            lf = FontFromData(current);
            SetFontField(&lf, sub, lo);
            data[0] = reinterpret_cast<uintptr_t>(&lf);
            data[1] = sizeof lf;
        }
    }
    auto changed = reinterpret_cast<units::PropertyChangedFn>(Interface(t, rt::kIfPropertyChanged));
    if (!changed || !changed(t.object, index - 8, data, 0)) return;

    // The unit asks to be re-created to show the change.
    if (!IsWindow(t.object->hwnd)) return;
    int32_t position = UnitIndexOfControl(t.entry, t.object->hwnd);
    if (position < 1) return;
    DrainQueue();
    gApp.busy++;
    Recreate(t.entry, position);
    DrainQueue();
    if (gApp.busy > 0) gApp.busy--;
}

// --- by unit object ------------------------------------------------------------------

namespace {

bool FindObject(void* object, uint32_t* windowId, uint32_t* unitId) {
    for (uint32_t id : LiveWindows()) {
        WindowEntry* e = gApp.windows.Find(id);
        for (int32_t i = 0; i < e->units.Count(); i++) {
            if (e->units.IsMenuItemAt(i) || e->units.At(i).ControlSlot() != object) continue;
            *windowId = id;
            *unitId = i == 0 ? 0 : e->units.IdAt(i);
            return true;
        }
    }
    return false;
}

} // namespace

int64_t ReadUnitObjectProperty(uint32_t, void* object, int32_t index, int32_t sub) {
    uint32_t w = 0, u = 0;
    if (!FindObject(object, &w, &u)) Fail("未载入欲访问窗口组件所在的窗口", 0, 0);
    return ReadProperty(w, u, index, sub);
}

void WriteUnitObjectProperty(uint32_t, void* object, int32_t index, int32_t sub, uint32_t lo, uint32_t hi) {
    uint32_t w = 0, u = 0;
    if (!FindObject(object, &w, &u)) Fail("未载入欲访问窗口组件所在的窗口", 0, 0);
    WriteProperty(w, u, index, sub, lo, hi);
}

} // namespace forms
