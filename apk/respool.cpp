#include "respool.h"

namespace apk {

namespace {

// ResStringPool_header (androidfw ResourceTypes.h): chunk header, then
// stringCount, styleCount, flags, stringsStart, stylesStart.
constexpr uint32_t kPoolHeaderSize = 28;
constexpr uint32_t kUtf8Flag = 0x100;

void Append(std::u16string* out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out->push_back(static_cast<char16_t>(cp));
    }
}

} // namespace

bool StringPool::Read(Cursor chunk) {
    *this = StringPool();
    Cursor c = chunk;
    c.Skip(2);
    uint16_t headerSize = c.U16();
    uint32_t size = c.U32();
    uint32_t count = c.U32();
    c.Skip(4);  // styles: labels need no spans
    uint32_t flags = c.U32();
    uint32_t stringsStart = c.U32();
    uint32_t stylesStart = c.U32();
    if (!c.ok() || headerSize < kPoolHeaderSize || size > chunk.size() || headerSize > size ||
        count > kResMaxStrings || count > (size - headerSize) / 4)
        return false;
    uint32_t stringsEnd = size;
    if (stylesStart > stringsStart && stylesStart < size) stringsEnd = stylesStart;
    if (count > 0 && (stringsStart < headerSize + count * 4 || stringsStart >= stringsEnd)) return false;
    chunk_ = chunk.Range(0, size);
    count_ = count;
    offsetsAt_ = headerSize;
    stringsAt_ = stringsStart;
    stringsEnd_ = stringsEnd;
    utf8_ = (flags & kUtf8Flag) != 0;
    return true;
}

bool StringPool::Get(uint32_t index, std::u16string* out) const {
    if (index >= count_) return false;
    Cursor at = chunk_.Range(offsetsAt_ + index * 4, 4);
    uint32_t offset = at.U32();
    if (!at.ok() || offset >= stringsEnd_ - stringsAt_) return false;
    Cursor s = chunk_.Range(stringsAt_ + offset, stringsEnd_ - stringsAt_ - offset);
    if (utf8_) {
        // Two lengths, each one byte or two with the high bit set: UTF-16
        // units (unused here), then bytes.
        uint32_t units = s.U8();
        if (units & 0x80) s.U8();
        uint32_t bytes = s.U8();
        if (bytes & 0x80) bytes = ((bytes & 0x7F) << 8) | s.U8();
        if (!s.ok() || bytes > s.left() || bytes > kResMaxString * 3) return false;
        *out = Utf8ToUtf16(std::string(reinterpret_cast<const char*>(s.here()), bytes));
        if (out->size() > kResMaxString) out->resize(kResMaxString);
        return true;
    }
    uint32_t units = s.U16();
    if (units & 0x8000) units = ((units & 0x7FFF) << 16) | s.U16();
    if (!s.ok() || units > s.left() / 2) return false;
    if (units > kResMaxString) units = kResMaxString;
    out->clear();
    out->reserve(units);
    for (uint32_t i = 0; i < units; i++) out->push_back(static_cast<char16_t>(s.U16()));
    return s.ok();
}

bool StringPool::GetUtf8(uint32_t index, std::string* out) const {
    std::u16string s;
    if (!Get(index, &s)) return false;
    *out = Utf16ToUtf8(s);
    return true;
}

std::u16string Utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t n = utf8.size(), i = 0;
    while (i < n) {
        unsigned char b = p[i];
        int more = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        if (more < 0) {
            out.push_back(0xFFFD);
            i++;
            continue;
        }
        uint32_t cp = more == 0 ? b : more == 1 ? (b & 0x1F) : more == 2 ? (b & 0x0F) : (b & 0x07);
        bool good = true;
        for (int k = 1; k <= more; k++) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                good = false;
                break;
            }
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (!good || cp > 0x10FFFF) {
            out.push_back(0xFFFD);
            i++;
            continue;
        }
        // A three-byte surrogate (modified UTF-8) passes through as the unit it is.
        Append(&out, cp);
        i += 1 + more;
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size(); i++) {
        uint32_t cp = utf16[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            i++;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace apk
