// adbctl's commands: each reads what it needs through the device layer
// (cli/phone.h), prints through cli/report.h and returns the exit status.
#pragma once

#include "console.h"
#include "device/thread.h"
#include "options.h"

namespace cli {

// `cancel` is set by Ctrl+C: a batch stops after the package in progress.
int RunCommand(const Options& o, Output& out, const dev::Cancel& cancel);

// The adb.exe to run: --adb, else adb_1.0.40\adb.exe beside the program,
// else adb.exe on PATH; empty when there is none.
std::wstring FindAdb(const std::wstring& given);

// A path for the device layer's ANSI calls: in the ANSI code page, or its
// short form when a character has no place there.
std::string AnsiPath(const std::wstring& path);

} // namespace cli
