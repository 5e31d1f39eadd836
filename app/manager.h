// The package manager window 应用管理: its handlers, bound in the form
// template.
#pragma once

#include <cstdint>

namespace app {

bool OnManagerCreated(int32_t argc, const int64_t* argv, int64_t* result);
bool OnManagerDestroyed(int32_t argc, const int64_t* argv, int64_t* result);
bool OnManagerPosted(int32_t argc, const int64_t* argv, int64_t* result);
bool OnManagerKey(int32_t argc, const int64_t* argv, int64_t* result);
bool OnManagerFilterKey(int32_t argc, const int64_t* argv, int64_t* result);
bool OnManagerListKey(int32_t argc, const int64_t* argv, int64_t* result);
bool OnDeviceChosen(int32_t argc, const int64_t* argv, int64_t* result);
bool OnRefresh(int32_t argc, const int64_t* argv, int64_t* result);
bool OnFilterChanged(int32_t argc, const int64_t* argv, int64_t* result);
bool OnShowChanged(int32_t argc, const int64_t* argv, int64_t* result);
bool OnChecksChanged(int32_t argc, const int64_t* argv, int64_t* result);
bool OnColumnClicked(int32_t argc, const int64_t* argv, int64_t* result);
bool OnDisableChecked(int32_t argc, const int64_t* argv, int64_t* result);
bool OnEnableChecked(int32_t argc, const int64_t* argv, int64_t* result);
bool OnDeleteChecked(int32_t argc, const int64_t* argv, int64_t* result);
bool OnRestoreChecked(int32_t argc, const int64_t* argv, int64_t* result);
bool OnImportList(int32_t argc, const int64_t* argv, int64_t* result);
bool OnExportList(int32_t argc, const int64_t* argv, int64_t* result);
bool OnShowRecord(int32_t argc, const int64_t* argv, int64_t* result);
bool OnUndoAll(int32_t argc, const int64_t* argv, int64_t* result);
bool OnCancelJob(int32_t argc, const int64_t* argv, int64_t* result);
bool OnUserChosen(int32_t argc, const int64_t* argv, int64_t* result);

} // namespace app
