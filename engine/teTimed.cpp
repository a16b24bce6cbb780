// Frame driver.
#include "engine/teTimed.h"

#include <algorithm>
#include <cmath>

#include "qvt/rtl/exceptions.h"

namespace qvt {

namespace {
// Nearest integer, halves to even, as the processor rounds by default.
int RoundToInt(float x) { return static_cast<int>(std::nearbyint(static_cast<double>(x))); }
} // namespace

TTimedTransitionEffect::TTimedTransitionEffect(TComponent *owner)
    : TTransitionEffect(owner), Chrono(std::make_unique<TTEChrono>()) {}

TTimedTransitionEffect::~TTimedTransitionEffect() = default;

const rtl::TClassInfo &TTimedTransitionEffect::StaticClassInfo() {
    static const rtl::TClassInfo info =
        rtl::DeclareClass<TTimedTransitionEffect, TTransitionEffect>("TTimedTransitionEffect")
            .Property("Milliseconds", &TTransitionEffect::GetMilliseconds, &TTransitionEffect::SetMilliseconds)
            .Default(0)
            .Build();
    return info;
}

void TTimedTransitionEffect::Initialize(TTETransitionData &data, int &) {
    DirtyRects = std::make_unique<TFCDirtyRects>();
    DirtyRects->ClipRect = TRect{0, 0, data.Width, data.Height};
}

void TTimedTransitionEffect::Finalize(TTETransitionData &) { DirtyRects.reset(); }

void TTimedTransitionEffect::ExecuteFrame(TTETransitionData &, int, int, int, int) {}

void TTimedTransitionEffect::ShowArrivingPage(TTETransitionData &data) {
    BitBlt(RenderWindow->Canvas.Handle(), 0, 0, data.Width, data.Height, data.DstImage->Canvas().Handle(), 0, 0,
           SRCCOPY);
}

void TTimedTransitionEffect::Execute(TTETransitionData &data) {
    int totalFrames = 0;
    Initialize(data, totalFrames);
    struct Finally {
        TTimedTransitionEffect &self;
        TTETransitionData &data;
        ~Finally() {
            self.Finalize(data);
            self.WorkBitmap = nullptr;
        }
    } finally{*this, data};

    const int minStep = GetMinStep();
    if (totalFrames <= 0) rtl::Abort();
    WorkBitmap = data.Bitmap;
    if (sampling_.Sink) {
        ExecuteSampled(minStep, totalFrames, data);
        return;
    }
    if (Milliseconds > 0) {
        ExecuteTimed(minStep, totalFrames, data);
        return;
    }
    for (int frame = minStep; frame < totalFrames; frame += minStep) {
        ExecuteFrame(data, frame, minStep, totalFrames, frame - minStep);
        UpdateScreen(false);
    }
    ShowArrivingPage(data);
}

void TTimedTransitionEffect::ExecuteTimed(int minStep, int totalFrames, TTETransitionData &data) {
    // The pacing values are single precision, as the timings they come from.
    const float ms = static_cast<float>(Milliseconds);
    const float total = static_cast<float>(totalFrames);
    float budget = ms / total;
    float stepF = total / (ms / budget);
    if (static_cast<float>(minStep) > stepF) stepF = static_cast<float>(minStep);
    if (total < stepF) stepF = total;
    float updateCost = 0;
    float lastMark = 0;

    TTEChrono clock;
    clock.Start();
    auto now = [&clock] { return static_cast<float>(clock.Elapsed()); };
    int frame = RoundToInt(stepF);
    int lastFrame = 0;
    while (frame < totalFrames) {
        ExecuteFrame(data, frame, frame - lastFrame, totalFrames, lastFrame);
        lastFrame = frame;

        // Present the frame and measure what that cost.
        const float t0 = now();
        UpdateScreen(false);
        const float prevUpdateCost = updateCost;
        updateCost = now() - t0;
        // Wait until one update-cost before this step's budget runs out.
        const float t1 = now();
        if (data.AllowDelays) Wait((budget - prevUpdateCost) - (t1 - lastMark));
        const float waited = now() - t1;
        const float prevMark = lastMark;
        lastMark = now();
        // Choose the next step so that the run ends on time at the measured cost.
        const float work = lastMark - prevMark - waited;
        const float remaining = static_cast<float>(totalFrames - frame);
        const float left = ms - lastMark;
        if (left <= 0) {
            stepF = remaining;
        } else {
            stepF = work != 0 ? remaining / (left / work) : 0.0f;
            if (static_cast<float>(minStep) > stepF) {
                stepF = static_cast<float>(minStep);
            } else if (minStep > 1 && RoundToInt(stepF) % minStep != 0) {
                stepF = static_cast<float>(static_cast<int64_t>(minStep) * (RoundToInt(stepF) / minStep + 1));
            }
            if (remaining < stepF) stepF = remaining;
        }
        budget = left / (remaining / stepF);
        frame = RoundToInt(static_cast<float>(frame) + stepF);
    }
    ShowArrivingPage(data);
    clock.Pause();
}

int TTimedTransitionEffect::SampledFrameCount(int milliseconds, double fps) {
    if (milliseconds <= 0 || !(fps > 0)) return 0;
    const double n = std::nearbyint(static_cast<double>(milliseconds) * fps / 1000.0);
    return std::max(2, static_cast<int>(std::min(n, 1e7)));
}

int TTimedTransitionEffect::SampledFrameAt(int j, int milliseconds, double fps, int totalFrames, int minStep) {
    // Output frame j is at time j * d / (N - 1): the frame the transition
    // has reached then, in whole numbers so that no rounding moves a frame
    // that falls exactly on a boundary.
    const int outputs = SampledFrameCount(milliseconds, fps);
    if (j <= 0 || outputs < 2) return 0;
    if (j >= outputs - 1) return totalFrames;
    int64_t frame = static_cast<int64_t>(totalFrames) * j / (outputs - 1);
    frame -= frame % std::max(minStep, 1);
    return static_cast<int>(frame);
}

int TTimedTransitionEffect::FrameAtFraction(double at, int totalFrames, int minStep) {
    if (!(at > 0)) return 0;
    if (at >= 1) return totalFrames;
    // A moment given as a share of the run, such as 1/3, may land a hair
    // below the frame boundary it stands for.
    auto frame = static_cast<int64_t>(std::floor(static_cast<double>(totalFrames) * at + 1e-9));
    frame = std::min<int64_t>(frame, totalFrames);
    if (frame < totalFrames) frame -= frame % std::max(minStep, 1);
    return static_cast<int>(frame);
}

void TTimedTransitionEffect::ExecuteSampled(int minStep, int totalFrames, TTETransitionData &data) {
    TFrameSink &sink = *sampling_.Sink;
    if (sampling_.At >= 0) {
        // One still. Effects may build each frame on the one before, so the
        // frames leading to it are those the sampled (or untimed) run draws
        // before that moment: a still at the time of an output frame is that
        // frame.
        const int target = FrameAtFraction(sampling_.At, totalFrames, minStep);
        int last = 0;
        auto draw = [&](int frame) {
            ExecuteFrame(data, frame, frame - last, totalFrames, last);
            UpdateScreen(false);
            last = frame;
        };
        if (Milliseconds <= 0) {
            for (int frame = minStep; frame < target; frame += minStep) draw(frame);
        } else {
            const int outputs = SampledFrameCount(Milliseconds, sampling_.FramesPerSecond);
            for (int j = 1; j < outputs - 1 && static_cast<double>(j) / (outputs - 1) < sampling_.At; ++j) {
                const int frame = SampledFrameAt(j, Milliseconds, sampling_.FramesPerSecond, totalFrames, minStep);
                if (frame > last && frame < target) draw(frame);
            }
        }
        if (target >= totalFrames)
            ShowArrivingPage(data);
        else if (target > last)
            draw(target);
        sink.EmitFrame();
        return;
    }
    sink.EmitFrame(); // the departing page
    if (Milliseconds <= 0) {
        // Untimed: one output frame per effect frame.
        for (int frame = minStep; frame < totalFrames; frame += minStep) {
            ExecuteFrame(data, frame, minStep, totalFrames, frame - minStep);
            UpdateScreen(false);
            sink.EmitFrame();
        }
    } else {
        const int outputs = SampledFrameCount(Milliseconds, sampling_.FramesPerSecond);
        int last = 0;
        for (int j = 1; j < outputs - 1; ++j) {
            int frame = SampledFrameAt(j, Milliseconds, sampling_.FramesPerSecond, totalFrames, minStep);
            // Frames only move forward; an output frame that falls on the
            // same effect frame shows it again.
            if (frame > last && frame < totalFrames) {
                ExecuteFrame(data, frame, frame - last, totalFrames, last);
                UpdateScreen(false);
                last = frame;
            }
            sink.EmitFrame();
        }
    }
    ShowArrivingPage(data);
    sink.EmitFrame();
}

void TTimedTransitionEffect::Wait(float t) {
    if (t <= 0) return;
    Chrono->Start();
    while (Chrono->Elapsed() < t) {
    }
    Chrono->Reset();
}

} // namespace qvt
