// The window 添加远程 adb 服务器: the address and port of another computer's
// adb server, OK and Cancel. The manager window opens it modal from the
// last item of its device list.
#pragma once

#include <cstdint>
#include "data/formbuild.h"

namespace data {

// Unit identifiers of the window (data::kServerWindow), in tab order.
constexpr uint32_t kSrvWindow = 0x06010000;
constexpr uint32_t kSrvHostLabel = 0x16010101;
constexpr uint32_t kSrvHost = 0x16010102;      // edit box: IP address or computer name
constexpr uint32_t kSrvPortLabel = 0x16010103;
constexpr uint32_t kSrvPort = 0x16010104;      // edit box: 5037 at first
constexpr uint32_t kSrvNote = 0x16010105;      // label: what the other computer runs, or what is wrong
constexpr uint32_t kSrvOk = 0x16010106;
constexpr uint32_t kSrvCancel = 0x16010107;
constexpr uint32_t kSrvWarning = 0x16010108;   // label: what `adb -a` lets anyone on the network do

enum ServerHandlerRef : int32_t { kRefSrvOk = 0x2101, kRefSrvCancel, kRefSrvKey };

// The note the window opens with, and the warning under it.
extern const char kServerNote[];
extern const char kServerWarning[];

WindowSpec ServerWindow();

} // namespace data
