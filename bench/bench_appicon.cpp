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
#include "bench/measure.h"
#include "forms/wnd.h"
#include "runtime/library.h"
#include "runtime/values.h"
#include "tests/support/png.h"
#include "units/appicon.h"
#include "units/extlib.h"
#include "units/queries.h"
#include "units/unit.h"
#include "units/unitdata.h"

namespace {

constexpr int kApps = 369;
constexpr int kRounds = 5;
constexpr uint32_t kWindowId = 0x52010003;
constexpr uint32_t kListUnit = 0x16010051;

void* gList = nullptr;

intptr_t Callback(int32_t code, intptr_t v1, intptr_t) {
    switch (code) {
    case rt::kCbUnitObjectOrError: return reinterpret_cast<intptr_t>(gList);
    case rt::kCbAlloc: return reinterpret_cast<intptr_t>(rt::MemAlloc(static_cast<uint32_t>(v1)));
    case rt::kCbFree: rt::MemFree(reinterpret_cast<void*>(v1)); return 0;
    default: return 0;
    }
}

void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

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

void Command(int index, std::vector<rt::ArgRecord> args) {
    args.insert(args.begin(), rt::MakeArg(rt::kTypeListView, kWindowId, kListUnit));
    rt::ArgRecord result = {};
    units::kExtCommands[index](&result, static_cast<int32_t>(args.size()), args.data());
}

} // namespace

int main() {
    rt::MemInit(GetProcessHeap());
    OleInitialize(nullptr);   // as the runtime does on the UI thread
    units::gExtLink.Attach(Callback);
    forms::Wnd::RegisterClass("BenchIconParent", 0, LoadCursorA(nullptr, IDC_ARROW),
                              reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    static forms::Wnd parent;
    parent.Create(0, "BenchIconParent", "bench", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 900, 600, nullptr,
                  nullptr);
    ShowWindow(parent.hwnd, SW_SHOW);
    units::ListViewData d;
    d.checkBoxes = true;
    d.columns = {{"包名", 260, 0}, {"状态", 60, 0}, {"类型", 50, 0}, {"风险", 80, 0}, {"路径", 300, 0}, {"上次操作", 120, 0}};
    std::vector<uint8_t> bytes = units::Encode(d);
    auto create = reinterpret_cast<units::CreateFn>(units::ListViewQuery(rt::kIfCreate));
    gList = create(bytes.data(), static_cast<uint32_t>(bytes.size()), WS_VISIBLE | WS_TABSTOP, parent.hwnd, 100,
                   nullptr, 10, 10, 860, 540, kWindowId, kListUnit, 0, 0);
    if (!gList) {
        std::fprintf(stderr, "no list view\n");
        return 1;
    }
    HWND list = static_cast<rt::ControlHead*>(gList)->hwnd;

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
        Command(2, {rt::MakeArg(rt::kTypeText, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(noRows.c_str())))});
        UpdateWindow(list);
        Pump();
        double t0 = bench::NowMs();
        Command(2, {rt::MakeArg(rt::kTypeText, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(rows.c_str())))});
        UpdateWindow(list);
        fill.push_back(bench::NowMs() - t0);
        Pump();

        t0 = bench::NowMs();
        {
            units::AppIconList images(16);
            for (const std::string& png : icons)
                if (images.Add(png) == units::AppIconList::kDefault) std::fprintf(stderr, "an icon did not decode\n");
        }
        iconsMs.push_back(bench::NowMs() - t0);

        units::AppIconDecoder decoder;
        t0 = bench::NowMs();
        for (const std::string& png : icons) DeleteObject(decoder.Decode(png, 16));
        decodeMs.push_back(bench::NowMs() - t0);
        ratios.push_back(iconsMs.back() / fill.back());
    }
    std::printf("apps\ticon_kb\tlist_fill_ms\ticons_ms\tdecode_only_ms\tus_per_icon\ticons_to_fill\n");
    std::printf("%d\t%.0f\t%.2f\t%.2f\t%.2f\t%.0f\t%.2f\n", kApps, iconBytes / 1024.0, bench::Median(fill),
                bench::Median(iconsMs), bench::Median(decodeMs), bench::Median(iconsMs) * 1000 / kApps,
                bench::Median(ratios));
    DestroyWindow(parent.hwnd);
    OleUninitialize();
    return 0;
}
