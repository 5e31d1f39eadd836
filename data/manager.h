// The package manager window 应用管理: devices on top, the filter row, the
// package list, the action buttons, and progress, status and log at the
// bottom. The list takes the room the user gives the window.
#pragma once

#include <cstdint>
#include "data/formbuild.h"

namespace data {

// Unit identifiers of the manager window (data::kManagerWindow), in tab
// order: the loader creates, and Tab visits, ascending identifiers.
constexpr uint32_t kMgrWindow = 0x06010000;
constexpr uint32_t kMgrDeviceLabel = 0x16010101;
constexpr uint32_t kMgrDevices = 0x16010102;        // combo box of devices
constexpr uint32_t kMgrUserLabel = 0x16010103;
constexpr uint32_t kMgrUsers = 0x16010104;          // combo box of the phone's users (机主, 工作资料, ...)
constexpr uint32_t kMgrRefresh = 0x16010105;        // 刷新
constexpr uint32_t kMgrAllDevices = 0x16010106;     // check box 同时用于所有已连接设备
constexpr uint32_t kMgrFilterLabel = 0x16010107;
constexpr uint32_t kMgrFilter = 0x16010108;         // edit box: substring of name or path
constexpr uint32_t kMgrStateLabel = 0x16010109;
constexpr uint32_t kMgrState = 0x1601010A;          // 全部 / 已启用 / 已禁用 / 已删除
constexpr uint32_t kMgrKindLabel = 0x1601010B;
constexpr uint32_t kMgrKind = 0x1601010C;           // 全部 / 系统 / 用户
constexpr uint32_t kMgrCount = 0x1601010D;          // label: 共 … 个，显示 … 个，已勾选 … 个
constexpr uint32_t kMgrList = 0x1601010E;           // list view of packages
constexpr uint32_t kMgrDisable = 0x1601010F;
constexpr uint32_t kMgrEnable = 0x16010110;
constexpr uint32_t kMgrDelete = 0x16010111;
constexpr uint32_t kMgrRestore = 0x16010112;
constexpr uint32_t kMgrImport = 0x16010113;
constexpr uint32_t kMgrExport = 0x16010114;
constexpr uint32_t kMgrRecord = 0x16010115;
constexpr uint32_t kMgrUndoAll = 0x16010116;
constexpr uint32_t kMgrCancel = 0x16010117;         // enabled only while something runs
constexpr uint32_t kMgrProgress = 0x16010118;
constexpr uint32_t kMgrStatus = 0x16010119;
constexpr uint32_t kMgrLog = 0x1601011A;            // rich edit box, one line per outcome

// Handler references the window's event tables hold (data::kHandlerMap maps them).
enum ManagerHandlerRef : int32_t {
    kRefMgrCreated = 0x2001, kRefMgrDestroyed, kRefMgrPosted, kRefMgrKey, kRefMgrFilterKey, kRefMgrListKey,
    kRefDeviceChosen, kRefRefresh, kRefFilterChanged, kRefShowChanged, kRefChecksChanged, kRefColumnClicked,
    kRefDisableChecked, kRefEnableChecked, kRefDeleteChecked, kRefRestoreChecked, kRefImportList, kRefExportList,
    kRefShowRecord, kRefUndoAll, kRefCancelJob, kRefUserChosen,
};

WindowSpec ManagerWindow();

} // namespace data
