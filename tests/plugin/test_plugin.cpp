// The plug-in module as a host sees it: start-up calls, the version check,
// render requests and their failures.
#include <gtest/gtest.h>

#include <cstring>

#include "page_bitmaps.h"
#include "pages.h"
#include "plugin_host.h"
#include "qvt/qvtdisplay.h"

namespace qvt::host {
namespace {

std::string modulePath() { return ProgramFolder() + "/" OV_PLUGIN_FILE; }

std::unique_ptr<PluginHost> load(HostOptions options = {}) {
    std::string error;
    auto host = PluginHost::Load(modulePath(), options, error);
    EXPECT_TRUE(host) << error;
    return host;
}

// A DIB section of the display's format... or any format: the plug-in copies
// it. Drawn with the arriving built-in page.
HBITMAP arrivingPage(int w, int h, int bpp = 32) { return test::BuiltinPageBitmap(Page::Arriving, w, h, bpp); }

void showDeparting(PluginHost &host) {
    HDC dc = GetDC(host.Window());
    DrawBuiltinPage(dc, Page::Departing, host.Width(), host.Height());
    ReleaseDC(host.Window(), dc);
}

TEST(PluginStartUp, HandsOverItsNamesAndRegistersOneEffect) {
    auto host = load();
    host->Start();
    EXPECT_EQ(host->Title(), "Quorvane Transitions");
    EXPECT_EQ(host->Publisher(), "QuorvaneSoft");
    EXPECT_EQ(host->Hint(), "Transition effects plug-in");
    ASSERT_EQ(host->RegisteredEffects().size(), 1u);
    EXPECT_EQ(host->RegisteredEffects()[0], (std::pair<int, std::string>{1, "Quorvane"}));
    EXPECT_EQ(host->RegisterEffectResult(), 1); // the callback's result, passed back
    EXPECT_TRUE(host->Messages().empty());
}

TEST(PluginStartUp, SecondInitFreesTheFirstBlocks) {
    auto host = load();
    char *title = nullptr, *publisher = nullptr, *hint = nullptr;
    host->Exports().ovInitPlugIn(host->Window(), &title, &publisher, &hint);
    char *first[3] = {title, publisher, hint};
    host->Exports().ovInitPlugIn(host->Window(), &title, &publisher, &hint);
    EXPECT_STREQ(title, "Quorvane Transitions");
    EXPECT_STREQ(hint, "Transition effects plug-in");
    for (char *now : {title, publisher, hint}) EXPECT_EQ(GlobalFree(now), nullptr);
    // The first blocks were freed by the plug-in (the new ones may reuse
    // their addresses): freeing them again is refused.
    for (char *old : first) EXPECT_EQ(GlobalFree(old), old) << "first block was not freed";
}

TEST(PluginStartUp, VersionCheckRunsOnceAndComparesTheLeadingNumber) {
    struct Case {
        const char *version;
        bool passes;
    } cases[] = {{"5.0", true}, {"10.0", true}, {"12", true}, {"7.1 beta", true}, {"Preview", true},
                 {"4.9", false}, {"4.5", false}, {"", false},  {"0", false},      {".5", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        HostOptions o;
        o.versionText = c.version;
        auto host = load(o); // a fresh module load: the check has not run yet
        host->Start();
        if (c.passes) {
            EXPECT_TRUE(host->Messages().empty());
        } else {
            ASSERT_EQ(host->Messages().size(), 1u);
            EXPECT_EQ(host->Messages()[0].text, "Quorvane Transitions requires Ovalda 5.0 or higher.");
            EXPECT_EQ(host->Messages()[0].caption, "Quorvane Transitions Plugin error");
            EXPECT_EQ(host->Messages()[0].owner, host->Window());
        }
        host->ClearMessages();
        host->Exports().ovRegisterPlugIn(0, 0, &PluginHost::GetHostVariable, 0);
        EXPECT_TRUE(host->Messages().empty()) << "the check ran twice";
    }
    // No variable callback at all: an empty version, refused.
    HostOptions o;
    o.answerVariables = false;
    auto host = load(o);
    host->Start();
    ASSERT_EQ(host->Messages().size(), 1u);
    EXPECT_EQ(host->Messages()[0].text, "Quorvane Transitions requires Ovalda 5.0 or higher.");
}

class PluginRender : public ::testing::TestWithParam<int> {};

TEST_P(PluginRender, RunEndsWithTheNewPageInsideAreaOnly) {
    HostOptions o;
    o.displayDepth = GetParam();
    o.width = 64;
    o.height = 48;
    auto host = load(o);
    host->Start();
    showDeparting(*host);
    int objects = QvtLiveGdiObjects();
    const std::vector<uint8_t> before = host->ReadWindow();

    // What the arriving page looks like on this display, for comparison.
    HBITMAP page = arrivingPage(64, 48);
    const std::vector<uint8_t> expected = test::BitmapAsShown(page, 64, 48);

    RECT area{10, 7, 50, 40};
    // An untimed blend: as fast as the machine draws, and it ends with the page.
    EXPECT_TRUE(host->Render(1, page, area, "QVTS10300"));
    EXPECT_TRUE(host->Messages().empty());
    const std::vector<uint8_t> after = host->ReadWindow();
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
            size_t i = (size_t)(y * 64 + x) * 3;
            // Inside: the page's own pixel (x - left, y - top).
            size_t j = (size_t)((y - area.top) * 64 + (x - area.left)) * 3;
            const uint8_t *want = inside ? &expected[j] : &before[i];
            ASSERT_EQ(std::memcmp(&after[i], want, 3), 0) << "pixel " << x << "," << y;
        }
    // Effect number 2 renders nothing and still succeeds.
    HBITMAP other = arrivingPage(64, 48);
    HDC dc = GetDC(host->Window());
    HBRUSH black = (HBRUSH)GetStockObject(BLACK_BRUSH);
    RECT all{0, 0, 64, 48};
    FillRect(dc, &all, black);
    ReleaseDC(host->Window(), dc);
    const std::vector<uint8_t> blank = host->ReadWindow();
    EXPECT_TRUE(host->Render(2, other, area, ""));
    EXPECT_EQ(host->ReadWindow(), blank);
    DeleteObject(other);
    DeleteObject(page);
    EXPECT_EQ(QvtLiveGdiObjects(), objects) << "graphics objects leaked";
}

INSTANTIATE_TEST_SUITE_P(Depths, PluginRender, ::testing::Values(8, 15, 16, 24, 32));

TEST(PluginRenderBadInput, FailsWithAMessageOrDrawsNothing) {
    auto host = load();
    host->Start();
    HBITMAP page = arrivingPage(32, 32);
    HBRUSH brush = CreateSolidBrush(0);
    int objects = QvtLiveGdiObjects();
    struct Case {
        const char *name;
        RECT area;
        HBITMAP bitmap;
        bool result;
    } cases[] = {
        {"empty area", {5, 5, 5, 20}, page, true},
        {"negative width", {20, 5, 10, 20}, page, false},
        {"null bitmap", {0, 0, 10, 10}, nullptr, false},
        {"brush as bitmap", {0, 0, 10, 10}, reinterpret_cast<HBITMAP>(brush), false},
        {"area past the window", {600, 400, 700, 500}, page, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        host->ClearMessages();
        EXPECT_EQ(host->Render(1, c.bitmap, c.area, "QVTS10300"), c.result);
        EXPECT_EQ(host->Messages().size(), c.result ? 0u : 1u);
        if (c.result)
            for (const auto &m : host->Messages()) ADD_FAILURE() << "shown: " << m.text;
    }
    // Null and wrong-kind target DCs.
    host->ClearMessages();
    RECT area{0, 0, 10, 10};
    EXPECT_FALSE(host->Exports().ovRenderEffect(1, page, nullptr, &area, ""));
    EXPECT_FALSE(host->Exports().ovRenderEffect(1, page, reinterpret_cast<HDC>(brush), &area, ""));
    HDC screen = GetDC(nullptr);
    EXPECT_FALSE(host->Exports().ovRenderEffect(1, page, screen, nullptr, ""));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(host->Messages().size(), 3u);
    EXPECT_EQ(QvtLiveGdiObjects(), objects) << "graphics objects leaked";
    DeleteObject(brush);
    DeleteObject(page);
}

TEST(PluginModule, MessageDoesNothing) {
    auto host = load();
    host->Start();
    host->Exports().ovMessage();
    EXPECT_TRUE(host->Messages().empty());
}

} // namespace
} // namespace qvt::host
