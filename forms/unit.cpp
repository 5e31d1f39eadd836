#include "unit.h"

#include <commctrl.h>
#include <ole2.h>
#include <olectl.h>
#include <cstring>
#include "runtime/modules.h"

namespace units {

bool UnitWnd::Raise(int32_t index, int32_t argc, const int32_t* args, bool* returned, int32_t* value) {
    rt::EventRecord ev = {};
    ev.window = windowId_;
    ev.unit = unitId_;
    ev.index = index;
    ev.argc = argc < 0 ? 0 : (argc > 5 ? 5 : argc);
    for (int32_t i = 0; i < ev.argc; i++) ev.args[i] = args[i];
    bool ran = link_->Call(rt::kCbRaiseEvent, reinterpret_cast<intptr_t>(&ev)) != 0;
    if (returned) *returned = ran && ev.returned;
    if (value) *value = ev.value;
    return ran;
}

void UnitWnd::PostNcDestroy() {
    link_->Call(rt::kCbDestroyed, static_cast<intptr_t>(windowId_), static_cast<intptr_t>(unitId_));
    delete this;
}

HFONT CreateStoredFont(const std::vector<uint8_t>& bytes) {
    if (bytes.size() != sizeof(LOGFONTA)) return nullptr;
    LOGFONTA lf;
    std::memcpy(&lf, bytes.data(), sizeof lf);
    lf.lfCharSet = 1;
    lf.lfOutPrecision = 0;
    lf.lfClipPrecision = 0;
    lf.lfQuality = 2;
    lf.lfPitchAndFamily = 0;
    return CreateFontIndirectA(&lf);
}

void ApplyStoredFont(HWND hwnd, const std::vector<uint8_t>& bytes, OwnedGdi* owned) {
    HFONT font = CreateStoredFont(bytes);
    HGDIOBJ use = font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT);
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(use), TRUE);
    owned->Reset(font);
}

void ApplyBorder(HWND hwnd, int32_t border) {
    const LONG_PTR kExMask = WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;
    LONG_PTR ex = GetWindowLongPtrA(hwnd, GWL_EXSTYLE) & ~kExMask;
    LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_BORDER);
    switch (border) {
    case 1: ex |= WS_EX_CLIENTEDGE; break;
    case 2: ex |= WS_EX_DLGMODALFRAME; break;
    case 3: ex |= WS_EX_STATICEDGE; break;
    case 4: ex |= WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME; break;
    case 5: style |= WS_BORDER; break;
    default: break;
    }
    SetWindowLongPtrA(hwnd, GWL_EXSTYLE, ex);
    SetWindowLongPtrA(hwnd, GWL_STYLE, style);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool LoadCommonControls(DWORD classes) {
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static InitFn init = nullptr;
    static DWORD ready = 0;   // classes registered so far
    if ((ready & classes) == classes) return true;
    if (!init) {
        HMODULE library = rt::LoadSystemModule("COMCTL32.DLL");
        FARPROC found = library ? GetProcAddress(library, "InitCommonControlsEx") : nullptr;
        init = reinterpret_cast<InitFn>(reinterpret_cast<void (*)()>(found));
        if (!init) return false;
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, classes & ~ready};
    if (!init(&icc)) return false;
    ready |= classes;
    return true;
}

bool UseClassicLook(HWND hwnd, bool classic) {
    using SetThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
    static SetThemeFn setTheme = nullptr;
    if (!setTheme) {
        HMODULE library = rt::LoadSystemModule("UXTHEME.DLL");
        FARPROC found = library ? GetProcAddress(library, "SetWindowTheme") : nullptr;
        setTheme = reinterpret_cast<SetThemeFn>(reinterpret_cast<void (*)()>(found));
        if (!setTheme) return false;
    }
    // A blank matches no visual style (an empty name leaves Wine's control
    // themed); null names give the default back.
    return SUCCEEDED(classic ? setTheme(hwnd, L" ", L" ") : setTheme(hwnd, nullptr, nullptr));
}

COLORREF ResolveColour(uint32_t c) { return IsDefaultColour(c) ? GetSysColor(COLOR_BTNFACE) : static_cast<COLORREF>(c); }

void Picture::Release() {
    if (icon) DestroyIcon(icon);
    if (bitmap) DeleteObject(bitmap);
    icon = nullptr;
    bitmap = nullptr;
    width = height = 0;
}

Picture DecodePicture(const std::vector<uint8_t>& bytes, COLORREF background) {
    Picture pic;
    if (bytes.empty()) return pic;
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!g) return pic;
    std::memcpy(GlobalLock(g), bytes.data(), bytes.size());
    GlobalUnlock(g);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(g, TRUE, &stream))) {
        GlobalFree(g);
        return pic;
    }
    IPicture* ip = nullptr;
    HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(bytes.size()), FALSE, IID_IPicture,
                                reinterpret_cast<void**>(&ip));
    stream->Release();
    if (FAILED(hr) || !ip) return pic;

    SHORT type = PICTYPE_NONE;
    ip->get_Type(&type);
    OLE_XSIZE_HIMETRIC hw = 0;
    OLE_YSIZE_HIMETRIC hh = 0;
    ip->get_Width(&hw);
    ip->get_Height(&hh);
    HDC screen = GetDC(nullptr);
    pic.width = MulDiv(hw, GetDeviceCaps(screen, LOGPIXELSX), 2540);
    pic.height = MulDiv(hh, GetDeviceCaps(screen, LOGPIXELSY), 2540);
    if (type == PICTYPE_ICON) {
        OLE_HANDLE h = 0;
        ip->get_Handle(&h);
        pic.icon = CopyIcon(reinterpret_cast<HICON>(static_cast<uintptr_t>(h)));
    } else if (pic.width > 0 && pic.height > 0) {
        HDC dc = CreateCompatibleDC(screen);
        pic.bitmap = CreateCompatibleBitmap(screen, pic.width, pic.height);
        HGDIOBJ old = SelectObject(dc, pic.bitmap);
        RECT r = {0, 0, pic.width, pic.height};
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        ip->Render(dc, 0, 0, pic.width, pic.height, 0, hh, hw, -hh, nullptr);
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    ReleaseDC(nullptr, screen);
    ip->Release();
    if (pic.Empty()) pic.width = pic.height = 0;
    return pic;
}

} // namespace units
