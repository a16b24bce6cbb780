/* Basic types, handles and structures of the platform's C interface.
 *
 * Only what the engine, the plug-in and the host stand-in use is declared.
 * Names, sizes and field orders follow the platform headers, so that code
 * written against this subset also builds against the real ones. */
#ifndef QVT_WINTYPES_H
#define QVT_WINTYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define QVT_EXTERN_C extern "C"
#else
#define QVT_EXTERN_C
#endif

/* Everything the platform library exports is visible; everything else is hidden. */
#define WINAPI
#define CALLBACK
#define APIENTRY
#define WINGDIAPI QVT_EXTERN_C __attribute__((visibility("default")))
#define WINBASEAPI QVT_EXTERN_C __attribute__((visibility("default")))
#define WINUSERAPI QVT_EXTERN_C __attribute__((visibility("default")))

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int INT;
typedef unsigned int UINT;
typedef int16_t SHORT;
typedef char CHAR;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef ULONG_PTR SIZE_T;
typedef ULONG_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef int64_t LONGLONG;
typedef DWORD COLORREF;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL 0
#endif

/* Handles are opaque pointers of distinct types, so that passing a brush
 * where a bitmap is expected does not compile. */
#define DECLARE_HANDLE(name) \
    struct name##__ {        \
        int unused;          \
    };                       \
    typedef struct name##__ *name

typedef void *HANDLE;
typedef void *HGDIOBJ;
typedef HANDLE HGLOBAL;
DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HDC);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HPEN);
DECLARE_HANDLE(HPALETTE);
DECLARE_HANDLE(HRGN);
DECLARE_HANDLE(HFONT);
DECLARE_HANDLE(HINSTANCE);
typedef HINSTANCE HMODULE;

typedef INT_PTR (*FARPROC)(void);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT *LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER;

#define MAX_PATH 260

#endif
