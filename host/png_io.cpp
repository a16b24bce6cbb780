// PNG writing through libpng.
#include "png_io.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qvt::host {

namespace {

// What went wrong while libpng wrote: the system's reason when a write
// failed, otherwise libpng's own message. libpng's default handlers would
// print to standard error and lose errno.
struct PngWriteState {
    FILE *file = nullptr;
    int error = 0;
    std::string message;
};

void pngWriteData(png_structp png, png_bytep data, size_t length) {
    auto *state = static_cast<PngWriteState *>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, state->file) != length) {
        state->error = errno ? errno : EIO;
        png_error(png, "write failed");
    }
}

void pngFlush(png_structp png) {
    auto *state = static_cast<PngWriteState *>(png_get_io_ptr(png));
    if (std::fflush(state->file) != 0) {
        state->error = errno ? errno : EIO;
        png_error(png, "write failed");
    }
}

void pngError(png_structp png, png_const_charp message) {
    auto *state = static_cast<PngWriteState *>(png_get_error_ptr(png));
    if (state->message.empty()) state->message = message;
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Encodes into `path` directly; WritePng wraps it so that a failed write
// leaves no partial file behind.
bool encodePng(const std::string &path, const RgbImage &image, std::string &error) {
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
    PngWriteState state;
    state.file = f.get();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "cannot write " + path + ": out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot write " + path + ": " +
                (state.error ? std::string(std::strerror(state.error)) : "PNG encoding failed: " + state.message);
        return false;
    }
    png_set_write_fn(png, &state, pngWriteData, pngFlush);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, const_cast<png_bytep>(image.rgb.data() + (size_t)y * image.width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    // The last buffered bytes reach the disk at fflush and fclose: either can
    // be where a full disk shows.
    if (std::fflush(f.get()) != 0 || std::fclose(f.release()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

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

bool EncodePng(const RgbImage &image, std::vector<uint8_t> &bytes, std::string &error) {
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() != (size_t)image.width * image.height * 3) {
        error = "empty or malformed picture";
        return false;
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    // The first call sizes the buffer, the second fills it.
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&png, nullptr, &size, 0, image.rgb.data(), 0, nullptr)) {
        bytes.resize(size);
        if (png_image_write_to_memory(&png, bytes.data(), &size, 0, image.rgb.data(), 0, nullptr)) {
            bytes.resize(size);
            return true;
        }
    }
    error = std::string("PNG encoding failed: ") + png.message;
    png_image_free(&png);
    return false;
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
    // The buffer for the picture is only made for a size the file can hold:
    // deflate packs at most 1032 bytes into one, and the rows the header
    // declares take height x (1 + width x bits per pixel / 8) bytes.
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    unsigned char head[26] = {};
    struct stat st {};
    if (file && std::fread(head, 1, sizeof head, file.get()) == sizeof head && ::fstat(fileno(file.get()), &st) == 0) {
        static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
        const int depth = head[24], type = head[25];
        const uint64_t bitsPerPixel = static_cast<uint64_t>(depth) * (type <= 6 ? channels[type] : 1);
        const uint64_t rowBytes = 1 + (static_cast<uint64_t>(png.width) * bitsPerPixel + 7) / 8;
        if (static_cast<uint64_t>(st.st_size) * 1032 < rowBytes * png.height) {
            error = "cannot read " + path + ": picture of " + std::to_string(png.width) + "x" +
                    std::to_string(png.height) + " pixels cannot come from " + std::to_string(st.st_size) +
                    " bytes of data";
            png_image_free(&png);
            return false;
        }
    }
    file.reset();
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
