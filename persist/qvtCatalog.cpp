// The property catalogue.
#include "persist/qvtCatalog.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>

#include "persist/qvtPers.h"
#include "qvt/rtl/classes.h"
#include "qvt/rtl/graphics.h"

namespace qvt {

using rtl::SameText;
using rtl::TClassInfo;
using rtl::TPersistent;
using rtl::TPropInfo;
using rtl::TTypeKind;

namespace {

// --- Objects and their properties -------------------------------------------

// One defined property of an object, whether it holds data or not.
struct DefinedProperty {
    std::string Name;
    rtl::TFiler::BinaryProc Read;
    rtl::TFiler::BinaryProc Write;
    bool HasData = false;
};

class DefinedPropertyLister : public rtl::TFiler {
public:
    void DefineBinaryProperty(std::string_view name, const BinaryProc &readData, const BinaryProc &writeData,
                              bool hasData) override {
        found.push_back({std::string(name), readData, writeData, hasData});
    }
    std::vector<DefinedProperty> found;
};

std::vector<DefinedProperty> DefinedProperties(TPersistent &object) {
    DefinedPropertyLister lister;
    object.DefineProperties(lister);
    return std::move(lister.found);
}

// Where a catalogue property lives in an effect: the object holding it and
// either its published property or the name of a defined one.
struct Target {
    TPersistent *Instance = nullptr;
    const TPropInfo *Prop = nullptr;
    std::string DefinedName;
};

Target Resolve(TPersistent &root, const TPropertyDescription &desc) {
    const rtl::TPropPath path = rtl::ResolvePropPath(root, desc.Name);
    if (desc.Kind == TPropertyKind::Binary && path.Error == rtl::TPropPathError::NotFound && path.Instance)
        return {path.Instance, nullptr, std::string(path.LastName)};
    if (!path) throw EPropertyValueError(rtl::Format("%s: %s", {desc.Name, path.ErrorMessage()}));
    return {path.Instance, path.Prop, {}};
}

const DefinedProperty *FindDefined(const std::vector<DefinedProperty> &all, std::string_view name) {
    for (const DefinedProperty &d : all)
        if (SameText(d.Name, name)) return &d;
    return nullptr;
}

// Copies what a record would carry from one object to another of the same
// class, through the setters in declaration order as a reader does; held
// objects are copied in place. As in a record, a default value the target
// already holds is left out: a setter that also changes another property
// (a column count clears the block width, and 0 is stored as 1) would
// otherwise make the copy differ from the original.
void CopyState(TPersistent &from, TPersistent &to) {
    for (const TPropInfo *prop : from.ClassInfo().Properties()) {
        if (!prop->Stored) continue;
        if (prop->Kind == TTypeKind::Class) {
            TPersistent *source = prop->GetObject(from);
            TPersistent *dest = prop->GetObject(to);
            if (source && dest && &source->ClassInfo() == &dest->ClassInfo()) CopyState(*source, *dest);
            continue;
        }
        if (prop->IsReadOnly()) continue;
        switch (prop->Kind) {
        case TTypeKind::Integer:
        case TTypeKind::Enumeration:
        case TTypeKind::Set: {
            const int64_t value = prop->GetOrd(from);
            if (prop->Default && prop->NarrowOrd(*prop->Default) == value && prop->GetOrd(to) == value) break;
            prop->SetOrd(to, value);
            break;
        }
        case TTypeKind::String: prop->SetStr(to, prop->GetStr(from)); break;
        case TTypeKind::Float: prop->SetFloat(to, prop->GetFloat(from)); break;
        case TTypeKind::Class: break;
        }
    }
    const std::vector<DefinedProperty> dest = DefinedProperties(to);
    for (const DefinedProperty &d : DefinedProperties(from)) {
        const DefinedProperty *target = FindDefined(dest, d.Name);
        if (!d.HasData || !d.Write || !target || !target->Read) continue;
        rtl::TMemoryStream data;
        d.Write(data);
        data.SetPosition(0);
        target->Read(data);
    }
}

std::unique_ptr<TTransitionEffect> Clone(const TTransitionEffect &effect) {
    std::unique_ptr<TTransitionEffect> copy = CreateTransition(effect.ClassInfo());
    CopyState(const_cast<TTransitionEffect &>(effect), *copy);
    return copy;
}

// --- Texts -------------------------------------------------------------------

std::string Join(const std::vector<std::string> &items, std::string_view separator = ", ") {
    std::string s;
    for (const std::string &item : items) {
        if (!s.empty()) s += separator;
        s += item;
    }
    return s;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string FloatText(double value) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

std::string OrdinalText(const TPropInfo &prop, TPropertyKind kind, int64_t value) {
    switch (kind) {
    case TPropertyKind::Boolean:
    case TPropertyKind::Enumeration: {
        std::string name = rtl::GetEnumName(prop, value);
        return name.empty() ? "(invalid " + rtl::IntToStr(value) + ")" : name;
    }
    case TPropertyKind::Set: {
        std::vector<std::string> members;
        for (size_t i = 0; i < prop.EnumNames.size() && i < 64; ++i)
            if ((static_cast<uint64_t>(value) >> i) & 1u) members.emplace_back(prop.EnumNames[i]);
        return "[" + Join(members) + "]";
    }
    default: return rtl::IntToStr(value);
    }
}

TPropertyKind KindOf(const TPropInfo &prop) {
    switch (prop.Kind) {
    case TTypeKind::Integer: return TPropertyKind::Integer;
    case TTypeKind::Enumeration: return prop.IsBoolean() ? TPropertyKind::Boolean : TPropertyKind::Enumeration;
    case TTypeKind::Set: return TPropertyKind::Set;
    case TTypeKind::String: return TPropertyKind::String;
    case TTypeKind::Float: return TPropertyKind::Float;
    case TTypeKind::Class: break;
    }
    return TPropertyKind::Binary;
}

std::string BinaryText(TPersistent &holder, std::string_view name) {
    const std::vector<DefinedProperty> all = DefinedProperties(holder);
    const DefinedProperty *d = FindDefined(all, name);
    if (!d || !d->HasData || !d->Write) return "(none)";
    rtl::TMemoryStream data;
    d->Write(data);
    return "(" + rtl::IntToStr(data.Size()) + " bytes)";
}

std::string ValueText(TPersistent &root, const TPropertyDescription &desc) {
    const Target t = Resolve(root, desc);
    if (!t.Prop) return BinaryText(*t.Instance, t.DefinedName);
    switch (desc.Kind) {
    case TPropertyKind::String: return t.Prop->GetStr(*t.Instance);
    case TPropertyKind::Float: return FloatText(t.Prop->GetFloat(*t.Instance));
    default: return OrdinalText(*t.Prop, desc.Kind, t.Prop->GetOrd(*t.Instance));
    }
}

// --- Describing a class -------------------------------------------------------

// Whether the setter of a new effect takes an ordinal (a set's element mask).
bool SetterTakes(const TClassInfo &cls, const std::string &path, int64_t value) {
    std::unique_ptr<TTransitionEffect> probe = CreateTransition(cls);
    const rtl::TPropPath target = rtl::ResolvePropPath(*probe, path);
    if (!target) return false;
    rtl::SetOrdProp(*target.Instance, *target.Prop, value);
    return target.Prop->GetOrd(*target.Instance) == target.Prop->NarrowOrd(value);
}

void DescribeOrdinal(const TClassInfo &cls, const TPropInfo &prop, TPropertyDescription &desc) {
    if (prop.Default) desc.StoredDefault = OrdinalText(prop, desc.Kind, prop.NarrowOrd(*prop.Default));
    if (desc.Kind == TPropertyKind::Integer) {
        desc.Min = prop.MinValue.value_or(prop.OrdLow());
        desc.Max = prop.MaxValue.value_or(prop.OrdHigh());
        desc.Allowed = rtl::IntToStr(desc.Min) + ".." + rtl::IntToStr(desc.Max);
        return;
    }
    for (size_t i = 0; i < prop.EnumNames.size(); ++i) {
        desc.Values.emplace_back(prop.EnumNames[i]);
        const int64_t probe = desc.Kind == TPropertyKind::Set ? int64_t{1} << i : static_cast<int64_t>(i);
        if ((desc.Kind != TPropertyKind::Set || i < 32) && SetterTakes(cls, desc.Name, probe))
            desc.Accepted.emplace_back(prop.EnumNames[i]);
    }
    desc.Allowed = Join(desc.Accepted);
    if (desc.Kind == TPropertyKind::Set) desc.Allowed = "any of " + desc.Allowed;
}

void Collect(const TClassInfo &cls, TPersistent &object, const std::string &prefix,
             std::vector<TPropertyDescription> &out, TPersistent &root) {
    for (const TPropInfo *prop : object.ClassInfo().Properties()) {
        if (!prop->Stored) continue;
        if (prop->Kind == TTypeKind::Class) {
            TPersistent *inner = prop->GetObject(object);
            if (inner && !dynamic_cast<rtl::TComponent *>(inner))
                Collect(cls, *inner, prefix + prop->Name + ".", out, root);
            continue;
        }
        if (prop->IsReadOnly()) continue;
        TPropertyDescription desc;
        desc.Name = prefix + prop->Name;
        desc.Kind = KindOf(*prop);
        switch (desc.Kind) {
        case TPropertyKind::String: desc.Allowed = "any text"; break;
        case TPropertyKind::Float: desc.Allowed = "any number"; break;
        default: DescribeOrdinal(cls, *prop, desc); break;
        }
        desc.Default = ValueText(root, desc);
        out.push_back(std::move(desc));
    }
    for (const DefinedProperty &d : DefinedProperties(object)) {
        if (!d.Read) continue;
        TPropertyDescription desc;
        desc.Name = prefix + d.Name;
        desc.Kind = TPropertyKind::Binary;
        desc.Allowed = dynamic_cast<rtl::TBitmap *>(&object) ? "a BMP file, or an empty text for no picture" : "a file";
        desc.Default = ValueText(root, desc);
        out.push_back(std::move(desc));
    }
}

// --- Applying a value ----------------------------------------------------------

[[noreturn]] void Refuse(const std::string &why, const TPropertyDescription &desc) {
    throw EPropertyValueError(why + ": " + desc.Name + " accepts " + desc.Allowed);
}

std::optional<int64_t> ParseWhole(std::string_view text) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

int FindName(const std::vector<std::string> &names, std::string_view name) {
    for (size_t i = 0; i < names.size(); ++i)
        if (SameText(names[i], name)) return static_cast<int>(i);
    return -1;
}

bool Contains(const std::vector<std::string> &names, std::string_view name) { return FindName(names, name) >= 0; }

std::vector<uint8_t> ReadFile(std::string_view path) {
    std::ifstream file{std::string(path), std::ios::binary};
    if (!file) throw EPropertyValueError("cannot read \"" + std::string(path) + "\"");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw EPropertyValueError("cannot read \"" + std::string(path) + "\"");
    return bytes;
}

// A value checked against the description and ready to be stored.
struct Value {
    int64_t Ordinal = 0;
    std::string Text;
    double Number = 0;
    std::shared_ptr<rtl::TBitmap> Picture; // bitmap data; empty = no picture
    std::vector<uint8_t> Data;             // other binary data
};

Value Parse(const TPropertyDescription &desc, std::string_view text) {
    Value v;
    switch (desc.Kind) {
    case TPropertyKind::Integer: {
        const std::optional<int64_t> n = ParseWhole(text);
        if (!n) Refuse("\"" + std::string(Trim(text)) + "\" is not a whole number", desc);
        if (*n < desc.Min || *n > desc.Max) Refuse("value out of range", desc);
        v.Ordinal = *n;
        break;
    }
    case TPropertyKind::Boolean:
    case TPropertyKind::Enumeration: {
        const int index = FindName(desc.Values, Trim(text));
        if (index < 0 || !Contains(desc.Accepted, desc.Values[static_cast<size_t>(index)]))
            Refuse("value not allowed", desc);
        v.Ordinal = index;
        break;
    }
    case TPropertyKind::Set: {
        std::string_view rest = Trim(text);
        if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') rest = Trim(rest.substr(1, rest.size() - 2));
        uint64_t mask = 0;
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            const std::string_view item = Trim(rest.substr(0, comma));
            const int index = FindName(desc.Values, item);
            if (index < 0 || !Contains(desc.Accepted, desc.Values[static_cast<size_t>(index)]))
                Refuse("value not allowed", desc);
            mask |= uint64_t{1} << index;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        v.Ordinal = static_cast<int64_t>(mask);
        break;
    }
    case TPropertyKind::String: v.Text = std::string(text); break;
    case TPropertyKind::Float: {
        const std::string_view t = Trim(text);
        const auto result = std::from_chars(t.data(), t.data() + t.size(), v.Number);
        if (t.empty() || result.ec != std::errc() || result.ptr != t.data() + t.size() || !std::isfinite(v.Number))
            Refuse("\"" + std::string(t) + "\" is not a number", desc);
        break;
    }
    case TPropertyKind::Binary: v.Text = std::string(Trim(text)); break;
    }
    return v;
}

// Stores a parsed value; false when the setter did not take it.
bool Store(TTransitionEffect &effect, const TPropertyDescription &desc, Value &v) {
    const Target t = Resolve(effect, desc);
    if (!t.Prop) {
        if (auto *bitmap = dynamic_cast<rtl::TBitmap *>(t.Instance); bitmap && SameText(t.DefinedName, "Data")) {
            bitmap->Assign(v.Picture.get());
            return true;
        }
        const std::vector<DefinedProperty> all = DefinedProperties(*t.Instance);
        const DefinedProperty *d = FindDefined(all, t.DefinedName);
        if (!d || !d->Read) throw EPropertyValueError(desc.Name + ": " + rtl::messages::kPropertyNotFound);
        rtl::TReadOnlyMemoryStream data(v.Data.data(), v.Data.size());
        d->Read(data);
        return true;
    }
    switch (desc.Kind) {
    case TPropertyKind::String:
        rtl::SetStrProp(*t.Instance, *t.Prop, v.Text);
        return t.Prop->GetStr(*t.Instance) == v.Text;
    case TPropertyKind::Float:
        rtl::SetFloatProp(*t.Instance, *t.Prop, v.Number);
        return t.Prop->GetFloat(*t.Instance) == v.Number;
    default:
        rtl::SetOrdProp(*t.Instance, *t.Prop, v.Ordinal);
        return t.Prop->GetOrd(*t.Instance) == t.Prop->NarrowOrd(v.Ordinal);
    }
}

// Loads the file a binary value names, once, before it is stored anywhere.
void LoadBinary(const TTransitionEffect &effect, const TPropertyDescription &desc, Value &v) {
    const Target t = Resolve(const_cast<TTransitionEffect &>(effect), desc);
    if (dynamic_cast<rtl::TBitmap *>(t.Instance) && SameText(t.DefinedName, "Data")) {
        if (v.Text.empty()) return;
        const std::vector<uint8_t> bytes = ReadFile(v.Text);
        auto picture = std::make_shared<rtl::TBitmap>();
        try {
            rtl::TReadOnlyMemoryStream file(bytes.data(), bytes.size());
            picture->LoadFromStream(file);
        } catch (const rtl::Exception &e) {
            throw EPropertyValueError("\"" + v.Text + "\" is not a picture this effect can use (" + e.Message() +
                                      "): " + desc.Name + " accepts " + desc.Allowed);
        }
        if (picture->Empty()) Refuse("\"" + v.Text + "\" holds no picture", desc);
        v.Picture = std::move(picture);
        return;
    }
    if (v.Text.empty()) Refuse("no file named", desc);
    v.Data = ReadFile(v.Text);
}

// The value names an enumeration takes in the effect's present state.
std::vector<std::string> AcceptedNow(const TTransitionEffect &effect, const TPropertyDescription &desc) {
    std::vector<std::string> accepted;
    for (size_t i = 0; i < desc.Values.size() && (desc.Kind != TPropertyKind::Set || i < 32); ++i) {
        std::unique_ptr<TTransitionEffect> trial = Clone(effect);
        Value v;
        v.Ordinal = desc.Kind == TPropertyKind::Set ? int64_t{1} << i : static_cast<int64_t>(i);
        if (Store(*trial, desc, v)) accepted.push_back(desc.Values[i]);
    }
    return accepted;
}

} // namespace

std::string_view PropertyKindName(TPropertyKind kind) {
    switch (kind) {
    case TPropertyKind::Integer: return "integer";
    case TPropertyKind::Boolean: return "boolean";
    case TPropertyKind::Enumeration: return "enumeration";
    case TPropertyKind::Set: return "set";
    case TPropertyKind::String: return "string";
    case TPropertyKind::Float: return "float";
    case TPropertyKind::Binary: return "binary";
    }
    return "?";
}

const TPropertyDescription *TTransitionDescription::FindProperty(std::string_view name) const {
    for (const TPropertyDescription &p : Properties)
        if (SameText(p.Name, name)) return &p;
    return nullptr;
}

TTransitionDescription DescribeTransition(const TClassInfo &cls) {
    std::unique_ptr<TTransitionEffect> fresh = CreateTransition(cls);
    TTransitionDescription d;
    d.ClassName = std::string(cls.ClassName());
    if (const TTransitionCode *row = FindTransitionCodeOfClass(d.ClassName)) {
        d.Code = std::string(row->Code);
        d.ShortName = std::string(row->ShortName);
    }
    d.DisplayName = fresh->GetDescription();
    d.Class = &cls;
    Collect(cls, *fresh, "", d.Properties, *fresh);
    return d;
}

std::vector<TTransitionDescription> TransitionCatalogue() {
    std::vector<TTransitionDescription> catalogue;
    for (const TClassInfo *cls : TransitionClasses())
        if (!cls->IsAbstract()) catalogue.push_back(DescribeTransition(*cls));
    return catalogue;
}

const TTransitionDescription *FindTransition(std::span<const TTransitionDescription> catalogue, std::string_view name) {
    name = Trim(name);
    if (name.empty()) return nullptr;
    for (const TTransitionDescription &d : catalogue)
        if ((!d.Code.empty() && d.Code == name) || SameText(d.ClassName, name) ||
            (!d.ShortName.empty() && SameText(d.ShortName, name)) || SameText(d.DisplayName, name))
            return &d;
    return nullptr;
}

std::string PropertyValueText(const TTransitionEffect &effect, const TPropertyDescription &prop) {
    // Reading only; the path walk takes a mutable root.
    return ValueText(const_cast<TTransitionEffect &>(effect), prop);
}

void ApplyPropertyText(TTransitionEffect &effect, std::string_view property, std::string_view text) {
    const TTransitionDescription description = DescribeTransition(effect.ClassInfo());
    const TPropertyDescription *desc = description.FindProperty(Trim(property));
    if (!desc) {
        std::vector<std::string> names;
        for (const TPropertyDescription &p : description.Properties) names.push_back(p.Name);
        throw EPropertyValueError(rtl::Format("%s has no property \"%s\"; its properties are %s",
                                              {description.DisplayName, Trim(property), Join(names)}));
    }
    Value value = Parse(*desc, text);
    if (desc->Kind == TPropertyKind::Binary) LoadBinary(effect, *desc, value);

    // First on a copy: the effect changes only when the setter takes the value.
    std::unique_ptr<TTransitionEffect> trial = Clone(effect);
    if (!Store(*trial, *desc, value)) {
        switch (desc->Kind) {
        case TPropertyKind::Boolean:
        case TPropertyKind::Enumeration:
        case TPropertyKind::Set: {
            TPropertyDescription now = *desc;
            now.Accepted = AcceptedNow(effect, *desc);
            now.Allowed = (desc->Kind == TPropertyKind::Set ? "any of " : "") + Join(now.Accepted);
            Refuse("value not allowed with the present settings", now);
        }
        default:
            throw EPropertyValueError("value not allowed with the present settings: " + desc->Name + " ignored \"" +
                                      std::string(Trim(text)) + "\" (it accepts " + desc->Allowed + ")");
        }
    }
    if (!Store(effect, *desc, value))
        throw EPropertyValueError("value not taken: " + desc->Name + " ignored \"" + std::string(Trim(text)) + "\"");
}

} // namespace qvt
