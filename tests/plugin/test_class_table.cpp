// Every class of the record format's code table, as the host hands it to
// the module: the record of the class's default effect (an empty property
// list; the bitmap mask, which has no default picture, names one the host
// holds) plays to the arriving page on an 8- and a 32-bit display, with no
// message box. The codes are listed here on their own, so that a class the
// module does not register, or a code the table gains, fails the test.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "grey_bmp.h"
#include "page_bitmaps.h"
#include "pages.h"
#include "persist/qvtPers.h"
#include "plugin_host.h"
#include "qvt/qvtdisplay.h"
#include "record_names.h"

namespace qvt::host {
namespace {

// An 8-bit BMP file of a grey ramp, 16 x 1 pixels.
std::vector<uint8_t> GreyRamp() {
    return test::GreyBmp(16, 1, [](int x, int) { return x * 17; });
}

struct ClassCode {
    const char *code, *className;
};
constexpr ClassCode kClassCodes[] = {
    {"01", "TBmpMaskTransition2"},   {"02", "TCircleTransition"}, {"03", "TBlendTransition"},
    {"04", "TDiagonalTransition"},   {"05", "TDripTransition"},   {"06", "TInterlacedTransition"},
    {"07", "TFuseTransition"},       {"08", "TPushTransition"},   {"09", "TBlockTransition"},
    {"10", "TRadialTransition"},     {"11", "TRollTransition"},   {"12", "TSlideTransition"},
    {"13", "TWaterfallTransition"},  {"14", "TWipeTransition"},
};

TEST(ClassTable, EveryClassDecodesAndPlaysToTheArrivingPage) {
    // The list is the decoder's table, row for row.
    const auto table = TransitionCodes();
    ASSERT_EQ(table.size(), std::size(kClassCodes));
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].Code, kClassCodes[i].code);
        EXPECT_EQ(table[i].ClassName, kClassCodes[i].className);
    }

    // Wide enough for the blocks effect's default grid to have several blocks.
    const int w = 128, h = 96;
    for (int depth : {8, 32}) {
        HostOptions o;
        o.displayDepth = depth;
        o.width = w;
        o.height = h;
        o.streams["ramp.bmp"] = std::make_shared<const std::vector<uint8_t>>(GreyRamp());
        std::string error;
        auto host = PluginHost::Load(ProgramFolder() + "/" OV_PLUGIN_FILE, o, error);
        ASSERT_TRUE(host) << error;
        host->Start();
        HBITMAP page = test::BuiltinPageBitmap(Page::Arriving, w, h);
        HBITMAP departing = test::BuiltinPageBitmap(Page::Departing, w, h);
        const std::vector<uint8_t> arriving = test::BitmapAsShown(page, w, h);
        int updates = 0;
        QvtSetWindowChangedHandler(host->Window(), [](void *u, HWND, const RECT *) { ++*static_cast<int *>(u); },
                                   &updates);
        for (const ClassCode &c : kClassCodes) {
            // Version 1, the class code, and a property list that is only its
            // end: every property at its default, untimed. The bitmap mask
            // names the ramp the host holds.
            std::string properties;
            if (std::string(c.code) == "01")
                properties = test::HexName("OVMaskFileName") + "06" + test::HexName("ramp.bmp");
            const std::string record = std::string("QVTS1") + c.code + properties + "00";
            SCOPED_TRACE(::testing::Message() << c.className << " (" << record << "), " << depth << " bits");
            host->ShowBitmap(departing);
            host->ClearMessages();
            EXPECT_NE(host->ReadWindow(), arriving);
            updates = 0;
            EXPECT_TRUE(host->Render(1, page, RECT{0, 0, w, h}, record.c_str()));
            // Frames reached the window before the last picture.
            EXPECT_GT(updates, 2);
            for (const MessageBoxRecord &m : host->Messages()) ADD_FAILURE() << "message box: " << m.text;
            EXPECT_EQ(host->ReadWindow(), arriving);
        }
        QvtSetWindowChangedHandler(host->Window(), nullptr, nullptr);
        DeleteObject(page);
        DeleteObject(departing);
    }
}

} // namespace
} // namespace qvt::host
