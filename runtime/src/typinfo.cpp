// Class metadata and reading/writing published properties.
#include "qvt/rtl/typinfo.h"

#include "qvt/rtl/classes.h"

namespace qvt::rtl {

// --- TPropInfo ---------------------------------------------------------------

bool TPropInfo::IsReadOnly() const {
    switch (Kind) {
    case TTypeKind::Integer:
    case TTypeKind::Enumeration:
    case TTypeKind::Set: return !SetOrd;
    case TTypeKind::String: return !SetStr;
    case TTypeKind::Float: return !SetFloat;
    case TTypeKind::Class: return !SetObject;
    }
    return true;
}

bool TPropInfo::IsBoolean() const {
    return Kind == TTypeKind::Enumeration && EnumNames.size() == 2 && EnumNames[0] == "False" && EnumNames[1] == "True";
}

int TPropInfo::OrdSize() const {
    switch (OrdType) {
    case TOrdType::SByte:
    case TOrdType::UByte: return 1;
    case TOrdType::SWord:
    case TOrdType::UWord: return 2;
    default: return 4;
    }
}

int64_t TPropInfo::NarrowOrd(int64_t value) const {
    switch (OrdType) {
    case TOrdType::SByte: return static_cast<int8_t>(value);
    case TOrdType::UByte: return static_cast<uint8_t>(value);
    case TOrdType::SWord: return static_cast<int16_t>(value);
    case TOrdType::UWord: return static_cast<uint16_t>(value);
    case TOrdType::SLong: return static_cast<int32_t>(value);
    case TOrdType::ULong: return static_cast<uint32_t>(value);
    }
    return value;
}

int64_t TPropInfo::OrdLow() const {
    switch (OrdType) {
    case TOrdType::SByte: return INT8_MIN;
    case TOrdType::SWord: return INT16_MIN;
    case TOrdType::SLong: return INT32_MIN;
    case TOrdType::UByte:
    case TOrdType::UWord:
    case TOrdType::ULong: return 0;
    }
    return INT32_MIN;
}

int64_t TPropInfo::OrdHigh() const {
    switch (OrdType) {
    case TOrdType::SByte: return INT8_MAX;
    case TOrdType::UByte: return UINT8_MAX;
    case TOrdType::SWord: return INT16_MAX;
    case TOrdType::UWord: return UINT16_MAX;
    case TOrdType::SLong: return INT32_MAX;
    case TOrdType::ULong: return UINT32_MAX;
    }
    return INT32_MAX;
}

// --- TClassInfo --------------------------------------------------------------

TClassInfo::TClassInfo(std::string name, const TClassInfo *parent, Factory factory, std::vector<TPropInfo> ownProperties)
    : name_(std::move(name)), parent_(parent), factory_(factory) {
    if (parent_) all_.assign(parent_->all_.begin(), parent_->all_.end());
    for (TPropInfo &p : ownProperties) {
        own_.push_back(std::make_unique<TPropInfo>(std::move(p)));
        const TPropInfo *mine = own_.back().get();
        bool replaced = false;
        for (const TPropInfo *&slot : all_) {
            if (SameText(slot->Name, mine->Name)) {
                slot = mine;
                replaced = true;
                break;
            }
        }
        if (!replaced) all_.push_back(mine);
    }
}

bool TClassInfo::InheritsFrom(const TClassInfo &ancestor) const {
    for (const TClassInfo *c = this; c; c = c->parent_)
        if (c == &ancestor) return true;
    return false;
}

TPersistent *TClassInfo::Create(TComponent *owner) const {
    if (!factory_) throw EInvalidOperation(Format("Cannot create an instance of abstract class %s", {name_}));
    return factory_(owner);
}

const TPropInfo *TClassInfo::FindProperty(std::string_view name) const {
    for (const TPropInfo *p : all_)
        if (SameText(p->Name, name)) return p;
    return nullptr;
}

TPropInfo detail::FindInherited(const TClassInfo *parent, std::string_view name) {
    const TPropInfo *p = parent ? parent->FindProperty(name) : nullptr;
    if (!p) throw EPropertyError(messages::kPropertyNotFound);
    return *p;
}

// --- Property access ---------------------------------------------------------

namespace {

[[noreturn]] void WrongType() { throw EPropertyError(messages::kInvalidPropertyType); }
[[noreturn]] void ReadOnly() { throw EPropertyError(messages::kPropertyReadOnly); }

const TPropInfo &Named(const TPersistent &obj, std::string_view name) {
    const TPropInfo *p = FindPropInfo(obj, name);
    if (!p) throw EPropertyError(messages::kPropertyNotFound);
    return *p;
}

void RequireKind(const TPropInfo &prop, TTypeKind kind) {
    if (prop.Kind != kind) WrongType();
}

} // namespace

std::span<const TPropInfo *const> GetPropInfos(const TPersistent &obj) { return obj.ClassInfo().Properties(); }

const TPropInfo *FindPropInfo(const TPersistent &obj, std::string_view name) { return obj.ClassInfo().FindProperty(name); }

int64_t GetOrdProp(const TPersistent &obj, const TPropInfo &prop) {
    if (!prop.IsOrdinal()) WrongType();
    return prop.GetOrd(obj);
}
int64_t GetOrdProp(const TPersistent &obj, std::string_view name) { return GetOrdProp(obj, Named(obj, name)); }

void SetOrdProp(TPersistent &obj, const TPropInfo &prop, int64_t value) {
    if (!prop.IsOrdinal()) WrongType();
    if (!prop.SetOrd) ReadOnly();
    prop.SetOrd(obj, prop.NarrowOrd(value));
}
void SetOrdProp(TPersistent &obj, std::string_view name, int64_t value) { SetOrdProp(obj, Named(obj, name), value); }

int GetEnumValue(const TPropInfo &prop, std::string_view valueName) {
    for (size_t i = 0; i < prop.EnumNames.size(); ++i)
        if (SameText(prop.EnumNames[i], valueName)) return static_cast<int>(i);
    return -1;
}

std::string GetEnumName(const TPropInfo &prop, int64_t value) {
    if (value < 0 || static_cast<uint64_t>(value) >= prop.EnumNames.size()) return {};
    return std::string(prop.EnumNames[static_cast<size_t>(value)]);
}

std::string GetEnumProp(const TPersistent &obj, const TPropInfo &prop) {
    RequireKind(prop, TTypeKind::Enumeration);
    return GetEnumName(prop, prop.GetOrd(obj));
}
std::string GetEnumProp(const TPersistent &obj, std::string_view name) { return GetEnumProp(obj, Named(obj, name)); }

void SetEnumProp(TPersistent &obj, const TPropInfo &prop, std::string_view valueName) {
    RequireKind(prop, TTypeKind::Enumeration);
    SetOrdProp(obj, prop, GetEnumValue(prop, valueName));
}
void SetEnumProp(TPersistent &obj, std::string_view name, std::string_view valueName) {
    SetEnumProp(obj, Named(obj, name), valueName);
}

std::string GetStrProp(const TPersistent &obj, const TPropInfo &prop) {
    RequireKind(prop, TTypeKind::String);
    return prop.GetStr(obj);
}
std::string GetStrProp(const TPersistent &obj, std::string_view name) { return GetStrProp(obj, Named(obj, name)); }

void SetStrProp(TPersistent &obj, const TPropInfo &prop, const std::string &value) {
    RequireKind(prop, TTypeKind::String);
    if (!prop.SetStr) ReadOnly();
    prop.SetStr(obj, value);
}
void SetStrProp(TPersistent &obj, std::string_view name, const std::string &value) { SetStrProp(obj, Named(obj, name), value); }

double GetFloatProp(const TPersistent &obj, const TPropInfo &prop) {
    RequireKind(prop, TTypeKind::Float);
    return prop.GetFloat(obj);
}

void SetFloatProp(TPersistent &obj, const TPropInfo &prop, double value) {
    RequireKind(prop, TTypeKind::Float);
    if (!prop.SetFloat) ReadOnly();
    prop.SetFloat(obj, value);
}

TPersistent *GetObjectProp(const TPersistent &obj, const TPropInfo &prop) {
    RequireKind(prop, TTypeKind::Class);
    return prop.GetObject(obj);
}
TPersistent *GetObjectProp(const TPersistent &obj, std::string_view name) { return GetObjectProp(obj, Named(obj, name)); }

void SetObjectProp(TPersistent &obj, const TPropInfo &prop, TPersistent *value) {
    RequireKind(prop, TTypeKind::Class);
    if (!prop.SetObject) ReadOnly();
    prop.SetObject(obj, value);
}

const char *TPropPath::ErrorMessage() const {
    switch (Error) {
    case TPropPathError::InvalidPath: return messages::kInvalidPropertyPath;
    case TPropPathError::NotFound: return messages::kPropertyNotFound;
    case TPropPathError::None: break;
    }
    return "";
}

TPropPath ResolvePropPath(TPersistent &root, std::string_view path) {
    TPropPath result;
    TPersistent *instance = &root;
    for (;;) {
        const size_t dot = path.find('.');
        if (dot == std::string_view::npos) break;
        const TPropInfo *p = FindPropInfo(*instance, path.substr(0, dot));
        TPersistent *inner = p && p->Kind == TTypeKind::Class ? p->GetObject(*instance) : nullptr;
        if (!inner) {
            result.Error = TPropPathError::InvalidPath;
            return result;
        }
        instance = inner;
        path.remove_prefix(dot + 1);
    }
    result.Instance = instance;
    result.LastName = path;
    result.Prop = FindPropInfo(*instance, path);
    if (!result.Prop) result.Error = TPropPathError::NotFound;
    return result;
}

} // namespace qvt::rtl
