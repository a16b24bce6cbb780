// The blend kernels with AVX2: thirty-two bytes per step. Compiled for
// AVX2; the table takes them only on processors that have it.
#include "pixels/BlendSimd.h"

#if defined(__AVX2__)
#include "pixels/SimdAvx2.h"

namespace qvt {

bool FillAvx2Kernels(TKernelTable &table, bool streaming) {
    using Kernel = blend::VectorKernel<simd::Avx2Ops>;
    table.BlendBytes = streaming ? Kernel::BlendBytes<true> : Kernel::BlendBytes<false>;
    blend::VectorWords<simd::Avx2Ops>::Fill(table, streaming);
    table.Name = streaming ? "avx2+stream" : "avx2";
    return true;
}

} // namespace qvt

#else

namespace qvt {
bool FillAvx2Kernels(TKernelTable &, bool) { return false; }
} // namespace qvt

#endif
