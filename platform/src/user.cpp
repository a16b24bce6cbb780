// User services: the message box and the rectangle helpers.
//
// There is no window system behind the stand-in, so a message box goes to a
// handler the host installs, or to stderr as one line that the user (or a
// log) can read; it is answered at once.

#include "qvt/qvtsys.h"
#include "qvt/winuser.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>

// ---------------------------------------------------------------------------
// Message box

namespace {

std::mutex g_messageBoxMutex;
QvtMessageBoxProc g_messageBoxProc = nullptr;
void *g_messageBoxUser = nullptr;

} // namespace

QVTSYSAPI void QvtSetMessageBoxHandler(QvtMessageBoxProc proc, void *user) {
    std::lock_guard<std::mutex> lock(g_messageBoxMutex);
    g_messageBoxProc = proc;
    g_messageBoxUser = proc != nullptr ? user : nullptr;
}

WINUSERAPI int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    const char *text = lpText != nullptr ? lpText : "";
    const char *caption = lpCaption != nullptr ? lpCaption : "Error";
    QvtMessageBoxProc proc;
    void *user;
    {
        std::lock_guard<std::mutex> lock(g_messageBoxMutex);
        proc = g_messageBoxProc;
        user = g_messageBoxUser;
    }
    // Called without the lock so that a handler may show boxes of its own or
    // replace itself.
    if (proc != nullptr) {
        return proc(user, hWnd, text, caption, uType);
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    return IDOK;
}

// ---------------------------------------------------------------------------
// Rectangles

namespace {

// Coordinates wrap like the platform's 32-bit integers instead of
// overflowing.
LONG wrappingAdd(LONG a, int b) {
    return static_cast<LONG>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

LONG wrappingSub(LONG a, int b) {
    return static_cast<LONG>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

bool isEmpty(const RECT &r) {
    return r.right <= r.left || r.bottom <= r.top;
}

} // namespace

WINUSERAPI BOOL WINAPI SetRect(LPRECT lprc, int xLeft, int yTop, int xRight, int yBottom) {
    if (lprc == nullptr) {
        return FALSE;
    }
    lprc->left = xLeft;
    lprc->top = yTop;
    lprc->right = xRight;
    lprc->bottom = yBottom;
    return TRUE;
}

WINUSERAPI BOOL WINAPI SetRectEmpty(LPRECT lprc) {
    return SetRect(lprc, 0, 0, 0, 0);
}

WINUSERAPI BOOL WINAPI CopyRect(LPRECT lprcDst, const RECT *lprcSrc) {
    if (lprcDst == nullptr || lprcSrc == nullptr) {
        return FALSE;
    }
    *lprcDst = *lprcSrc;
    return TRUE;
}

WINUSERAPI BOOL WINAPI IsRectEmpty(const RECT *lprc) {
    return lprc == nullptr || isEmpty(*lprc);
}

// The destination may be one of the sources: each result is computed before
// anything is written.
WINUSERAPI BOOL WINAPI IntersectRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2) {
    if (lprcDst == nullptr || lprcSrc1 == nullptr || lprcSrc2 == nullptr) {
        return FALSE;
    }
    const RECT &a = *lprcSrc1;
    const RECT &b = *lprcSrc2;
    // Touching edges share no pixel, so they do not overlap.
    if (isEmpty(a) || isEmpty(b) || a.left >= b.right || b.left >= a.right || a.top >= b.bottom ||
        b.top >= a.bottom) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    const RECT overlap = {std::max(a.left, b.left), std::max(a.top, b.top),
                          std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    *lprcDst = overlap;
    return TRUE;
}

WINUSERAPI BOOL WINAPI UnionRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2) {
    if (lprcDst == nullptr) {
        return FALSE;
    }
    const bool emptyA = IsRectEmpty(lprcSrc1);
    const bool emptyB = IsRectEmpty(lprcSrc2);
    if (emptyA && emptyB) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    if (emptyA || emptyB) {
        *lprcDst = emptyA ? *lprcSrc2 : *lprcSrc1;
        return TRUE;
    }
    const RECT &a = *lprcSrc1;
    const RECT &b = *lprcSrc2;
    const RECT bounds = {std::min(a.left, b.left), std::min(a.top, b.top),
                         std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
    *lprcDst = bounds;
    return TRUE;
}

// a minus b, but only when what is left is a rectangle: the overlap must span
// a's full height and start at its left or end at its right edge (or span its
// full width and touch its top or bottom). Any other overlap leaves a whole.
WINUSERAPI BOOL WINAPI SubtractRect(LPRECT lprcDst, const RECT *lprcSrc1, const RECT *lprcSrc2) {
    if (lprcDst == nullptr) {
        return FALSE;
    }
    if (IsRectEmpty(lprcSrc1)) {
        SetRectEmpty(lprcDst);
        return FALSE;
    }
    RECT result = *lprcSrc1;
    RECT overlap;
    if (lprcSrc2 != nullptr && IntersectRect(&overlap, lprcSrc1, lprcSrc2)) {
        const bool fullHeight = overlap.top == result.top && overlap.bottom == result.bottom;
        const bool fullWidth = overlap.left == result.left && overlap.right == result.right;
        if (fullHeight && fullWidth) {
            SetRectEmpty(lprcDst);
            return FALSE;
        }
        if (fullHeight) {
            if (overlap.left == result.left) {
                result.left = overlap.right;
            } else if (overlap.right == result.right) {
                result.right = overlap.left;
            }
        } else if (fullWidth) {
            if (overlap.top == result.top) {
                result.top = overlap.bottom;
            } else if (overlap.bottom == result.bottom) {
                result.bottom = overlap.top;
            }
        }
    }
    *lprcDst = result;
    return TRUE;
}

WINUSERAPI BOOL WINAPI OffsetRect(LPRECT lprc, int dx, int dy) {
    if (lprc == nullptr) {
        return FALSE;
    }
    lprc->left = wrappingAdd(lprc->left, dx);
    lprc->right = wrappingAdd(lprc->right, dx);
    lprc->top = wrappingAdd(lprc->top, dy);
    lprc->bottom = wrappingAdd(lprc->bottom, dy);
    return TRUE;
}

WINUSERAPI BOOL WINAPI InflateRect(LPRECT lprc, int dx, int dy) {
    if (lprc == nullptr) {
        return FALSE;
    }
    lprc->left = wrappingSub(lprc->left, dx);
    lprc->right = wrappingAdd(lprc->right, dx);
    lprc->top = wrappingSub(lprc->top, dy);
    lprc->bottom = wrappingAdd(lprc->bottom, dy);
    return TRUE;
}

WINUSERAPI BOOL WINAPI EqualRect(const RECT *lprc1, const RECT *lprc2) {
    if (lprc1 == nullptr || lprc2 == nullptr) {
        return FALSE;
    }
    return lprc1->left == lprc2->left && lprc1->top == lprc2->top &&
           lprc1->right == lprc2->right && lprc1->bottom == lprc2->bottom;
}

WINUSERAPI BOOL WINAPI PtInRect(const RECT *lprc, POINT pt) {
    if (lprc == nullptr) {
        return FALSE;
    }
    return pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top && pt.y < lprc->bottom;
}
