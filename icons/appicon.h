// App icons for the package list: an app's launcher icon (PNG bytes from its
// APK, `appnames::AppLabel::icon`) decoded by the Windows Imaging Component and
// scaled to a list row's square, and a plain icon for apps that have none.
//
// Every bitmap made here is a size×size 32-bpp top-down DIB section in
// straight (not premultiplied) BGRA, the form ImageList_Add takes for an
// ILC_COLOR32 list: the image list premultiplies what it is given itself,
// so a premultiplied bitmap would draw its soft edges too dark.
//
// Threads: an `AppIconDecoder` (and so an `AppIconList`) belongs to the thread
// that made it and is destroyed there. It works whether or not that thread
// had COM: it enters the single-threaded apartment itself when the thread is
// in none, and leaves it when destroyed. An icon costs about 0.4 ms under
// Wine (bench/RESULTS_appicon.md), so a phone's few hundred at once are
// better decoded by the worker thread that read the names, with a decoder of
// its own, and handed to the list (a bitmap may change threads).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <string>
#include <unordered_map>

struct IWICImagingFactory;

namespace icons {

// A launcher icon is at most 192 px a side (xxxhdpi; an adaptive icon's
// layer 432 px) and a store icon 512 px: 1024 leaves room and bounds what a
// decode holds to 4 MB, whatever size a hostile APK's header claims.
constexpr uint32_t kAppIconMaxSide = 1024;
// Such an icon is a few KB and the device layer takes at most 1 MB of one.
constexpr size_t kAppIconMaxPngBytes = 2u << 20;

// Decodes PNG icons with one imaging factory, on one thread.
class AppIconDecoder {
public:
    AppIconDecoder();
    ~AppIconDecoder();
    AppIconDecoder(const AppIconDecoder&) = delete;
    AppIconDecoder& operator=(const AppIconDecoder&) = delete;

    // False when the imaging component is missing: every Decode gives null.
    bool Ready() const { return factory_ != nullptr; }

    // `png` scaled to fit size×size with its aspect ratio kept, centred on
    // transparent; the caller owns it. Null for anything but a PNG within
    // the caps above, a damaged one, or one with nothing visible.
    HBITMAP Decode(const std::string& png, int size) const;

private:
    IWICImagingFactory* factory_ = nullptr;
    bool leaveCom_ = false;   // this object entered COM on its thread
};

// The icon of an app without a bitmap one: a grey rounded square with a
// white ring; the caller owns it. Null only when GDI has no memory left.
HBITMAP MakeDefaultAppIcon(int size);

// An ILC_COLOR32 image list of app icons for a list view that gets a few
// hundred of them as names arrive. Image 0 is the default icon; an icon
// seen before (the same bytes) keeps its image, so reading the names again
// adds nothing. The list is owned here: take it back from the list view
// (LVM_SETIMAGELIST with none) before the view is destroyed, or give the
// view LVS_SHAREIMAGELISTS, and destroy the view first.
class AppIconList {
public:
    static constexpr int kDefault = 0;

    explicit AppIconList(int size);
    ~AppIconList();
    AppIconList(const AppIconList&) = delete;
    AppIconList& operator=(const AppIconList&) = delete;

    // Null when the common controls could not make a list.
    HIMAGELIST Handle() const { return list_; }
    int Size() const { return size_; }

    // The image of `png`, added on first sight; kDefault when it is empty or
    // does not decode.
    int Add(const std::string& png);

private:
    int Store(uint64_t key, HBITMAP bitmap);

    AppIconDecoder decoder_;
    HIMAGELIST list_ = nullptr;
    int size_;
    std::unordered_map<uint64_t, int> seen_;   // bytes' hash -> image
};

} // namespace icons
