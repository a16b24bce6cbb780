// Push.
#include "effects/tePush.h"

namespace qvt {

TPushTransition::TPushTransition(TComponent *owner) : TTimedTransitionEffect(owner) {
    AllowedDirections = {tedRight, tedLeft, tedDown, tedUp};
    SetDirection(tedDown);
}

const rtl::TClassInfo &TPushTransition::StaticClassInfo() {
    static const rtl::TClassInfo info =
        rtl::DeclareClass<TPushTransition, TTimedTransitionEffect>("TPushTransition")
            .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
            .Default(tedDown)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Build();
    return info;
}

void TPushTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    TTimedTransitionEffect::Initialize(data, totalFrames);
    totalFrames = 0;
    // An empty area has nothing to push; the driver ends such a run.
    if (data.Width <= 0 || data.Height <= 0) return;
    switch (DirectionToUse()) {
    case tedRight:
    case tedLeft: totalFrames = data.Width; break;
    case tedDown:
    case tedUp: totalFrames = data.Height; break;
    default: break;
    }
}

void TPushTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                   int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    HDC draw = data.DrawCanvas().Handle();
    HDC departing = data.SrcImage->Canvas().Handle();
    HDC arriving = data.DstImage->Canvas().Handle();
    const int w = data.Width, h = data.Height, f = currentFrame;
    // The departing page's visible part first, then the arriving page's.
    switch (DirectionToUse()) {
    case tedRight:
        BitBlt(draw, f, 0, w - f, h, departing, 0, 0, SRCCOPY);
        BitBlt(draw, 0, 0, f, h, arriving, w - f, 0, SRCCOPY);
        break;
    case tedLeft:
        BitBlt(draw, 0, 0, w - f, h, departing, f, 0, SRCCOPY);
        BitBlt(draw, w - f, 0, f, h, arriving, 0, 0, SRCCOPY);
        break;
    case tedDown:
        BitBlt(draw, 0, f, w, h - f, departing, 0, 0, SRCCOPY);
        BitBlt(draw, 0, 0, w, f, arriving, 0, h - f, SRCCOPY);
        break;
    case tedUp:
        BitBlt(draw, 0, 0, w, h - f, departing, 0, f, SRCCOPY);
        BitBlt(draw, 0, h - f, w, f, arriving, 0, 0, SRCCOPY);
        break;
    default: break;
    }
}

} // namespace qvt
