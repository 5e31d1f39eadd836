// App icons for a phone's 369 apps: every icon decoded, scaled to 16 px and
// added to a new image list, against filling the list view with the same
// 369 rows and painting it (what the user waits on anyway when the names
// arrive). Each is taken in turn, five rounds; prints the medians, the
// decoding alone, the cost per icon and the ratio of icons to list fill.
// Icons are distinct 48 px RGBA PNGs (mdpi, the density a 16 px row is read
// at), every tenth 72 px and every tenth 96 px, as for apps without mdpi.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <cstdio>
#include <string>
#include <vector>
#include "bench/listhost.h"
#include "bench/measure.h"
#include "tests/support/png.h"
#include "icons/appicon.h"

namespace {

constexpr int kApps = 369;
constexpr int kRounds = 5;
using bench::ListHost;

// A launcher-like icon: a shaded disc of the app's own colour on transparent.
std::string Icon(int app) {
    uint32_t side = app % 10 == 0 ? 96 : (app % 10 == 1 ? 72 : 48);
    uint32_t r = 40 + app % 200, g = 40 + app * 91 % 200, b = 40 + app / 200 * 100;   // no two alike
    return test::Png(side, side, [=](uint32_t x, uint32_t y) {
        double dx = x + 0.5 - side / 2.0, dy = y + 0.5 - side / 2.0, radius = side * 0.45;
        if (dx * dx + dy * dy > radius * radius) return 0u;
        uint32_t shade = 255 - 80 * y / side;
        return ((r * shade / 255) << 24) | ((g * shade / 255) << 16) | ((b * shade / 255) << 8) | 0xFF;
    });
}

std::string Rows() {
    std::string s;
    for (int i = 0; i < kApps; ++i) {
        std::string name = "com.vendor" + std::to_string(i % 7) + ".app" + std::to_string(i * 7919 % 100000);
        s += name + "\t已启用\t" + (i % 4 ? "系统" : "用户") + "\t\t/system/app/" + name + "/base.apk\t\r\n";
    }
    return s;
}

} // namespace

int main() {
    OleInitialize(nullptr);   // as the runtime does on the UI thread
    ListHost host;
    if (!host.list) {
        std::fprintf(stderr, "no list view\n");
        return 1;
    }
    HWND list = host.list;

    std::vector<std::string> icons;
    size_t iconBytes = 0;
    for (int i = 0; i < kApps; ++i) {
        icons.push_back(Icon(i));
        iconBytes += icons.back().size();
    }
    const std::string rows = Rows();
    const std::string noRows;

    std::vector<double> fill, iconsMs, decodeMs, ratios;
    for (int round = 0; round < kRounds; ++round) {
        ListHost::Command(2, {ListHost::Text(noRows)});
        UpdateWindow(list);
        ListHost::Pump();
        double t0 = bench::NowMs();
        ListHost::Command(2, {ListHost::Text(rows)});
        UpdateWindow(list);
        fill.push_back(bench::NowMs() - t0);
        ListHost::Pump();

        t0 = bench::NowMs();
        {
            icons::AppIconList images(16);
            for (const std::string& png : icons)
                if (images.Add(png) == icons::AppIconList::kDefault) std::fprintf(stderr, "an icon did not decode\n");
        }
        iconsMs.push_back(bench::NowMs() - t0);

        icons::AppIconDecoder decoder;
        t0 = bench::NowMs();
        for (const std::string& png : icons) DeleteObject(decoder.Decode(png, 16));
        decodeMs.push_back(bench::NowMs() - t0);
        ratios.push_back(iconsMs.back() / fill.back());
    }
    std::printf("apps\ticon_kb\tlist_fill_ms\ticons_ms\tdecode_only_ms\tus_per_icon\ticons_to_fill\n");
    std::printf("%d\t%.0f\t%.2f\t%.2f\t%.2f\t%.0f\t%.2f\n", kApps, iconBytes / 1024.0, bench::Median(fill),
                bench::Median(iconsMs), bench::Median(decodeMs), bench::Median(iconsMs) * 1000 / kApps,
                bench::Median(ratios));
    OleUninitialize();
    return 0;
}
