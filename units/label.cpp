// The core library's label: a window of the runtime's own class that paints
// everything itself (gradient frame, picture or gradient background, fill,
// caption with its effects) into an off-screen bitmap, so it never flickers.
#include "queries.h"

#include <algorithm>
#include <cmath>
#include "commands/commands.h"
#include "forms/unit.h"
#include "forms/unitdata.h"

namespace units {

namespace {

const char kLabelClass[] = "_QD_Label";

// Property indices as the unit interfaces see them (property index - 8).
enum LabelProperty : int32_t {
    kCaption = 0, kEffect = 1, kBorder = 2, kBorderWidth = 3, kBorderColour1 = 4, kBorderColour3 = 6,
    kFont = 7, kTextColour = 8, kBackColour = 9, kPicture = 10, kPictureMode = 11, kGradientBack = 12,
    kGradientColour1 = 13, kGradientColour3 = 15, kHAlign = 16, kWordWrap = 17, kVAlign = 18,
    kDataSource = 19, kDataColumn = 20,
};

constexpr int32_t kMinBorderWidth = 5;
constexpr int kTile = 50;
constexpr UINT kHAlignFormat[3] = {DT_LEFT, DT_CENTER, DT_RIGHT};
constexpr UINT kVAlignFormat[3] = {DT_TOP, DT_VCENTER, DT_BOTTOM};

// --- GDI ownership ------------------------------------------------------------

template <typename T>
class GdiObject {
public:
    explicit GdiObject(T h = nullptr) : h_(h) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { if (h_) DeleteObject(h_); }
    T Get() const { return h_; }

private:
    T h_;
};

class Selection {
public:
    Selection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A memory DC compatible with `like`, holding either a bitmap of its own of
// the given size or a bitmap that stays the caller's.
class MemoryDc {
public:
    MemoryDc(HDC like, int width, int height)
        : dc_(CreateCompatibleDC(like)), own_(CreateCompatibleBitmap(like, std::max(width, 1), std::max(height, 1))) {
        old_ = SelectObject(dc_, own_.Get());
    }
    MemoryDc(HDC like, HBITMAP borrowed) : dc_(CreateCompatibleDC(like)) {
        if (borrowed) old_ = SelectObject(dc_, borrowed);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() {
        if (old_) SelectObject(dc_, old_);
        DeleteDC(dc_);   // before own_ goes: a bitmap cannot be deleted while selected
    }
    HDC Get() const { return dc_; }

private:
    HDC dc_;
    GdiObject<HBITMAP> own_;
    HGDIOBJ old_ = nullptr;
};

// --- colours ------------------------------------------------------------------

// The given colours in order, skipping the "no colour" ones.
std::vector<COLORREF> Collect(const uint32_t (&colours)[3]) {
    std::vector<COLORREF> out;
    for (uint32_t c : colours)
        if (!IsDefaultColour(c)) out.push_back(static_cast<COLORREF>(c));
    return out;
}

int Mix(int a, int b, double t) { return static_cast<int>(std::lround(a + (b - a) * t)); }

// t in 0..1 along two colours, or along three with the middle one at 0.5.
COLORREF Blend(const std::vector<COLORREF>& c, double t) {
    t = std::min(1.0, std::max(0.0, t));
    COLORREF a = c[0], b = c[1];
    if (c.size() > 2) {
        if (t <= 0.5) {
            t *= 2;
        } else {
            a = c[1];
            b = c[2];
            t = t * 2 - 1;
        }
    }
    return RGB(Mix(GetRValue(a), GetRValue(b), t), Mix(GetGValue(a), GetGValue(b), t),
               Mix(GetBValue(a), GetBValue(b), t));
}

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    COLORREF old = SetBkColor(dc, colour);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

// Position 0..1 along gradient kind 1..8 of a point given as u, v in 0..1
// across the rectangle.
double GradientPosition(int32_t kind, double u, double v) {
    switch (kind) {
    case 1: return u;                                         // left to right
    case 2: return v;                                         // top to bottom
    case 3: return (u + v) / 2;                               // top left to bottom right
    case 4: return (1 - u + v) / 2;                           // top right to bottom left
    case 5: return std::fabs(2 * u - 1);                      // from the vertical centre line outwards
    case 6: return std::fabs(2 * v - 1);                      // from the horizontal centre line outwards
    case 7: return std::hypot(2 * u - 1, 2 * v - 1) / std::sqrt(2.0);   // circles from the centre
    default: return std::max(std::fabs(2 * u - 1), std::fabs(2 * v - 1));  // rectangles from the centre
    }
}

// The gradient over `area`, tile by tile, skipping tiles outside `clip`.
void PaintGradient(HDC dc, const RECT& area, const RECT& clip, int32_t kind, const std::vector<COLORREF>& colours) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    std::vector<uint32_t> pixels(kTile * kTile);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    for (int ty = 0; ty < height; ty += kTile) {
        for (int tx = 0; tx < width; tx += kTile) {
            RECT tile = {area.left + tx, area.top + ty, area.left + std::min(tx + kTile, width),
                         area.top + std::min(ty + kTile, height)};
            RECT seen;
            if (!IntersectRect(&seen, &tile, &clip)) continue;
            const int tw = tile.right - tile.left, th = tile.bottom - tile.top;
            for (int y = 0; y < th; ++y) {
                for (int x = 0; x < tw; ++x) {
                    double u = (tx + x + 0.5) / width, v = (ty + y + 0.5) / height;
                    COLORREF c = Blend(colours, GradientPosition(kind, u, v));
                    pixels[y * tw + x] = static_cast<uint32_t>(GetRValue(c)) << 16 |
                                         static_cast<uint32_t>(GetGValue(c)) << 8 | GetBValue(c);
                }
            }
            bi.bmiHeader.biWidth = tw;
            bi.bmiHeader.biHeight = -th;   // top-down rows
            SetDIBitsToDevice(dc, tile.left, tile.top, tw, th, 0, 0, 0, th, pixels.data(), &bi, DIB_RGB_COLORS);
        }
    }
}

// Rings of one pixel from the outer edge inwards, blending along the colours.
void PaintGradientFrame(HDC dc, const RECT& outer, int width, const std::vector<COLORREF>& colours) {
    for (int i = 0; i < width; ++i) {
        RECT r = outer;
        InflateRect(&r, -i, -i);
        if (r.right - r.left <= 0 || r.bottom - r.top <= 0) break;
        COLORREF c = Blend(colours, width > 1 ? static_cast<double>(i) / (width - 1) : 0.0);
        RECT edge;
        SetRect(&edge, r.left, r.top, r.right, r.top + 1); FillSolid(dc, edge, c);
        SetRect(&edge, r.left, r.bottom - 1, r.right, r.bottom); FillSolid(dc, edge, c);
        SetRect(&edge, r.left, r.top, r.left + 1, r.bottom); FillSolid(dc, edge, c);
        SetRect(&edge, r.right - 1, r.top, r.right, r.bottom); FillSolid(dc, edge, c);
    }
}

// --- the label ----------------------------------------------------------------

class Label : public UnitWnd {
public:
    Label(uint32_t windowId, uint32_t unitId) : UnitWnd(&commands::gCoreLink, windowId, unitId) {}
    ~Label() override {
        picture_.Release();
        if (font_) DeleteObject(font_);
    }

    bool Load(const uint8_t* bytes, uint32_t length) { return Decode(bytes, length, &data_); }
    bool Build(const uint8_t* bytes, uint32_t length, DWORD style, HWND parent, UINT id, int x, int y, int width,
               int height) {
        return Load(bytes, length) && CreateControl(style, parent, id, x, y, width, height);
    }

    bool CreateControl(DWORD style, HWND parent, UINT id, int x, int y, int width, int height) {
        if (!RegisterClass(kLabelClass, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, LoadCursorA(nullptr, IDC_ARROW),
                           static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))))
            return false;
        if (!Create(0, kLabelClass, data_.caption.c_str(), style | WS_CHILD | WS_CLIPSIBLINGS, x, y, width, height,
                    parent, reinterpret_cast<HMENU>(static_cast<uintptr_t>(id))))
            return false;
        ApplyBorder(hwnd, data_.border);
        font_ = CreateStoredFont(data_.font);
        Bind();
        return true;
    }

    int32_t Changed(int32_t index, const uint32_t* data);
    bool Get(int32_t index, uint32_t* data) const;
    HGLOBAL AllData() const {
        LabelData d = data_;
        d.version = 2;
        return ToGlobal(Encode(d));
    }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_PAINT: return OnPaint();
        case WM_PRINTCLIENT: return OnPrintClient(reinterpret_cast<HDC>(wp));
        case WM_ERASEBKGND: return 1;   // painting covers every pixel
        case forms::kMsgLabelEvent: return OnLabelEvent(wp, lp);
        case forms::kMsgAfterCreate: return OnDataSourceNamed(reinterpret_cast<const char*>(wp));
        case forms::kMsgRebindData: Bind(); return 0;
        default: return Default(msg, wp, lp);
        }
    }

private:
    LRESULT OnPaint();
    LRESULT OnPrintClient(HDC dc);
    LRESULT OnLabelEvent(WPARAM wp, LPARAM lp);
    LRESULT OnDataSourceNamed(const char* name);

    // Paints the client area into `target` where it meets `clip`, through an
    // off-screen copy.
    void Render(HDC target, RECT clip);
    void Paint(HDC dc, const RECT& clip);
    void PaintPicture(HDC dc, const RECT& work, const RECT& clip, HRGN fill);
    void DrawPicture(HDC dc, HDC source, int x, int y, int width, int height);
    void PaintCaption(HDC dc, const RECT& work);

    // No unit type of this system is a data source, so there is never a
    // column to read and the caption stays as stored.
    void Bind() {}

    void Invalidate() { InvalidateRect(hwnd, nullptr, FALSE); }

    LabelData data_;
    HFONT font_ = nullptr;
    Picture picture_;   // decoded on first paint
};

LRESULT Label::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT clip;
    if (GetClipBox(dc, &clip) != NULLREGION && !IsRectEmpty(&clip)) Render(dc, clip);
    EndPaint(hwnd, &ps);
    return 0;
}

LRESULT Label::OnPrintClient(HDC dc) {
    RECT clip, client;
    GetClientRect(hwnd, &client);
    if (GetClipBox(dc, &clip) == ERROR) clip = client;
    if (IntersectRect(&clip, &clip, &client)) Render(dc, clip);
    return 0;
}

LRESULT Label::OnLabelEvent(WPARAM wp, LPARAM lp) {
    const int32_t args[2] = {static_cast<int32_t>(wp), static_cast<int32_t>(lp)};
    bool returned = false;
    int32_t value = 0;
    Raise(0, 2, args, &returned, &value);
    return returned ? value : 0;
}

LRESULT Label::OnDataSourceNamed(const char* name) {
    if (name && !data_.dataSource.empty() && data_.dataSource == name) Bind();
    return 0;
}

void Label::Render(HDC target, RECT clip) {
    RECT client;
    GetClientRect(hwnd, &client);
    MemoryDc canvas(target, client.right, client.bottom);
    Paint(canvas.Get(), clip);
    BitBlt(target, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, canvas.Get(), clip.left,
           clip.top, SRCCOPY);
}

void Label::Paint(HDC dc, const RECT& clip) {
    RECT work;
    GetClientRect(hwnd, &work);

    if (data_.border == 6 && data_.gradientBorderWidth > 0) {
        std::vector<COLORREF> colours = Collect(data_.borderColours);
        if (colours.size() >= 2) {
            PaintGradientFrame(dc, work, data_.gradientBorderWidth, colours);
            InflateRect(&work, -data_.gradientBorderWidth, -data_.gradientBorderWidth);
        }
    }

    RECT open;
    if (!IntersectRect(&open, &clip, &work)) return;
    GdiObject<HRGN> fill(CreateRectRgnIndirect(&open));
    // Everything inside stays off the gradient frame.
    SelectClipRgn(dc, fill.Get());

    if (!data_.picture.empty() && picture_.Empty()) {
        picture_ = DecodePicture(data_.picture, ResolveColour(data_.backColour));
        if (picture_.Empty()) data_.picture.clear();
    }
    if (!picture_.Empty()) {
        PaintPicture(dc, work, clip, fill.Get());
    } else if (data_.gradientBack >= 1 && data_.gradientBack <= 8) {
        std::vector<COLORREF> colours = Collect(data_.gradientColours);
        if (colours.size() >= 2) {
            PaintGradient(dc, work, clip, data_.gradientBack, colours);
            SetRectRgn(fill.Get(), 0, 0, 0, 0);
        }
    }

    GdiObject<HBRUSH> back(CreateSolidBrush(ResolveColour(data_.backColour)));
    FillRgn(dc, fill.Get(), back.Get());

    if (!data_.caption.empty()) PaintCaption(dc, work);
    SelectClipRgn(dc, nullptr);
}

void Label::PaintPicture(HDC dc, const RECT& work, const RECT& clip, HRGN fill) {
    MemoryDc source(dc, picture_.bitmap);
    const int pw = picture_.width, ph = picture_.height;
    const int ww = work.right - work.left, wh = work.bottom - work.top;
    RECT placed;
    switch (ClampPick(data_.pictureMode, 2)) {
    case 0:
        SetRect(&placed, work.left, work.top, work.left + pw, work.top + ph);
        break;
    case 1:
        for (int y = work.top; y < work.bottom; y += ph) {
            for (int x = work.left; x < work.right; x += pw) {
                RECT tile = {x, y, x + pw, y + ph}, seen;
                if (IntersectRect(&seen, &tile, &clip)) DrawPicture(dc, source.Get(), x, y, pw, ph);
            }
        }
        SetRectRgn(fill, 0, 0, 0, 0);
        return;
    default: {
        int w = pw, h = ph;
        if (pw > ww || ph > wh) {
            double scale = std::min(static_cast<double>(ww) / pw, static_cast<double>(wh) / ph);
            w = std::max(1, static_cast<int>(pw * scale));
            h = std::max(1, static_cast<int>(ph * scale));
        }
        int x = work.left + (ww - w) / 2, y = work.top + (wh - h) / 2;
        SetRect(&placed, x, y, x + w, y + h);
        break;
    }
    }
    DrawPicture(dc, source.Get(), placed.left, placed.top, placed.right - placed.left, placed.bottom - placed.top);
    GdiObject<HRGN> taken(CreateRectRgnIndirect(&placed));
    CombineRgn(fill, fill, taken.Get(), RGN_DIFF);
}

void Label::DrawPicture(HDC dc, HDC source, int x, int y, int width, int height) {
    if (picture_.icon) {
        // An icon's transparent parts show the background colour.
        RECT r = {x, y, x + width, y + height};
        FillSolid(dc, r, ResolveColour(data_.backColour));
        DrawIconEx(dc, x, y, picture_.icon, width, height, 0, nullptr, DI_NORMAL);
    } else if (width == picture_.width && height == picture_.height) {
        BitBlt(dc, x, y, width, height, source, 0, 0, SRCCOPY);
    } else {
        int oldMode = SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, x, y, width, height, source, 0, 0, picture_.width, picture_.height, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
    }
}

void Label::PaintCaption(HDC dc, const RECT& work) {
    Selection font(dc, font_ ? static_cast<HGDIOBJ>(font_) : GetStockObject(DEFAULT_GUI_FONT));
    int oldMode = SetBkMode(dc, TRANSPARENT);
    UINT format = DT_NOPREFIX | kHAlignFormat[ClampPick(data_.hAlign, 2)];
    if (data_.wordWrap) format |= DT_WORDBREAK | DT_VCENTER;
    else format |= DT_SINGLELINE | kVAlignFormat[ClampPick(data_.vAlign, 2)];

    const char* text = data_.caption.c_str();
    auto draw = [&](COLORREF colour, int offset) {
        RECT r = work;
        OffsetRect(&r, offset, offset);
        SetTextColor(dc, colour);
        DrawTextA(dc, text, -1, &r, format);
    };
    const COLORREF colour = static_cast<COLORREF>(data_.textColour);
    switch (data_.effect) {
    case 1: draw(RGB(255, 255, 255), 1); draw(colour, 0); break;   // raised
    case 2: draw(RGB(255, 255, 255), 0); draw(colour, 1); break;   // sunken
    case 3: draw(RGB(0, 0, 0), 2); draw(colour, 0); break;         // shadow
    default: draw(colour, 0); break;
    }
    SetBkMode(dc, oldMode);
}

int32_t Label::Changed(int32_t index, const uint32_t* data) {
    const int32_t value = static_cast<int32_t>(data[0]);
    switch (index) {
    case kCaption:
        data_.caption = DataText(data);
        SetWindowTextA(hwnd, data_.caption.c_str());
        break;
    case kEffect: data_.effect = ClampPick(value, 3); break;
    case kBorder:
        data_.border = ClampPick(value, 6);
        ApplyBorder(hwnd, data_.border);
        break;
    case kBorderWidth: data_.gradientBorderWidth = std::max(value, kMinBorderWidth); break;
    case kFont: {
        data_.font = DataBytes(data);
        HFONT old = font_;
        font_ = CreateStoredFont(data_.font);
        if (old) DeleteObject(old);
        break;
    }
    case kTextColour: data_.textColour = data[0]; break;
    case kBackColour:
        data_.backColour = data[0];
        picture_.Release();   // rendered against the old colour
        break;
    case kPicture:
        data_.picture = DataBytes(data);
        picture_.Release();
        break;
    case kPictureMode: data_.pictureMode = ClampPick(value, 2); break;
    case kGradientBack: data_.gradientBack = ClampPick(value, 8); break;
    case kHAlign: data_.hAlign = ClampPick(value, 2); break;
    case kWordWrap: data_.wordWrap = value != 0; break;
    case kVAlign: data_.vAlign = ClampPick(value, 2); break;
    case kDataSource:
        data_.dataSource = DataText(data);
        Bind();
        break;
    case kDataColumn:
        data_.dataColumn = DataText(data);
        Bind();
        break;
    default:
        if (index >= kBorderColour1 && index <= kBorderColour3) {
            data_.borderColours[index - kBorderColour1] = data[0];
        } else if (index >= kGradientColour1 && index <= kGradientColour3) {
            data_.gradientColours[index - kGradientColour1] = data[0];
        } else {
            return 0;
        }
        break;
    }
    Invalidate();
    return 0;
}

bool Label::Get(int32_t index, uint32_t* data) const {
    switch (index) {
    case kCaption: PutText(data, data_.caption); return true;
    case kEffect: data[0] = static_cast<uint32_t>(data_.effect); return true;
    case kBorder: data[0] = static_cast<uint32_t>(data_.border); return true;
    case kBorderWidth: data[0] = static_cast<uint32_t>(data_.gradientBorderWidth); return true;
    case kFont: PutBytes(data, data_.font); return true;
    case kTextColour: data[0] = data_.textColour; return true;
    case kBackColour: data[0] = data_.backColour; return true;
    case kPicture: PutBytes(data, data_.picture); return true;
    case kPictureMode: data[0] = static_cast<uint32_t>(data_.pictureMode); return true;
    case kGradientBack: data[0] = static_cast<uint32_t>(data_.gradientBack); return true;
    case kHAlign: data[0] = static_cast<uint32_t>(data_.hAlign); return true;
    case kWordWrap: data[0] = data_.wordWrap ? 1 : 0; return true;
    case kVAlign: data[0] = static_cast<uint32_t>(data_.vAlign); return true;
    case kDataSource: PutText(data, data_.dataSource); return true;
    case kDataColumn: PutText(data, data_.dataColumn); return true;
    default:
        if (index >= kBorderColour1 && index <= kBorderColour3) {
            data[0] = data_.borderColours[index - kBorderColour1];
            return true;
        }
        if (index >= kGradientColour1 && index <= kGradientColour3) {
            data[0] = data_.gradientColours[index - kGradientColour1];
            return true;
        }
        return false;
    }
}

} // namespace

void* LabelQuery(int32_t number) { return ControlUnit<Label>::Query(number); }

} // namespace units
