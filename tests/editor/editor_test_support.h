// Helpers of the editor tests: an effect class that publishes one property
// of every kind a record carries (with setters that ignore some values, as
// effect setters do), decoding, and the value of every catalogue property.
//
// TEditorProbeTransition is never registered with the transition registry,
// so the catalogue of registered classes stays that of the real effects.
#ifndef QVT_TEST_EDITOR_SUPPORT_H
#define QVT_TEST_EDITOR_SUPPORT_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "effects/teRegister.h"
#include "engine/teTimed.h"
#include "persist/qvtCatalog.h"
#include "persist/qvtPers.h"
#include "qvt/rtl/graphics.h"

namespace qvt::test {

enum TProbeOption : uint8_t { poFirst, poSecond, poThird };
inline constexpr std::string_view kProbeOptionNames[] = {"poFirst", "poSecond", "poThird"};
constexpr rtl::TEnumNames EnumValueNames(TProbeOption) { return kProbeOptionNames; }
using TProbeOptions = rtl::TSet<TProbeOption>;

class TEditorProbeTransition : public TTimedTransitionEffect {
public:
    explicit TEditorProbeTransition(TComponent *owner) : TTimedTransitionEffect(owner) {
        AllowedDirections = {tedRight, tedLeft};
        Direction = tedRight;
        Pass2Options = new TTEPass2OptionsType;
    }
    ~TEditorProbeTransition() override { delete Pass2Options; }

    static const rtl::TClassInfo &StaticClassInfo() {
        using P = TEditorProbeTransition;
        static const rtl::TClassInfo info =
            rtl::DeclareClass<P, TTimedTransitionEffect>("TEditorProbeTransition")
                .Property("Direction", &TTransitionEffect::GetDirection, &TTransitionEffect::SetDirection)
                .Default(tedRight)
                .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
                .Default(false)
                .Property("Style", &P::GetStyle, &P::SetStyle)
                .Default(1)
                .Range(1, 5)
                .Property("SubStyle", &P::GetSubStyle, &P::SetSubStyle)
                .Default(1)
                .Range(1, 5)
                .Property("Level", &P::GetLevel, &P::SetLevel)
                .Default(0)
                .Range(-3, 3)
                .Property("Size", &P::Size, &P::Size) // no default: always written
                .Property("Colour", &P::Colour, &P::Colour)
                .Default(0)
                .Property("Option", &P::GetOption, &P::SetOption)
                .Default(poFirst)
                .Property("Options", &P::Options, &P::Options)
                .Default(TProbeOptions{})
                .Property("Caption", &P::Caption, &P::Caption)
                .Property("FileName", &P::GetFileName, &P::SetFileName)
                .Property("Ratio", &P::Ratio, &P::Ratio)
                .Property("Mask", &P::GetMask)
                .Property("Counter", &P::GetCounter) // read-only: neither listed nor written
                .Property("Scratch", &P::Scratch, &P::Scratch)
                .Stored(false)
                .Build();
        return info;
    }
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    std::string GetDescription() const override { return "Editor probe"; }

    int32_t GetStyle() const { return Style; }
    void SetStyle(int32_t v) {
        if (v >= 1 && v <= 5) Style = v;
    }
    // Takes only sub-styles up to the style.
    int32_t GetSubStyle() const { return SubStyle; }
    void SetSubStyle(int32_t v) {
        if (v >= 1 && v <= Style) SubStyle = v;
    }
    int8_t GetLevel() const { return Level; }
    void SetLevel(int8_t v) {
        if (v >= -3 && v <= 3) Level = v;
    }
    TProbeOption GetOption() const { return Option; }
    void SetOption(TProbeOption v) {
        if (v == poFirst || v == poSecond) Option = v;
    }
    // Refuses wildcards.
    const std::string &GetFileName() const { return FileName; }
    void SetFileName(const std::string &v) {
        if (v.find('*') == std::string::npos) FileName = v;
    }
    rtl::TBitmap *GetMask() const { return Mask.get(); }
    int32_t GetCounter() const { return 7; }

    int32_t Style = 1;
    int32_t SubStyle = 1;
    int8_t Level = 0;
    uint16_t Size = 100;
    uint32_t Colour = 0;
    TProbeOption Option = poFirst;
    TProbeOptions Options;
    std::string Caption;
    std::string FileName;
    double Ratio = 0;
    std::unique_ptr<rtl::TBitmap> Mask = std::make_unique<rtl::TBitmap>();
    int32_t Scratch = 0;
};

inline std::unique_ptr<TTransitionEffect> Decode(std::string_view record) {
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    return effect;
}

// Every catalogue property of an effect with its value as text: two effects
// of the same class with equal maps are equal as far as a record can tell.
inline std::map<std::string, std::string> Values(const TTransitionEffect &effect) {
    std::map<std::string, std::string> values;
    values["(class)"] = std::string(effect.ClassName());
    for (const TPropertyDescription &p : DescribeTransition(effect.ClassInfo()).Properties)
        values[p.Name] = PropertyValueText(effect, p);
    return values;
}

// The message of the exception f raises (of class E), or "(none)".
template <class E, class F> std::string MessageOf(F &&f) {
    try {
        f();
    } catch (const E &e) {
        return e.what();
    }
    return "(none)";
}

} // namespace qvt::test

#endif
