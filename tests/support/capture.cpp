#include "capture.h"

#include <cstdint>

namespace test {

namespace {

// A w x h 32-bit top-down DIB selected into a memory DC for one capture.
class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h) {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof bi.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bmp_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
        dc_ = CreateCompatibleDC(nullptr);
        old_ = SelectObject(dc_, bmp_);
        RECT all = {0, 0, w, h};
        HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
        FillRect(dc_, &all, magenta);
        DeleteObject(magenta);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
        DeleteObject(bmp_);
    }
    HDC Dc() const { return dc_; }
    Shot Read() const {
        GdiFlush();
        Shot s;
        s.w = w_;
        s.h = h_;
        s.px.reserve(static_cast<size_t>(w_) * h_);
        for (int i = 0; i < w_ * h_; ++i) {
            uint32_t p = static_cast<const uint32_t*>(bits_)[i];
            s.px.push_back(RGB((p >> 16) & 255, (p >> 8) & 255, p & 255));
        }
        return s;
    }

private:
    int w_, h_;
    void* bits_ = nullptr;
    HBITMAP bmp_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

} // namespace

Shot CaptureClient(HWND hwnd, bool fromScreen) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    Canvas canvas(rc.right, rc.bottom);
    if (fromScreen) {
        RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        HDC wdc = GetDC(hwnd);
        BitBlt(canvas.Dc(), 0, 0, rc.right, rc.bottom, wdc, 0, 0, SRCCOPY);
        ReleaseDC(hwnd, wdc);
    } else {
        SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
    }
    return canvas.Read();
}

Shot CaptureWindow(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    Canvas canvas(rc.right - rc.left, rc.bottom - rc.top);
    RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    HDC wdc = GetWindowDC(hwnd);
    BitBlt(canvas.Dc(), 0, 0, rc.right - rc.left, rc.bottom - rc.top, wdc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, wdc);
    return canvas.Read();
}

} // namespace test
