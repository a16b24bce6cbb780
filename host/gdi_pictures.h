// Pictures as graphics objects: a picture in a 32-bit DIB section, and a
// memory DC with a bitmap selected; both freed with the object.
#ifndef QVT_HOST_GDI_PICTURES_H
#define QVT_HOST_GDI_PICTURES_H

#include <windows.h>

#include <string>

#include "api/gdi_objects.h"
#include "png_io.h"
#include "tool_error.h"

namespace qvt::host {

// A top-down 32-bit DIB section holding a picture; freed with the object.
class PictureBitmap {
public:
    explicit PictureBitmap(const RgbImage &picture) : width_(picture.width), height_(picture.height) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.width, -picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void *bits = nullptr;
        handle_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!handle_ || !bits) {
            if (handle_) DeleteObject(handle_);
            throw ToolError("out of graphics memory for a page of " + std::to_string(picture.width) + "x" +
                            std::to_string(picture.height) + " pixels");
        }
        bits_ = static_cast<uint8_t *>(bits);
        uint8_t *out = bits_;
        const size_t count = static_cast<size_t>(picture.width) * picture.height;
        for (size_t i = 0; i < count; ++i) {
            out[4 * i + 0] = picture.rgb[3 * i + 2];
            out[4 * i + 1] = picture.rgb[3 * i + 1];
            out[4 * i + 2] = picture.rgb[3 * i + 0];
            out[4 * i + 3] = 0;
        }
    }
    ~PictureBitmap() { DeleteObject(handle_); }
    PictureBitmap(const PictureBitmap &) = delete;
    PictureBitmap &operator=(const PictureBitmap &) = delete;
    HBITMAP Handle() const { return handle_; }
    // What the bitmap holds now, as an RGB picture (call GdiFlush first
    // after drawing into it).
    RgbImage Picture() const {
        RgbImage picture(width_, height_);
        for (size_t i = 0, n = static_cast<size_t>(width_) * height_; i < n; ++i) {
            picture.rgb[3 * i + 0] = bits_[4 * i + 2];
            picture.rgb[3 * i + 1] = bits_[4 * i + 1];
            picture.rgb[3 * i + 2] = bits_[4 * i + 0];
        }
        return picture;
    }

private:
    int width_, height_;
    HBITMAP handle_ = nullptr;
    uint8_t *bits_ = nullptr;
};

// A memory DC with a bitmap selected (cannot select: qvt::Error, which the
// program reports as any other failure).
using qvt::detail::SelectedBitmap;

} // namespace qvt::host

#endif
