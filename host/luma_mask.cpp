// Luma masks.
#include "luma_mask.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libswscale/swscale.h>
}

#include "engine/teHostStreams.h"
#include "png_io.h"
#include "qvt/rtl/exceptions.h"
#include "qvt/rtl/graphics.h"
#include "qvt/rtl/streams.h"
#include "tool_error.h"

namespace qvt::host {

namespace {

uint8_t Luma(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>((299u * r + 587u * g + 114u * b + 500u) / 1000u);
}

[[noreturn]] void Refuse(const std::string &name, const std::string &why) {
    throw ToolError("cannot read mask " + name + ": " + why);
}

void CheckSize(const std::string &name, uint64_t width, uint64_t height) {
    if (width < 1 || height < 1) Refuse(name, "a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels has nothing in it");
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels)
        Refuse(name, "a picture of " + std::to_string(width) + "x" + std::to_string(height) + " pixels is too large");
}

GreyImage FromRgb(const RgbImage &rgb) {
    GreyImage map(rgb.width, rgb.height);
    for (int y = 0; y < rgb.height; ++y)
        for (int x = 0; x < rgb.width; ++x) {
            const uint8_t *p = rgb.Pixel(x, y);
            map.At(x, y) = Luma(p[0], p[1], p[2]);
        }
    return map;
}

// Binary PGM: "P5", width, height and the largest sample value as decimal
// numbers separated by blanks (comments from '#' to the end of a line), one
// blank, then the samples, one byte each up to 255 and two (most
// significant first) above.
GreyImage DecodePgm(const std::vector<uint8_t> &bytes, const std::string &name) {
    size_t at = 2;
    auto header = [&](const char *what) -> uint64_t {
        for (;;) {
            while (at < bytes.size() && std::isspace(bytes[at])) ++at;
            if (at < bytes.size() && bytes[at] == '#') {
                while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\r') ++at;
                continue;
            }
            break;
        }
        if (at >= bytes.size() || !std::isdigit(bytes[at])) Refuse(name, std::string("the PGM header has no ") + what);
        uint64_t value = 0;
        while (at < bytes.size() && std::isdigit(bytes[at])) {
            value = value * 10 + (bytes[at++] - '0');
            if (value > 0xFFFFFFFFu) Refuse(name, std::string("the PGM ") + what + " is out of range");
        }
        return value;
    };
    const uint64_t width = header("width"), height = header("height"), maxval = header("largest value");
    if (maxval < 1 || maxval > 65535)
        Refuse(name, "a PGM's largest value must be 1 to 65535, not " + std::to_string(maxval));
    if (at >= bytes.size() || !std::isspace(bytes[at])) Refuse(name, "the PGM header does not end in a blank");
    ++at;
    CheckSize(name, width, height);
    const uint64_t sampleBytes = maxval > 255 ? 2 : 1;
    const uint64_t needed = width * height * sampleBytes;
    if (bytes.size() - at < needed)
        Refuse(name, "the PGM data ends after " + std::to_string(bytes.size() - at) + " of " + std::to_string(needed) +
                         " bytes");
    GreyImage map(static_cast<int>(width), static_cast<int>(height));
    const uint8_t *p = bytes.data() + at;
    for (size_t i = 0; i < map.grey.size(); ++i) {
        const uint32_t v = sampleBytes == 2 ? (uint32_t{p[2 * i]} << 8) | p[2 * i + 1] : p[i];
        if (v > maxval) Refuse(name, "a PGM sample is above the largest value " + std::to_string(maxval));
        map.grey[i] = static_cast<uint8_t>((v * 255 + maxval / 2) / maxval);
    }
    return map;
}

// BMP pictures through the run-time library's codec, which checks every
// header, offset and run; the size is weighed here first, against the
// tool's own limits.
GreyImage DecodeBmp(const std::vector<uint8_t> &bytes, const std::string &name) {
    if (bytes.size() < 26) Refuse(name, "the BMP file ends inside its headers");
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | bytes[at + static_cast<size_t>(i)];
        return v;
    };
    const uint32_t headerSize = le(14, 4);
    uint64_t width, height;
    if (headerSize == 12) {
        width = le(18, 2);
        height = le(20, 2);
    } else {
        width = static_cast<uint64_t>(std::llabs(static_cast<int32_t>(le(18, 4))));
        height = static_cast<uint64_t>(std::llabs(static_cast<int32_t>(le(22, 4))));
    }
    CheckSize(name, width, height);
    rtl::TBitmap picture;
    try {
        rtl::TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
        picture.LoadFromStream(stream);
        if (picture.Empty()) Refuse(name, "the BMP picture is empty");
        rtl::TBitmap rgb;
        rgb.SetPixelFormat(rtl::pf32bit);
        rgb.SetSize(picture.Width(), picture.Height());
        BitBlt(rgb.Canvas().Handle(), 0, 0, picture.Width(), picture.Height(), picture.Canvas().Handle(), 0, 0,
               SRCCOPY);
        GreyImage map(picture.Width(), picture.Height());
        for (int y = 0; y < map.height; ++y) {
            const auto *row = static_cast<const uint8_t *>(rgb.ScanLine(y));
            for (int x = 0; x < map.width; ++x) map.At(x, y) = Luma(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        }
        return map;
    } catch (const rtl::Exception &e) {
        Refuse(name, e.Message());
    }
}

// The PNG reader takes a path; the bytes were read already, so it reads the
// file again (PNG files are told apart before any of this).
GreyImage DecodePng(const std::string &path) {
    RgbImage rgb;
    std::string error;
    if (!ReadPng(path, rgb, error)) throw ToolError(error);
    return FromRgb(rgb);
}

// More than the largest picture any of the formats can hold within the size
// limits, so that a device or a huge file is not read into memory.
constexpr uintmax_t kMaxMaskFileBytes = uintmax_t{512} << 20;

std::vector<uint8_t> ReadBytes(const std::string &path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        throw ToolError("cannot read mask " + path + ": not a file");
    if (!ec && std::filesystem::is_regular_file(status) && std::filesystem::file_size(path, ec) > kMaxMaskFileBytes)
        throw ToolError("cannot read mask " + path + ": a file of more than " +
                        std::to_string(kMaxMaskFileBytes >> 20) + " MiB is no mask");
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ToolError("cannot read mask " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw ToolError("cannot read mask " + path + ": " + std::strerror(errno));
    return bytes;
}

bool IsPng(const std::vector<uint8_t> &b) {
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return b.size() >= 8 && std::memcmp(b.data(), png, 8) == 0;
}

} // namespace

GreyImage DecodeLumaMap(const std::vector<uint8_t> &bytes, const std::string &name) {
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '5') return DecodePgm(bytes, name);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '2')
        Refuse(name, "plain-text PGM (P2) is not read; save it as binary PGM (P5)");
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return DecodeBmp(bytes, name);
    Refuse(name, "not a PNG, PGM or BMP picture");
}

GreyImage ReadLumaMap(const std::string &path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    if (IsPng(bytes)) return DecodePng(path);
    return DecodeLumaMap(bytes, path);
}

GreyImage StretchLumaMap(const GreyImage &map, int width, int height) {
    if (map.width == width && map.height == height) return map;
    SwsContext *context =
        sws_getContext(map.width, map.height, AV_PIX_FMT_GRAY8, width, height, AV_PIX_FMT_GRAY8,
                       SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    if (!context)
        throw ToolError("cannot stretch a mask of " + std::to_string(map.width) + "x" + std::to_string(map.height) +
                        " pixels to " + std::to_string(width) + "x" + std::to_string(height));
    // swscale reads and writes whole vectors: rows get room to spare.
    const int srcStride = (map.width + 63) / 64 * 64, dstStride = (width + 63) / 64 * 64;
    std::vector<uint8_t> src(static_cast<size_t>(srcStride) * (map.height + 2), 0);
    std::vector<uint8_t> dst(static_cast<size_t>(dstStride) * (height + 2), 0);
    for (int y = 0; y < map.height; ++y)
        std::memcpy(&src[static_cast<size_t>(y) * srcStride], &map.grey[static_cast<size_t>(y) * map.width],
                    static_cast<size_t>(map.width));
    const uint8_t *srcPlanes[4] = {src.data(), nullptr, nullptr, nullptr};
    const int srcStrides[4] = {srcStride, 0, 0, 0};
    uint8_t *dstPlanes[4] = {dst.data(), nullptr, nullptr, nullptr};
    const int dstStrides[4] = {dstStride, 0, 0, 0};
    sws_scale(context, srcPlanes, srcStrides, 0, map.height, dstPlanes, dstStrides);
    sws_freeContext(context);
    GreyImage out(width, height);
    for (int y = 0; y < height; ++y)
        std::memcpy(&out.grey[static_cast<size_t>(y) * width], &dst[static_cast<size_t>(y) * dstStride],
                    static_cast<size_t>(width));
    return out;
}

std::vector<uint8_t> GreyBmpFile(const GreyImage &map) {
    const uint32_t stride = (static_cast<uint32_t>(map.width) + 3) & ~3u;
    const uint32_t offset = 14 + 40 + 256 * 4;
    const uint32_t imageSize = stride * static_cast<uint32_t>(map.height);
    std::vector<uint8_t> f(offset + static_cast<size_t>(imageSize), 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    f[0] = 'B';
    f[1] = 'M';
    put(2, static_cast<uint32_t>(f.size()), 4);
    put(10, offset, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(map.width), 4);
    put(22, static_cast<uint32_t>(map.height), 4);
    put(26, 1, 2);
    put(28, 8, 2);
    put(34, imageSize, 4);
    put(46, 256, 4);
    for (uint32_t i = 0; i < 256; ++i) put(54 + 4 * i, i | (i << 8) | (i << 16), 4);
    // Bottom-up rows.
    for (int y = 0; y < map.height; ++y)
        std::memcpy(&f[offset + static_cast<size_t>(map.height - 1 - y) * stride],
                    &map.grey[static_cast<size_t>(y) * map.width], static_cast<size_t>(map.width));
    return f;
}

GreyImage RadialGradientMask(int width, int height) {
    GreyImage map(width, height);
    const double cx = width / 2.0, cy = height / 2.0;
    const double far = std::hypot(cx, cy);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) / far;
            map.At(x, y) = static_cast<uint8_t>(std::lround(255.0 * (1.0 - std::min(d, 1.0))));
        }
    return map;
}

GreyImage ClockSweepMask(int width, int height) {
    GreyImage map(width, height);
    const double cx = width / 2.0, cy = height / 2.0;
    constexpr double kTurn = 6.283185307179586;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Clockwise from straight up, 0 to one turn.
            double a = std::atan2(x + 0.5 - cx, cy - (y + 0.5));
            if (a < 0) a += kTurn;
            map.At(x, y) = static_cast<uint8_t>(255 - std::lround(255.0 * a / kTurn));
        }
    return map;
}

namespace mask_files {

namespace {
int pageWidth = 0, pageHeight = 0;
std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> held;
std::string lastError;

BOOL StreamAccess(const char *fileName, IStream **stream) {
    if (!stream) return FALSE;
    *stream = nullptr;
    if (!fileName) return FALSE;
    std::shared_ptr<const std::vector<uint8_t>> bytes = Find(fileName);
    if (!bytes) return FALSE;
    *stream = SHCreateMemStream(bytes->data(), static_cast<UINT>(bytes->size()));
    return *stream != nullptr;
}
} // namespace

void SetPageSize(int width, int height) {
    pageWidth = width;
    pageHeight = height;
}

void Add(const std::string &name, const GreyImage &mask) {
    held[name] = std::make_shared<const std::vector<uint8_t>>(GreyBmpFile(mask));
}

std::shared_ptr<const std::vector<uint8_t>> Find(const std::string &name) {
    lastError.clear();
    if (auto at = held.find(name); at != held.end()) return at->second;
    if (name.empty()) return nullptr;
    std::FILE *probe = std::fopen(name.c_str(), "rb");
    if (!probe) {
        // Not there: the effect's own "not found".
        if (errno != ENOENT && errno != ENOTDIR) lastError = "cannot read mask " + name + ": " + std::strerror(errno);
        return nullptr;
    }
    std::fclose(probe);
    try {
        GreyImage map = ReadLumaMap(name);
        if (pageWidth > 0 && pageHeight > 0) map = StretchLumaMap(map, pageWidth, pageHeight);
        Add(name, map);
        return held[name];
    } catch (const ToolError &e) {
        lastError = e.what();
        return nullptr;
    }
}

std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> All() { return held; }

std::string LastMaskError() { return lastError; }

void Install() { SetStreamAccess(&StreamAccess); }

} // namespace mask_files

} // namespace qvt::host
