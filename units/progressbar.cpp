// The core library's progress bar (进度条): a COMCTL32 progress control with
// a range, a position and a marquee mode for work of unknown length (common
// controls 6, which the program's manifest asks for; 5.8 has no marquee). It
// takes no focus and raises no events of its own.
#include "queries.h"

#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include "commands/commands.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

namespace {

// Property indices as the unit interfaces see them (property index - 8).
enum ProgressProperty : int32_t { kMinimum = 0, kMaximum, kPosition, kMarquee, kBarColour, kBackColour };

// A marquee block takes this long (ms) per step.
constexpr LPARAM kMarqueeStep = 30;

class ProgressBar : public UnitWnd {
public:
    ProgressBar(uint32_t windowId, uint32_t unitId) : UnitWnd(&commands::gCoreLink, windowId, unitId) {}

    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT id, int x, int y, int width,
               int height) {
        if (!Decode(bytes, length, &data_) || !LoadCommonControls(ICC_PROGRESS_CLASS)) return false;
        style &= ~static_cast<DWORD>(WS_TABSTOP);
        style |= WS_CHILD | WS_CLIPSIBLINGS;
        if (data_.marquee) style |= PBS_MARQUEE;
        if (!Create(0, PROGRESS_CLASSA, "", style, x, y, width, height, parent,
                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(id))))
            return false;
        ApplyRange();
        if (!data_.marquee) Send(PBM_SETPOS, static_cast<WPARAM>(data_.position));
        ApplyColours();
        if (data_.marquee) Send(PBM_SETMARQUEE, TRUE, kMarqueeStep);
        return true;
    }

    int32_t Changed(int32_t index, const uint32_t* data) {
        const int32_t value = static_cast<int32_t>(data[0]);
        switch (index) {
        case kMinimum: data_.minimum = value; ApplyRange(); return 0;
        case kMaximum: data_.maximum = value; ApplyRange(); return 0;
        case kPosition: SetPosition(value); return 0;
        case kMarquee: SetMarquee(value != 0); return 0;
        case kBarColour: data_.barColour = data[0]; ApplyColours(); return 0;
        case kBackColour: data_.backColour = data[0]; ApplyColours(); return 0;
        default: return 0;
        }
    }

    bool Get(int32_t index, uint32_t* data) {
        switch (index) {
        case kMinimum: data[0] = static_cast<uint32_t>(data_.minimum); return true;
        case kMaximum: data[0] = static_cast<uint32_t>(data_.maximum); return true;
        case kPosition: data[0] = static_cast<uint32_t>(Position()); return true;
        case kMarquee: data[0] = data_.marquee ? 1 : 0; return true;
        case kBarColour: data[0] = data_.barColour; return true;
        case kBackColour: data[0] = data_.backColour; return true;
        default: return false;
        }
    }

    HGLOBAL AllData() {
        ProgressBarData d = data_;
        d.version = 1;
        d.position = Position();
        return ToGlobal(Encode(d));
    }

private:
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageA(hwnd, msg, wp, lp); }
    // A marquee bar's control animates its own position: the bar keeps the
    // one written to it, to show again when the marquee ends.
    int32_t Position() { return data_.marquee ? data_.position : static_cast<int32_t>(Send(PBM_GETPOS)); }
    void SetPosition(int32_t value) {
        if (!data_.marquee) {
            Send(PBM_SETPOS, static_cast<WPARAM>(value));
            return;
        }
        int32_t low = std::min(data_.minimum, data_.maximum), high = std::max(data_.minimum, data_.maximum);
        data_.position = std::max(low, std::min(value, high));
    }

    // Common controls 6 (the program's manifest asks for them) switch a live
    // bar: the style bit and the message, in the order that never leaves a
    // marquee running on a bar without the style. No message is pumped.
    void SetMarquee(bool on) {
        if (on == data_.marquee) return;
        const LONG_PTR style = GetWindowLongPtrA(hwnd, GWL_STYLE);
        if (on) {
            data_.position = Position();
            data_.marquee = true;
            SetWindowLongPtrA(hwnd, GWL_STYLE, style | PBS_MARQUEE);
            Send(PBM_SETMARQUEE, TRUE, kMarqueeStep);
        } else {
            data_.marquee = false;
            Send(PBM_SETMARQUEE, FALSE);
            SetWindowLongPtrA(hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
            Send(PBM_SETPOS, static_cast<WPARAM>(data_.position));
        }
        InvalidateRect(hwnd, nullptr, TRUE);
    }

    // A range given upside down is taken the right way up; an empty one
    // (minimum equal to maximum) is left to the control, which shows no bar.
    void ApplyRange() {
        int32_t low = data_.minimum < data_.maximum ? data_.minimum : data_.maximum;
        int32_t high = data_.minimum < data_.maximum ? data_.maximum : data_.minimum;
        Send(PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
    }

    void ApplyColours() {
        const bool own = !IsDefaultColour(data_.barColour) || !IsDefaultColour(data_.backColour);
        if (own != classic_) classic_ = UseClassicLook(hwnd, own) && own;
        Send(PBM_SETBARCOLOR, 0, IsDefaultColour(data_.barColour) ? CLR_DEFAULT : static_cast<LPARAM>(data_.barColour));
        Send(PBM_SETBKCOLOR, 0, IsDefaultColour(data_.backColour) ? CLR_DEFAULT : static_cast<LPARAM>(data_.backColour));
    }

    ProgressBarData data_;   // the position lives in the control unless a marquee runs
    bool classic_ = false;   // drawn without the visual style, for colours of its own
};

} // namespace

void* ProgressBarQuery(int32_t number) { return ControlUnit<ProgressBar>::Query(number); }

} // namespace units
