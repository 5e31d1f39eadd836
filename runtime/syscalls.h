// The Win32 functions the runtime and its libraries reach through one table,
// so that a test can redirect any of them (fault injection, capturing modal
// boxes) without touching the code under test. The real program never
// changes the table.
#pragma once

#include <windows.h>

// commdlg.h's OPENFILENAMEA, declared here so that its macros stay out of
// every file that includes this one.
struct tagOFNA;

namespace rt {

struct Syscalls {
    // memory
    HANDLE (WINAPI *GetProcessHeap)();
    LPVOID (WINAPI *HeapAlloc)(HANDLE, DWORD, SIZE_T);
    LPVOID (WINAPI *HeapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
    BOOL   (WINAPI *HeapFree)(HANDLE, DWORD, LPVOID);
    // process
    DWORD  (WINAPI *GetModuleFileNameA)(HMODULE, LPSTR, DWORD);
    BOOL   (WINAPI *SetCurrentDirectoryA)(LPCSTR);
    VOID   (WINAPI *ExitProcess)(UINT);
    BOOL   (WINAPI *GetVersionExA)(LPOSVERSIONINFOA);
    // late binding of DLL commands
    HMODULE (WINAPI *LoadLibraryA)(LPCSTR);
    FARPROC (WINAPI *GetProcAddress)(HMODULE, LPCSTR);
    BOOL    (WINAPI *FreeLibrary)(HMODULE);
    // file search
    HANDLE (WINAPI *FindFirstFileA)(LPCSTR, LPWIN32_FIND_DATAA);
    BOOL   (WINAPI *FindNextFileA)(HANDLE, LPWIN32_FIND_DATAA);
    BOOL   (WINAPI *FindClose)(HANDLE);
    // boxes
    int    (WINAPI *MessageBoxA)(HWND, LPCSTR, LPCSTR, UINT);
    // OLE
    HRESULT (WINAPI *OleInitialize)(LPVOID);
    void    (WINAPI *OleUninitialize)();
    // file dialogs
    BOOL    (WINAPI *GetOpenFileNameA)(tagOFNA*);
    BOOL    (WINAPI *GetSaveFileNameA)(tagOFNA*);
};

extern Syscalls gSys;

// Puts every entry back to the real function.
void ResetSyscalls();

} // namespace rt
