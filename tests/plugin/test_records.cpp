// Render requests with parameter records: the default and stored blends,
// records of the other effects as the writer makes them, and malformed
// records reported in the error box.
#include <gtest/gtest.h>

#include "driven_clock.h"
#include "effects/teDrip.h"
#include "effects/teRegister.h"
#include "effects/teSlide.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"

#include <functional>
#include <memory>

#include "effects/tePush.h"
#include "effects/teRegister.h"
#include "effects/teWipe.h"
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

// Each effect's record, written by the record writer and read back by the
// decoder, plays through the module to the arriving page.
TEST_F(RecordRender, WrittenRecordsOfEachEffectPlayToTheArrivingPage) {
    StartTransitionEngine();
    struct Case {
        const char *name;
        std::function<std::unique_ptr<TTransitionEffect>()> make;
    } cases[] = {
        {"wipe", [] { return std::make_unique<TWipeTransition>(nullptr); }},
        {"wipe upwards reversed, narrow band, timed",
         [] {
             auto e = std::make_unique<TWipeTransition>(nullptr);
             e->SetDirection(tedUp);
             e->Reversed = true;
             e->SetBandWidth(7);
             e->Milliseconds = 300;
             return e;
         }},
        {"wipe from the centre", [] {
             auto e = std::make_unique<TWipeTransition>(nullptr);
             e->SetDirection(tedOut);
             return e;
         }},
        {"push", [] { return std::make_unique<TPushTransition>(nullptr); }},
        {"push to the left, reversed, timed",
         [] {
             auto e = std::make_unique<TPushTransition>(nullptr);
             e->SetDirection(tedLeft);
             e->Reversed = true;
             e->Milliseconds = 300;
             return e;
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<TTransitionEffect> written = c.make();
        const std::string record = TransitionToParams(*written);
        std::unique_ptr<TTransitionEffect> read;
        ParamsToTransition(read, record.data(), static_cast<int>(record.size()));
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->ClassName(), written->ClassName());
        EXPECT_EQ(read->Direction, written->Direction);
        EXPECT_EQ(read->Reversed, written->Reversed);
        EXPECT_EQ(read->Milliseconds, written->Milliseconds);
        if (auto *wipe = dynamic_cast<TWipeTransition *>(written.get())) {
            EXPECT_EQ(dynamic_cast<TWipeTransition &>(*read).GetBandWidth(), wipe->GetBandWidth());
        }

        host->ShowBitmap(departing);
        host->ClearMessages();
        DrivenClock clock(20);
        updates = 0;
        ASSERT_TRUE(host->Render(1, page, RECT{0, 0, 48, 32}, record.c_str())) << record;
        EXPECT_TRUE(host->Messages().empty());
        EXPECT_GT(updates, 2);
        if (written->Milliseconds > 0) {
            // Within about one frame of the duration: these runs have 39 and 48 frames.
            EXPECT_NEAR(clock.micros / 1000.0, written->Milliseconds, 10.0);
        }
        EXPECT_EQ(host->ReadWindow(), test::BitmapAsShown(page, 48, 32));
    }
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
