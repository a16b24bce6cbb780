// Controls for tests and benchmarks only (not for users): force the plain
// kernels or refuse streaming stores, and re-read the display after the
// host chose another depth.
#ifndef QVT_PIXELS_TESTING_H
#define QVT_PIXELS_TESTING_H

#include "pixels/Kernels.h"
#include "pixels/PixFormats.h"

namespace qvt::testing {

// Sets the processor flags as if the processor had (or lacked) the features.
// The kernel table is chosen again, as start-up would with these flags.
inline void SetProcessorFlags(bool fast, bool streaming) {
    MMXAvailable = fast;
    ExtendedMMXAvailable = streaming;
    SelectKernels(ReadProcessorFeatures(), streaming);
}

// Puts back the flags of the processor the code runs on.
inline void RestoreProcessorFlags() {
    uint32_t f = DetectProcessorFeatures();
    SetProcessorFlags((f & pfeMmx) != 0, (f & pfeMmxExt) != 0);
}

// Re-reads the display's depth and pixel format (probing 16-bit displays).
inline TPixelFormat RefreshDisplay() { return GetDevicePixelFormat(true); }

} // namespace qvt::testing

#endif
