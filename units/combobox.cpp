// The core library's combo box (组合框) as a drop-down list: a system
// COMBOBOX control whose items are one property (one item a line) and whose
// choice is another. A choice the user makes raises event 0 with the new
// index; a choice written from code raises nothing.
#include "queries.h"

#include "commands/commands.h"
#include "listmodel.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

namespace {

// Property indices as the unit interfaces see them (property index - 8).
enum ComboBoxProperty : int32_t { kItems = 0, kCurrent, kCurrentText, kFont, kTextColour, kBackColour };

// The list drops below the field: the control is created this much taller
// than the field the form gives it, and measures the field itself.
constexpr int kDropHeight = 200;

class ComboBox : public UnitWnd {
public:
    ComboBox(uint32_t windowId, uint32_t unitId) : UnitWnd(&commands::gCoreLink, windowId, unitId) {}

    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT id, int x, int y, int width,
               int height) {
        if (!Decode(bytes, length, &data_)) return false;
        style |= WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | CBS_DROPDOWNLIST;
        if (!Create(0, "COMBOBOX", "", style, x, y, width, height + kDropHeight, parent,
                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(id))))
            return false;
        ApplyStoredFont(hwnd, data_.font, &font_);
        MakeBrush();
        FillItems();
        Send(CB_SETCURSEL, static_cast<WPARAM>(data_.current));
        return true;
    }

    int32_t Changed(int32_t index, const uint32_t* data) {
        switch (index) {
        case kItems:
            data_.items = SplitLines(DataText(data));
            FillItems();
            return 0;
        case kCurrent: Send(CB_SETCURSEL, static_cast<WPARAM>(static_cast<int32_t>(data[0]))); return 0;
        case kCurrentText: {
            LRESULT found = Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(DataText(data)));
            Send(CB_SETCURSEL, static_cast<WPARAM>(found == CB_ERR ? -1 : found));
            return 0;
        }
        case kFont:
            data_.font = DataBytes(data);
            ApplyStoredFont(hwnd, data_.font, &font_);
            return 0;
        case kTextColour: data_.textColour = data[0]; break;
        case kBackColour: data_.backColour = data[0]; MakeBrush(); break;
        default: return 0;
        }
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }

    bool Get(int32_t index, uint32_t* data) {
        switch (index) {
        case kItems: scratch_ = JoinItems(); PutText(data, scratch_); return true;
        case kCurrent: data[0] = static_cast<uint32_t>(Current()); return true;
        case kCurrentText: scratch_ = ItemText(Current()); PutText(data, scratch_); return true;
        case kFont: PutBytes(data, data_.font); return true;
        case kTextColour: data[0] = data_.textColour; return true;
        case kBackColour: data[0] = data_.backColour; return true;
        default: return false;
        }
    }

    HGLOBAL AllData() {
        ComboBoxData d = data_;
        d.version = 1;
        d.current = Current();
        return ToGlobal(Encode(d));
    }

    // Enter and Escape close an open list rather than act on the window.
    bool WantsKey(int32_t key) {
        return (key == VK_RETURN || key == VK_ESCAPE) && Send(CB_GETDROPPEDSTATE) != 0;
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_SETFOCUS: return DefaultThenRaise(msg, wp, lp, -7);
        case WM_KILLFOCUS: return DefaultThenRaise(msg, wp, lp, -8);
        case WM_CTLCOLORLISTBOX: return Colour(reinterpret_cast<HDC>(wp));   // from the drop-down list
        default: return Default(msg, wp, lp);
        }
    }

    bool OnReflected(UINT msg, WPARAM wp, LPARAM, LRESULT* result) override {
        switch (msg) {
        case WM_COMMAND:
            if (HIWORD(wp) != CBN_SELCHANGE) return false;
            OnSelChange();
            *result = 0;
            return true;
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: *result = Colour(reinterpret_cast<HDC>(wp)); return true;
        default: return false;
        }
    }

private:
    LRESULT Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageA(hwnd, msg, wp, lp); }
    int32_t Current() { return static_cast<int32_t>(Send(CB_GETCURSEL)); }   // CB_ERR is -1

    std::string ItemText(int32_t index) {
        if (index < 0 || index >= static_cast<int32_t>(data_.items.size())) return std::string();
        return data_.items[static_cast<size_t>(index)];
    }

    std::string JoinItems() const {
        std::string s;
        for (size_t i = 0; i < data_.items.size(); ++i) {
            if (i) s += "\r\n";
            s += data_.items[i];
        }
        return s;
    }

    // Refilling keeps the choice when its index still names an item.
    void FillItems() {
        int32_t keep = Current();
        SendMessageA(hwnd, WM_SETREDRAW, FALSE, 0);
        Send(CB_RESETCONTENT);
        for (const std::string& item : data_.items) Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        Send(CB_SETCURSEL, static_cast<WPARAM>(keep < static_cast<int32_t>(data_.items.size()) ? keep : -1));
        SendMessageA(hwnd, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
    }

    void OnSelChange() {
        int32_t now = Current();
        Raise(0, 1, &now);
    }

    LRESULT Colour(HDC dc) {
        SetTextColor(dc, static_cast<COLORREF>(data_.textColour));
        SetBkColor(dc, ResolveColour(data_.backColour));
        return reinterpret_cast<LRESULT>(brush_.Get());
    }

    LRESULT DefaultThenRaise(UINT msg, WPARAM wp, LPARAM lp, int32_t event) {
        LRESULT r = Default(msg, wp, lp);
        Raise(event);
        return r;
    }

    void MakeBrush() { brush_.Reset(CreateSolidBrush(ResolveColour(data_.backColour))); }

    ComboBoxData data_;   // the items as the control holds them (CBS_SORT is never set)
    std::string scratch_; // the text last read out, until the next read
    OwnedGdi font_;
    OwnedGdi brush_;
};

int32_t ComboBoxWantsKey(void* object, int32_t key) {
    ComboBox* c = ControlUnit<ComboBox>::Of(object);
    return c && c->hwnd && c->WantsKey(key) ? 1 : 0;
}

} // namespace

void* ComboBoxQuery(int32_t number) {
    switch (number) {
    case rt::kIfWantsKey: return reinterpret_cast<void*>(static_cast<WantsKeyFn>(ComboBoxWantsKey));
    default: return ControlUnit<ComboBox>::Query(number);
    }
}

} // namespace units
