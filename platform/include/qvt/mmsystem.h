/* Multimedia timer services: the millisecond clock and timer-resolution
 * requests. */
#ifndef QVT_MMSYSTEM_H
#define QVT_MMSYSTEM_H

#include "qvt/wintypes.h"

#ifndef WINMMAPI
#define WINMMAPI WINBASEAPI
#endif

typedef UINT MMRESULT;

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97

/* Milliseconds since system start, wrapping after 2^32 ms: compare two
 * readings by unsigned 32-bit subtraction. Follows the clock set with
 * QvtSetPerformanceClock while one is set. */
WINMMAPI DWORD WINAPI timeGetTime(void);

/* Timer resolution requests; the system timer is already fine-grained, so
 * these only check the argument: period 0 gives TIMERR_NOCANDO. */
WINMMAPI MMRESULT WINAPI timeBeginPeriod(UINT uPeriod);
WINMMAPI MMRESULT WINAPI timeEndPeriod(UINT uPeriod);

#endif
