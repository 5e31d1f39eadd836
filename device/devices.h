// The devices adb knows: `adb devices -l` read into records, and what the
// user is told about a device that is not ready.
#pragma once

#include <string>
#include <vector>
#include "servers.h"

namespace dev {

enum class DeviceState { Ready, Unauthorized, Offline, NoPermissions, Authorizing, Connecting, Other };

struct Device {
    std::string serial;
    std::string stateText;   // as adb printed it, e.g. "unauthorized"
    DeviceState state = DeviceState::Other;
    std::string product, model, device, usb;
    int transportId = -1;
    Server server;           // the adb server that serves it; local for this computer's
};

// Reads `adb devices` or `adb devices -l`; lines that are no device line
// (the heading, the server's start-up notes, blank lines) are skipped.
std::vector<Device> ParseDevices(const std::string& out);

DeviceState StateFromText(const std::string& stateText);

// Empty for a ready device; else what the user should do, e.g.
// "未授权：请在手机上确认“允许 USB 调试”".
std::string StateHint(const Device& d);

// "model serial", "@ host" after it for a phone of another computer's adb
// server, with the hint for a device that is not ready:
// "Pixel_7 1A2B3C @ 192.168.1.20（未授权：请在手机上确认…）".
std::string DeviceLabel(const Device& d);
// The same with the state in a word (the hint's head), as a list of sixteen
// phones shows it without a scroll sideways: "Pixel_7 1A2B3C（未授权）".
std::string ShortDeviceLabel(const Device& d);

} // namespace dev
