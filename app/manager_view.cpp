#include "manager_view.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cstring>
#include "calls.h"
#include "data/constants.h"
#include "data/manager.h"
#include "data/program.h"
#include "runtime/syscalls.h"
#include "units/extlib.h"

namespace app::view {

namespace {

using rt::kServices;

constexpr uint32_t kWindow = data::kManagerWindow;

// Property indices of the units the window holds.
constexpr int32_t kPropDisabled = 6;
constexpr int32_t kPropCaption = 8;        // label caption, edit box content, window title
constexpr int32_t kPropItems = 8;          // combo box
constexpr int32_t kPropCurrent = 9;        // combo box
constexpr int32_t kPropChecked = 9;        // check box
constexpr int32_t kPropMaximum = 9;        // progress bar (minimum 8, position 10, marquee 11)
constexpr int32_t kPropPosition = 10;
constexpr int32_t kPropMarquee = 11;
constexpr int32_t kPropLogContent = 9;     // rich edit box

// Commands of the extended library (units/extlib.h).
enum ExtCommand : int32_t {
    kLineCount = 0, kScrollLines = 1, kSetRows = 2, kSetRow = 3, kCheckRows = 5, kCheckedRows = 6,
    kSelectedRows = 7, kFilter = 8, kSort = 9, kAddText = 10, kSetNames = 11, kSetIcon = 12,
};

void WriteText(uint32_t window, uint32_t unit, int32_t property, const std::string& text) {
    kServices.writeProperty(window, unit, property, -1, Word(text.c_str()), 0);
}

void WriteInt(uint32_t unit, int32_t property, int32_t value) {
    kServices.writeProperty(kWindow, unit, property, -1, static_cast<uint32_t>(value), 0);
}

int32_t ReadInt(uint32_t unit, int32_t property) {
    return static_cast<int32_t>(kServices.readProperty(kWindow, unit, property, -1));
}

rt::ArgRecord Unit(uint32_t unit, uint32_t type) { return rt::ArgRecord{kWindow, unit, type}; }
rt::ArgRecord List() { return Unit(data::kMgrList, rt::kTypeListView); }

rt::ArgRecord Ext(ExtCommand command, std::initializer_list<rt::ArgRecord> args) {
    rt::ArgRecord records[4];
    int32_t n = 0;
    for (const rt::ArgRecord& a : args) records[n++] = a;
    return kServices.callLibraryCommand(units::kExtCommands[command], n, records);
}

// Rows a command returns in an integer array variable.
std::vector<int32_t> Rows(ExtCommand command) {
    void* array = nullptr;
    Ext(command, {List(), ByRefArg(rt::kTypeInt, &array)});
    std::vector<int32_t> rows;
    if (const int32_t* block = static_cast<const int32_t*>(array)) rows.assign(block + 2, block + 2 + block[1]);
    kServices.free(array);
    return rows;
}

int32_t MessageBox(const std::string& text, const std::string& title, uint32_t style) {
    rt::ArgRecord r = CallCore(kShowMessageBox, {TextArg(text.c_str()), IntArg(static_cast<int32_t>(style)),
                                                 TextArg(title.c_str()), rt::ArgRecord{kWindow, 0, rt::kTypeWindow}});
    return static_cast<int32_t>(r.lo) + 1;   // back to the IDOK ... IDNO of the box
}

HWND WindowHandle() {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(kServices.auxiliary(rt::kAuxPostTarget, kWindow)));
}

HWND ListHandle() {
    HWND window = WindowHandle();
    return window ? FindWindowExA(window, nullptr, WC_LISTVIEWA, nullptr) : nullptr;
}

bool FileDialog(std::string* path, bool save) {
    char file[MAX_PATH] = "";
    OPENFILENAMEA o = {};
    o.lStructSize = sizeof o;
    o.hwndOwner = WindowHandle();
    o.lpstrFilter = "包名列表 (*.txt)\0*.txt\0所有文件 (*.*)\0*.*\0";
    o.lpstrFile = file;
    o.nMaxFile = MAX_PATH;
    o.lpstrDefExt = "txt";
    o.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
              (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    BOOL chosen = save ? rt::gSys.GetSaveFileNameA(&o) : rt::gSys.GetOpenFileNameA(&o);
    if (!chosen) return false;
    *path = file;
    return true;
}

} // namespace

void BringForward() {
    if (HWND window = WindowHandle()) SetForegroundWindow(window);
}

uintptr_t SavedFocus() {
    HWND focus = GetFocus(), window = WindowHandle();
    return window && focus && IsChild(window, focus) ? reinterpret_cast<uintptr_t>(focus) : 0;
}

void FocusList() {
    if (HWND list = ListHandle()) SetFocus(list);
}

void RestoreFocus(uintptr_t saved) {
    HWND h = reinterpret_cast<HWND>(saved), window = WindowHandle();
    HWND focus = GetFocus();
    if (!saved || !window || !IsChild(window, h) || !IsWindowEnabled(h) || !IsWindowVisible(h)) return;
    if (focus && focus == ListHandle() && focus != h) SetFocus(h);
}

void SetText(uint32_t unit, const std::string& text) { WriteText(kWindow, unit, kPropCaption, text); }

std::string Text(uint32_t unit) {
    char* text = PointerAt<char>(static_cast<uint32_t>(kServices.readProperty(kWindow, unit, kPropCaption, -1)));
    std::string s = text ? text : "";
    kServices.free(text);
    return s;
}

void SetDisabled(uint32_t unit, bool disabled) { WriteInt(unit, kPropDisabled, disabled ? 1 : 0); }

void SetTitle(uint32_t window, const std::string& title) {
    if (kServices.auxiliary(rt::kAuxWindowLoaded, window)) WriteText(window, 0, kPropCaption, title);
}

bool Loaded() { return kServices.auxiliary(rt::kAuxWindowLoaded, kWindow) != 0; }

void SetItems(uint32_t combo, const std::vector<std::string>& items, int32_t current) {
    std::string text;
    for (const std::string& item : items) text += item + "\r\n";
    WriteText(kWindow, combo, kPropItems, text);
    WriteInt(combo, kPropCurrent, current);
}

int32_t Current(uint32_t combo) { return ReadInt(combo, kPropCurrent); }
bool Checked(uint32_t checkBox) { return ReadInt(checkBox, kPropChecked) != 0; }

void SetProgress(int32_t position, int32_t maximum) {
    WriteInt(data::kMgrProgress, kPropMarquee, maximum < 0 ? 1 : 0);
    if (maximum < 0) return;
    WriteInt(data::kMgrProgress, kPropMaximum, maximum > 0 ? maximum : 1);
    WriteInt(data::kMgrProgress, kPropPosition, position);
}

void ClearLog() { WriteText(kWindow, data::kMgrLog, kPropLogContent, ""); }

void AppendLog(const std::string& lines) {
    rt::ArgRecord unit = Unit(data::kMgrLog, rt::kTypeRichEdit);
    rt::ArgRecord add[2] = {unit, TextArg(lines.c_str())};
    kServices.callLibraryCommand(units::kExtCommands[kAddText], 2, add);
    int32_t count = static_cast<int32_t>(kServices.callLibraryCommand(units::kExtCommands[kLineCount], 1, &unit).lo);
    rt::ArgRecord args[2] = {unit, IntArg(count)};
    kServices.callLibraryCommand(units::kExtCommands[kScrollLines], 2, args);
}

void SetRows(const std::string& text) { Ext(kSetRows, {List(), TextArg(text.c_str())}); }

void SetRow(int32_t row, const std::string& cells, uint32_t colour) {
    Ext(kSetRow, {List(), IntArg(row), TextArg(cells.c_str()), IntArg(static_cast<int32_t>(colour))});
}

int32_t Filter(const std::string& text, uint32_t columns) {
    return static_cast<int32_t>(Ext(kFilter, {List(), TextArg(text.c_str()), IntArg(static_cast<int32_t>(columns))}).lo);
}

void CheckRow(int32_t row, bool checked) {
    Ext(kCheckRows, {List(), IntArg(row), rt::ArgRecord{checked ? 1u : 0u, 0, rt::kTypeBool}});
}

std::vector<int32_t> CheckedRows() { return Rows(kCheckedRows); }
std::vector<int32_t> SelectedRows() { return Rows(kSelectedRows); }

void SetNames(int32_t column, int32_t first, const std::string& lines) {
    Ext(kSetNames, {List(), IntArg(column), IntArg(first), TextArg(lines.c_str())});
}

void SetIcon(int32_t row, const std::string& png) {
    // A byte set as the runtime lays it out: its header, then the bytes.
    std::vector<uint8_t> set(sizeof(rt::ByteSetHeader) + png.size());
    rt::ByteSetHeader header{1, static_cast<int32_t>(png.size())};
    std::memcpy(set.data(), &header, sizeof header);
    if (!png.empty()) std::memcpy(set.data() + sizeof header, png.data(), png.size());
    Ext(kSetIcon, {List(), IntArg(row), BytesArg(set.data())});
}

void Sort(int32_t column, bool descending) {
    Ext(kSort, {List(), IntArg(column), rt::ArgRecord{descending ? 1u : 0u, 0, rt::kTypeBool}});
}

bool Ask(const std::string& text, const std::string& title) {
    return MessageBox(text, title, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

void Tell(const std::string& text, const std::string& title) { MessageBox(text, title, MB_OK | MB_ICONINFORMATION); }

Answer AskYesNoCancel(const std::string& text, const std::string& title) {
    int32_t r = MessageBox(text, title, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3);
    return r == IDYES ? Answer::Yes : r == IDNO ? Answer::No : Answer::Cancel;
}

bool ChooseOpenFile(std::string* path) { return FileDialog(path, false); }
bool ChooseSaveFile(std::string* path) { return FileDialog(path, true); }

} // namespace app::view
