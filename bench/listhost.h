// A list view unit for the benchmarks, as the runtime would host it: one
// list of package columns in a shown parent window, its library commands
// called directly, and the runtime's side of them (the list's own object for
// code 2007, memory for results; events need no answer).
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "forms/wnd.h"
#include "runtime/library.h"
#include "runtime/values.h"
#include "units/extlib.h"
#include "units/queries.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace bench {

class ListHost {
public:
    static constexpr uint32_t kWindowId = 0x52010002;
    static constexpr uint32_t kListUnit = 0x16010050;

    // The six columns of the package manager's list, 860 by 540 pixels.
    ListHost() {
        rt::MemInit(GetProcessHeap());
        units::gExtLink.Attach(Callback);
        forms::Wnd::RegisterClass("BenchListParent", 0, LoadCursorA(nullptr, IDC_ARROW),
                                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        parent_.Create(0, "BenchListParent", "bench", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 900, 600, nullptr,
                       nullptr);
        ShowWindow(parent_.hwnd, SW_SHOW);
        data.checkBoxes = true;
        data.columns = {{"包名", 260, 0}, {"状态", 60, 0}, {"类型", 50, 0}, {"风险", 80, 0}, {"路径", 300, 0}, {"上次操作", 120, 0}};
        std::vector<uint8_t> bytes = units::Encode(data);
        auto create = reinterpret_cast<units::CreateFn>(units::ListViewQuery(rt::kIfCreate));
        Object() = create(bytes.data(), static_cast<uint32_t>(bytes.size()), WS_VISIBLE | WS_TABSTOP, parent_.hwnd, 100,
                          nullptr, 10, 10, 860, 540, kWindowId, kListUnit, 0, 0);
        list = Object() ? static_cast<rt::ControlHead*>(Object())->hwnd : nullptr;
    }
    ~ListHost() { DestroyWindow(parent_.hwnd); }

    HWND Parent() const { return parent_.hwnd; }

    static void Command(int index, std::vector<rt::ArgRecord> args) {
        args.insert(args.begin(), rt::MakeArg(rt::kTypeListView, kWindowId, kListUnit));
        rt::ArgRecord result = {};
        units::kExtCommands[index](&result, static_cast<int32_t>(args.size()), args.data());
    }
    static rt::ArgRecord Text(const std::string& s) {
        return rt::MakeArg(rt::kTypeText, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(s.c_str())));
    }
    static void Pump() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }

    units::ListViewData data;
    HWND list = nullptr;   // null when the unit made no control

private:
    static void*& Object() {
        static void* object = nullptr;
        return object;
    }
    static intptr_t Callback(int32_t code, intptr_t v1, intptr_t) {
        switch (code) {
        case rt::kCbUnitObjectOrError: return reinterpret_cast<intptr_t>(Object());
        case rt::kCbAlloc: return reinterpret_cast<intptr_t>(rt::MemAlloc(static_cast<uint32_t>(v1)));
        case rt::kCbFree: rt::MemFree(reinterpret_cast<void*>(v1)); return 0;
        default: return 0;
        }
    }

    forms::Wnd parent_;
};

} // namespace bench
