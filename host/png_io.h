// PNG files of RGB pictures.
#ifndef QVT_HOST_PNG_IO_H
#define QVT_HOST_PNG_IO_H

#include <cstdint>
#include <string>
#include <vector>

namespace qvt::host {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // top-down rows of R, G, B bytes, no padding
};

// Writes the picture; on failure returns false and sets error to one line.
bool WritePng(const std::string &path, const RgbImage &image, std::string &error);

} // namespace qvt::host

#endif
