// Reading JPEG through libjpeg, PNG through png_io, and scaling through
// libswscale.
#include "image_io.h"

#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include "tool_error.h"

namespace qvt::host {

namespace {

// libjpeg reports errors through a callback that must not return.
struct JpegErrors {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegFail(j_common_ptr info) {
    auto *errors = reinterpret_cast<JpegErrors *>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg reports damaged data (a file cut short, a corrupt stream) as
// warnings and goes on with grey: the damage refuses the picture, with the
// library's message, like a damaged PNG. Trace messages (level 1 and up)
// are ignored.
void jpegMessage(j_common_ptr info, int level) {
    if (level < 0) jpegFail(info);
}

// A lower bound on what the coded picture takes: entropy coding (Huffman)
// spends at least one bit on each 8 x 8 block of the first component in
// every scan, so no file codes more than 512 pixels a byte; twice that
// leaves room for rounding and headers.
constexpr uint64_t kMaxJpegPixelsPerByte = 1024;

// Decodes in a function of its own with no C++ objects that need
// destruction between setjmp and longjmp.
bool decodeJpeg(FILE *file, uint64_t fileSize, RgbImage &image, std::string &error) {
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = jpegFail;
    errors.mgr.emit_message = jpegMessage;
    errors.message[0] = 0;
    JSAMPROW row = nullptr;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        error = errors.message;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    if (info.image_width > kMaxPictureSide || info.image_height > kMaxPictureSide ||
        static_cast<uint64_t>(info.image_width) * info.image_height > kMaxPicturePixels) {
        jpeg_destroy_decompress(&info);
        error = "picture of " + std::to_string(info.image_width) + "x" + std::to_string(info.image_height) +
                " pixels is too large";
        return false;
    }
    // The buffers for the picture are only made for a size the file can
    // hold; arithmetic coding, rare, packs tighter and is not bounded so.
    if (!info.arith_code &&
        static_cast<uint64_t>(info.image_width) * info.image_height > fileSize * kMaxJpegPixelsPerByte) {
        jpeg_destroy_decompress(&info);
        error = "picture of " + std::to_string(info.image_width) + "x" + std::to_string(info.image_height) +
                " pixels cannot come from " + std::to_string(fileSize) + " bytes of data";
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 0);
    while (info.output_scanline < info.output_height) {
        row = image.rgb.data() + static_cast<size_t>(info.output_scanline) * image.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

RgbImage readJpeg(const std::string &path) {
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fileno(file.get()), &st) != 0) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    RgbImage image;
    std::string error;
    if (!decodeJpeg(file.get(), static_cast<uint64_t>(st.st_size), image, error))
        throw ToolError("cannot read " + path + ": " + error);
    return image;
}

// swscale reads and writes whole vectors: rows get room to spare.
struct PaddedRows {
    int stride;
    std::vector<uint8_t> bytes;
    PaddedRows(int width, int height)
        : stride((width * 3 + 63) / 64 * 64), bytes(static_cast<size_t>(stride) * (height + 2), 0) {}
};

RgbImage scale(const RgbImage &picture, int width, int height, int filter) {
    // Bit-exact arithmetic: the same pixels whatever vector unit is used.
    SwsContext *context =
        sws_getContext(picture.width, picture.height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_RGB24,
                       filter | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    if (!context)
        throw ToolError("cannot scale a picture of " + std::to_string(picture.width) + "x" +
                        std::to_string(picture.height) + " pixels");
    PaddedRows src(picture.width, picture.height), dst(width, height);
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(&src.bytes[static_cast<size_t>(y) * src.stride], picture.Pixel(0, y),
                    static_cast<size_t>(picture.width) * 3);
    const uint8_t *srcPlanes[4] = {src.bytes.data(), nullptr, nullptr, nullptr};
    const int srcStrides[4] = {src.stride, 0, 0, 0};
    uint8_t *dstPlanes[4] = {dst.bytes.data(), nullptr, nullptr, nullptr};
    const int dstStrides[4] = {dst.stride, 0, 0, 0};
    sws_scale(context, srcPlanes, srcStrides, 0, picture.height, dstPlanes, dstStrides);
    sws_freeContext(context);
    RgbImage out(width, height);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.Pixel(0, y), &dst.bytes[static_cast<size_t>(y) * dst.stride], static_cast<size_t>(width) * 3);
    return out;
}

} // namespace

RgbImage ReadPicture(const std::string &path) {
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    unsigned char magic[8] = {};
    size_t got = std::fread(magic, 1, sizeof magic, file.get());
    if (std::ferror(file.get())) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    file.reset();
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (got == 8 && std::memcmp(magic, png, 8) == 0) {
        RgbImage image;
        std::string error;
        if (!ReadPng(path, image, error)) throw ToolError(error);
        return image;
    }
    if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) return readJpeg(path);
    throw ToolError("cannot read " + path + ": not a PNG or JPEG picture");
}

RgbImage FitPicture(const RgbImage &picture, int width, int height) {
    if (picture.width == width && picture.height == height) return picture;
    // The largest size with the picture's proportions that fits.
    int64_t w = width, h = static_cast<int64_t>(picture.height) * width / picture.width;
    if (h > height) {
        h = height;
        w = static_cast<int64_t>(picture.width) * height / picture.height;
    }
    w = std::max<int64_t>(1, std::min<int64_t>(w, width));
    h = std::max<int64_t>(1, std::min<int64_t>(h, height));
    RgbImage scaled = scale(picture, static_cast<int>(w), static_cast<int>(h), SWS_LANCZOS);
    RgbImage page(width, height);
    const int left = (width - scaled.width) / 2, top = (height - scaled.height) / 2;
    for (int y = 0; y < scaled.height; ++y)
        std::memcpy(page.Pixel(left, top + y), scaled.Pixel(0, y), static_cast<size_t>(scaled.width) * 3);
    return page;
}

RgbImage ScalePicture(const RgbImage &picture, int width, int height) {
    if (picture.width == width && picture.height == height) return picture;
    return scale(picture, width, height, SWS_AREA);
}

} // namespace qvt::host
