// App icons: PNGs written with zlib and the launcher icons of the test
// APKs (crunched to palettes by aapt) decoded and scaled to a row's square,
// their pixels read back and drawn through the image list; damaged and
// oversized PNGs refused; the default icon; COM left as each thread had it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>
#include "apk/zip.h"
#include "tests/support/png.h"
#include "tests/support/testapks.h"
#include "tests/support/uidriver.h"
#include "icons/appicon.h"

namespace {

using icons::AppIconDecoder;
using icons::AppIconList;

// --- PNGs ----------------------------------------------------------------------------

using test::Deflate;
using test::Png;
using test::PngChunk;
using test::PngHeader;

std::string Solid(uint32_t w, uint32_t h, uint32_t rgba) {
    return Png(w, h, [rgba](uint32_t, uint32_t) { return rgba; });
}

// --- reading bitmaps back ------------------------------------------------------------

// A decoded bitmap's pixels (0xAARRGGBB) in memory order and its shape; the
// bitmap is deleted.
struct Pixels {
    int width = 0, height = 0, bits = 0;
    std::vector<uint32_t> p;
    uint32_t At(int x, int y) const { return p[static_cast<size_t>(y) * width + x]; }
};

Pixels Take(HBITMAP bitmap) {
    Pixels out;
    DIBSECTION dib = {};
    if (!bitmap || GetObject(bitmap, sizeof dib, &dib) != sizeof dib) {
        if (bitmap) DeleteObject(bitmap);
        return out;
    }
    out.width = dib.dsBm.bmWidth;
    out.height = dib.dsBm.bmHeight;
    out.bits = dib.dsBm.bmBitsPixel;
    const uint32_t* bits = static_cast<const uint32_t*>(dib.dsBm.bmBits);
    if (out.bits == 32) out.p.assign(bits, bits + static_cast<size_t>(out.width) * out.height);
    DeleteObject(bitmap);
    return out;
}

int Channel(uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }

// Every channel of `got` within `tolerance` of `want` (both 0xAARRGGBB).
::testing::AssertionResult Near(uint32_t got, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(Channel(got, shift) - Channel(want, shift)) > tolerance)
            return ::testing::AssertionFailure() << std::hex << "got 0x" << got << ", want 0x" << want;
    return ::testing::AssertionSuccess();
}

// Image `index` of `list` drawn over white at size×size; the pixels as 0x00RRGGBB.
Pixels DrawOverWhite(HIMAGELIST list, int index, int size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::fill_n(static_cast<uint32_t*>(bits), size * size, 0x00FFFFFFu);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, target);
    ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
    Pixels out = Take(target);
    for (uint32_t& p : out.p) p &= 0x00FFFFFF;
    return out;
}


// --- decoding ------------------------------------------------------------------------

TEST(AppIcon, OneColourKeepsItsColourAtEverySize) {
    AppIconDecoder decoder;
    ASSERT_TRUE(decoder.Ready());
    struct Case { uint32_t from; int to; };
    for (Case c : {Case{48, 16}, Case{8, 16}, Case{16, 16}, Case{192, 24}, Case{1, 32}}) {
        Pixels px = Take(decoder.Decode(Solid(c.from, c.from, 0x3366CCFF), c.to));
        ASSERT_EQ(px.width, c.to) << c.from << " -> " << c.to;
        EXPECT_EQ(px.height, c.to);
        EXPECT_EQ(px.bits, 32);
        for (int y = 0; y < c.to; ++y)
            for (int x = 0; x < c.to; ++x)
                ASSERT_EQ(px.At(x, y), 0xFF3366CCu) << c.from << " -> " << c.to << " at " << x << "," << y;
    }
}

TEST(AppIcon, HalfTransparentIsStraightAlphaAndDrawsBlended) {
    AppIconDecoder decoder;
    Pixels px = Take(decoder.Decode(Solid(40, 40, 0x3366CC80), 16));
    ASSERT_EQ(px.width, 16);
    // Straight alpha, as the image list wants it (scaled premultiplied, so
    // rounding may move a channel by one or two).
    for (uint32_t p : px.p) ASSERT_TRUE(Near(p, 0x803366CC, 2));

    // Drawn over white: each channel c*a + 255*(1-a). A bitmap given
    // premultiplied would come out darker by a quarter of the channel.
    AppIconList list(16);
    int index = list.Add(Solid(40, 40, 0x3366CC80));
    ASSERT_EQ(index, 1);
    Pixels drawn = DrawOverWhite(list.Handle(), index, 16);
    ASSERT_EQ(drawn.width, 16);
    const uint32_t want = (153u << 16) | (178u << 8) | 229u;   // 0x33, 0x66, 0xCC at 128/255 over white
    for (uint32_t p : drawn.p) ASSERT_TRUE(Near(p, want, 3));
}

TEST(AppIcon, AspectRatioKeptAndCentredOnTransparent) {
    AppIconDecoder decoder;
    Pixels wide = Take(decoder.Decode(Solid(32, 16, 0xFF0000FF), 16));
    Pixels tall = Take(decoder.Decode(Solid(16, 32, 0xFF0000FF), 16));
    ASSERT_EQ(wide.width, 16);
    ASSERT_EQ(tall.width, 16);
    for (int a = 0; a < 16; ++a) {
        for (int b = 0; b < 16; ++b) {
            uint32_t want = a >= 4 && a < 12 ? 0xFFFF0000u : 0u;
            ASSERT_EQ(wide.At(b, a), want) << "wide at " << b << "," << a;
            ASSERT_EQ(tall.At(a, b), want) << "tall at " << a << "," << b;
        }
    }
    // Top-down: the picture's first row first in memory.
    auto redOverBlue = [](uint32_t, uint32_t y) { return y < 8 ? 0xFF0000FFu : 0x0000FFFFu; };
    Pixels halves = Take(decoder.Decode(Png(16, 16, redOverBlue), 16));
    ASSERT_EQ(halves.width, 16);
    EXPECT_EQ(halves.At(0, 0), 0xFFFF0000u);
    EXPECT_EQ(halves.At(0, 15), 0xFF0000FFu);
    // A sliver keeps at least one row, in the middle.
    Pixels sliver = Take(decoder.Decode(Solid(200, 2, 0x00FF00FF), 16));
    ASSERT_EQ(sliver.width, 16);
    for (int y = 0; y < 16; ++y) EXPECT_EQ(sliver.At(8, y), y == 7 ? 0xFF00FF00u : 0u) << y;
}

TEST(AppIcon, LauncherIconsOfTheTestApks) {
    AppIconDecoder decoder;
    int decoded = 0;
    for (const char* apk : {"icons", "icons_drawable", "icons_deflate"}) {
        std::string bytes = test::TestApk(apk);
        apk::ZipArchive zip;
        ASSERT_TRUE(zip.Open(bytes)) << apk;
        for (const apk::ZipEntry& e : zip.entries()) {
            if (e.name.size() < 4 || e.name.compare(e.name.size() - 4, 4, ".png") != 0) continue;
            std::string png;
            ASSERT_TRUE(zip.Read(e.name, 1u << 20, &png)) << apk << " " << e.name;
            Pixels px = Take(decoder.Decode(png, 16));
            ASSERT_EQ(px.width, 16) << apk << " " << e.name;
            for (uint32_t p : px.p) ASSERT_EQ(p, 0xFF3366CCu) << apk << " " << e.name;
            ++decoded;
        }
    }
    EXPECT_GE(decoded, 10);
}

// --- refusing ------------------------------------------------------------------------

TEST(AppIcon, DamagedBytesGiveNoBitmap) {
    AppIconDecoder decoder;
    const std::string end = PngChunk("IEND", "");
    for (const std::string& bad : {std::string(), std::string("not a picture"), std::string("\x89PNG\r\n\x1a\n", 8),
                                   std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11), PngHeader(8, 8) + end,
                                   PngHeader(8, 8) + PngChunk("IDAT", Deflate(std::string(5, '\0'))) + end})
        EXPECT_EQ(decoder.Decode(bad, 16), nullptr) << bad.size() << " bytes";
    EXPECT_EQ(decoder.Decode(Solid(16, 16, 0xFFFFFF00), 16), nullptr);   // valid, but nothing shows

    std::string good = Png(20, 20, [](uint32_t x, uint32_t y) { return (x * 12) << 24 | (y * 12) << 16 | 0xFF; });
    ASSERT_NE(Take(decoder.Decode(good, 16)).width, 0);
    // Cut anywhere before the end chunk: nothing.
    const size_t endChunk = good.size() - 12;
    for (size_t cut = 0; cut < endChunk; ++cut)
        ASSERT_EQ(decoder.Decode(good.substr(0, cut), 16), nullptr) << "cut at " << cut;
    // Any byte flipped: no crash, and nothing or a whole icon.
    for (size_t at = 8; at < good.size(); ++at) {
        std::string flipped = good;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
        HBITMAP bitmap = decoder.Decode(flipped, 16);
        if (bitmap) {
            ASSERT_EQ(Take(bitmap).width, 16) << "flipped at " << at;
        }
    }
}

TEST(AppIcon, SizesBeyondTheCapsAreRefused) {
    AppIconDecoder decoder;
    const uint32_t cap = icons::kAppIconMaxSide;
    EXPECT_NE(Take(decoder.Decode(Solid(cap, cap, 0xFFFFFFFF), 16)).width, 0);
    EXPECT_EQ(decoder.Decode(Solid(cap + 1, 1, 0xFFFFFFFF), 16), nullptr);
    EXPECT_EQ(decoder.Decode(Solid(1, cap + 1, 0xFFFFFFFF), 16), nullptr);

    // Headers claiming 8000×8000 (256 MB of pixels) over a few bytes of
    // data, and the largest sizes a PNG can state.
    const std::string data = PngChunk("IDAT", Deflate(std::string(64, '\0'))), end = PngChunk("IEND", "");
    EXPECT_EQ(decoder.Decode(PngHeader(8000, 8000) + data + end, 16), nullptr);
    EXPECT_EQ(decoder.Decode(PngHeader(0x7FFFFFFF, 0x7FFFFFFF) + end, 16), nullptr);

    // Bytes over their cap, however small the picture.
    const size_t limit = icons::kAppIconMaxPngBytes;
    std::string text = "Comment";
    text.push_back('\0');
    auto white = [](uint32_t, uint32_t) { return 0xFFFFFFFFu; };
    auto padded = [&](size_t total) {
        size_t pad = total - Png(4, 4, white).size() - 12 - text.size();
        return Png(4, 4, white, PngChunk("tEXt", text + std::string(pad, 'x')));
    };
    EXPECT_NE(Take(decoder.Decode(padded(limit), 16)).width, 0);
    EXPECT_EQ(decoder.Decode(padded(limit + 1), 16), nullptr);

    // Sizes a row cannot have.
    std::string small = Solid(4, 4, 0xFFFFFFFF);
    EXPECT_EQ(decoder.Decode(small, 0), nullptr);
    EXPECT_EQ(decoder.Decode(small, -16), nullptr);
}

// --- the default icon and the list ---------------------------------------------------

TEST(AppIcon, DefaultIconIsAGreyRoundedSquareWithARing) {
    for (int size : {16, 20, 32}) {
        Pixels px = Take(icons::MakeDefaultAppIcon(size));
        ASSERT_EQ(px.width, size);
        ASSERT_EQ(px.height, size);
        ASSERT_EQ(px.bits, 32);
        const int mid = size / 2, last = size - 1;
        for (uint32_t corner : {px.At(0, 0), px.At(last, 0), px.At(0, last), px.At(last, last)})
            EXPECT_EQ(corner >> 24, 0u) << size;
        EXPECT_EQ(px.At(mid, mid), 0xFF9A938Cu) << size;             // grey inside the ring
        EXPECT_EQ(px.At(mid, 2), 0xFF9A938Cu) << size;               // grey outside it
        EXPECT_GT(Channel(px.At(mid + size * 22 / 100, mid), 0), 0xD0) << size;   // on the ring: near white
    }
    EXPECT_EQ(icons::MakeDefaultAppIcon(0), nullptr);
}

TEST(AppIconList, OneImagePerIconAndTheDefaultForTheRest) {
    AppIconList list(16);
    ASSERT_NE(list.Handle(), nullptr);
    EXPECT_EQ(ImageList_GetImageCount(list.Handle()), 1);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(list.Handle(), &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    EXPECT_EQ(list.Add(""), AppIconList::kDefault);
    EXPECT_EQ(list.Add("not a picture"), AppIconList::kDefault);
    EXPECT_EQ(list.Add(PngHeader(8000, 8000)), AppIconList::kDefault);
    const std::string red = Solid(48, 48, 0xFF0000FF), blue = Solid(48, 48, 0x0000FFFF);
    EXPECT_EQ(list.Add(red), 1);
    EXPECT_EQ(list.Add(blue), 2);
    EXPECT_EQ(list.Add(std::string(red)), 1);   // the same bytes again: the same image
    EXPECT_EQ(list.Add("not a picture"), AppIconList::kDefault);
    EXPECT_EQ(ImageList_GetImageCount(list.Handle()), 3);

    Pixels drawnRed = DrawOverWhite(list.Handle(), 1, 16);
    for (uint32_t p : drawnRed.p) ASSERT_EQ(p, 0xFF0000u);
    Pixels drawnDefault = DrawOverWhite(list.Handle(), AppIconList::kDefault, 16);
    EXPECT_EQ(drawnDefault.At(0, 0), 0xFFFFFFu);   // its transparent corner shows the white
    EXPECT_EQ(drawnDefault.At(8, 8), 0x9A938Cu);
}

// --- COM on each kind of thread ------------------------------------------------------

enum class Apartment { None, Single, Multi };

struct ThreadRun {
    Apartment apartment;
    bool ready = false;
    int width = 0;
    HRESULT reenter = E_FAIL;   // CoInitializeEx of the thread's own kind after the decoders are gone
};

DWORD WINAPI DecodeOnThread(void* param) {
    ThreadRun* run = static_cast<ThreadRun*>(param);
    if (run->apartment == Apartment::Single) OleInitialize(nullptr);
    if (run->apartment == Apartment::Multi) CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        AppIconDecoder outer;
        {
            AppIconDecoder inner;
            run->ready = outer.Ready() && inner.Ready();
            run->width = Take(inner.Decode(Solid(48, 48, 0x3366CCFF), 16)).width;
        }
        if (run->width) run->width = Take(outer.Decode(Solid(48, 48, 0x3366CCFF), 16)).width;
    }
    run->reenter = CoInitializeEx(nullptr, run->apartment == Apartment::Multi ? COINIT_MULTITHREADED
                                                                               : COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(run->reenter)) CoUninitialize();
    if (run->apartment == Apartment::Single) OleUninitialize();
    if (run->apartment == Apartment::Multi) CoUninitialize();
    return 0;
}

TEST(AppIconDecoder, WorksOnEveryThreadAndLeavesItsComAsItWas) {
    for (Apartment a : {Apartment::None, Apartment::Single, Apartment::Multi}) {
        ThreadRun run{a};
        HANDLE thread = CreateThread(nullptr, 0, DecodeOnThread, &run, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        const int kind = static_cast<int>(a);
        EXPECT_TRUE(run.ready) << kind;
        EXPECT_EQ(run.width, 16) << kind;
        // S_OK: the thread was out of COM again (it had none); S_FALSE: still
        // in the apartment it entered itself.
        EXPECT_EQ(run.reenter, a == Apartment::None ? S_OK : S_FALSE) << kind;
    }
}

} // namespace
