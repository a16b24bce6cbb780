// Registers the effect classes in unit order.
#include "effects/teRegister.h"

#include "effects/teBlend.h"
#include "effects/teDrip.h"
#include "effects/teSlide.h"
#include "pixels/PixFormats.h"

namespace qvt {

void RegisterAllTransitions() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterTransition(TBlendTransition::StaticClassInfo());
    RegisterTransition(TDripTransition::StaticClassInfo());
    RegisterTransition(TSlideTransition::StaticClassInfo());
}

void StartTransitionEngine() {
    InitializePixelServices();
    RegisterAllTransitions();
}

} // namespace qvt
