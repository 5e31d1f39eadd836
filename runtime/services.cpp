// The service table: the thirteen entry points the program's code uses.
#include "services.h"

#include <windows.h>
#include <cstdarg>
#include <cstring>
#include "app.h"
#include "dll.h"
#include "errors.h"
#include "forms/forms.h"
#include "forms/wnd.h"
#include "syscalls.h"

namespace rt {

namespace {

void ErrorReporterService(int32_t code, int32_t loc1, int32_t loc2) { ReportErrorCode(code, loc1, loc2); }

ArgRecord CallCommand(CommandFn fn, int32_t count, ArgRecord* args) {
    ArgRecord result = {0, 0, 0};
    fn(&result, count, args);
    return result;
}

void ExitService(int32_t code) { Exit(code); }

void MessageLoopService() {
    gApp.loopStarted = true;
    if (forms::AnyWindowAlive()) MessageLoop(0);
}

// Directories, hidden and system entries are returned only when the filter
// asks for them (or the override flag says to take everything).
bool AcceptFound(const WIN32_FIND_DATAA& fd, uint32_t filter, bool takeAll) {
    if (std::strcmp(fd.cFileName, ".") == 0 || std::strcmp(fd.cFileName, "..") == 0) return false;
    if (takeAll) return true;
    const DWORD special = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (fd.dwFileAttributes & special & ~filter) == 0;
}

char* FindFile(const char* pattern, uint32_t filter, bool takeAll, HANDLE* handle) {
    WIN32_FIND_DATAA fd;
    bool found;
    if (pattern && *pattern) {
        if (*handle && *handle != INVALID_HANDLE_VALUE) gSys.FindClose(*handle);
        *handle = gSys.FindFirstFileA(pattern, &fd);
        found = *handle != INVALID_HANDLE_VALUE;
        if (!found) *handle = nullptr;
    } else {
        found = *handle && *handle != INVALID_HANDLE_VALUE && gSys.FindNextFileA(*handle, &fd);
    }
    while (found && !AcceptFound(fd, filter, takeAll)) found = gSys.FindNextFileA(*handle, &fd) != FALSE;
    if (found) return DupText(fd.cFileName);
    if (*handle && *handle != INVALID_HANDLE_VALUE) gSys.FindClose(*handle);
    *handle = nullptr;
    return nullptr;
}

// A constant array is replaced by a heap copy before the program writes to it.
void MakeArrayWritable(uint32_t elemSize, void** var) {
    if (!var || !*var || !IsConstant(*var)) return;
    const int32_t* words = static_cast<const int32_t*>(*var);
    int32_t dims = words[0] > 0 ? words[0] : 0;
    uint64_t count = dims ? 1 : 0;
    for (int32_t i = 0; i < dims; i++) count *= static_cast<uint32_t>(words[1 + i]);
    uint64_t size = 4u * (1u + static_cast<uint32_t>(dims)) + count * elemSize;
    void* copy = MemAlloc(static_cast<uint32_t>(size));
    std::memcpy(copy, *var, static_cast<size_t>(size));
    *var = copy;
}

int64_t Auxiliary(int32_t number, ...) {
    va_list ap;
    va_start(ap, number);
    int64_t result = 0;
    switch (number) {
    case kAuxFindFile: {
        const char* pattern = va_arg(ap, const char*);
        uint32_t filter = va_arg(ap, uint32_t);
        int32_t takeAll = va_arg(ap, int32_t);
        HANDLE* handle = va_arg(ap, HANDLE*);
        result = reinterpret_cast<intptr_t>(FindFile(pattern, filter, takeAll != 0, handle));
        break;
    }
    case kAuxCloseFind: {
        HANDLE h = va_arg(ap, HANDLE);
        if (h && h != INVALID_HANDLE_VALUE) gSys.FindClose(h);
        break;
    }
    case kAuxMakeArrayWritable: {
        uint32_t elemSize = va_arg(ap, uint32_t);
        void** var = va_arg(ap, void**);
        MakeArrayWritable(elemSize, var);
        break;
    }
    case kAuxRegisterEndRoutine: RegisterEndRoutine(va_arg(ap, EndRoutine)); break;
    case kAuxReadUnitProperty: {
        uint32_t type = va_arg(ap, uint32_t);
        void* object = va_arg(ap, void*);
        int32_t index = va_arg(ap, int32_t), sub = va_arg(ap, int32_t);
        result = forms::ReadUnitObjectProperty(type, object, index, sub);
        break;
    }
    case kAuxWriteUnitProperty: {
        uint32_t type = va_arg(ap, uint32_t);
        void* object = va_arg(ap, void*);
        int32_t index = va_arg(ap, int32_t), sub = va_arg(ap, int32_t);
        uint32_t lo = va_arg(ap, uint32_t), hi = va_arg(ap, uint32_t);
        forms::WriteUnitObjectProperty(type, object, index, sub, lo, hi);
        break;
    }
    case kAuxInitRuntime: InitRuntime(); break;
    case kAuxWindowLoaded: result = forms::WindowHandle(va_arg(ap, uint32_t)) ? 1 : 0; break;
    case kAuxAddSystemMenuItem: {
        uint32_t window = va_arg(ap, uint32_t);
        const char* caption = va_arg(ap, const char*);
        EventHandler handler = va_arg(ap, EventHandler);
        result = forms::AddSystemMenuItem(window, caption, handler) ? 1 : 0;
        break;
    }
    case kAuxPostTarget: result = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(forms::WindowHandle(va_arg(ap, uint32_t)))); break;
    case kAuxPostEvent: {
        HWND target = reinterpret_cast<HWND>(static_cast<uintptr_t>(va_arg(ap, uint32_t)));
        int32_t argument = va_arg(ap, int32_t);
        result = target && PostMessageA(target, forms::kMsgPostedEvent, 0, argument) ? 1 : 0;
        break;
    }
    default: break;
    }
    va_end(ap);
    return result;
}

} // namespace

const ServiceTable kServices = {
    ErrorReporterService,
    reinterpret_cast<void*>(&DllCallThunk),
    CallCommand,
    CallCommand,
    forms::ReadProperty,
    forms::WriteProperty,
    MemAlloc,
    MemRealloc,
    MemFree,
    ExitService,
    MessageLoopService,
    LoadStartupWindow,
    Auxiliary,
};

} // namespace rt
