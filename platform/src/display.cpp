// The display stand-in: its depth and palette, the screen, the host's
// windows, and the device contexts that draw on them.
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#include <unordered_set>

#include "gdi_internal.h"

namespace qvt::gdi {

const std::vector<Rgb> &staticColors20() {
    static const std::vector<Rgb> colors = {
        {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00}, {0x00, 0x00, 0x80},
        {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0}, {0xC0, 0xDC, 0xC0}, {0xA6, 0xCA, 0xF0},
        {0xFF, 0xFB, 0xF0}, {0xA0, 0xA0, 0xA4}, {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00},
        {0xFF, 0xFF, 0x00}, {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
    };
    return colors;
}

// The 256-entry system palette of an 8-bit display: the 20 static colours at
// 0..9 and 246..255, and in between the colours a host typically realises: a
// 6 x 6 x 6 colour cube and 20 greys. As the palette manager does, a realised
// colour equal to a static one is not entered twice: the static entry serves
// it, and its place holds another colour (extra greys between the cube's).
// So every colour appears once and white is only at 255, the index with all
// bits set, which the raster operations on palette indices rely on.
static std::vector<Rgb> systemPalette256() {
    const auto &st = staticColors20();
    std::vector<Rgb> p(256);
    for (int i = 0; i < 10; ++i) p[i] = st[i];
    for (int i = 0; i < 10; ++i) p[246 + i] = st[10 + i];
    std::vector<Rgb> realised;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) realised.push_back(Rgb{(uint8_t)(r * 51), (uint8_t)(g * 51), (uint8_t)(b * 51)});
    for (int i = 0; i < 20; ++i) {
        uint8_t v = (uint8_t)(8 + i * 12);
        realised.push_back(Rgb{v, v, v});
    }
    // Greys that neither the cube, the grey ramp nor the static colours hold.
    static constexpr uint8_t kSpareGreys[] = {14, 38, 62, 86, 110, 134, 158, 182, 206, 230};
    size_t spare = 0;
    auto isStatic = [&st](Rgb c) {
        for (const Rgb &s : st)
            if (s == c) return true;
        return false;
    };
    int k = 10;
    for (Rgb c : realised) {
        if (isStatic(c)) c = Rgb{kSpareGreys[spare], kSpareGreys[spare], kSpareGreys[spare]}, ++spare;
        p[k++] = c;
    }
    return p;
}

// The 16 colours of a 4-bit display.
static std::vector<Rgb> vgaPalette16() {
    return {{0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
            {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
            {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
            {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}};
}

namespace {
struct DisplayState {
    Display display;
    SIZE screenSize{640, 480};
    std::unordered_set<WindowObj *> windows;
    WindowObj *screen = nullptr;
};

DisplayState &state() {
    static DisplayState s;
    return s;
}

bool configure(Display &d, int depth) {
    switch (depth) {
    case 1: d.fmt = PixFmt::P1; d.systemPalette = {{0, 0, 0}, {255, 255, 255}}; break;
    case 4: d.fmt = PixFmt::P4; d.systemPalette = vgaPalette16(); break;
    case 8: d.fmt = PixFmt::P8; d.systemPalette = systemPalette256(); break;
    case 15: d.fmt = PixFmt::R555; d.systemPalette.clear(); break;
    case 16: d.fmt = PixFmt::R565; d.systemPalette.clear(); break;
    case 24: d.fmt = PixFmt::R24; d.systemPalette.clear(); break;
    case 32: d.fmt = PixFmt::R32; d.systemPalette.clear(); break;
    default: return false;
    }
    d.depth = depth;
    return true;
}

bool initSurface(WindowObj &w, int width, int height) {
    const Display &d = display();
    int stride = dibStride(width, bitsOf(d.fmt));
    uint64_t bytes = (uint64_t)stride * (uint64_t)height;
    if (bytes > (1ull << 30)) return false;
    w.storage = allocPixels((size_t)bytes);
    if (!w.storage) return false;
    w.surf = Surface{};
    w.surf.width = width;
    w.surf.height = height;
    w.surf.fmt = d.fmt;
    w.surf.stride = stride;
    w.surf.topDown = true;
    w.surf.bits = w.storage.get();
    w.surf.monoDDB = d.depth == 1;
    if (isPaletted(d.fmt) && d.depth != 1) w.surf.setColors(d.systemPalette);
    w.surf.window = reinterpret_cast<HWND>(&w);
    return true;
}

WindowObj *screen() {
    DisplayState &s = state();
    if (!s.screen) {
        s.screen = new WindowObj;
        s.screen->isScreen = true;
        initSurface(*s.screen, s.screenSize.cx, s.screenSize.cy);
    }
    return s.screen;
}

// Detaches every DC of a window that goes away, so that they draw nothing
// rather than on freed memory.
void detachDCs(WindowObj *w) {
    for (DCObj *dc : allDCs())
        if (dc->window == w) dc->window = nullptr;
}
} // namespace

Display &display() {
    DisplayState &s = state();
    if (s.display.systemPalette.empty() && s.display.depth <= 8) configure(s.display, s.display.depth);
    return s.display;
}

SIZE screenSize() { return state().screenSize; }

WindowObj *toWindow(HWND h) {
    auto *w = reinterpret_cast<WindowObj *>(h);
    return h && state().windows.count(w) ? w : nullptr;
}

void notifyChanged(DCObj *dc, const RECT &b) {
    if (!dc || !dc->window || dc->window->isScreen || !dc->window->onChange) return;
    const Surface &s = dc->window->surf;
    RECT r{std::max<LONG>(b.left, 0), std::max<LONG>(b.top, 0), std::min<LONG>(b.right, s.width),
           std::min<LONG>(b.bottom, s.height)};
    if (r.left >= r.right || r.top >= r.bottom) return;
    dc->window->onChange(dc->window->onChangeUser, reinterpret_cast<HWND>(dc->window), &r);
}

} // namespace qvt::gdi

using namespace qvt::gdi;


WINUSERAPI BOOL WINAPI QvtSetDisplayDepth(int depth) {
    GDI_LOCK;
    DisplayState &s = state();
    if (!s.windows.empty()) return FALSE;
    Display d = display();
    if (!configure(d, depth)) return FALSE;
    s.display = d;
    if (s.screen) {
        detachDCs(s.screen);
        delete s.screen;
        s.screen = nullptr;
    }
    return TRUE;
}

WINUSERAPI int WINAPI QvtGetDisplayDepth(void) {
    GDI_LOCK;
    return display().depth;
}

WINUSERAPI BOOL WINAPI QvtSetScreenSize(int width, int height) {
    GDI_LOCK;
    DisplayState &s = state();
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return FALSE;
    s.screenSize = SIZE{width, height};
    if (s.screen) {
        detachDCs(s.screen);
        delete s.screen;
        s.screen = nullptr;
    }
    return TRUE;
}

WINUSERAPI HWND WINAPI QvtCreateWindow(int width, int height) {
    GDI_LOCK;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
    auto *w = new WindowObj;
    if (!initSurface(*w, width, height)) {
        delete w;
        return nullptr;
    }
    state().windows.insert(w);
    return reinterpret_cast<HWND>(w);
}

WINUSERAPI BOOL WINAPI QvtDestroyWindow(HWND hwnd) {
    GDI_LOCK;
    WindowObj *w = toWindow(hwnd);
    if (!w) return FALSE;
    detachDCs(w);
    state().windows.erase(w);
    delete w;
    return TRUE;
}

WINUSERAPI BOOL WINAPI QvtGetWindowSize(HWND hwnd, int *width, int *height) {
    GDI_LOCK;
    WindowObj *w = toWindow(hwnd);
    if (!w) return FALSE;
    if (width) *width = w->surf.width;
    if (height) *height = w->surf.height;
    return TRUE;
}

// One row of 32-bit pixels (bytes blue, green, red, unused) as RGB bytes.
static void rowToRgbPlain(const uint8_t *in, BYTE *out, int x, int width) {
    for (; x < width; ++x, in += 4, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
}

#if defined(__x86_64__) || defined(__i386__)
// Sixteen pixels a step: each group of four shuffled to 12 RGB bytes, the
// four groups packed into three 16-byte stores, written around the cache
// when the row is aligned (the caller reads the frame later, if at all, and
// the lines need not be fetched before they are overwritten).
__attribute__((target("ssse3"))) static void rowToRgbSsse3(const uint8_t *in, BYTE *out, int width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const bool aligned = (reinterpret_cast<uintptr_t>(out) & 15) == 0;
    int x = 0;
    for (; x + 16 <= width; x += 16, in += 64, out += 48) {
        const auto *v = reinterpret_cast<const __m128i *>(in);
        const __m128i g0 = _mm_shuffle_epi8(_mm_loadu_si128(v), order);
        const __m128i g1 = _mm_shuffle_epi8(_mm_loadu_si128(v + 1), order);
        const __m128i g2 = _mm_shuffle_epi8(_mm_loadu_si128(v + 2), order);
        const __m128i g3 = _mm_shuffle_epi8(_mm_loadu_si128(v + 3), order);
        const __m128i o0 = _mm_or_si128(g0, _mm_slli_si128(g1, 12));
        const __m128i o1 = _mm_or_si128(_mm_srli_si128(g1, 4), _mm_slli_si128(g2, 8));
        const __m128i o2 = _mm_or_si128(_mm_srli_si128(g2, 8), _mm_slli_si128(g3, 4));
        auto *o = reinterpret_cast<__m128i *>(out);
        if (aligned) {
            _mm_stream_si128(o, o0), _mm_stream_si128(o + 1, o1), _mm_stream_si128(o + 2, o2);
        } else {
            _mm_storeu_si128(o, o0), _mm_storeu_si128(o + 1, o1), _mm_storeu_si128(o + 2, o2);
        }
    }
    rowToRgbPlain(in, out, x, width);
}
static const bool kHasSsse3 = __builtin_cpu_supports("ssse3");
#endif

static void rowToRgbaPlain(const uint8_t *in, BYTE *out, int x, int width) {
    for (; x < width; ++x, in += 4, out += 4) out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 255;
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step, opaque, written around the cache when the row is
// aligned (as for RGB).
__attribute__((target("ssse3"))) static void rowToRgbaSsse3(const uint8_t *in, BYTE *out, int width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const bool aligned = (reinterpret_cast<uintptr_t>(out) & 15) == 0;
    int x = 0;
    for (; x + 4 <= width; x += 4, in += 16, out += 16) {
        const __m128i v = _mm_or_si128(
            _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in)), order), opaque);
        if (aligned)
            _mm_stream_si128(reinterpret_cast<__m128i *>(out), v);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), v);
    }
    rowToRgbaPlain(in, out, x, width);
}
#endif

// A row of 32-bit pixels as R, G, B (and 255 when `alpha`).
static void rowOut(const uint8_t *in, BYTE *out, int width, bool alpha) {
#if defined(__x86_64__) || defined(__i386__)
    if (kHasSsse3) return alpha ? rowToRgbaSsse3(in, out, width) : rowToRgbSsse3(in, out, width);
#endif
    if (alpha)
        rowToRgbaPlain(in, out, 0, width);
    else
        rowToRgbPlain(in, out, 0, width);
}

// The window's pixels as rows of R, G, B (and 255 when `alpha`).
static BOOL readWindow(HWND hwnd, BYTE *out, int rowBytes, bool alpha) {
    GDI_LOCK;
    WindowObj *w = toWindow(hwnd);
    const int step = alpha ? 4 : 3;
    if (!w || !out || rowBytes < step * w->surf.width) return FALSE;
    const Surface &s = w->surf;
    if (s.bits && s.fmt == PixFmt::R32) {
        for (int y = 0; y < s.height; ++y) rowOut(s.row(y), out + (size_t)y * rowBytes, s.width, alpha);
#if defined(__x86_64__) || defined(__i386__)
        _mm_sfence();
#endif
        return TRUE;
    }
    if (s.bits && s.fmt == PixFmt::R24) {
        for (int y = 0; y < s.height; ++y) {
            const uint8_t *in = s.row(y);
            BYTE *o = out + (size_t)y * rowBytes;
            for (int x = 0; x < s.width; ++x, in += 3, o += step) {
                o[0] = in[2], o[1] = in[1], o[2] = in[0];
                if (alpha) o[3] = 255;
            }
        }
        return TRUE;
    }
    std::vector<uint32_t> row((size_t)s.width);
    for (int y = 0; y < s.height; ++y) {
        readRow(s, 0, y, s.width, row.data());
        BYTE *o = out + (size_t)y * rowBytes;
        for (int x = 0; x < s.width; ++x, o += step) {
            const Rgb c = decodePixel(s, row[x]);
            o[0] = c.r, o[1] = c.g, o[2] = c.b;
            if (alpha) o[3] = 255;
        }
    }
    return TRUE;
}

WINUSERAPI BOOL WINAPI QvtReadWindowRGB(HWND hwnd, BYTE *rgb, int rowBytes) {
    return readWindow(hwnd, rgb, rowBytes, false);
}

WINUSERAPI BOOL WINAPI QvtReadWindowRGBA(HWND hwnd, BYTE *rgba, int rowBytes) {
    return readWindow(hwnd, rgba, rowBytes, true);
}

WINUSERAPI BOOL WINAPI QvtSetWindowChangedHandler(HWND hwnd, QvtWindowChangedProc proc, void *user) {
    GDI_LOCK;
    WindowObj *w = toWindow(hwnd);
    if (!w) return FALSE;
    w->onChange = proc;
    w->onChangeUser = user;
    return TRUE;
}

WINUSERAPI HDC WINAPI GetDC(HWND hWnd) {
    GDI_LOCK;
    WindowObj *w = hWnd ? toWindow(hWnd) : screen();
    if (!w) return nullptr;
    return handleAs<HDC>(newDC(false, w));
}

WINUSERAPI int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    GDI_LOCK;
    (void)hWnd;
    DCObj *dc = toDC(hDC);
    if (!dc || dc->memory) return 0;
    freeDC(dc);
    return 1;
}
