#include "support.h"

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <float.h>
#include "app/manager_jobs.h"
#include "data/program.h"
#include "runtime/services.h"

namespace app {

uint32_t TextLength(const char* s) {
    uint32_t n = 0;
    if (s)
        while (s[n]) n++;
    return n;
}

bool WindowLoaded() { return rt::kServices.auxiliary(rt::kAuxWindowLoaded, data::kStartupWindow) != 0; }

char* Concat(int32_t n, ...) {
    va_list ap;
    va_start(ap, n);
    uint32_t total = 0;
    for (int32_t i = 0; i < n; i++) total += TextLength(va_arg(ap, const char*));
    va_end(ap);

    char* out = static_cast<char*>(rt::kServices.alloc(total + 1));
    char* p = out;
    va_start(ap, n);
    for (int32_t i = 0; i < n; i++) {
        const char* s = va_arg(ap, const char*);
        uint32_t len = TextLength(s);
        if (len) std::memcpy(p, s, len);
        p += len;
    }
    va_end(ap);
    *p = 0;
    return out;
}

int64_t DecimalToInteger(double x) {
    // std::trunc ignores the rounding mode; the conversion of an integral
    // value is then exact.
    double t = std::trunc(x);
    if (!(t >= -9223372036854775808.0 && t < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(t);
}

namespace {

// Both the x87 unit and the SSE control word: a library's reset may see to
// the first only.
void ResetFloatingPoint() {
    _fpreset();
    _controlfp(_CW_DEFAULT, _MCW_EM | _MCW_RC | _MCW_PC);
}

int32_t GlobalVariableInit() { return 0; }   // the program has no global variables
// Package manager jobs that outlived their window end their adb runs now.
void ProgramEndRoutine() { mgr::Jobs::EndOrphans(); }
int32_t StartupSubroutine() { return 0; }    // the program's own start-up does nothing

} // namespace

int32_t StartRoutine() {
    rt::kServices.auxiliary(rt::kAuxInitRuntime);
    ResetFloatingPoint();
    GlobalVariableInit();
    rt::kServices.auxiliary(rt::kAuxRegisterEndRoutine, &ProgramEndRoutine);
    StartupSubroutine();
    rt::kServices.loadWindow(data::kStartupWindow);
    rt::kServices.messageLoop();
    return 0;
}

} // namespace app
