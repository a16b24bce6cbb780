// Labels through FreeType.
#include "labels.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include "tool_error.h"

#ifndef QVT_LABEL_FONT
#define QVT_LABEL_FONT "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
#endif

namespace qvt::host {

struct LabelFont::Library {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Library() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

const char *LabelFontPath() { return QVT_LABEL_FONT; }

LabelFont::LabelFont(int pixelSize) : ft_(new Library) {
    FT_Error error = FT_Init_FreeType(&ft_->library);
    if (!error) error = FT_New_Face(ft_->library, LabelFontPath(), 0, &ft_->face);
    if (!error) error = FT_Set_Pixel_Sizes(ft_->face, 0, static_cast<FT_UInt>(pixelSize));
    if (error) {
        const char *text = FT_Error_String(error);
        std::string message = std::string("cannot load the label font ") + LabelFontPath() + ": " +
                              (text ? text : "FreeType error " + std::to_string(error));
        delete ft_;
        throw ToolError(message);
    }
    ascent_ = static_cast<int>(ft_->face->size->metrics.ascender >> 6);
    lineHeight_ = static_cast<int>(ft_->face->size->metrics.height >> 6);
}

LabelFont::~LabelFont() { delete ft_; }

int LabelFont::TextWidth(const std::string &text) {
    int width = 0;
    for (unsigned char c : text)
        if (FT_Load_Char(ft_->face, c, FT_LOAD_DEFAULT) == 0)
            width += static_cast<int>(ft_->face->glyph->advance.x >> 6);
    return width;
}

void LabelFont::Draw(RgbImage &picture, int x, int y, const std::string &text, std::array<uint8_t, 3> colour) {
    for (unsigned char c : text) {
        if (FT_Load_Char(ft_->face, c, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = ft_->face->glyph;
        const FT_Bitmap &bm = g->bitmap;
        for (unsigned row = 0; row < bm.rows; ++row) {
            const int py = y - g->bitmap_top + static_cast<int>(row);
            if (py < 0 || py >= picture.height) continue;
            for (unsigned col = 0; col < bm.width; ++col) {
                const int px = x + g->bitmap_left + static_cast<int>(col);
                if (px < 0 || px >= picture.width) continue;
                const int a = bm.buffer[static_cast<int>(row) * bm.pitch + static_cast<int>(col)];
                uint8_t *p = picture.Pixel(px, py);
                for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>((colour[k] * a + p[k] * (255 - a) + 127) / 255);
            }
        }
        x += static_cast<int>(g->advance.x >> 6);
    }
}

} // namespace qvt::host
