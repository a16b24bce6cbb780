// BMP file reading and writing, independent of bitmap handles: the decoder
// validates a whole file held in memory and produces bottom-up rows of one of
// the DIB pixel formats; the encoder writes such rows as a BMP file.
#ifndef QVT_RTL_BMP_CODEC_H
#define QVT_RTL_BMP_CODEC_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "qvt/rtl/graphics.h"

namespace qvt::rtl::bmp {

// Sanity limits checked before anything is allocated.
inline constexpr int64_t kMaxDimension = 32768;
inline constexpr int64_t kMaxPixels = int64_t(1) << 28;

struct Decoded {
    int width = 0;
    int height = 0;
    TPixelFormat format = pf32bit; // pf1bit..pf32bit
    std::vector<RGBQUAD> table;    // paletted formats: 1..2^bits entries
    std::vector<uint8_t> pixels;   // bottom-up rows, BytesPerScanLine(width, bits) apart
};

// Decodes a complete BMP file. Structural errors raise EInvalidGraphic
// ("Bitmap image is not valid"); data that ends too early raises EReadError
// ("Stream read error").
Decoded Decode(const uint8_t *data, size_t size);

// Writes a BMP file (file header, 40-byte info header, masks for pf16bit,
// colour table for paletted formats, bottom-up rows).
void Encode(TStream &out, int width, int height, TPixelFormat format, std::span<const RGBQUAD> table,
            const uint8_t *bottomUpRows);

} // namespace qvt::rtl::bmp

#endif
