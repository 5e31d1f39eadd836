#include "names.h"

namespace dev {

namespace {

// Android keeps package names far shorter; a longer "name" is no package.
constexpr size_t kLongestName = 255;

bool IsNameCharacter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

} // namespace

uint32_t FindBadCharacter(const char* name, Blank blank, const char** where) {
    for (const char* p = name ? name : ""; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (IsNameCharacter(c) || (c == ' ' && blank == Blank::Separates)) continue;
        *where = p;
        unsigned char next = static_cast<unsigned char>(p[1]);
        // A double-byte character is named whole.
        return (c >= 0x81 && c <= 0xFE && next >= 0x40 && next <= 0xFE && next != 0x7F) ? 2 : 1;
    }
    return 0;
}

void ShowCharacter(const char* where, uint32_t length, char* shown) {
    unsigned char c = static_cast<unsigned char>(*where);
    if (length == 2) {
        shown[0] = where[0];
        shown[1] = where[1];
        shown[2] = 0;
    } else if (c < 0x20 || c >= 0x7F) {
        static const char kHex[] = "0123456789ABCDEF";
        shown[0] = '0';
        shown[1] = 'x';
        shown[2] = kHex[c >> 4];
        shown[3] = kHex[c & 0xF];
        shown[4] = 0;
    } else {
        shown[0] = static_cast<char>(c);
        shown[1] = 0;
    }
}

bool IsPackageName(const std::string& name) {
    const char* where = nullptr;
    return !name.empty() && name.size() <= kLongestName && name.find('\0') == std::string::npos &&
           FindBadCharacter(name.c_str(), Blank::Refused, &where) == 0;
}

std::string RefusalText(const std::string& name) {
    if (name.empty()) return "包名为空，没有发送到手机。";
    const char* where = nullptr;
    // A zero byte ends the C string early: name it as the character it is.
    size_t zero = name.find('\0');
    uint32_t length = FindBadCharacter(name.c_str(), Blank::Refused, &where);
    if (zero != std::string::npos && (length == 0 || where >= name.c_str() + zero)) {
        where = name.c_str() + zero;
        length = 1;
    }
    if (length == 0) return "包名过长，没有发送到手机。";
    char shown[8];
    ShowCharacter(where, length, shown);
    return std::string("包名含有不允许的字符“") + shown + "”，没有发送到手机。包名只能包含字母、数字、“.”和“_”。";
}

} // namespace dev
