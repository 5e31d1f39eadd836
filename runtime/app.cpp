#include "app.h"

#include <ole2.h>
#include <algorithm>
#include <cstring>
#include "dll.h"
#include "errors.h"
#include "forms/forms.h"
#include "modules.h"
#include "syscalls.h"

namespace rt {

AppState gApp;

namespace {

const char kHideOwnerClass[] = "_QD_HideOwner";
constexpr UINT kMsgExitOnMainThread = 0x83E7;

bool gIdleCycleStarted = false;
DWORD gIdleCycleStart = 0;
std::vector<uint32_t> gNoMoreIdle;   // windows that want no more idle time this cycle
POINT gLastMousePos = {-1, -1};
UINT gLastMouseMsg = 0;

LRESULT CALLBACK HideOwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kMsgExitOnMainThread) Exit(static_cast<int32_t>(wp));
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void CreateHiddenOwner() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HideOwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = kHideOwnerClass;
    RegisterClassA(&wc);
    gApp.hiddenOwner = CreateWindowExA(WS_EX_TOOLWINDOW, kHideOwnerClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                       wc.hInstance, nullptr);
}

void SplitModulePath() {
    char path[260] = {};
    DWORD n = gSys.GetModuleFileNameA(nullptr, path, sizeof path);
    if (n >= sizeof path) n = sizeof path - 1;
    path[n] = 0;
    const char* slash = std::strrchr(path, '\\');
    if (!slash) {
        gApp.runDirectory.clear();
        gApp.exeName = path;
        return;
    }
    gApp.runDirectory.assign(path, static_cast<size_t>(slash - path));
    gApp.exeName = slash + 1;
    gSys.SetCurrentDirectoryA(gApp.runDirectory.c_str());
}

void ReadFormTemplate(const ProgramHeader* h) {
    if (h->formTemplateSize == 0) return;
    std::vector<forms::WindowEntry> windows;
    forms::ReadResult r = forms::ReadTemplate(static_cast<const uint8_t*>(h->formTemplate), h->formTemplateSize,
                                              h->codeBase, &windows);
    if (r != forms::ReadResult::Ok) ReportError("载入窗口模板数据段出错!", 0, 0, 0);
    gApp.windows.Append(std::move(windows));
}

// A message that does not end idle time: a repeated mouse move, painting and
// the system timer.
bool IsIdleMessage(const MSG& m) {
    if (m.message == WM_MOUSEMOVE || m.message == WM_NCMOUSEMOVE) {
        if (gLastMouseMsg == m.message && gLastMousePos.x == m.pt.x && gLastMousePos.y == m.pt.y) return false;
        gLastMousePos = m.pt;
        gLastMouseMsg = m.message;
        return true;
    }
    return m.message != WM_PAINT && m.message != 0x0118;
}

// The message filter: thread messages have no handler here; everything else
// goes through the window objects' pre-translation chain.
bool PreTranslate(MSG* m) {
    if (!m->hwnd) return false;
    return forms::PreTranslate(m);
}

// Fetches and dispatches one message; false on WM_QUIT.
bool PumpMessage(MSG* m) {
    if (GetMessageA(m, nullptr, 0, 0) <= 0) return false;
    if (!PreTranslate(m)) {
        TranslateMessage(m);
        DispatchMessageA(m);
    }
    return true;
}

bool SameIdleEntry(const IdleEntry& a, const IdleEntry& b) {
    return a.window == b.window && a.callback == b.callback && a.argument == b.argument;
}

// A callback may add or remove entries, its own among them: the pass walks a
// copy of the list, and runs an entry only while the list still holds it.
void RunIdleCallbacks() {
    const std::vector<IdleEntry> pass = gApp.idle;
    for (size_t i = pass.size(); i-- > 0;) {
        const IdleEntry& e = pass[i];
        auto live = std::find_if(gApp.idle.begin(), gApp.idle.end(),
                                 [&](const IdleEntry& x) { return SameIdleEntry(x, e); });
        if (live == gApp.idle.end()) continue;
        if (IsWindow(e.window))
            e.callback(e.argument);
        else
            gApp.idle.erase(live);
    }
}

// The application's idle hook. The framework's own idle work takes the first
// two passes (n = 0 and 1); from the third pass on the windows get event 7.
bool OnIdle(long n) {
    if (n == 0) {
        gIdleCycleStarted = true;
        gIdleCycleStart = GetTickCount();
        gNoMoreIdle.clear();
    }
    if (n <= 1) return true;
    DWORD elapsed = GetTickCount() - gIdleCycleStart;
    bool more = false;
    for (uint32_t id : forms::LiveWindows()) {
        if (std::find(gNoMoreIdle.begin(), gNoMoreIdle.end(), id) != gNoMoreIdle.end()) continue;
        EventRecord ev = {};
        ev.window = id;
        ev.index = 7;
        ev.argc = 1;
        ev.args[0] = static_cast<int32_t>(elapsed);
        if (forms::RaiseEvent(&ev, false) && ev.returned && ev.value)
            more = true;
        else
            gNoMoreIdle.push_back(id);
    }
    return more;
}

bool ModalEnded(uint32_t modal) { return !forms::WindowHandle(modal); }

} // namespace

void RegisterEndRoutine(EndRoutine routine) {
    if (!routine) return;
    if (std::find(gApp.endRoutines.begin(), gApp.endRoutines.end(), routine) == gApp.endRoutines.end())
        gApp.endRoutines.push_back(routine);
}

void BeginBusy() {
    PumpPendingMessages();
    gApp.busy++;
}

void EndBusy() {
    PumpPendingMessages();
    if (gApp.busy > 0) gApp.busy--;
}

void PumpPendingMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) {
        if (m.message == WM_QUIT) break;
        PumpMessage(&m);
    }
}

void MessageLoop(uint32_t modal) {
    bool idle = true;
    long count = 0;
    MSG m;
    for (;;) {
        while (idle && !PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) {
            RunIdleCallbacks();
            if (!OnIdle(count++)) idle = false;
            if (modal && ModalEnded(modal)) return;
        }
        do {
            if (modal && PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE) && m.message == WM_QUIT) return;
            if (!PumpMessage(&m)) {
                // Leave the quit message for the outer loop when this one is modal.
                if (modal) PostQuitMessage(static_cast<int>(m.wParam));
                return;
            }
            if (modal && ModalEnded(modal)) return;
            if (IsIdleMessage(m)) {
                idle = true;
                count = 0;
            }
        } while (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    }
}

void InitRuntime() {
    const ProgramHeader* h = gApp.header;
    MemInit(gSys.GetProcessHeap());
    gApp.buildKind = h->buildKind;
    gApp.headerValue2 = h->value2;
    gApp.headerValue3 = h->value3 + 1;
    if (!gApp.oleInitialised) gApp.oleInitialised = SUCCEEDED(gSys.OleInitialize(nullptr));
    SplitModulePath();
    CreateHiddenOwner();
    gApp.mainThread = GetCurrentThreadId();
    if (h->constantsSize > 0) MemSetConstantBlock(h->constants, h->constantsSize);
    if (h->dllCount > 0) DllInitTables(h->dllCount, h->dllLibraryNames, h->dllFunctionNames);
    for (int32_t i = 0; i < h->libraryCount; i++) {
        const LibraryRecord* lib = h->libraries[i];
        if (lib && lib->notify) lib->notify(kCbStart, reinterpret_cast<intptr_t>(&RuntimeCallbackEntry), 0);
    }
    gApp.libraries.assign(h->libraries, h->libraries + h->libraryCount);
    gApp.libraryWords.assign(static_cast<size_t>(h->libraryCount), 0);
    ReadFormTemplate(h);
}

void LoadStartupWindow(uint32_t windowId) {
    forms::WindowEntry* entry = gApp.windows.Find(windowId);
    if (!entry || !forms::LoadWindow(entry, false, false, nullptr))
        ReportError("载入启动窗口失败", 0, static_cast<int32_t>(windowId), 0);
}

void EndSequence(int32_t c) {
    // Another thread hands the whole sequence to the main thread, busy counter
    // included: the counter belongs to the main thread and is never locked.
    if (gApp.mainThread && GetCurrentThreadId() != gApp.mainThread) {
        SendMessageA(gApp.hiddenOwner, kMsgExitOnMainThread, static_cast<WPARAM>(c), 0);
        if (!gApp.shutdownStarted) gSys.ExitProcess(static_cast<UINT>(c));
        return;
    }
    gApp.busy++;
    if (gApp.shutdownStarted) return;
    gApp.shutdownStarted = true;
    gApp.idle.clear();

    forms::DestroyAllWindows();

    std::vector<EndRoutine> routines;
    routines.swap(gApp.endRoutines);
    for (EndRoutine r : routines) r();

    for (size_t i = 0; i < gApp.libraries.size(); i++) {
        const LibraryRecord* lib = gApp.libraries[i];
        if (lib && lib->notify) lib->notify(kCbEnd, static_cast<intptr_t>(gApp.libraryWords[i]), 0);
    }
    gApp.libraries.clear();
    gApp.libraryWords.clear();
    DllUnloadAll();
    FreeSystemModules();
    if (gApp.hiddenOwner) {
        DestroyWindow(gApp.hiddenOwner);
        gApp.hiddenOwner = nullptr;
    }
    if (gApp.oleInitialised) {
        gSys.OleUninitialize();
        gApp.oleInitialised = false;
    }
    MemForgetConstantBlock();
}

void Exit(int32_t c) {
    EndSequence(c);
    gSys.ExitProcess(static_cast<UINT>(c));
    // A redirected ExitProcess (tests) may return; a real one never does.
    ::ExitProcess(static_cast<UINT>(c));
}

void RunApplication(const ProgramHeader* header, StartRoutine start) {
    InitializeCriticalSection(&gApp.lock);
    gApp.header = header;
    char path[MAX_PATH] = {};
    DWORD n = gSys.GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string full(path, n < MAX_PATH ? n : MAX_PATH - 1);
    size_t slash = full.find_last_of('\\');
    gApp.exeFolder = slash == std::string::npos ? std::string() : full.substr(0, slash + 1);

    int32_t started = start();
    if (started != 0) MessageLoop(0);
    // Application exit: the end sequence with code 0, then the framework's own exit.
    Exit(0);
}

} // namespace rt
