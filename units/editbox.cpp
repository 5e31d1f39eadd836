#include "editbox.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include "commands/commands.h"
#include "queries.h"

namespace units {

namespace {

// A window's device context, released into the same window.
class WindowDC {
public:
    WindowDC(HWND hwnd, bool whole) : hwnd_(hwnd), dc_(whole ? GetWindowDC(hwnd) : GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(hwnd_, dc_);
    }
    HDC Get() const { return dc_; }

private:
    HWND hwnd_;
    HDC dc_;
};

// An object selected into a DC for a scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(dc ? SelectObject(dc, obj) : nullptr) {}
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() {
        if (dc_) SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

int TextHeight(HWND hwnd, HFONT font, const char* text) {
    WindowDC dc(hwnd, false);
    if (!dc.Get()) return 0;
    Selected keep(dc.Get(), font);
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc.Get(), text, static_cast<int>(std::strlen(text)), &size);
    return size.cy;
}

void Redraw(HWND hwnd, UINT flags) { RedrawWindow(hwnd, nullptr, nullptr, flags); }

EditBox* AsEditBox(void* object) { return static_cast<EditBox*>(forms::Wnd::FromHead(object)); }

// --- the type's interfaces ----------------------------------------------------

void* CreateEditBox(const uint8_t* data, uint32_t length, DWORD style, HWND parent, UINT controlId, HMENU, int x,
                    int y, int width, int height, uint32_t windowId, uint32_t unitId, int32_t, int32_t) {
    EditBox* box = new EditBox(windowId, unitId);
    if (!box->Build(data, length, style, parent, controlId, x, y, width, height)) {
        delete box;   // no control was made
        return nullptr;
    }
    return box->Head();
}

int32_t EditBoxChanged(void* object, int32_t index, const uint32_t* data, int32_t) {
    return object && data ? AsEditBox(object)->PropertyChanged(index, data) : 0;
}

HGLOBAL EditBoxAllData(void* object) { return object ? ToGlobal(AsEditBox(object)->AllData()) : nullptr; }

int32_t EditBoxGet(void* object, int32_t index, uint32_t* data) {
    return object && data && AsEditBox(object)->GetProperty(index, data) ? 1 : 0;
}

int32_t EditBoxWantsKey(void* object, int32_t key) { return object && AsEditBox(object)->WantsKey(key) ? 1 : 0; }

} // namespace

void* EditBoxQuery(int32_t number) {
    switch (number) {
    case rt::kIfCreate: return reinterpret_cast<void*>(&CreateEditBox);
    case rt::kIfPropertyChanged: return reinterpret_cast<void*>(&EditBoxChanged);
    case rt::kIfAllPropertyData: return reinterpret_cast<void*>(&EditBoxAllData);
    case rt::kIfGetPropertyData: return reinterpret_cast<void*>(&EditBoxGet);
    case rt::kIfWantsKey: return reinterpret_cast<void*>(&EditBoxWantsKey);
    default: return nullptr;
    }
}

// --- creation -----------------------------------------------------------------

EditBox::EditBox(uint32_t windowId, uint32_t unitId) : UnitWnd(&commands::gCoreLink, windowId, unitId) {}

EditBox::~EditBox() {
    if (spin_) spin_->Forget();
}

DWORD EditBox::CreationStyle(DWORD style) const {
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (!data_.hideSelection) style |= ES_NOHIDESEL;
    if (data_.multiLine) {
        // Without a horizontal scroll bar long lines wrap.
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
        if (data_.scrollBars == 1 || data_.scrollBars == 3) style |= ES_AUTOHSCROLL | WS_HSCROLL;
        if (data_.scrollBars == 2 || data_.scrollBars == 3) style |= WS_VSCROLL;
    } else {
        style |= ES_AUTOHSCROLL;
    }
    if (data_.alignment == 1) style |= ES_CENTER;
    if (data_.alignment == 2) style |= ES_RIGHT;
    if (data_.inputMode == kEditModeReadOnly) style |= ES_READONLY;
    if (data_.inputMode == kEditModePassword) style |= ES_PASSWORD;
    if (data_.caseConversion == 1) style |= ES_LOWERCASE;
    if (data_.caseConversion == 2) style |= ES_UPPERCASE;
    return style;
}

bool EditBox::Build(const uint8_t* data, uint32_t length, DWORD style, HWND parent, UINT controlId, int x, int y,
                    int width, int height) {
    if (!Decode(data, length, &data_)) return false;
    data_.version = 2;
    brush_.Reset(CreateSolidBrush(ResolveColour(data_.backColour)));
    if (!Create(0, "EDIT", data_.content.c_str(), CreationStyle(style), x, y, width, height, parent,
                reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId))))
        return false;
    ApplyFont();
    SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(std::max(data_.maxLength, 0)), 0);
    if (data_.inputMode == kEditModePassword)
        SendMessageA(hwnd, EM_SETPASSWORDCHAR, static_cast<WPARAM>(data_.passwordChar & 0xFF), 0);
    if (SingleLine() && (data_.spinMode == 1 || data_.spinMode == 2))
        CreateSpin(parent, controlId, (style & WS_DISABLED) != 0);
    if (data_.selLength == -1) Select(0, TextUnits());
    else if (data_.selStart == -1) Select(TextUnits(), 0);
    else Select(std::max(data_.selStart, 0), std::max(data_.selLength, 0));
    ApplyBorder(hwnd, data_.border);
    return true;
}

HFONT EditBox::CurrentFont() const {
    return font_.Get() ? static_cast<HFONT>(font_.Get()) : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void EditBox::ApplyFont() {
    HFONT fresh = CreateStoredFont(data_.font);
    HFONT use = fresh ? fresh : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (SingleLine()) {
        // A box too low for one line of text grows to fit it.
        int need = TextHeight(hwnd, use, "田") + 2 * GetSystemMetrics(SM_CYEDGE);
        RECT r;
        GetWindowRect(hwnd, &r);
        if (r.bottom - r.top < need)
            SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left, need, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(use), TRUE);
    font_.Reset(fresh);   // the control no longer uses the previous one
    if (SingleLine())
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- content and selection ------------------------------------------------------

std::string EditBox::LiveText() const {
    int n = GetWindowTextLengthA(hwnd);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    GetWindowTextA(hwnd, &s[0], n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

int EditBox::TextUnits() const {
    LRESULT lines = SendMessageA(hwnd, EM_GETLINECOUNT, 0, 0);
    LRESULT last = SendMessageA(hwnd, EM_LINEINDEX, static_cast<WPARAM>(lines > 0 ? lines - 1 : 0), 0);
    if (last < 0) last = 0;
    return static_cast<int>(last + SendMessageA(hwnd, EM_LINELENGTH, static_cast<WPARAM>(last), 0));
}

void EditBox::GetSelection(int* start, int* end) const {
    DWORD s = 0, e = 0;
    SendMessageA(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    *start = static_cast<int>(s);
    *end = static_cast<int>(e);
}

void EditBox::Select(int start, int length) {
    data_.selStart = start;
    data_.selLength = length;
    SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(start + length));
    SendMessageA(hwnd, EM_SCROLLCARET, 0, 0);
}

// Writing one half of the selection keeps the other half as the control has it.
void EditBox::SelectStart(int32_t value) {
    int s, e;
    GetSelection(&s, &e);
    if (value == -1) Select(TextUnits(), 0);
    else Select(std::max(value, 0), e - s);
}

void EditBox::SelectLength(int32_t value) {
    int s, e;
    GetSelection(&s, &e);
    if (value == -1) Select(0, TextUnits());
    else Select(s, std::max(value, 0));
}

std::string EditBox::SelectedText() const {
    int s, e;
    GetSelection(&s, &e);
    if (e <= s) return std::string();
    // The wide length comes from the text itself: asked for directly, an
    // ANSI-subclassed control answers with its byte count.
    int bound = GetWindowTextLengthA(hwnd);
    std::wstring w(static_cast<size_t>(bound) + 1, L'\0');
    GetWindowTextW(hwnd, &w[0], bound + 1);
    w.resize(wcslen(w.c_str()));
    int wide = static_cast<int>(w.size());
    if (TextUnits() != wide) {
        std::string text = LiveText();
        if (static_cast<size_t>(s) >= text.size()) return std::string();
        return text.substr(static_cast<size_t>(s), static_cast<size_t>(e - s));
    }
    // The control counts characters: cut the wide text, then convert.
    if (s >= wide) return std::string();
    e = std::min(e, wide);
    int n = WideCharToMultiByte(CP_ACP, 0, w.data() + s, e - s, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, w.data() + s, e - s, &out[0], n, nullptr, nullptr);
    return out;
}

// The control reports its own change during the write; that one is held
// back and event 0 comes once, from our own EN_CHANGE, with the text in place.
void EditBox::WriteContent(const char* text) {
    settingContent_ = true;
    data_.content = text;
    SetWindowTextA(hwnd, data_.content.c_str());
    settingContent_ = false;
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), EN_CHANGE), reinterpret_cast<LPARAM>(hwnd));
}

// --- properties ---------------------------------------------------------------------

int32_t EditBox::PropertyChanged(int32_t index, const uint32_t* data) {
    const int32_t value = static_cast<int32_t>(data[0]);
    // Properties that only a new control can show.
    auto recreate = [](int32_t* field, int32_t v) {
        if (*field == v) return 0;
        *field = v;
        return 1;
    };
    auto recreateBool = [](bool* field, bool v) {
        if (*field == v) return 0;
        *field = v;
        return 1;
    };
    switch (index) {
    case kEditContent: WriteContent(DataText(data)); return 0;
    case kEditBorder:
        data_.border = ClampPick(value, 5);
        ApplyBorder(hwnd, data_.border);
        ApplySpinEdge();
        return 0;
    case kEditTextColour:
        data_.textColour = data[0];
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case kEditBackColour:
        data_.backColour = data[0];
        brush_.Reset(CreateSolidBrush(ResolveColour(data_.backColour)));
        Redraw(hwnd, RDW_FRAME | RDW_ERASE | RDW_INVALIDATE);
        return 0;
    case kEditFont:
        data_.font = DataBytes(data);
        ApplyFont();
        return 0;
    case kEditHideSelection: return recreateBool(&data_.hideSelection, value != 0);
    case kEditMaxLength:
        data_.maxLength = std::max(value, 0);
        SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(data_.maxLength), 0);
        return 0;
    case kEditMultiLine: return recreateBool(&data_.multiLine, value != 0);
    case kEditScrollBars: return recreate(&data_.scrollBars, ClampPick(value, 3));
    case kEditAlignment: return recreate(&data_.alignment, ClampPick(value, 2));
    case kEditInputMode:
        data_.inputMode = ClampPick(value, kEditModeLast);
        SendMessageA(hwnd, EM_SETPASSWORDCHAR,
                     data_.inputMode == kEditModePassword ? static_cast<WPARAM>(data_.passwordChar & 0xFF) : 0, 0);
        SendMessageA(hwnd, EM_SETREADONLY, data_.inputMode == kEditModeReadOnly, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case kEditPasswordChar:
        data_.passwordChar = static_cast<uint8_t>(DataText(data)[0]);
        if (data_.inputMode == kEditModePassword) {
            SendMessageA(hwnd, EM_SETPASSWORDCHAR, static_cast<WPARAM>(data_.passwordChar & 0xFF), 0);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case kEditCaseConversion: return recreate(&data_.caseConversion, ClampPick(value, 2));
    case kEditSpinMode: return recreate(&data_.spinMode, ClampPick(value, 2));
    case kEditSpinBound1:
        data_.spinBound1 = value;
        SetSpinRange();
        return 0;
    case kEditSpinBound2:
        data_.spinBound2 = value;
        SetSpinRange();
        return 0;
    case kEditSelStart: SelectStart(value); return 0;
    case kEditSelLength: SelectLength(value); return 0;
    case kEditSelText:
        SendMessageA(hwnd, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(DataText(data)));
        return 0;
    // Data binding is not offered: the names are kept and served back.
    case kEditDataSource: data_.dataSource = DataText(data); return 0;
    case kEditDataColumn: data_.dataColumn = DataText(data); return 0;
    default: return 0;
    }
}

bool EditBox::GetProperty(int32_t index, uint32_t* data) {
    int s = 0, e = 0;
    switch (index) {
    case kEditContent:
        data_.content = LiveText();
        PutText(data, data_.content);
        return true;
    case kEditBorder: data[0] = static_cast<uint32_t>(data_.border); return true;
    case kEditTextColour: data[0] = data_.textColour; return true;
    case kEditBackColour: data[0] = data_.backColour; return true;
    case kEditFont: PutBytes(data, data_.font); return true;
    case kEditHideSelection: data[0] = data_.hideSelection ? 1 : 0; return true;
    case kEditMaxLength: data[0] = static_cast<uint32_t>(data_.maxLength); return true;
    case kEditMultiLine: data[0] = data_.multiLine ? 1 : 0; return true;
    case kEditScrollBars: data[0] = static_cast<uint32_t>(data_.scrollBars); return true;
    case kEditAlignment: data[0] = static_cast<uint32_t>(data_.alignment); return true;
    case kEditInputMode: data[0] = static_cast<uint32_t>(data_.inputMode); return true;
    case kEditPasswordChar:
        passwordText_.assign(1, static_cast<char>(data_.passwordChar & 0xFF));
        if (passwordText_[0] == '\0') passwordText_.clear();
        PutText(data, passwordText_);
        return true;
    case kEditCaseConversion: data[0] = static_cast<uint32_t>(data_.caseConversion); return true;
    case kEditSpinMode: data[0] = static_cast<uint32_t>(data_.spinMode); return true;
    case kEditSpinBound1: data[0] = static_cast<uint32_t>(data_.spinBound1); return true;
    case kEditSpinBound2: data[0] = static_cast<uint32_t>(data_.spinBound2); return true;
    case kEditSelStart:
        GetSelection(&s, &e);
        data[0] = static_cast<uint32_t>(s);
        return true;
    case kEditSelLength:
        GetSelection(&s, &e);
        data[0] = static_cast<uint32_t>(e - s);
        return true;
    case kEditSelText:
        selectedText_ = SelectedText();
        PutText(data, selectedText_);
        return true;
    case kEditDataSource: PutText(data, data_.dataSource); return true;
    case kEditDataColumn: PutText(data, data_.dataColumn); return true;
    default: return false;
    }
}

// The stored form, with the content and selection as the control has them now.
std::vector<uint8_t> EditBox::AllData() {
    EditBoxData d = data_;
    d.version = 2;
    if (hwnd) {
        d.content = LiveText();
        int s, e;
        GetSelection(&s, &e);
        d.selStart = s;
        d.selLength = e - s;
    }
    return Encode(d);
}

bool EditBox::WantsKey(int32_t key) const {
    return key == VK_RETURN && data_.multiLine && data_.inputMode != kEditModeReadOnly;
}

// --- messages -------------------------------------------------------------------------

LRESULT EditBox::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == SpinStepMessage()) return OnSpinStep(wp);
    switch (msg) {
    case WM_CHAR: return OnChar(wp, lp);
    case WM_NCCALCSIZE: return OnNcCalcSize(wp, lp);
    case WM_NCPAINT: return OnNcPaint(wp, lp);
    case WM_NCHITTEST: return OnNcHitTest(wp, lp);
    case WM_ERASEBKGND: return OnEraseBackground(wp);
    case WM_WINDOWPOSCHANGED: return OnPositionChanged(wp, lp);
    case WM_ENABLE: return OnEnable(wp, lp);
    case WM_DESTROY: return OnDestroy(wp, lp);
    case WM_COMMAND: return OnOwnCommand(wp, lp);
    default: return Default(msg, wp, lp);
    }
}

bool EditBox::OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    (void)lp;
    switch (msg) {
    case WM_COMMAND: return OnNotification(HIWORD(wp));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        *result = reinterpret_cast<LRESULT>(OnControlColour(reinterpret_cast<HDC>(wp)));
        return true;
    default: return false;
    }
}

bool EditBox::OnNotification(UINT code) {
    switch (code) {
    case EN_CHANGE:
        if (!settingContent_) Raise(0);
        return true;
    case EN_SETFOCUS: Raise(-7); return true;
    case EN_KILLFOCUS: OnLostFocus(); return true;
    default: return false;
    }
}

// Our own EN_CHANGE after a content write comes to the box itself.
LRESULT EditBox::OnOwnCommand(WPARAM wp, LPARAM lp) {
    if (reinterpret_cast<HWND>(lp) == hwnd && HIWORD(wp) == EN_CHANGE) {
        OnNotification(EN_CHANGE);
        return 0;
    }
    return Default(WM_COMMAND, wp, lp);
}

HBRUSH EditBox::OnControlColour(HDC dc) {
    SetTextColor(dc, static_cast<COLORREF>(data_.textColour));
    SetBkColor(dc, ResolveColour(data_.backColour));
    return static_cast<HBRUSH>(brush_.Get());
}

// A single line sits in the middle of the box: the client area is cut to one
// line of text and the rest belongs to the frame.
LRESULT EditBox::OnNcCalcSize(WPARAM wp, LPARAM lp) {
    RECT* rc = reinterpret_cast<RECT*>(lp);   // rgrc[0] when wParam is true
    const RECT outer = rc ? *rc : RECT{};
    LRESULT r = Default(WM_NCCALCSIZE, wp, lp);
    if (!SingleLine() || !lp) return r;
    border_ = {rc->left - outer.left, rc->top - outer.top, outer.right - rc->right, outer.bottom - rc->bottom};
    int line = TextHeight(hwnd, CurrentFont(), "W");
    int room = rc->bottom - rc->top;
    if (line > 0 && line < room) {
        rc->top += (room - line) / 2;
        rc->bottom = rc->top + line;
    }
    return r;
}

// The control draws its border first: a themed one (common controls 6)
// fills all of its frame while doing so. The band between the border and
// the line of text is then painted in the background colour.
LRESULT EditBox::OnNcPaint(WPARAM wp, LPARAM lp) {
    LRESULT r = Default(WM_NCPAINT, wp, lp);
    if (!SingleLine()) return r;
    WindowDC dc(hwnd, true);
    if (!dc.Get()) return r;
    RECT win, client;
    GetWindowRect(hwnd, &win);
    GetClientRect(hwnd, &client);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -win.left, -win.top);
    OffsetRect(&win, -win.left, -win.top);
    RECT band = {win.left + border_.left, win.top + border_.top, win.right - border_.right,
                 win.bottom - border_.bottom};
    ExcludeClipRect(dc.Get(), client.left, client.top, client.right, client.bottom);
    if (band.right > band.left && band.bottom > band.top)
        FillRect(dc.Get(), &band, static_cast<HBRUSH>(brush_.Get()));
    return r;
}

LRESULT EditBox::OnNcHitTest(WPARAM wp, LPARAM lp) {
    if (SingleLine()) {
        POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        ScreenToClient(hwnd, &pt);
        RECT client;
        GetClientRect(hwnd, &client);
        if (!PtInRect(&client, pt)) return HTBORDER;
    }
    return Default(WM_NCHITTEST, wp, lp);
}

LRESULT EditBox::OnEraseBackground(WPARAM wp) {
    if (!SingleLine()) return Default(WM_ERASEBKGND, wp, 0);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(reinterpret_cast<HDC>(wp), &client, static_cast<HBRUSH>(brush_.Get()));
    return 1;
}

LRESULT EditBox::OnDestroy(WPARAM wp, LPARAM lp) {
    if (spin_) DestroyWindow(spin_->hwnd);
    return Default(WM_DESTROY, wp, lp);
}

} // namespace units
