// What the owner is told when the phone does not show up: no phone at all,
// adb missing, a server that does not start, another program's server on
// adb's port. One text each, for the window's status line and for adbctl.
#pragma once

#include <string>
#include "device/adb.h"
#include "otheradb.h"

namespace conn {

// Where platform-tools comes from, and where its adb goes beside the tool.
extern const char kPlatformToolsUrl[];

// No phone listed: the few things to check, in the order they fail most
// often, short enough for one status line.
std::string NoPhoneHint();
// Said once beside it (the log, adbctl's standard error): the phones that
// never show up whatever is done, and the way without a cable.
std::string NoPhoneDetails();

// adb's failure to list the phones, explained. `adbText` is what adb
// printed (standard error included: the version clash is said there even
// when the list came); `owner` the port's owner when it was looked up.
struct AdbTrouble {
    enum Kind { None, Missing, OtherServer, ServerDown, Other } kind = None;
    VersionClash clash;
    std::string message;     // empty for None
};
AdbTrouble ExplainAdbTrouble(const std::string& listError, const std::string& adbText, const PortOwner& owner);

} // namespace conn
