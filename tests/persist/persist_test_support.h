// Helpers of the persistence tests: a builder of property-stream bytes, the
// hexadecimal text of a record (hex_text.h), the run-time tests' exception
// matcher (runtime_test_support.h), and small effect
// classes that publish one property of every kind the reader handles.
//
// The probe classes are registered under their own names; a few thin
// subclasses take the class names of the code table ("TWipeTransition",
// "TBmpMaskTransition2" and, as a decoy, "TBmpMaskTransition") so that
// records reach them. Only persist_tests registers those, and it does not
// link the real effects, so the names are free there.
#ifndef QVT_TEST_PERSIST_SUPPORT_H
#define QVT_TEST_PERSIST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TransEff.h"
#include "hex_text.h"
#include "qvt/rtl/classes.h"
#include "qvt/rtl/graphics.h"
#include "qvt/rtl/reader.h"
#include "runtime_test_support.h" // ExpectRaises

namespace qvt::test {

using namespace qvt::rtl;

// --- Bytes of a property stream ---------------------------------------------

class Bytes {
public:
    Bytes() = default;
    Bytes(std::initializer_list<uint8_t> raw) : b_(raw) {}

    Bytes &Raw(std::initializer_list<uint8_t> raw) { return b_.insert(b_.end(), raw), *this; }
    Bytes &Raw(const std::vector<uint8_t> &raw) { return b_.insert(b_.end(), raw.begin(), raw.end()), *this; }
    Bytes &Append(const Bytes &other) { return Raw(other.b_); }
    // A short string without a type byte (property names, set elements).
    Bytes &Short(std::string_view s) {
        b_.push_back(static_cast<uint8_t>(s.size()));
        b_.insert(b_.end(), s.begin(), s.end());
        return *this;
    }
    Bytes &Name(std::string_view s) { return Short(s); }
    Bytes &Int8(int v) { return Type(vaInt8).LE(static_cast<uint8_t>(v), 1); }
    Bytes &Int16(int v) { return Type(vaInt16).LE(static_cast<uint16_t>(v), 2); }
    Bytes &Int32(int64_t v) { return Type(vaInt32).LE(static_cast<uint32_t>(v), 4); }
    Bytes &Int64(int64_t v) { return Type(vaInt64).LE(static_cast<uint64_t>(v), 8); }
    Bytes &Ident(std::string_view s) { return Type(vaIdent).Short(s); }
    Bytes &Str(std::string_view s) { return Type(vaString).Short(s); }
    Bytes &LStr(std::string_view s) { return Type(vaLString).Long(s.size()).Chars(s); }
    Bytes &Utf8(std::string_view s) { return Type(vaUTF8String).Long(s.size()).Chars(s); }
    Bytes &WStr(std::initializer_list<uint16_t> units) {
        Type(vaWString).Long(units.size());
        for (uint16_t u : units) LE(u, 2);
        return *this;
    }
    Bytes &False() { return Type(vaFalse); }
    Bytes &True() { return Type(vaTrue); }
    Bytes &Nil() { return Type(vaNil); }
    Bytes &Null() { return Type(vaNull); }
    Bytes &Binary(const std::vector<uint8_t> &data) { return Type(vaBinary).Long(data.size()).Raw(data); }
    Bytes &Set(std::initializer_list<std::string_view> names) {
        Type(vaSet);
        for (std::string_view n : names) Short(n);
        return Short("");
    }
    Bytes &Single(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return Type(vaSingle).LE(u, 4);
    }
    Bytes &Date(double d) {
        uint64_t u;
        std::memcpy(&u, &d, 8);
        return Type(vaDate).LE(u, 8);
    }
    Bytes &Currency(int64_t raw) { return Type(vaCurrency).LE(static_cast<uint64_t>(raw), 8); }
    // An x87 extended value from its parts.
    Bytes &Extended(uint64_t significand, uint16_t signExponent) {
        return Type(vaExtended).LE(significand, 8).LE(signExponent, 2);
    }
    Bytes &Type(uint8_t t) { return b_.push_back(t), *this; }
    Bytes &Long(uint64_t n) { return LE(static_cast<uint32_t>(n), 4); }
    Bytes &Chars(std::string_view s) { return b_.insert(b_.end(), s.begin(), s.end()), *this; }
    Bytes &End() { return b_.push_back(0), *this; }
    Bytes &LE(uint64_t v, int n) {
        for (int i = 0; i < n; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }

    const std::vector<uint8_t> &Data() const { return b_; }
    size_t Size() const { return b_.size(); }

private:
    std::vector<uint8_t> b_;
};

// --- Probe classes -----------------------------------------------------------

enum TProbeShade : uint8_t { psLight, psMedium, psDark };
inline constexpr std::string_view kProbeShadeNames[] = {"psLight", "psMedium", "psDark"};
constexpr TEnumNames EnumValueNames(TProbeShade) { return kProbeShadeNames; }
using TProbeShades = TSet<TProbeShade>;

// Held by TProbeOptions: a second level of dotted names.
class TProbeInner : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TProbeInner, TPersistent>("TProbeInner")
                                           .Property("Size", &TProbeInner::size, &TProbeInner::size)
                                           .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    int32_t size = 0;
};

// The persistent object behind an object-valued property.
class TProbeOptions : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TProbeOptions, TPersistent>("TProbeOptions")
                                           .Property("Size", &TProbeOptions::size, &TProbeOptions::size)
                                           .Property("Label", &TProbeOptions::label, &TProbeOptions::label)
                                           .Property("Flag", &TProbeOptions::flag, &TProbeOptions::flag)
                                           .Default(false)
                                           .Property("Inner", &TProbeOptions::Inner)
                                           .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    TProbeInner *Inner() const { return inner.get(); }

    int32_t size = 0;
    std::string label;
    bool flag = false;
    std::unique_ptr<TProbeInner> inner; // nil unless a test creates it
};

class TProbeEffect : public TTransitionEffect {
public:
    explicit TProbeEffect(TComponent *owner) : TTransitionEffect(owner) {
        AllowedDirections = TTEEffectDirections{tedNone, tedRight, tedLeft, tedDown, tedUp};
        ++live;
    }
    ~TProbeEffect() override { --live; }
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info =
            DeclareClass<TProbeEffect, TTransitionEffect>("TProbeEffect")
                .Property("Milliseconds", &TProbeEffect::GetMilliseconds, &TProbeEffect::SetMilliseconds)
                .Default(0)
                .Property("Direction", &TProbeEffect::GetDirection, &TProbeEffect::ProbeSetDirection)
                .Default(tedNone)
                .Property("Reversed", &TProbeEffect::GetReversed, &TProbeEffect::SetReversed)
                .Default(false)
                .Property("Caption", &TProbeEffect::caption, &TProbeEffect::caption)
                .Property("Level", &TProbeEffect::level, &TProbeEffect::level)     // Word
                .Property("Offset", &TProbeEffect::offset, &TProbeEffect::offset)  // ShortInt
                .Property("Small", &TProbeEffect::small, &TProbeEffect::small)     // Byte
                .Property("Count", &TProbeEffect::count, &TProbeEffect::count)     // Cardinal
                .Property("Shades", &TProbeEffect::shades, &TProbeEffect::shades)
                .Property("Ratio", &TProbeEffect::ratio, &TProbeEffect::ratio)
                .Property("Options", &TProbeEffect::Options)
                .Property("Spare", &TProbeEffect::Spare)
                .Property("Link", &TProbeEffect::link, &TProbeEffect::SetLink)
                .Property("Mask", &TProbeEffect::Mask)
                .Property("Version", &TProbeEffect::Version)
                .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    void Execute(TTETransitionData &) override {}

    // Records what reached the setter, then lets the base apply its rule.
    void ProbeSetDirection(TTEEffectDirection value) {
        directionArrivals.push_back(static_cast<int>(value));
        SetDirection(value);
    }
    void SetLink(TProbeOptions *value) {
        ++linkSets;
        link = value;
    }
    TProbeOptions *Options() const { return options.get(); }
    TProbeOptions *Spare() const { return nullptr; }
    TBitmap *Mask() const { return mask.get(); }
    int32_t Version() const { return 7; }

    std::string caption;
    uint16_t level = 0;
    int8_t offset = 0;
    uint8_t small = 0;
    uint32_t count = 0;
    TProbeShades shades;
    double ratio = 0;
    std::unique_ptr<TProbeOptions> options = std::make_unique<TProbeOptions>();
    TProbeOptions *link = nullptr;
    int linkSets = 0;
    std::unique_ptr<TBitmap> mask = std::make_unique<TBitmap>();
    std::vector<int> directionArrivals;

    static inline int live = 0;
};

// Stand-ins under class names of the code table.
#define QVT_PROBE_STAND_IN(Cpp, Registered)                                                                  \
    class Cpp : public TProbeEffect {                                                                        \
    public:                                                                                                  \
        using TProbeEffect::TProbeEffect;                                                                    \
        static const TClassInfo &StaticClassInfo() {                                                         \
            static const TClassInfo info = DeclareClass<Cpp, TProbeEffect>(Registered).Build();              \
            return info;                                                                                     \
        }                                                                                                    \
        const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }                           \
    };
QVT_PROBE_STAND_IN(TProbeWipe, "TWipeTransition")
QVT_PROBE_STAND_IN(TProbeBmpMask2, "TBmpMaskTransition2")
QVT_PROBE_STAND_IN(TProbeBmpMask, "TBmpMaskTransition")
#undef QVT_PROBE_STAND_IN

inline void RegisterStandIns() {
    RegisterClasses({&TProbeWipe::StaticClassInfo(), &TProbeBmpMask2::StaticClassInfo(),
                     &TProbeBmpMask::StaticClassInfo()});
}

// A record of the given version for code "14" (the TProbeWipe stand-in)
// carrying payload.
inline std::string WipeRecord(char version, const Bytes &payload) {
    return std::string("QVTS") + version + "14" + Hex(payload.Data());
}

// The "Data" bytes of a small 24-bit picture: 3 x 2 pixels, pixel (1, 0)
// red, the rest black.
inline std::vector<uint8_t> SamplePictureData() {
    TBitmap picture;
    picture.SetPixelFormat(pf24bit);
    picture.SetSize(3, 2);
    auto *row = static_cast<uint8_t *>(picture.ScanLine(0));
    row[3 + 2] = 0xFF;
    TMemoryStream data;
    picture.WriteData(data);
    const auto *p = static_cast<const uint8_t *>(data.Memory());
    return std::vector<uint8_t>(p, p + data.Size());
}

} // namespace qvt::test

#endif
