// A contact sheet: one row of frames per effect, each row labelled with the
// effect's name and each column with the share of the run it shows.
#ifndef QVT_HOST_CONTACT_SHEET_H
#define QVT_HOST_CONTACT_SHEET_H

#include <string>
#include <vector>

#include "png_io.h"

namespace qvt::host {

// The shares of the run a sheet shows, in percent.
inline constexpr int kSheetPercents[] = {0, 25, 50, 75, 100};

struct SheetRow {
    std::string label;
    std::vector<RgbImage> frames; // one per column, all of one size
};

// The size of a thumbnail of a width x height page that fits inside
// boxWidth x boxHeight and keeps the page's shape: one side fills the box,
// the other is rounded to the nearest pixel (at least 1).
struct ThumbSize {
    int width, height;
};
ThumbSize FitThumb(int width, int height, int boxWidth, int boxHeight);

// The frame of a run of frameCount output frames nearest to percent of it.
int SheetFrameIndex(int frameCount, int percent);

// Lays out the rows under a header of column labels. Raises ToolError when
// the label font cannot be loaded.
RgbImage ComposeContactSheet(const std::vector<std::string> &columns, const std::vector<SheetRow> &rows);

} // namespace qvt::host

#endif
