// Pens, brushes and the canvas: GDI objects are made when a drawing call
// needs them, selected into the canvas's DC, and deselected before they are
// freed or before the canvas lets go of the DC.
#include <algorithm>
#include <set>

#include "qvt/rtl/graphics.h"

namespace qvt::rtl {

// --- Pixel formats -------------------------------------------------------------

int PixelFormatBits(TPixelFormat format) {
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
    }
}

int BytesPerScanLine(int width, int bitsPerPixel, int alignment) {
    const int64_t bits = static_cast<int64_t>(width) * bitsPerPixel;
    return static_cast<int>(((bits + alignment - 1) / alignment) * (alignment / 8));
}

TPixelFormat DevicePixelFormat() {
    ScreenDC screen;
    const int depth = GetDeviceCaps(screen.Get(), BITSPIXEL) * GetDeviceCaps(screen.Get(), PLANES);
    switch (depth) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    case 16: break;
    default: return pfDevice;
    }
    // 5-5-5 and 5-6-5 both report 16 bits: write a green ramp into a
    // compatible bitmap and count the distinct greens that come back.
    constexpr int kSteps = 64;
    GdiObject<HBITMAP> probe(CreateCompatibleBitmap(screen.Get(), kSteps, 1));
    MemoryDC dc(CreateCompatibleDC(screen.Get()));
    SelectedObject selected(dc.Get(), probe.Get());
    if (!selected.Ok()) return pf16bit;
    std::set<int> greens;
    for (int i = 0; i < kSteps; ++i) {
        SetPixelV(dc.Get(), i, 0, RGB(0, i * 4, 0));
        greens.insert(GetGValue(GetPixel(dc.Get(), i, 0)));
    }
    return greens.size() > 32 ? pf16bit : pf15bit;
}

// --- Enumeration names and pen modes ---------------------------------------------

namespace {
constexpr std::string_view kPenStyleNames[] = {"psSolid", "psClear"};
constexpr std::string_view kPenModeNames[] = {"pmBlack",       "pmWhite",      "pmNop",         "pmNot",
                                              "pmCopy",        "pmNotCopy",    "pmMergePenNot", "pmMaskPenNot",
                                              "pmMergeNotPen", "pmMaskNotPen", "pmMerge",       "pmNotMerge",
                                              "pmMask",        "pmNotMask",    "pmXor",         "pmNotXor"};
constexpr std::string_view kBrushStyleNames[] = {"bsSolid", "bsClear"};
constexpr int kPenModeRop2[] = {R2_BLACK,         R2_WHITE,      R2_NOP,        R2_NOT,       R2_COPYPEN,  R2_NOTCOPYPEN,
                                R2_MERGEPENNOT,   R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
                                R2_MASKPEN,       R2_NOTMASKPEN, R2_XORPEN,     R2_NOTXORPEN};
} // namespace

TEnumNames EnumValueNames(TPenStyle) { return kPenStyleNames; }
TEnumNames EnumValueNames(TPenMode) { return kPenModeNames; }
TEnumNames EnumValueNames(TBrushStyle) { return kBrushStyleNames; }

int PenModeToRop2(TPenMode mode) { return mode <= pmNotXor ? kPenModeRop2[mode] : R2_COPYPEN; }

// --- TGraphicsObject, TPen, TBrush -------------------------------------------------

const TClassInfo &TGraphicsObject::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TGraphicsObject, TPersistent>("TGraphicsObject").Build();
    return info;
}

void TGraphicsObject::Changed() {
    if (canvas_) canvas_->ObjectChanging(*this);
    FreeHandle();
}

const TClassInfo &TPen::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TPen, TGraphicsObject>("TPen")
                                       .Property("Color", &TPen::Color, &TPen::SetColor)
                                       .Default(clBlack)
                                       .Property("Mode", &TPen::Mode, &TPen::SetMode)
                                       .Default(pmCopy)
                                       .Property("Style", &TPen::Style, &TPen::SetStyle)
                                       .Default(psSolid)
                                       .Property("Width", &TPen::Width, &TPen::SetWidth)
                                       .Default(1)
                                       .Build();
    return info;
}

void TPen::SetColor(TColor c) { Change(color_, c); }

void TPen::SetStyle(TPenStyle s) { Change(style_, s); }

void TPen::SetMode(TPenMode m) { Change(mode_, m); }

void TPen::SetWidth(int32_t w) {
    if (w >= 0) Change(width_, w);
}

HPEN TPen::Handle() {
    if (!handle_) {
        handle_.Reset(CreatePen(style_ == psClear ? PS_NULL : PS_SOLID, width_, ColorToRGB(color_)));
        if (!handle_) throw EOutOfResources();
    }
    return handle_.Get();
}

void TPen::Assign(const TPersistent *source) {
    const auto *pen = dynamic_cast<const TPen *>(source);
    if (!pen) return TPersistent::Assign(source);
    color_ = pen->color_;
    style_ = pen->style_;
    mode_ = pen->mode_;
    width_ = pen->width_;
    Changed();
}

const TClassInfo &TBrush::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TBrush, TGraphicsObject>("TBrush")
                                       .Property("Color", &TBrush::Color, &TBrush::SetColor)
                                       .Default(clWhite)
                                       .Property("Style", &TBrush::Style, &TBrush::SetStyle)
                                       .Default(bsSolid)
                                       .Build();
    return info;
}

void TBrush::SetColor(TColor c) {
    if (c == color_ && style_ == bsSolid) return;
    color_ = c;
    style_ = bsSolid; // a colour makes a clear brush solid
    Changed();
}

void TBrush::SetStyle(TBrushStyle s) { Change(style_, s); }

void TBrush::SetBitmap(TBitmap *b) {
    bitmap_ = b;
    Changed();
}

HBRUSH TBrush::Handle() {
    if (!handle_) {
        if (bitmap_ && !bitmap_->Empty())
            handle_.Reset(CreatePatternBrush(bitmap_->Handle()));
        else if (style_ == bsClear)
            return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        else
            handle_.Reset(CreateSolidBrush(ColorToRGB(color_)));
        if (!handle_) throw EOutOfResources();
    }
    return handle_.Get();
}

void TBrush::Assign(const TPersistent *source) {
    const auto *brush = dynamic_cast<const TBrush *>(source);
    if (!brush) return TPersistent::Assign(source);
    color_ = brush->color_;
    style_ = brush->style_;
    bitmap_ = brush->bitmap_;
    Changed();
}

// --- TCanvas ---------------------------------------------------------------------

const TClassInfo &TCanvas::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TCanvas, TPersistent>("TCanvas").Build();
    return info;
}

TCanvas::TCanvas() {
    pen_.canvas_ = this;
    brush_.canvas_ = this;
}

TCanvas::~TCanvas() { ReleaseHandle(); }

HDC TCanvas::Handle() {
    RequiredState(kHandle);
    return handle_;
}

void TCanvas::SetHandle(HDC dc) {
    if (dc == handle_) return;
    DestroyHandle();
    AttachHandle(dc);
}

void TCanvas::AttachHandle(HDC dc) {
    handle_ = dc;
    state_ = dc ? unsigned{kHandle} : 0u;
    if (dc) {
        savedRop2_ = GetROP2(dc);
        savedBkColor_ = GetBkColor(dc);
        savedBkMode_ = GetBkMode(dc);
    }
}

void TCanvas::ReleaseHandle() {
    if (!handle_) return;
    if (oldPen_) SelectObject(handle_, oldPen_);
    if (oldBrush_) SelectObject(handle_, oldBrush_);
    SetROP2(handle_, savedRop2_);
    SetBkColor(handle_, savedBkColor_);
    SetBkMode(handle_, savedBkMode_);
    oldPen_ = oldBrush_ = nullptr;
    handle_ = nullptr;
    state_ = 0;
}

void TCanvas::RequiredState(unsigned state) {
    if (!handle_) {
        CreateHandle();
        if (!handle_) throw EInvalidOperation(messages::kNoCanvasHandle);
    }
    if ((state & kPen) && !(state_ & kPen)) {
        HGDIOBJ old = SelectObject(handle_, pen_.Handle());
        if (!oldPen_) oldPen_ = old;
        SetROP2(handle_, PenModeToRop2(pen_.Mode()));
        state_ |= kPen;
    }
    if ((state & kBrush) && !(state_ & kBrush)) {
        HGDIOBJ old = SelectObject(handle_, brush_.Handle());
        if (!oldBrush_) oldBrush_ = old;
        // As the original canvas did: a solid brush is also the background
        // colour (used for monochrome conversions and patterns); other
        // brushes make the background transparent.
        const COLORREF c = ColorToRGB(brush_.Color());
        if (brush_.Style() == bsSolid) {
            SetBkColor(handle_, c);
            SetBkMode(handle_, OPAQUE);
        } else {
            SetBkColor(handle_, ~c & 0xFFFFFF);
            SetBkMode(handle_, TRANSPARENT);
        }
        state_ |= kBrush;
    }
}

void TCanvas::ObjectChanging(TGraphicsObject &object) {
    if (!handle_) return;
    if (&object == &pen_ && (state_ & kPen)) {
        SelectObject(handle_, GetStockObject(BLACK_PEN));
        state_ &= ~kPen;
    }
    if (&object == &brush_ && (state_ & kBrush)) {
        SelectObject(handle_, GetStockObject(WHITE_BRUSH));
        state_ &= ~kBrush;
    }
}

POINT TCanvas::PenPos() {
    POINT p{0, 0};
    GetCurrentPositionEx(Handle(), &p);
    return p;
}

void TCanvas::MoveTo(int x, int y) { MoveToEx(Handle(), x, y, nullptr); }

void TCanvas::LineTo(int x, int y) {
    RequiredState(kHandle | kPen);
    ::LineTo(handle_, x, y);
}

void TCanvas::Polyline(std::span<const POINT> points) {
    RequiredState(kHandle | kPen);
    ::Polyline(handle_, points.data(), static_cast<int>(points.size()));
}

void TCanvas::Polygon(std::span<const POINT> points) {
    RequiredState(kHandle | kPen | kBrush);
    ::Polygon(handle_, points.data(), static_cast<int>(points.size()));
}

void TCanvas::FillRect(const RECT &r) {
    RequiredState(kHandle | kBrush);
    ::FillRect(handle_, &r, brush_.Handle());
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) {
    RequiredState(kHandle | kPen | kBrush);
    ::Rectangle(handle_, left, top, right, bottom);
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) {
    RequiredState(kHandle | kPen | kBrush);
    ::Ellipse(handle_, left, top, right, bottom);
}

void TCanvas::Draw(int x, int y, TBitmap &bitmap) {
    if (bitmap.Empty()) return;
    RequiredState(kHandle | kBrush);
    HDC src = bitmap.SourceDC();
    SelectedPalette palette(handle_, bitmap.Palette());
    BitBlt(handle_, x, y, bitmap.Width(), bitmap.Height(), src, 0, 0, copyMode_);
}

void TCanvas::StretchDraw(const RECT &r, TBitmap &bitmap) {
    if (bitmap.Empty()) return;
    RequiredState(kHandle | kBrush);
    HDC src = bitmap.SourceDC();
    SelectedPalette palette(handle_, bitmap.Palette());
    // Colour pictures are stretched by dropping pixels, never AND/OR-ing them.
    const int oldMode = bitmap.Monochrome() ? 0 : SetStretchBltMode(handle_, COLORONCOLOR);
    StretchBlt(handle_, r.left, r.top, r.right - r.left, r.bottom - r.top, src, 0, 0, bitmap.Width(), bitmap.Height(),
               copyMode_);
    if (oldMode) SetStretchBltMode(handle_, oldMode);
}

void TCanvas::CopyRect(const RECT &dest, TCanvas &source, const RECT &srcRect) {
    RequiredState(kHandle | kBrush);
    source.RequiredState(kHandle | kBrush);
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    const int sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
    if (dw == sw && dh == sh && dw > 0 && dh > 0)
        BitBlt(handle_, dest.left, dest.top, dw, dh, source.handle_, srcRect.left, srcRect.top, copyMode_);
    else
        StretchBlt(handle_, dest.left, dest.top, dw, dh, source.handle_, srcRect.left, srcRect.top, sw, sh, copyMode_);
}

TColor TCanvas::Pixels(int x, int y) { return static_cast<TColor>(GetPixel(Handle(), x, y)); }

void TCanvas::SetPixels(int x, int y, TColor color) { SetPixelV(Handle(), x, y, ColorToRGB(color)); }

RECT TCanvas::ClipRect() {
    RECT r{0, 0, 0, 0};
    GetClipBox(Handle(), &r);
    return r;
}

} // namespace qvt::rtl
