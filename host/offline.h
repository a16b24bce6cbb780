// Offline rendering: one run of an effect drawn by the library
// (qvt/transition.h) through the plug-in's pipeline (Prepare on a window
// showing the departing page, Execute, Unprepare), sampled at a fixed frame
// rate instead of the clock, each output frame read back from the window.
// The same inputs give the same frames on any machine, as fast as the
// machine draws them.
#ifndef QVT_HOST_OFFLINE_H
#define QVT_HOST_OFFLINE_H

#include <functional>
#include <string>

#include "engine/TransEff.h"
#include "pages.h"
#include "png_io.h"
#include "qvt/transition.h"

namespace qvt::host {

// Effects that shuffle (Blocks, Fuse) seed themselves from the time of day
// (UTC). Offline runs see the clock held at `milliseconds` after midnight
// of 1 January 2000, so that the same inputs give the same frames.
void FixTimeOfDay(int milliseconds);

// A page: a picture file fitted to the page size, or a built-in page.
struct PageSource {
    std::string path; // empty: the built-in page
    Page builtin = Page::Departing;
};

// The page as a picture of width x height. Raises ToolError for a picture
// file that cannot be read.
RgbImage LoadPage(const PageSource &source, int width, int height);

// Number of output frames a run will have, lead and hold included, or 0
// when that is only known once the effect has started (untimed runs).
int ExpectedFrameCount(TTransitionEffect &effect, const Timing &timing);

// Plays the effect from `from` to `to` (pictures of one size) on a window of
// the current display, calling onFrame with the window's picture for each
// output frame: the lead's frames and the departing page first, the arriving
// page and the hold's frames last. Effect failures raise ToolError;
// exceptions from onFrame travel on.
void RenderOffline(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, const Timing &timing,
                   const std::function<void(const RgbImage &)> &onFrame);

// The same run with its frames drawn but not read back, for an output that
// discards them: onFrame is called for each output frame.
void PlayOffline(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, const Timing &timing,
                 const std::function<void()> &onFrame);

// The run `at` of the way through (0 .. 1), as one picture: the frame a run
// at `fps` shows then.
RgbImage RenderStill(TTransitionEffect &effect, const RgbImage &from, const RgbImage &to, double at, double fps);

} // namespace qvt::host

#endif
