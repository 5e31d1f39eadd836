// The packed pinyin table that tools/gen_pinyin.py generates into
// units/pinyin_table.cpp; units/pinyin.cpp is its only reader.
#pragma once

#include <cstdint>

namespace search {
namespace pinyin_table {

// A character's 9-bit code: a syllable's index, or one of these.
constexpr uint16_t kSeveral = 510;   // look the character up in kSeveralChars
constexpr uint16_t kNone = 511;      // no reading

extern const uint32_t kFirst;          // the first character covered
extern const uint32_t kCount;          // how many characters from kFirst on
extern const uint32_t kSyllableCount;
extern const uint32_t kSeveralCount;

extern const char kSyllableText[];       // each syllable followed by NUL
extern const uint16_t kSyllableStart[];  // kSyllableCount + 1 offsets into kSyllableText
extern const uint8_t kCodeLow[];         // kCount low bytes of the codes
extern const uint8_t kCodeHigh[];        // their ninth bits, 8 characters a byte
extern const uint16_t kSeveralChars[];   // ascending
extern const uint16_t kSeveralStart[];   // kSeveralCount + 1 offsets into kSeveralSyllables
extern const uint16_t kSeveralSyllables[];

} // namespace pinyin_table
} // namespace search
