// The program header: where the runtime finds the program's constants, form
// template, support libraries and DLL commands.
#pragma once

#include "runtime/services.h"

namespace data {

constexpr uint32_t kStartupWindow = 0x52010001;
constexpr uint32_t kManagerWindow = 0x52010002;   // 应用管理, opened from the start-up window's system menu
constexpr uint32_t kServerWindow = 0x52010003;    // 添加远程 adb 服务器, opened from the manager's device list
constexpr uint32_t kWirelessWindow = 0x52010004;  // 无线连接, opened from the manager's device list

// The program header: constants, form template, libraries and DLL commands,
// with `codeBase` (the program's handler map) as its code base.
rt::ProgramHeader MakeHeader(const rt::HandlerMapEntry* codeBase);

// The three support-library records, in library-number order.
extern const rt::LibraryRecord kCoreLibrary;
extern const rt::LibraryRecord kExtLibrary;
extern const rt::LibraryRecord kRegexLibrary;

// The program's DLL command table.
constexpr int32_t kDllCount = 7;
enum DllCommand : int32_t {
    kDllCreatePipe = 0,
    kDllCreateProcess = 1,
    kDllCloseHandle = 2,
    kDllPeekNamedPipe = 3,
    kDllReadFile = 4,
    kDllGetExitCodeProcess = 5,
    kDllMsgWaitForMultipleObjects = 6,  // the runner's wait: process end or window input
};

} // namespace data
