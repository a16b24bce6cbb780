// Real-time playing: the plug-in module plays a transition on its host
// window, the way an authoring host would use it, and an SDL window on the
// desktop follows every change of that window.
#ifndef QVT_HOST_PLAYER_H
#define QVT_HOST_PLAYER_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "png_io.h"

namespace qvt::host {

struct PlayRequest {
    RgbImage from, to; // the two pages, of one size
    int displayDepth = 32;
    std::string record;         // handed to ovRenderEffect
    std::string title;          // the window's title
    int leadMilliseconds = 500; // the departing page alone before the run
    int holdMilliseconds = -1;  // after the run; -1: until a key is pressed
    // Files the host's stream access hands to the plug-in, by name.
    std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> streams;
};

struct PlayResult {
    int updates = 0;      // changes of the host window during the run
    int milliseconds = 0; // how long ovRenderEffect took
};

// Raises ToolError when the window, the plug-in or the run fails.
PlayResult Play(const PlayRequest &request);

} // namespace qvt::host

#endif
