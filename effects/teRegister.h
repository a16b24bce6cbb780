// Registration of every effect class, in the order the effect units
// initialise when the module loads, and the start-up every module that
// plays effects runs once.
#ifndef QVT_EFFECTS_TEREGISTER_H
#define QVT_EFFECTS_TEREGISTER_H

namespace qvt {

void RegisterAllTransitions();

// Module start-up, in the order the units initialise: pixel services first,
// then each effect unit registers its class. Repeated calls do nothing more.
void StartTransitionEngine();

} // namespace qvt

#endif
