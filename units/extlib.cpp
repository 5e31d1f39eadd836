#include "extlib.h"

#include <windows.h>
#include <richedit.h>

namespace units {

rt::LibraryLink gExtLink;

namespace {

// The rich edit box named by the unit record in args[0]; a window that is
// not loaded or a unit without a control ends the program (code 2007).
HWND RichEditOf(const rt::ArgRecord* args) {
    void* object = reinterpret_cast<void*>(gExtLink.Call(rt::kCbUnitObjectOrError, static_cast<intptr_t>(args[0].lo),
                                                         static_cast<intptr_t>(args[0].hi)));
    return object ? static_cast<rt::ControlHead*>(object)->hwnd : nullptr;
}

void GetLineCount(rt::ArgRecord* result, int32_t count, rt::ArgRecord* args) {
    if (count < 1) return;
    HWND h = RichEditOf(args);
    result->lo = h ? static_cast<uint32_t>(SendMessageA(h, EM_GETLINECOUNT, 0, 0)) : 0;
}

void ScrollLines(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    if (count < 2) return;
    HWND h = RichEditOf(args);
    if (h) SendMessageA(h, EM_LINESCROLL, 0, static_cast<LPARAM>(static_cast<int32_t>(args[1].lo)));
}

// Adds plain text after the last character without touching the rest, so a
// log grows by what is added instead of being written anew. A selection the
// user made stays; a caret at the end moves on with the text.
void AddText(rt::ArgRecord*, int32_t count, rt::ArgRecord* args) {
    if (count < 2) return;
    HWND h = RichEditOf(args);
    const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(args[1].lo));
    if (!h || !text || !*text) return;
    GETTEXTLENGTHEX length = {GTL_NUMCHARS | GTL_PRECISE, CP_ACP};
    LONG end = static_cast<LONG>(SendMessageA(h, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    CHARRANGE before = {0, 0}, atEnd = {end, end};
    SendMessageA(h, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&before));
    SendMessageA(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&atEnd));
    SendMessageA(h, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    if (before.cpMin != end || before.cpMax != end) SendMessageA(h, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&before));
}

} // namespace

const rt::CommandFn kExtCommands[kExtCommandCount] = {
    GetLineCount,    ScrollLines,      ListSetRows,      ListSetRow, ListRowText,
    ListCheckRows,   ListCheckedRows,  ListSelectedRows, ListFilter, ListSort,
    AddText,         ListSetNames,     ListSetIcon,
};

intptr_t ExtNotify(int32_t code, intptr_t v1, intptr_t) {
    if (code == rt::kCbStart) {
        gExtLink.Attach(reinterpret_cast<rt::RuntimeCallback>(v1));
        return 0;
    }
    return -1;
}

} // namespace units
