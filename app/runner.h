// The console command runner: runs one command line through the command
// interpreter, hidden, and returns everything it wrote to standard output
// and standard error.
#pragma once

#include <cstdint>

namespace app {

// The routine identifier the runner's checks report with.
constexpr int32_t kRunnerRoutine = 67174566;

// `command` is the address of the caller's text variable (the line without
// the interpreter prefix); it is read, not changed. `directory` is the
// folder the command runs in; null keeps this process's current folder.
// Returns a new text that the caller frees, or null when the command wrote
// nothing. When the program's window, loaded at the start, goes while the
// command runs, the command's own processes are ended and what it wrote so
// far is returned.
char* RunConsoleCommand(char** command, const char* directory = nullptr);

} // namespace app
