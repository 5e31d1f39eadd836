#include "appicon.h"

#include <objbase.h>
#include <wincodec.h>
#include <wrl/client.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include "runtime/modules.h"

namespace icons {

namespace {

using Microsoft::WRL::ComPtr;

const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t BigEndian32(const char* p) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

// A PNG opens with its signature and the 13-byte IHDR chunk (width and
// height first). Checked here, before the decoder sees the bytes: Wine's
// decoder allocates the whole image as it opens the file.
bool HeaderWithinCaps(const std::string& png) {
    if (png.size() < 33 || png.size() > kAppIconMaxPngBytes ||
        std::memcmp(png.data(), kPngSignature, sizeof kPngSignature) != 0 || BigEndian32(&png[8]) != 13 ||
        std::memcmp(&png[12], "IHDR", 4) != 0)
        return false;
    uint32_t w = BigEndian32(&png[16]), h = BigEndian32(&png[20]);
    return w > 0 && h > 0 && w <= kAppIconMaxSide && h <= kAppIconMaxSide;
}

// A size×size 32-bpp top-down DIB section, cleared to transparent.
HBITMAP CreateIconDib(int size, uint32_t** pixels) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    *pixels = static_cast<uint32_t*>(bits);
    std::memset(bits, 0, static_cast<size_t>(size) * size * 4);
    return bitmap;
}

// Premultiplied BGRA to straight, for the image list (which multiplies again).
uint32_t Unpremultiply(uint32_t p) {
    uint32_t a = p >> 24;
    if (a == 0) return 0;
    if (a == 255) return p;
    auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return (a << 24) | (channel((p >> 16) & 0xFF) << 16) | (channel((p >> 8) & 0xFF) << 8) | channel(p & 0xFF);
}

// The scaled size of a w×h image fitted into size×size, never below one pixel.
void FitInto(UINT w, UINT h, int size, UINT* outW, UINT* outH) {
    if (w >= h) {
        *outW = static_cast<UINT>(size);
        *outH = std::max<UINT>(1, static_cast<UINT>((static_cast<uint64_t>(h) * size + w / 2) / w));
    } else {
        *outH = static_cast<UINT>(size);
        *outW = std::max<UINT>(1, static_cast<UINT>((static_cast<uint64_t>(w) * size + h / 2) / h));
    }
}

// The bytes' identity for the image list's lookup: 64-bit FNV-1a over the
// length and the bytes (a few hundred icons: a clash is out of reach).
uint64_t IconHash(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](unsigned char c) { h = (h ^ c) * 1099511628211ull; };
    uint64_t n = bytes.size();
    for (int i = 0; i < 8; ++i) mix(static_cast<unsigned char>(n >> (8 * i)));
    for (char c : bytes) mix(static_cast<unsigned char>(c));
    return h;
}

// The image list functions, bound late like every COMCTL32 use of the
// units: most windows have no list, and loading the library costs start-up.
struct ImageListFns {
    HIMAGELIST(WINAPI* create)(int, int, UINT, int, int) = nullptr;
    int(WINAPI* add)(HIMAGELIST, HBITMAP, HBITMAP) = nullptr;
    BOOL(WINAPI* destroy)(HIMAGELIST) = nullptr;
};

template <class Fn>
void Bind(HMODULE module, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const ImageListFns* ImageLists() {
    static ImageListFns fns;
    static bool bound = false;
    if (!bound) {
        bound = true;
        if (HMODULE module = rt::LoadSystemModule("COMCTL32.DLL")) {
            Bind(module, "ImageList_Create", &fns.create);
            Bind(module, "ImageList_Add", &fns.add);
            Bind(module, "ImageList_Destroy", &fns.destroy);
        }
    }
    return fns.create && fns.add && fns.destroy ? &fns : nullptr;
}

} // namespace

// COM: the program's UI thread is in the single-threaded apartment already
// (the runtime's OleInitialize), and then CoInitializeEx only counts one
// more entry (S_FALSE), undone in the destructor. A thread without COM
// enters it here. A thread in the multithreaded apartment refuses
// (RPC_E_CHANGED_MODE) and is left as it is: the imaging factory is
// free-threaded, so it works there too.
AppIconDecoder::AppIconDecoder() {
    HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    leaveCom_ = SUCCEEDED(entered);
    // For this build's Windows version CLSID_WICImagingFactory is the first
    // factory, the one Windows XP SP3 (with WIC), 7 and Wine all have.
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory_))))
        factory_ = nullptr;
}

AppIconDecoder::~AppIconDecoder() {
    if (factory_) factory_->Release();
    if (leaveCom_) CoUninitialize();
}

HBITMAP AppIconDecoder::Decode(const std::string& png, int size) const {
    if (!factory_ || size <= 0 || static_cast<uint32_t>(size) > kAppIconMaxSide) return nullptr;
    if (!HeaderWithinCaps(png)) return nullptr;

    // The PNG decoder only, not every codec the system has: the bytes are a
    // stranger's, and PNG is all an icon here can be.
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    UINT w = 0, h = 0;
    if (FAILED(factory_->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(png.data())),
                                            static_cast<DWORD>(png.size()))) ||
        FAILED(factory_->CreateDecoder(GUID_ContainerFormatPng, nullptr, &decoder)) ||
        FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&w, &h)))
        return nullptr;
    // The decoder's reading of the size is what the scaled buffer is made
    // from: held to the same caps, whatever it made of the header.
    if (w == 0 || h == 0 || w > kAppIconMaxSide || h > kAppIconMaxSide) return nullptr;

    // Scaled with premultiplied alpha, so that transparent pixels lend their
    // (meaningless) colour to no neighbour; Fant averages every source pixel
    // when shrinking, the best mode every WIC version has.
    UINT sw = 0, sh = 0;
    FitInto(w, h, size, &sw, &sh);
    ComPtr<IWICFormatConverter> converter;
    ComPtr<IWICBitmapScaler> scaler;
    std::vector<uint32_t> scaled(static_cast<size_t>(sw) * sh);
    if (FAILED(factory_->CreateFormatConverter(&converter)) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                     0.0, WICBitmapPaletteTypeCustom)) ||
        FAILED(factory_->CreateBitmapScaler(&scaler)) ||
        FAILED(scaler->Initialize(converter.Get(), sw, sh, WICBitmapInterpolationModeFant)) ||
        FAILED(scaler->CopyPixels(nullptr, sw * 4, static_cast<UINT>(scaled.size() * 4),
                                  reinterpret_cast<BYTE*>(scaled.data()))))
        return nullptr;
    // An image list takes a bitmap with no alpha at all as opaque (Windows
    // draws it black): an icon nothing of which shows gets the default.
    if (std::all_of(scaled.begin(), scaled.end(), [](uint32_t p) { return p >> 24 == 0; })) return nullptr;

    uint32_t* pixels = nullptr;
    HBITMAP bitmap = CreateIconDib(size, &pixels);
    if (!bitmap) return nullptr;
    UINT left = (static_cast<UINT>(size) - sw) / 2, top = (static_cast<UINT>(size) - sh) / 2;
    for (UINT y = 0; y < sh; ++y)
        for (UINT x = 0; x < sw; ++x)
            pixels[(top + y) * static_cast<UINT>(size) + left + x] = Unpremultiply(scaled[y * sw + x]);
    return bitmap;
}

// Drawn as pixels, each the average of 4×4 samples so the curves are smooth
// at 16 px: a rounded square (radius a fifth of the side) one pixel in from
// the edges, and a white ring in its middle.
HBITMAP MakeDefaultAppIcon(int size) {
    if (size <= 0) return nullptr;
    uint32_t* pixels = nullptr;
    HBITMAP bitmap = CreateIconDib(size, &pixels);
    if (!bitmap) return nullptr;
    const double inset = size >= 12 ? 1.0 : 0.0;
    const double half = size / 2.0 - inset, radius = size / 5.0, centre = size / 2.0;
    const double ring = size * 0.22, ringHalfWidth = std::max(0.75, size * 0.06);
    const double grey[3] = {0x8C, 0x93, 0x9A}, white[3] = {0xFF, 0xFF, 0xFF};   // B, G, R
    const int kSamples = 4;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double cover = 0, sum[3] = {0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    double x = px + (sx + 0.5) / kSamples - centre, y = py + (sy + 0.5) / kSamples - centre;
                    // Outside the rounded square: its corner circle's distance past the radius.
                    double qx = std::max(std::fabs(x) - (half - radius), 0.0);
                    double qy = std::max(std::fabs(y) - (half - radius), 0.0);
                    if (std::fabs(x) > half || std::fabs(y) > half || std::hypot(qx, qy) > radius) continue;
                    bool onRing = std::fabs(std::hypot(x, y) - ring) <= ringHalfWidth;
                    const double* c = onRing ? white : grey;
                    cover += 1;
                    for (int i = 0; i < 3; ++i) sum[i] += c[i];
                }
            }
            if (cover == 0) continue;
            auto byte = [](double v) { return static_cast<uint32_t>(std::lround(std::min(255.0, v))); };
            uint32_t a = byte(cover * 255 / (kSamples * kSamples));
            pixels[py * size + px] =
                (a << 24) | (byte(sum[2] / cover) << 16) | (byte(sum[1] / cover) << 8) | byte(sum[0] / cover);
        }
    }
    return bitmap;
}

AppIconList::AppIconList(int size) : size_(size) {
    const ImageListFns* fns = ImageLists();
    if (!fns || size <= 0) return;
    // Grown 64 images at a time: the few hundred apps of a phone in a few steps.
    list_ = fns->create(size, size, ILC_COLOR32, 16, 64);
    if (!list_) return;
    HBITMAP fallback = MakeDefaultAppIcon(size);
    int index = fallback ? fns->add(list_, fallback, nullptr) : -1;
    if (fallback) DeleteObject(fallback);
    if (index != kDefault) {
        fns->destroy(list_);
        list_ = nullptr;
    }
}

AppIconList::~AppIconList() {
    if (list_) ImageLists()->destroy(list_);
}

int AppIconList::Add(const std::string& png) {
    if (!list_ || png.empty()) return kDefault;
    uint64_t key = IconHash(png);
    auto found = seen_.find(key);
    return found != seen_.end() ? found->second : Store(key, decoder_.Decode(png, size_));
}

// Adds `bitmap` (null: the icon did not decode) as the image of `key` and deletes it.
int AppIconList::Store(uint64_t key, HBITMAP bitmap) {
    int index = kDefault;
    if (bitmap) {
        index = ImageLists()->add(list_, bitmap, nullptr);
        DeleteObject(bitmap);
        if (index < 0) return kDefault;   // out of memory now, perhaps not next time
    }
    seen_.emplace(key, index);
    return index;
}

} // namespace icons
