// The extended interface library: the rich edit box and list view types and
// their commands.
#pragma once

#include "runtime/library.h"

namespace units {

extern rt::LibraryLink gExtLink;

// The command table: the rich edit box's two, the list view's, then one
// more of the rich edit box's.
//
//  0 get line count (rich edit) -> integer
//  1 scroll lines (rich edit, integer lines)
//  2 set rows (list view, text): every row anew, one a line (CR LF or LF),
//    cells split by TAB; marks and colours start clear, the filter and the
//    sort apply to the new rows
//  3 set row (list view, integer row, text cells, [integer colour]) ->
//    logical: one row's cells and text colour (0xFF000000 or left out: the
//    list's own); false when there is no such row
//  4 row text (list view, integer row) -> text: the cells joined by TAB
//  5 check rows (list view, integer row, [logical mark, true when left out])
//    -> integer: how many marks changed; row -1 means every shown row
//  6 checked rows (list view, [integer array variable by reference]) ->
//    integer count; the array receives the rows, ascending
//  7 selected rows (list view, [integer array variable by reference]) ->
//    integer count; the array receives the rows in the order shown
//  8 filter (list view, text, [integer columns]) -> integer rows shown:
//    rows holding the text (ASCII letters in either case) in a column whose
//    bit is set (bit 0 the first column; 0 or left out: every column); an
//    empty text shows every row
//  9 sort (list view, integer column, [logical descending]): column -1
//    restores the order the rows were given in
// 10 add text (rich edit, text): plain text after the last character; the
//    rest of the content and a selection the user made stay as they are
// 11 set names (list view, integer column, integer first row, [text]): makes
//    the column the list's column of names (-1: none) and gives the rows
//    from the first row on their names, one a line of UTF-8 (any character,
//    not only the code page's); the filter finds names by pinyin too and a
//    sort by that column orders them by pinyin, rows without a name last
// 12 set icon (list view, integer row, [byte set PNG]): the row's icon in the
//    first column (empty or left out: a plain default icon); from the first
//    icon on, rows without one of their own show the default
//
// Rows are numbered from 0 in the order the last set rows gave them;
// filtering and sorting never change a row's number. No command raises an
// event.
constexpr int32_t kExtCommandCount = 13;
extern const rt::CommandFn kExtCommands[kExtCommandCount];

// The list view's commands, 2 to 9, 11 and 12 above.
void ListSetRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListSetRow(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListRowText(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListCheckRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListCheckedRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListSelectedRows(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListFilter(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListSort(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListSetNames(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);
void ListSetIcon(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args);

intptr_t ExtNotify(int32_t code, intptr_t v1, intptr_t v2);

} // namespace units
