// The smoothing masks as the tests model them: how a pixel's grey fades
// once the pattern reaches it, at each smoothing level, and the graded
// blend that shows a grey on screen.
#ifndef QVT_TEST_SMOOTHING_MODEL_H
#define QVT_TEST_SMOOTHING_MODEL_H

#include <cstdint>

#include "effect_stage.h"

namespace qvt::test {

// A level's fade: the grey falls by `step` a frame over `steps` frames from
// `top`, then goes to 0; `bottom` is the last grey before that.
struct Greys {
    int step, steps, top, bottom;
};
constexpr Greys kGreys[7] = {{}, {31, 8, 236, 19}, {16, 15, 239, 15}, {8, 31, 247, 7},
                             {4, 63, 251, 3}, {3, 85, 253, 1}, {2, 127, 253, 1}};

// The grey at frame t of a pixel first reached in pattern frame `reached`.
inline int GreyAt(const Greys &g, int reached, int t) {
    if (t < reached) return 255;
    return t - reached < g.steps ? g.top - (t - reached) * g.step : 0;
}

// The graded blend, per byte: arriving + floor((departing - arriving) * w / 256).
inline Rgb Mix(Rgb a, Rgb d, int m) {
    const int w = m == 0 ? 0 : m + 1;
    auto one = [w](uint8_t x, uint8_t y) { return static_cast<uint8_t>(x + (((y - x) * w) >> 8)); };
    return Rgb{one(a.r, d.r), one(a.g, d.g), one(a.b, d.b)};
}

} // namespace qvt::test

#endif
