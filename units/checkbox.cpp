// The core library's check box (选择框): a system BUTTON control with the
// automatic check box style. A click that changes the mark raises event 0
// with the new state; writing the state from code raises nothing.
#include "queries.h"

#include "commands/commands.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

namespace {

// Property indices as the unit interfaces see them (property index - 8).
enum CheckBoxProperty : int32_t { kCaption = 0, kChecked, kFont, kTextColour, kBackColour };

class CheckBox : public UnitWnd {
public:
    CheckBox(uint32_t windowId, uint32_t unitId) : UnitWnd(&commands::gCoreLink, windowId, unitId) {}

    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT id, int x, int y, int width,
               int height) {
        if (!Decode(bytes, length, &data_)) return false;
        style |= WS_CHILD | WS_CLIPSIBLINGS | BS_AUTOCHECKBOX | BS_MULTILINE | BS_VCENTER;
        if (!Create(0, "BUTTON", data_.caption.c_str(), style, x, y, width, height, parent,
                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(id))))
            return false;
        ApplyStoredFont(hwnd, data_.font, &font_);
        MakeBrush();
        ApplyTextColour();
        SendMessageA(hwnd, BM_SETCHECK, data_.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        return true;
    }

    int32_t Changed(int32_t index, const uint32_t* data) {
        switch (index) {
        case kCaption:
            data_.caption = DataText(data);
            SetWindowTextA(hwnd, data_.caption.c_str());
            return 0;
        case kChecked:
            data_.checked = data[0] != 0;
            SendMessageA(hwnd, BM_SETCHECK, data_.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            return 0;
        case kFont:
            data_.font = DataBytes(data);
            ApplyStoredFont(hwnd, data_.font, &font_);
            return 0;
        case kTextColour: data_.textColour = data[0]; ApplyTextColour(); break;
        case kBackColour: data_.backColour = data[0]; MakeBrush(); break;
        default: return 0;
        }
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }

    bool Get(int32_t index, uint32_t* data) {
        switch (index) {
        case kCaption: PutText(data, data_.caption); return true;
        case kChecked: data[0] = Checked() ? 1 : 0; return true;
        case kFont: PutBytes(data, data_.font); return true;
        case kTextColour: data[0] = data_.textColour; return true;
        case kBackColour: data[0] = data_.backColour; return true;
        default: return false;
        }
    }

    HGLOBAL AllData() {
        CheckBoxData d = data_;
        d.version = 1;
        d.checked = Checked();
        return ToGlobal(Encode(d));
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_SETFOCUS: return DefaultThenRaise(msg, wp, lp, -7);
        case WM_KILLFOCUS: return DefaultThenRaise(msg, wp, lp, -8);
        default: return Default(msg, wp, lp);
        }
    }

    bool OnReflected(UINT msg, WPARAM wp, LPARAM, LRESULT* result) override {
        switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wp) != BN_CLICKED) return false;
            OnClicked();
            *result = 0;
            return true;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, static_cast<COLORREF>(data_.textColour));
            SetBkColor(dc, ResolveColour(data_.backColour));
            *result = reinterpret_cast<LRESULT>(brush_.Get());
            return true;
        }
        default: return false;
        }
    }

private:
    bool Checked() const { return SendMessageA(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // The event says what the mark is now; a notification that leaves the
    // mark as it was (another button's message, say) raises nothing.
    void OnClicked() {
        bool now = Checked();
        if (now == data_.checked) return;
        data_.checked = now;
        int32_t arg = now ? 1 : 0;
        Raise(0, 1, &arg);
    }

    LRESULT DefaultThenRaise(UINT msg, WPARAM wp, LPARAM lp, int32_t event) {
        LRESULT r = Default(msg, wp, lp);
        Raise(event);
        return r;
    }

    void MakeBrush() { brush_.Reset(CreateSolidBrush(ResolveColour(data_.backColour))); }
    // A themed check box on Windows writes its caption in the theme's
    // colour, whatever the parent's colour message says (Wine's follows the
    // message): one in another colour than black is drawn classic.
    void ApplyTextColour() {
        const bool own = data_.textColour != 0;
        if (own != classic_) classic_ = UseClassicLook(hwnd, own) && own;
    }

    CheckBoxData data_;   // `checked` follows the control's mark after each click
    OwnedGdi font_;
    OwnedGdi brush_;
    bool classic_ = false;   // drawn without the visual style, for a text colour of its own
};

} // namespace

void* CheckBoxQuery(int32_t number) { return ControlUnit<CheckBox>::Query(number); }

} // namespace units
