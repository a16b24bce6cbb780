// Registers the effect classes in unit order.
#include "effects/teRegister.h"

#include "effects/teBlend.h"
#include "effects/teBlock.h"
#include "effects/teDrip.h"
#include "effects/tePush.h"
#include "effects/teSlide.h"
#include "effects/teWipe.h"
#include "pixels/PixFormats.h"

namespace qvt {

void RegisterAllTransitions() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterTransition(TBlendTransition::StaticClassInfo());
    RegisterTransition(TBlockTransition::StaticClassInfo());
    RegisterTransition(TDripTransition::StaticClassInfo());
    RegisterTransition(TPushTransition::StaticClassInfo());
    RegisterTransition(TSlideTransition::StaticClassInfo());
    RegisterTransition(TWipeTransition::StaticClassInfo());
}

void StartTransitionEngine() {
    InitializePixelServices();
    RegisterAllTransitions();
}

} // namespace qvt
