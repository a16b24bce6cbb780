/* The graphics interface: device contexts, bitmaps, palettes, brushes, pens,
 * regions, raster operations and drawing calls. */
#ifndef QVT_WINGDI_H
#define QVT_WINGDI_H

#include "wintypes.h"

/* Colours ----------------------------------------------------------------- */
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))
#define PALETTEINDEX(i) ((COLORREF)(0x01000000 | (DWORD)(WORD)(i)))
#define DIBINDEX(n) ((COLORREF)(0x10FF0000 | (DWORD)(WORD)(n)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#define CLR_INVALID 0xFFFFFFFF

/* Raster operations (ternary codes). */
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062

/* Binary raster operations for pens and brushes. */
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

/* Stretch modes. */
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE

/* Background modes and polygon fill modes. */
#define TRANSPARENT 1
#define OPAQUE 2
#define ALTERNATE 1
#define WINDING 2

/* Region types and combine modes. */
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

/* Stock objects. */
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define DEFAULT_PALETTE 15

/* Object types (GetObjectType). */
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10

/* Pen styles and brush styles. */
#define PS_SOLID 0
#define PS_NULL 5
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_PATTERN 3

/* Device capabilities. */
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define DT_RASDISPLAY 1
#define RC_BITBLT 1
#define RC_PALETTE 0x0100
#define RC_DI_BITMAP 0x0080
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800

/* Bitmap structures. */
#define BI_RGB 0
#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

/* Palette entry flags. */
#define PC_RESERVED 0x01
#define PC_EXPLICIT 0x02
#define PC_NOCOLLAPSE 0x04

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY;

typedef struct tagLOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
} LOGPALETTE;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH;

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
} LOGPEN;

/* Device contexts. */
WINGDIAPI HDC WINAPI CreateCompatibleDC(HDC hdc);
WINGDIAPI BOOL WINAPI DeleteDC(HDC hdc);
WINGDIAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
WINGDIAPI HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);
WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ h);
WINGDIAPI HGDIOBJ WINAPI GetStockObject(int i);
WINGDIAPI DWORD WINAPI GetObjectType(HGDIOBJ h);
WINGDIAPI int WINAPI GetObjectA(HGDIOBJ h, int c, LPVOID pv);
WINGDIAPI int WINAPI GetDeviceCaps(HDC hdc, int index);
WINGDIAPI BOOL WINAPI GdiFlush(void);

WINGDIAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
WINGDIAPI COLORREF WINAPI GetTextColor(HDC hdc);
WINGDIAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
WINGDIAPI COLORREF WINAPI GetBkColor(HDC hdc);
WINGDIAPI int WINAPI SetBkMode(HDC hdc, int mode);
WINGDIAPI int WINAPI GetBkMode(HDC hdc);
WINGDIAPI int WINAPI SetROP2(HDC hdc, int rop2);
WINGDIAPI int WINAPI GetROP2(HDC hdc);
WINGDIAPI int WINAPI SetStretchBltMode(HDC hdc, int mode);
WINGDIAPI int WINAPI GetStretchBltMode(HDC hdc);
WINGDIAPI int WINAPI SetPolyFillMode(HDC hdc, int mode);
WINGDIAPI int WINAPI GetPolyFillMode(HDC hdc);
WINGDIAPI BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
WINGDIAPI BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt);
WINGDIAPI BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
WINGDIAPI BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppt);
WINGDIAPI BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
WINGDIAPI BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
WINGDIAPI BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt);

/* Bitmaps. */
WINGDIAPI HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, void **ppvBits,
                                          HANDLE hSection, DWORD offset);
WINGDIAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);
WINGDIAPI HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void *lpBits);
WINGDIAPI LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits);
WINGDIAPI LONG WINAPI SetBitmapBits(HBITMAP hbm, DWORD cb, const void *pvBits);
WINGDIAPI UINT WINAPI GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD *prgbq);
WINGDIAPI UINT WINAPI SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD *prgbq);

/* Palettes. */
WINGDIAPI HPALETTE WINAPI CreatePalette(const LOGPALETTE *plpal);
WINGDIAPI HPALETTE WINAPI SelectPalette(HDC hdc, HPALETTE hPal, BOOL bForceBkgd);
WINGDIAPI UINT WINAPI RealizePalette(HDC hdc);
WINGDIAPI UINT WINAPI GetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, PALETTEENTRY *pPalEntries);
WINGDIAPI UINT WINAPI SetPaletteEntries(HPALETTE hpal, UINT iStart, UINT cEntries, const PALETTEENTRY *pPalEntries);
WINGDIAPI UINT WINAPI GetSystemPaletteEntries(HDC hdc, UINT iStart, UINT cEntries, PALETTEENTRY *pPalEntries);
WINGDIAPI UINT WINAPI GetNearestPaletteIndex(HPALETTE h, COLORREF color);

/* Brushes and pens. */
WINGDIAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color);
WINGDIAPI HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm);
WINGDIAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush);
WINGDIAPI HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);

/* Regions and clipping. */
WINGDIAPI HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2);
WINGDIAPI HRGN WINAPI CreateRectRgnIndirect(const RECT *lprect);
WINGDIAPI int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode);
WINGDIAPI int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc);
WINGDIAPI BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y);
WINGDIAPI int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn);
WINGDIAPI int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
WINGDIAPI int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
WINGDIAPI int WINAPI GetClipBox(HDC hdc, LPRECT lprect);
WINGDIAPI int WINAPI GetClipRgn(HDC hdc, HRGN hrgn);

/* Copies. */
WINGDIAPI BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
WINGDIAPI BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                                 int ySrc, int wSrc, int hSrc, DWORD rop);
WINGDIAPI BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);

/* Drawing. */
WINGDIAPI BOOL WINAPI LineTo(HDC hdc, int x, int y);
WINGDIAPI BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt);
WINGDIAPI BOOL WINAPI Polygon(HDC hdc, const POINT *apt, int cpt);
WINGDIAPI BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
WINGDIAPI BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom);
WINGDIAPI COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color);
WINGDIAPI BOOL WINAPI SetPixelV(HDC hdc, int x, int y, COLORREF color);
WINGDIAPI COLORREF WINAPI GetPixel(HDC hdc, int x, int y);

#endif
