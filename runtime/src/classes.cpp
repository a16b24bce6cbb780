// TPersistent, TComponent, defined-property helpers and the class registry.
#include "qvt/rtl/classes.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "module_static.h"

namespace qvt::rtl {

// --- TPersistent -------------------------------------------------------------

const TClassInfo &TPersistent::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TPersistent>("TPersistent").Build();
    return info;
}

std::string_view TPersistent::ClassName() const { return ClassInfo().ClassName(); }

bool TPersistent::InheritsFrom(const TClassInfo &ancestor) const { return ClassInfo().InheritsFrom(ancestor); }

void TPersistent::Assign(const TPersistent *source) {
    if (!source) AssignError(nullptr);
    source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent *dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent *source) const {
    const std::string_view sourceName = source ? source->ClassName() : std::string_view("nil");
    throw EConvertError(Format("Cannot assign a %s to a %s", {sourceName, ClassName()}));
}

void TPersistent::DefineProperties(TFiler &) {}

namespace {

// Finds one defined property by name and lets it read.
class DefinedPropertyReader : public TFiler {
public:
    DefinedPropertyReader(std::string_view name, TStream &data) : name_(name), data_(data) {}
    void DefineBinaryProperty(std::string_view name, const BinaryProc &readData, const BinaryProc &,
                              bool) override {
        if (done_ || !readData || !SameText(name, name_)) return;
        done_ = true;
        readData(data_);
    }
    bool done() const { return done_; }

private:
    std::string_view name_;
    TStream &data_;
    bool done_ = false;
};

class DefinedPropertyLister : public TFiler {
public:
    using Visit = std::function<void(std::string_view, const TFiler::BinaryProc &)>;
    explicit DefinedPropertyLister(const Visit &visit) : visit_(visit) {}
    void DefineBinaryProperty(std::string_view name, const BinaryProc &, const BinaryProc &writeData,
                              bool hasData) override {
        if (hasData && writeData) visit_(name, writeData);
    }

private:
    const Visit &visit_;
};

} // namespace

bool ReadDefinedProperty(TPersistent &obj, std::string_view name, TStream &data) {
    DefinedPropertyReader reader(name, data);
    obj.DefineProperties(reader);
    return reader.done();
}

void ForEachDefinedProperty(TPersistent &obj,
                            const std::function<void(std::string_view, const TFiler::BinaryProc &)> &visit) {
    DefinedPropertyLister lister(visit);
    obj.DefineProperties(lister);
}

// --- TComponent --------------------------------------------------------------

const TClassInfo &TComponent::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TComponent, TPersistent>("TComponent")
                                       .Property("Name", &TComponent::Name, &TComponent::SetName)
                                       .Stored(false)
                                       .Property("Tag", &TComponent::Tag, &TComponent::SetTag)
                                       .Default(0)
                                       .Build();
    return info;
}

TComponent::TComponent(TComponent *owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    while (!components_.empty()) {
        TComponent *last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;
        delete last;
    }
    if (owner_) owner_->RemoveComponent(this);
}

namespace {

bool IsValidIdent(std::string_view s) {
    if (s.empty()) return false;
    const auto start = [](unsigned char c) { return std::isalpha(c) || c == '_'; };
    if (!start(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin() + 1, s.end(), [&](char c) { return start(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)); });
}

} // namespace

void TComponent::SetName(const std::string &name) {
    if (name == name_) return;
    if (!name.empty() && !IsValidIdent(name)) throw EComponentError(Format("'%s' is not a valid component name", {name}));
    if (!name.empty() && owner_) {
        const TComponent *other = owner_->FindComponent(name);
        if (other && other != this) throw EComponentError(Format("A component named %s already exists", {name}));
    }
    name_ = name;
}

TComponent *TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw EListError(Format("List index out of bounds (%d)", {index}));
    return components_[static_cast<size_t>(index)];
}

TComponent *TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent *c : components_)
        if (SameText(c->name_, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent *component) {
    if (!component || component->owner_ == this) return;
    if (!component->name_.empty() && FindComponent(component->name_))
        throw EComponentError(Format("A component named %s already exists", {component->name_}));
    if (component->owner_) component->owner_->RemoveComponent(component);
    components_.push_back(component);
    component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent *component) {
    const auto it = std::find(components_.begin(), components_.end(), component);
    if (it == components_.end()) return;
    components_.erase(it);
    component->owner_ = nullptr;
}

// --- Class registry ----------------------------------------------------------

namespace {

struct Registry {
    std::mutex lock;
    std::vector<const TClassInfo *> classes;

    const TClassInfo *Find(std::string_view name) const {
        for (const TClassInfo *c : classes)
            if (SameText(c->ClassName(), name)) return c;
        return nullptr;
    }
};

// Null once the module's static objects are gone; units whose static
// destructors run later skip it.
Registry *TheRegistry() { return ModuleStatic<Registry>::Get(); }
Registry &LiveRegistry() {
    Registry *r = TheRegistry();
    if (!r) throw EInvalidOperation("The class registry is no longer available");
    return *r;
}

} // namespace

void RegisterClass(const TClassInfo &info) {
    Registry &r = LiveRegistry();
    std::lock_guard guard(r.lock);
    const TClassInfo &root = TPersistent::StaticClassInfo();
    for (const TClassInfo *c = &info; c && c != &root; c = c->Parent()) {
        const TClassInfo *existing = r.Find(c->ClassName());
        if (existing == c) break; // this class and its ancestors are known
        if (existing) throw EFilerError(Format("A class named %s already exists", {c->ClassName()}));
        r.classes.push_back(c);
    }
}

void RegisterClasses(std::initializer_list<const TClassInfo *> infos) {
    for (const TClassInfo *info : infos) RegisterClass(*info);
}

void UnRegisterClass(const TClassInfo &info) {
    Registry *registry = TheRegistry();
    if (!registry) return;
    Registry &r = *registry;
    std::lock_guard guard(r.lock);
    std::erase(r.classes, &info);
}

const TClassInfo *GetClass(std::string_view name) {
    Registry *r = TheRegistry();
    if (!r) return nullptr;
    std::lock_guard guard(r->lock);
    return r->Find(name);
}

const TClassInfo &FindClass(std::string_view name) {
    const TClassInfo *c = GetClass(name);
    if (!c) throw EClassNotFound(Format("Class %s not found", {name}));
    return *c;
}

} // namespace qvt::rtl
