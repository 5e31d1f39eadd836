#include "pinyin.h"

#include <algorithm>
#include "pinyin_table.h"

namespace search {

namespace {

namespace tbl = pinyin_table;

// Longer queries leave the 64-bit position sets; they are matched as text.
constexpr size_t kMaxMatchedQuery = 63;
// Syllables are joined in a sort key by this, below every character a name
// can bring, so 西安 (xi an) sorts before 先 (xian).
constexpr wchar_t kSyllableEnd = 1;
// Ends a sort key's readable part; the name itself follows to break ties.
constexpr wchar_t kKeyEnd = 0;

// ASCII letters to lower case, full-width ASCII (U+FF01-U+FF5E) and the
// ideographic space to their ASCII selves, as a user sees them.
wchar_t Fold(wchar_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) c = static_cast<wchar_t>(c - 0xFEE0);
    else if (c == 0x3000) c = L' ';
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return c;
}

bool IsLetter(wchar_t c) { return c >= L'a' && c <= L'z'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

uint32_t LetterBit(wchar_t c) { return 1u << (c - L'a'); }

} // namespace

int PinyinReadings(wchar_t c, uint16_t (&syllables)[kMaxPinyinReadings]) {
    const uint32_t code = static_cast<uint32_t>(c);
    if (code < tbl::kFirst || code - tbl::kFirst >= tbl::kCount) return 0;
    const uint32_t i = code - tbl::kFirst;
    const uint16_t packed = static_cast<uint16_t>(tbl::kCodeLow[i] | ((tbl::kCodeHigh[i >> 3] >> (i & 7)) & 1) << 8);
    if (packed == tbl::kNone) return 0;
    if (packed != tbl::kSeveral) {
        syllables[0] = packed;
        return 1;
    }
    const uint16_t* end = tbl::kSeveralChars + tbl::kSeveralCount;
    const uint16_t* at = std::lower_bound(tbl::kSeveralChars, end, static_cast<uint16_t>(code));
    if (at == end || *at != code) return 0;
    const size_t k = static_cast<size_t>(at - tbl::kSeveralChars);
    int n = 0;
    for (uint16_t s = tbl::kSeveralStart[k]; s < tbl::kSeveralStart[k + 1] && n < kMaxPinyinReadings; ++s)
        syllables[n++] = tbl::kSeveralSyllables[s];
    return n;
}

const char* PinyinSyllable(uint16_t syllable) {
    return syllable < tbl::kSyllableCount ? tbl::kSyllableText + tbl::kSyllableStart[syllable] : "";
}

PinyinKey MakePinyinKey(const std::wstring& name) {
    PinyinKey key;
    key.units.reserve(name.size());
    for (wchar_t c : name) {
        PinyinKey::Unit u = {};
        u.ch = Fold(c);
        u.count = static_cast<uint8_t>(PinyinReadings(c, u.syllables));
        if (IsLetter(u.ch)) key.letters |= LetterBit(u.ch);
        for (int r = 0; r < u.count; ++r) {
            for (const char* s = PinyinSyllable(u.syllables[r]); *s; ++s) key.letters |= LetterBit(*s);
        }
        key.units.push_back(u);
    }
    // ü is typed as v or u.
    if (key.letters & LetterBit(L'v')) key.letters |= LetterBit(L'u');
    return key;
}

PinyinQuery::PinyinQuery(const std::wstring& text) {
    text_.reserve(text.size());
    for (wchar_t c : text) text_ += Fold(c);
    if (text_.size() > kMaxMatchedQuery) return;
    for (size_t i = 0; i < text_.size(); ++i) {
        const wchar_t c = text_[i];
        const uint64_t bit = uint64_t{1} << i;
        if (static_cast<uint32_t>(c) < 128) {
            ascii_[c] |= bit;
            if (IsLetter(c)) letters_ |= LetterBit(c);
            continue;
        }
        auto it = std::find_if(others_.begin(), others_.end(), [c](const auto& o) { return o.first == c; });
        if (it == others_.end()) others_.emplace_back(c, bit);
        else it->second |= bit;
    }
    for (wchar_t c = L'a'; c <= L'z'; ++c) syllable_[c - L'a'] = ascii_[c];
    syllable_[L'v' - L'a'] |= ascii_[L'u'];
}

uint64_t PinyinQuery::Positions(wchar_t c) const {
    if (static_cast<uint32_t>(c) < 128) return ascii_[c];
    for (const auto& o : others_) {
        if (o.first == c) return o.second;
    }
    return 0;
}

bool MatchesPinyin(const PinyinKey& key, const PinyinQuery& query) {
    const size_t n = query.text_.size();
    if (n == 0) return true;
    if (n > kMaxMatchedQuery) {
        auto same = [](const PinyinKey::Unit& u, wchar_t c) { return u.ch == c; };
        return std::search(key.units.begin(), key.units.end(), query.text_.begin(), query.text_.end(), same) !=
               key.units.end();
    }
    if (query.letters_ & ~key.letters) return false;
    // One pass over the name with the set of query positions reached at the
    // start of each unit (bit i: the first i characters matched the units
    // before); a match may start at any unit, so position 0 is always in it.
    const uint64_t whole = uint64_t{1} << n;
    uint64_t reached = 0;
    for (const PinyinKey::Unit& u : key.units) {
        const uint64_t from = reached | 1;
        uint64_t next = (from & query.Positions(u.ch)) << 1;
        for (int r = 0; r < u.count; ++r) {
            // Each letter of the syllable extends the runs that matched the
            // letters before it; every run so far is a beginning of it.
            uint64_t run = from;
            for (const char* s = PinyinSyllable(u.syllables[r]); *s && run; ++s) {
                run = (run & query.syllable_[*s - 'a']) << 1;
                next |= run;
            }
        }
        if (next & whole) return true;
        reached = next;
    }
    return false;
}

std::wstring PinyinSortKey(const std::wstring& name) {
    std::wstring key;
    key.reserve(name.size() * 3 + 1 + name.size());
    for (size_t i = 0; i < name.size();) {
        const wchar_t c = Fold(name[i]);
        if (IsDigit(c)) {
            // A digit run as '0', its length without leading zeros, its digits.
            size_t end = i;
            while (end < name.size() && IsDigit(Fold(name[end]))) ++end;
            size_t first = i;
            while (first + 1 < end && Fold(name[first]) == L'0') ++first;
            key += L'0';
            key += static_cast<wchar_t>(std::min<size_t>(end - first, 0xFFFF));
            for (size_t k = first; k < end; ++k) key += Fold(name[k]);
            i = end;
            continue;
        }
        uint16_t syllables[kMaxPinyinReadings];
        if (PinyinReadings(name[i], syllables) > 0) {
            for (const char* s = PinyinSyllable(syllables[0]); *s; ++s) key += static_cast<wchar_t>(*s);
            key += kSyllableEnd;
        } else {
            key += c;
        }
        ++i;
    }
    key += kKeyEnd;
    key += name;
    return key;
}

int ComparePinyinNames(const std::wstring& a, const std::wstring& b) {
    return PinyinSortKey(a).compare(PinyinSortKey(b));
}

} // namespace search
