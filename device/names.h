// Package names: the one check every name passes before it goes into a
// command line or a script for the phone, from the start-up window's edit box
// and from the device layer alike.
#pragma once

#include <cstdint>
#include <string>

namespace dev {

// Whether a blank may occur: the start-up window's edit box keeps blanks as
// word separators of its command line; one name in a script has none.
enum class Blank { Separates, Refused };

// Length in bytes (2 for a double-byte GBK character, else 1) of the first
// character a package name may not hold, with *where pointing at it; 0 when
// every character is a letter, digit, "." or "_" (or an allowed blank).
uint32_t FindBadCharacter(const char* name, Blank blank, const char** where);

// The character as a message names it: itself, or "0xNN" for a control byte
// or a byte that forms no character. `shown` holds at least 5 bytes.
void ShowCharacter(const char* where, uint32_t length, char* shown);

// A name that may go into a script: not empty, not too long, and only
// letters, digits, "." and "_".
bool IsPackageName(const std::string& name);

// Why a name is refused, in the user's words (GBK), naming the character.
std::string RefusalText(const std::string& name);

} // namespace dev
