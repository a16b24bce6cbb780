/* Kernel services: last-error code, fixed global memory, run-time loaded
 * modules, system time, the performance counter and Sleep.
 *
 * Module handles (HMODULE) are the loader's own handles: the value dlopen
 * returned for a module, and dlopen(NULL)'s value for the executable. */
#ifndef QVT_WINBASE_H
#define QVT_WINBASE_H

#include "qvt/wintypes.h"

/* Last-error codes set by the calls below. */
#define ERROR_SUCCESS 0
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_BAD_EXE_FORMAT 193

#define INFINITE 0xFFFFFFFFu

/* GlobalAlloc flags. Only fixed blocks exist: the HGLOBAL is the address. */
#define GMEM_FIXED 0x0000
#define GMEM_ZEROINIT 0x0040
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

/* GetModuleHandleExA flags. */
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;     /* 1..12 */
    WORD wDayOfWeek; /* 0 = Sunday .. 6 */
    WORD wDay;       /* 1..31 */
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;

/* Last error of the calling thread. */
WINBASEAPI DWORD WINAPI GetLastError(void);
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode);

/* Fixed memory blocks. A request for 0 bytes still returns a block.
 * Flags other than GMEM_ZEROINIT (movable blocks, ...) fail with
 * ERROR_INVALID_PARAMETER. GlobalFree returns NULL on success and hMem when
 * hMem is not a live block (ERROR_INVALID_HANDLE); GlobalFree(NULL) is NULL. */
WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);

/* Modules. A name containing '/' is a path (made absolute before loading);
 * a bare name is searched by the system loader. Failures: ERROR_MOD_NOT_FOUND
 * (missing file or dependency, unknown handle), ERROR_BAD_EXE_FORMAT (not a
 * shared object for this machine), ERROR_PROC_NOT_FOUND (an import that
 * cannot be resolved; a name the module does not export itself). */
WINBASEAPI HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
WINBASEAPI FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
WINBASEAPI BOOL WINAPI FreeLibrary(HMODULE hLibModule);

/* Absolute path of a module (NULL: the executable). Returns the length
 * without the terminator. When nSize is too small the path is cut to
 * nSize - 1 characters plus a terminator, the return value is nSize and the
 * last error ERROR_INSUFFICIENT_BUFFER. */
WINBASEAPI DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

/* Handle of a loaded module, by name (NULL: the executable) or, with
 * GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, by an address inside it. Takes a
 * reference (release with FreeLibrary) unless
 * GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT is given. */
WINBASEAPI BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE *phModule);

/* Current UTC time. */
WINBASEAPI void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);

/* Monotonic high-resolution counter (1,000,000,000 ticks per second unless
 * replaced with QvtSetPerformanceClock). */
WINBASEAPI BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency);
WINBASEAPI BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount);

/* Sleep(0) yields the rest of the time slice; Sleep(INFINITE) never returns. */
WINBASEAPI void WINAPI Sleep(DWORD dwMilliseconds);

#endif
