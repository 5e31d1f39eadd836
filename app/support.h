// Small routines of the program's own code that serve its calls: text
// length, text concatenation and decimal to integer.
#pragma once

#include <cstdint>

namespace app {

// Bytes before the terminating zero; 0 for a null text.
uint32_t TextLength(const char* s);

// Always a new block from the runtime allocator, also when every part is
// empty; null parts count as empty and are not freed.
char* Concat(int32_t n, ...);

// True while the program's window is loaded. A handler or a command that
// waited may find it closed by then.
bool WindowLoaded();

// Truncation toward zero whatever the floating-point rounding mode.
int64_t DecimalToInteger(double x);

// The program's start routine, called once by the runtime's start-up.
int32_t StartRoutine();

} // namespace app
