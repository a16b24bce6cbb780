// The effect base class, the render pipeline and the screen update.
#include <gtest/gtest.h>

#include <vector>

#include "engine/TransEff.h"
#include "engine/TransRun.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace qvt {
namespace {

// An effect whose needs the test chooses; it fills the draw canvas red.
class ProbeEffect : public TTransitionEffect {
public:
    explicit ProbeEffect(TComponent *owner = nullptr) : TTransitionEffect(owner) {}
    static const rtl::TClassInfo &StaticClassInfo() {
        static const rtl::TClassInfo info = rtl::DeclareClass<ProbeEffect, TTransitionEffect>("TProbeEffect").Build();
        return info;
    }
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    void Execute(TTETransitionData &data) override {
        executed = true;
        sawSource = data.SrcImage != nullptr;
        RECT r{0, 0, data.Width, data.Height};
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(data.DrawCanvas().Handle(), &r, red);
        DeleteObject(red);
    }
    bool NeedSrcImage() const override { return needSrc; }
    bool NeedWorkBitmap() const override { return needWork; }
    bool WorkOnSrcImage() const override { return workOnSrc; }
    int GetBitmapsWidth(int width) const override { return (width + 3) & ~3; }

    bool needSrc = true, needWork = false, workOnSrc = false;
    bool executed = false, sawSource = false;
};

TEST(EffectBase, ReversedDirectionsSwapInPairs) {
    const std::pair<TTEEffectDirection, TTEEffectDirection> pairs[] = {
        {tedRight, tedLeft}, {tedDown, tedUp}, {tedDownRight, tedUpLeft}, {tedDownLeft, tedUpRight}, {tedIn, tedOut}};
    ProbeEffect e;
    e.AllowedDirections = TTEEffectDirections::FromMask(0x7FF);
    for (auto [a, b] : pairs) {
        e.SetDirection(a);
        EXPECT_EQ(e.GetReversedDirection(), b);
        e.SetDirection(b);
        EXPECT_EQ(e.GetReversedDirection(), a);
    }
    e.SetDirection(tedNone);
    EXPECT_EQ(e.GetReversedDirection(), tedNone);
    e.SetDirection(tedIn);
    e.Reversed = true;
    EXPECT_EQ(e.DirectionToUse(), tedOut);
    e.Reversed = false;
    EXPECT_EQ(e.DirectionToUse(), tedIn);
}

TEST(EffectBase, DirectionsOutsideTheAllowedSetAreIgnored) {
    ProbeEffect e;
    e.AllowedDirections = {tedRight, tedLeft, tedDown, tedUp};
    e.SetDirection(tedDown);
    e.SetDirection(tedIn);
    EXPECT_EQ(e.Direction, tedDown);
    // Through the published property too, including a value past the names.
    e.AllowedDirections = TTEEffectDirections::FromMask(0xFFFFFFFF);
    e.SetDirection(static_cast<TTEEffectDirection>(255));
    EXPECT_EQ(e.Direction, tedDown);
}

TEST(EffectBase, PublishedPropertiesOfTheBaseInOrder) {
    ProbeEffect e;
    std::vector<std::string> names;
    for (const rtl::TPropInfo *p : rtl::GetPropInfos(e)) names.push_back(p->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Tag", "Enabled", "FlickerFreeWhenDisabled", "Pass2Options",
                                                "PassSetting"}));
    EXPECT_EQ(rtl::GetOrdProp(e, "Enabled"), 1);
    EXPECT_EQ(rtl::GetEnumProp(e, "PassSetting"), "teOnePass");
    EXPECT_EQ(rtl::GetObjectProp(e, "Pass2Options"), nullptr);
}

class PassCountTest : public ::testing::Test {
protected:
    void TearDown() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
};

TEST_F(PassCountTest, PaletteDependentMeansTwoPassesOnlyOnEightBits) {
    ProbeEffect e;
    struct Case {
        int depth;
        TTEPassSettingType setting;
        int passes;
    } cases[] = {{8, tePaletteDependent, 2}, {16, tePaletteDependent, 1}, {32, tePaletteDependent, 1},
                 {8, teOnePass, 1},          {32, teTwoPasses, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.depth);
        ASSERT_TRUE(QvtSetDisplayDepth(c.depth));
        testing::RefreshDisplay();
        e.PassSetting = c.setting;
        EXPECT_EQ(e.PassCount(), c.passes);
    }
}

TEST(DirtyRects, ClippingDropsWhatFallsOutside) {
    TFCDirtyRects d;
    d.Add(RECT{-5, -5, 5, 5});
    EXPECT_EQ(d.Count(), 1);
    d.UseClip = true;
    d.ClipRect = RECT{0, 0, 10, 10};
    d.Add(RECT{20, 20, 30, 30});
    EXPECT_EQ(d.Count(), 1);
    d.Add(RECT{-5, 5, 5, 15});
    ASSERT_EQ(d.Count(), 2);
    RECT r = d.Get(1);
    EXPECT_TRUE(EqualRect(&r, std::array<RECT, 1>{RECT{0, 5, 5, 10}}.data()));
    d.Set(0, RECT{1, 1, 2, 2});
    EXPECT_EQ(d.Get(0).right, 2);
    EXPECT_THROW(d.Get(2), rtl::EListError);
    d.Clear();
    EXPECT_EQ(d.Count(), 0);
}

// A window with the departing page (green) and a 32-bit new page (blue).
class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
        baseline = QvtLiveGdiObjects();
        wnd = QvtCreateWindow(20, 12);
        screen = GetDC(wnd);
        HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
        RECT all{0, 0, 20, 12};
        FillRect(screen, &all, green);
        DeleteObject(green);
        page.SetPixelFormat(pf32bit);
        page.SetSize(20, 12);
        HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
        FillRect(pageDC(), &all, blue);
        DeleteObject(blue);
    }
    void TearDown() override {
        ReleaseDC(wnd, screen);
        QvtDestroyWindow(wnd);
        pagePtr.reset();
        EXPECT_EQ(QvtLiveGdiObjects(), baseline) << "graphics objects leaked";
    }
    HDC pageDC() { return page.Canvas().Handle(); }
    COLORREF at(int x, int y) { return GetPixel(screen, x, y); }
    void blackenScreen() {
        const RECT all{0, 0, 20, 12};
        FillRect(screen, &all, (HBRUSH)GetStockObject(BLACK_BRUSH));
    }
    int baseline = 0;
    HWND wnd{};
    HDC screen{};
    std::unique_ptr<rtl::TBitmap> pagePtr = std::make_unique<rtl::TBitmap>();
    rtl::TBitmap &page = *pagePtr;
};

TEST_F(Pipeline, PrepareCapturesTheScreenAndTheNewPage) {
    ProbeEffect e;
    std::unique_ptr<TTETransitionData> data;
    RECT area{3, 2, 13, 9};
    e.Prepare(data, area, screen, pageDC());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->Width, 10);
    EXPECT_EQ(data->Height, 7);
    ASSERT_NE(data->SrcImage, nullptr);
    EXPECT_EQ(data->SrcImage->Width(), 12); // GetBitmapsWidth rounds up
    EXPECT_EQ(data->SrcImage->Canvas().Pixels(0, 0), (rtl::TColor)RGB(0, 255, 0));
    EXPECT_EQ(data->DstImage->Canvas().Pixels(9, 6), (rtl::TColor)RGB(0, 0, 255));
    EXPECT_EQ(data->PixelFormat, pf32bit);
    EXPECT_TRUE(data->HighColorDevice);
    EXPECT_TRUE(data->AllowDelays);
    EXPECT_EQ(data->Bitmap, nullptr);
    EXPECT_EQ(&data->DrawCanvas(), data->Canvas);
    e.Unprepare(data);
    EXPECT_FALSE(data);
}

TEST_F(Pipeline, WorkOnSourceSharesOneBitmapFreedOnce) {
    ProbeEffect e;
    e.needWork = true;
    e.workOnSrc = true;
    std::unique_ptr<TTETransitionData> data;
    e.Prepare(data, RECT{0, 0, 8, 8}, screen, pageDC());
    EXPECT_EQ(data->Bitmap, data->SrcImage);
    e.Unprepare(data); // a second free would be caught by the sanitizers
    // Without a source image there is nothing to share: a bitmap of its own.
    e.needSrc = false;
    e.Prepare(data, RECT{0, 0, 8, 8}, screen, pageDC());
    EXPECT_NE(data->Bitmap, nullptr);
    EXPECT_EQ(data->SrcImage, nullptr);
    e.Unprepare(data);
}

// The run's bitmaps and canvases belong to the effect until Unprepare: an
// effect that goes before its run is ended still frees them (the fixture
// counts the graphics objects), and so does a run object whose play throws.
TEST_F(Pipeline, RunObjectsAreFreedOnEveryPath) {
    {
        ProbeEffect e;
        e.needWork = true;
        std::unique_ptr<TTETransitionData> data;
        e.Prepare(data, RECT{0, 0, 8, 8}, screen, pageDC());
        ASSERT_NE(data->Bitmap, nullptr);
        // No Unprepare: `data` (views only) and the effect go at the brace.
    }
    struct Throwing : ProbeEffect {
        void Execute(TTETransitionData &) override { throw rtl::Exception("stopped"); }
    } e;
    EXPECT_THROW(RunTransition(e, RECT{0, 0, 8, 8}, screen, pageDC()), rtl::Exception);
}

TEST_F(Pipeline, CutCopiesTheNewPageIntoTheArea) {
    TFlickerFreeTransition cut(nullptr);
    EXPECT_EQ(cut.GetDescription(), "Flicker free cut");
    std::unique_ptr<TTETransitionData> data;
    RECT area{3, 2, 13, 9};
    cut.Prepare(data, area, screen, pageDC());
    EXPECT_EQ(data->SrcImage, nullptr);
    EXPECT_EQ(data->PixelFormat, pfDevice);
    OffsetWindowOrgEx(data->Canvas->Handle(), -area.left, -area.top, nullptr);
    cut.Execute(*data);
    cut.Unprepare(data);
    SetWindowOrgEx(screen, 0, 0, nullptr);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            bool inside = x >= 3 && x < 13 && y >= 2 && y < 9;
            ASSERT_EQ(at(x, y), inside ? RGB(0, 0, 255) : RGB(0, 255, 0)) << x << "," << y;
        }
}

TEST_F(Pipeline, UpdateScreenCopiesTheUpdateRectOrEachDirtyRect) {
    ProbeEffect e;
    e.needWork = true;
    e.needSrc = false;
    std::unique_ptr<TTETransitionData> data;
    e.Prepare(data, RECT{0, 0, 20, 12}, screen, pageDC());
    e.WorkBitmap = data->Bitmap;
    e.Execute(*data); // the work bitmap is red now; the screen still green
    e.DirtyRects = std::make_unique<TFCDirtyRects>();

    // One dirty rectangle and no update rectangle: the whole work bitmap.
    e.DirtyRects->Add(RECT{0, 0, 1, 1});
    e.UpdateScreen(false);
    EXPECT_EQ(at(19, 11), RGB(255, 0, 0));
    EXPECT_EQ(e.DirtyRects->Count(), 0); // cleared after the update

    // Two dirty rectangles: just those two.
    blackenScreen();
    e.DirtyRects->Add(RECT{1, 1, 3, 3});
    e.DirtyRects->Add(RECT{10, 5, 11, 6});
    e.UpdateScreen(false);
    EXPECT_EQ(at(2, 2), RGB(255, 0, 0));
    EXPECT_EQ(at(10, 5), RGB(255, 0, 0));
    EXPECT_EQ(at(5, 5), RGB(0, 0, 0));

    // An update rectangle with an excluded part; both move to Prev*.
    blackenScreen();
    e.UpdateRect = RECT{0, 0, 10, 10};
    e.ExcludeRect = RECT{0, 0, 5, 5};
    e.UpdateScreen(false);
    EXPECT_EQ(at(2, 2), RGB(0, 0, 0));
    EXPECT_EQ(at(7, 7), RGB(255, 0, 0));
    EXPECT_EQ(at(12, 7), RGB(0, 0, 0));
    EXPECT_EQ(e.PrevUpdateRect.right, 10);
    EXPECT_EQ(e.PrevExcludeRect.right, 5);
    EXPECT_TRUE(IsRectEmpty(&e.UpdateRect));
    // The clip region was removed again.
    EXPECT_EQ(SetPixel(screen, 1, 1, RGB(1, 2, 3)), RGB(1, 2, 3));

    // Nothing while screen updates are off.
    blackenScreen();
    e.AllowScreenUpdate = false;
    e.UpdateScreen(true);
    EXPECT_EQ(at(7, 7), RGB(0, 0, 0));
    e.DirtyRects.reset();
    e.Unprepare(data);
}

} // namespace
} // namespace qvt
