// Giving up a running command when the program's window has gone while the
// console command runner still waits for it.
#pragma once

#include <cstdint>

namespace app {

// Ends a command's own processes: the interpreter (`process`, with its id)
// and the programs it started itself, such as the adb client and findstr.
// What those started in turn lives on: an adb server started in the
// background serves every other program on the machine, and ending it would
// cost the next command a server start.
void EndCommandProcesses(uint32_t process, uint32_t processId);

} // namespace app
