/* User services: the message box, rectangle helpers and the few window
 * drawing calls the engine makes.
 *
 * Rectangles have exclusive right and bottom edges; one with right <= left
 * or bottom <= top is empty. Coordinate arithmetic wraps as 32-bit
 * two's-complement integers. */
#ifndef QVT_WINUSER_H
#define QVT_WINUSER_H

#include "qvt/wintypes.h"

#define MB_OK 0x00000000
#define MB_ICONERROR 0x00000010
#define MB_ICONWARNING 0x00000030
#define MB_TASKMODAL 0x00002000

#define IDOK 1

/* Shows a modal message; see QvtSetMessageBoxHandler for where it goes. A
 * NULL text shows as empty, a NULL caption as "Error". */
WINUSERAPI int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

/* Every helper fails (FALSE) when a rectangle it must write is NULL. A NULL
 * input rectangle counts as empty for IsRectEmpty, UnionRect and
 * SubtractRect, and makes the others fail. */
WINUSERAPI BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom);
WINUSERAPI BOOL WINAPI SetRectEmpty(LPRECT lprc);
WINUSERAPI BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT *lprcSrc);
WINUSERAPI BOOL WINAPI IsRectEmpty(const RECT *lprc);
WINUSERAPI BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2);
WINUSERAPI BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2);
WINUSERAPI BOOL WINAPI SubtractRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2);
WINUSERAPI BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy);
WINUSERAPI BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy);
WINUSERAPI BOOL WINAPI EqualRect(const RECT *lprc1, const RECT *lprc2);
WINUSERAPI BOOL WINAPI PtInRect(const RECT *lprc, POINT pt);

/* Window drawing (implemented with the graphics device code). */
WINUSERAPI HDC WINAPI GetDC(HWND hWnd);
WINUSERAPI int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
WINUSERAPI int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);

#endif
