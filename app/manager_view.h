// The package manager window as its handlers see it: property reads and
// writes and the list view's library commands, all through the service
// table. UI thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app::view {

void SetText(uint32_t unit, const std::string& text);      // a label's caption, the edit box's content
std::string Text(uint32_t unit);                            // the edit box's content
void SetDisabled(uint32_t unit, bool disabled);
void SetTitle(uint32_t window, const std::string& title);   // a loaded window's caption
bool Loaded();                                              // the manager window is loaded
void BringForward();                                        // the manager window active, in front

// Combo boxes: items one a line; the current choice, -1 for none.
void SetItems(uint32_t combo, const std::vector<std::string>& items, int32_t current);
int32_t Current(uint32_t combo);
bool Checked(uint32_t checkBox);

// The keyboard focus. Disabling the control that has it leaves the window
// without one (keys would then reach nothing until a click), so work that
// disables controls parks the focus on the list and gives it back after.
// A saved focus is a window handle as an integer; 0 for none.
uintptr_t SavedFocus();
void FocusList();
void RestoreFocus(uintptr_t saved);   // only while the focus is still parked on the list

void SetProgress(int32_t position, int32_t maximum);   // maximum 0: idle and empty; -1: busy, length unknown

// The log: appends lines at the end and keeps the end in view.
void ClearLog();
void AppendLog(const std::string& lines);

// The package list: rows are numbered by their place in the text SetRows gave.
void SetRows(const std::string& text);
void SetRow(int32_t row, const std::string& cells, uint32_t colour);
int32_t Filter(const std::string& text, uint32_t columns);   // how many rows are shown
void CheckRow(int32_t row, bool checked);
std::vector<int32_t> CheckedRows();
std::vector<int32_t> SelectedRows();
void Sort(int32_t column, bool descending);
// Makes `column` the list's column of names and sets the names of the rows
// from `first` on: one a line, UTF-8.
void SetNames(int32_t column, int32_t first, const std::string& lines);
// A row's icon from PNG bytes (empty: the plain default icon).
void SetIcon(int32_t row, const std::string& png);

// A message box owned by the manager window; true when the user chose Yes
// (or OK for a plain box).
bool Ask(const std::string& text, const std::string& title);
void Tell(const std::string& text, const std::string& title);
enum class Answer { Yes, No, Cancel };
Answer AskYesNoCancel(const std::string& text, const std::string& title);

// File dialogs; false when the user cancelled. `path` holds the chosen file.
bool ChooseOpenFile(std::string* path);
bool ChooseSaveFile(std::string* path);

} // namespace app::view
