// Bitmaps and canvases over the graphics interface.
//
// TBitmap is a picture of a chosen pixel format: pf1bit..pf32bit are
// bottom-up DIB sections (pf15bit 16-bit 5-5-5 BI_RGB, pf16bit 5-6-5 with
// BI_BITFIELDS), pfDevice a device-dependent bitmap compatible with the
// screen. Changing its size or format keeps the picture. It reads and writes
// BMP files and stores itself in the defined property "Data".
//
// TCanvas draws on a device context with a pen, a brush and a copy mode; the
// GDI pen and brush are created when a drawing call needs them and freed with
// the canvas. A bitmap's canvas owns a memory DC holding the bitmap; any
// other canvas can be given an external DC (a window's), which it never frees.
#ifndef QVT_RTL_GRAPHICS_H
#define QVT_RTL_GRAPHICS_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "qvt/rtl/classes.h"
#include "qvt/rtl/gdiobj.h"

namespace qvt::rtl {

// --- Colours -----------------------------------------------------------------
// A TColor is a COLORREF held in a signed Integer. Values with the palette
// flags (0x01000000 PALETTEINDEX, 0x02000000 PALETTERGB) reach the graphics
// calls unchanged.
using TColor = int32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;

// The COLORREF for a TColor. Negative values (system colours on the original
// platform) do not exist here and give black.
constexpr COLORREF ColorToRGB(TColor c) { return c < 0 ? 0 : static_cast<COLORREF>(c); }

// --- Pixel formats -------------------------------------------------------------
enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
inline constexpr std::string_view kPixelFormatNames[] = {"pfDevice", "pf1bit",  "pf4bit",  "pf8bit",  "pf15bit",
                                                         "pf16bit",  "pf24bit", "pf32bit", "pfCustom"};
constexpr TEnumNames EnumValueNames(TPixelFormat) { return kPixelFormatNames; }

// Bits per pixel of a DIB format (16 for pf15bit); 0 for pfDevice and pfCustom.
int PixelFormatBits(TPixelFormat format);
// Bytes of one row of `width` pixels, rows padded to `alignment` bits.
int BytesPerScanLine(int width, int bitsPerPixel, int alignment = 32);
// A copy of a palette, owned by the caller (null for null).
HPALETTE CopyPalette(HPALETTE palette);
// The DIB format equivalent to the display's: by its depth, and for a 16-bit
// display by probing whether green has 5 or 6 bits.
TPixelFormat DevicePixelFormat();

// --- Pens and brushes ------------------------------------------------------------
enum TPenStyle : uint8_t { psSolid, psClear };
enum TPenMode : uint8_t {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};
enum TBrushStyle : uint8_t { bsSolid, bsClear };
TEnumNames EnumValueNames(TPenStyle);
TEnumNames EnumValueNames(TPenMode);
TEnumNames EnumValueNames(TBrushStyle);
// The binary raster operation (R2_...) of a pen mode.
int PenModeToRop2(TPenMode mode);

class TCanvas;
class TBitmap;

// Common part of TPen and TBrush: a lazily created handle that is freed when
// an attribute changes, after the owning canvas has deselected it.
class TGraphicsObject : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

protected:
    TGraphicsObject() = default;
    void Changed();
    // Stores value in field and reports the change, unless it holds it already.
    template <class T> void Change(T &field, T value) {
        if (field == value) return;
        field = value;
        Changed();
    }
    virtual void FreeHandle() = 0;

private:
    friend class TCanvas;
    TCanvas *canvas_ = nullptr;
};

class TPen : public TGraphicsObject {
public:
    TPen() = default;
    ~TPen() override = default;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle s);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode m);
    int32_t Width() const { return width_; }
    void SetWidth(int32_t w);
    // The pen's GDI handle, created on demand and owned by the pen.
    HPEN Handle();
    void Assign(const TPersistent *source) override;

protected:
    void FreeHandle() override { handle_.Reset(); }

private:
    TColor color_ = clBlack;
    TPenStyle style_ = psSolid;
    TPenMode mode_ = pmCopy;
    int32_t width_ = 1;
    GdiObject<HPEN> handle_;
};

class TBrush : public TGraphicsObject {
public:
    TBrush() = default;
    ~TBrush() override = default;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    // Setting a colour makes a clear brush solid.
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle s);
    // A pattern bitmap (not owned; it must outlive its use by the brush)
    // takes precedence over colour and style while set. The pattern is
    // copied when the handle is made: after changing the bitmap, assign it
    // again.
    TBitmap *Bitmap() const { return bitmap_; }
    void SetBitmap(TBitmap *b);
    // The brush's GDI handle, created on demand and owned by the brush
    // (a stock object for bsClear).
    HBRUSH Handle();
    void Assign(const TPersistent *source) override;

protected:
    void FreeHandle() override { handle_.Reset(); }

private:
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
    TBitmap *bitmap_ = nullptr;
    GdiObject<HBRUSH> handle_;
};

// --- Canvas ----------------------------------------------------------------------
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    // The DC; a bitmap canvas creates its own on demand. A canvas without one
    // raises EInvalidOperation "Canvas does not allow drawing".
    HDC Handle();
    // Draws on an external DC (not freed by the canvas); null detaches. The
    // canvas puts back the DC's own pen and brush when it lets go of it.
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return handle_ != nullptr; }

    TPen &Pen() { return pen_; }
    TBrush &Brush() { return brush_; }
    DWORD CopyMode() const { return copyMode_; }
    void SetCopyMode(DWORD rop) { copyMode_ = rop; }

    POINT PenPos();
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(std::span<const POINT> points);
    void Polygon(std::span<const POINT> points);
    void FillRect(const RECT &r);
    void Rectangle(int left, int top, int right, int bottom);
    void Rectangle(const RECT &r) { Rectangle(r.left, r.top, r.right, r.bottom); }
    void Ellipse(int left, int top, int right, int bottom);
    void Ellipse(const RECT &r) { Ellipse(r.left, r.top, r.right, r.bottom); }
    // Copies the bitmap at (x, y) / stretched into r, through CopyMode. An
    // empty bitmap draws nothing.
    void Draw(int x, int y, TBitmap &bitmap);
    void StretchDraw(const RECT &r, TBitmap &bitmap);
    // Copies srcRect of source into dest through CopyMode (stretching when
    // the sizes differ, in the DC's own stretch mode).
    void CopyRect(const RECT &dest, TCanvas &source, const RECT &srcRect);
    TColor Pixels(int x, int y);
    void SetPixels(int x, int y, TColor color);
    // Bounding box of the clip region in logical coordinates.
    RECT ClipRect();

protected:
    enum State : unsigned { kHandle = 1, kPen = 2, kBrush = 4 };
    // Called by Handle() when there is no DC; a bitmap canvas makes one.
    virtual void CreateHandle() {}
    // Lets go of the current DC before another is attached; a bitmap canvas
    // also deletes its own DC.
    virtual void DestroyHandle() { ReleaseHandle(); }
    // Makes sure the DC exists and the pen and/or brush are selected.
    void RequiredState(unsigned state);
    // Puts the DC's own pen and brush back and forgets the DC.
    void ReleaseHandle();
    HDC CurrentHandle() const { return handle_; }
    void AttachHandle(HDC dc);

private:
    friend class TGraphicsObject;
    void ObjectChanging(TGraphicsObject &object);

    HDC handle_ = nullptr;
    unsigned state_ = 0;
    HGDIOBJ oldPen_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
    // The DC's own attributes, put back when the canvas lets go of it.
    int savedRop2_ = R2_COPYPEN;
    COLORREF savedBkColor_ = 0xFFFFFF;
    int savedBkMode_ = OPAQUE;
    TPen pen_;
    TBrush brush_;
    DWORD copyMode_ = SRCCOPY;
};

// --- Bitmap ----------------------------------------------------------------------
class TBitmapCanvas;

class TBitmap : public TPersistent {
public:
    TBitmap();
    ~TBitmap() override;
    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    // A size of 0 gives an empty bitmap; negative sizes raise
    // EInvalidGraphicOperation.
    void SetWidth(int width) { SetSize(width, height_); }
    void SetHeight(int height) { SetSize(width_, height); }
    void SetSize(int width, int height);
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // pfDevice for a new bitmap. pfCustom cannot be set (EInvalidGraphic
    // "Invalid pixel format").
    TPixelFormat PixelFormat() const { return format_; }
    void SetPixelFormat(TPixelFormat format);
    // True for 1-bit bitmaps. Setting true makes a black/white pf1bit bitmap
    // (dropping the palette); setting false on a monochrome bitmap makes it
    // pfDevice.
    bool Monochrome() const { return format_ == pf1bit; }
    void SetMonochrome(bool value);

    // The palette, owned by the bitmap (null when none). Setting takes
    // ownership (freeing the previous one); a paletted bitmap takes its colour
    // table from it (the picture is kept, mapped to the nearest new colours).
    // Without a palette a paletted bitmap uses its format's default table:
    // black/white for pf1bit; the 16 standard colours for pf4bit (black 0,
    // white 15); for pf8bit the system palette on an 8-bit display, else a
    // 6x6x6 colour cube and 40 greys (black 0, white 255).
    HPALETTE Palette() const { return palette_.Get(); }
    void SetPalette(HPALETTE palette);
    // Gives up ownership of the palette (the bitmap keeps its colours).
    HPALETTE ReleasePalette() { return palette_.Release(); }
    // Colour table of a paletted bitmap (empty otherwise).
    std::span<const RGBQUAD> ColorTable() const { return table_; }

    // The bitmap handle; null while empty.
    HBITMAP Handle() const { return handle_.Get(); }
    // Row y (0 = top) of the bottom-up DIB; rows are BytesPerScanLine(Width,
    // bits, 32) apart, row y + 1 below row y in memory. A pfDevice bitmap is
    // first turned into the equivalent DIB format. y outside 0..Height-1 raises
    // EInvalidGraphicOperation "Scan line index out of range".
    void *ScanLine(int y);
    TCanvas &Canvas();

    // BMP files: every header the format defines is read, with full
    // validation; malformed data raises EInvalidGraphic "Bitmap image is not
    // valid", missing data EReadError "Stream read error". Loading reads the
    // rest of the stream; no bytes at all give an empty bitmap. Saving an
    // empty bitmap writes nothing; a pfDevice bitmap is saved in
    // DevicePixelFormat().
    void LoadFromStream(TStream &stream);
    void SaveToStream(TStream &stream) const;

    // The "Data" defined property: a 4-byte size S then S bytes of BMP file
    // (S = 0: empty bitmap).
    void ReadData(TStream &stream);
    void WriteData(TStream &stream) const;
    void DefineProperties(TFiler &filer) override;

    // Copies the picture, format and palette of another TBitmap; null makes
    // the bitmap empty.
    void Assign(const TPersistent *source) override;

private:
    friend class TCanvas;
    friend class TBitmapCanvas;

    struct Image {
        GdiObject<HBITMAP> handle;
        void *bits = nullptr; // DIB memory; null for device-dependent bitmaps
        std::vector<RGBQUAD> table;
    };

    // Replaces the picture with one of the given size and format (new area
    // black, the overlapping part of the old picture copied when keep is set).
    void Rebuild(int width, int height, TPixelFormat format, bool keep);
    // Makes image the picture, with its colour table, size and format; the
    // canvas must have let go of the old one (FreeContext).
    void Install(Image &image, std::vector<RGBQUAD> table, int width, int height, TPixelFormat format);
    Image NewImage(int width, int height, TPixelFormat format, const std::vector<RGBQUAD> &table) const;
    std::vector<RGBQUAD> TableFor(TPixelFormat format) const;
    void FreeContext();
    // Source DC holding this bitmap (its canvas's).
    HDC SourceDC() const;
    void LoadFromMemory(const uint8_t *data, size_t size);

    int width_ = 0;
    int height_ = 0;
    TPixelFormat format_ = pfDevice;
    GdiObject<HBITMAP> handle_;
    void *bits_ = nullptr;
    std::vector<RGBQUAD> table_;
    GdiObject<HPALETTE> palette_;
    mutable std::unique_ptr<TBitmapCanvas> canvas_;
};

} // namespace qvt::rtl

#endif
