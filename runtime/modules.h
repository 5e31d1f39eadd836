// System modules the runtime loads on its units' behalf (the rich edit
// control's library, the common controls): loaded on first use, kept for the
// run and freed by the end sequence after every window is gone.
#pragma once

#include <windows.h>

namespace rt {

// The module of that name, loaded once; null when it cannot be loaded.
HMODULE LoadSystemModule(const char* name);

// Frees every module LoadSystemModule loaded, last loaded first.
void FreeSystemModules();

} // namespace rt
