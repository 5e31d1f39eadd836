// The core library's edit box: an EDIT control with vertically centred
// single-line text, input modes that filter and normalise what is typed, an
// optional spin control beside it, and its own colours.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

// Input modes (property 18).
enum EditInputMode : int32_t {
    kEditModeNormal = 0,
    kEditModeReadOnly = 1,
    kEditModePassword = 2,
    kEditModeSigned = 3,       // digits and '-'
    kEditModeDecimal = 4,      // digits, '-' and '.'
    kEditModeByte = 5,         // 0..255
    kEditModeShort = 6,        // -32768..32767
    kEditModeInt = 7,          // 64-bit read, clamped to 32 bits
    kEditModeLong = 8,         // 64-bit integer
    kEditModeFloat = 9,        // single precision
    kEditModeDouble = 10,      // double precision
    kEditModeDateTime = 11,
    kEditModeLast = kEditModeDateTime,
};

// Whether a box in `mode` takes the typed character `ch` (a WM_CHAR code).
bool EditModeAccepts(int32_t mode, WPARAM ch);

// The text a box in `mode` holds after losing the focus: modes 5 to 10 read
// the leading number, clamp it and write it back, decimals in the shortest
// "%g" form that reads back as the same value ("0" becomes empty); mode 11
// a date-time as "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" (empty when it does
// not parse or is zero); other modes keep the text.
std::string NormaliseEditText(int32_t mode, const std::string& text);

// The edit box's own properties, as interfaces 4 and 6 number them
// (property index - 8).
enum EditBoxProperty : int32_t {
    kEditContent = 0,
    kEditBorder,
    kEditTextColour,
    kEditBackColour,
    kEditFont,
    kEditHideSelection,
    kEditMaxLength,
    kEditMultiLine,
    kEditScrollBars,
    kEditAlignment,
    kEditInputMode,
    kEditPasswordChar,
    kEditCaseConversion,
    kEditSpinMode,
    kEditSpinBound1,
    kEditSpinBound2,
    kEditSelStart,
    kEditSelLength,
    kEditSelText,
    kEditDataSource,
    kEditDataColumn,
    kEditPropertyCount
};

class EditBox;

// The spin control beside a box. Its parent reflects UDN_DELTAPOS to this
// object, which hands the step on to the box.
class SpinButton : public forms::Wnd {
public:
    explicit SpinButton(EditBox* box) : box_(box) {}
    void Forget() { box_ = nullptr; }

protected:
    bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
    void PostNcDestroy() override;

private:
    EditBox* box_;
};

class EditBox : public UnitWnd {
public:
    // The spin control sits this many pixels wide at the box's right edge.
    static constexpr int kSpinWidth = 18;
    // Its control identifier is the box's plus this.
    static constexpr UINT kSpinIdOffset = 4;

    EditBox(uint32_t windowId, uint32_t unitId);
    ~EditBox() override;

    // Interface 1 after the object exists: false when the data cannot be
    // read or the control cannot be created.
    bool Build(const uint8_t* data, uint32_t length, DWORD style, HWND parent, UINT controlId, int x, int y,
               int width, int height);
    int32_t PropertyChanged(int32_t index, const uint32_t* data);   // interface 4
    std::vector<uint8_t> AllData();                                 // interface 5
    bool GetProperty(int32_t index, uint32_t* data);                // interface 6
    bool WantsKey(int32_t key) const;                               // interface 8

    HWND SpinHandle() const { return spin_ ? spin_->hwnd : nullptr; }

    // The spin control hands its steps to the box through this message (the
    // delta in wParam), so that the step runs as one of the box's own
    // messages and survives a handler that destroys the box.
    static UINT SpinStepMessage();
    void SpinGone() { spin_ = nullptr; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool OnReflected(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

private:
    bool SingleLine() const { return !data_.multiLine; }
    HFONT CurrentFont() const;
    DWORD CreationStyle(DWORD style) const;
    void ApplyFont();
    void CreateSpin(HWND parent, UINT controlId, bool disabled);
    void ApplySpinEdge();
    void SetSpinRange();
    void FollowBox(UINT swpFlags);

    // Content and selection, live from the control. Positions are in the
    // control's own units (characters for a wide control, bytes otherwise).
    std::string LiveText() const;
    int TextUnits() const;
    void GetSelection(int* start, int* end) const;
    void Select(int start, int length);
    void SelectStart(int32_t value);
    void SelectLength(int32_t value);
    std::string SelectedText() const;
    void WriteContent(const char* text);
    void OnLostFocus();

    LRESULT OnChar(WPARAM wp, LPARAM lp);
    LRESULT OnNcCalcSize(WPARAM wp, LPARAM lp);
    LRESULT OnNcPaint(WPARAM wp, LPARAM lp);
    LRESULT OnNcHitTest(WPARAM wp, LPARAM lp);
    LRESULT OnEraseBackground(WPARAM wp);
    LRESULT OnPositionChanged(WPARAM wp, LPARAM lp);
    LRESULT OnEnable(WPARAM wp, LPARAM lp);
    LRESULT OnDestroy(WPARAM wp, LPARAM lp);
    LRESULT OnOwnCommand(WPARAM wp, LPARAM lp);
    LRESULT OnSpinStep(WPARAM wp);
    bool OnNotification(UINT code);
    HBRUSH OnControlColour(HDC dc);

    EditBoxData data_;
    OwnedGdi font_;        // null: DEFAULT_GUI_FONT
    OwnedGdi brush_;
    RECT border_ = {};     // the control's own border, inside which a single line's band is painted
    SpinButton* spin_ = nullptr;
    bool settingContent_ = false;   // the runtime itself is writing the content
    std::string selectedText_;      // scratch for property 26
    std::string passwordText_;      // scratch for property 19
};

} // namespace units
