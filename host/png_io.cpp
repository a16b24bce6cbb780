// PNG writing through libpng.
#include "png_io.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qvt::host {

// Encodes into `path` directly; WritePng wraps it so that a failed write
// leaves no partial file behind.
static bool encodePng(const std::string &path, const RgbImage &image, std::string &error) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() != (size_t)image.width * image.height * 3) {
        error = "cannot write " + path + ": empty or malformed picture";
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "cannot write " + path + ": out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot write " + path + ": PNG encoding failed";
        return false;
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.rgb.data() + (size_t)y * image.width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(f.get()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool WritePng(const std::string &path, const RgbImage &image, std::string &error) {
    std::string part = path + ".part";
    if (!encodePng(part, image, error)) {
        std::remove(part.c_str());
        if (error.find(part) != std::string::npos) error.replace(error.find(part), part.size(), path);
        return false;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

bool ReadPng(const std::string &path, RgbImage &image, std::string &error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        error = "cannot read " + path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    if (png.width > kMaxPictureSide || png.height > kMaxPictureSide ||
        static_cast<uint64_t>(png.width) * png.height > kMaxPicturePixels) {
        error = "cannot read " + path + ": picture of " + std::to_string(png.width) + "x" +
                std::to_string(png.height) + " pixels is too large";
        png_image_free(&png);
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    RgbImage out(static_cast<int>(png.width), static_cast<int>(png.height));
    const png_color black{0, 0, 0};
    if (!png_image_finish_read(&png, &black, out.rgb.data(), 0, nullptr)) {
        error = "cannot read " + path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    image = std::move(out);
    return true;
}

} // namespace qvt::host
