// Test pages as bitmaps: a DIB section drawn with a built-in page, and how a
// bitmap looks once a window of the display shows it.
#ifndef QVT_TEST_PAGE_BITMAPS_H
#define QVT_TEST_PAGE_BITMAPS_H

#include <windows.h>

#include <cstdint>
#include <vector>

#include "pages.h"
#include "qvt/qvtdisplay.h"

namespace qvt::test {

// A bottom-up DIB section of `bpp` bits per pixel drawn with the built-in page.
inline HBITMAP BuiltinPageBitmap(host::Page which, int width, int height, int bpp = 32) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, (WORD)bpp, BI_RGB, 0, 0, 0, 0, 0};
    HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bm);
    host::DrawBuiltinPage(dc, which, width, height);
    SelectObject(dc, old);
    DeleteDC(dc);
    return bm;
}

// The RGB bytes (3 a pixel, rows top-down) a window of the display shows
// after the bitmap is copied into it.
inline std::vector<uint8_t> BitmapAsShown(HBITMAP bitmap, int width, int height) {
    HWND probe = QvtCreateWindow(width, height);
    HDC dc = GetDC(probe);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(dc, 0, 0, width, height, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(probe, dc);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    QvtReadWindowRGB(probe, rgb.data(), width * 3);
    QvtDestroyWindow(probe);
    return rgb;
}

} // namespace qvt::test

#endif
