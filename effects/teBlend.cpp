// Alpha blend.
#include "effects/teBlend.h"

#include <cstring>

#include "pixels/Blend.h"

namespace qvt {

TBlendTransition::TBlendTransition(TComponent *owner) : TTimedTransitionEffect(owner) {}

TBlendTransition::~TBlendTransition() = default;

const rtl::TClassInfo &TBlendTransition::StaticClassInfo() {
    // Publishes only what it inherits.
    static const rtl::TClassInfo info =
        rtl::DeclareClass<TBlendTransition, TTimedTransitionEffect>("TBlendTransition").Build();
    return info;
}

TPixelFormat TBlendTransition::GetPixelFormat() const {
    TPixelFormat pf = GetDevicePixelFormat(false);
    // Without the fast kernel, three bytes per pixel are cheaper to mix than four.
    if (pf == pf32bit && !MMXAvailable) return pf24bit;
    return pf;
}

void TBlendTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TTimedTransitionEffect::Initialize(data, totalFrames);
    const bool highColor = data.PixelFormat == pf15bit || data.PixelFormat == pf16bit;
    if (data.HighColorDevice) {
        totalFrames = highColor ? 32 : 255;
        if (highColor || !MMXAvailable) {
            // The integer kernel skips equal words when that pays off.
            const int64_t bytes = static_cast<int64_t>(BytesPerScanLine(*data.Bitmap, data.PixelFormat, 32)) * data.Height;
            const int64_t words = bytes / 4;
            if (words <= 0) {
                EqualPercent = 0;
            } else {
                const auto *a = static_cast<const uint8_t *>(data.DstImage->ScanLine(data.Height - 1));
                const auto *b = static_cast<const uint8_t *>(data.SrcImage->ScanLine(data.Height - 1));
                int64_t equal = 0;
                for (int64_t i = 0; i < words; ++i) equal += std::memcmp(a + 4 * i, b + 4 * i, 4) == 0;
                EqualPercent = static_cast<int32_t>(equal * 100 / words);
            }
        }
    } else {
        DitherPattern = std::make_unique<TBitmap>();
        DitherPattern->SetMonochrome(true);
        DitherPattern->SetWidth(8);
        DitherPattern->SetHeight(8);
        // All cells start white: the destination shows through.
        PatBlt(DitherPattern->Canvas().Handle(), 0, 0, 8, 8, WHITENESS);
        totalFrames = 64;
    }
    BitBlt(data.Bitmap->Canvas().Handle(), 0, 0, data.Width, data.Height, data.SrcImage->Canvas().Handle(), 0, 0,
           SRCCOPY);
}

void TBlendTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                    int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    BlendBitmaps(*data.Bitmap, *data.DstImage, *data.SrcImage, DitherPattern.get(), data.PixelFormat, currentFrame,
                 EqualPercent);
    UpdateRect = TRect{0, 0, data.Width, data.Height};
}

void TBlendTransition::Finalize(TTETransitionData &data) {
    DitherPattern.reset();
    TTimedTransitionEffect::Finalize(data);
}

} // namespace qvt
