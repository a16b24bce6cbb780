// TBitmap: a DIB section (or a screen-compatible bitmap for pfDevice) with a
// colour table, an optional palette and a canvas made on demand.
#include <algorithm>
#include <cstring>

#include "bmp_codec.h"
#include "module_static.h"
#include "qvt/rtl/graphics.h"

namespace qvt::rtl {

// The canvas of a bitmap: a memory DC holding the bitmap and its palette.
class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap &bitmap) : bitmap_(bitmap) {
        if (auto *live = Live()) live->push_back(this);
    }
    ~TBitmapCanvas() override {
        FreeContext();
        if (auto *live = Live()) std::erase(*live, this);
    }

    // Deselects the bitmap and palette and deletes the DC (a DC attached
    // from outside is only let go of).
    void FreeContext() {
        HDC dc = CurrentHandle();
        ReleaseHandle();
        if (!dc || dc != ownDC_) return;
        if (oldBitmap_) SelectObject(dc, oldBitmap_);
        if (oldPalette_) SelectPalette(dc, oldPalette_, TRUE);
        DeleteDC(dc);
        oldBitmap_ = nullptr;
        oldPalette_ = nullptr;
        selected_ = nullptr;
        ownDC_ = nullptr;
    }

protected:
    void DestroyHandle() override { FreeContext(); }

    void CreateHandle() override {
        HBITMAP bitmap = bitmap_.handle_.Get();
        // A bitmap can be selected into one DC at a time: take it back from
        // any other bitmap canvas first.
        if (auto *live = Live(); bitmap && live)
            for (TBitmapCanvas *other : *live)
                if (other != this && other->selected_ == bitmap) other->FreeContext();
        MemoryDC dc(CreateCompatibleDC(nullptr));
        if (!dc.Get()) throw EOutOfResources();
        HGDIOBJ oldBitmap = nullptr;
        if (bitmap && !(oldBitmap = SelectObject(dc.Get(), bitmap))) throw EOutOfResources();
        HPALETTE oldPalette = nullptr;
        if (HPALETTE palette = bitmap_.palette_.Get()) {
            oldPalette = SelectPalette(dc.Get(), palette, TRUE);
            RealizePalette(dc.Get());
        }
        oldBitmap_ = oldBitmap;
        oldPalette_ = oldPalette;
        selected_ = bitmap;
        ownDC_ = dc.Release();
        AttachHandle(ownDC_);
    }

private:
    // The canvases that hold a DC; null once the module's static objects
    // are gone (bitmaps destroyed later skip it).
    static std::vector<TBitmapCanvas *> *Live() { return ModuleStatic<std::vector<TBitmapCanvas *>>::Get(); }

    TBitmap &bitmap_;
    HDC ownDC_ = nullptr;
    HBITMAP selected_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HPALETTE oldPalette_ = nullptr;
};

namespace {

constexpr RGBQUAD Quad(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

// The 16 standard colours, black first and white last.
constexpr RGBQUAD kStandard16[16] = {
    Quad(0x00, 0x00, 0x00), Quad(0x80, 0x00, 0x00), Quad(0x00, 0x80, 0x00), Quad(0x80, 0x80, 0x00),
    Quad(0x00, 0x00, 0x80), Quad(0x80, 0x00, 0x80), Quad(0x00, 0x80, 0x80), Quad(0xC0, 0xC0, 0xC0),
    Quad(0x80, 0x80, 0x80), Quad(0xFF, 0x00, 0x00), Quad(0x00, 0xFF, 0x00), Quad(0xFF, 0xFF, 0x00),
    Quad(0x00, 0x00, 0xFF), Quad(0xFF, 0x00, 0xFF), Quad(0x00, 0xFF, 0xFF), Quad(0xFF, 0xFF, 0xFF)};

// 8-bit default: the system palette of an 8-bit display; otherwise black,
// the 6x6x6 cube without its black and white corners, 40 greys (10, 16, ...,
// 244: none on the cube, and none so close to black or white that a blit's
// nearest-colour search would prefer it to them), and white.
std::vector<RGBQUAD> Default256() {
    std::vector<RGBQUAD> table;
    ScreenDC screen;
    PALETTEENTRY system[256];
    if (GetSystemPaletteEntries(screen.Get(), 0, 256, system) == 256) {
        for (const PALETTEENTRY &e : system) table.push_back(Quad(e.peRed, e.peGreen, e.peBlue));
        return table;
    }
    table.push_back(Quad(0, 0, 0));
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                const int sum = r + g + b;
                if (sum == 0 || sum == 15) continue;
                table.push_back(Quad(static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51), static_cast<uint8_t>(b * 51)));
            }
    for (int k = 0; k < 40; ++k) {
        const auto v = static_cast<uint8_t>(10 + 6 * k);
        table.push_back(Quad(v, v, v));
    }
    table.push_back(Quad(255, 255, 255));
    return table;
}

std::vector<RGBQUAD> DefaultTable(TPixelFormat format) {
    switch (format) {
    case pf1bit: return {Quad(0, 0, 0), Quad(255, 255, 255)};
    case pf4bit: return {std::begin(kStandard16), std::end(kStandard16)};
    case pf8bit: return Default256();
    default: return {};
    }
}

// A new palette of the entries; EOutOfResources when it cannot be made.
GdiObject<HPALETTE> NewPalette(std::span<const PALETTEENTRY> entries) {
    std::vector<uint8_t> storage(sizeof(LOGPALETTE) + entries.size() * sizeof(PALETTEENTRY));
    auto *log = reinterpret_cast<LOGPALETTE *>(storage.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(entries.size());
    std::copy(entries.begin(), entries.end(), log->palPalEntry);
    GdiObject<HPALETTE> palette(CreatePalette(log));
    if (!palette) throw EOutOfResources();
    return palette;
}

GdiObject<HPALETTE> PaletteFromTable(std::span<const RGBQUAD> table) {
    std::vector<PALETTEENTRY> entries;
    entries.reserve(table.size());
    for (const RGBQUAD &q : table) entries.push_back(PALETTEENTRY{q.rgbRed, q.rgbGreen, q.rgbBlue, 0});
    return NewPalette(entries);
}

struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

void FillBlack(HDC dc, int width, int height) {
    GdiObject<HBRUSH> black(CreateSolidBrush(RGB(0, 0, 0)));
    const RECT r{0, 0, width, height};
    ::FillRect(dc, &r, black.Get());
}

} // namespace

HPALETTE CopyPalette(HPALETTE palette) {
    if (!palette) return nullptr;
    std::vector<PALETTEENTRY> entries(GetPaletteEntries(palette, 0, 0, nullptr));
    entries.resize(GetPaletteEntries(palette, 0, static_cast<UINT>(entries.size()), entries.data()));
    return NewPalette(entries).Release();
}

// --- TBitmap -----------------------------------------------------------------------

const TClassInfo &TBitmap::StaticClassInfo() {
    static const TClassInfo info = DeclareClass<TBitmap, TPersistent>("TBitmap").Build();
    return info;
}

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() { canvas_.reset(); }

std::vector<RGBQUAD> TBitmap::TableFor(TPixelFormat format) const {
    const int bits = PixelFormatBits(format);
    if (bits == 0 || bits > 8) return {};
    if (palette_) {
        PALETTEENTRY entries[256];
        const UINT n = GetPaletteEntries(palette_.Get(), 0, 1u << bits, entries);
        if (n > 0) {
            std::vector<RGBQUAD> table;
            for (UINT i = 0; i < n; ++i) table.push_back(Quad(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
            return table;
        }
    }
    return DefaultTable(format);
}

TBitmap::Image TBitmap::NewImage(int width, int height, TPixelFormat format, const std::vector<RGBQUAD> &table) const {
    Image image;
    if (format == pfDevice) {
        ScreenDC screen;
        image.handle.Reset(CreateCompatibleBitmap(screen.Get(), width, height));
        if (!image.handle) throw EOutOfResources();
        MemoryDC dc(CreateCompatibleDC(nullptr));
        SelectedObject selected(dc.Get(), image.handle.Get());
        PatBlt(dc.Get(), 0, 0, width, height, BLACKNESS);
        return image;
    }
    const int bits = PixelFormatBits(format);
    if (bits == 0) throw EInvalidGraphic(messages::kInvalidPixelFormat);
    BitmapInfo256 info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height; // bottom-up
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = format == pf16bit ? BI_BITFIELDS : BI_RGB;
    if (format == pf16bit) {
        const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(info.colors, masks, sizeof masks);
    } else if (bits <= 8) {
        const size_t n = std::min<size_t>(table.size(), size_t(1) << bits);
        info.header.biClrUsed = static_cast<DWORD>(n);
        std::copy_n(table.begin(), n, info.colors);
    }
    image.handle.Reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &image.bits, nullptr, 0));
    if (!image.handle || !image.bits) throw EOutOfResources();
    image.table.assign(table.begin(), table.begin() + info.header.biClrUsed);
    const size_t bytes = static_cast<size_t>(BytesPerScanLine(width, bits)) * static_cast<size_t>(height);
    std::memset(image.bits, 0, bytes);
    // All-zero pixels are black unless a colour table starts with another colour.
    const bool zeroIsBlack = bits > 8 || (!image.table.empty() && image.table[0].rgbRed == 0 &&
                                          image.table[0].rgbGreen == 0 && image.table[0].rgbBlue == 0);
    if (!zeroIsBlack) {
        MemoryDC dc(CreateCompatibleDC(nullptr));
        SelectedObject selected(dc.Get(), image.handle.Get());
        FillBlack(dc.Get(), width, height);
    }
    return image;
}

void TBitmap::FreeContext() {
    if (canvas_) canvas_->FreeContext();
}

HDC TBitmap::SourceDC() const {
    if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(const_cast<TBitmap &>(*this));
    return canvas_->Handle();
}

TCanvas &TBitmap::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
    return *canvas_;
}

void TBitmap::Rebuild(int width, int height, TPixelFormat format, bool keep) {
    std::vector<RGBQUAD> table = TableFor(format);
    Image image;
    if (width > 0 && height > 0) {
        image = NewImage(width, height, format, table);
        table = image.table;
    }
    FreeContext();
    if (keep && image.handle && handle_) {
        MemoryDC src(CreateCompatibleDC(nullptr)), dst(CreateCompatibleDC(nullptr));
        SelectedObject from(src.Get(), handle_.Get()), to(dst.Get(), image.handle.Get());
        BitBlt(dst.Get(), 0, 0, std::min(width, width_), std::min(height, height_), src.Get(), 0, 0, SRCCOPY);
    }
    Install(image, std::move(table), width, height, format);
}

void TBitmap::Install(Image &image, std::vector<RGBQUAD> table, int width, int height, TPixelFormat format) {
    handle_ = std::move(image.handle);
    bits_ = image.bits;
    table_ = std::move(table);
    width_ = width;
    height_ = height;
    format_ = format;
}

void TBitmap::SetSize(int width, int height) {
    if (width < 0 || height < 0) throw EInvalidGraphicOperation("Invalid bitmap size");
    if (width == width_ && height == height_) return;
    Rebuild(width, height, format_, true);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    if (format > pf32bit) throw EInvalidGraphic(messages::kInvalidPixelFormat);
    if (format == format_) return;
    Rebuild(width_, height_, format, true);
}

void TBitmap::SetMonochrome(bool value) {
    if (value == Monochrome()) return;
    if (value) {
        FreeContext();
        palette_.Reset();
        Rebuild(width_, height_, pf1bit, true);
    } else {
        Rebuild(width_, height_, pfDevice, true);
    }
}

void TBitmap::SetPalette(HPALETTE palette) {
    if (palette == palette_.Get()) return;
    FreeContext();
    palette_.Reset(palette);
    if (PixelFormatBits(format_) > 0 && PixelFormatBits(format_) <= 8) Rebuild(width_, height_, format_, true);
}

void *TBitmap::ScanLine(int y) {
    if (Empty() || y < 0 || y >= height_) throw EInvalidGraphicOperation(messages::kScanLine);
    if (!bits_) Rebuild(width_, height_, DevicePixelFormat(), true);
    GdiFlush();
    const size_t stride = static_cast<size_t>(BytesPerScanLine(width_, PixelFormatBits(format_)));
    return static_cast<uint8_t *>(bits_) + static_cast<size_t>(height_ - 1 - y) * stride;
}

void TBitmap::Assign(const TPersistent *source) {
    if (!source) {
        FreeContext();
        handle_.Reset();
        bits_ = nullptr;
        palette_.Reset();
        table_ = TableFor(format_);
        width_ = height_ = 0;
        return;
    }
    const auto *other = dynamic_cast<const TBitmap *>(source);
    if (!other) return TPersistent::Assign(source);
    if (other == this) return;
    GdiObject<HPALETTE> palette(CopyPalette(other->palette_.Get()));
    Image image;
    if (!other->Empty()) {
        image = NewImage(other->width_, other->height_, other->format_, other->table_);
        if (other->bits_) {
            GdiFlush();
            const size_t bytes = static_cast<size_t>(BytesPerScanLine(other->width_, PixelFormatBits(other->format_))) *
                                 static_cast<size_t>(other->height_);
            std::memcpy(image.bits, other->bits_, bytes);
        } else {
            MemoryDC dst(CreateCompatibleDC(nullptr));
            SelectedObject to(dst.Get(), image.handle.Get());
            BitBlt(dst.Get(), 0, 0, other->width_, other->height_, other->SourceDC(), 0, 0, SRCCOPY);
        }
    }
    FreeContext();
    palette_ = std::move(palette);
    Install(image, other->table_, other->width_, other->height_, other->format_);
}

// --- Streams ------------------------------------------------------------------------

void TBitmap::LoadFromMemory(const uint8_t *data, size_t size) {
    if (size == 0) return Assign(nullptr);
    bmp::Decoded decoded = bmp::Decode(data, size);
    Image image = NewImage(decoded.width, decoded.height, decoded.format, decoded.table);
    std::memcpy(image.bits, decoded.pixels.data(), decoded.pixels.size());
    GdiObject<HPALETTE> palette;
    if (!decoded.table.empty()) palette = PaletteFromTable(decoded.table);
    FreeContext();
    palette_ = std::move(palette);
    Install(image, std::move(decoded.table), decoded.width, decoded.height, decoded.format);
}

void TBitmap::LoadFromStream(TStream &stream) {
    const int64_t size = stream.Remaining();
    // Memory streams are parsed in place; others are read into a buffer.
    const void *memory = nullptr;
    if (auto *ro = dynamic_cast<TReadOnlyMemoryStream *>(&stream))
        memory = ro->Memory();
    else if (auto *ms = dynamic_cast<TMemoryStream *>(&stream))
        memory = ms->Memory();
    if (memory) {
        const int64_t start = stream.Position();
        LoadFromMemory(static_cast<const uint8_t *>(memory) + start, static_cast<size_t>(size));
        stream.Seek(size, soFromCurrent);
        return;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(size));
    stream.ReadBuffer(buffer.data(), size);
    LoadFromMemory(buffer.data(), buffer.size());
}

void TBitmap::SaveToStream(TStream &stream) const {
    if (Empty()) return;
    if (!bits_) {
        // A device-dependent bitmap is written as the equivalent DIB.
        TBitmap copy;
        copy.Assign(this);
        copy.SetPixelFormat(DevicePixelFormat());
        copy.SaveToStream(stream);
        return;
    }
    GdiFlush();
    bmp::Encode(stream, width_, height_, format_, table_, static_cast<const uint8_t *>(bits_));
}

void TBitmap::ReadData(TStream &stream) {
    const uint32_t size = stream.ReadLE<uint32_t>();
    if (size > static_cast<uint64_t>(stream.Remaining())) throw EReadError();
    std::vector<uint8_t> buffer(size);
    stream.ReadBuffer(buffer.data(), size);
    LoadFromMemory(buffer.data(), buffer.size());
}

void TBitmap::WriteData(TStream &stream) const {
    TMemoryStream file;
    SaveToStream(file);
    stream.WriteLE<uint32_t>(static_cast<uint32_t>(file.Size()));
    file.SaveToStream(stream);
}

void TBitmap::DefineProperties(TFiler &filer) {
    filer.DefineBinaryProperty(
        "Data", [this](TStream &s) { ReadData(s); }, [this](TStream &s) { WriteData(s); }, !Empty());
}

} // namespace qvt::rtl
