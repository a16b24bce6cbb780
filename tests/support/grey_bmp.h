// Small grey mask pictures as 8-bit BMP files, the form the host hands the
// plug-in's bitmap masks in.
#ifndef QVT_TEST_GREY_BMP_H
#define QVT_TEST_GREY_BMP_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvt::test {

// An 8-bit BMP file of w x h with a grey palette; pixel (x, y) is
// grey(x, y). Rows are stored bottom-up, as the format has them.
template <class Grey> std::vector<uint8_t> GreyBmp(int w, int h, Grey grey) {
    const int stride = (w + 3) & ~3;
    const uint32_t bits = 14 + 40 + 1024;
    std::vector<uint8_t> f(bits + static_cast<size_t>(stride) * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, static_cast<uint32_t>(f.size()));
    put32(10, bits);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    f[26] = 1, f[28] = 8;
    for (int i = 0; i < 256; ++i) f[54 + 4 * i] = f[55 + 4 * i] = f[56 + 4 * i] = static_cast<uint8_t>(i);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f[bits + static_cast<size_t>(h - 1 - y) * stride + x] = static_cast<uint8_t>(grey(x, y));
    return f;
}

} // namespace qvt::test

#endif
