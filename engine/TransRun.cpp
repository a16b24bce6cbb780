// One run of an effect.
#include "engine/TransRun.h"

namespace qvt {

TTransitionRun::TTransitionRun(TTransitionEffect &effect, const TRect &area, HDC target, HDC source)
    : effect_(effect) {
    try {
        effect_.Prepare(data_, area, target, source);
        POINT old;
        OffsetWindowOrgEx(data_->Canvas->Handle(), -area.left, -area.top, &old);
    } catch (...) {
        effect_.Unprepare(data_);
        throw;
    }
}

TTransitionRun::~TTransitionRun() { effect_.Unprepare(data_); }

void TTransitionRun::Execute() { effect_.Execute(*data_); }

void RunTransition(TTransitionEffect &effect, const TRect &area, HDC target, HDC source) {
    TTransitionRun run(effect, area, target, source);
    run.Execute();
}

} // namespace qvt
