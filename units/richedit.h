// The rich edit box (超级编辑框, `RichEdit`) of the extended interface
// library. Its interface query function is units::RichEditQuery (queries.h);
// this header adds what the stream-in rules need from outside.
#pragma once

#include <cstddef>

namespace units {

// How many of the `left` bytes at `text` to hand the control when it asks for
// `asked`: as many as possible, but never ending between a CR and its LF (the
// control would read two line breaks) nor inside a double-byte character of
// the system code page (it would decode both halves wrongly). `text` must
// start on a character boundary. A request too small to honour the rules
// still gets one byte.
size_t StreamChunkLength(const char* text, size_t left, size_t asked);

// Writing the whole content over a box holding more characters than this
// replaces the control by a fresh one instead of emptying it. Benchmarks and
// tests move it to take either path.
extern size_t gFreshControlAbove;

// A plain text longer than gFirstSlice bytes is written in slices of
// gSlice bytes after the first, and cut short with a closing line when the
// address space left would not take the next slice with room to spare.
// Tests shrink the slices and replace the probe of the address space left.
extern size_t gFirstSlice;
extern size_t gSlice;
extern size_t (*gAddressSpaceLeft)();

} // namespace units
