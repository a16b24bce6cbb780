// The mask kernels with AVX2.
#include "pixels/Kernels.h"

namespace qvt {
bool FillAvx2MaskKernels(TKernelTable &, bool) { return false; }
} // namespace qvt
