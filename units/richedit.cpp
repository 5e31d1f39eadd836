#include "richedit.h"

#include <windows.h>
#include <richedit.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include "extlib.h"
#include "runtime/modules.h"
#include "runtime/values.h"
#include "runtime/wineheap.h"
#include "queries.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

namespace {

// Property indices less 8, as interfaces 4 and 6 receive them.
enum Property : int32_t {
    kFormat = 0, kContent, kBorder, kBackColour, kMultiLine, kAutoWrap, kReadOnly, kHideSel,
    kMaxLength, kSelStart, kSelLength, kSelText, kModified,
};

constexpr DWORD kWrapStyles = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
constexpr DWORD kNoWrapStyles = kWrapStyles | ES_AUTOHSCROLL | WS_HSCROLL;
static_assert(kWrapStyles == 0x00201044 && kNoWrapStyles == 0x003010C4, "multi-line styles");

constexpr DWORD kEventMask = ENM_CHANGE | ENM_SCROLL | ENM_SELCHANGE | ENM_PROTECTED;
static_assert(kEventMask == 0x00280005, "event mask");

constexpr DWORD kDefaultCharMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_PROTECTED |
                                   CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_OFFSET | CFM_CHARSET;
static_assert(kDefaultCharMask == 0xF800001F, "default character format mask");

constexpr LPARAM kNoLimit = 0x7FFFFFFF;

// Scroll bars the control shows and hides itself: a fresh control takes them
// from the creation style, since the live style may have them hidden.
constexpr DWORD kScrollBars = WS_VSCROLL | WS_HSCROLL;

// The control's library is loaded by the first box and kept until the end.
bool LoadControlLibrary() {
    return rt::LoadSystemModule("RICHED20.DLL") || rt::LoadSystemModule("RICHED32.DLL");
}

// Lead bytes of the system code page, the one the control decodes text with.
struct LeadByteTable {
    bool lead[256];
    LeadByteTable() {
        for (int b = 0; b < 256; ++b) lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) != 0;
    }
};

struct StreamSource {
    const char* next;
    size_t left;
};

DWORD CALLBACK HandOut(DWORD_PTR cookie, LPBYTE buffer, LONG asked, LONG* given) {
    StreamSource* s = reinterpret_cast<StreamSource*>(cookie);
    size_t n = asked > 0 ? StreamChunkLength(s->next, s->left, static_cast<size_t>(asked)) : 0;
    std::memcpy(buffer, s->next, n);
    s->next += n;
    s->left -= n;
    *given = static_cast<LONG>(n);
    return 0;
}

DWORD CALLBACK TakeIn(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* taken) {
    if (size > 0) reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<const char*>(buffer), size);
    *taken = size;
    return 0;
}

DWORD StreamFormat(int32_t contentFormat, bool selection) {
    DWORD format = contentFormat == 1 ? SF_RTF : SF_TEXT;
    return selection ? format | SFF_SELECTION : format;
}

// The address space a slice of a long text must leave free (see StreamInSlices).
constexpr size_t kSpareRoom = 256u << 20;

// The line that ends a text cut short: a line break unless the text shown
// ends with one, the whole length and the length shown.
const char kLeftOutNote[] = "%s（可用内存不足：内容共 %lu 字节，只放入了前 %lu 字节。）";

// Up to `limit` bytes of `text` ending after a line break, or where a stream
// chunk may end when the first `limit` bytes hold none.
size_t SliceLength(const char* text, size_t length, size_t limit) {
    if (length <= limit) return length;
    for (size_t n = limit; n > 0; --n)
        if (text[n - 1] == '\n') return n;
    return StreamChunkLength(text, length, limit);
}

// Address space that new allocations can still take, counted by reserving
// it in 16 MB pieces (and releasing them): a count of free regions misleads,
// as Wine shows most of the space it hands out later as reserved. Space left
// only in smaller pieces is not counted, so the figure errs low. The count
// stops at 1 GB, which leaves other threads room while it runs and is far
// more than a slice takes; a slice's cost is measured once less is left.
size_t ReservableAddressSpace() {
    constexpr size_t kPiece = 16u << 20, kMaxPieces = 64;
    void* pieces[kMaxPieces];
    size_t n = 0;
    while (n < kMaxPieces && (pieces[n] = VirtualAlloc(nullptr, kPiece, MEM_RESERVE, PAGE_NOACCESS)) != nullptr) ++n;
    for (size_t i = 0; i < n; ++i) VirtualFree(pieces[i], 0, MEM_RELEASE);
    return n * kPiece;
}

// Stores a logical that forces re-creation; 1 when it changed.
int32_t SwitchForRecreate(bool* stored, bool value) {
    if (*stored == value) return 0;
    *stored = value;
    return 1;
}

class RichEditBox : public UnitWnd {
public:
    RichEditBox(uint32_t windowId, uint32_t unitId) : UnitWnd(&gExtLink, windowId, unitId) {}

    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT controlId, int x, int y,
               int width, int height);
    int32_t Changed(int32_t index, const uint32_t* data);
    int32_t Get(int32_t index, uint32_t* data);
    HGLOBAL AllData();
    bool WantsKey(int32_t key) const { return key == VK_RETURN && data_.multiLine; }

protected:
    bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageA(hwnd, msg, wp, lp); }
    bool OnCommand(WORD code);
    bool OnNotify(const NMHDR* header, LRESULT* result);
    void SetDefaultCharFormat();
    void StreamIn(const char* text, bool selection);
    void StreamPiece(const char* text, size_t length, DWORD format);
    void StreamInSlices(const char* text, size_t length);
    void AppendAtEnd(const char* text, size_t length);
    std::string StreamOut(bool selection);
    void Select(int32_t start, int32_t length);
    void SetBackground();
    void ApplyCreationSettings();
    void WriteContent(const char* text);
    bool MoveToFreshControl();
    void PutScratch(uint32_t* data, std::string text);

    RichEditData data_;   // the content lives in the control once created
    std::string scratch_; // the text last read out, until the next read
    DWORD createdStyle_ = 0;
    bool quietFocus_ = false;   // focus moving to a fresh control is no focus event
};

bool RichEditBox::Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT controlId, int x,
                        int y, int width, int height) {
    if (!Decode(bytes, length, &data_)) return false;
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (!data_.hideSelection) style |= ES_NOHIDESEL;
    if (data_.readOnly) style |= ES_READONLY;
    if (data_.multiLine)
        style |= data_.autoWrap ? kWrapStyles : kNoWrapStyles;
    else
        style |= ES_AUTOHSCROLL;
    HMENU id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(controlId));
    if (!Create(0, "RichEdit20A", "", style, x, y, width, height, parent, id) &&
        !Create(0, "RICHEDIT", "", style, x, y, width, height, parent, id))
        return false;
    createdStyle_ = style;

    SetDefaultCharFormat();
    StreamIn(data_.content.c_str(), false);
    std::string().swap(data_.content);
    ApplyCreationSettings();
    return true;
}

// What creation applies after the content: shared with a fresh control.
void RichEditBox::ApplyCreationSettings() {
    Send(EM_EXLIMITTEXT, 0, data_.maxLength > 0 ? data_.maxLength : kNoLimit);
    Select(data_.selStart, data_.selLength);
    SetBackground();
    ApplyBorder(hwnd, data_.border);
    Send(EM_SETEVENTMASK, 0, kEventMask);
    Send(EM_SETOPTIONS, ECOOP_OR, ECO_AUTOWORDSELECTION);
    Send(EM_SETMODIFY, FALSE);
}

// Emptying a control that holds a long text costs time quadratic in its
// length under Wine (minutes for a megabyte), while filling an empty one is
// linear: a long log is replaced by a fresh control rather than emptied.
void RichEditBox::WriteContent(const char* text) {
    bool fresh = false;
    if (static_cast<size_t>(Send(WM_GETTEXTLENGTH)) > gFreshControlAbove) {
        CHARRANGE before = {0, 0}, after = {0, 0};
        Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&before));
        // Emptying the old text would move its selection to the start and
        // report it before the change; the fresh control starts there.
        fresh = MoveToFreshControl();
        if (fresh) {
            Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&after));
            if (after.cpMin != before.cpMin || after.cpMax != before.cpMax) Raise(1);
        }
    }
    StreamIn(text, false);
    // What the old control held and the new text did not take again is free
    // in the heap now; under Wine it would stay the process's memory.
    if (fresh) rt::MemReturnFreePages();
}

// Puts an empty control of the same class, styles, place, identifier and
// settings where this one is and moves the object to it; the old control is
// destroyed unbound, so the runtime never hears that the unit went away. The
// caller streams the content in afterwards, into the bound control, so the
// write reports its change as usual and the old text is freed before the new
// one takes memory.
bool RichEditBox::MoveToFreshControl() {
    HWND old = hwnd;
    HWND parent = GetParent(old);
    char className[64] = {};
    if (!GetClassNameA(old, className, sizeof className)) return false;
    DWORD liveStyle = static_cast<DWORD>(GetWindowLongA(old, GWL_STYLE));
    DWORD style = (liveStyle & ~(WS_VISIBLE | kScrollBars)) | (createdStyle_ & kScrollBars);
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(old, GWL_EXSTYLE));
    RECT r;
    GetWindowRect(old, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(GetDlgCtrlID(old)));
    HWND fresh = CreateWindowExA(exStyle, className, "", style, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                 parent, id, GetModuleHandleA(nullptr), nullptr);
    if (!fresh) return false;

    // Right below the old control, which leaves it in the old z-order (and
    // tab order) place once the old one is gone.
    UINT show = (liveStyle & WS_VISIBLE) ? SWP_SHOWWINDOW : 0;
    SetWindowPos(fresh, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | show);
    bool focused = GetFocus() == old;
    Rebind(fresh);
    SetDefaultCharFormat();
    ApplyCreationSettings();
    if (focused) {
        quietFocus_ = true;
        SetFocus(fresh);
        quietFocus_ = false;
    }
    DestroyWindow(old);
    return true;
}

void RichEditBox::SetDefaultCharFormat() {
    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    cf.dwMask = kDefaultCharMask;
    cf.dwEffects = CFE_AUTOCOLOR;
    cf.yHeight = 180;   // twips: 9 points
    cf.bCharSet = 1;
    std::strcpy(cf.szFaceName, "宋体");
    Send(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
}

// The text is handed out straight from the caller's buffer: the control reads
// it within EM_STREAMIN, and a log of megabytes is not copied first.
void RichEditBox::StreamPiece(const char* text, size_t length, DWORD format) {
    StreamSource source = {text, length};
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    es.pfnCallback = HandOut;
    Send(EM_STREAMIN, format, reinterpret_cast<LPARAM>(&es));
}

void RichEditBox::StreamIn(const char* text, bool selection) {
    size_t length = std::strlen(text);
    if (!selection && data_.contentFormat != 1 && length > gFirstSlice)
        StreamInSlices(text, length);
    else
        StreamPiece(text, length, StreamFormat(data_.contentFormat, selection));
}

// A long plain text goes in slice by slice. The control lays out what it has
// taken at the end of each stream, and Wine's control spends kilobytes of
// memory per line doing it: tens of megabytes of output would exhaust the
// address space of a 32-bit process inside the control, which then crashes.
// Before each slice the box compares the address space left with what the
// slices so far took per byte; when the next one would not leave kSpareRoom,
// the text ends there, with a line saying how much was left out.
//
// The first slice is a plain write of the whole content, so the box raises
// its change event and sets its selection as for a short text; the rest is
// added at the end quietly and the box is left as that first write left it,
// with nothing to undo.
void RichEditBox::StreamInSlices(const char* text, size_t length) {
    size_t left = gAddressSpaceLeft();
    size_t done = left < kSpareRoom ? 0 : SliceLength(text, length, gFirstSlice);
    StreamPiece(text, done, SF_TEXT);
    size_t now = gAddressSpaceLeft();
    double perByte = left > now && done ? static_cast<double>(left - now) / static_cast<double>(done) : 0.0;

    CHARRANGE selection = {0, 0};
    Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    LRESULT modified = Send(EM_GETMODIFY);
    LRESULT mask = Send(EM_SETEVENTMASK, 0, 0);
    while (done < length) {
        size_t n = SliceLength(text + done, length - done, gSlice);
        left = now;
        if (static_cast<double>(left) < static_cast<double>(kSpareRoom) + perByte * static_cast<double>(n)) break;
        AppendAtEnd(text + done, n);
        done += n;
        now = gAddressSpaceLeft();
        if (left > now) perByte = std::max(perByte, static_cast<double>(left - now) / static_cast<double>(n));
    }
    if (done < length) {
        char note[160];
        int n = std::snprintf(note, sizeof note, kLeftOutNote, !done || text[done - 1] == '\n' ? "" : "\r\n",
                              static_cast<unsigned long>(length), static_cast<unsigned long>(done));
        AppendAtEnd(note, static_cast<size_t>(n));
    }
    Send(EM_EMPTYUNDOBUFFER);
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    Send(EM_SETMODIFY, modified ? TRUE : FALSE);
    Send(EM_SETEVENTMASK, 0, mask);
}

// Puts the caret after the last character and streams `length` bytes in there.
void RichEditBox::AppendAtEnd(const char* text, size_t length) {
    GETTEXTLENGTHEX count = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    LONG end = static_cast<LONG>(Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count)));
    CHARRANGE caret = {end, end};
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    StreamPiece(text, length, SF_TEXT | SFF_SELECTION);
}

std::string RichEditBox::StreamOut(bool selection) {
    std::string out;
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&out);
    es.pfnCallback = TakeIn;
    Send(EM_STREAMOUT, StreamFormat(data_.contentFormat, selection), reinterpret_cast<LPARAM>(&es));
    return out;
}

void RichEditBox::Select(int32_t start, int32_t length) {
    CHARRANGE range = {0, -1};
    if (length >= 0) {
        range.cpMin = start < 0 ? 0 : start;
        range.cpMax = range.cpMin + length;
    }
    Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void RichEditBox::SetBackground() {
    if (IsDefaultColour(data_.backColour))
        Send(EM_SETBKGNDCOLOR, 1, RGB(255, 255, 255));
    else
        Send(EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(data_.backColour));
}

// Empty reads as a null text.
void RichEditBox::PutScratch(uint32_t* data, std::string text) {
    scratch_.swap(text);
    data[0] = scratch_.empty() ? 0 : reinterpret_cast<uintptr_t>(scratch_.c_str());
}

int32_t RichEditBox::Changed(int32_t index, const uint32_t* data) {
    int32_t value = static_cast<int32_t>(data[0]);
    bool on = data[0] != 0;
    switch (index) {
    case kFormat: data_.contentFormat = ClampPick(value, 1); return 0;
    case kContent: WriteContent(DataText(data)); return 0;
    case kBorder: data_.border = ClampPick(value, 5); ApplyBorder(hwnd, data_.border); return 0;
    case kBackColour: data_.backColour = data[0]; SetBackground(); return 0;
    case kMultiLine: return SwitchForRecreate(&data_.multiLine, on);
    case kAutoWrap: return SwitchForRecreate(&data_.autoWrap, on);
    case kReadOnly: return SwitchForRecreate(&data_.readOnly, on);
    case kHideSel:
        if (on != data_.hideSelection) {
            data_.hideSelection = on;
            Send(EM_HIDESELECTION, on ? TRUE : FALSE, 0);
        }
        return 0;
    case kMaxLength:
        data_.maxLength = value < 0 ? 0 : value;
        Send(EM_EXLIMITTEXT, 0, data_.maxLength);
        return 0;
    case kSelStart:
        data_.selStart = value < 0 ? 0 : value;
        Select(data_.selStart, data_.selLength);
        return 0;
    case kSelLength:
        data_.selLength = value < -1 ? -1 : value;
        Select(data_.selStart, data_.selLength);
        return 0;
    case kSelText: StreamIn(DataText(data), true); return 0;
    case kModified: Send(EM_SETMODIFY, on ? TRUE : FALSE); return 0;
    default: return 0;
    }
}

int32_t RichEditBox::Get(int32_t index, uint32_t* data) {
    CHARRANGE range = {0, 0};
    switch (index) {
    case kFormat: data[0] = static_cast<uint32_t>(data_.contentFormat); return 1;
    case kContent: PutScratch(data, StreamOut(false)); return 1;
    case kBorder: data[0] = static_cast<uint32_t>(data_.border); return 1;
    case kBackColour: data[0] = data_.backColour; return 1;
    case kMultiLine: data[0] = data_.multiLine; return 1;
    case kAutoWrap: data[0] = data_.autoWrap; return 1;
    case kReadOnly: data[0] = data_.readOnly; return 1;
    case kHideSel: data[0] = data_.hideSelection; return 1;
    case kMaxLength: data[0] = static_cast<uint32_t>(Send(EM_GETLIMITTEXT)); return 1;
    case kSelStart:
        Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        data[0] = static_cast<uint32_t>(range.cpMin);
        return 1;
    case kSelLength:
        Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        data[0] = static_cast<uint32_t>(range.cpMax - range.cpMin);
        return 1;
    case kSelText: PutScratch(data, StreamOut(true)); return 1;
    case kModified: data[0] = Send(EM_GETMODIFY) != 0 ? 1 : 0; return 1;
    default: return 0;
    }
}

// The content is taken from the control, so that a re-created box keeps it.
HGLOBAL RichEditBox::AllData() {
    RichEditData d = data_;
    d.version = 1;
    d.content = StreamOut(false);
    return ToGlobal(Encode(d));
}

bool RichEditBox::OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    switch (msg) {
    case WM_COMMAND: return OnCommand(HIWORD(wp));
    case WM_NOTIFY: return lp && OnNotify(reinterpret_cast<const NMHDR*>(lp), result);
    default: return false;
    }
}

bool RichEditBox::OnCommand(WORD code) {
    switch (code) {
    case EN_CHANGE: Raise(0); return true;
    case EN_SETFOCUS:
        if (!quietFocus_) Raise(-7);
        return true;
    case EN_KILLFOCUS:
        if (!quietFocus_) Raise(-8);
        return true;
    default: return false;
    }
}

bool RichEditBox::OnNotify(const NMHDR* header, LRESULT* result) {
    switch (header->code) {
    case EN_SELCHANGE: Raise(1); *result = 0; return true;
    case EN_PROTECTED:
        // Protected text may take a new character format, nothing else.
        *result = reinterpret_cast<const ENPROTECTED*>(header)->msg == EM_SETCHARFORMAT ? 0 : 1;
        return true;
    default: return false;
    }
}

RichEditBox* Box(void* object) { return static_cast<RichEditBox*>(forms::Wnd::FromHead(object)); }

void* CreateBox(const uint8_t* data, uint32_t length, DWORD style, HWND parent, UINT controlId, HMENU, int x,
                int y, int width, int height, uint32_t windowId, uint32_t unitId, int32_t, int32_t) {
    if (!LoadControlLibrary()) return nullptr;
    RichEditBox* box = new RichEditBox(windowId, unitId);
    if (!box->Build(data, length, style, parent, controlId, x, y, width, height)) {
        delete box;
        return nullptr;
    }
    return box->Head();
}

int32_t PropertyChanged(void* object, int32_t index, const uint32_t* data, int32_t) {
    RichEditBox* box = Box(object);
    return box && data ? box->Changed(index, data) : 0;
}

HGLOBAL AllPropertyData(void* object) {
    RichEditBox* box = Box(object);
    return box ? box->AllData() : nullptr;
}

int32_t GetPropertyData(void* object, int32_t index, uint32_t* data) {
    RichEditBox* box = Box(object);
    return box && data ? box->Get(index, data) : 0;
}

int32_t WantsKey(void* object, int32_t key) {
    RichEditBox* box = Box(object);
    return box && box->WantsKey(key) ? 1 : 0;
}

} // namespace

size_t gFreshControlAbove = 16384;
size_t gFirstSlice = 64u << 10;
size_t gSlice = 1u << 20;
size_t (*gAddressSpaceLeft)() = ReservableAddressSpace;

size_t StreamChunkLength(const char* text, size_t left, size_t asked) {
    size_t n = asked < left ? asked : left;
    if (n == left) return n;
    static const LeadByteTable table;
    size_t end = 0;
    while (end < n) end += table.lead[static_cast<uint8_t>(text[end])] ? 2 : 1;
    if (end > n && n > 1) --n;
    if (n > 1 && text[n - 1] == '\r' && text[n] == '\n') --n;
    return n;
}

void* RichEditQuery(int32_t number) {
    switch (number) {
    case rt::kIfCreate: return reinterpret_cast<void*>(static_cast<CreateFn>(CreateBox));
    case rt::kIfPropertyChanged: return reinterpret_cast<void*>(static_cast<PropertyChangedFn>(PropertyChanged));
    case rt::kIfAllPropertyData: return reinterpret_cast<void*>(static_cast<AllPropertyDataFn>(AllPropertyData));
    case rt::kIfGetPropertyData: return reinterpret_cast<void*>(static_cast<GetPropertyDataFn>(GetPropertyData));
    case rt::kIfWantsKey: return reinterpret_cast<void*>(static_cast<WantsKeyFn>(WantsKey));
    default: return nullptr;
    }
}

} // namespace units
