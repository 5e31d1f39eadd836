#include "dll.h"

#include <cstdio>
#include <string>
#include "app.h"
#include "errors.h"
#include "syscalls.h"

namespace rt {

namespace {

const char* const kDefaultLibraries[] = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                         "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

// The look-up key of a function name: "#" and a decimal number name an
// ordinal, anything else the name itself. The ordinal is the number's low 16
// bits, taken digit by digit so that a number of any length keeps them (a
// library's strtol would clamp it to LONG_MAX first).
LPCSTR LookupKey(const char* name) {
    if (name[0] != '#') return name;
    const char* p = name + 1;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    uint32_t n = 0;
    for (; *p >= '0' && *p <= '9'; p++) n = (n * 10 + static_cast<uint32_t>(*p - '0')) & 0xFFFF;
    if (negative) n = (0x10000 - n) & 0xFFFF;
    return MAKEINTRESOURCEA(static_cast<WORD>(n));
}

[[noreturn]] void BindFailed(const char* library, const char* function) {
    // The texts are GBK; %s takes the names as they are.
    char msg[1024];
    if (library && *library)
        std::snprintf(msg, sizeof msg, "无法找到指定DLL库文件“%s”中的输出命令“%s”", library, function);
    else
        std::snprintf(msg, sizeof msg, "无法找到指定DLL库文件中的输出命令“%s”", function);
    ReportError(msg, 0, 0, 0);
}

} // namespace

void DllInitTables(int32_t count, const char* const* libraryNames, const char* const* functionNames) {
    DllTables& t = gApp.dll;
    t.libraryNames.assign(libraryNames, libraryNames + count);
    t.functionNames.assign(functionNames, functionNames + count);
    t.addresses.assign(static_cast<size_t>(count), nullptr);
    t.modules.assign(static_cast<size_t>(count), nullptr);
}

void* BindDllCommand(int32_t index) {
    DllTables& t = gApp.dll;
    if (index < 0 || static_cast<size_t>(index) >= t.addresses.size()) BindFailed("", "#?");
    void*& address = t.addresses[index];
    if (address) return address;

    const char* function = t.functionNames[index] ? t.functionNames[index] : "";
    const char* library = t.libraryNames[index] ? t.libraryNames[index] : "";
    LPCSTR key = LookupKey(function);
    HMODULE module = nullptr;

    if (!*library) {
        for (const char* name : kDefaultLibraries) {
            HMODULE m = gSys.LoadLibraryA(name);
            if (!m) continue;
            address = reinterpret_cast<void*>(gSys.GetProcAddress(m, key));
            if (address) {
                module = m;
                break;
            }
            gSys.FreeLibrary(m);
        }
    } else {
        if (std::string(library).find(':') != std::string::npos) {
            module = gSys.LoadLibraryA(library);
        } else {
            std::string inRunDir = gApp.runDirectory + "\\" + library;
            std::string inExeFolder = gApp.exeFolder + library;
            module = gSys.LoadLibraryA(inRunDir.c_str());
            if (!module) module = gSys.LoadLibraryA(inExeFolder.c_str());
            if (!module) module = gSys.LoadLibraryA(library);
        }
        if (module) address = reinterpret_cast<void*>(gSys.GetProcAddress(module, key));
    }

    if (address) {
        t.modules[index] = module;
        return address;
    }
    if (module) gSys.FreeLibrary(module);
    BindFailed(library, function);
}

void DllUnloadAll() {
    DllTables& t = gApp.dll;
    for (HMODULE m : t.modules)
        if (m) gSys.FreeLibrary(m);
    t = DllTables();
}

} // namespace rt

extern "C" void* DllBindForThunk(int32_t index) { return rt::BindDllCommand(index); }
