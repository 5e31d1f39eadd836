// The program as the runtime sees it: its header, whose code base is the map
// from the handler references stored in the form template to the handlers.
#pragma once

#include "runtime/services.h"

namespace app {

// Stored handler reference -> handler, ended by {0, nullptr}.
extern const rt::HandlerMapEntry kHandlerMap[];

// The program header with kHandlerMap as its code base; built once.
const rt::ProgramHeader* Header();

} // namespace app
