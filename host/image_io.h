// Input pictures: PNG and JPEG files read as RGB, and fitting a picture to
// a page size.
#ifndef QVT_HOST_IMAGE_IO_H
#define QVT_HOST_IMAGE_IO_H

#include <string>

#include "png_io.h"

namespace qvt::host {

// Reads a PNG or JPEG file (told apart by their first bytes, whatever the
// name). Raises ToolError with one line naming the file.
RgbImage ReadPicture(const std::string &path);

// The picture scaled to fit inside width x height with its proportions
// kept, centred on black. A picture of that size already is returned as it
// is. Bit-exact: the same on every processor.
RgbImage FitPicture(const RgbImage &picture, int width, int height);

// The picture scaled to exactly width x height (proportions not kept), with
// an area-averaging filter suited to making thumbnails.
RgbImage ScalePicture(const RgbImage &picture, int width, int height);

} // namespace qvt::host

#endif
