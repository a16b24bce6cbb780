// Registration of every effect class, in the order the effect units
// initialise when the module loads.
#ifndef QVT_EFFECTS_TEREGISTER_H
#define QVT_EFFECTS_TEREGISTER_H

namespace qvt {

void RegisterAllTransitions();

} // namespace qvt

#endif
