// The program's event handlers, bound in the form template.
#pragma once

#include <cstdint>

namespace app {

bool OnWindowCreated(int32_t argc, const int64_t* argv, int64_t* result);
bool OnListDevices(int32_t argc, const int64_t* argv, int64_t* result);
bool OnForegroundPackage(int32_t argc, const int64_t* argv, int64_t* result);
bool OnDisablePackage(int32_t argc, const int64_t* argv, int64_t* result);
bool OnDeletePackage(int32_t argc, const int64_t* argv, int64_t* result);
bool OnListDisabled(int32_t argc, const int64_t* argv, int64_t* result);
bool OnEnablePackage(int32_t argc, const int64_t* argv, int64_t* result);
// The start-up window's system-menu item "应用管理(&P)...".
bool OnOpenManager(int32_t argc, const int64_t* argv, int64_t* result);

} // namespace app
