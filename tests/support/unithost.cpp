#include "unithost.h"

#include "runtime/values.h"

namespace test {

namespace {
UnitHost* gHost = nullptr;
}

UnitHost::UnitHost(rt::LibraryLink* link) : link_(link) {
    gHost = this;
    rt::MemInit(GetProcessHeap());
    link_->Attach(&UnitHost::Callback);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "TestUnitHost";
    RegisterClassA(&wc);
    // Notifications reach the controls' objects through the framework's
    // reflection, so the parent is a framework window of its own.
    forms::Wnd::RegisterClass("TestUnitParent", CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                              reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    static forms::Wnd parentObject;
    if (parentObject.hwnd) DestroyWindow(parentObject.hwnd);
    parentObject.Create(0, "TestUnitParent", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600,
                        nullptr, nullptr);
    parent_ = parentObject.hwnd;
    ShowWindow(parent_, SW_SHOW);
}

UnitHost::~UnitHost() {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    Pump();
    link_->Detach();
    gHost = nullptr;
}

void* UnitHost::Create(rt::InterfaceQueryFn query, const std::vector<uint8_t>& data, int x, int y, int w, int h,
                       DWORD style, uint32_t unitId, UINT controlId) {
    auto create = reinterpret_cast<units::CreateFn>(query(rt::kIfCreate));
    if (!create) return nullptr;
    void* o = create(data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()), style, parent_,
                     controlId, nullptr, x, y, w, h, kWindowId, unitId, 0, 0);
    if (o) {
        units_.push_back({unitId, o});
        ShowWindow(Handle(o), SW_SHOWNA);
    }
    return o;
}

int32_t UnitHost::Changed(rt::InterfaceQueryFn query, void* object, int32_t index, uint32_t p0, uint32_t p1) {
    auto fn = reinterpret_cast<units::PropertyChangedFn>(query(rt::kIfPropertyChanged));
    uint32_t data[2] = {p0, p1};
    return fn ? fn(object, index, data, 0) : -1;
}

bool UnitHost::Get(rt::InterfaceQueryFn query, void* object, int32_t index, uint32_t* p0, uint32_t* p1) {
    auto fn = reinterpret_cast<units::GetPropertyDataFn>(query(rt::kIfGetPropertyData));
    uint32_t data[2] = {0, 0};
    bool ok = fn && fn(object, index, data) != 0;
    if (p0) *p0 = data[0];
    if (p1) *p1 = data[1];
    return ok;
}

std::vector<uint8_t> UnitHost::AllData(rt::InterfaceQueryFn query, void* object) {
    auto fn = reinterpret_cast<units::AllPropertyDataFn>(query(rt::kIfAllPropertyData));
    HGLOBAL g = fn ? fn(object) : nullptr;
    if (!g) return {};
    const uint8_t* p = static_cast<const uint8_t*>(GlobalLock(g));
    std::vector<uint8_t> bytes(p, p + GlobalSize(g));
    GlobalUnlock(g);
    GlobalFree(g);
    return bytes;
}

void UnitHost::Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

intptr_t UnitHost::Callback(int32_t code, intptr_t v1, intptr_t v2) {
    UnitHost* h = gHost;
    switch (code) {
    case rt::kCbAlloc: return reinterpret_cast<intptr_t>(v2 == 0 ? rt::MemAlloc(static_cast<uint32_t>(v1))
                                                                 : rt::MemAllocPlain(static_cast<uint32_t>(v1)));
    case rt::kCbFree: rt::MemFree(reinterpret_cast<void*>(v1)); return 0;
    case rt::kCbRealloc: return reinterpret_cast<intptr_t>(rt::MemRealloc(reinterpret_cast<void*>(v1), static_cast<uint32_t>(v2)));
    case rt::kCbFreeArray: rt::FreeArray(static_cast<uint32_t>(v1), reinterpret_cast<void*>(v2)); return 0;
    case rt::kCbDestroyed:
        if (h) {
            h->destroyed.push_back(static_cast<uint32_t>(v2));
            for (auto& u : h->units_)
                if (u.first == static_cast<uint32_t>(v2)) u.second = nullptr;
        }
        return 0;
    case rt::kCbUnitObject:
    case rt::kCbUnitObjectOrError:
        if (h)
            for (auto& u : h->units_)
                if (u.first == static_cast<uint32_t>(v2) && u.second) return reinterpret_cast<intptr_t>(u.second);
        return 0;
    case rt::kCbRaiseEvent: {
        if (!h) return 0;
        rt::EventRecord* ev = reinterpret_cast<rt::EventRecord*>(v1);
        RaisedEvent e{ev->window, ev->unit, ev->index, std::vector<int32_t>(ev->args, ev->args + ev->argc)};
        h->events.push_back(e);
        int32_t value = 0;
        if (h->handler && h->handler(e, &value)) {
            ev->returned = 1;
            ev->value = value;
        }
        return 1;
    }
    default: return 0;
    }
}

} // namespace test
