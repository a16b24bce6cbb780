// qvt render on an 8-bit display: the dithered blend shows, pixel for pixel,
// one page or the other, never a colour of neither.
#include "tool_test_support.h"

namespace qvt::tooltest {
namespace {

using PaletteRender = ToolTest;

TEST_F(PaletteRender, DitheredBlendShowsOnlyColoursOfTheTwoPages) {
    const int w = 64, h = 48;
    // Five frames: 0, 25, 50, 75 and 100 % of the way.
    Result r = qvt({"render", "Alpha blend", "--ms", "1000", "--fps", "4", "--size", "64x48", "--display", "8", "-o",
                    path("f%04d.png")});
    ASSERT_EQ(r.status, 0) << r.err;
    const RgbImage departing = asDisplayed(builtinPage(host::Page::Departing, w, h), 8);
    const RgbImage arriving = arrivingAsDisplayed(builtinPage(host::Page::Arriving, w, h), 8);
    for (int j : {1, 3}) {
        SCOPED_TRACE("frame " + std::to_string(j));
        const RgbImage frame = readPng(path(frameName(j)));
        ASSERT_EQ(frame.rgb.size(), departing.rgb.size());
        int neither = 0, fromArriving = 0;
        for (size_t at = 0; at < frame.rgb.size(); at += 3) {
            const bool isDeparting = std::equal(&frame.rgb[at], &frame.rgb[at] + 3, &departing.rgb[at]);
            const bool isArriving = std::equal(&frame.rgb[at], &frame.rgb[at] + 3, &arriving.rgb[at]);
            neither += !isDeparting && !isArriving;
            fromArriving += isArriving && !isDeparting;
        }
        EXPECT_EQ(neither, 0);
        // Both pages show: about j quarters of the cells are the arriving page.
        EXPECT_GT(fromArriving, 0);
        EXPECT_LT(fromArriving, w * h);
    }
}

} // namespace
} // namespace qvt::tooltest
