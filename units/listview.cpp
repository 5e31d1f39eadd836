#include "listview.h"

#include <commctrl.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include "extlib.h"
#include "queries.h"

namespace units {

namespace {

// Property indices as the unit interfaces see them (property index - 8).
enum ListProperty : int32_t {
    kColumns = 0, kCheckBoxes, kFullRow, kMultiSelect, kGridLines, kBorder, kTextColour, kBackColour, kFont,
    kSortColumn, kSortDescending, kRowCount, kShownCount, kCheckedCount, kCurrentRow,
};

constexpr int kAlignFormats[3] = {LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER};

// State image 1 is the empty box, 2 the checked one.
inline UINT CheckState(bool checked) { return INDEXTOSTATEIMAGEMASK(checked ? 2 : 1); }

int32_t Modifiers() {
    return ((GetKeyState(VK_CONTROL) & 0x8000) ? 1 : 0) | ((GetKeyState(VK_SHIFT) & 0x8000) ? 2 : 0) |
           ((GetKeyState(VK_MENU) & 0x8000) ? 4 : 0);
}

// Columns from a text: one a line, "title TAB width TAB alignment"; a missing
// width is 100, a missing alignment 0.
std::vector<ListColumn> ParseColumns(const std::string& text) {
    std::vector<ListColumn> columns;
    for (const std::string& line : SplitLines(text)) {
        ListColumn c;
        size_t tab = line.find('\t');
        c.title = line.substr(0, tab);
        if (tab != std::string::npos) {
            // strtol would skip a TAB as blank: an empty field is read as missing.
            const char* rest = line.c_str() + tab + 1;
            char* end = const_cast<char*>(rest);
            long width = *rest == '\t' ? 0 : std::strtol(rest, &end, 10);
            if (end != rest) c.width = static_cast<int32_t>(std::max(0L, std::min(width, 32767L)));
            const char* next = std::strchr(end, '\t');
            if (next && next[1] != '\t') c.alignment = ClampPick(static_cast<int32_t>(std::strtol(next + 1, nullptr, 10)), 2);
        }
        columns.push_back(c);
    }
    return columns;
}

} // namespace

ListView::ListView(uint32_t windowId, uint32_t unitId) : UnitWnd(&gExtLink, windowId, unitId) {}

UINT ListView::SelectionMessage() {
    static const UINT msg = RegisterWindowMessageA("KeelListViewSelection");
    return msg;
}

DWORD ListView::ExtendedStyle() const {
    DWORD ex = 0;
    if (data_.checkBoxes) ex |= LVS_EX_CHECKBOXES;
    if (data_.fullRowSelect) ex |= LVS_EX_FULLROWSELECT;
    if (data_.gridLines) ex |= LVS_EX_GRIDLINES;
    return ex;
}

bool ListView::Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT controlId, int x, int y,
                     int width, int height) {
    if (!Decode(bytes, length, &data_) || !LoadCommonControls(ICC_LISTVIEW_CLASSES)) return false;
    style |= WS_CHILD | WS_CLIPSIBLINGS | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS;
    if (!data_.multiSelect) style |= LVS_SINGLESEL;
    if (!Create(0, WC_LISTVIEWA, "", style, x, y, width, height, parent,
                reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId))))
        return false;
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, ExtendedStyle());
    // Cells are asked for in UTF-16, so that a name column can hold what the
    // code page cannot; the other cells are widened as they are painted,
    // which the control would do itself for an ANSI answer.
    Send(CCM_SETUNICODEFORMAT, TRUE);
    ApplyCheckBoxes();
    ApplyStoredFont(hwnd, data_.font, &font_);
    ApplyColumns();
    ApplyColours();
    ApplyBorder(hwnd, data_.border);
    model_.SetSort(data_.sortColumn, data_.sortDescending);
    ApplySortArrow();
    return true;
}

// The check marks live in the model: the control asks for each row's state
// image while it paints.
void ListView::ApplyCheckBoxes() { Send(LVM_SETCALLBACKMASK, data_.checkBoxes ? LVIS_STATEIMAGEMASK : 0); }

void ListView::ApplyColumns() {
    while (Send(LVM_DELETECOLUMN, 0)) {}
    for (size_t i = 0; i < data_.columns.size(); ++i) {
        const ListColumn& c = data_.columns[i];
        LVCOLUMNA col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        col.fmt = kAlignFormats[ClampPick(c.alignment, 2)];
        col.cx = c.width;
        col.pszText = const_cast<char*>(c.title.c_str());
        col.iSubItem = static_cast<int>(i);
        Send(LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
    }
    ApplySortArrow();
}

void ListView::ApplyColours() {
    COLORREF back = ResolveColour(data_.backColour);
    Send(LVM_SETBKCOLOR, 0, static_cast<LPARAM>(back));
    Send(LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(back));
    Send(LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(data_.textColour));
    InvalidateRect(hwnd, nullptr, TRUE);
}

void ListView::ApplySortArrow() {
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    if (!header) return;
    int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        int fmt = item.fmt & ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == model_.SortColumn()) fmt |= model_.SortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
        if (fmt == item.fmt) continue;
        item.fmt = fmt;
        SendMessageA(header, HDM_SETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
}

std::string ListView::JoinColumns() const {
    std::string s;
    for (size_t i = 0; i < data_.columns.size(); ++i) {
        const ListColumn& c = data_.columns[i];
        if (i) s += "\r\n";
        s += c.title + "\t" + std::to_string(c.width) + "\t" + std::to_string(c.alignment);
    }
    return s;
}

int32_t ListView::Changed(int32_t index, const uint32_t* data) {
    const int32_t value = static_cast<int32_t>(data[0]);
    auto extended = [this](bool* field, bool on) {
        *field = on;
        Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES,
             ExtendedStyle());
    };
    switch (index) {
    case kColumns: data_.columns = ParseColumns(DataText(data)); ApplyColumns(); break;
    case kCheckBoxes: extended(&data_.checkBoxes, value != 0); ApplyCheckBoxes(); break;
    case kFullRow: extended(&data_.fullRowSelect, value != 0); break;
    case kGridLines: extended(&data_.gridLines, value != 0); break;
    case kMultiSelect: {
        data_.multiSelect = value != 0;
        LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(LVS_SINGLESEL);
        SetWindowLongPtrA(hwnd, GWL_STYLE, style | (data_.multiSelect ? 0 : LVS_SINGLESEL));
        if (!data_.multiSelect) SelectOnly(FirstSelectedRow());
        break;
    }
    case kBorder: data_.border = ClampPick(value, 5); ApplyBorder(hwnd, data_.border); break;
    case kTextColour: data_.textColour = data[0]; ApplyColours(); break;
    case kBackColour: data_.backColour = data[0]; ApplyColours(); break;
    case kFont: data_.font = DataBytes(data); ApplyStoredFont(hwnd, data_.font, &font_); break;
    case kSortColumn: Sort(value, model_.SortDescending()); break;
    case kSortDescending: Sort(model_.SortColumn(), value != 0); break;
    case kCurrentRow: SelectOnly(value); break;
    default: break;   // row counts are read only
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    return 0;
}

bool ListView::Get(int32_t index, uint32_t* data) {
    switch (index) {
    case kColumns: scratch_ = JoinColumns(); PutText(data, scratch_); return true;
    case kCheckBoxes: data[0] = data_.checkBoxes; return true;
    case kFullRow: data[0] = data_.fullRowSelect; return true;
    case kMultiSelect: data[0] = data_.multiSelect; return true;
    case kGridLines: data[0] = data_.gridLines; return true;
    case kBorder: data[0] = static_cast<uint32_t>(data_.border); return true;
    case kTextColour: data[0] = data_.textColour; return true;
    case kBackColour: data[0] = data_.backColour; return true;
    case kFont: PutBytes(data, data_.font); return true;
    case kSortColumn: data[0] = static_cast<uint32_t>(model_.SortColumn()); return true;
    case kSortDescending: data[0] = model_.SortDescending(); return true;
    case kRowCount: data[0] = static_cast<uint32_t>(model_.RowCount()); return true;
    case kShownCount: data[0] = static_cast<uint32_t>(model_.ShownCount()); return true;
    case kCheckedCount: data[0] = static_cast<uint32_t>(model_.CheckedCount()); return true;
    case kCurrentRow: data[0] = static_cast<uint32_t>(FirstSelectedRow()); return true;
    default: return false;
    }
}

// Column widths dragged by the user are kept; the sort in force is stored.
HGLOBAL ListView::AllData() const {
    ListViewData d = data_;
    d.version = 1;
    for (size_t i = 0; i < d.columns.size(); ++i) {
        LRESULT w = Send(LVM_GETCOLUMNWIDTH, i);
        if (w > 0) d.columns[i].width = static_cast<int32_t>(w);
    }
    d.sortColumn = model_.SortColumn();
    d.sortDescending = model_.SortDescending();
    return ToGlobal(Encode(d));
}

// --- rows ----------------------------------------------------------------------

void ListView::SetRows(const char* text) {
    ++quiet_;
    pendingIcons_.clear();
    model_.SetRows(text, text ? std::strlen(text) : 0);
    Reshow({}, -1);
    --quiet_;
}

bool ListView::SetRow(int32_t row, const char* text, uint32_t colour) {
    int32_t before = model_.PositionOf(row);
    std::vector<int32_t> selected = SelectedRows();
    int32_t focused = FocusedRow();
    if (!model_.SetRow(row, text, colour)) return false;
    if (before == model_.PositionOf(row) && model_.ShownCount() == static_cast<int32_t>(Send(LVM_GETITEMCOUNT))) {
        RedrawRow(row);   // nothing moved: one row repaints
        return true;
    }
    ++quiet_;
    Reshow(selected, focused);
    --quiet_;
    return true;
}

int32_t ListView::CheckRows(int32_t row, bool checked) {
    int32_t changed = 0;
    if (row == -1) {
        for (int32_t pos = 0; pos < model_.ShownCount(); ++pos) changed += model_.SetChecked(model_.RowAt(pos), checked);
        if (changed) InvalidateRect(hwnd, nullptr, FALSE);
        return changed;
    }
    if (model_.SetChecked(row, checked)) {
        changed = 1;
        RedrawRow(row);
    }
    return changed;
}

std::vector<int32_t> ListView::SelectedRows() const {
    std::vector<int32_t> rows;
    if (Send(LVM_GETSELECTEDCOUNT) == 0) return rows;
    for (int pos = -1; (pos = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(pos), LVNI_SELECTED))) >= 0;) {
        rows.push_back(model_.RowAt(pos));
    }
    return rows;
}

// The model keeps its filter applied through every change of rows, so the
// same filter again has nothing to do (and no repaint to cost).
int32_t ListView::Filter(const std::string& text, uint32_t columns) {
    if (text == model_.FilterText() && columns == model_.FilterColumns()) return model_.ShownCount();
    std::vector<int32_t> selected = SelectedRows();
    int32_t focused = FocusedRow();
    ++quiet_;
    model_.SetFilter(text, columns);
    Reshow(selected, focused);
    --quiet_;
    return model_.ShownCount();
}

void ListView::SetNames(int32_t column, int32_t first, const std::vector<std::wstring>& names) {
    if (column != model_.NameColumn()) {
        std::vector<int32_t> selected = SelectedRows();
        int32_t focused = FocusedRow();
        ++quiet_;
        model_.SetNameColumn(column);
        Reshow(selected, focused);
        --quiet_;
    }
    if (names.empty()) return;
    std::vector<int32_t> selected = SelectedRows();
    int32_t focused = FocusedRow();
    std::vector<int32_t> before(model_.ShownCount());
    for (int32_t pos = 0; pos < model_.ShownCount(); ++pos) before[pos] = model_.RowAt(pos);
    if (!model_.SetNames(first, names)) return;
    bool moved = static_cast<int32_t>(before.size()) != model_.ShownCount();
    for (int32_t pos = 0; !moved && pos < model_.ShownCount(); ++pos) moved = before[pos] != model_.RowAt(pos);
    if (!moved) {
        // Names arriving in a list that keeps its order: only their cells repaint.
        InvalidateRect(hwnd, nullptr, FALSE);
        return;
    }
    ++quiet_;
    Reshow(selected, focused);
    --quiet_;
}

void ListView::SetIcon(int32_t row, const std::string& png) {
    if (!model_.Valid(row)) return;
    if (!icons_) {
        // Icons as small as the system's: 16 pixels at 96 DPI.
        icons_.reset(new icons::AppIconList(GetSystemMetrics(SM_CXSMICON)));
        if (!icons_->Handle()) {
            icons_.reset();
            return;
        }
        Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons_->Handle()));
    }
    model_.SetImage(row, -1);
    if (png.empty()) pendingIcons_.erase(row);
    else pendingIcons_[row] = png;
    RedrawRow(row);
}

void ListView::Sort(int32_t column, bool descending) {
    std::vector<int32_t> selected = SelectedRows();
    int32_t focused = FocusedRow();
    ++quiet_;
    model_.SetSort(column, descending);
    ApplySortArrow();
    Reshow(selected, focused);
    --quiet_;
}

// After the shown rows changed: the new count, the selection moved to where
// its rows are shown now (rows the filter hides drop out of it), and a repaint.
// `selected` and `focusRow` are the rows as they were before the change.
//
// Nothing here paints: the count is set without invalidating or scrolling,
// selection changes only invalidate their rows, and the list is invalidated
// once at the end, to be painted with the next WM_PAINT. Redrawing must not
// be turned off and on around it: turning it on repaints the list at once
// under Wine, a second repaint per keystroke (the filter command took 22 ms
// instead of 2 over 5,000 rows, bench_list).
void ListView::Reshow(const std::vector<int32_t>& selected, int32_t focusRow) {
    ClearSelection();
    if (Send(LVM_GETITEMCOUNT) != model_.ShownCount())
        Send(LVM_SETITEMCOUNT, static_cast<WPARAM>(model_.ShownCount()), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    LVITEMA set = {};
    set.stateMask = set.state = LVIS_SELECTED;
    for (int32_t row : selected) {
        int32_t pos = model_.PositionOf(row);
        if (pos >= 0) Send(LVM_SETITEMSTATE, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&set));
    }
    int32_t focusPos = model_.PositionOf(focusRow);
    if (focusPos >= 0) {
        set.stateMask = set.state = LVIS_FOCUSED;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(focusPos), reinterpret_cast<LPARAM>(&set));
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

// Item by item: the control's "every item" form visits all rows, which
// costs a list of thousands more than a frame for a selection of a few.
void ListView::ClearSelection() {
    LVITEMA clear = {};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    int focused = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0) Send(LVM_SETITEMSTATE, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&clear));
    LRESULT count = Send(LVM_GETSELECTEDCOUNT);
    if (count <= 0) return;
    if (count > 64) {
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear));
        return;
    }
    for (int pos = -1; (pos = static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(pos), LVNI_SELECTED))) >= 0;)
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&clear));
}

void ListView::SelectOnly(int32_t row) {
    ++quiet_;
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ClearSelection();
    int32_t pos = model_.PositionOf(row);
    if (pos >= 0) {
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(pos), reinterpret_cast<LPARAM>(&item));
        Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(pos), FALSE);
    }
    --quiet_;
}

int32_t ListView::FocusedRow() const {
    return model_.RowAt(static_cast<int32_t>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
}

int32_t ListView::FirstSelectedRow() const {
    return model_.RowAt(static_cast<int32_t>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
}

void ListView::RedrawRow(int32_t row) {
    int32_t pos = model_.PositionOf(row);
    if (pos >= 0) Send(LVM_REDRAWITEMS, static_cast<WPARAM>(pos), pos);
}

// --- messages ------------------------------------------------------------------

LRESULT ListView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == SelectionMessage()) {
        selectionPending_ = false;
        int32_t row = FirstSelectedRow();
        Raise(0, 1, &row);
        return 0;
    }
    switch (msg) {
    case WM_DESTROY:
        // The icons are ours: taken back before the control destroys its
        // image lists (sharing them all would leak its check box images).
        if (icons_) Send(LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        return Default(msg, wp, lp);
    case WM_KEYDOWN: return OnKeyDown(wp, lp);
    case WM_CHAR: return wp == ' ' && data_.checkBoxes ? 0 : Default(msg, wp, lp);   // Space was a check toggle
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return OnButtonDown(msg, wp, lp);
    case WM_SETFOCUS: {
        LRESULT r = Default(msg, wp, lp);
        Raise(-7);
        return r;
    }
    case WM_KILLFOCUS: {
        LRESULT r = Default(msg, wp, lp);
        Raise(-8);
        return r;
    }
    default: return Default(msg, wp, lp);
    }
}

bool ListView::OnReflected(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
    return msg == WM_NOTIFY && OnNotify(reinterpret_cast<NMHDR*>(lp), result);
}

bool ListView::OnNotify(NMHDR* header, LRESULT* result) {
    switch (header->code) {
    case LVN_GETDISPINFOW: OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header)); *result = 0; return true;
    case NM_CUSTOMDRAW: *result = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header)); return true;
    case LVN_ITEMCHANGED: {
        const NMLISTVIEW* n = reinterpret_cast<const NMLISTVIEW*>(header);
        if ((n->uChanged & LVIF_STATE) && ((n->uNewState ^ n->uOldState) & LVIS_SELECTED)) OnSelectionChanged();
        *result = 0;
        return true;
    }
    case LVN_ODSTATECHANGED: {
        const NMLVODSTATECHANGE* n = reinterpret_cast<const NMLVODSTATECHANGE*>(header);
        if ((n->uNewState ^ n->uOldState) & LVIS_SELECTED) OnSelectionChanged();
        *result = 0;
        return true;
    }
    case NM_DBLCLK: {
        const NMITEMACTIVATE* n = reinterpret_cast<const NMITEMACTIVATE*>(header);
        int32_t args[2] = {model_.RowAt(n->iItem), n->iSubItem};
        if (!quiet_) Raise(2, 2, args);
        *result = 0;
        return true;
    }
    case LVN_ODFINDITEMW: {
        // Typing into the list: the control asks which row begins with it.
        const NMLVFINDITEMW* f = reinterpret_cast<const NMLVFINDITEMW*>(header);
        bool text = (f->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) && f->lvfi.psz;
        *result = text ? model_.FindTyped(f->lvfi.psz, f->iStart) : -1;
        return true;
    }
    case LVN_COLUMNCLICK: OnColumnClick(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem); *result = 0; return true;
    default: return false;
    }
}

void ListView::OnGetDispInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    int32_t row = model_.RowAt(item.iItem);
    if (row < 0) return;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        if (item.iSubItem == model_.NameColumn()) {
            lstrcpynW(item.pszText, model_.Name(row).c_str(), item.cchTextMax);
        } else {
            const std::string& cell = model_.Cell(row, item.iSubItem);
            int size = static_cast<int>(cell.size());
            int n = cell.empty() ? 0 : MultiByteToWideChar(CP_ACP, 0, cell.data(), size, item.pszText, item.cchTextMax - 1);
            item.pszText[n > 0 ? n : 0] = L'\0';
            if (n == 0 && !cell.empty()) {
                // Longer than the control's buffer: cut, as it would cut an ANSI answer.
                std::wstring wide(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, cell.data(), size, nullptr, 0)), L'\0');
                if (!wide.empty()) MultiByteToWideChar(CP_ACP, 0, cell.data(), size, &wide[0], static_cast<int>(wide.size()));
                lstrcpynW(item.pszText, wide.c_str(), item.cchTextMax);
            }
        }
    }
    if ((item.mask & LVIF_IMAGE) && item.iSubItem == 0 && icons_) {
        int32_t image = model_.Image(row);
        if (image < 0) {
            auto it = pendingIcons_.find(row);
            image = it == pendingIcons_.end() ? icons::AppIconList::kDefault : icons_->Add(it->second);
            if (it != pendingIcons_.end()) pendingIcons_.erase(it);
            model_.SetImage(row, image);
        }
        item.iImage = image;
    }
    if ((item.mask & LVIF_STATE) && data_.checkBoxes) {
        item.state = (item.state & ~LVIS_STATEIMAGEMASK) | CheckState(model_.Checked(row));
        item.stateMask |= LVIS_STATEIMAGEMASK;
    }
}

// Rows are asked for one by one only while some row has a colour of its
// own: otherwise the control paints as it would without us.
LRESULT ListView::OnCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return model_.ColouredCount() ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
    case CDDS_ITEMPREPAINT: {
        uint32_t colour = model_.Colour(model_.RowAt(static_cast<int32_t>(draw->nmcd.dwItemSpec)));
        if (colour == ListModel::kDefaultColour) return CDRF_DODEFAULT;
        draw->clrText = static_cast<COLORREF>(colour);
        return CDRF_NEWFONT;
    }
    default: return CDRF_DODEFAULT;
    }
}

// A header click sorts by that column, ascending first and the other way on
// each further click, unless the event's handler returns false.
void ListView::OnColumnClick(int32_t column) {
    bool returned = false;
    int32_t value = 0;
    if (Raise(3, 1, &column, &returned, &value) && returned && !value) return;
    Sort(column, column == model_.SortColumn() && !model_.SortDescending());
}

// Selection changes come in bursts (a click clears the old selection, then
// selects): the first posts one message and the event goes out when it
// arrives, once.
void ListView::OnSelectionChanged() {
    if (quiet_ || selectionPending_) return;
    selectionPending_ = PostMessageA(hwnd, SelectionMessage(), 0, 0) != 0;
}

LRESULT ListView::OnKeyDown(WPARAM wp, LPARAM lp) {
    int32_t args[2] = {static_cast<int32_t>(wp), Modifiers()};
    bool returned = false;
    int32_t value = 0;
    if (Raise(4, 2, args, &returned, &value) && returned && !value) return 0;
    if (wp == ' ' && data_.checkBoxes) {
        ToggleSelected();
        return 0;
    }
    if (wp == 'A' && args[1] == 1 && data_.multiSelect) {
        LVITEMA all = {};
        all.stateMask = all.state = LVIS_SELECTED;
        Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
        return 0;
    }
    return Default(WM_KEYDOWN, wp, lp);
}

// A click on a row's check box toggles its mark; the control does not, as
// the marks are ours in virtual mode.
LRESULT ListView::OnButtonDown(UINT msg, WPARAM wp, LPARAM lp) {
    if (data_.checkBoxes) {
        LVHITTESTINFO hit = {};
        hit.pt.x = static_cast<short>(LOWORD(lp));
        hit.pt.y = static_cast<short>(HIWORD(lp));
        int pos = static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        int32_t row = model_.RowAt(pos);
        if (row >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)) {
            if (GetFocus() != hwnd) SetFocus(hwnd);
            bool now = !model_.Checked(row);
            model_.SetChecked(row, now);
            RedrawRow(row);
            int32_t args[2] = {row, now ? 1 : 0};
            Raise(1, 2, args);
            return 0;
        }
    }
    return Default(msg, wp, lp);
}

void ListView::ToggleSelected() {
    std::vector<int32_t> rows = SelectedRows();
    if (rows.empty()) return;
    int32_t focused = FocusedRow();
    bool now = !model_.Checked(focused >= 0 ? focused : rows.front());
    int32_t changed = 0, last = -1;
    for (int32_t row : rows) {
        if (!model_.SetChecked(row, now)) continue;
        ++changed;
        last = row;
        RedrawRow(row);
    }
    if (!changed) return;
    int32_t args[2] = {changed == 1 ? last : -1, now ? 1 : 0};
    Raise(1, 2, args);
}

// --- interfaces ------------------------------------------------------------------

namespace {

} // namespace

void* ListViewQuery(int32_t number) { return ControlUnit<ListView>::Query(number); }

} // namespace units
