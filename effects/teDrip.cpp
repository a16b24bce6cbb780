// Drip.
#include "effects/teDrip.h"

#include <algorithm>
#include <cstring>

namespace qvt {

namespace {
bool IsVertical(TTEEffectDirection d) { return d == tedDown || d == tedUp; }
} // namespace

TDripTransition::TDripTransition(TComponent *owner) : TTimedTransitionEffect(owner) {
    AllowedDirections = TTEEffectDirections{tedRight, tedLeft, tedDown, tedUp};
    SetDirection(tedLeft);
}

const rtl::TClassInfo &TDripTransition::StaticClassInfo() {
    static const rtl::TClassInfo info =
        rtl::DeclareClass<TDripTransition, TTimedTransitionEffect>("TDripTransition")
            .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
            .Default(tedLeft)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Build();
    return info;
}

bool TDripTransition::NeedWorkBitmap() const { return IsVertical(DirectionToUse()); }

// The base's dirty-rectangle list is not used: frames report UpdateRect.
void TDripTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    SavedStretchMode = SetStretchBltMode(data.DrawCanvas().Handle(), COLORONCOLOR);
    const int w = data.Width, h = data.Height;
    switch (DirectionToUse()) {
    case tedRight:
        totalFrames = w;
        StripRect = TRect{w, 0, w, h};
        break;
    case tedDown:
        totalFrames = h;
        StripRect = TRect{0, h, w, h};
        break;
    case tedUp:
        totalFrames = h;
        StripRect = TRect{0, 0, w, 0};
        break;
    default: // tedLeft
        totalFrames = w;
        StripRect = TRect{0, 0, 0, h};
        break;
    }
    RestRect = TRect{0, 0, w, h};
    WorkRows.clear();
    DstRows.clear();
    rowBytes_ = 0;
    // Nothing to show on an empty area: the driver ends such a run at once.
    if (w <= 0 || h <= 0) {
        totalFrames = 0;
        return;
    }
    if (NeedWorkBitmap() && data.Bitmap) {
        WorkRows.reserve(static_cast<size_t>(h));
        DstRows.reserve(static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
            WorkRows.push_back(static_cast<uint8_t *>(data.Bitmap->ScanLine(y)));
            DstRows.push_back(static_cast<const uint8_t *>(data.DstImage->ScanLine(y)));
        }
        // Both bitmaps have the run's format and width; the smaller row
        // length keeps the copies inside both should they ever differ.
        rowBytes_ = static_cast<size_t>(std::min(BytesPerScanLine(*data.DstImage, data.PixelFormat, 32),
                                                 BytesPerScanLine(*data.Bitmap, data.PixelFormat, 32)));
    }
}

void TDripTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                   int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    const TTEEffectDirection dir = DirectionToUse();
    // The strip covers the lines uncovered now, next to those uncovered before.
    switch (dir) {
    case tedRight:
        StripRect.right = StripRect.left;
        StripRect.left -= step;
        break;
    case tedDown:
        StripRect.bottom = StripRect.top;
        StripRect.top -= step;
        break;
    case tedUp:
        StripRect.top = StripRect.bottom;
        StripRect.bottom += step;
        break;
    default: // tedLeft
        StripRect.left = StripRect.right;
        StripRect.right += step;
        break;
    }
    const TRect all{0, 0, data.Width, data.Height};
    TRect strip;
    if (!IntersectRect(&strip, &StripRect, &all)) return;
    // The smeared line: the strip's left column or top row.
    const int sourceColumn = strip.left, sourceRow = strip.top;

    TRect rest;
    SubtractRect(&rest, &RestRect, &strip);
    RestRect = rest;

    const HDC target = data.DrawCanvas().Handle();
    const HDC page = data.DstImage->Canvas().Handle();
    BitBlt(target, strip.left, strip.top, strip.right - strip.left, strip.bottom - strip.top, page, strip.left,
           strip.top, SRCCOPY);
    UnionRect(&UpdateRect, &UpdateRect, &strip);

    if (!IsRectEmpty(&RestRect)) {
        if (IsVertical(dir)) {
            if (static_cast<size_t>(sourceRow) < DstRows.size()) {
                const uint8_t *line = DstRows[static_cast<size_t>(sourceRow)];
                for (int y = std::max(RestRect.top, 0); y < RestRect.bottom && y < static_cast<int>(WorkRows.size());
                     ++y)
                    std::memcpy(WorkRows[static_cast<size_t>(y)], line, rowBytes_);
            }
        } else {
            StretchBlt(target, RestRect.left, RestRect.top, RestRect.right - RestRect.left,
                       RestRect.bottom - RestRect.top, page, sourceColumn, strip.top, 1, strip.bottom - strip.top,
                       SRCCOPY);
        }
        UnionRect(&UpdateRect, &UpdateRect, &RestRect);
    }
}

// The base's list was not created, so its Finalize is not needed either.
void TDripTransition::Finalize(TTETransitionData &data) {
    if (SavedStretchMode != 0) SetStretchBltMode(data.DrawCanvas().Handle(), SavedStretchMode);
    WorkRows.clear();
    WorkRows.shrink_to_fit();
    DstRows.clear();
    DstRows.shrink_to_fit();
    rowBytes_ = 0;
}

} // namespace qvt
