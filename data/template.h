// The program's form template: the start-up window 0x52010001 with the six
// action buttons, the package edit box, three labels and the log box, the
// package manager window and the remote-server window. The handlers their
// references stand for are the program's (app/program.h).
#pragma once

#include <cstdint>
#include <vector>
#include "data/formbuild.h"
#include "runtime/services.h"

namespace data {

// Unit identifiers of the start-up window (data::kStartupWindow).
constexpr uint32_t kUnitWindow = 0x06010000;
constexpr uint32_t kUnitHintLabel = 0x16010097;      // 标签3
constexpr uint32_t kUnitEnable = 0x16010092;         // 按钮6
constexpr uint32_t kUnitListDisabled = 0x16010088;   // 按钮5
constexpr uint32_t kUnitDelete = 0x1601007A;         // 按钮4
constexpr uint32_t kUnitPackageEdit = 0x16010078;    // 编辑框1
constexpr uint32_t kUnitDisable = 0x16010077;        // 按钮3
constexpr uint32_t kUnitPackageLabel = 0x16010074;   // 标签2
constexpr uint32_t kUnitForeground = 0x1601005D;     // 按钮2
constexpr uint32_t kUnitListDevices = 0x1601004B;    // 按钮1
constexpr uint32_t kUnitLogLabel = 0x1601004A;       // 标签1
constexpr uint32_t kUnitLog = 0x16010049;            // 超级编辑框1

// Handler references the start-up window's event tables hold.
constexpr int32_t kRefWindowCreated = 0xABC;
constexpr int32_t kRefEnable = 0xAC3;
constexpr int32_t kRefListDisabled = 0xBF6;
constexpr int32_t kRefDelete = 0xC7;
constexpr int32_t kRefDisable = 0xCE0;
constexpr int32_t kRefForeground = 0xE25;
constexpr int32_t kRefListDevices = 0x11CC;

// The start-up window's entry as the template stores it.
WindowSpec StartupWindow();

// The template block; built once on first use.
const std::vector<uint8_t>& FormTemplate();


} // namespace data
