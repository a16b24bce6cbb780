// The frame driver of animated effects. An effect says how many frames its
// transition has (Initialize) and how to draw frame N (ExecuteFrame); the
// driver picks the frames so that a run lasts Milliseconds whatever the
// drawing speed (fewer, bigger steps on a slow machine, waits on a fast one),
// or draws every frame as fast as it can when Milliseconds is 0 or less.
// Every run ends with the arriving page copied whole.
#ifndef QVT_ENGINE_TETIMED_H
#define QVT_ENGINE_TETIMED_H

#include "engine/TransEff.h"
#include "engine/teChrono.h"

namespace qvt {

// Receives the pictures of a sampled run: called each time the screen shows
// the next output frame.
class TFrameSink {
public:
    virtual ~TFrameSink() = default;
    virtual void EmitFrame() = 0;
};

// A run sampled at a fixed frame rate instead of the clock, as video counts
// time: a run of d ms at f frames a second has N = round(d * f / 1000)
// output frames (at least two), so that N frames at f a second last d;
// output frame j shows the transition at time j * d / (N - 1), the first
// the departing page and the last the arriving page. An untimed run gives
// one output frame per effect frame. With At in 0 .. 1 the run gives one
// output frame only: the transition that far through, reached through the
// frames the run at FramesPerSecond draws before it. Used to render
// transitions offline, the same on any machine.
struct TFrameSampling {
    double FramesPerSecond = 25;
    TFrameSink *Sink = nullptr;
    double At = -1;
};

class TTimedTransitionEffect : public TTransitionEffect {
public:
    explicit TTimedTransitionEffect(TComponent *owner);
    ~TTimedTransitionEffect() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    void Execute(TTETransitionData &data) override;

    // Prepares a run (the base creates the dirty-rectangle list) and states
    // the number of frames.
    virtual void Initialize(TTETransitionData &data, int &totalFrames);
    // Frees the run's state (the base frees the dirty-rectangle list).
    virtual void Finalize(TTETransitionData &data);
    // The clocked frame loop.
    virtual void ExecuteTimed(int minStep, int totalFrames, TTETransitionData &data);
    // Draws frame currentFrame (1 .. totalFrames - 1); step is the distance
    // from lastExecutedFrame.
    virtual void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                              int lastExecutedFrame);
    // Frame numbers advance in multiples of this.
    virtual int GetMinStep() const { return 1; }

    // Busy-waits t milliseconds on Chrono.
    void Wait(float t);

    // Makes Execute sample the run (null: the clocked or untimed driver).
    void SetSampling(const TFrameSampling *sampling) { sampling_ = sampling ? *sampling : TFrameSampling{}; }
    // Number of output frames of a sampled run of `milliseconds` at `fps`:
    // the departing page, the frames in between, and the arriving page.
    // 0 for an untimed run.
    static int SampledFrameCount(int milliseconds, double fps);
    // The effect frame shown at output frame j of a sampled run (0 = the
    // departing page; totalFrames = the arriving page), before the rule
    // that frames only move forward.
    static int SampledFrameAt(int j, int milliseconds, double fps, int totalFrames, int minStep);
    // The effect frame a run has reached `at` of the way through (0 .. 1),
    // rounded down to a whole step; totalFrames from 1 on.
    static int FrameAtFraction(double at, int totalFrames, int minStep);

    std::unique_ptr<TTEChrono> Chrono;

protected:
    // Copies the whole arriving page to the screen.
    void ShowArrivingPage(TTETransitionData &data);
    void ExecuteSampled(int minStep, int totalFrames, TTETransitionData &data);

private:
    TFrameSampling sampling_;
};

} // namespace qvt

#endif
