#include "library.h"

#include <cstdio>
#include <cstring>
#include "syscalls.h"

namespace rt {

namespace {

// With a runtime attached, code 2024 in mode 0 reports exhaustion itself and
// never answers null; a null answer means no runtime, which Fail handles.
void* AllocOrFail(const LibraryLink& link, uint32_t n) {
    void* p = link.Alloc(n);
    if (!p) {
        char msg[100];
        std::snprintf(msg, sizeof msg, "分配 %d 字节内存失败!", static_cast<int>(n));
        link.Fail(msg);
    }
    return p;
}

} // namespace

void LibraryLink::Fail(const char* message) const {
    Call(kCbError, reinterpret_cast<intptr_t>(message));
    // Only reached when no runtime is attached to show the box.
    gSys.ExitProcess(0xFFFFFFFF);
    ::ExitProcess(0xFFFFFFFF);
}

char* LibraryLink::CopyText(const char* s) const {
    uint32_t n = TextLen(s);
    return n ? CopyCountedText(s, static_cast<int32_t>(n)) : nullptr;
}

char* LibraryLink::CopyCountedText(const void* bytes, int32_t n) const {
    if (n < 1) return nullptr;
    char* t = static_cast<char*>(AllocOrFail(*this, static_cast<uint32_t>(n) + 1));
    std::memcpy(t, bytes, static_cast<size_t>(n));
    t[n] = 0;
    return t;
}

void* LibraryLink::MakeByteSet(const void* bytes, int32_t n) const {
    if (n <= 0) return nullptr;
    auto* h = static_cast<ByteSetHeader*>(AllocOrFail(*this, static_cast<uint32_t>(n) + sizeof(ByteSetHeader)));
    h->dims = 1;
    h->count = n;
    std::memcpy(ByteSetData(h), bytes, static_cast<size_t>(n));
    return h;
}

} // namespace rt
