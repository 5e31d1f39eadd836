// The extended interface library: the rich edit box type and its two
// commands, get line count and scroll lines.
#pragma once

#include "runtime/library.h"

namespace units {

extern rt::LibraryLink gExtLink;
extern const rt::CommandFn kExtCommands[2];
intptr_t ExtNotify(int32_t code, intptr_t v1, intptr_t v2);

} // namespace units
