// How a kernel benchmark states its speed against the memory bound: the
// kernel and a plain streaming loop over the same bytes are timed in turn
// in the same run, and the counters give the bound's median time
// (`bound_us`) and the ratio of the two medians (`x_bound`, 1.0 = at the
// bound).
#ifndef QVT_BENCH_BOUND_REPORT_H
#define QVT_BENCH_BOUND_REPORT_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qvt::bench {

inline void ReportAgainstBound(benchmark::State &state, std::vector<double> kernelTimes,
                               std::vector<double> boundTimes, int64_t bytesPerIteration) {
    auto median = [](std::vector<double> &v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double b = median(boundTimes);
    state.counters["bound_us"] = b * 1e6;
    state.counters["x_bound"] = median(kernelTimes) / b;
    state.SetBytesProcessed(int64_t(state.iterations()) * bytesPerIteration);
}

} // namespace qvt::bench

#endif
