// Persistent objects and components. TPersistent is the root of every class
// with published properties: it names its class metadata, copies itself with
// Assign and lists its defined (non-published) properties to a filer.
// TComponent adds an owner, a Name and a Tag; an owner frees the components
// it owns. The class registry creates registered classes by name.
//
// Each class with metadata declares
//     static const TClassInfo &StaticClassInfo();
//     const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
// and defines StaticClassInfo with a function-local static built by
// DeclareClass (typinfo.h).
#ifndef QVT_RTL_CLASSES_H
#define QVT_RTL_CLASSES_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "qvt/rtl/exceptions.h"
#include "qvt/rtl/streams.h"
#include "qvt/rtl/typinfo.h"

namespace qvt::rtl {

class EComponentError : public Exception {
    using Exception::Exception;
};

// Receives an object's defined properties. Only binary ones exist here: the
// reader is handed a stream holding exactly the value's bytes, the writer
// writes them.
class TFiler {
public:
    using BinaryProc = std::function<void(TStream &)>;
    virtual ~TFiler() = default;
    virtual void DefineBinaryProperty(std::string_view name, const BinaryProc &readData, const BinaryProc &writeData,
                                      bool hasData) = 0;
};

class TPersistent {
public:
    TPersistent() = default;
    virtual ~TPersistent() = default;
    TPersistent(const TPersistent &) = delete;
    TPersistent &operator=(const TPersistent &) = delete;

    static const TClassInfo &StaticClassInfo();
    virtual const TClassInfo &ClassInfo() const { return StaticClassInfo(); }
    std::string_view ClassName() const;
    bool InheritsFrom(const TClassInfo &ancestor) const;

    // Copies source into this object. Unless this class or source's class
    // knows how, raises EConvertError "Cannot assign a <source> to a <this>"
    // (source "nil" when null).
    virtual void Assign(const TPersistent *source);
    // Lists the defined properties (none by default).
    virtual void DefineProperties(TFiler &filer);

protected:
    // Called by Assign when this class does not know the source: lets the
    // source copy itself into dest. Raises the assign error by default.
    virtual void AssignTo(TPersistent *dest) const;
    [[noreturn]] void AssignError(const TPersistent *source) const;
};

// Offers obj's defined properties to a reader: the one whose name matches
// (case-insensitively) reads from data. False when none matched.
bool ReadDefinedProperty(TPersistent &obj, std::string_view name, TStream &data);
// Calls visit(name, writeData) for each defined property that has data.
void ForEachDefinedProperty(TPersistent &obj,
                            const std::function<void(std::string_view, const TFiler::BinaryProc &)> &visit);

class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent *owner);
    // Frees the owned components (the last one first) and leaves the owner.
    ~TComponent() override;

    static const TClassInfo &StaticClassInfo();
    const TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    TComponent *Owner() const { return owner_; }
    const std::string &Name() const { return name_; }
    // An identifier or empty, unique (case-insensitively) among the owner's
    // components; otherwise EComponentError.
    void SetName(const std::string &name);
    int32_t Tag() const { return tag_; }
    void SetTag(int32_t tag) { tag_ = tag; }

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent *Components(int index) const;
    TComponent *FindComponent(std::string_view name) const;
    // Takes ownership of component (removing it from its previous owner).
    void InsertComponent(TComponent *component);
    // Gives up ownership; the caller then owns component.
    void RemoveComponent(TComponent *component);

private:
    TComponent *owner_ = nullptr;
    std::string name_;
    int32_t tag_ = 0;
    std::vector<TComponent *> components_;
};

// The class registry: classes that can be created by name. Registering a
// class also registers its ancestors below TPersistent. Names are matched
// case-insensitively; registering a different class under a name that is
// taken raises EFilerError "A class named <name> already exists".
void RegisterClass(const TClassInfo &info);
void RegisterClasses(std::initializer_list<const TClassInfo *> infos);
void UnRegisterClass(const TClassInfo &info);
// Raises EClassNotFound "Class <name> not found".
const TClassInfo &FindClass(std::string_view name);
// nullptr when not registered.
const TClassInfo *GetClass(std::string_view name);

} // namespace qvt::rtl

#endif
