// Graphics objects: the handle table, stock objects, device contexts and
// their attributes, bitmaps, palettes, brushes and pens.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "gdi_internal.h"

namespace qvt::gdi {

// Largest pixel block a bitmap may have; larger requests fail as an
// out-of-memory condition would.
static constexpr uint64_t kMaxBitmapBytes = 1ull << 30;
static constexpr int kMaxDimension = 1 << 16;

std::recursive_mutex &gdiLock() {
    static std::recursive_mutex m;
    return m;
}

// Blocks from this size on are mapped on their own. A 2 MB page covers a
// whole run of rows, and a full-screen bitmap then takes a handful of page
// faults and TLB entries instead of thousands: when it is created, and on
// every frame that streams through it. Under AddressSanitizer every block
// comes from the heap, so that the leak check sees them all.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
static constexpr size_t kMapFrom = size_t{1} << 20;
#else
static constexpr size_t kMapFrom = SIZE_MAX;
#endif
static constexpr size_t kLargePage = size_t{2} << 20;

void PixelDeleter::operator()(uint8_t *p) const {
#if defined(__linux__)
    if (mapped) {
        munmap(p, mapped);
        return;
    }
#endif
    std::free(p);
}

PixelBuffer allocPixels(size_t bytes) {
    size_t rounded = (bytes + 63) & ~(size_t)63;
    if (rounded == 0) rounded = 64;
#if defined(__linux__)
    if (rounded >= kMapFrom && rounded <= SIZE_MAX - 2 * kLargePage) {
        // Fresh anonymous pages read as zero: nothing to clear. The mapping
        // is cut to start on a large-page boundary.
        const size_t length = (rounded + 4095) & ~size_t{4095};
        void *area = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED) return PixelBuffer(nullptr);
        auto *raw = static_cast<uint8_t *>(area);
        auto *start = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(raw) + kLargePage - 1) & ~(kLargePage - 1));
        if (start != raw) munmap(raw, (size_t)(start - raw));
        const size_t tail = kLargePage - (size_t)(start - raw);
        if (tail) munmap(start + length, tail);
#if defined(MADV_HUGEPAGE)
        madvise(start, length, MADV_HUGEPAGE);
#endif
        return PixelBuffer(start, PixelDeleter{length});
    }
#endif
    auto *p = static_cast<uint8_t *>(std::aligned_alloc(64, rounded));
    if (p) std::memset(p, 0, rounded);
    return PixelBuffer(p);
}

namespace {
// The object table. A handle is (generation << kSlotBits) | (slot + 1), so
// handles are never null and a freed slot's next object gets a new handle.
constexpr unsigned kSlotBits = sizeof(void *) == 8 ? 32 : 20;
constexpr uintptr_t kSlotMask = (uintptr_t{1} << kSlotBits) - 1;
constexpr uintptr_t kGenerationMask = sizeof(void *) == 8 ? 0xFFFFFFFFu : (uintptr_t{1} << (32 - kSlotBits)) - 1;

struct Slot {
    GdiObject *object = nullptr;
    uintptr_t generation = 0;
};
struct ObjectTable {
    std::vector<Slot> slots;
    std::vector<size_t> free;
    size_t live = 0;
};
ObjectTable &objectTable() {
    static ObjectTable t;
    return t;
}
} // namespace

void registerObject(GdiObject *o) {
    ObjectTable &t = objectTable();
    size_t slot;
    if (!t.free.empty()) {
        slot = t.free.back();
        t.free.pop_back();
    } else {
        slot = t.slots.size();
        t.slots.emplace_back();
    }
    Slot &s = t.slots[slot];
    s.generation = (s.generation + 1) & kGenerationMask;
    if (s.generation == 0) s.generation = 1;
    s.object = o;
    ++t.live;
    o->handle = reinterpret_cast<void *>((s.generation << kSlotBits) | (uintptr_t{slot + 1} & kSlotMask));
}

GdiObject *lookup(const void *h) {
    if (!h) return nullptr;
    const auto v = reinterpret_cast<uintptr_t>(h);
    const uintptr_t slot = (v & kSlotMask) - 1;
    const ObjectTable &t = objectTable();
    if (slot >= t.slots.size()) return nullptr;
    const Slot &s = t.slots[slot];
    if (!s.object || s.generation != ((v >> kSlotBits) & kGenerationMask)) return nullptr;
    return s.object;
}

// Every live object, in table order.
template <class F> static void forEachObject(F &&f) {
    for (const Slot &s : objectTable().slots)
        if (s.object) f(s.object);
}

template <class T> static T *lookupAs(const void *h, Kind k) {
    GdiObject *o = lookup(h);
    return o && o->kind == k ? static_cast<T *>(o) : nullptr;
}

DCObj *toDC(HDC h) { return lookupAs<DCObj>(h, Kind::DC); }

DCTarget resolveDC(HDC h) {
    DCTarget t;
    t.dc = toDC(h);
    if (t.dc) t.surf = t.dc->target();
    if (!t.surf) t.dc = nullptr;
    return t;
}

bool DCTarget::hasPixels() const { return surf && surf->bits && surf->width > 0 && surf->height > 0; }
BitmapObj *toBitmap(HGDIOBJ h) { return lookupAs<BitmapObj>(h, Kind::Bitmap); }
BrushObj *toBrush(HGDIOBJ h) { return lookupAs<BrushObj>(h, Kind::Brush); }
PenObj *toPen(HGDIOBJ h) { return lookupAs<PenObj>(h, Kind::Pen); }
PaletteObj *toPalette(HGDIOBJ h) { return lookupAs<PaletteObj>(h, Kind::Palette); }
RegionObj *toRegion(HGDIOBJ h) { return lookupAs<RegionObj>(h, Kind::Region); }

static void destroyObject(GdiObject *o) {
    ObjectTable &t = objectTable();
    const size_t slot = (reinterpret_cast<uintptr_t>(o->handle) & kSlotMask) - 1;
    if (slot < t.slots.size() && t.slots[slot].object == o) {
        t.slots[slot].object = nullptr;
        t.free.push_back(slot);
        --t.live;
    }
    delete o;
}

// ---------------------------------------------------------------------------
// Stock objects

namespace {
struct Stock {
    BrushObj *brushes[6] = {};
    PenObj *pens[3] = {};
    PaletteObj *palette = nullptr;
    BitmapObj *bitmap = nullptr;

    Stock() {
        const COLORREF brushColors[5] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                         RGB(64, 64, 64), RGB(0, 0, 0)};
        for (int i = 0; i < 6; ++i) {
            auto *b = new BrushObj;
            b->stock = true;
            if (i < 5) {
                b->style = BS_SOLID;
                b->color = brushColors[i];
            } else {
                b->style = BS_NULL;
            }
            brushes[i] = b;
            registerObject(b);
        }
        const COLORREF penColors[3] = {RGB(255, 255, 255), RGB(0, 0, 0), 0};
        for (int i = 0; i < 3; ++i) {
            auto *p = new PenObj;
            p->stock = true;
            p->color = penColors[i];
            p->style = i == 2 ? PS_NULL : PS_SOLID;
            pens[i] = p;
            registerObject(p);
        }
        palette = new PaletteObj;
        palette->stock = true;
        for (const Rgb &c : staticColors20()) palette->entries.push_back(PALETTEENTRY{c.r, c.g, c.b, 0});
        registerObject(palette);
        bitmap = new BitmapObj;
        bitmap->stock = true;
        bitmap->surf.width = 1;
        bitmap->surf.height = 1;
        bitmap->surf.fmt = PixFmt::P1;
        bitmap->surf.monoDDB = true;
        bitmap->surf.stride = 4;
        bitmap->storage = allocPixels(4);
        bitmap->surf.bits = bitmap->storage.get();
        registerObject(bitmap);
    }
};

Stock &stock() {
    static Stock s;
    return s;
}
} // namespace

BrushObj *stockBrush(int index) { return stock().brushes[index]; }
PenObj *stockPen(int index) { return stock().pens[index - WHITE_PEN]; }
PaletteObj *defaultPalette() { return stock().palette; }
BitmapObj *stockBitmap() { return stock().bitmap; }

// ---------------------------------------------------------------------------
// Selection bookkeeping

static void retain(GdiObject *o) {
    if (o && !o->stock) ++o->selectCount;
}

static void release(GdiObject *o) {
    if (!o || o->stock) return;
    if (--o->selectCount == 0 && o->deletePending) destroyObject(o);
}

Surface *DCObj::target() {
    if (memory) return bitmap ? &bitmap->surf : nullptr;
    return window ? &window->surf : nullptr;
}

// Creates a DC with the defaults of a new device context.
DCObj *newDC(bool memory, WindowObj *window) {
    auto *dc = new DCObj;
    dc->memory = memory;
    dc->window = window;
    dc->brush = stockBrush(WHITE_BRUSH);
    dc->pen = stockPen(BLACK_PEN);
    dc->palette = defaultPalette();
    if (memory) dc->bitmap = stockBitmap();
    registerObject(dc);
    return dc;
}

std::vector<DCObj *> allDCs() {
    std::vector<DCObj *> out;
    forEachObject([&](GdiObject *g) {
        if (g->kind == Kind::DC) out.push_back(static_cast<DCObj *>(g));
    });
    return out;
}

void freeDC(DCObj *dc) {
    if (dc->bitmap && dc->bitmap->selectedIn == dc) dc->bitmap->selectedIn = nullptr;
    GdiObject *held[4] = {dc->bitmap, dc->brush, dc->pen, dc->palette};
    dc->bitmap = nullptr;
    destroyObject(dc);
    for (GdiObject *o : held) release(o);
}

} // namespace qvt::gdi

using namespace qvt::gdi;


WINGDIAPI HDC WINAPI CreateCompatibleDC(HDC hdc) {
    GDI_LOCK;
    if (hdc && !toDC(hdc)) return nullptr;
    return handleAs<HDC>(newDC(true, nullptr));
}

WINGDIAPI BOOL WINAPI DeleteDC(HDC hdc) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc) return FALSE;
    freeDC(dc);
    return TRUE;
}

WINGDIAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    GdiObject *o = lookup(h);
    if (!dc || !o) return nullptr;
    GdiObject *prev = nullptr;
    switch (o->kind) {
    case Kind::Bitmap: {
        auto *bm = static_cast<BitmapObj *>(o);
        if (!dc->memory) return nullptr;
        if (bm == dc->bitmap) return handleOf(bm);
        // A bitmap can be selected into one DC at a time (the stock 1 x 1
        // bitmap excepted).
        if (!bm->stock && bm->selectedIn) return nullptr;
        prev = dc->bitmap;
        if (dc->bitmap && dc->bitmap->selectedIn == dc) dc->bitmap->selectedIn = nullptr;
        dc->bitmap = bm;
        if (!bm->stock) bm->selectedIn = dc;
        break;
    }
    case Kind::Brush:
        prev = dc->brush;
        dc->brush = static_cast<BrushObj *>(o);
        break;
    case Kind::Pen:
        prev = dc->pen;
        dc->pen = static_cast<PenObj *>(o);
        break;
    case Kind::Region: {
        dc->clip = static_cast<RegionObj *>(o)->rgn;
        return reinterpret_cast<HGDIOBJ>((intptr_t)dc->clip->type());
    }
    default: return nullptr;
    }
    if (prev == o) return handleOf(prev);
    retain(o);
    // The previous object stays valid for the caller even if its deletion is
    // pending, until it is released here.
    HGDIOBJ result = handleOf(prev);
    release(prev);
    if (result && !lookup(result)) result = nullptr;
    return result;
}

WINGDIAPI HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_PEN: return handleOf(dc->pen);
    case OBJ_BRUSH: return handleOf(dc->brush);
    case OBJ_PAL: return handleOf(dc->palette);
    case OBJ_BITMAP: return dc->memory ? handleOf(dc->bitmap) : nullptr;
    default: return nullptr;
    }
}

WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ h) {
    GDI_LOCK;
    GdiObject *o = lookup(h);
    if (!o || o->kind == Kind::DC) return FALSE;
    if (o->stock) return TRUE;
    if (o->selectCount > 0) {
        // Still selected: freed when the last DC lets go of it.
        o->deletePending = true;
        return TRUE;
    }
    destroyObject(o);
    return TRUE;
}

WINGDIAPI HGDIOBJ WINAPI GetStockObject(int i) {
    GDI_LOCK;
    if (i >= WHITE_BRUSH && i <= NULL_BRUSH) return handleOf(stockBrush(i));
    if (i >= WHITE_PEN && i <= NULL_PEN) return handleOf(stockPen(i));
    if (i == DEFAULT_PALETTE) return handleOf(defaultPalette());
    return nullptr;
}

WINGDIAPI DWORD WINAPI GetObjectType(HGDIOBJ h) {
    GDI_LOCK;
    GdiObject *o = lookup(h);
    if (!o) return 0;
    switch (o->kind) {
    case Kind::DC: return static_cast<DCObj *>(o)->memory ? OBJ_MEMDC : OBJ_DC;
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Pen: return OBJ_PEN;
    case Kind::Palette: return OBJ_PAL;
    case Kind::Region: return OBJ_REGION;
    }
    return 0;
}

static void fillBitmapInfo(const BitmapObj &bm, BITMAP &b) {
    const Surface &s = bm.surf;
    b.bmType = 0;
    b.bmWidth = s.width;
    b.bmHeight = s.height;
    int bpp = bitsOf(s.fmt);
    // Device-dependent bitmaps report rows padded to 16 bits, DIB sections to 32.
    b.bmWidthBytes = bm.isDIB ? s.stride : (int)((((int64_t)s.width * bpp + 15) / 16) * 2);
    b.bmPlanes = 1;
    b.bmBitsPixel = (WORD)bpp;
    b.bmBits = bm.isDIB ? s.bits : nullptr;
}

WINGDIAPI int WINAPI GetObjectA(HGDIOBJ h, int c, LPVOID pv) {
    GDI_LOCK;
    GdiObject *o = lookup(h);
    if (!o || c < 0) return 0;
    switch (o->kind) {
    case Kind::Bitmap: {
        auto *bm = static_cast<BitmapObj *>(o);
        if (!pv) return bm->isDIB ? (int)sizeof(DIBSECTION) : (int)sizeof(BITMAP);
        if (bm->isDIB && c >= (int)sizeof(DIBSECTION)) {
            DIBSECTION ds{};
            fillBitmapInfo(*bm, ds.dsBm);
            const Surface &s = bm->surf;
            ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
            ds.dsBmih.biWidth = s.width;
            ds.dsBmih.biHeight = s.topDown ? -s.height : s.height;
            ds.dsBmih.biPlanes = 1;
            ds.dsBmih.biBitCount = (WORD)bitsOf(s.fmt);
            ds.dsBmih.biCompression = bm->compression;
            ds.dsBmih.biSizeImage = (DWORD)((uint64_t)s.stride * s.height);
            ds.dsBmih.biClrUsed = isPaletted(s.fmt) ? (DWORD)s.colors.size() : 0;
            if (s.fmt == PixFmt::R565) {
                ds.dsBitfields[0] = 0xF800;
                ds.dsBitfields[1] = 0x07E0;
                ds.dsBitfields[2] = 0x001F;
            } else if (s.fmt == PixFmt::R555) {
                ds.dsBitfields[0] = 0x7C00;
                ds.dsBitfields[1] = 0x03E0;
                ds.dsBitfields[2] = 0x001F;
            } else if (s.fmt == PixFmt::R32) {
                ds.dsBitfields[0] = 0xFF0000;
                ds.dsBitfields[1] = 0x00FF00;
                ds.dsBitfields[2] = 0x0000FF;
            }
            std::memcpy(pv, &ds, sizeof ds);
            return sizeof ds;
        }
        if (c < (int)sizeof(BITMAP)) return 0;
        BITMAP b{};
        fillBitmapInfo(*bm, b);
        std::memcpy(pv, &b, sizeof b);
        return sizeof b;
    }
    case Kind::Palette: {
        if (!pv) return sizeof(WORD);
        if (c < (int)sizeof(WORD)) return 0;
        WORD n = (WORD)static_cast<PaletteObj *>(o)->entries.size();
        std::memcpy(pv, &n, sizeof n);
        return sizeof n;
    }
    case Kind::Brush: {
        if (!pv) return sizeof(LOGBRUSH);
        if (c < (int)sizeof(LOGBRUSH)) return 0;
        auto *b = static_cast<BrushObj *>(o);
        LOGBRUSH lb{b->style, b->color, 0};
        std::memcpy(pv, &lb, sizeof lb);
        return sizeof lb;
    }
    case Kind::Pen: {
        if (!pv) return sizeof(LOGPEN);
        if (c < (int)sizeof(LOGPEN)) return 0;
        auto *p = static_cast<PenObj *>(o);
        LOGPEN lp{(UINT)p->style, POINT{1, 0}, p->color};
        std::memcpy(pv, &lp, sizeof lp);
        return sizeof lp;
    }
    default: return 0;
    }
}

WINGDIAPI int WINAPI GetDeviceCaps(HDC hdc, int index) {
    GDI_LOCK;
    if (!toDC(hdc)) return 0;
    const Display &d = display();
    const WindowObj *screen = nullptr;
    (void)screen;
    bool palette = d.depth == 8;
    switch (index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: return screenSize().cx;
    case VERTRES: return screenSize().cy;
    case BITSPIXEL: return d.depth == 15 ? 16 : d.depth == 4 ? 1 : d.depth;
    case PLANES: return d.depth == 4 ? 4 : 1;
    case NUMCOLORS: return d.depth == 8 ? 20 : d.depth == 4 ? 16 : d.depth == 1 ? 2 : -1;
    case RASTERCAPS:
        return RC_BITBLT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT | (palette ? RC_PALETTE : 0);
    case SIZEPALETTE: return palette ? 256 : 0;
    case NUMRESERVED: return palette ? 20 : 0;
    case COLORRES: return palette ? 18 : d.depth >= 24 ? 24 : d.depth >= 15 ? 16 : 0;
    default: return 0;
    }
}

WINGDIAPI BOOL WINAPI GdiFlush(void) { return TRUE; }

// ---------------------------------------------------------------------------
// DC attributes

template <class T, class Fn> static T withDC(HDC hdc, T fail, Fn fn) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    return dc ? fn(*dc) : fail;
}

WINGDIAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    return withDC(hdc, (COLORREF)CLR_INVALID, [&](DCObj &dc) { return std::exchange(dc.textColor, color); });
}
WINGDIAPI COLORREF WINAPI GetTextColor(HDC hdc) {
    return withDC(hdc, (COLORREF)CLR_INVALID, [](DCObj &dc) { return dc.textColor; });
}
WINGDIAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    return withDC(hdc, (COLORREF)CLR_INVALID, [&](DCObj &dc) { return std::exchange(dc.bkColor, color); });
}
WINGDIAPI COLORREF WINAPI GetBkColor(HDC hdc) {
    return withDC(hdc, (COLORREF)CLR_INVALID, [](DCObj &dc) { return dc.bkColor; });
}

template <class Fn> static int setMode(HDC hdc, int mode, int lo, int hi, Fn field) {
    return withDC(hdc, 0, [&](DCObj &dc) {
        if (mode < lo || mode > hi) return 0;
        return std::exchange(field(dc), mode);
    });
}

WINGDIAPI int WINAPI SetBkMode(HDC hdc, int mode) {
    return setMode(hdc, mode, TRANSPARENT, OPAQUE, [](DCObj &dc) -> int & { return dc.bkMode; });
}
WINGDIAPI int WINAPI GetBkMode(HDC hdc) { return withDC(hdc, 0, [](DCObj &dc) { return dc.bkMode; }); }
WINGDIAPI int WINAPI SetROP2(HDC hdc, int rop2) {
    return setMode(hdc, rop2, R2_BLACK, R2_WHITE, [](DCObj &dc) -> int & { return dc.rop2; });
}
WINGDIAPI int WINAPI GetROP2(HDC hdc) { return withDC(hdc, 0, [](DCObj &dc) { return dc.rop2; }); }
WINGDIAPI int WINAPI SetStretchBltMode(HDC hdc, int mode) {
    return setMode(hdc, mode, BLACKONWHITE, HALFTONE, [](DCObj &dc) -> int & { return dc.stretchMode; });
}
WINGDIAPI int WINAPI GetStretchBltMode(HDC hdc) { return withDC(hdc, 0, [](DCObj &dc) { return dc.stretchMode; }); }
WINGDIAPI int WINAPI SetPolyFillMode(HDC hdc, int mode) {
    return setMode(hdc, mode, ALTERNATE, WINDING, [](DCObj &dc) -> int & { return dc.polyFillMode; });
}
WINGDIAPI int WINAPI GetPolyFillMode(HDC hdc) { return withDC(hdc, 0, [](DCObj &dc) { return dc.polyFillMode; }); }

static BOOL setPoint(HDC hdc, POINT DCObj::*field, int x, int y, LPPOINT old, bool relative) {
    return withDC(hdc, FALSE, [&](DCObj &dc) {
        POINT &p = dc.*field;
        if (old) *old = p;
        if (relative) {
            p.x = (LONG)((uint32_t)p.x + (uint32_t)x);
            p.y = (LONG)((uint32_t)p.y + (uint32_t)y);
        } else {
            p = POINT{x, y};
        }
        return TRUE;
    });
}

static BOOL getPoint(HDC hdc, POINT DCObj::*field, LPPOINT out) {
    return withDC(hdc, FALSE, [&](DCObj &dc) {
        if (!out) return FALSE;
        *out = dc.*field;
        return TRUE;
    });
}

WINGDIAPI BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return setPoint(hdc, &DCObj::brushOrg, x, y, lppt, false);
}
WINGDIAPI BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt) { return getPoint(hdc, &DCObj::brushOrg, lppt); }
WINGDIAPI BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return setPoint(hdc, &DCObj::windowOrg, x, y, lppt, false);
}
WINGDIAPI BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppt) { return getPoint(hdc, &DCObj::windowOrg, lppt); }
WINGDIAPI BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return setPoint(hdc, &DCObj::windowOrg, x, y, lppt, true);
}

// ---------------------------------------------------------------------------
// Bitmaps

// Allocates a bitmap object with a zeroed pixel block; null when the size is
// out of range or the memory cannot be had.
static BitmapObj *makeBitmap(int width, int height, PixFmt fmt, bool topDown) {
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) return nullptr;
    int stride = dibStride(width, bitsOf(fmt));
    uint64_t bytes = (uint64_t)stride * (uint64_t)height;
    if (bytes > kMaxBitmapBytes) return nullptr;
    PixelBuffer buf = allocPixels((size_t)bytes);
    if (!buf) return nullptr;
    auto *bm = new BitmapObj;
    bm->surf.width = width;
    bm->surf.height = height;
    bm->surf.fmt = fmt;
    bm->surf.stride = stride;
    bm->surf.topDown = topDown;
    bm->storage = std::move(buf);
    bm->surf.bits = bm->storage.get();
    return bm;
}

WINGDIAPI HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, void **ppvBits,
                                          HANDLE hSection, DWORD offset) {
    GDI_LOCK;
    if (ppvBits) *ppvBits = nullptr;
    (void)offset;
    if (!pbmi || hSection) return nullptr;
    const BITMAPINFOHEADER &h = pbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1) return nullptr;
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT_MIN) return nullptr;
    if (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS) return nullptr;
    DCObj *dc = hdc ? toDC(hdc) : nullptr;
    if (hdc && !dc) return nullptr;
    if (usage == DIB_PAL_COLORS && !dc) return nullptr;

    PixFmt fmt;
    DWORD compression = h.biCompression;
    // Colour masks follow the header when BI_BITFIELDS is given.
    const auto *masks = reinterpret_cast<const DWORD *>(reinterpret_cast<const BYTE *>(pbmi) + h.biSize);
    switch (h.biBitCount) {
    case 1: fmt = PixFmt::P1; break;
    case 4: fmt = PixFmt::P4; break;
    case 8: fmt = PixFmt::P8; break;
    case 16:
        if (compression == BI_BITFIELDS) {
            if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
                fmt = PixFmt::R565;
            else if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
                fmt = PixFmt::R555;
            else
                return nullptr;
        } else {
            fmt = PixFmt::R555;
        }
        break;
    case 24: fmt = PixFmt::R24; break;
    case 32:
        if (compression == BI_BITFIELDS &&
            !(masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF))
            return nullptr;
        fmt = PixFmt::R32;
        break;
    default: return nullptr;
    }
    if (compression != BI_RGB && !(compression == BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)))
        return nullptr;

    std::vector<Rgb> table;
    if (isPaletted(fmt)) {
        uint32_t max = 1u << h.biBitCount;
        uint32_t n = h.biClrUsed ? std::min<uint32_t>(h.biClrUsed, max) : max;
        table.resize(n);
        if (usage == DIB_RGB_COLORS) {
            for (uint32_t i = 0; i < n; ++i)
                table[i] = Rgb{pbmi->bmiColors[i].rgbRed, pbmi->bmiColors[i].rgbGreen, pbmi->bmiColors[i].rgbBlue};
        } else {
            const auto *idx = reinterpret_cast<const WORD *>(pbmi->bmiColors);
            const PaletteObj *pal = dc->palette ? dc->palette : defaultPalette();
            for (uint32_t i = 0; i < n; ++i) {
                if (pal->entries.empty()) break;
                const PALETTEENTRY &e = pal->entries[idx[i] < pal->entries.size() ? idx[i] : 0];
                table[i] = Rgb{e.peRed, e.peGreen, e.peBlue};
            }
        }
    }
    int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    BitmapObj *bm = makeBitmap(h.biWidth, height, fmt, h.biHeight < 0);
    if (!bm) return nullptr;
    bm->isDIB = true;
    bm->compression = compression;
    bm->surf.setColors(std::move(table));
    registerObject(bm);
    if (ppvBits) *ppvBits = bm->surf.bits;
    return handleAs<HBITMAP>(bm);
}

// A device-dependent bitmap in the display's format.
BitmapObj *qvt::gdi::makeDisplayBitmap(int width, int height) {
    const Display &d = display();
    BitmapObj *bm = makeBitmap(width, height, d.fmt, false);
    if (!bm) return nullptr;
    if (d.depth == 1) bm->surf.monoDDB = true;
    if (isPaletted(d.fmt) && !bm->surf.monoDDB) bm->surf.setColors(d.systemPalette);
    return bm;
}

static BitmapObj *makeMonoBitmap(int width, int height) {
    BitmapObj *bm = makeBitmap(width, height, PixFmt::P1, false);
    if (bm) bm->surf.monoDDB = true;
    return bm;
}

WINGDIAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    GDI_LOCK;
    DCObj *dc = toDC(hdc);
    if (!dc || cx < 0 || cy < 0) return nullptr;
    if (cx == 0 || cy == 0) return handleAs<HBITMAP>(stockBitmap());
    BitmapObj *bm = nullptr;
    Surface *cur = dc->target();
    if (dc->memory && cur && cur->monoDDB) {
        bm = makeMonoBitmap(cx, cy);
    } else if (dc->memory && dc->bitmap && dc->bitmap->isDIB) {
        // A DC holding a DIB section makes DIB sections of the same format.
        bm = makeBitmap(cx, cy, cur->fmt, false);
        if (bm) {
            bm->isDIB = true;
            bm->compression = dc->bitmap->compression;
            bm->surf.setColors(cur->colors);
        }
    } else {
        bm = makeDisplayBitmap(cx, cy);
    }
    if (!bm) return nullptr;
    registerObject(bm);
    return handleAs<HBITMAP>(bm);
}

// Raw rows of device-dependent bitmaps are top-down and padded to 16 bits.
static size_t ddbRowBytes(const Surface &s) { return (size_t)((((int64_t)s.width * bitsOf(s.fmt) + 15) / 16) * 2); }

static LONG copyBits(BitmapObj &bm, uint8_t *out, const uint8_t *in, size_t cb) {
    Surface &s = bm.surf;
    size_t rowBytes = ddbRowBytes(s);
    size_t used = std::min(rowBytes, (size_t)s.stride);
    size_t done = 0;
    for (int y = 0; y < s.height && done + rowBytes <= cb; ++y) {
        if (out)
            std::memcpy(out + done, s.row(y), used);
        else
            std::memcpy(s.row(y), in + done, used);
        done += rowBytes;
    }
    return (LONG)done;
}

WINGDIAPI HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void *lpBits) {
    GDI_LOCK;
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1) return nullptr;
    if (nWidth == 0 || nHeight == 0) return handleAs<HBITMAP>(stockBitmap());
    BitmapObj *bm = nullptr;
    switch (nBitCount) {
    case 1: bm = makeMonoBitmap(nWidth, nHeight); break;
    case 4: bm = makeBitmap(nWidth, nHeight, PixFmt::P4, false); break;
    case 8: bm = makeBitmap(nWidth, nHeight, PixFmt::P8, false); break;
    case 16: bm = makeBitmap(nWidth, nHeight, display().fmt == PixFmt::R565 ? PixFmt::R565 : PixFmt::R555, false); break;
    case 24: bm = makeBitmap(nWidth, nHeight, PixFmt::R24, false); break;
    case 32: bm = makeBitmap(nWidth, nHeight, PixFmt::R32, false); break;
    default: return nullptr;
    }
    if (!bm) return nullptr;
    if (isPaletted(bm->surf.fmt) && !bm->surf.monoDDB) bm->surf.setColors(display().systemPalette);
    if (lpBits) copyBits(*bm, nullptr, static_cast<const uint8_t *>(lpBits), ddbRowBytes(bm->surf) * nHeight);
    registerObject(bm);
    return handleAs<HBITMAP>(bm);
}

WINGDIAPI LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits) {
    GDI_LOCK;
    BitmapObj *bm = toBitmap(hbit);
    if (!bm || cb < 0) return 0;
    if (!lpvBits) return (LONG)(ddbRowBytes(bm->surf) * bm->surf.height);
    return copyBits(*bm, static_cast<uint8_t *>(lpvBits), nullptr, (size_t)cb);
}

WINGDIAPI LONG WINAPI SetBitmapBits(HBITMAP hbm, DWORD cb, const void *pvBits) {
    GDI_LOCK;
    BitmapObj *bm = toBitmap(hbm);
    if (!bm || !pvBits || bm->stock) return 0;
    return copyBits(*bm, nullptr, static_cast<const uint8_t *>(pvBits), cb);
}

static BitmapObj *selectedPalettedDIB(HDC hdc) {
    DCObj *dc = toDC(hdc);
    if (!dc || !dc->memory || !dc->bitmap || !dc->bitmap->isDIB) return nullptr;
    return isPaletted(dc->bitmap->surf.fmt) ? dc->bitmap : nullptr;
}

WINGDIAPI UINT WINAPI GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD *prgbq) {
    GDI_LOCK;
    BitmapObj *bm = selectedPalettedDIB(hdc);
    if (!bm || !prgbq) return 0;
    const auto &t = bm->surf.colors;
    UINT n = 0;
    for (; n < cEntries && iStart + n < t.size(); ++n) {
        const Rgb &c = t[iStart + n];
        prgbq[n] = RGBQUAD{c.b, c.g, c.r, 0};
    }
    return n;
}

WINGDIAPI UINT WINAPI SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD *prgbq) {
    GDI_LOCK;
    BitmapObj *bm = selectedPalettedDIB(hdc);
    if (!bm || !prgbq) return 0;
    auto t = bm->surf.colors;
    UINT n = 0;
    for (; n < cEntries && iStart + n < t.size(); ++n)
        t[iStart + n] = Rgb{prgbq[n].rgbRed, prgbq[n].rgbGreen, prgbq[n].rgbBlue};
    bm->surf.setColors(std::move(t));
    return n;
}

// ---------------------------------------------------------------------------
// Palettes

WINGDIAPI HPALETTE WINAPI CreatePalette(const LOGPALETTE *plpal) {
    GDI_LOCK;
    if (!plpal) return nullptr;
    auto *p = new PaletteObj;
    p->entries.assign(plpal->palPalEntry, plpal->palPalEntry + plpal->palNumEntries);
    registerObject(p);
    return handleAs<HPALETTE>(p);
}

WINGDIAPI HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd) {
    GDI_LOCK;
    (void)bForceBkgd;
    DCObj *dc = toDC(hdc);
    PaletteObj *pal = toPalette(hPal);
    if (!dc || !pal) return nullptr;
    PaletteObj *prev = dc->palette;
    if (prev == pal) return hPal;
    retain(pal);
    dc->palette = pal;
    HPALETTE result = handleAs<HPALETTE>(prev);
    release(prev);
    if (result && !lookup(result)) result = nullptr;
    return result;
}

WINGDIAPI UINT WINAPI RealizePalette(HDC hdc) {
    GDI_LOCK;
    // The system palette of the display stand-in is fixed; realising a
    // palette maps its entries without changing the screen's colours.
    DCObj *dc = toDC(hdc);
    if (!dc) return (UINT)-1;
    return dc->palette ? (UINT)dc->palette->entries.size() : 0;
}

WINGDIAPI UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, PALETTEENTRY *pPalEntries) {
    GDI_LOCK;
    PaletteObj *p = toPalette(hpal);
    if (!p) return 0;
    if (!pPalEntries) return (UINT)p->entries.size();
    UINT n = 0;
    for (; n < cEntries && iStart + n < p->entries.size(); ++n) pPalEntries[n] = p->entries[iStart + n];
    return n;
}

WINGDIAPI UINT WINAPI SetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, const PALETTEENTRY *pPalEntries) {
    GDI_LOCK;
    PaletteObj *p = toPalette(hpal);
    if (!p || !pPalEntries || p->stock) return 0;
    UINT n = 0;
    for (; n < cEntries && iStart + n < p->entries.size(); ++n) p->entries[iStart + n] = pPalEntries[n];
    return n;
}

WINGDIAPI UINT WINAPI GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, PALETTEENTRY *pPalEntries) {
    GDI_LOCK;
    if (!toDC(hdc)) return 0;
    const Display &d = display();
    if (d.depth != 8) return 0; // only a palette display has a system palette
    if (!pPalEntries) return (UINT)d.systemPalette.size();
    UINT n = 0;
    for (; n < cEntries && iStart + n < d.systemPalette.size(); ++n) {
        const Rgb &c = d.systemPalette[iStart + n];
        pPalEntries[n] = PALETTEENTRY{c.r, c.g, c.b, 0};
    }
    return n;
}

WINGDIAPI UINT WINAPI GetNearestPaletteIndex(HPALETTE h, COLORREF color) {
    GDI_LOCK;
    PaletteObj *p = toPalette(h);
    if (!p || p->entries.empty()) return CLR_INVALID;
    std::vector<Rgb> t;
    t.reserve(p->entries.size());
    for (const auto &e : p->entries) t.push_back(Rgb{e.peRed, e.peGreen, e.peBlue});
    return (UINT)nearestIndex(t, rgbOf(color));
}

// ---------------------------------------------------------------------------
// Brushes and pens

WINGDIAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    GDI_LOCK;
    auto *b = new BrushObj;
    b->style = BS_SOLID;
    b->color = color;
    registerObject(b);
    return handleAs<HBRUSH>(b);
}

WINGDIAPI HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm) {
    GDI_LOCK;
    BitmapObj *bm = toBitmap(hbm);
    if (!bm) return nullptr;
    // The brush keeps its own copy of the pattern, so the bitmap may be
    // deleted afterwards.
    auto pat = std::make_shared<Pattern>();
    pat->surf = bm->surf;
    pat->surf.window = nullptr;
    pat->pixels.assign(bm->surf.bits, bm->surf.bits + (size_t)bm->surf.stride * bm->surf.height);
    pat->surf.bits = pat->pixels.data();
    auto *b = new BrushObj;
    b->style = BS_PATTERN;
    b->pattern = std::move(pat);
    registerObject(b);
    return handleAs<HBRUSH>(b);
}

WINGDIAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush) {
    if (!plbrush) return nullptr;
    switch (plbrush->lbStyle) {
    case BS_SOLID: return CreateSolidBrush(plbrush->lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(plbrush->lbHatch));
    case BS_NULL: return reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    default: return nullptr;
    }
}

WINGDIAPI HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    GDI_LOCK;
    // Only cosmetic one-pixel pens exist here; wider pens draw one pixel wide.
    (void)cWidth;
    if (iStyle != PS_SOLID && iStyle != PS_NULL) return nullptr;
    auto *p = new PenObj;
    p->style = iStyle;
    p->color = color;
    registerObject(p);
    return handleAs<HPEN>(p);
}

WINUSERAPI int WINAPI QvtLiveGdiObjects(void) {
    GDI_LOCK;
    int n = 0;
    forEachObject([&](const GdiObject *o) { n += !o->stock; });
    return n;
}
