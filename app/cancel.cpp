// Not among the program's DLL commands: these calls serve only a command
// abandoned when the window closes, which the DLL command table and its
// stack checks do not describe.
#include "cancel.h"

#include <windows.h>
#include <tlhelp32.h>

namespace app {

namespace {

// How long the interpreter may take to go after it was told to: it must
// not start another program after its children have been looked for.
constexpr DWORD kInterpreterEndMs = 500;

bool CreationTime(HANDLE process, ULARGE_INTEGER* out) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return false;
    out->LowPart = created.dwLowDateTime;
    out->HighPart = created.dwHighDateTime;
    return true;
}

} // namespace

// A job object would take the server with it: the adb client starts the
// server as its own child, so the server would belong to the job too, and
// letting children break away would free the client as well (Wine 8 does
// both as Windows documents them: tried with the simulated adb). Instead the
// interpreter's direct children are found by their parent's id. Holding the
// interpreter's handle keeps that id from being reused, and a process whose
// recorded parent had the same id before the interpreter was created
// predates it, so only processes created after the interpreter count.
void EndCommandProcesses(uint32_t process, uint32_t processId) {
    HANDLE interpreter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process));
    if (!interpreter) return;
    ULARGE_INTEGER born = {};
    bool known = CreationTime(interpreter, &born);
    TerminateProcess(interpreter, 1);
    WaitForSingleObject(interpreter, kInterpreterEndMs);
    if (!known || processId == 0) return;

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID != processId || entry.th32ProcessID == processId) continue;
        HANDLE child = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
        if (!child) continue;
        ULARGE_INTEGER childBorn = {};
        if (CreationTime(child, &childBorn) && childBorn.QuadPart >= born.QuadPart) TerminateProcess(child, 1);
        CloseHandle(child);
    }
    CloseHandle(snapshot);
}

} // namespace app
