#include "values.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include "errors.h"
#include "syscalls.h"

namespace rt {

namespace {

HANDLE gHeap = nullptr;
const uint8_t* gConstBegin = nullptr;
const uint8_t* gConstEnd = nullptr;

[[noreturn]] void OutOfMemory(uint32_t n) {
    char msg[100];
    std::snprintf(msg, sizeof msg, "分配 %d 字节内存失败!", static_cast<int>(n));
    ReportError(msg, 0, 0, 0);
}

HANDLE Heap() {
    if (!gHeap) gHeap = gSys.GetProcessHeap();
    return gHeap;
}

} // namespace

void MemInit(void* heap) { gHeap = heap ? heap : gSys.GetProcessHeap(); }

void MemSetConstantBlock(const void* begin, uint32_t size) {
    gConstBegin = static_cast<const uint8_t*>(begin);
    gConstEnd = gConstBegin + size;
}

void MemForgetConstantBlock() { gConstBegin = gConstEnd = nullptr; }

bool IsConstant(const void* p) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return gConstBegin && b >= gConstBegin && b < gConstEnd;
}

void* MemAllocPlain(uint32_t n) { return gSys.HeapAlloc(Heap(), 0, n); }

void* MemAlloc(uint32_t n) {
    void* p = MemAllocPlain(n);
    if (!p) OutOfMemory(n);
    return p;
}

void* MemRealloc(void* p, uint32_t n) {
    if (!p) return MemAlloc(n);
    if (IsConstant(p)) {
        void* q = MemAlloc(n);
        uint32_t avail = static_cast<uint32_t>(gConstEnd - static_cast<const uint8_t*>(p));
        std::memcpy(q, p, n < avail ? n : avail);
        return q;
    }
    void* q = gSys.HeapReAlloc(Heap(), 0, p, n);
    if (!q) OutOfMemory(n);
    return q;
}

void MemFree(void* p) {
    if (!p || IsConstant(p)) return;
    gSys.HeapFree(Heap(), 0, p);
}

void FreeArray(uint32_t elemType, void* array) {
    if (!array) return;
    elemType &= ~kByRef;
    if (elemType == kTypeText || elemType == kTypeBytes) {
        const int32_t* words = static_cast<const int32_t*>(array);
        int32_t dims = words[0];
        int64_t count = dims > 0 ? 1 : 0;
        for (int32_t i = 0; i < dims; i++) count *= words[1 + i];
        void* const* elems = reinterpret_cast<void* const*>(words + 1 + (dims > 0 ? dims : 0));
        for (int64_t i = 0; i < count; i++) MemFree(elems[i]);
    }
    MemFree(array);
}

char* DupText(const char* s) {
    uint32_t n = TextLen(s);
    return n ? DupCountedText(s, static_cast<int32_t>(n)) : nullptr;
}

char* DupCountedText(const void* bytes, int32_t n) {
    if (n < 1) return nullptr;
    char* t = static_cast<char*>(MemAlloc(static_cast<uint32_t>(n) + 1));
    std::memcpy(t, bytes, static_cast<size_t>(n));
    t[n] = 0;
    return t;
}

void* DupByteSet(const void* bytes, int32_t n) {
    if (n <= 0) return nullptr;
    ByteSetHeader* h = static_cast<ByteSetHeader*>(MemAlloc(static_cast<uint32_t>(n) + sizeof(ByteSetHeader)));
    h->dims = 1;
    h->count = n;
    std::memcpy(ByteSetData(h), bytes, static_cast<size_t>(n));
    return h;
}

} // namespace rt
