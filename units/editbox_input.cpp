// The edit box's input side: typed characters filtered by the input mode,
// the text normalised when the box loses the focus, and the spin control.
#include "editbox.h"
#include "runtime/modules.h"

#include <commctrl.h>
#include <oleauto.h>
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace units {

namespace {

bool IsDigit(WPARAM ch) { return ch >= '0' && ch <= '9'; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// The usual leading-number rules: blanks, a sign, digits; anything else ends
// the number, and a text without digits reads as 0. Saturates at 64 bits.
int64_t LeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) i++;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    uint64_t limit = negative ? static_cast<uint64_t>(INT64_MAX) + 1 : static_cast<uint64_t>(INT64_MAX);
    uint64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        v = v > (limit - digit) / 10 ? limit : v * 10 + digit;
    }
    if (negative) return v == limit ? INT64_MIN : -static_cast<int64_t>(v);
    return static_cast<int64_t>(v);
}

// The same rules for a decimal number: sign, digits, point, digits and an
// exponent; only that prefix is converted.
double LeadingDecimal(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) i++;
    size_t start = i;
    auto digits = [&]() {
        size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') i++;
        return i - from;
    };
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) i++;
    size_t whole = digits();
    size_t fraction = 0;
    if (i < text.size() && text[i] == '.') {
        i++;
        fraction = digits();
    }
    if (whole + fraction == 0) return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t mark = i++;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) i++;
        if (digits() == 0) i = mark;
    }
    return std::strtod(text.substr(start, i - start).c_str(), nullptr);
}

int64_t Clamp(int64_t v, int64_t lo, int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

std::string IntegerText(int64_t v) { return v == 0 ? std::string() : std::to_string(v); }

// The shortest "%g" text that reads back as the same value.
std::string DecimalText(double v, bool single) {
    if (v == 0.0 || std::isnan(v)) return std::string();
    char buf[40];
    for (int precision = 1; precision <= 17; precision++) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        double back = std::strtod(buf, nullptr);
        if (single ? static_cast<float>(back) == static_cast<float>(v) : back == v) break;
    }
    return buf;
}

std::string DateTimeText(const std::string& text) {
    if (text.empty()) return std::string();
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::string();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    DATE date = 0;
    SYSTEMTIME st;
    if (FAILED(VarDateFromStr(&wide[0], LOCALE_USER_DEFAULT, 0, &date)) || date == 0 ||
        !VariantTimeToSystemTime(date, &st))
        return std::string();
    char buf[40];
    if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0)
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    else
        std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                      st.wMinute, st.wSecond);
    return buf;
}

} // namespace

bool EditModeAccepts(int32_t mode, WPARAM ch) {
    if (ch < 32) return true;
    switch (mode) {
    case kEditModeByte: return IsDigit(ch);
    case kEditModeSigned:
    case kEditModeShort:
    case kEditModeInt:
    case kEditModeLong: return IsDigit(ch) || ch == '-';
    case kEditModeDecimal:
    case kEditModeFloat:
    case kEditModeDouble: return IsDigit(ch) || ch == '-' || ch == '.';
    default: return true;
    }
}

std::string NormaliseEditText(int32_t mode, const std::string& text) {
    switch (mode) {
    case kEditModeByte: return IntegerText(Clamp(LeadingInteger(text), 0, 255));
    case kEditModeShort: return IntegerText(Clamp(LeadingInteger(text), SHRT_MIN, SHRT_MAX));
    case kEditModeInt: return IntegerText(Clamp(LeadingInteger(text), INT_MIN, INT_MAX));
    case kEditModeLong: return IntegerText(LeadingInteger(text));
    case kEditModeFloat: {
        double v = LeadingDecimal(text);
        return DecimalText(v > FLT_MAX ? FLT_MAX : (v < -FLT_MAX ? -FLT_MAX : static_cast<float>(v)), true);
    }
    case kEditModeDouble: {
        double v = LeadingDecimal(text);
        return DecimalText(v > DBL_MAX ? DBL_MAX : (v < -DBL_MAX ? -DBL_MAX : v), false);
    }
    case kEditModeDateTime: return DateTimeText(text);
    default: return text;
    }
}

// --- typing and losing the focus ----------------------------------------------------

LRESULT EditBox::OnChar(WPARAM wp, LPARAM lp) {
    if (!EditModeAccepts(data_.inputMode, wp)) return 0;
    return Default(WM_CHAR, wp, lp);
}

void EditBox::OnLostFocus() {
    if (data_.inputMode >= kEditModeByte && data_.inputMode <= kEditModeDateTime) {
        std::string now = LiveText();
        std::string want = NormaliseEditText(data_.inputMode, now);
        if (want != now) {
            int s, e;
            GetSelection(&s, &e);
            data_.content = want;
            SetWindowTextA(hwnd, want.c_str());
            if (!hwnd) return;   // a handler of the change destroyed the box
            SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(s), static_cast<LPARAM>(s));
        }
    }
    Raise(-8);
}

// --- the spin control ---------------------------------------------------------------

UINT EditBox::SpinStepMessage() {
    static const UINT msg = RegisterWindowMessageA("KeelEditBoxSpinStep");
    return msg;
}

bool SpinButton::OnReflected(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
    if (msg != WM_NOTIFY || reinterpret_cast<const NMHDR*>(lp)->code != UDN_DELTAPOS) return false;
    const NMUPDOWN* step = reinterpret_cast<const NMUPDOWN*>(lp);
    if (box_ && box_->hwnd) SendMessageA(box_->hwnd, EditBox::SpinStepMessage(), static_cast<WPARAM>(step->iDelta), 0);
    *result = 1;   // the box keeps the value; the control's own position stays put
    return true;
}

void SpinButton::PostNcDestroy() {
    if (box_) box_->SpinGone();
    delete this;
}

void EditBox::CreateSpin(HWND parent, UINT controlId, bool disabled) {
    if (!LoadCommonControls(ICC_UPDOWN_CLASS)) {
        data_.spinMode = 0;
        return;
    }
    spin_ = new SpinButton(this);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_VISIBLE) style |= WS_VISIBLE;
    if (!spin_->Create(0, UPDOWN_CLASSA, "", style, 0, 0, kSpinWidth, 0, parent,
                       reinterpret_cast<HMENU>(static_cast<uintptr_t>(controlId + kSpinIdOffset)))) {
        delete spin_;
        spin_ = nullptr;
        data_.spinMode = 0;
        return;
    }
    ApplySpinEdge();
    SetSpinRange();
    if (disabled) EnableWindow(spin_->hwnd, FALSE);
    FollowBox(0);
}

void EditBox::ApplySpinEdge() {
    if (!spin_) return;
    LONG_PTR ex = GetWindowLongPtrA(spin_->hwnd, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_STATICEDGE);
    if (data_.border == 0 || data_.border == 1 || data_.border == 3) ex |= WS_EX_STATICEDGE;
    SetWindowLongPtrA(spin_->hwnd, GWL_EXSTYLE, ex);
    SetWindowPos(spin_->hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EditBox::SetSpinRange() {
    if (!spin_) return;
    int lo = std::min(data_.spinBound1, data_.spinBound2);
    int hi = std::max(data_.spinBound1, data_.spinBound2);
    SendMessageA(spin_->hwnd, UDM_SETRANGE, 0, MAKELPARAM(static_cast<short>(hi), static_cast<short>(lo)));
}

// Keeps the spin control at the box's right edge, next to it in the z-order,
// and shown or hidden with it.
void EditBox::FollowBox(UINT swpFlags) {
    if (!spin_ || !hwnd) return;
    const UINT kStill = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
    if ((swpFlags & kStill) != kStill) {
        RECT r;
        GetWindowRect(hwnd, &r);
        MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(spin_->hwnd, hwnd, r.right, r.top, kSpinWidth, r.bottom - r.top, SWP_NOACTIVATE);
    }
    if (swpFlags & SWP_SHOWWINDOW) ShowWindow(spin_->hwnd, SW_SHOWNA);
    if (swpFlags & SWP_HIDEWINDOW) ShowWindow(spin_->hwnd, SW_HIDE);
}

LRESULT EditBox::OnPositionChanged(WPARAM wp, LPARAM lp) {
    LRESULT r = Default(WM_WINDOWPOSCHANGED, wp, lp);
    if (lp) FollowBox(reinterpret_cast<const WINDOWPOS*>(lp)->flags);
    return r;
}

LRESULT EditBox::OnEnable(WPARAM wp, LPARAM lp) {
    if (spin_) EnableWindow(spin_->hwnd, wp ? TRUE : FALSE);
    return Default(WM_ENABLE, wp, lp);
}

LRESULT EditBox::OnSpinStep(WPARAM wp) {
    int delta = static_cast<int>(wp);
    if (delta == 0 || !IsWindowEnabled(hwnd) || !IsWindowVisible(hwnd)) return 0;
    if (data_.spinMode == 2) {
        int32_t direction = delta > 0 ? 1 : -1;
        Raise(1, 1, &direction);
        return 0;
    }
    if (data_.spinMode != 1) return 0;
    // Past either bound the value wraps round to the other one.
    int64_t lo = std::min(data_.spinBound1, data_.spinBound2);
    int64_t hi = std::max(data_.spinBound1, data_.spinBound2);
    int64_t v = Clamp(LeadingInteger(LiveText()), INT_MIN, INT_MAX) + (delta > 0 ? 1 : -1);
    if (v < lo || v > hi) v = delta > 0 ? lo : hi;
    WriteContent(std::to_string(v).c_str());
    if (!hwnd) return 0;
    SendMessageA(hwnd, EM_SETSEL, 0, -1);
    SendMessageA(hwnd, EM_SCROLLCARET, 0, 0);
    SetFocus(hwnd);
    return 0;
}

} // namespace units
