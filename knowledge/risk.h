// The risk list: packages whose removal is known to stop a phone from
// booting or working, each with the reason the user reads. It is the text
// file data/risk.txt of the source tree, compiled into the program.
#pragma once

#include <string>

namespace knowledge {

// The reason for `package`, or null when it is not on the list.
const std::string* RiskReason(const std::string& package);

// Reads list text: "#" comments and blank lines skipped, else the name, a
// tab (or blanks) and the reason, up to a " # " comment; a name alone gets a
// general reason.
// Lines are taken in order; a later line for the same name replaces the reason.
void ParseRiskList(const char* text, void (*add)(const std::string& name, const std::string& reason, void* to),
                   void* to);

} // namespace knowledge
