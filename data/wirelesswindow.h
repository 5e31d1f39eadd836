// The window 无线连接 (Android 11 and later): the phones on the network that
// offer pairing or a connection, refreshed while it is open, the six-digit
// code, and the addresses for when the network hides the phones. The
// manager window opens it modal from its device list.
#pragma once

#include <cstdint>
#include "data/formbuild.h"

namespace data {

// Unit identifiers of the window (data::kWirelessWindow), in tab order: the
// code first, the one thing the owner types when the phone is found.
constexpr uint32_t kWlWindow = 0x06010000;
constexpr uint32_t kWlCode = 0x16010101;            // edit box: the six digits the phone shows
constexpr uint32_t kWlPair = 0x16010102;            // 配对并连接
constexpr uint32_t kWlPhones = 0x16010103;          // combo box of the phones discovery finds
constexpr uint32_t kWlPairAddress = 0x16010104;     // edit box: the pairing dialog's IP address and port
constexpr uint32_t kWlConnectAddress = 0x16010105;  // edit box: the 无线调试 page's IP address and port
constexpr uint32_t kWlConnect = 0x16010106;         // 连接
constexpr uint32_t kWlClose = 0x16010107;
constexpr uint32_t kWlSteps = 0x16010108;           // label: what to do on the phone
constexpr uint32_t kWlPhonesLabel = 0x16010109;
constexpr uint32_t kWlCodeLabel = 0x1601010A;
constexpr uint32_t kWlPairLabel = 0x1601010B;
constexpr uint32_t kWlConnectLabel = 0x1601010C;
constexpr uint32_t kWlStatus = 0x1601010D;          // label: what is going on, or what went wrong

enum WirelessHandlerRef : int32_t {
    kRefWlCreated = 0x2201, kRefWlDestroyed, kRefWlPosted, kRefWlPhoneChosen, kRefWlPair, kRefWlConnect, kRefWlClose,
    kRefWlCodeKey, kRefWlConnectKey,
};

// The steps on the phone the window opens with.
extern const char kWirelessSteps[];

WindowSpec WirelessWindow();

} // namespace data
