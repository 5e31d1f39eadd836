// The string pool chunk (type 0x0001) that binary XML and resource tables
// share, and the UTF conversions their strings need. Strings are handed out
// as UTF-16 (what Android keeps), whichever of UTF-8 or UTF-16 the pool holds.
#pragma once

#include <cstdint>
#include <string>
#include "cursor.h"

namespace apk {

// Longest string handed out, in UTF-16 units: labels are short, and a
// hostile pool must not make us copy megabytes per lookup.
constexpr size_t kResMaxString = 4096;
// No pool we read has more strings than this (framework-res: about 20,000
// values); a larger count is damage.
constexpr uint32_t kResMaxStrings = 4000000;

class StringPool {
public:
    // `chunk` covers the whole pool chunk, header included. False (and an
    // empty pool) when the header or the offsets table do not fit.
    bool Read(Cursor chunk);
    uint32_t count() const { return count_; }
    // String `index`; false when out of range or damaged.
    bool Get(uint32_t index, std::u16string* out) const;
    // The same as UTF-8 (for names such as element and attribute names).
    bool GetUtf8(uint32_t index, std::string* out) const;

private:
    Cursor chunk_;
    uint32_t count_ = 0;
    uint32_t offsetsAt_ = 0;
    uint32_t stringsAt_ = 0;
    uint32_t stringsEnd_ = 0;
    bool utf8_ = false;
};

// Lenient UTF-8 to UTF-16: four-byte forms and the surrogate triples of
// modified UTF-8 both become pairs; a broken byte becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& utf8);
// UTF-16 to UTF-8 (lone surrogates become U+FFFD), for files and messages.
std::string Utf16ToUtf8(const std::u16string& utf16);

} // namespace apk
