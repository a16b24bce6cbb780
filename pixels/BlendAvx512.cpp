// The blend kernels with AVX-512 (F and BW): sixty-four bytes per step.
// Compiled for AVX-512; the table takes them only on processors that have
// it (and AVX2, whose mask kernels the same table keeps).
//
// Half the instructions per byte of the AVX2 kernels: at 1920 x 1080 the
// integer routine on 5-6-5 frames is as much work for the core as for the
// memory with 32-byte steps, and falls back under the memory's time with
// 64-byte ones.
#include "pixels/BlendSimd.h"

#if defined(__AVX512F__) && defined(__AVX512BW__)
#include "pixels/SimdAvx512.h"

namespace qvt {

bool FillAvx512Kernels(TKernelTable &table, bool streaming) {
    using Kernel = blend::VectorKernel<simd::Avx512Ops>;
    table.BlendBytes = streaming ? Kernel::BlendBytes<true> : Kernel::BlendBytes<false>;
    blend::VectorWords<simd::Avx512Ops>::Fill(table, streaming);
    table.Name = streaming ? "avx512+stream" : "avx512";
    return true;
}

} // namespace qvt

#else

namespace qvt {
bool FillAvx512Kernels(TKernelTable &, bool) { return false; }
} // namespace qvt

#endif
