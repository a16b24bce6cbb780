// Luma masks for the bitmap mask effects: a grey picture read from a PNG,
// PGM or BMP file (or drawn by the tool), stretched to the page and handed
// to the effect as the 8-bit BMP picture it reads, by name, through the
// stream access: in-process for render, record and describe, and through
// the host stand-in for play.
#ifndef QVT_HOST_LUMA_MASK_H
#define QVT_HOST_LUMA_MASK_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qvt::host {

// One byte a pixel, rows top-down: 255 is revealed first, 0 last.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> grey;

    GreyImage() = default;
    GreyImage(int w, int h) : width(w), height(h), grey(static_cast<size_t>(w) * h) {}
    uint8_t &At(int x, int y) { return grey[static_cast<size_t>(y) * width + x]; }
    uint8_t At(int x, int y) const { return grey[static_cast<size_t>(y) * width + x]; }
};

// Reads a luma map: a PNG (any colour type), a binary PGM (P5, 8 or 16 bits
// a sample) or a BMP picture, told apart by their first bytes. Colours
// become their luma (0.299 R + 0.587 G + 0.114 B); 16-bit samples are
// scaled to 8 bits. Raises ToolError with one line naming the file.
GreyImage ReadLumaMap(const std::string &path);
// The same from bytes already read; `name` is for messages.
GreyImage DecodeLumaMap(const std::vector<uint8_t> &bytes, const std::string &name);

// The map stretched to exactly width x height by libswscale, with bit-exact
// bilinear arithmetic (no ringing: a level never overshoots its
// neighbours). A map of that size is returned as it is.
GreyImage StretchLumaMap(const GreyImage &map, int width, int height);

// An 8-bit BMP file of the map, with a grey palette (index i = grey i).
std::vector<uint8_t> GreyBmpFile(const GreyImage &map);

// Masks the tool draws: levels fall from the centre to the corners, or turn
// clockwise from twelve o'clock.
GreyImage RadialGradientMask(int width, int height);
GreyImage ClockSweepMask(int width, int height);

// The mask files the tool holds, by the name the effect asks for.
//
// A name not held yet is read as a luma map file (relative to the current
// folder) and stretched to the page size, if one is set. A file that is
// not there is not found, so the effect says so in its own words; a file
// that is there but cannot be read is not found either, and its reason is
// kept for LastMaskError.
namespace mask_files {
// Size new masks are stretched to; 0 x 0 keeps their own size.
void SetPageSize(int width, int height);
// Holds a drawn mask under a name (replacing one held before).
void Add(const std::string &name, const GreyImage &mask);
// The BMP bytes for a name, reading the file when needed; null when not found.
std::shared_ptr<const std::vector<uint8_t>> Find(const std::string &name);
// Every mask held, for handing to the plug-in host.
std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> All();
// Why the last name asked for could not be read ("" when it could, or when
// it was simply not there); cleared by Find.
std::string LastMaskError();
// Makes the engine's stream access answer from these masks.
void Install();
} // namespace mask_files

} // namespace qvt::host

#endif
