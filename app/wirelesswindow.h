// The window 无线连接 (data/wirelesswindow.h): loaded modal over the manager
// window. While it is open a worker asks adb every two seconds which phones
// offer pairing or a connection; pairing and connecting run on a second
// worker, so the window answers meanwhile; both post their findings to the
// window (its event 13), the runtime's way of reaching a window's thread.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// Opens the window and returns when it has closed: the serial adb lists the
// phone by that it connected, empty when it connected none.
std::string AskToConnectWirelessly();

bool OnWirelessCreated(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessDestroyed(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessPosted(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessPhoneChosen(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessPair(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessConnect(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessClose(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessCodeKey(int32_t argc, const int64_t* argv, int64_t* result);
bool OnWirelessConnectKey(int32_t argc, const int64_t* argv, int64_t* result);

} // namespace app
