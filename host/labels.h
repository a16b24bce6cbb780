// Text labels drawn onto pictures with FreeType and the DejaVu Sans font
// (fonts-dejavu-core): antialiased, any effect name, no font data of our own.
#ifndef QVT_HOST_LABELS_H
#define QVT_HOST_LABELS_H

#include <array>
#include <cstdint>
#include <string>

#include "png_io.h"

namespace qvt::host {

class LabelFont {
public:
    // The font at a height of pixelSize pixels. Raises ToolError when the
    // font file cannot be loaded.
    explicit LabelFont(int pixelSize);
    ~LabelFont();
    LabelFont(const LabelFont &) = delete;
    LabelFont &operator=(const LabelFont &) = delete;

    int TextWidth(const std::string &text);
    int Ascent() const { return ascent_; }
    int LineHeight() const { return lineHeight_; }
    // Draws text with its baseline at y, starting at x, clipped to the picture.
    void Draw(RgbImage &picture, int x, int y, const std::string &text, std::array<uint8_t, 3> colour);

private:
    struct Library;
    Library *ft_;
    int ascent_ = 0, lineHeight_ = 0;
};

// The font file labels are drawn with.
const char *LabelFontPath();

} // namespace qvt::host

#endif
