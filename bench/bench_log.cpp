// Figures for the command log (the rich edit box) under large outputs.
//   sweep        replacing a log of 4 KB to 256 KB with as much again: the
//                control emptied in place against a fresh control, to place
//                the size above which a write takes a fresh control
//   big [MB...]  writing 1, 10 and 50 MB of short lines over a log that
//                already holds as much, against the same text written into
//                an empty log in the same run (default sizes 1 10 50), and
//                how many of the lines the log kept
// Each prints a table on stdout.
#include <windows.h>
#include <richedit.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "forms/wnd.h"
#include "runtime/library.h"
#include "runtime/values.h"
#include "units/extlib.h"
#include "units/queries.h"
#include "units/richedit.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace {

constexpr uint32_t kWindowId = 0x52010001;
constexpr uint32_t kLogUnit = 0x16010049;

HWND gParent = nullptr;

// The runtime's side: the log's events and the report of its destroyed
// control need no answer here.
intptr_t Callback(int32_t, intptr_t, intptr_t) { return 0; }

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

// The program's log: multi-line without wrap, single-line border.
void* MakeLog() {
    units::RichEditData d;
    d.border = 5;
    d.autoWrap = false;
    std::vector<uint8_t> bytes = units::Encode(d);
    auto create = reinterpret_cast<units::CreateFn>(units::RichEditQuery(rt::kIfCreate));
    void* o = create(bytes.data(), static_cast<uint32_t>(bytes.size()), WS_TABSTOP | WS_VISIBLE, gParent, 100,
                     nullptr, 75, 135, 589, 225, kWindowId, kLogUnit, 0, 0);
    if (!o) {
        std::fprintf(stderr, "no rich edit control\n");
        std::exit(1);
    }
    return o;
}

HWND Handle(void* o) { return static_cast<rt::ControlHead*>(o)->hwnd; }

void Drop(void* o) {
    DestroyWindow(Handle(o));
    Pump();
}

// Seconds for one write of the whole content.
double Write(void* o, const std::string& text) {
    static auto changed = reinterpret_cast<units::PropertyChangedFn>(units::RichEditQuery(rt::kIfPropertyChanged));
    uint32_t data[2] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(text.c_str())), 0};
    double start = Now();
    changed(o, 1, data, 0);
    double t = Now() - start;
    Pump();
    return t;
}

// Short lines as the list commands print them, `bytes` long at least.
std::string Packages(size_t bytes) {
    std::string s;
    s.reserve(bytes + 64);
    char line[64];
    for (int i = 0; s.size() < bytes; ++i) {
        std::snprintf(line, sizeof line, "package:com.example.app%06d\r\n", i);
        s += line;
    }
    return s;
}

// Median seconds of replacing a log holding `text` with `text` again.
double Replace(const std::string& text, size_t threshold, int runs) {
    units::gFreshControlAbove = threshold;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        void* o = MakeLog();
        Write(o, text);
        times.push_back(Write(o, text));
        Drop(o);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Sweep() {
    const size_t saved = units::gFreshControlAbove;
    std::printf("replacing a log holding as much (median)\n");
    std::printf("%8s %8s %14s %14s %8s\n", "size", "lines", "in place ms", "fresh ms", "ratio");
    for (size_t kb : {1, 2, 4, 8, 16, 32, 64, 128, 256}) {
        std::string text = Packages(kb * 1024);
        int runs = kb <= 16 ? 15 : kb <= 64 ? 5 : 1;
        double inPlace = Replace(text, static_cast<size_t>(-1), runs);
        double fresh = Replace(text, 0, runs);
        std::printf("%6zuKB %8zu %14.2f %14.2f %8.2f\n", kb, text.size() / 31, inPlace * 1e3, fresh * 1e3,
                    inPlace / fresh);
        std::fflush(stdout);
    }
    units::gFreshControlAbove = saved;
}

void Big(const std::vector<int>& sizes) {
    std::printf("writing over a log holding as much (threshold %zu characters)\n", units::gFreshControlAbove);
    std::printf("%6s %9s %9s %14s %14s %8s %12s\n", "MB", "lines", "shown", "into empty s", "over full s", "ratio",
                "drop s");
    for (int mb : sizes) {
        std::string text = Packages(static_cast<size_t>(mb) << 20);
        long written = static_cast<long>(std::count(text.begin(), text.end(), '\n')) + 1;
        void* o = MakeLog();
        double empty = Write(o, text);
        double over = Write(o, text);
        // A log the address space cannot hold ends with a line of its own.
        long shown = static_cast<long>(SendMessageA(Handle(o), EM_GETLINECOUNT, 0, 0));
        if (shown < written) --shown;
        double start = Now();
        Drop(o);
        double drop = Now() - start;
        std::printf("%6d %9ld %9ld %14.2f %14.2f %8.2f %12.2f\n", mb, written, shown, empty, over, over / empty, drop);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    rt::MemInit(GetProcessHeap());
    units::gExtLink.Attach(&Callback);
    forms::Wnd::RegisterClass("BenchLogParent", 0, LoadCursorA(nullptr, IDC_ARROW),
                              reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    static forms::Wnd parent;
    parent.Create(0, "BenchLogParent", "log", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr,
                  nullptr);
    gParent = parent.hwnd;
    ShowWindow(gParent, SW_SHOW);
    Pump();

    std::string mode = argc > 1 ? argv[1] : "big";
    if (mode == "sweep") {
        Sweep();
    } else {
        std::vector<int> sizes;
        for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
        if (sizes.empty()) sizes = {1, 10, 50};
        Big(sizes);
    }
    DestroyWindow(gParent);
    return 0;
}
