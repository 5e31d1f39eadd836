// The extended interface library's list view (超级列表框): a report-view
// SysListView32 in virtual mode (LVS_OWNERDATA) over a ListModel, so that
// tens of thousands of rows load at once and the control asks only for the
// rows it paints. Rows are named everywhere by their index in the full row
// set, which filtering and sorting leave as it is.
//
// Events: 0 selection changed (the first selected row, or -1), raised once
// for a burst of changes; 1 check changed (the row, or -1 when one key
// changed several rows; the new mark 0 or 1); 2 double click (the row or -1,
// the column); 3 column header clicked (the column; the list then sorts by
// it, ascending first, unless the handler returns false); 4 key pressed (key code,
// modifiers 1 Ctrl, 2 Shift, 4 Alt; a handler that returns false consumes
// the key). Changes made by the library's commands or by property writes
// raise none of them.
//
// Keys of its own: Space toggles the check marks of the selected rows (the
// focused row's mark decides the new one), Ctrl+A selects every shown row.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>
#include "icons/appicon.h"
#include "listmodel.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

class ListView : public UnitWnd {
public:
    ListView(uint32_t windowId, uint32_t unitId);

    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT controlId, int x, int y,
               int width, int height);
    int32_t Changed(int32_t index, const uint32_t* data);
    bool Get(int32_t index, uint32_t* data);
    HGLOBAL AllData() const;

    // What the library's commands do.
    void SetRows(const char* text);
    bool SetRow(int32_t row, const char* text, uint32_t colour);
    // Sets the mark of `row`, or of every shown row when `row` is -1; how
    // many marks changed.
    int32_t CheckRows(int32_t row, bool checked);
    std::vector<int32_t> SelectedRows() const;   // in the order shown
    int32_t Filter(const std::string& text, uint32_t columns);
    void Sort(int32_t column, bool descending);
    // Makes `column` the column of names (-1: none) and sets the names of
    // the rows from `first` on (see ListModel::SetNames).
    void SetNames(int32_t column, int32_t first, const std::vector<std::wstring>& names);
    // Gives `row` an icon in the first column from PNG bytes (empty: the
    // plain default icon). The first icon makes the list show icons, and
    // every row without one of its own then shows the default. An icon is
    // decoded when its row is first painted, and the same bytes only once.
    void SetIcon(int32_t row, const std::string& png);
    const ListModel& Model() const { return model_; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const { return SendMessageA(hwnd, msg, wp, lp); }
    static UINT SelectionMessage();
    DWORD ExtendedStyle() const;
    void ApplyColumns();
    void ApplyColours();
    void ApplySortArrow();
    void ApplyCheckBoxes();
    void Reshow(const std::vector<int32_t>& selected, int32_t focusRow);
    void SelectOnly(int32_t row);
    void ClearSelection();
    int32_t FirstSelectedRow() const;
    int32_t FocusedRow() const;
    std::string JoinColumns() const;
    bool OnNotify(NMHDR* header, LRESULT* result);
    void OnGetDispInfo(NMLVDISPINFOW* info);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    void OnSelectionChanged();
    void OnColumnClick(int32_t column);
    LRESULT OnKeyDown(WPARAM wp, LPARAM lp);
    LRESULT OnButtonDown(UINT msg, WPARAM wp, LPARAM lp);
    void ToggleSelected();
    void RedrawRow(int32_t row);

    ListViewData data_;
    ListModel model_;
    // The control's small image list while it lives, never its own: it is
    // taken back as the control is destroyed.
    std::unique_ptr<icons::AppIconList> icons_;
    std::unordered_map<int32_t, std::string> pendingIcons_;   // row -> PNG not decoded yet
    OwnedGdi font_;
    std::string scratch_;          // the text last read out, until the next read
    int32_t quiet_ = 0;            // above 0 while our own changes run: no events
    bool selectionPending_ = false;
};

} // namespace units
