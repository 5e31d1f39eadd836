// The rows behind a list view in virtual mode: every row's cells, text colour
// and check mark, the order the rows are sorted in, and the index of the rows
// a filter lets through. A row keeps its index in the full row set for good:
// filtering and sorting only change where it is shown. No windows here, so
// the rules can be tested and measured on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "search/pinyin.h"

namespace units {

// The lines of a text, split at LF with a CR before it dropped; a last empty
// line adds none, so "" has no lines and "a\r\n" one.
std::vector<std::string> SplitLines(const char* text, size_t length);
inline std::vector<std::string> SplitLines(const std::string& text) { return SplitLines(text.data(), text.size()); }

// Whether `needle` occurs in `text` starting on a character boundary of the
// system code page, ASCII letters matched in either case. Bytes of
// double-byte characters match only themselves, so a pattern never matches
// the second half of one character and the first of the next.
bool ContainsText(const std::string& text, const std::string& needle);

// Whether a filter text (in the system code page, as ContainsText takes it)
// finds a name of the list's column of names: by pinyin or as it is written.
bool NameContains(const std::wstring& name, const std::string& filter);

// Orders two cells: runs of digits by their value, other single-byte
// characters by their byte value with ASCII letters in either case alike,
// double-byte characters by their code (GBK's order). Negative, 0, positive.
int CompareCells(const std::string& a, const std::string& b);

class ListModel {
public:
    static constexpr uint32_t kDefaultColour = 0xFF000000;   // the list's own text colour

    // Replaces every row: one row a line, cells split by TAB. Check marks and
    // colours start clear; the filter and the sort stay and apply to the new rows.
    void SetRows(const char* text, size_t length);
    // Replaces one row's cells (cells split by TAB) and text colour; false
    // when there is no such row. The row moves to its place in the sort and
    // is shown or hidden by the filter.
    bool SetRow(int32_t row, const char* text, uint32_t colour);

    int32_t RowCount() const { return static_cast<int32_t>(rows_.size()); }
    int32_t ShownCount() const { return static_cast<int32_t>(shown_.size()); }
    // The row shown at `position` (0-based), or -1.
    int32_t RowAt(int32_t position) const;
    // Where `row` is shown, or -1 when the filter hides it or there is none.
    int32_t PositionOf(int32_t row) const;
    bool Valid(int32_t row) const { return row >= 0 && row < RowCount(); }

    // A cell's text; empty for a column the row does not have.
    const std::string& Cell(int32_t row, int32_t column) const;
    // The row's cells joined by TAB.
    std::string RowText(int32_t row) const;
    uint32_t Colour(int32_t row) const { return Valid(row) ? rows_[static_cast<size_t>(row)].colour : kDefaultColour; }
    // How many rows have a colour of their own.
    int32_t ColouredCount() const { return colouredCount_; }

    bool Checked(int32_t row) const { return Valid(row) && rows_[static_cast<size_t>(row)].checked; }
    // True when the mark changed.
    bool SetChecked(int32_t row, bool checked);
    int32_t CheckedCount() const { return checkedCount_; }
    // Checked rows by index, ascending.
    std::vector<int32_t> CheckedRows() const;

    // The column of names (-1, the default: none). A name may hold
    // characters the code page lacks, so these cells are UTF-16 and kept
    // apart from the others; the filter finds them by pinyin as well (wx and
    // weixin find 微信) and the sort orders them by pinyin, rows without a
    // name after the others either way. New rows start without names.
    void SetNameColumn(int32_t column);
    int32_t NameColumn() const { return nameColumn_; }
    // Names of the rows from `first` on, in row order; names past the last
    // row are ignored. False when `first` is no row.
    bool SetNames(int32_t first, const std::vector<std::wstring>& names);
    const std::wstring& Name(int32_t row) const;
    // An image index of the row (-1: none) for the list's image list.
    void SetImage(int32_t row, int32_t image);
    int32_t Image(int32_t row) const { return Valid(row) ? rows_[static_cast<size_t>(row)].image : -1; }

    // The first shown position from `start` on, wrapping round, whose row
    // begins with what the user typed into the list: its name (the typed
    // letters may be the pinyin initials of its first characters: "wx" for
    // 微信) or else its first cell that is not the name. -1 for none.
    int32_t FindTyped(const std::wstring& typed, int32_t start) const;

    // Shows only the rows with `text` in one of the columns whose bit is set
    // in `columns` (bit 0 the first column; 0 means every column), in one
    // pass over the sorted rows. An empty text shows every row.
    void SetFilter(const std::string& text, uint32_t columns);
    const std::string& FilterText() const { return filter_; }
    uint32_t FilterColumns() const { return filterColumns_; }
    // Sorts by `column` (-1: the order the rows were given in); equal cells
    // keep that order either way.
    void SetSort(int32_t column, bool descending);
    int32_t SortColumn() const { return sortColumn_; }
    bool SortDescending() const { return descending_; }

private:
    struct Row {
        std::vector<std::string> cells;
        uint32_t colour = kDefaultColour;
        bool checked = false;
        int32_t image = -1;
        std::wstring name;
        search::PinyinKey nameKey;        // for the filter
        std::wstring nameOrder;   // PinyinSortKey(name), for the sort
    };
    bool NamePasses(const Row& row) const;
    static std::vector<std::string> SplitCells(const char* text, size_t length);
    bool Passes(const Row& row) const;
    bool Before(int32_t a, int32_t b) const;
    void Resort();
    void Refilter();

    std::vector<Row> rows_;
    std::vector<int32_t> order_;      // every row, in sort order
    std::vector<int32_t> shown_;      // the rows of order_ the filter lets through
    std::vector<int32_t> position_;   // row -> its position in shown_, or -1
    std::string filter_;
    std::unique_ptr<search::PinyinQuery> nameQuery_;   // the filter as the names are matched, while there is one
    uint32_t filterColumns_ = 0;
    int32_t nameColumn_ = -1;
    int32_t sortColumn_ = -1;
    bool descending_ = false;
    int32_t checkedCount_ = 0;
    int32_t colouredCount_ = 0;
};

} // namespace units
