// Contact sheet layout.
#include "contact_sheet.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "labels.h"
#include "tool_error.h"

namespace qvt::host {

namespace {
constexpr std::array<uint8_t, 3> kBackground{30, 30, 34};
constexpr std::array<uint8_t, 3> kLabelColour{236, 236, 236};
constexpr std::array<uint8_t, 3> kHeaderColour{170, 170, 184};

void paste(RgbImage &sheet, const RgbImage &picture, int left, int top) {
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(sheet.Pixel(left, top + y), picture.Pixel(0, y), static_cast<size_t>(picture.width) * 3);
}
} // namespace

ThumbSize FitThumb(int width, int height, int boxWidth, int boxHeight) {
    // Compare the shapes in whole numbers: page w/h against box w/h.
    const int64_t page = static_cast<int64_t>(width) * boxHeight, box = static_cast<int64_t>(boxWidth) * height;
    if (page >= box) {
        const int64_t h = (2 * static_cast<int64_t>(boxWidth) * height + width) / (2 * width);
        return {boxWidth, static_cast<int>(std::max<int64_t>(1, h))};
    }
    const int64_t w = (2 * static_cast<int64_t>(boxHeight) * width + height) / (2 * height);
    return {static_cast<int>(std::max<int64_t>(1, w)), boxHeight};
}

int SheetFrameIndex(int frameCount, int percent) {
    if (frameCount <= 1) return 0;
    return static_cast<int>((static_cast<int64_t>(frameCount - 1) * percent + 50) / 100);
}

RgbImage ComposeContactSheet(const std::vector<std::string> &columns, const std::vector<SheetRow> &rows) {
    if (rows.empty() || rows[0].frames.empty()) throw ToolError("nothing to put on a contact sheet");
    const int thumbW = rows[0].frames[0].width, thumbH = rows[0].frames[0].height;
    const int cols = static_cast<int>(columns.size());
    LabelFont font(std::clamp(thumbH / 7, 11, 18));
    const int pad = std::max(6, thumbH / 16);
    int labelW = 0;
    for (const SheetRow &row : rows) labelW = std::max(labelW, font.TextWidth(row.label));
    labelW += 2 * pad;
    const int headerH = font.LineHeight() + pad;
    const int width = pad + labelW + cols * (thumbW + pad);
    const int height = pad + headerH + static_cast<int>(rows.size()) * (thumbH + pad);

    RgbImage sheet(width, height);
    for (size_t i = 0; i < sheet.rgb.size(); i += 3) std::memcpy(&sheet.rgb[i], kBackground.data(), 3);
    const int gridLeft = pad + labelW;
    for (int c = 0; c < cols; ++c) {
        const int textW = font.TextWidth(columns[static_cast<size_t>(c)]);
        font.Draw(sheet, gridLeft + c * (thumbW + pad) + (thumbW - textW) / 2, pad + font.Ascent(),
                  columns[static_cast<size_t>(c)], kHeaderColour);
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const int top = pad + headerH + static_cast<int>(r) * (thumbH + pad);
        font.Draw(sheet, pad, top + (thumbH + font.Ascent()) / 2 - 1, rows[r].label, kLabelColour);
        for (int c = 0; c < cols && c < static_cast<int>(rows[r].frames.size()); ++c) {
            const RgbImage &frame = rows[r].frames[static_cast<size_t>(c)];
            if (frame.width != thumbW || frame.height != thumbH) throw ToolError("contact sheet frames differ in size");
            paste(sheet, frame, gridLeft + c * (thumbW + pad), top);
        }
    }
    return sheet;
}

} // namespace qvt::host
