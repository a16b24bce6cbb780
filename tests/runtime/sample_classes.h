// Small classes with published properties of every kind, used by the
// metadata, registry and component tests.
#ifndef QVT_TEST_SAMPLE_CLASSES_H
#define QVT_TEST_SAMPLE_CLASSES_H

#include <memory>
#include <string>
#include <vector>

#include "qvt/rtl/classes.h"

namespace qvt::test {

using namespace qvt::rtl;

enum TSampleShape : uint8_t { ssNone, ssSquare, ssCircle, ssStar };
inline constexpr std::string_view kSampleShapeNames[] = {"ssNone", "ssSquare", "ssCircle", "ssStar"};
constexpr TEnumNames EnumValueNames(TSampleShape) { return kSampleShapeNames; }
using TSampleShapes = TSet<TSampleShape>;

// The persistent object held by an object-valued property.
class TSampleInner : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TSampleInner, TPersistent>("TSampleInner")
                                           .Property("Size", &TSampleInner::Size, &TSampleInner::SetSize)
                                           .Default(0)
                                           .Property("Label", &TSampleInner::label, &TSampleInner::label)
                                           .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    int32_t Size() const { return size_; }
    void SetSize(int32_t v) { size_ = v; }
    std::string label; // published directly as a data member

    void Assign(const TPersistent *source) override {
        if (const auto *o = dynamic_cast<const TSampleInner *>(source)) {
            size_ = o->size_;
            label = o->label;
            return;
        }
        TPersistent::Assign(source);
    }

private:
    int32_t size_ = 0;
};

class TSampleBase : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TSampleBase, TPersistent>("TSampleBase")
                                           .Property("Count", &TSampleBase::Count, &TSampleBase::SetCount)
                                           .Property("Level", &TSampleBase::Level, &TSampleBase::SetLevel)
                                           .Default(0)
                                           .Property("Reversed", &TSampleBase::Reversed, &TSampleBase::SetReversed)
                                           .Default(false)
                                           .Property("Shape", &TSampleBase::Shape, &TSampleBase::SetShape)
                                           .Default(ssSquare)
                                           .Property("Caption", &TSampleBase::Caption, &TSampleBase::SetCaption)
                                           .Property("Inner", &TSampleBase::Inner)
                                           .Property("Optional", &TSampleBase::Optional, &TSampleBase::SetOptional)
                                           .Property("Version", &TSampleBase::Version)
                                           .Stored(false)
                                           .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    int32_t Count() const { return count_; }
    void SetCount(int32_t v) { count_ = v; }
    uint16_t Level() const { return level_; }
    void SetLevel(uint16_t v) { level_ = v; }
    bool Reversed() const { return reversed_; }
    void SetReversed(bool v) { reversed_ = v; }
    TSampleShape Shape() const { return shape_; }
    // Silently ignores values outside the allowed set, recording what arrived.
    void SetShape(TSampleShape v) {
        shapeArrivals.push_back(static_cast<int>(v));
        if (v == ssNone || v == ssSquare || v == ssCircle) shape_ = v;
    }
    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &v) { caption_ = v; }
    TSampleInner *Inner() const { return inner_.get(); }
    TSampleInner *Optional() const { return optional_; }
    void SetOptional(TSampleInner *v) { optional_ = v; }
    int32_t Version() const { return 3; }

    std::vector<int> shapeArrivals;

private:
    int32_t count_ = 0;
    uint16_t level_ = 0;
    bool reversed_ = false;
    TSampleShape shape_ = ssSquare;
    std::string caption_;
    std::unique_ptr<TSampleInner> inner_ = std::make_unique<TSampleInner>();
    TSampleInner *optional_ = nullptr;
};

class TSampleDerived : public TSampleBase {
public:
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TSampleDerived, TSampleBase>("TSampleDerived")
                                           .Property("Ratio", &TSampleDerived::Ratio, &TSampleDerived::SetRatio)
                                           .Redeclare("level")
                                           .Default(5)
                                           .Property("Shapes", &TSampleDerived::shapes, &TSampleDerived::shapes)
                                           .Default(TSampleShapes{ssSquare})
                                           .Property("Offset", &TSampleDerived::offset, &TSampleDerived::offset)
                                           .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    TSampleDerived() { SetLevel(5); }
    double Ratio() const { return ratio_; }
    void SetRatio(double v) { ratio_ = v; }
    TSampleShapes shapes{ssSquare};
    int8_t offset = 0;

private:
    double ratio_ = 0;
};

// A component class, created with an owner.
class TSampleComponent : public TComponent {
public:
    using TComponent::TComponent;
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TSampleComponent, TComponent>("TSampleComponent")
                                           .Property("Milliseconds", &TSampleComponent::milliseconds, &TSampleComponent::milliseconds)
                                           .Default(1000)
                                           .Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    ~TSampleComponent() override { ++destroyed; }

    int32_t milliseconds = 1000;
    static inline int destroyed = 0;
};

// Has no virtual constructor: it cannot be created by name.
class TSampleAbstract : public TPersistent {
public:
    static const TClassInfo &StaticClassInfo() {
        static const TClassInfo info = DeclareClass<TSampleAbstract, TPersistent>("TSampleAbstract").Build();
        return info;
    }
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    virtual void Run() = 0;
};

} // namespace qvt::test

#endif
