// Bitmap mask.
#include "effects/teBmpMsk.h"

#include <vector>

namespace qvt {

namespace {

constexpr char kMaskEmpty[] = "Transition mask is empty";
constexpr char kMaskNot8Bits[] = "Transition mask should have 8 bits per pixel";

// A palette with exactly the entries of a colour table, so that a bitmap
// made with it has the same table and blits between the two copy indexes.
HPALETTE PaletteOfTable(std::span<const RGBQUAD> table) {
    std::vector<uint8_t> storage(sizeof(LOGPALETTE) + table.size() * sizeof(PALETTEENTRY));
    auto *log = reinterpret_cast<LOGPALETTE *>(storage.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(table.size());
    for (size_t i = 0; i < table.size(); ++i)
        log->palPalEntry[i] = PALETTEENTRY{table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    HPALETTE palette = CreatePalette(log);
    if (!palette) throw rtl::EOutOfResources();
    return palette;
}

// The address one past the end of a bitmap's top scan line, where the mask
// kernels start.
uint8_t *BufferEnd(TBitmap &bitmap, int stride) { return static_cast<uint8_t *>(bitmap.ScanLine(0)) + stride; }

} // namespace

TBmpMaskTransition::TBmpMaskTransition(TComponent *owner)
    : TTimedTransitionEffect(owner), Mask(std::make_unique<TBitmap>()) {}

TBmpMaskTransition::~TBmpMaskTransition() = default;

const rtl::TClassInfo &TBmpMaskTransition::StaticClassInfo() {
    using B = TBmpMaskTransition;
    static const rtl::TClassInfo info =
        rtl::DeclareClass<B, TTimedTransitionEffect>("TBmpMaskTransition")
            .Property("Mask", &B::GetMask, &B::SetMask)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Property("SmoothingLevel", &B::GetSmoothingLevel, &B::SetSmoothingLevel)
            .Default(0)
            .Range(0, kMaxSmoothingLevel)
            .Build();
    return info;
}

void TBmpMaskTransition::SetMask(TBitmap *value) {
    if (value == Mask.get()) return;
    if (value && !value->Empty() && value->PixelFormat() != pf8bit) throw ETransitionEffectError(kMaskNot8Bits);
    Mask->Assign(value);
}

void TBmpMaskTransition::SetSmoothingLevel(uint16_t value) {
    if (value <= kMaxSmoothingLevel) SmoothingLevel = value;
}

int TBmpMaskTransition::FadeWindow(int smoothingLevel) {
    return smoothingLevel > 0 && smoothingLevel <= kMaxSmoothingLevel ? 8 << (smoothingLevel - 1) : 0;
}

bool TBmpMaskTransition::UseSmoothing() const {
    if (!MMXAvailable || SmoothingLevel == 0) return false;
    const TPixelFormat pf = GetDevicePixelFormat(false);
    return pf == pf15bit || pf == pf16bit || pf == pf24bit || pf == pf32bit;
}

TPixelFormat TBmpMaskTransition::GetPixelFormat() const {
    return UseSmoothing() ? pf32bit : GetDevicePixelFormat(false);
}

int TBmpMaskTransition::GetBitmapsWidth(int width) const {
    if (width <= 0) return width;
    // The windowed blend takes 8 pixels a step, the range copy 4 (two mask
    // bytes per pixel byte on 4 bits): with these widths a mask row holds as
    // many bytes as an image row holds pixels.
    const int unit = UseSmoothing() || GetPixelFormat() == pf4bit ? 8 : 4;
    return ((width - 1) / unit + 1) * unit;
}

void TBmpMaskTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TTimedTransitionEffect::Initialize(data, totalFrames);
    if (Mask->Empty()) throw ETransitionEffectError(kMaskEmpty);
    if (Mask->PixelFormat() != pf8bit) throw ETransitionEffectError(kMaskNot8Bits);
    SubtractRoutine.reset();
    AddRoutine.reset();
    StretchedMask.reset();
    // An empty area has nothing to reveal; the driver ends such a run.
    if (data.Width <= 0 || data.Height <= 0 || !data.Bitmap) {
        totalFrames = 0;
        return;
    }
    totalFrames = 256;
    if (UseSmoothing()) {
        const int window = FadeWindow(SmoothingLevel);
        totalFrames = 256 + window - 1;
        SubtractRoutine = CreateWindowBlendRoutine(window, false);
        AddRoutine = CreateWindowBlendRoutine(window, true);
    }

    StretchedMask = std::make_unique<TBitmap>();
    SetupBitmap(*StretchedMask, PaletteOfTable(Mask->ColorTable()), data.Bitmap->Width(), pf8bit, data.Height);
    HDC dc = StretchedMask->Canvas().Handle();
    // Each pixel takes the mask byte under its centre: levels are never
    // mixed or combined, since every byte is a moment of the run. The copy
    // between identical colour tables moves indexes, and the inverting copy
    // turns level m into 255 - m.
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, 0, 0, data.Width, data.Height, Mask->Canvas().Handle(), 0, 0, Mask->Width(), Mask->Height(),
               Reversed ? NOTSRCCOPY : SRCCOPY);
    SetStretchBltMode(dc, oldMode);
}

void TBmpMaskTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                      int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    UpdateRect = TRect{0, 0, data.Width, data.Height};
    ExcludeRect = TRect{0, 0, 0, 0};
    const int maskStride = BytesPerScanLine(*StretchedMask, pf8bit, 32);
    uint8_t *mask = BufferEnd(*StretchedMask, maskStride);
    const int pixelStride = BytesPerScanLine(*data.Bitmap, data.PixelFormat, 32);
    uint8_t *work = BufferEnd(*data.Bitmap, pixelStride);
    const uint8_t *arriving = BufferEnd(*data.DstImage, pixelStride);
    if (!SubtractRoutine) {
        // Every level reached since the last frame drawn: level 255 at frame
        // 1, level 1 at frame 255; level 0 comes with the final copy.
        const int count = maskStride * data.Height;
        CopyThroughMaskRange(work, arriving, mask, count, static_cast<uint8_t>(256 - currentFrame),
                             static_cast<uint8_t>(255 - lastExecutedFrame), data.PixelFormat);
        return;
    }
    // Level m starts at frame 256 - m and is whole one window later; the
    // frame is mixed afresh from the two untouched pages.
    const uint8_t *departing = BufferEnd(*data.SrcImage, pixelStride);
    BlendThroughMaskWindow(*SubtractRoutine, *AddRoutine, work, arriving, departing, mask, 255 - currentFrame,
                           data.Bitmap->Width(), maskStride, pixelStride, UpdateRect, ExcludeRect);
}

void TBmpMaskTransition::Finalize(TTETransitionData &data) {
    SubtractRoutine.reset();
    AddRoutine.reset();
    StretchedMask.reset();
    TTimedTransitionEffect::Finalize(data);
}

} // namespace qvt
