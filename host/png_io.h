// PNG files of RGB pictures.
#ifndef QVT_HOST_PNG_IO_H
#define QVT_HOST_PNG_IO_H

#include <cstdint>
#include <string>
#include <vector>

namespace qvt::host {

// Pictures larger than this are refused when read.
inline constexpr uint32_t kMaxPictureSide = 16384;
inline constexpr uint64_t kMaxPicturePixels = 64ull << 20;

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // top-down rows of R, G, B bytes, no padding

    RgbImage() = default;
    RgbImage(int w, int h) : width(w), height(h), rgb(static_cast<size_t>(w) * h * 3) {}
    RgbImage(int w, int h, std::vector<uint8_t> pixels) : width(w), height(h), rgb(std::move(pixels)) {}
    uint8_t *Pixel(int x, int y) { return rgb.data() + (static_cast<size_t>(y) * width + x) * 3; }
    const uint8_t *Pixel(int x, int y) const { return rgb.data() + (static_cast<size_t>(y) * width + x) * 3; }
};

// Writes the picture; on failure returns false and sets error to one line.
// The file appears whole or not at all (written under a temporary name).
bool WritePng(const std::string &path, const RgbImage &image, std::string &error);

// The picture as the bytes of a PNG file; on failure returns false and sets
// error to one line.
bool EncodePng(const RgbImage &image, std::vector<uint8_t> &bytes, std::string &error);

// Reads a PNG file of any colour type as RGB (transparency composited on
// black); on failure returns false and sets error to one line.
bool ReadPng(const std::string &path, RgbImage &image, std::string &error);

} // namespace qvt::host

#endif
