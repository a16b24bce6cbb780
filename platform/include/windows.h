/* The subset of the platform's C interface that QVT is written against.
 * On Linux this is our own stand-in (libqvtplatform); the names, signatures,
 * constants and handle types are the platform's. */
#ifndef QVT_WINDOWS_H
#define QVT_WINDOWS_H

#include "qvt/wintypes.h"
#include "qvt/winbase.h"
#include "qvt/mmsystem.h"
#include "qvt/winuser.h"
#include "qvt/wingdi.h"
#include "qvt/objidl.h"

#endif
