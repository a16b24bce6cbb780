// Graphics objects the library and the qvt program both hold for the length
// of a scope. Not installed.
#ifndef QVT_API_GDI_OBJECTS_H
#define QVT_API_GDI_OBJECTS_H

#include <windows.h>

#include "qvt/transition.h"

namespace qvt::detail {

// A memory DC with a bitmap selected, restored and freed with the object.
class SelectedBitmap {
public:
    SelectedBitmap(HDC reference, HBITMAP bitmap) : dc_(CreateCompatibleDC(reference)) {
        old_ = dc_ ? SelectObject(dc_, bitmap) : nullptr;
        if (!old_) {
            if (dc_) DeleteDC(dc_);
            throw Error("cannot select a page bitmap");
        }
    }
    ~SelectedBitmap() {
        SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    SelectedBitmap(const SelectedBitmap &) = delete;
    SelectedBitmap &operator=(const SelectedBitmap &) = delete;
    HDC Handle() const { return dc_; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

} // namespace qvt::detail

#endif
