// Pixels as a window painted them, for tests that check what a person sees.
#pragma once

#include <windows.h>
#include <vector>

namespace test {

// An image read into 32-bit pixels, row by row from the top.
struct Shot {
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    COLORREF At(int x, int y) const { return px[y * w + x]; }
    // Does a pixel of the rectangle x0..x1, y0..y1 (ends excluded) pass `test`?
    bool Ink(int x0, int y0, int x1, int y1, bool (*test)(COLORREF)) const {
        for (int y = y0; y < y1 && y < h; ++y)
            for (int x = x0; x < x1 && x < w; ++x)
                if (test(At(x, y))) return true;
        return false;
    }
};

// The client area of `hwnd` painted through WM_PRINTCLIENT or, with
// `fromScreen`, repainted and read back from the window, into an image
// prefilled with magenta, so that anything left unpainted shows.
Shot CaptureClient(HWND hwnd, bool fromScreen = false);

// The whole of `hwnd`, frame and caption included, as its window DC holds it
// after a repaint of the frame.
Shot CaptureWindow(HWND hwnd);

} // namespace test
