// The package manager window 应用管理: its handlers, bound in the form
// template.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// From the command line: the phone the window chooses when it lists the
// devices, and the window opened (and brought to the front once the
// start-up window shows) while the start-up window is being created.
void PreferDevice(const std::string& serial);
void OpenManagerAtStart();

// Called on the choice of the menu item, before the window is loaded: the
// first read of devices and packages starts at once, while the window is
// being created, and the window takes it over.
void PrepareManager();
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
