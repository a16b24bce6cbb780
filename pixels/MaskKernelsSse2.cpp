// The mask kernels with SSE2.
#include "pixels/Kernels.h"

namespace qvt {
bool FillSse2MaskKernels(TKernelTable &, bool) { return false; }
} // namespace qvt
