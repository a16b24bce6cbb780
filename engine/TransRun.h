// One run of an effect as its callers drive it: prepare the images on the
// target, move the target's origin to the area's corner, play, and free the
// run's objects on every path (also when preparing or playing throws).
//
//     TTransitionRun run(effect, area, targetDC, pageDC);
//     run.Execute();
//
// The plug-in, the offline renderer, the benchmarks and the tests all run
// effects this way; the target's origin stays moved after the run, as the
// plug-in has always left it.
#ifndef QVT_ENGINE_TRANSRUN_H
#define QVT_ENGINE_TRANSRUN_H

#include <memory>

#include "engine/TransEff.h"

namespace qvt {

class TTransitionRun {
public:
    // Prepares the run: captures the target inside `area` when the effect
    // asks for it and copies the page of `source` (a memory DC) at (0, 0).
    TTransitionRun(TTransitionEffect &effect, const TRect &area, HDC target, HDC source);
    ~TTransitionRun();
    TTransitionRun(const TTransitionRun &) = delete;
    TTransitionRun &operator=(const TTransitionRun &) = delete;

    // Plays the transition. Exceptions travel on; the run is still freed
    // when the object goes.
    void Execute();

    TTransitionEffect &Effect() const { return effect_; }
    TTETransitionData &Data() const { return *data_; }

private:
    TTransitionEffect &effect_;
    std::unique_ptr<TTETransitionData> data_;
};

// Prepare, execute and free in one call.
void RunTransition(TTransitionEffect &effect, const TRect &area, HDC target, HDC source);

} // namespace qvt

#endif
