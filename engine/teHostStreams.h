// The host's stream access as the engine sees it: a function that opens a
// file the host knows by name and hands back a COM stream on its bytes. The
// plug-in sets it when the host registers its callback; the tool and the
// tests set their own. Effects that read files named by a property (the
// file-based bitmap mask) call it; none is set at start.
#ifndef QVT_ENGINE_TEHOSTSTREAMS_H
#define QVT_ENGINE_TEHOSTSTREAMS_H

#include <windows.h>

namespace qvt {

// TRUE when *stream was filled with a stream positioned at the file's start;
// the caller releases it.
using TStreamAccessProc = BOOL (*)(const char *fileName, IStream **stream);

void SetStreamAccess(TStreamAccessProc access);
TStreamAccessProc StreamAccess();

// Opens a file through the stream access set; false when none is set or it
// did not find the file. On true the caller owns *stream.
bool OpenHostStream(const char *fileName, IStream **stream);

} // namespace qvt

#endif
