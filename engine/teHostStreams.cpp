// The host's stream access.
#include "engine/teHostStreams.h"

namespace qvt {

namespace {
TStreamAccessProc access_ = nullptr;
}

void SetStreamAccess(TStreamAccessProc access) { access_ = access; }

TStreamAccessProc StreamAccess() { return access_; }

bool OpenHostStream(const char *fileName, IStream **stream) {
    *stream = nullptr;
    if (!access_) return false;
    IStream *opened = nullptr;
    if (!access_(fileName, &opened)) {
        // A host that says no but filled the variable anyway still gets its
        // stream back.
        if (opened) opened->lpVtbl->Release(opened);
        return false;
    }
    // "Found" without a stream is nothing to read from.
    if (!opened) return false;
    *stream = opened;
    return true;
}

} // namespace qvt
