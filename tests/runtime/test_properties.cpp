// Published-property metadata, property access by name and dotted paths,
// Assign, components and the class registry.
#include <string>
#include <vector>

#include "runtime_test_support.h"
#include "sample_classes.h"

using namespace qvt::rtl;
using namespace qvt::test;

namespace {

std::vector<std::string> Names(const TPersistent &obj) {
    std::vector<std::string> names;
    for (const TPropInfo *p : GetPropInfos(obj)) names.push_back(p->Name);
    return names;
}

TEST(PropertyMetadata, ListsBasePropertiesFirstAndRedeclaredOnesInPlace) {
    TSampleBase base;
    TSampleDerived derived;
    const std::vector<std::string> baseNames = {"Count", "Level", "Reversed", "Shape",
                                                "Caption", "Inner", "Optional", "Version"};
    EXPECT_EQ(Names(base), baseNames);
    std::vector<std::string> derivedNames = baseNames;
    derivedNames.insert(derivedNames.end(), {"Ratio", "Shapes", "Offset"});
    EXPECT_EQ(Names(derived), derivedNames);
    // "Level" is redeclared with another default but stays second.
    EXPECT_EQ(FindPropInfo(base, "Level")->Default, 0);
    EXPECT_EQ(FindPropInfo(derived, "Level")->Default, 5);
    EXPECT_EQ(GetPropInfos(derived)[1], FindPropInfo(derived, "level"));
    // Inherited properties are shared, not copied.
    EXPECT_EQ(FindPropInfo(derived, "Count"), FindPropInfo(base, "Count"));
}

TEST(PropertyMetadata, KindsSizesDefaultsAndFlags) {
    TSampleDerived obj;
    const struct {
        const char *name;
        TTypeKind kind;
        TOrdType ord;
        std::optional<int64_t> def;
        bool readOnly;
        bool stored;
    } cases[] = {
        {"Count", TTypeKind::Integer, TOrdType::SLong, std::nullopt, false, true}, // nodefault
        {"Level", TTypeKind::Integer, TOrdType::UWord, 5, false, true},
        {"Reversed", TTypeKind::Enumeration, TOrdType::UByte, 0, false, true},
        {"Shape", TTypeKind::Enumeration, TOrdType::UByte, ssSquare, false, true},
        {"Caption", TTypeKind::String, TOrdType::SLong, std::nullopt, false, true},
        {"Inner", TTypeKind::Class, TOrdType::SLong, std::nullopt, true, true},
        {"Optional", TTypeKind::Class, TOrdType::SLong, std::nullopt, false, true},
        {"Version", TTypeKind::Integer, TOrdType::SLong, std::nullopt, true, false},
        {"Ratio", TTypeKind::Float, TOrdType::SLong, std::nullopt, false, true},
        {"Shapes", TTypeKind::Set, TOrdType::UByte, 1 << ssSquare, false, true},
        {"Offset", TTypeKind::Integer, TOrdType::SByte, std::nullopt, false, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TPropInfo *p = FindPropInfo(obj, c.name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Kind, c.kind);
        if (p->IsOrdinal()) {
            EXPECT_EQ(p->OrdType, c.ord);
        }
        EXPECT_EQ(p->Default, c.def);
        EXPECT_EQ(p->IsReadOnly(), c.readOnly);
        EXPECT_EQ(p->Stored, c.stored);
    }
    EXPECT_TRUE(FindPropInfo(obj, "Reversed")->IsBoolean());
    EXPECT_FALSE(FindPropInfo(obj, "Shape")->IsBoolean());
    EXPECT_EQ(FindPropInfo(obj, "Inner")->PropClass, &TSampleInner::StaticClassInfo());
    EXPECT_EQ(FindPropInfo(obj, "Shapes")->EnumNames.size(), 4u);
}

TEST(PropertyAccess, LookupIsCaseInsensitive) {
    TSampleBase obj;
    EXPECT_EQ(FindPropInfo(obj, "count"), FindPropInfo(obj, "COUNT"));
    EXPECT_NE(FindPropInfo(obj, "cOuNt"), nullptr);
    EXPECT_EQ(FindPropInfo(obj, "Counts"), nullptr);
    SetOrdProp(obj, "count", 42);
    EXPECT_EQ(obj.Count(), 42);
    SetStrProp(obj, "CAPTION", "hello");
    EXPECT_EQ(GetStrProp(obj, "caption"), "hello");
}

TEST(PropertyAccess, OrdinalsArriveAtThePropertysSize) {
    TSampleDerived obj;
    SetOrdProp(obj, "Level", -1);
    EXPECT_EQ(obj.Level(), 65535);
    EXPECT_EQ(GetOrdProp(obj, "Level"), 65535);
    SetOrdProp(obj, "Level", 70000);
    EXPECT_EQ(obj.Level(), 4464);
    SetOrdProp(obj, "Offset", 200);
    EXPECT_EQ(obj.offset, -56);
    SetOrdProp(obj, "Count", 0x100000005LL);
    EXPECT_EQ(obj.Count(), 5);
    SetOrdProp(obj, "Count", -7);
    EXPECT_EQ(GetOrdProp(obj, "Count"), -7);
    SetOrdProp(obj, "Shapes", (1 << ssCircle) | (1 << ssStar));
    EXPECT_EQ(obj.shapes, (TSampleShapes{ssCircle, ssStar}));
    EXPECT_TRUE(obj.shapes.Contains(ssStar));
    EXPECT_FALSE(obj.shapes.Contains(ssSquare));
    SetFloatProp(obj, *FindPropInfo(obj, "Ratio"), 0.25);
    EXPECT_EQ(obj.Ratio(), 0.25);
    EXPECT_EQ(GetFloatProp(obj, *FindPropInfo(obj, "Ratio")), 0.25);
}

TEST(PropertyAccess, EnumerationNamesAreLookedUpWithoutCheck) {
    TSampleBase obj;
    SetEnumProp(obj, "Shape", "SSCIRCLE");
    EXPECT_EQ(obj.Shape(), ssCircle);
    EXPECT_EQ(GetEnumProp(obj, "Shape"), "ssCircle");
    // ssStar is a real value that the setter does not allow: ignored silently.
    SetEnumProp(obj, "Shape", "ssStar");
    EXPECT_EQ(obj.Shape(), ssCircle);
    // An unknown name is not checked: -1 reaches the one-byte setter as 255.
    const TPropInfo &shape = *FindPropInfo(obj, "Shape");
    EXPECT_EQ(GetEnumValue(shape, "ssTriangle"), -1);
    SetEnumProp(obj, "Shape", "ssTriangle");
    EXPECT_EQ(obj.shapeArrivals, (std::vector<int>{ssCircle, ssStar, 255}));
    EXPECT_EQ(obj.Shape(), ssCircle);
    EXPECT_EQ(GetEnumName(shape, 255), "");

    SetEnumProp(obj, "Reversed", "true");
    EXPECT_TRUE(obj.Reversed());
    EXPECT_EQ(GetEnumProp(obj, "Reversed"), "True");
    SetEnumProp(obj, "Reversed", "FALSE");
    EXPECT_FALSE(obj.Reversed());
}

TEST(PropertyAccess, ErrorsForReadOnlyWrongKindAndUnknownNames) {
    TSampleBase obj;
    const struct {
        const char *what;
        std::function<void()> op;
        const char *message;
    } cases[] = {
        {"ordinal without setter", [&] { SetOrdProp(obj, "Version", 1); }, "Property is read-only"},
        {"object without setter", [&] { SetObjectProp(obj, *FindPropInfo(obj, "Inner"), nullptr); }, "Property is read-only"},
        {"string on an integer", [&] { GetStrProp(obj, "Count"); }, "Invalid property type"},
        {"ordinal on a string", [&] { SetOrdProp(obj, "Caption", 1); }, "Invalid property type"},
        {"enum name on an integer", [&] { SetEnumProp(obj, "Count", "x"); }, "Invalid property type"},
        {"object on an ordinal", [&] { GetObjectProp(obj, "Count"); }, "Invalid property type"},
        {"unknown name", [&] { SetOrdProp(obj, "Nothing", 1); }, "Property does not exist"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ExpectRaises<EPropertyError>(c.op, c.message);
    }
    EXPECT_EQ(GetOrdProp(obj, "Version"), 3) << "read-only properties can still be read";
}

TEST(PropertyAccess, ObjectPropertiesHoldPersistentsOfTheDeclaredClass) {
    TSampleBase obj;
    const TPropInfo &optional = *FindPropInfo(obj, "Optional");
    EXPECT_EQ(GetObjectProp(obj, optional), nullptr);
    TSampleInner inner;
    SetObjectProp(obj, optional, &inner);
    EXPECT_EQ(obj.Optional(), &inner);
    TSampleBase wrongClass;
    ExpectRaises<EPropertyError>([&] { SetObjectProp(obj, optional, &wrongClass); }, "Invalid property value");
    EXPECT_EQ(obj.Optional(), &inner);
    EXPECT_EQ(GetObjectProp(obj, "Inner"), obj.Inner());
}

TEST(PropertyPath, WalksObjectPropertiesAndTellsWhyAPathFails) {
    TSampleBase obj;
    TSampleInner optional;
    const struct {
        const char *path;
        bool setOptional;
        TPropPathError error;
        const char *message;
        const char *lastName;
    } cases[] = {
        {"Count", false, TPropPathError::None, "", "Count"},
        {"Inner.Size", false, TPropPathError::None, "", "Size"},
        {"inner.LABEL", false, TPropPathError::None, "", "LABEL"},
        {"Optional.Size", false, TPropPathError::InvalidPath, "Invalid property path", ""}, // holds nil
        {"Optional.Size", true, TPropPathError::None, "", "Size"},
        {"Count.Size", false, TPropPathError::InvalidPath, "Invalid property path", ""}, // not an object
        {"Nothing.Size", false, TPropPathError::InvalidPath, "Invalid property path", ""},
        {"Inner.Size.Deeper", false, TPropPathError::InvalidPath, "Invalid property path", ""},
        {"Inner.Missing", false, TPropPathError::NotFound, "Property does not exist", "Missing"},
        {"Missing", false, TPropPathError::NotFound, "Property does not exist", "Missing"},
        {"Inner.", false, TPropPathError::NotFound, "Property does not exist", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.setOptional ? " (Optional set)" : ""));
        obj.SetOptional(c.setOptional ? &optional : nullptr);
        const TPropPath r = ResolvePropPath(obj, c.path);
        EXPECT_EQ(r.Error, c.error);
        EXPECT_STREQ(r.ErrorMessage(), c.message);
        EXPECT_EQ(static_cast<bool>(r), c.error == TPropPathError::None);
        if (c.error != TPropPathError::InvalidPath) {
            EXPECT_EQ(r.LastName, c.lastName);
            EXPECT_NE(r.Instance, nullptr) << "the holder is known, so defined properties can be offered";
        }
    }
    // The inner object is changed in place.
    const TPropPath r = ResolvePropPath(obj, "Inner.Size");
    ASSERT_TRUE(r);
    EXPECT_EQ(r.Instance, obj.Inner());
    SetOrdProp(*r.Instance, *r.Prop, 640);
    EXPECT_EQ(obj.Inner()->Size(), 640);
}

TEST(Persistent, AssignCopiesKnownClassesAndNamesTheOthers) {
    TSampleInner a, b;
    a.SetSize(9);
    a.label = "nine";
    b.Assign(&a);
    EXPECT_EQ(b.Size(), 9);
    EXPECT_EQ(b.label, "nine");
    TSampleBase other;
    ExpectRaises<EConvertError>([&] { b.Assign(&other); }, "Cannot assign a TSampleBase to a TSampleInner");
    ExpectRaises<EConvertError>([&] { b.Assign(nullptr); }, "Cannot assign a nil to a TSampleInner");
    ExpectRaises<EConvertError>([&] { other.Assign(&a); }, "Cannot assign a TSampleInner to a TSampleBase");
}

TEST(Component, OwnerFreesOwnedComponentsAndNamesAreChecked) {
    TSampleComponent::destroyed = 0;
    {
        TComponent owner(nullptr);
        auto *a = new TSampleComponent(&owner);
        auto *b = new TSampleComponent(&owner);
        EXPECT_EQ(a->Owner(), &owner);
        EXPECT_EQ(owner.ComponentCount(), 2);
        a->SetName("First");
        ExpectRaises<EComponentError>([&] { b->SetName("first"); }, "A component named first already exists");
        ExpectRaises<EComponentError>([&] { b->SetName("2nd"); }, "'2nd' is not a valid component name");
        b->SetName("Second_2");
        EXPECT_EQ(owner.FindComponent("SECOND_2"), b);
        delete a; // leaves its owner
        EXPECT_EQ(owner.ComponentCount(), 1);
        EXPECT_EQ(owner.Components(0), b);
        EXPECT_EQ(TSampleComponent::destroyed, 1);
    }
    EXPECT_EQ(TSampleComponent::destroyed, 2) << "the owner freed the component it still owned";
    TComponent c(nullptr);
    EXPECT_EQ(FindPropInfo(c, "Name")->Stored, false);
    EXPECT_EQ(FindPropInfo(c, "Tag")->Default, 0);
}

TEST(ClassRegistry, CreatesTheExactClassByName) {
    RegisterClasses({&TSampleDerived::StaticClassInfo(), &TSampleComponent::StaticClassInfo()});
    // Ancestors are registered too.
    EXPECT_EQ(GetClass("TSampleBase"), &TSampleBase::StaticClassInfo());
    const TClassInfo &info = FindClass("tsamplederived");
    EXPECT_EQ(&info, &TSampleDerived::StaticClassInfo());
    std::unique_ptr<TPersistent> obj = info.Create();
    EXPECT_EQ(&obj->ClassInfo(), &TSampleDerived::StaticClassInfo());
    ASSERT_NE(dynamic_cast<TSampleDerived *>(obj.get()), nullptr);
    EXPECT_EQ(static_cast<TSampleDerived *>(obj.get())->Level(), 5) << "its own constructor ran";
    EXPECT_TRUE(obj->InheritsFrom(TSampleBase::StaticClassInfo()));
    EXPECT_FALSE(obj->InheritsFrom(TSampleInner::StaticClassInfo()));

    // A component is created with its owner, which then owns it.
    TSampleComponent::destroyed = 0;
    {
        TComponent owner(nullptr);
        TPersistent *c = FindClass("TSampleComponent").Create(&owner);
        EXPECT_EQ(&c->ClassInfo(), &TSampleComponent::StaticClassInfo());
        EXPECT_EQ(static_cast<TComponent *>(c)->Owner(), &owner);
    }
    EXPECT_EQ(TSampleComponent::destroyed, 1);

    RegisterClass(TSampleDerived::StaticClassInfo()); // again: no effect
    UnRegisterClass(TSampleDerived::StaticClassInfo());
    EXPECT_EQ(GetClass("TSampleDerived"), nullptr);
    UnRegisterClass(TSampleBase::StaticClassInfo());
    UnRegisterClass(TSampleComponent::StaticClassInfo());
}

TEST(ClassRegistry, UnknownNamesClashesAndAbstractClasses) {
    EXPECT_EQ(GetClass("TNoSuchEffect"), nullptr);
    ExpectRaises<EClassNotFound>([] { FindClass("TNoSuchEffect"); }, "Class TNoSuchEffect not found");

    static const TClassInfo impostor("TSampleInner", &TPersistent::StaticClassInfo(), nullptr, {});
    RegisterClass(TSampleInner::StaticClassInfo());
    ExpectRaises<EFilerError>([] { RegisterClass(impostor); }, "A class named TSampleInner already exists");
    UnRegisterClass(TSampleInner::StaticClassInfo());

    EXPECT_TRUE(TSampleAbstract::StaticClassInfo().IsAbstract());
    ExpectRaises<EInvalidOperation>([] { TSampleAbstract::StaticClassInfo().Create(); },
                                    "Cannot create an instance of abstract class TSampleAbstract");
}

} // namespace
