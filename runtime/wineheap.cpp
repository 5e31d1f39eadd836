#include "wineheap.h"

#include <windows.h>

#include <cstdint>

namespace rt {

namespace {

// Only whole pages at least this far inside a free block: the heap keeps its
// links at the start of a free block and a pointer back at its end.
constexpr uintptr_t kFreeBlockMargin = 64;
constexpr uintptr_t kPage = 4096;
constexpr uintptr_t kSmallestReturn = 64 * 1024;

} // namespace

size_t MemReturnFreePages() {
    static const bool heapKeepsPages =
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (!heapKeepsPages) return 0;
    // The ranges are noted during the walk and handed back after it, so that
    // the walk sees the heap as it was; their list lives outside every heap.
    struct Range {
        uintptr_t from, to;
    };
    constexpr size_t kListBytes = 64 * 1024, kMaxRanges = kListBytes / sizeof(Range), kMaxRegions = 256;
    Range* ranges = static_cast<Range*>(VirtualAlloc(nullptr, kListBytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!ranges) return 0;
    HANDLE heap = GetProcessHeap();
    size_t count = 0, returned = 0;
    if (HeapLock(heap)) {
        // Wine's walk can come back to a region it has been through and then
        // goes round for ever: a region seen twice ends it.
        uintptr_t regions[kMaxRegions];
        size_t regionCount = 0;
        bool seen = false;
        PROCESS_HEAP_ENTRY e = {};
        while (!seen && count < kMaxRanges && HeapWalk(heap, &e)) {
            if (e.wFlags & PROCESS_HEAP_REGION) {
                uintptr_t base = reinterpret_cast<uintptr_t>(e.lpData);
                for (size_t i = 0; i < regionCount && !seen; ++i) seen = regions[i] == base;
                if (regionCount == kMaxRegions) seen = true;
                if (!seen) regions[regionCount++] = base;
                continue;
            }
            if (e.wFlags & (PROCESS_HEAP_UNCOMMITTED_RANGE | PROCESS_HEAP_ENTRY_BUSY)) continue;
            if (e.cbData < 2 * kFreeBlockMargin + kSmallestReturn) continue;
            uintptr_t data = reinterpret_cast<uintptr_t>(e.lpData);
            uintptr_t from = (data + kFreeBlockMargin + kPage - 1) & ~(kPage - 1);
            uintptr_t to = (data + e.cbData - kFreeBlockMargin) & ~(kPage - 1);
            if (to > from && to - from >= kSmallestReturn) ranges[count++] = {from, to};
        }
        for (size_t i = 0; i < count; ++i)
            if (VirtualAlloc(reinterpret_cast<void*>(ranges[i].from), ranges[i].to - ranges[i].from, MEM_RESET,
                             PAGE_READWRITE))
                returned += ranges[i].to - ranges[i].from;
        HeapUnlock(heap);
    }
    VirtualFree(ranges, 0, MEM_RELEASE);
    return returned;
}

} // namespace rt
