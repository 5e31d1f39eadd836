// The core library's button: a system BUTTON control whose click is the
// unit's event 0. Type, alignments, caption and font change the live control;
// only a new picture needs the control re-created.
#include "queries.h"

#include "commands/commands.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

namespace {

// Property indices as the unit interfaces see them (property index - 8).
enum ButtonProperty : int32_t { kPicture = 0, kType = 1, kCaption = 2, kHAlign = 3, kVAlign = 4, kFont = 5 };

constexpr DWORD kTypeMask = 0x1F;
constexpr DWORD kHAlignMask = BS_LEFT | BS_RIGHT;   // 0x300; BS_CENTER is both bits
constexpr DWORD kVAlignMask = BS_TOP | BS_BOTTOM;   // 0xC00; BS_VCENTER is both bits
constexpr DWORD kHAlignBits[3] = {BS_LEFT, BS_CENTER, BS_RIGHT};
constexpr DWORD kVAlignBits[3] = {BS_TOP, BS_VCENTER, BS_BOTTOM};

class Button : public UnitWnd {
public:
    Button(uint32_t windowId, uint32_t unitId) : UnitWnd(&commands::gCoreLink, windowId, unitId) {}
    ~Button() override { picture_.Release(); }

    bool Load(const uint8_t* bytes, uint32_t length) { return Decode(bytes, length, &data_); }
    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT id, int x, int y, int width,
               int height) {
        return Load(bytes, length) && CreateControl(style, parent, id, x, y, width, height);
    }

    bool CreateControl(DWORD style, HWND parent, UINT id, int x, int y, int width, int height) {
        style |= kHAlignBits[ClampPick(data_.hAlign, 2)] | kVAlignBits[ClampPick(data_.vAlign, 2)];
        if (data_.buttonType == 1) style |= BS_DEFPUSHBUTTON;
        if (!data_.picture.empty()) picture_ = DecodePicture(data_.picture, GetSysColor(COLOR_BTNFACE));
        if (picture_.icon) style |= BS_ICON;
        else if (picture_.bitmap) style |= BS_BITMAP;
        if (!Create(0, "BUTTON", data_.caption.c_str(), style | WS_CHILD | WS_CLIPSIBLINGS | BS_MULTILINE, x, y,
                    width, height, parent, reinterpret_cast<HMENU>(static_cast<uintptr_t>(id))))
            return false;
        ApplyFont();
        if (picture_.icon)
            SendMessageA(hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(picture_.icon));
        else if (picture_.bitmap)
            SendMessageA(hwnd, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_.bitmap));
        return true;
    }

    int32_t Changed(int32_t index, const uint32_t* data);
    bool Get(int32_t index, uint32_t* data) const;
    HGLOBAL AllData() const {
        ButtonData d = data_;
        d.version = 1;
        return ToGlobal(Encode(d));
    }
    bool IsDefault() const {
        return (static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE)) & kTypeMask) == BS_DEFPUSHBUTTON;
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
        if (msg != WM_COMMAND || HIWORD(wp) != BN_CLICKED) return false;
        // BM_CLICK from another program reaches a disabled button too; a
        // disabled button starts nothing.
        if (IsWindowEnabled(hwnd)) Raise(0);
        *result = 0;
        return true;
    }

private:
    LRESULT DefaultThenRaise(UINT msg, WPARAM wp, LPARAM lp, int32_t event) {
        LRESULT r = Default(msg, wp, lp);
        Raise(event);
        return r;
    }

    void ApplyFont() { ApplyStoredFont(hwnd, data_.font, &font_); }

    void ReplaceStyle(DWORD mask, DWORD bits, bool refreshFrame) {
        DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
        SetWindowLongPtrA(hwnd, GWL_STYLE, static_cast<LONG_PTR>((style & ~mask) | bits));
        if (refreshFrame)
            SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                         SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(hwnd, nullptr, TRUE);
    }

    ButtonData data_;
    OwnedGdi font_;
    Picture picture_;
};

int32_t Button::Changed(int32_t index, const uint32_t* data) {
    const int32_t value = static_cast<int32_t>(data[0]);
    switch (index) {
    case kPicture:
        data_.picture = DataBytes(data);
        return 1;
    case kType:
        data_.buttonType = ClampPick(value, 1);
        // BS_PUSHBUTTON is 0: the type bits are either BS_DEFPUSHBUTTON or clear.
        ReplaceStyle(BS_DEFPUSHBUTTON, data_.buttonType == 1 ? BS_DEFPUSHBUTTON : 0, true);
        return 0;
    case kCaption:
        data_.caption = DataText(data);
        SetWindowTextA(hwnd, data_.caption.c_str());
        return 0;
    case kHAlign:
        data_.hAlign = ClampPick(value, 2);
        ReplaceStyle(kHAlignMask, kHAlignBits[data_.hAlign], false);
        return 0;
    case kVAlign:
        data_.vAlign = ClampPick(value, 2);
        ReplaceStyle(kVAlignMask, kVAlignBits[data_.vAlign], false);
        return 0;
    case kFont:
        data_.font = DataBytes(data);
        ApplyFont();
        return 0;
    default:
        return 0;
    }
}

bool Button::Get(int32_t index, uint32_t* data) const {
    switch (index) {
    case kPicture: PutBytes(data, data_.picture); return true;
    case kType: data[0] = static_cast<uint32_t>(data_.buttonType); return true;
    case kCaption: PutText(data, data_.caption); return true;
    case kHAlign: data[0] = static_cast<uint32_t>(data_.hAlign); return true;
    case kVAlign: data[0] = static_cast<uint32_t>(data_.vAlign); return true;
    case kFont: PutBytes(data, data_.font); return true;
    default: return false;
    }
}

int32_t ButtonIsDefault(void* object) {
    Button* b = ControlUnit<Button>::Of(object);
    return b && b->hwnd && b->IsDefault() ? 1 : 0;
}

} // namespace

void* ButtonQuery(int32_t number) {
    switch (number) {
    case rt::kIfIsDefaultButton: return reinterpret_cast<void*>(static_cast<IsDefaultButtonFn>(ButtonIsDefault));
    default: return ControlUnit<Button>::Query(number);
    }
}

} // namespace units
