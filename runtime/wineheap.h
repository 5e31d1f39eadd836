// What Wine's process heap does not do by itself: hand the pages of its free
// blocks back to the system.
#pragma once

#include <cstddef>

namespace rt {

// Hands the memory of the pages inside the process heap's free blocks back to
// the system (MEM_RESET: the heap keeps the address space and finds zeroed
// pages when it uses them again); answers how many bytes. Windows' heap
// decommits large free ranges by itself and this does nothing there; Wine's
// keeps every freed page, so a process that once held a long log would hold
// its memory for good. Worth calling after releasing tens of megabytes.
size_t MemReturnFreePages();

} // namespace rt
