// Internal model of the graphics stand-in.
//
// Every GDI object is a C++ object derived from GdiObject; a handle is the
// object's address, checked against the table of live objects before use, so
// stale or wrong-kind handles fail instead of crashing.
//
// Pixels live in Surfaces (a bitmap's or a window's). A surface knows its
// pixel format; everything that touches pixels goes through the narrow
// interface below (pixel values, rows, colour mapping), and shapes reduce to
// horizontal spans before they reach it. All coordinates here are device
// coordinates unless a name says "logical".
#ifndef QVT_GDI_INTERNAL_H
#define QVT_GDI_INTERNAL_H

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "qvt/qvtdisplay.h"

namespace qvt::gdi {

// ---------------------------------------------------------------------------
// Pixel formats and surfaces

enum class PixFmt : uint8_t {
    P1,    // 1 bit per pixel, colour table (or the fixed black/white of a monochrome DDB)
    P4,    // 4 bits, colour table
    P8,    // 8 bits, colour table
    R555,  // 16-bit words, x-5-5-5
    R565,  // 16-bit words, 5-6-5
    R24,   // B, G, R bytes
    R32,   // B, G, R, X bytes; a pixel value is the whole 32-bit word
};

int bitsOf(PixFmt f);
inline bool isPaletted(PixFmt f) { return f == PixFmt::P1 || f == PixFmt::P4 || f == PixFmt::P8; }

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &) const = default;
};

struct Surface {
    int width = 0;
    int height = 0;
    PixFmt fmt = PixFmt::R32;
    int stride = 0;          // bytes per row
    uint8_t *bits = nullptr; // lowest address of the pixel block
    bool topDown = false;
    bool monoDDB = false;    // monochrome device-dependent bitmap: 0 = black, 1 = white, no table
    std::vector<Rgb> colors; // colour table of paletted formats (entries actually present)
    uint64_t colorsVersion = 0; // changes whenever the table changes (for caches)
    HWND window = nullptr;   // the window this surface belongs to, if any

    uint8_t *row(int y) { return bits + (size_t)(topDown ? y : height - 1 - y) * stride; }
    const uint8_t *row(int y) const { return bits + (size_t)(topDown ? y : height - 1 - y) * stride; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    void setColors(std::vector<Rgb> c);
};

// Stride of a 32-bit aligned row.
inline int dibStride(int width, int bpp) { return (int)((((int64_t)width * bpp + 31) / 32) * 4); }

// Raw pixel values. A value is a colour-table index for paletted formats and
// the raw 16- or 32-bit word (24-bit: 0x00RRGGBB) for direct formats.
uint32_t readPixel(const Surface &s, int x, int y);
void writePixel(Surface &s, int x, int y, uint32_t v);
void readRow(const Surface &s, int x, int y, int n, uint32_t *out);
void writeRow(Surface &s, int x, int y, int n, const uint32_t *in);
// Mask of the bits that make up one pixel value (0xFFFFFFFF for 32 bits).
uint32_t valueMask(PixFmt f);

// Colour of a pixel value: table lookup (an index past the table gives entry
// 0) or field expansion with the top bits replicated.
Rgb decodePixel(const Surface &s, uint32_t v);
// Pixel value of a colour for solid drawing and SetPixel: direct formats drop
// low bits; paletted formats take the nearest table entry (lowest index wins).
uint32_t encodeExact(const Surface &s, Rgb c);
// Pixel value of a colour arriving by a blit from a direct-colour source:
// 8-bit tables match the 5-bit bucket centre of each channel, 1- and 4-bit
// tables the exact colour.
uint32_t encodeBlit(const Surface &s, Rgb c);
// Nearest entry of a table by squared distance, lowest index on ties.
int nearestIndex(const std::vector<Rgb> &table, Rgb c);

inline Rgb rgbOf(COLORREF c) { return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)}; }
inline COLORREF colorrefOf(Rgb c) { return RGB(c.r, c.g, c.b); }

// ---------------------------------------------------------------------------
// Objects

enum class Kind : uint8_t { DC, Bitmap, Brush, Pen, Palette, Region };

struct GdiObject {
    explicit GdiObject(Kind k) : kind(k) {}
    virtual ~GdiObject() = default;
    Kind kind;
    // The object's handle: its slot in the object table and the slot's
    // generation, so a handle of a deleted object never reaches another
    // object that happens to live at the same address or in the same slot.
    void *handle = nullptr;
    bool stock = false;
    int selectCount = 0;        // number of DCs that have it selected
    bool deletePending = false; // DeleteObject while selected: freed when deselected
};

// Pixel memory, 64-byte aligned so that row copies and SIMD kernels run at
// full speed. Large blocks (full-page bitmaps and windows) are mapped on
// their own in large pages where the system offers them: `mapped` is then
// the length of the mapping, 0 for blocks from the heap.
struct PixelDeleter {
    size_t mapped = 0;
    void operator()(uint8_t *p) const;
};
using PixelBuffer = std::unique_ptr<uint8_t, PixelDeleter>;
// Zero-filled pixel memory of the given size, or null when it cannot be had.
PixelBuffer allocPixels(size_t bytes);

struct BitmapObj : GdiObject {
    BitmapObj() : GdiObject(Kind::Bitmap) {}
    Surface surf;
    bool isDIB = false;
    PixelBuffer storage;
    struct DCObj *selectedIn = nullptr;
    DWORD compression = BI_RGB; // BI_BITFIELDS for 5-6-5 sections
};

struct PaletteObj : GdiObject {
    PaletteObj() : GdiObject(Kind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

// A copy of a pattern bitmap as brushes keep it.
struct Pattern {
    Surface surf; // owns its pixels through `pixels`
    std::vector<uint8_t> pixels;
};

struct BrushObj : GdiObject {
    BrushObj() : GdiObject(Kind::Brush) {}
    UINT style = BS_SOLID; // BS_SOLID, BS_NULL or BS_PATTERN
    COLORREF color = 0;
    std::shared_ptr<Pattern> pattern;
};

struct PenObj : GdiObject {
    PenObj() : GdiObject(Kind::Pen) {}
    int style = PS_SOLID; // PS_SOLID or PS_NULL
    COLORREF color = 0;
};

// A region is a set of pixels kept as disjoint rectangles in canonical form:
// y-bands from top to bottom, each with sorted, non-touching x-intervals, and
// vertically adjacent bands with equal intervals merged. So one rectangle
// means SIMPLEREGION.
struct Region {
    std::vector<RECT> rects;
    static Region fromRect(const RECT &r);
    bool empty() const { return rects.empty(); }
    int type() const { return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION; }
    RECT box() const;
    bool contains(int x, int y) const;
    Region intersect(const Region &o) const;
    Region unite(const Region &o) const;
    Region subtract(const Region &o) const;
    Region exclusiveOr(const Region &o) const;
    void offset(int dx, int dy);
};

struct RegionObj : GdiObject {
    RegionObj() : GdiObject(Kind::Region) {}
    Region rgn;
};

struct WindowObj;

struct DCObj : GdiObject {
    DCObj() : GdiObject(Kind::DC) {}
    bool memory = false;          // memory DC (drawing goes to the selected bitmap)
    WindowObj *window = nullptr;  // window or screen DC
    BitmapObj *bitmap = nullptr;  // selected bitmap of a memory DC
    BrushObj *brush = nullptr;
    PenObj *pen = nullptr;
    PaletteObj *palette = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int stretchMode = BLACKONWHITE;
    int polyFillMode = ALTERNATE;
    POINT brushOrg{0, 0};
    POINT windowOrg{0, 0};
    POINT curPos{0, 0};
    std::optional<Region> clip; // device coordinates; none = whole surface

    Surface *target();
    // Logical to device.
    // Logical to device coordinates, in 64 bits so that extreme coordinates
    // and origins cannot overflow. The one conversion every call uses.
    int64_t devX(int64_t x) const { return x - windowOrg.x; }
    int64_t devY(int64_t y) const { return y - windowOrg.y; }
};

// A window (or the screen) owns a surface in the display's format.
struct WindowObj {
    Surface surf;
    PixelBuffer storage;
    QvtWindowChangedProc onChange = nullptr;
    void *onChangeUser = nullptr;
    bool isScreen = false;
};

// The one lock around the graphics stand-in: calls may come from a host's
// threads (a player thread, a window thread), each call runs alone.
std::recursive_mutex &gdiLock();
// Serialises one graphics call: every entry point starts with GDI_LOCK.
#define GDI_LOCK const std::lock_guard<std::recursive_mutex> gdiGuard(::qvt::gdi::gdiLock())

// Handle checks: the object behind a handle when it is alive and of the kind,
// else nullptr.
GdiObject *lookup(const void *h);
// The handle of an object (null for none).
inline void *handleOf(const GdiObject *o) { return o ? o->handle : nullptr; }
template <class H> H handleAs(const GdiObject *o) { return static_cast<H>(handleOf(o)); }
DCObj *toDC(HDC h);
// The DC behind a handle and the surface it draws on: both null for a
// handle that is not a live DC. Blits also need pixels (hasPixels).
struct DCTarget {
    DCObj *dc = nullptr;
    Surface *surf = nullptr;
    explicit operator bool() const { return surf != nullptr; }
    bool hasPixels() const;
};
DCTarget resolveDC(HDC h);
BitmapObj *toBitmap(HGDIOBJ h);
BrushObj *toBrush(HGDIOBJ h);
PenObj *toPen(HGDIOBJ h);
PaletteObj *toPalette(HGDIOBJ h);
RegionObj *toRegion(HGDIOBJ h);
WindowObj *toWindow(HWND h);
void registerObject(GdiObject *o);

// Stock objects.
BrushObj *stockBrush(int index);
PenObj *stockPen(int index);
PaletteObj *defaultPalette();
BitmapObj *stockBitmap(); // the 1 x 1 monochrome bitmap of a new memory DC

// The display.
struct Display {
    int depth = 32;           // as chosen: 1, 4, 8, 15, 16, 24, 32
    PixFmt fmt = PixFmt::R32; // format of its surfaces and device-dependent bitmaps
    std::vector<Rgb> systemPalette; // 256 entries on an 8-bit display, 16 on 4, 2 on 1
};
Display &display();
SIZE screenSize();
// DC life cycle: a new DC with the defaults of the platform, and its release
// (objects deselected, pending deletions carried out).
DCObj *newDC(bool memory, WindowObj *window);
void freeDC(DCObj *dc);
std::vector<DCObj *> allDCs();
// A device-dependent bitmap in the display's format; not yet registered.
BitmapObj *makeDisplayBitmap(int width, int height);
const std::vector<Rgb> &staticColors20(); // the 20 static colours in DEFAULT_PALETTE order
// Tell a window's listener that a region of it may have changed.
void notifyChanged(DCObj *dc, const RECT &deviceBounds);

// ---------------------------------------------------------------------------
// Colour resolution against a DC (colour.cpp)

// RGB of a COLORREF in a DC: RGB and PALETTERGB directly, PALETTEINDEX through
// the DC's selected palette (index past the end: entry 0). DIBINDEX gives the
// colour of that table entry of the target.
Rgb resolveColor(const DCObj &dc, const Surface &target, COLORREF c);
// Pixel value of a solid pen or brush colour on the target (1-bit targets use
// the background-colour rule of pens and brushes).
uint32_t penBrushValue(const DCObj &dc, const Surface &target, COLORREF c);
// Pixel value of a SetPixel colour on the target (plain nearest entry).
uint32_t setPixelValue(const DCObj &dc, const Surface &target, COLORREF c);
// The colour GetPixel reports for a pixel value.
COLORREF pixelColorref(const Surface &s, uint32_t v);

// A brush resolved for drawing on one target through one DC: a solid value or
// a pattern of target pixel values anchored at the brush origin.
struct ResolvedBrush {
    bool null = false;
    bool solid = true;
    uint32_t value = 0;
    int pw = 0, ph = 0;
    std::vector<uint32_t> pattern; // pw * ph values, row-major, top row first
    int orgX = 0, orgY = 0;        // device brush origin
    uint32_t at(int x, int y) const {
        if (solid) return value;
        int cx = (x - orgX) % pw; if (cx < 0) cx += pw;
        int cy = (y - orgY) % ph; if (cy < 0) cy += ph;
        return pattern[(size_t)cy * pw + cx];
    }
    // Fills out[0..n) with the brush values of device row y from column x.
    void row(int x, int y, int n, uint32_t *out) const;
};
ResolvedBrush resolveBrush(const DCObj &dc, const BrushObj *brush, const Surface &target);

// Converts source pixel values to destination pixel values for a blit
// between two surfaces, following the platform's conversion rules (mono DDB
// through the destination DC's colours, paletted through tables, direct to
// paletted through 5-bit buckets, 16-bit fields expanded or truncated).
class Converter {
public:
    Converter(const DCObj &srcDC, const Surface &src, const DCObj &dstDC, const Surface &dst);
    bool identity() const { return identity_; }
    void convert(const uint32_t *in, int n, uint32_t *out) const;
    uint32_t one(uint32_t v) const;

private:
    enum class Mode { Identity, Lut, ToMono, DirectToDirect, DirectToPaletted } mode_ = Mode::Identity;
    bool identity_ = true;
    std::vector<uint32_t> lut_;   // by source value (paletted or mono sources)
    uint32_t monoBk_ = 0;         // source value that becomes 1 in a mono DDB
    const Surface *src_ = nullptr;
    const Surface *dst_ = nullptr;
    std::shared_ptr<const std::vector<uint8_t>> bucket_; // 15-bit RGB -> index
};

// Cached 32768-entry table from 5-5-5 bucket to the nearest index of a colour
// table (shared by every surface with the same table).
std::shared_ptr<const std::vector<uint8_t>> bucketTable(const std::vector<Rgb> &table);

// ---------------------------------------------------------------------------
// Raster operations (rop.cpp)

// The truth-table index (bits 16..23) of a ternary raster operation.
inline uint8_t ropIndex(DWORD rop) { return (uint8_t)(rop >> 16); }
inline bool ropUsesSource(uint8_t i) { return (((i >> 2) ^ i) & 0x33) != 0; }
inline bool ropUsesPattern(uint8_t i) { return (((i >> 4) ^ i) & 0x0F) != 0; }
inline bool ropUsesDest(uint8_t i) { return (((i >> 1) ^ i) & 0x55) != 0; }
// Result of the operation on pattern, source and destination values, bit by bit.
uint32_t rop3(uint8_t index, uint32_t p, uint32_t s, uint32_t d);
// d[i] := rop(p[i], s[i], d[i]) for n values; p or s may be null when the
// operation does not use them. Fast loops for the common codes.
void ropRow(uint8_t index, const uint32_t *p, const uint32_t *s, uint32_t *d, int n, uint32_t mask);
// The ternary index of a binary pen operation (R2_*), pen taking the place of the pattern.
uint8_t rop2ToIndex(int rop2);

// ---------------------------------------------------------------------------
// Spans and clipping (clip.cpp)

// Calls fn(x0, x1) for each visible piece [x0, x1) of device row y between
// x0 and x1, clipped to the surface and the DC's clip region.
template <class Fn> void forEachClipSpan(const DCObj &dc, const Surface &s, int y, int x0, int x1, Fn fn);
// Calls fn(rect) for each visible piece of a device rectangle.
template <class Fn> void forEachClipRect(const DCObj &dc, const Surface &s, RECT r, Fn fn);

// Fills device row y from x0 to x1 (exclusive) with a resolved brush through
// a binary operation (R2_COPYPEN for brushes), clipped. Reports nothing.
void fillSpan(DCObj &dc, Surface &s, int y, int x0, int x1, const ResolvedBrush &b, int rop2);

// ---------------------------------------------------------------------------
// Templates

template <class Fn> void forEachClipRect(const DCObj &dc, const Surface &s, RECT r, Fn fn) {
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > s.width) r.right = s.width;
    if (r.bottom > s.height) r.bottom = s.height;
    if (r.left >= r.right || r.top >= r.bottom) return;
    if (!dc.clip) {
        fn(r);
        return;
    }
    for (const RECT &c : dc.clip->rects) {
        RECT o{std::max(r.left, c.left), std::max(r.top, c.top), std::min(r.right, c.right),
               std::min(r.bottom, c.bottom)};
        if (o.left < o.right && o.top < o.bottom) fn(o);
    }
}

template <class Fn> void forEachClipSpan(const DCObj &dc, const Surface &s, int y, int x0, int x1, Fn fn) {
    if (y < 0 || y >= s.height) return;
    if (x0 < 0) x0 = 0;
    if (x1 > s.width) x1 = s.width;
    if (x0 >= x1) return;
    if (!dc.clip) {
        fn(x0, x1);
        return;
    }
    for (const RECT &c : dc.clip->rects) {
        if (y < c.top || y >= c.bottom) continue;
        int a = std::max(x0, (int)c.left), b = std::min(x1, (int)c.right);
        if (a < b) fn(a, b);
    }
}

} // namespace qvt::gdi

#endif
