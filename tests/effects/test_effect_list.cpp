// The effect list against the class registry: after start-up every listed
// class that has been built is registered in list order, every record code
// creates its class, and the classes still to come are named.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "effects/teRegister.h"
#include "engine/TransEff.h"
#include "persist/qvtPers.h"

namespace qvt {
namespace {

TEST(EffectList, EveryRegisteredClassIsListedAndEveryCodeCreatesItsClass) {
    StartTransitionEngine();
    // Registered classes come in list order and all are listed.
    size_t at = 0;
    for (const rtl::TClassInfo *cls : TransitionClasses()) {
        while (at < TransitionList().size() && TransitionList()[at].ClassName != cls->ClassName()) ++at;
        ASSERT_LT(at, TransitionList().size()) << cls->ClassName() << " is not listed, or out of order";
    }
    std::string toCome;
    for (const TTransitionListEntry &e : TransitionList()) {
        SCOPED_TRACE(std::string(e.ClassName));
        if (!rtl::GetClass(e.ClassName)) {
            toCome += " " + std::string(e.ClassName);
            continue;
        }
        EXPECT_EQ(CreateTransition(e.ClassName)->ClassName(), e.ClassName);
        if (e.Code.empty()) continue;
        const std::string record = "QVTS1" + std::string(e.Code) + "00";
        std::unique_ptr<TTransitionEffect> effect;
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
        ASSERT_TRUE(effect);
        EXPECT_EQ(effect->ClassName(), e.ClassName);
    }
    if (!toCome.empty()) std::cout << "[ still to come ]" << toCome << "\n";
}

} // namespace
} // namespace qvt
