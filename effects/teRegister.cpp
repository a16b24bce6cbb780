// Registers the effect classes in unit order.
#include "effects/teRegister.h"

#include "effects/teBlend.h"
#include "effects/teBlock.h"
#include "effects/teBmpMk2.h"
#include "effects/teBmpMsk.h"
#include "effects/teCircle.h"
#include "effects/teDiagon.h"
#include "effects/teDrip.h"
#include "effects/teFuse.h"
#include "effects/teIntrlc.h"
#include "effects/tePush.h"
#include "effects/teRadial.h"
#include "effects/teRoll.h"
#include "effects/teSlide.h"
#include "effects/teWFall.h"
#include "effects/teWipe.h"
#include "pixels/PixFormats.h"

namespace qvt {

void RegisterAllTransitions() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterTransition(TBmpMaskTransition::StaticClassInfo());
    RegisterTransition(TBmpMaskTransition2::StaticClassInfo());
    RegisterTransition(TFuseTransition::StaticClassInfo());
    RegisterTransition(TBlendTransition::StaticClassInfo());
    RegisterTransition(TBlockTransition::StaticClassInfo());
    RegisterTransition(TCircleTransition::StaticClassInfo());
    RegisterTransition(TDiagonalTransition::StaticClassInfo());
    RegisterTransition(TDripTransition::StaticClassInfo());
    RegisterTransition(TInterlacedTransition::StaticClassInfo());
    RegisterTransition(TWaterfallTransition::StaticClassInfo());
    RegisterTransition(TPushTransition::StaticClassInfo());
    RegisterTransition(TRadialTransition::StaticClassInfo());
    RegisterTransition(TRollTransition::StaticClassInfo());
    RegisterTransition(TSlideTransition::StaticClassInfo());
    RegisterTransition(TWipeTransition::StaticClassInfo());
}

void StartTransitionEngine() {
    InitializePixelServices();
    RegisterAllTransitions();
}

} // namespace qvt
