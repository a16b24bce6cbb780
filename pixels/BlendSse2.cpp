// The blend kernels with SSE2: sixteen bytes per step.
#include "pixels/BlendSimd.h"

#if defined(__SSE2__)
#include "pixels/SimdSse2.h"

namespace qvt {

bool FillSse2Kernels(TKernelTable &table, bool streaming) {
    using Kernel = blend::VectorKernel<simd::Sse2Ops>;
    table.BlendBytes = streaming ? Kernel::BlendBytes<true> : Kernel::BlendBytes<false>;
    blend::VectorWords<simd::Sse2Ops>::Fill(table, streaming);
    table.Name = streaming ? "sse2+stream" : "sse2";
    return true;
}

} // namespace qvt

#else

namespace qvt {
bool FillSse2Kernels(TKernelTable &, bool) { return false; }
} // namespace qvt

#endif
