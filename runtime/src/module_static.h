// A static object of the module that knows when it is gone.
#ifndef QVT_RTL_MODULE_STATIC_H
#define QVT_RTL_MODULE_STATIC_H

namespace qvt::rtl {

// One T, made on first use, that lives until the module's static objects are
// destroyed (at program exit, or when a plug-in module is unloaded, which must
// not leak it). Get() returns null from then on, so that static destructors
// that run later can skip it. Tag tells apart uses of the same T.
template <class T, class Tag = T> class ModuleStatic {
public:
    static T *Get() {
        if (gone_) return nullptr;
        static Holder holder;
        return &holder.value;
    }

private:
    struct Holder {
        T value;
        ~Holder() { gone_ = true; }
    };
    static inline bool gone_ = false;
};

} // namespace qvt::rtl

#endif
