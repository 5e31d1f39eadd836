// What the tool's own command line may ask for: `adbtool.exe --manager
// [--device SERIAL]` opens 应用管理 at start, with that phone chosen (a
// shortcut for the people who set up phones). Without arguments the tool
// starts as it always did; words it does not know are passed over.
#pragma once

#include <string>

namespace app {

struct StartArguments {
    bool manager = false;
    std::string device;   // GBK; empty when not given
};

StartArguments ReadStartArguments();

} // namespace app
