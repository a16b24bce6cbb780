// Owners for graphics handles, so that every path out of a function (an
// exception included) deletes what it created and restores what it selected.
#ifndef QVT_RTL_GDIOBJ_H
#define QVT_RTL_GDIOBJ_H

#include <windows.h>

#include <utility>

namespace qvt::rtl {

// Owns a pen, brush, bitmap, palette or region; DeleteObject on destruction.
template <class H> class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : h_(h) {}
    ~GdiObject() { Reset(); }
    GdiObject(GdiObject &&o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    GdiObject &operator=(GdiObject &&o) noexcept {
        if (this != &o) Reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    GdiObject(const GdiObject &) = delete;
    GdiObject &operator=(const GdiObject &) = delete;

    H Get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    H Release() { return std::exchange(h_, nullptr); }
    void Reset(H h = nullptr) {
        if (h_ && h_ != h) DeleteObject(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};

// Owns a memory DC; DeleteDC on destruction.
class MemoryDC {
public:
    MemoryDC() = default;
    explicit MemoryDC(HDC dc) : dc_(dc) {}
    ~MemoryDC() { Reset(); }
    MemoryDC(MemoryDC &&o) noexcept : dc_(std::exchange(o.dc_, nullptr)) {}
    MemoryDC &operator=(MemoryDC &&o) noexcept {
        if (this != &o) Reset(std::exchange(o.dc_, nullptr));
        return *this;
    }
    MemoryDC(const MemoryDC &) = delete;
    MemoryDC &operator=(const MemoryDC &) = delete;

    HDC Get() const { return dc_; }
    HDC Release() { return std::exchange(dc_, nullptr); }
    void Reset(HDC dc = nullptr) {
        if (dc_ && dc_ != dc) DeleteDC(dc_);
        dc_ = dc;
    }

private:
    HDC dc_ = nullptr;
};

// The screen DC for the lifetime of the object.
class ScreenDC {
public:
    ScreenDC() : dc_(GetDC(nullptr)) {}
    ~ScreenDC() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDC(const ScreenDC &) = delete;
    ScreenDC &operator=(const ScreenDC &) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a DC and selects the previous one back on
// destruction.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(dc && obj ? SelectObject(dc, obj) : nullptr) {}
    ~SelectedObject() {
        if (old_) SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject &) = delete;
    SelectedObject &operator=(const SelectedObject &) = delete;
    // False when the selection failed (for example a bitmap selected elsewhere).
    bool Ok() const { return old_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// Selects a palette (as a background palette) and realizes it; the previous
// palette comes back on destruction.
class SelectedPalette {
public:
    SelectedPalette(HDC dc, HPALETTE pal) : dc_(dc), old_(dc && pal ? SelectPalette(dc, pal, TRUE) : nullptr) {
        if (old_) RealizePalette(dc_);
    }
    ~SelectedPalette() {
        if (old_) SelectPalette(dc_, old_, TRUE);
    }
    SelectedPalette(const SelectedPalette &) = delete;
    SelectedPalette &operator=(const SelectedPalette &) = delete;

private:
    HDC dc_;
    HPALETTE old_;
};

} // namespace qvt::rtl

#endif
