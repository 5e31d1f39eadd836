#include "formhost.h"

#include <cstring>
#include <utility>
#include "runtime/app.h"
#include "runtime/values.h"
#include "units/queries.h"
#include "forms/windowunit.h"
#include "units/types.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace test {

void (*gOnEvent)(const EventLog&) = nullptr;

std::vector<EventLog>& Events() {
    static std::vector<EventLog> log;
    return log;
}

namespace {

rt::LibraryLink gTestLink;

// --- test handlers -----------------------------------------------------------

enum class Reply { None, False, True };

template <int Tag, Reply R>
bool Handler(int32_t argc, const int64_t* argv, int64_t* result) {
    EventLog e{rt::gApp.currentEvent.window, rt::gApp.currentEvent.unit, Tag, std::vector<int64_t>(argv, argv + argc)};
    Events().push_back(e);
    if (gOnEvent) gOnEvent(e);
    if (R == Reply::None) return false;
    *result = R == Reply::True ? 1 : 0;
    return true;
}

template <int... Tags>
std::vector<rt::HandlerMapEntry> MakeMap(std::integer_sequence<int, Tags...>) {
    std::vector<rt::HandlerMapEntry> map = {
        {100 + Tags, &Handler<Tags, Reply::None>}...,
    };
    std::vector<rt::HandlerMapEntry> f = {{200 + Tags, &Handler<Tags, Reply::False>}...};
    std::vector<rt::HandlerMapEntry> t = {{300 + Tags, &Handler<Tags, Reply::True>}...};
    map.insert(map.end(), f.begin(), f.end());
    map.insert(map.end(), t.begin(), t.end());
    map.push_back({0, nullptr});
    return map;
}

const std::vector<rt::HandlerMapEntry>& HandlerMap() {
    static const std::vector<rt::HandlerMapEntry> map = MakeMap(std::make_integer_sequence<int, 64>());
    return map;
}

// --- test unit types -------------------------------------------------------------

struct TestData {
    std::string caption;
    int32_t extra = 0;
    bool flag = false;
    std::vector<uint8_t> font;
    int32_t pick = 0;
    std::vector<uint8_t> bytes;
};

class TestUnit : public units::UnitWnd {
public:
    TestUnit(uint32_t w, uint32_t u, const char* cls) : UnitWnd(&gTestLink, w, u), cls_(cls) {}
    TestData data;
    std::string scratch;
    const char* cls_;

protected:
    bool OnReflected(UINT msg, WPARAM wp, LPARAM, LRESULT*) override {
        if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED && std::strcmp(cls_, "BUTTON") == 0) {
            Raise(0);
            return true;
        }
        return false;
    }
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        LRESULT r = Default(msg, wp, lp);
        if (msg == WM_SETFOCUS) Raise(-7);
        if (msg == WM_KILLFOCUS) Raise(-8);
        return r;
    }
};

TestUnit* AsUnit(void* o) { return static_cast<TestUnit*>(forms::Wnd::FromHead(o)); }

template <int Kind>
void* CreateTest(const uint8_t* bytes, uint32_t n, DWORD style, HWND parent, UINT id, HMENU, int x, int y, int w,
                 int h, uint32_t windowId, uint32_t unitId, int32_t, int32_t) {
    static const char* const kClasses[] = {"EDIT", "STATIC", "BUTTON", "EDIT"};
    TestUnit* u = new TestUnit(windowId, unitId, kClasses[Kind]);
    if (n) {
        units::DataReader r(bytes, n);
        u->data.caption = r.CountedText();
        u->data.extra = r.Int();
        if (!r.Ok()) {
            delete u;
            return nullptr;
        }
    }
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (Kind == 3) style |= ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL;
    if (Kind == 2 && u->data.extra == 1) style |= BS_DEFPUSHBUTTON;
    if (!u->Create(0, kClasses[Kind], u->data.caption.c_str(), style, x, y, w, h, parent,
                   reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)))) {
        delete u;
        return nullptr;
    }
    return u->Head();
}

int32_t TestChanged(void* o, int32_t index, const uint32_t* d, int32_t) {
    TestUnit* u = AsUnit(o);
    switch (index) {
    case 0: u->data.caption = units::DataText(d); SetWindowTextA(u->hwnd, u->data.caption.c_str()); return 0;
    case 1: {
        bool changed = u->data.extra != static_cast<int32_t>(d[0]);
        u->data.extra = static_cast<int32_t>(d[0]);
        return changed ? 1 : 0;
    }
    case 2: u->data.flag = d[0] != 0; return 0;
    case 3: u->data.font = units::DataBytes(d); return 0;
    case 4: u->data.pick = static_cast<int32_t>(d[0]); return 0;
    case 5: u->data.bytes = units::DataBytes(d); return 0;
    default: return 0;
    }
}

int32_t TestGet(void* o, int32_t index, uint32_t* d) {
    TestUnit* u = AsUnit(o);
    switch (index) {
    case 0: {
        char buf[1024];
        GetWindowTextA(u->hwnd, buf, sizeof buf);
        u->scratch = buf;
        units::PutText(d, u->scratch);
        return 1;
    }
    case 1: d[0] = static_cast<uint32_t>(u->data.extra); return 1;
    case 2: d[0] = u->data.flag ? 1 : 0; return 1;
    case 3: units::PutBytes(d, u->data.font); return 1;
    case 4: d[0] = static_cast<uint32_t>(u->data.pick); return 1;
    case 5: units::PutBytes(d, u->data.bytes); return 1;
    default: return 0;
    }
}

HGLOBAL TestAll(void* o) {
    TestUnit* u = AsUnit(o);
    return units::ToGlobal(TestUnitData(u->data.caption, u->data.extra));
}

int32_t TestIsDefault(void* o) { return (GetWindowLongPtrA(AsUnit(o)->hwnd, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON; }

int32_t TestWantsKey(void* o, int32_t key) {
    return key == VK_RETURN && (GetWindowLongPtrA(AsUnit(o)->hwnd, GWL_STYLE) & ES_MULTILINE) ? 1 : 0;
}

template <int Kind>
void* QueryTest(int32_t number) {
    switch (number) {
    case rt::kIfCreate: return reinterpret_cast<void*>(&CreateTest<Kind>);
    case rt::kIfPropertyChanged: return reinterpret_cast<void*>(&TestChanged);
    case rt::kIfAllPropertyData: return reinterpret_cast<void*>(&TestAll);
    case rt::kIfGetPropertyData: return reinterpret_cast<void*>(&TestGet);
    case rt::kIfWantsKey: return (Kind == 0 || Kind == 3) ? reinterpret_cast<void*>(&TestWantsKey) : nullptr;
    case rt::kIfIsDefaultButton: return Kind == 2 ? reinterpret_cast<void*>(&TestIsDefault) : nullptr;
    default: return nullptr;
    }
}

#define P(type) {nullptr, nullptr, nullptr, type, nullptr}
const rt::PropertyEntry kTestProps[] = {
    P(1001), P(1001), P(1001), P(1001), P(1005), P(1003), P(1003), P(1011),
    P(1005), P(1001), P(1003), P(1013), P(1006), P(1009),
};
#undef P

rt::UnitTypeRecord TestType(const char* name, uint32_t flags, rt::InterfaceQueryFn q) {
    rt::UnitTypeRecord t = {};
    t.name = name;
    t.englishName = name;
    t.flags = flags;
    t.propertyCount = 14;
    t.properties = kTestProps;
    t.query = q;
    return t;
}

rt::UnitTypeRecord gCoreTypes[51];
rt::UnitTypeRecord gExtTypes[9];

intptr_t TestNotify(int32_t code, intptr_t v1, intptr_t) {
    if (code == rt::kCbStart) gTestLink.Attach(reinterpret_cast<rt::RuntimeCallback>(v1));
    return code == rt::kCbStart ? 0 : -1;
}

rt::LibraryRecord gLib1, gLib2;
const rt::LibraryRecord* gLibs[2] = {&gLib1, &gLib2};
rt::ProgramHeader gHeader;
std::vector<uint8_t> gTemplate;

} // namespace

const rt::HandlerMapEntry* const kTestHandlers = HandlerMap().data();

std::vector<uint8_t> TestUnitData(const std::string& caption, int32_t extra) {
    units::DataWriter w;
    w.Counted(caption).Int(extra);
    return w.Take();
}

void StartFormsRuntime(const std::vector<uint8_t>& formTemplate, const rt::HandlerMapEntry* handlers) {
    static bool started = false;
    gTemplate = formTemplate;
    if (!started) {
        started = true;
        gCoreTypes[0] = TestType("window", rt::kTfCanRaise40, units::WindowQuery);
        gCoreTypes[0].propertyCount = 32;
        static rt::PropertyEntry windowProps[32];
        const uint32_t kWindowCodes[32] = {1001, 1001, 1001, 1001, 1005, 1003, 1003, 1011, 1005, 1006, 1017,
                                           1009, 1006, 1012, 1006, 1003, 1003, 1003, 1006, 1003, 1010, 1003,
                                           1003, 1003, 1016, 1001, 1003, 1003, 1006, 1003, 1003, 1005};
        for (int i = 0; i < 32; i++) windowProps[i].type = kWindowCodes[i];
        gCoreTypes[0].properties = windowProps;
        gCoreTypes[2] = TestType("menu", rt::kTfCanRaise40, units::MenuItemQuery);
        gCoreTypes[2].propertyCount = 4;
        gCoreTypes[4] = TestType("edit", rt::kTfCanRaise40, QueryTest<0>);
        gCoreTypes[9] = TestType("label", rt::kTfCanRaise40, QueryTest<1>);
        gCoreTypes[10] = TestType("button", rt::kTfCanRaise40 | rt::kTfDefaultButton, QueryTest<2>);
        gExtTypes[5] = TestType("multi", rt::kTfCanRaise40, QueryTest<3>);
        // The check box, combo box, progress bar and list view are the real ones.
        for (int slot : {5, 6, 7}) gCoreTypes[slot] = units::kCoreTypes[slot];
        gExtTypes[6] = units::kExtTypes[6];
        gLib1.marker = gLib2.marker = rt::kLibraryMarker;
        gLib1.typeCount = 51;
        gLib1.types = gCoreTypes;
        gLib1.notify = TestNotify;
        gLib2.typeCount = 9;
        gLib2.types = gExtTypes;
        gHeader.buildKind = 3;
        gHeader.codeBase = handlers;
        gHeader.formTemplate = gTemplate.data();
        gHeader.formTemplateSize = static_cast<uint32_t>(gTemplate.size());
        gHeader.libraryCount = 2;
        gHeader.libraries = gLibs;
        rt::gApp.header = &gHeader;
        rt::InitRuntime();
        return;
    }
    std::vector<forms::WindowEntry> windows;
    forms::ReadTemplate(gTemplate.data(), static_cast<uint32_t>(gTemplate.size()), handlers, &windows);
    rt::gApp.windows.Clear();
    rt::gApp.windows.Append(std::move(windows));
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        rt::PumpPendingMessages();
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace test
