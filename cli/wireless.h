// adbctl's commands for getting a phone to show up: discover, pair and
// connect over wireless debugging, and another program's adb server on
// adb's port. The work is the connect room's; these parse nothing of adb's
// and only print.
#pragma once

#include "console.h"
#include "device/adb.h"
#include "options.h"

namespace cli {

int DiscoverCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel);
int PairCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel);
int ConnectCommand(const Options& o, const dev::Adb& adb, Output& out, const dev::Cancel& cancel);
int OtherAdbCommand(const Options& o, Output& out);

// When the device list failed, or adb said more than the list: the trouble
// in the owner's words on standard error (another program's server named).
// True when it said something.
bool TellAdbTrouble(const std::string& listError, const std::string& adbText, Output& out);

} // namespace cli
