// The window 添加远程 adb 服务器 (data/serverwindow.h): loaded modal over the
// manager window; its handlers check what was typed and close it.
#pragma once

#include <cstdint>
#include "device/servers.h"

namespace app {

// Opens the window and returns when it has closed: true with the server
// typed when the user chose 确定, false when the user cancelled.
bool AskForServer(dev::Server* server);

bool OnServerOk(int32_t argc, const int64_t* argv, int64_t* result);
bool OnServerCancel(int32_t argc, const int64_t* argv, int64_t* result);
bool OnServerKey(int32_t argc, const int64_t* argv, int64_t* result);

} // namespace app
