/* Host-side control of the display stand-in (not part of the platform's own
 * interface): the host chooses the display's colour depth, creates windows
 * whose pixels live in the display's format, reads them back as RGB and can
 * be told when they change. */
#ifndef QVT_QVTDISPLAY_H
#define QVT_QVTDISPLAY_H

#include "wintypes.h"

/* Chooses the display depth: 1, 4, 8, 15 (5-5-5, reported as 16 bits per
 * pixel), 16 (5-6-5), 24 or 32. Fails (FALSE) for other depths and while any
 * window exists. The default display is 32 bits deep. */
WINUSERAPI BOOL WINAPI QvtSetDisplayDepth(int depth);
/* The depth chosen, with 15 for a 5-5-5 display. */
WINUSERAPI int WINAPI QvtGetDisplayDepth(void);
/* Size of the screen surface that GetDC(NULL) draws on (default 640 x 480). */
WINUSERAPI BOOL WINAPI QvtSetScreenSize(int width, int height);

/* A window is a pixel surface in the display's format; GetDC(hwnd) draws on
 * it. New windows are black. */
WINUSERAPI HWND WINAPI QvtCreateWindow(int width, int height);
WINUSERAPI BOOL WINAPI QvtDestroyWindow(HWND hwnd);
WINUSERAPI BOOL WINAPI QvtGetWindowSize(HWND hwnd, int *width, int *height);
/* Copies the window's pixels out as top-down rows of R, G, B bytes; rowBytes
 * is the distance between rows in rgb (at least 3 x width). */
WINUSERAPI BOOL WINAPI QvtReadWindowRGB(HWND hwnd, BYTE *rgb, int rowBytes);
/* The same as rows of R, G, B, 255 (rowBytes at least 4 x width). */
WINUSERAPI BOOL WINAPI QvtReadWindowRGBA(HWND hwnd, BYTE *rgba, int rowBytes);

/* Called after each drawing call that may have changed the window, with the
 * bounding rectangle of the change in window pixels. The callback may read
 * the window; it must not draw on it. NULL removes the handler. */
typedef void (*QvtWindowChangedProc)(void *user, HWND hwnd, const RECT *changed);
WINUSERAPI BOOL WINAPI QvtSetWindowChangedHandler(HWND hwnd, QvtWindowChangedProc proc, void *user);

/* Number of graphics objects (device contexts, bitmaps, brushes, pens,
 * palettes, regions) alive, stock objects not counted: tests use it to find
 * leaked handles. */
WINUSERAPI int WINAPI QvtLiveGdiObjects(void);

#endif
