#include "syscalls.h"

#include <commdlg.h>
#include <ole2.h>

namespace rt {

static const Syscalls kRealSyscalls = {
    ::GetProcessHeap,
    ::HeapAlloc,
    ::HeapReAlloc,
    ::HeapFree,
    ::GetModuleFileNameA,
    ::SetCurrentDirectoryA,
    ::ExitProcess,
    ::GetVersionExA,
    ::LoadLibraryA,
    ::GetProcAddress,
    ::FreeLibrary,
    ::FindFirstFileA,
    ::FindNextFileA,
    ::FindClose,
    ::MessageBoxA,
    ::OleInitialize,
    ::OleUninitialize,
    ::GetOpenFileNameA,
    ::GetSaveFileNameA,
};

Syscalls gSys = kRealSyscalls;

void ResetSyscalls() { gSys = kRealSyscalls; }

} // namespace rt
