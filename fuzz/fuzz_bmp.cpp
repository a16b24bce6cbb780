// Fuzzes the BMP reader through TBitmap::LoadFromStream on a memory stream,
// which parses the bytes in place, as pictures reach a bitmap from a record's
// "Data" property or a mask file.
//
// A file is either refused with the reader's two errors, leaving the bitmap
// as it was, or loaded as a consistent picture: sane dimensions, a DIB pixel
// format, every scan line reachable, and a save and reload that gives the
// same picture back. Anything else stops the fuzzer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "qvt/rtl/exceptions.h"
#include "qvt/rtl/graphics.h"
#include "qvt/rtl/streams.h"

namespace {

using qvt::rtl::TBitmap;

size_t RowBytes(const TBitmap &b) {
    return static_cast<size_t>(qvt::rtl::BytesPerScanLine(b.Width(), qvt::rtl::PixelFormatBits(b.PixelFormat())));
}

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void CheckLoaded(TBitmap &b) {
    const int w = b.Width(), h = b.Height();
    Check(w >= 1 && h >= 1 && w <= 32768 && h <= 32768 && int64_t{w} * h <= (int64_t{1} << 28));
    const qvt::rtl::TPixelFormat pf = b.PixelFormat();
    Check(pf >= qvt::rtl::pf1bit && pf <= qvt::rtl::pf32bit);
    if (qvt::rtl::PixelFormatBits(pf) <= 8) Check(b.Palette() != nullptr);
    const size_t row = RowBytes(b);
    // Touch both ends of every scan line, so that a short buffer shows.
    volatile uint8_t sink = 0;
    for (int y = 0; y < h; ++y) {
        const auto *p = static_cast<const uint8_t *>(b.ScanLine(y));
        sink = static_cast<uint8_t>(sink + p[0] + p[row - 1]);
    }

    // What the writer makes of it reads back as the same picture.
    qvt::rtl::TMemoryStream saved;
    b.SaveToStream(saved);
    TBitmap again;
    saved.SetPosition(0);
    again.LoadFromStream(saved);
    Check(again.Width() == w && again.Height() == h && again.PixelFormat() == pf);
    for (int y = 0; y < h; ++y) Check(std::memcmp(b.ScanLine(y), again.ScanLine(y), row) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    TBitmap b;
    b.SetPixelFormat(qvt::rtl::pf24bit);
    b.SetSize(1, 1);
    try {
        qvt::rtl::TReadOnlyMemoryStream file(data, size);
        b.LoadFromStream(file);
    } catch (const qvt::rtl::EInvalidGraphic &e) {
        Check(std::string_view(e.what()) == "Bitmap image is not valid");
        Check(b.Width() == 1 && b.Height() == 1 && b.PixelFormat() == qvt::rtl::pf24bit);
        return 0;
    } catch (const qvt::rtl::EReadError &e) {
        Check(std::string_view(e.what()) == "Stream read error");
        Check(b.Width() == 1 && b.Height() == 1 && b.PixelFormat() == qvt::rtl::pf24bit);
        return 0;
    }
    // An empty input empties the bitmap; anything else loaded is checked.
    if (size == 0) {
        Check(b.Empty());
        return 0;
    }
    CheckLoaded(b);
    return 0;
}
