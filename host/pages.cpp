// The built-in pages, drawn with ordinary graphics calls.
#include "pages.h"

#include <algorithm>

namespace qvt::host {
namespace {

void fill(HDC dc, int l, int t, int r, int b, COLORREF c) {
    HBRUSH br = CreateSolidBrush(c);
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, br);
    DeleteObject(br);
}

int lerp(int a, int b, int i, int n) { return n <= 1 ? a : a + (b - a) * i / (n - 1); }

// Bands of colour from c0 to c1, vertical (top to bottom) or horizontal.
void gradient(HDC dc, int w, int h, COLORREF c0, COLORREF c1, bool vertical) {
    const int band = 4;
    int extent = vertical ? h : w;
    int n = std::max(1, (extent + band - 1) / band);
    for (int i = 0; i < n; ++i) {
        COLORREF c = RGB(lerp(GetRValue(c0), GetRValue(c1), i, n), lerp(GetGValue(c0), GetGValue(c1), i, n),
                         lerp(GetBValue(c0), GetBValue(c1), i, n));
        if (vertical)
            fill(dc, 0, i * band, w, std::min(h, (i + 1) * band), c);
        else
            fill(dc, i * band, 0, std::min(w, (i + 1) * band), h, c);
    }
}

void grid(HDC dc, int w, int h, int step, COLORREF c) {
    HPEN pen = CreatePen(PS_SOLID, 1, c);
    HGDIOBJ old = SelectObject(dc, pen);
    for (int x = 0; x < w; x += step) {
        MoveToEx(dc, x, 0, nullptr);
        LineTo(dc, x, h);
    }
    for (int y = 0; y < h; y += step) {
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, w, y);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

// A shape drawn with pen and brush of one colour.
template <class Draw> void shape(HDC dc, COLORREF c, Draw draw) {
    HPEN pen = CreatePen(PS_SOLID, 1, c);
    HBRUSH brush = CreateSolidBrush(c);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    draw();
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

// Fine detail: a one-pixel checkerboard in two colours through an 8 x 8
// monochrome pattern brush.
void checker(HDC dc, int l, int t, int r, int b, COLORREF c0, COLORREF c1) {
    const WORD rows[8] = {0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
    HBITMAP bits = CreateBitmap(8, 8, 1, 1, rows);
    HBRUSH brush = CreatePatternBrush(bits);
    COLORREF oldText = SetTextColor(dc, c0);
    COLORREF oldBk = SetBkColor(dc, c1);
    HGDIOBJ old = SelectObject(dc, brush);
    PatBlt(dc, l, t, r - l, b - t, PATCOPY);
    SelectObject(dc, old);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBk);
    DeleteObject(brush);
    DeleteObject(bits);
}

void departing(HDC dc, int w, int h) {
    gradient(dc, w, h, RGB(16, 32, 96), RGB(0, 150, 160), true);
    grid(dc, w, h, std::max(8, w / 20), RGB(230, 230, 255));
    int s = std::min(w, h);
    shape(dc, RGB(255, 210, 0), [&] { Ellipse(dc, w / 10, h / 8, w / 10 + s / 2, h / 8 + s / 2); });
    shape(dc, RGB(220, 30, 40), [&] {
        POINT tri[3] = {{w * 6 / 10, h * 8 / 10}, {w * 9 / 10, h * 8 / 10}, {w * 3 / 4, h * 3 / 10}};
        Polygon(dc, tri, 3);
    });
    checker(dc, w * 6 / 10, h / 10, w * 9 / 10, h / 4, RGB(0, 0, 0), RGB(255, 255, 255));
    fill(dc, w / 10, h * 85 / 100, w / 2, h * 92 / 100, RGB(255, 255, 255));
}

void arriving(HDC dc, int w, int h) {
    gradient(dc, w, h, RGB(250, 140, 20), RGB(170, 20, 120), false);
    grid(dc, w, h, std::max(8, w / 16), RGB(40, 0, 40));
    shape(dc, RGB(30, 180, 60), [&] { Rectangle(dc, w / 8, h / 6, w / 2, h * 2 / 3); });
    shape(dc, RGB(0, 230, 255), [&] {
        int cx = w * 7 / 10, cy = h / 2, r = std::min(w, h) / 4;
        POINT star[5] = {{cx, cy - r}, {cx + r * 59 / 100, cy + r * 81 / 100}, {cx - r * 95 / 100, cy - r * 31 / 100},
                         {cx + r * 95 / 100, cy - r * 31 / 100}, {cx - r * 59 / 100, cy + r * 81 / 100}};
        Polygon(dc, star, 5);
    });
    for (int i = 0; i < 4; ++i)
        shape(dc, i % 2 ? RGB(255, 255, 255) : RGB(20, 20, 160), [&] {
            int inset = i * std::max(2, h / 40);
            Ellipse(dc, w / 20 + inset, h * 3 / 4 + inset, w * 3 / 10 - inset, h * 19 / 20 - inset);
        });
    checker(dc, w * 55 / 100, h * 8 / 10, w * 9 / 10, h * 9 / 10, RGB(255, 255, 0), RGB(0, 0, 0));
}

} // namespace

void DrawBuiltinPage(HDC dc, Page page, int width, int height) {
    if (!dc || width <= 0 || height <= 0) return;
    if (page == Page::Departing)
        departing(dc, width, height);
    else
        arriving(dc, width, height);
}

} // namespace qvt::host
