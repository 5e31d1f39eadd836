#include "syscalls.h"

#include <commdlg.h>
#include <ole2.h>
#include "modules.h"

namespace rt {

namespace {

// The file dialogs' library is loaded at the first dialog: under Wine it
// brings the shell, its helpers and the common controls along, which the
// start-up window needs none of (2 MB and a fifth of the start-up time).
BOOL FileDialog(const char* name, tagOFNA* o) {
    using Dialog = BOOL(WINAPI*)(tagOFNA*);
    HMODULE library = LoadSystemModule("COMDLG32.DLL");
    FARPROC found = library ? gSys.GetProcAddress(library, name) : nullptr;
    Dialog dialog = reinterpret_cast<Dialog>(reinterpret_cast<void (*)()>(found));
    return dialog ? dialog(o) : FALSE;
}
BOOL WINAPI OpenFileDialog(tagOFNA* o) { return FileDialog("GetOpenFileNameA", o); }
BOOL WINAPI SaveFileDialog(tagOFNA* o) { return FileDialog("GetSaveFileNameA", o); }

} // namespace

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
    OpenFileDialog,
    SaveFileDialog,
};

Syscalls gSys = kRealSyscalls;

void ResetSyscalls() { gSys = kRealSyscalls; }

} // namespace rt
