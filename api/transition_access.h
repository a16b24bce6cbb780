// What the qvt program asks of the library beyond its public interface: a
// Transition over an effect the program built itself (with its masks and
// its own messages), so that every frame qvt writes is drawn by the
// library's render path.
#ifndef QVT_API_TRANSITION_ACCESS_H
#define QVT_API_TRANSITION_ACCESS_H

#include "engine/TransEff.h"
#include "qvt/transition.h"

namespace qvt::detail {

struct TransitionAccess {
    // The effect stays the caller's and must outlive the Transition.
    static Transition Borrow(TTransitionEffect &effect);
};

} // namespace qvt::detail

#endif
