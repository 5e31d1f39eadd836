// The window unit's stored data: its own properties and their archive, apart
// from the window class so that form tables can write them without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace forms {

// The window's own properties (index 8 and up), at their defaults.
struct WindowProps {
    std::string title;                 // 8
    int32_t border = 2;                // 9
    uint32_t backColour = 0xFF000000;  // 10
    std::vector<uint8_t> picture;      // 11
    int32_t pictureMode = 1;           // 12
    std::vector<uint8_t> sound;        // 13
    int32_t playTimes = 0;             // 14
    bool controlBox = true;            // 15
    bool maxButton = false;            // 16
    bool minButton = true;             // 17
    int32_t position = 1;              // 18
    bool closable = true;              // 19
    std::vector<uint8_t> icon;         // 20
    bool enterMovesFocus = false;      // 21
    bool escapeCloses = true;          // 22
    bool f1Help = false;               // 23
    std::string helpFile;              // 24
    int32_t helpContext = 0;           // 25
    bool ownOwner = true;              // 26: false = owned by the hidden owner
    bool dragAnywhere = false;         // 27
    int32_t relayout = 0;              // 28
    bool topmost = false;              // 29
    bool kept30 = false;               // 30
    std::string className;             // 31
};

// Reads the window archive (versions 1 to 6); empty data keeps the defaults.
bool DecodeWindowProps(const uint8_t* bytes, size_t n, WindowProps* p);
std::vector<uint8_t> EncodeWindowProps(const WindowProps& p);

} // namespace forms
