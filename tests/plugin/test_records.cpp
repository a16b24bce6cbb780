// Render requests with parameter records: the default and stored blends,
// and malformed records reported in the error box.
#include <gtest/gtest.h>

#include "driven_clock.h"
#include "effects/teDrip.h"
#include "effects/teRegister.h"
#include "effects/teSlide.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"

#include "page_bitmaps.h"
#include "pages.h"
#include "plugin_host.h"
#include "qvt/qvtdisplay.h"
#include "qvt/qvtsys.h"

namespace qvt::host {
namespace {

class RecordRender : public ::testing::Test {
protected:
    void SetUp() override {
        HostOptions o;
        o.width = 48;
        o.height = 32;
        std::string error;
        host = PluginHost::Load(ProgramFolder() + "/" OV_PLUGIN_FILE, o, error);
        ASSERT_TRUE(host) << error;
        host->Start();
        page = test::BuiltinPageBitmap(Page::Arriving, 48, 32);
        departing = test::BuiltinPageBitmap(Page::Departing, 48, 32);
        host->ShowBitmap(departing);
        before = host->ReadWindow();
        QvtSetWindowChangedHandler(host->Window(), [](void *u, HWND, const RECT *) { ++*static_cast<int *>(u); },
                                   &updates);
    }
    void TearDown() override {
        if (host) QvtSetWindowChangedHandler(host->Window(), nullptr, nullptr);
        DeleteObject(page);
        DeleteObject(departing);
    }
    std::unique_ptr<PluginHost> host;
    HBITMAP page{}, departing{};
    std::vector<uint8_t> before;
    int updates = 0;
};

TEST_F(RecordRender, DefaultAndStoredBlendsLastTheirDuration) {
    for (const char *record : {"", "QVTS2", "QVTS203E80300"}) {
        SCOPED_TRACE(record);
        host->ShowBitmap(departing);
        DrivenClock clock(20);
        updates = 0;
        ASSERT_TRUE(host->Render(1, page, RECT{0, 0, 48, 32}, record));
        EXPECT_TRUE(host->Messages().empty());
        EXPECT_NEAR(clock.micros / 1000.0, 1000.0, 5.0);
        EXPECT_GT(updates, 2);
        EXPECT_EQ(host->ReadWindow(), test::BitmapAsShown(page, 48, 32));
    }
    // A missing record is the default too.
    DrivenClock clock(20);
    ASSERT_TRUE(host->Render(1, page, RECT{0, 0, 48, 32}, nullptr));
    EXPECT_NEAR(clock.micros / 1000.0, 1000.0, 5.0);
}

TEST_F(RecordRender, UntimedBlendDrawsEveryFrameThenThePage) {
    updates = 0;
    ASSERT_TRUE(host->Render(1, page, RECT{0, 0, 48, 32}, "QVTS10300"));
    // Frames 1 to 254 each reach the window, then the whole new page.
    EXPECT_EQ(updates, 254 + 1);
    EXPECT_EQ(host->ReadWindow(), test::BitmapAsShown(page, 48, 32));
}

TEST_F(RecordRender, MalformedRecordsAreReportedAndDrawNothing) {
    struct Case {
        const char *record;
        const char *message; // null: any message
    } cases[] = {
        {"QVTX10300", "Wrong signature"},
        {"QVTS303", "Wrong format version '3'"},
        {"QVTS19900", "Transition '99' not found"},
        {"QVTS1030", "Stream read error"},
        {"QVTS103", nullptr}, // no end-of-list byte
        {"QVTS103G1", "'$G1' is not a valid integer value"},
        {"QVTS1030C4D696C6C697365636F6E647306", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.record);
        host->ClearMessages();
        updates = 0;
        EXPECT_FALSE(host->Render(1, page, RECT{0, 0, 48, 32}, c.record));
        ASSERT_EQ(host->Messages().size(), 1u);
        EXPECT_EQ(host->Messages()[0].caption, "Quorvane Transitions Plugin error");
        if (c.message) {
            EXPECT_EQ(host->Messages()[0].text, c.message);
        }
        EXPECT_EQ(updates, 0);
        EXPECT_EQ(host->ReadWindow(), before);
    }
}

TEST_F(RecordRender, WrittenRecordsOfEachEffectEndWithTheArrivingPage) {
    RegisterAllTransitions();
    std::vector<std::unique_ptr<TTransitionEffect>> effects;
    effects.push_back(std::make_unique<TSlideTransition>(nullptr));
    auto slide = std::make_unique<TSlideTransition>(nullptr);
    slide->SetDirection(tedUpLeft);
    slide->SlideOut = slide->ElasticSrc = true;
    effects.push_back(std::move(slide));
    effects.push_back(std::make_unique<TDripTransition>(nullptr));
    auto drip = std::make_unique<TDripTransition>(nullptr);
    drip->SetDirection(tedDown);
    drip->Reversed = true;
    effects.push_back(std::move(drip));
    for (const auto &effect : effects) {
        const std::string record = TransitionToParams(*effect);
        SCOPED_TRACE(record);
        std::unique_ptr<TTransitionEffect> decoded;
        ParamsToTransition(decoded, record.data(), static_cast<int>(record.size()));
        ASSERT_NE(decoded, nullptr);
        EXPECT_EQ(decoded->ClassName(), effect->ClassName());
        EXPECT_EQ(TransitionToParams(*decoded), record);
        host->ShowBitmap(departing);
        updates = 0;
        ASSERT_TRUE(host->Render(1, page, RECT{0, 0, 48, 32}, record.c_str()));
        EXPECT_TRUE(host->Messages().empty());
        EXPECT_GT(updates, 2);
        EXPECT_EQ(host->ReadWindow(), test::BitmapAsShown(page, 48, 32));
    }
}

} // namespace
} // namespace qvt::host
