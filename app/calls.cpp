#include "calls.h"

#include <cstring>
#include "commands/commands.h"
#include "data/constants.h"
#include "runtime/dll.h"

namespace app {

uint32_t CallDll(int32_t index, std::initializer_list<uint32_t> args, int32_t routine, int32_t position) {
    int32_t stackOk = 0;
    uint32_t result = rt::DllCallChecked(rt::kServices.callDll, index, args.begin(),
                                         static_cast<int32_t>(args.size()), &stackOk);
    if (!stackOk) rt::kServices.reportError(6, routine, position);
    return result;
}

rt::ArgRecord IntArg(int32_t v) { return rt::ArgRecord{static_cast<uint32_t>(v), 0, rt::kTypeInt}; }

rt::ArgRecord TextArg(const char* s) {
    return rt::ArgRecord{Word(s ? s : data::kConstants.emptyText), 0, rt::kTypeText};
}

rt::ArgRecord BytesArg(const void* bytes) {
    return rt::ArgRecord{Word(bytes ? bytes : data::kConstants.emptyBytes), 0, rt::kTypeBytes};
}

rt::ArgRecord ByRefArg(uint32_t type, void* variable) { return rt::ArgRecord{Word(variable), 0, type | rt::kByRef}; }

rt::ArgRecord OmittedArg() { return rt::ArgRecord{0, 0, 0}; }

rt::ArgRecord CallCore(CoreCommand command, std::initializer_list<rt::ArgRecord> args) {
    // Commands only read their records (by-reference targets are written
    // through the addresses the records hold).
    return rt::kServices.callCoreCommand(commands::kCoreCommands[command], static_cast<int32_t>(args.size()),
                                         const_cast<rt::ArgRecord*>(args.begin()));
}

namespace {

// The system layout: the two 16-bit members share one 32-bit slot.
struct SystemStartup {
    uint32_t cb;
    char* lpReserved;
    char* lpDesktop;
    char* lpTitle;
    uint32_t dwX, dwY, dwXSize, dwYSize;
    uint32_t dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    uint16_t wShowWindow;
    uint16_t cbReserved2;
    uint32_t lpReserved2;
    uint32_t hStdInput, hStdOutput, hStdError;
};
static_assert(sizeof(void*) != 4 || sizeof(SystemStartup) == kSystemStartupSize, "68-byte system layout");

uint32_t WithLowHalf(uint32_t slot, uint16_t low) { return (slot & 0xFFFF0000u) | low; }

// A text member the function replaced: the program keeps its own copy.
void TakeText(char** slot, char* fromCall) {
    if (fromCall == *slot) return;
    rt::kServices.free(*slot);
    *slot = nullptr;
    size_t n = fromCall ? std::strlen(fromCall) : 0;
    if (n == 0) return;
    *slot = static_cast<char*>(rt::kServices.alloc(static_cast<uint32_t>(n + 1)));
    std::memcpy(*slot, fromCall, n + 1);
}

} // namespace

void* MarshalStartupRecord(const StartupRecord& r) {
    auto* s = static_cast<SystemStartup*>(rt::kServices.alloc(kSystemStartupSize));
    s->cb = r.cb;
    s->lpReserved = r.lpReserved;
    s->lpDesktop = r.lpDesktop;
    s->lpTitle = r.lpTitle;
    s->dwX = r.dwX;
    s->dwY = r.dwY;
    s->dwXSize = r.dwXSize;
    s->dwYSize = r.dwYSize;
    s->dwXCountChars = r.dwXCountChars;
    s->dwYCountChars = r.dwYCountChars;
    s->dwFillAttribute = r.dwFillAttribute;
    s->dwFlags = r.dwFlags;
    s->wShowWindow = static_cast<uint16_t>(r.wShowWindow);
    s->cbReserved2 = static_cast<uint16_t>(r.cbReserved2);
    s->lpReserved2 = r.lpReserved2;
    s->hStdInput = r.hStdInput;
    s->hStdOutput = r.hStdOutput;
    s->hStdError = r.hStdError;
    return s;
}

void UnmarshalStartupRecord(StartupRecord* r, void* block) {
    auto* s = static_cast<SystemStartup*>(block);
    r->cb = s->cb;
    TakeText(&r->lpReserved, s->lpReserved);
    TakeText(&r->lpDesktop, s->lpDesktop);
    TakeText(&r->lpTitle, s->lpTitle);
    r->dwX = s->dwX;
    r->dwY = s->dwY;
    r->dwXSize = s->dwXSize;
    r->dwYSize = s->dwYSize;
    r->dwXCountChars = s->dwXCountChars;
    r->dwYCountChars = s->dwYCountChars;
    r->dwFillAttribute = s->dwFillAttribute;
    r->dwFlags = s->dwFlags;
    r->wShowWindow = WithLowHalf(r->wShowWindow, s->wShowWindow);
    r->cbReserved2 = WithLowHalf(r->cbReserved2, s->cbReserved2);
    r->lpReserved2 = s->lpReserved2;
    r->hStdInput = s->hStdInput;
    r->hStdOutput = s->hStdOutput;
    r->hStdError = s->hStdError;
    rt::kServices.free(block);
}

} // namespace app
