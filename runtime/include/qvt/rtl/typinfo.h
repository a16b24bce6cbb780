// Published-property metadata: for each class a TClassInfo (name, parent,
// virtual constructor, published properties base first) and for each
// property a TPropInfo (kind, ordinal size, value names, default, stored
// flag, getter, optional setter). Classes declare their table with
// DeclareClass<Class, Parent>(...).Property(...)...Build(); the free
// functions at the end read and write properties by metadata or by name.
//
// Enumerations used in published properties need a fixed underlying type and
// a constexpr function `EnumValueNames(E)` findable by argument-dependent
// lookup, returning the value names in ordinal order.
#ifndef QVT_RTL_TYPINFO_H
#define QVT_RTL_TYPINFO_H

#include <concepts>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "qvt/rtl/exceptions.h"

namespace qvt::rtl {

class TPersistent;
class TComponent;
class TClassInfo;

enum class TTypeKind : uint8_t { Integer, Enumeration, Set, String, Class, Float };
// How an ordinal property stores its value: signed/unsigned, 1, 2 or 4 bytes.
enum class TOrdType : uint8_t { SByte, UByte, SWord, UWord, SLong, ULong };

using TEnumNames = std::span<const std::string_view>;

inline constexpr std::string_view kBooleanNames[] = {"False", "True"};

// A set of up to 32 values of an enumeration, stored as a bit mask (bit i =
// ordinal i).
template <class E>
    requires std::is_enum_v<E>
class TSet {
public:
    static constexpr size_t kElements = EnumValueNames(E{}).size();
    static_assert(kElements <= 32, "a set holds at most 32 elements");

    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> elements) {
        for (E e : elements) Include(e);
    }
    static constexpr TSet FromMask(uint32_t mask) {
        TSet s;
        s.mask_ = mask;
        return s;
    }
    constexpr uint32_t Mask() const { return mask_; }
    constexpr bool Contains(E e) const { return (mask_ >> Bit(e)) & 1u; }
    constexpr TSet &Include(E e) { return mask_ |= 1u << Bit(e), *this; }
    constexpr TSet &Exclude(E e) { return mask_ &= ~(1u << Bit(e)), *this; }
    constexpr bool Empty() const { return mask_ == 0; }
    friend constexpr TSet operator+(TSet a, TSet b) { return FromMask(a.mask_ | b.mask_); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromMask(a.mask_ & ~b.mask_); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromMask(a.mask_ & b.mask_); }
    friend constexpr bool operator==(TSet a, TSet b) = default;

private:
    static constexpr unsigned Bit(E e) { return static_cast<unsigned>(e) & 31u; }
    uint32_t mask_ = 0;
};

struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::Integer;
    TOrdType OrdType = TOrdType::SLong; // Integer, Enumeration and Set
    TEnumNames EnumNames;               // Enumeration: its values; Set: its elements
    const TClassInfo *PropClass = nullptr; // Class: declared class of the held object
    std::optional<int64_t> Default;        // ordinal and set properties; none = nodefault
    bool Stored = true;
    // Integer properties: the values the setter takes, when that is narrower
    // than the storage type (DeclareClass::Range); none = the whole range of
    // the type. The setter ignores values outside it.
    std::optional<int64_t> MinValue;
    std::optional<int64_t> MaxValue;

    // Accessors of the property's kind; no setter means read-only.
    std::function<int64_t(const TPersistent &)> GetOrd;
    std::function<void(TPersistent &, int64_t)> SetOrd; // receives NarrowOrd(value)
    std::function<std::string(const TPersistent &)> GetStr;
    std::function<void(TPersistent &, const std::string &)> SetStr;
    std::function<double(const TPersistent &)> GetFloat;
    std::function<void(TPersistent &, double)> SetFloat;
    std::function<TPersistent *(const TPersistent &)> GetObject;
    std::function<void(TPersistent &, TPersistent *)> SetObject;

    bool IsOrdinal() const { return Kind == TTypeKind::Integer || Kind == TTypeKind::Enumeration || Kind == TTypeKind::Set; }
    bool IsReadOnly() const;
    bool IsBoolean() const;
    int OrdSize() const;
    // The value as the property's storage holds it: -1 becomes 65535 in a
    // Word and 255 in a one-byte enumeration.
    int64_t NarrowOrd(int64_t value) const;
    // Lowest and highest value of the storage type (OrdType).
    int64_t OrdLow() const;
    int64_t OrdHigh() const;
};

class TClassInfo {
public:
    using Factory = TPersistent *(*)(TComponent *owner);

    // Properties come from the parent first; an own property whose name the
    // parent already has replaces it at the parent's position.
    TClassInfo(std::string name, const TClassInfo *parent, Factory factory, std::vector<TPropInfo> ownProperties);
    TClassInfo(const TClassInfo &) = delete;
    TClassInfo &operator=(const TClassInfo &) = delete;

    std::string_view ClassName() const { return name_; }
    const TClassInfo *Parent() const { return parent_; }
    bool InheritsFrom(const TClassInfo &ancestor) const;
    bool IsAbstract() const { return factory_ == nullptr; }
    // Virtual constructor: a new object of exactly this class. A component
    // created with an owner belongs to the owner; otherwise the caller owns
    // the object. Abstract classes raise EInvalidOperation.
    TPersistent *Create(TComponent *owner) const;
    std::unique_ptr<TPersistent> Create() const { return std::unique_ptr<TPersistent>(Create(nullptr)); }

    std::span<const TPropInfo *const> Properties() const { return all_; }
    // Case-insensitive; nullptr when there is none.
    const TPropInfo *FindProperty(std::string_view name) const;

private:
    std::string name_;
    const TClassInfo *parent_;
    Factory factory_;
    std::vector<std::unique_ptr<TPropInfo>> own_;
    std::vector<const TPropInfo *> all_;
};

namespace detail {

template <class M> struct MemberTraits;
template <class C, class R> struct MemberTraits<R (C::*)() const> {
    using Value = std::remove_cvref_t<R>;
};
template <class C, class R> struct MemberTraits<R (C::*)() const noexcept> {
    using Value = std::remove_cvref_t<R>;
};
template <class C, class V>
    requires(!std::is_function_v<V>)
struct MemberTraits<V C::*> {
    using Value = V;
};

template <class T> struct IsSet : std::false_type {};
template <class E> struct IsSet<TSet<E>> : std::true_type {
    using Element = E;
};

template <class C, class G> decltype(auto) Get(const C &obj, G getter) {
    if constexpr (std::is_member_function_pointer_v<G>)
        return (obj.*getter)();
    else
        return (obj.*getter);
}
template <class C, class S, class V> void Set(C &obj, S setter, V &&value) {
    if constexpr (std::is_member_function_pointer_v<S>)
        (obj.*setter)(std::forward<V>(value));
    else
        obj.*setter = std::forward<V>(value);
}

template <class T> constexpr TOrdType OrdTypeOf() {
    constexpr bool sign = std::is_signed_v<T>;
    if constexpr (sizeof(T) == 1) return sign ? TOrdType::SByte : TOrdType::UByte;
    if constexpr (sizeof(T) == 2) return sign ? TOrdType::SWord : TOrdType::UWord;
    return sign ? TOrdType::SLong : TOrdType::ULong;
}
template <size_t Elements> constexpr TOrdType SetOrdType() {
    if constexpr (Elements <= 8) return TOrdType::UByte;
    if constexpr (Elements <= 16) return TOrdType::UWord;
    return TOrdType::ULong;
}

template <class C> TPersistent *Construct(TComponent *owner) {
    if constexpr (std::is_abstract_v<C>)
        return nullptr;
    else if constexpr (std::is_constructible_v<C, TComponent *>)
        return new C(owner);
    else {
        (void)owner;
        return new C();
    }
}
template <class C> constexpr TClassInfo::Factory FactoryOf() {
    if constexpr (std::is_abstract_v<C> || (!std::is_constructible_v<C, TComponent *> && !std::is_default_constructible_v<C>))
        return nullptr;
    else
        return &Construct<C>;
}

TPropInfo FindInherited(const TClassInfo *parent, std::string_view name);

} // namespace detail

// Builder of a class's metadata; see the top of this file.
template <class C, class Parent = void>
class DeclareClass {
public:
    explicit DeclareClass(std::string name) : name_(std::move(name)) {
        static_assert(std::is_void_v<Parent> || std::is_base_of_v<Parent, C>, "Parent must be a base of C");
    }

    // A published property. The getter is a const member function or a data
    // member; so is the setter. The kind follows the getter's type: bool is
    // the Boolean enumeration, other integers are Integer properties of their
    // size, enumerations and TSet<E> use EnumValueNames, std::string is a
    // string, floating types are floats and pointers to TPersistent
    // descendants are class properties.
    template <class G> DeclareClass &Property(std::string name, G getter) {
        props_.push_back(MakeProperty(std::move(name), getter, nullptr));
        return *this;
    }
    template <class G, class S> DeclareClass &Property(std::string name, G getter, S setter) {
        props_.push_back(MakeProperty(std::move(name), getter, setter));
        return *this;
    }
    // Publishes again a property of the parent (it keeps its position); the
    // modifiers that follow change only this class's view of it.
    DeclareClass &Redeclare(std::string_view name) {
        if constexpr (std::is_void_v<Parent>)
            throw EPropertyError(messages::kPropertyNotFound);
        else
            props_.push_back(detail::FindInherited(&Parent::StaticClassInfo(), name));
        return *this;
    }
    // Modifiers of the property declared last.
    template <class V>
        requires(std::is_integral_v<V> || std::is_enum_v<V>)
    DeclareClass &Default(V value) {
        Last().Default = static_cast<int64_t>(value);
        return *this;
    }
    template <class E> DeclareClass &Default(TSet<E> value) {
        Last().Default = static_cast<int64_t>(value.Mask());
        return *this;
    }
    DeclareClass &NoDefault() {
        Last().Default.reset();
        return *this;
    }
    DeclareClass &Stored(bool stored) {
        Last().Stored = stored;
        return *this;
    }
    // The values an Integer property's setter takes, lo..hi inclusive, inside
    // the storage type's range; EPropertyError otherwise.
    DeclareClass &Range(int64_t lo, int64_t hi) {
        TPropInfo &p = Last();
        if (p.Kind != TTypeKind::Integer) throw EPropertyError(messages::kInvalidPropertyType);
        if (lo > hi || lo < p.OrdLow() || hi > p.OrdHigh())
            throw EPropertyError(Format("Range %d..%d does not fit property %s", {lo, hi, p.Name}));
        p.MinValue = lo;
        p.MaxValue = hi;
        return *this;
    }

    TClassInfo Build() {
        const TClassInfo *parent = nullptr;
        if constexpr (!std::is_void_v<Parent>) parent = &Parent::StaticClassInfo();
        return TClassInfo(std::move(name_), parent, detail::FactoryOf<C>(), std::move(props_));
    }

private:
    TPropInfo &Last() {
        if (props_.empty()) throw EPropertyError(messages::kPropertyNotFound);
        return props_.back();
    }

    template <class G, class S> static TPropInfo MakeProperty(std::string name, G getter, S setter) {
        using V = typename detail::MemberTraits<G>::Value;
        constexpr bool writable = !std::is_null_pointer_v<S>;
        TPropInfo p;
        p.Name = std::move(name);
        if constexpr (std::is_same_v<V, bool>) {
            p.Kind = TTypeKind::Enumeration;
            p.OrdType = TOrdType::UByte;
            p.EnumNames = kBooleanNames;
            p.GetOrd = [getter](const TPersistent &o) -> int64_t { return detail::Get(Self(o), getter) ? 1 : 0; };
            if constexpr (writable)
                p.SetOrd = [setter](TPersistent &o, int64_t v) { detail::Set(Self(o), setter, v != 0); };
        } else if constexpr (std::is_integral_v<V>) {
            static_assert(sizeof(V) <= 4, "integer properties hold at most 32 bits");
            p.Kind = TTypeKind::Integer;
            p.OrdType = detail::OrdTypeOf<V>();
            p.GetOrd = [getter](const TPersistent &o) -> int64_t { return static_cast<int64_t>(detail::Get(Self(o), getter)); };
            if constexpr (writable)
                p.SetOrd = [setter](TPersistent &o, int64_t v) { detail::Set(Self(o), setter, static_cast<V>(v)); };
        } else if constexpr (std::is_enum_v<V>) {
            using U = std::underlying_type_t<V>;
            static_assert(sizeof(U) <= 4, "enumerations hold at most 32 bits");
            p.Kind = TTypeKind::Enumeration;
            p.OrdType = detail::OrdTypeOf<U>();
            p.EnumNames = EnumValueNames(V{});
            p.GetOrd = [getter](const TPersistent &o) -> int64_t { return static_cast<int64_t>(static_cast<U>(detail::Get(Self(o), getter))); };
            if constexpr (writable)
                p.SetOrd = [setter](TPersistent &o, int64_t v) { detail::Set(Self(o), setter, static_cast<V>(static_cast<U>(v))); };
        } else if constexpr (detail::IsSet<V>::value) {
            using E = typename detail::IsSet<V>::Element;
            p.Kind = TTypeKind::Set;
            p.OrdType = detail::SetOrdType<V::kElements>();
            p.EnumNames = EnumValueNames(E{});
            p.GetOrd = [getter](const TPersistent &o) -> int64_t { return static_cast<int64_t>(detail::Get(Self(o), getter).Mask()); };
            if constexpr (writable)
                p.SetOrd = [setter](TPersistent &o, int64_t v) { detail::Set(Self(o), setter, V::FromMask(static_cast<uint32_t>(v))); };
        } else if constexpr (std::is_same_v<V, std::string>) {
            p.Kind = TTypeKind::String;
            p.GetStr = [getter](const TPersistent &o) -> std::string { return detail::Get(Self(o), getter); };
            if constexpr (writable)
                p.SetStr = [setter](TPersistent &o, const std::string &v) { detail::Set(Self(o), setter, v); };
        } else if constexpr (std::is_floating_point_v<V>) {
            p.Kind = TTypeKind::Float;
            p.GetFloat = [getter](const TPersistent &o) -> double { return static_cast<double>(detail::Get(Self(o), getter)); };
            if constexpr (writable)
                p.SetFloat = [setter](TPersistent &o, double v) { detail::Set(Self(o), setter, static_cast<V>(v)); };
        } else if constexpr (std::is_pointer_v<V> && std::is_base_of_v<TPersistent, std::remove_pointer_t<V>>) {
            using D = std::remove_cv_t<std::remove_pointer_t<V>>;
            p.Kind = TTypeKind::Class;
            p.PropClass = &D::StaticClassInfo();
            p.GetObject = [getter](const TPersistent &o) -> TPersistent * { return detail::Get(Self(o), getter); };
            if constexpr (writable)
                p.SetObject = [setter](TPersistent &o, TPersistent *v) {
                    D *d = dynamic_cast<D *>(v);
                    if (v && !d) throw EPropertyError(messages::kInvalidPropertyValue);
                    detail::Set(Self(o), setter, d);
                };
        } else {
            static_assert(sizeof(V) == 0, "unsupported published property type");
        }
        return p;
    }

    static const C &Self(const TPersistent &o) { return static_cast<const C &>(o); }
    static C &Self(TPersistent &o) { return static_cast<C &>(o); }

    std::string name_;
    std::vector<TPropInfo> props_;
};

// --- Reading and writing properties -----------------------------------------
// By-name variants raise EPropertyError "Property does not exist" for an
// unknown name; every variant raises EPropertyError "Invalid property type"
// for a property of another kind and "Property is read-only" for a missing
// setter.

// All published properties of the object's class, base class first.
std::span<const TPropInfo *const> GetPropInfos(const TPersistent &obj);
// Case-insensitive; nullptr when there is none.
const TPropInfo *FindPropInfo(const TPersistent &obj, std::string_view name);

int64_t GetOrdProp(const TPersistent &obj, const TPropInfo &prop);
int64_t GetOrdProp(const TPersistent &obj, std::string_view name);
// Stores value at the property's size (see TPropInfo::NarrowOrd).
void SetOrdProp(TPersistent &obj, const TPropInfo &prop, int64_t value);
void SetOrdProp(TPersistent &obj, std::string_view name, int64_t value);

// Ordinal of a value name (case-insensitive) of an enumeration or set
// property's values, or -1 when there is no such name.
int GetEnumValue(const TPropInfo &prop, std::string_view valueName);
// Name of an ordinal, or an empty string when out of range.
std::string GetEnumName(const TPropInfo &prop, int64_t value);
std::string GetEnumProp(const TPersistent &obj, const TPropInfo &prop);
std::string GetEnumProp(const TPersistent &obj, std::string_view name);
// An unknown value name is not checked: ordinal -1 reaches the setter at the
// property's size (255 for a one-byte enumeration).
void SetEnumProp(TPersistent &obj, const TPropInfo &prop, std::string_view valueName);
void SetEnumProp(TPersistent &obj, std::string_view name, std::string_view valueName);

std::string GetStrProp(const TPersistent &obj, const TPropInfo &prop);
std::string GetStrProp(const TPersistent &obj, std::string_view name);
void SetStrProp(TPersistent &obj, const TPropInfo &prop, const std::string &value);
void SetStrProp(TPersistent &obj, std::string_view name, const std::string &value);

double GetFloatProp(const TPersistent &obj, const TPropInfo &prop);
void SetFloatProp(TPersistent &obj, const TPropInfo &prop, double value);

TPersistent *GetObjectProp(const TPersistent &obj, const TPropInfo &prop);
TPersistent *GetObjectProp(const TPersistent &obj, std::string_view name);
void SetObjectProp(TPersistent &obj, const TPropInfo &prop, TPersistent *value);

// Walking a dotted path such as "Outer.Inner": every part before the last
// must be a class property currently holding an object (InvalidPath
// otherwise); the last part names a published property of that object
// (NotFound otherwise; Instance and LastName are still set so that the
// caller can offer the object's defined properties).
enum class TPropPathError { None, InvalidPath, NotFound };
struct TPropPath {
    TPersistent *Instance = nullptr;
    const TPropInfo *Prop = nullptr;
    std::string_view LastName;
    TPropPathError Error = TPropPathError::None;

    explicit operator bool() const { return Error == TPropPathError::None; }
    // "Invalid property path", "Property does not exist", or "".
    const char *ErrorMessage() const;
};
TPropPath ResolvePropPath(TPersistent &root, std::string_view path);

} // namespace qvt::rtl

#endif
