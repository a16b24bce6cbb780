// The Roll effect: the shading table, the mirrored copy of the rolling page,
// every frame of unrolls and roll-ups (shaded and plain, reversed, in steps)
// against a model of where the flat page, the roll and the untouched page
// lie, the conditions for shading, odd sizes and degenerate areas.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "effects/teRegister.h"
#include "effects/teRoll.h"
#include "engine/TransRun.h"
#include "page_bitmaps.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"
#include "record_names.h"

namespace qvt {
namespace {

// ---- The shading table --------------------------------------------------------

// Entries 1 .. s of the table built for thickness s, after a build for a
// thicker roll has filled the table with other values.
std::vector<int> Profile(int s) {
    TRollTransition e(nullptr);
    e.ShadeTable.assign(static_cast<size_t>(s) + 40, 0x7F7F7F7Fu);
    e.BuildShadeTable(s + 37);
    e.BuildShadeTable(s);
    EXPECT_EQ(e.ShadeTableSize, s);
    EXPECT_EQ(e.ShadeOffset(0), 0);
    std::vector<int> v;
    for (int i = 1; i <= s; ++i) {
        const uint32_t entry = e.ShadeTable[static_cast<size_t>(i)];
        EXPECT_EQ(entry, 0x01010101u * (entry & 0xFF)) << "entry " << i << " of " << s << " is not one byte repeated";
        v.push_back(e.ShadeOffset(i));
    }
    return v;
}

TEST(RollShading, TablesAsListedAndEveryEntryWritten) {
    const std::vector<int> up60 = {-110, -102, -95, -87, -80, -72, -64, -57, -49, -42, -34, -27, -19, -11, -4,
                                   4,    11,   19,  27,  34,  42,  49,  57,  64,  72,  80,  87,  95,  102, 110};
    std::vector<int> want60 = up60;
    want60.insert(want60.end(), up60.rbegin(), up60.rend());
    EXPECT_EQ(Profile(60), want60);
    EXPECT_EQ(Profile(9), (std::vector<int>{-110, -55, 0, 55, 110, 55, 0, -55, -110}));
    EXPECT_EQ(Profile(1), (std::vector<int>{110}));
    EXPECT_EQ(Profile(2), (std::vector<int>{-110, 110}));
    EXPECT_EQ(Profile(4), (std::vector<int>{-110, 110, 110, -110}));
    EXPECT_EQ(Profile(5), (std::vector<int>{-110, 0, 110, 0, -110}));
    // Every thickness rewrites all of its entries (no 0x7F left from the
    // thicker build) into a profile symmetric from both rims at -110.
    for (int s = 3; s <= 70; ++s) {
        SCOPED_TRACE(s);
        const std::vector<int> p = Profile(s);
        EXPECT_EQ(std::count(p.begin(), p.end(), 0x7F), 0);
        EXPECT_EQ(p.front(), -110);
        EXPECT_TRUE(std::equal(p.begin(), p.end(), p.rbegin()));
        EXPECT_EQ(*std::max_element(p.begin(), p.end()), 110);
    }
}

// ---- A stage with pages whose every column and row differ ---------------------

// The colours as 0xRRGGBB. Both pages vary in every channel from column to
// column and row to row, and their bytes reach near 0 and 255, so that a
// shifted mirror, a misplaced shade and a missing saturation all show.
uint32_t Rgb(int r, int g, int b) {
    return (static_cast<uint32_t>(r & 255) << 16) | (static_cast<uint32_t>(g & 255) << 8) | (b & 255);
}
uint32_t ArrivingColour(int x, int y) { return Rgb(20 + 11 * x, 30 + 13 * y, 90 + 37 * (x + y)); }
uint32_t DepartingColour(int x, int y) { return Rgb(240 - 9 * x, 10 + 17 * y, 60 + 23 * x + 5 * y); }

// A window of the chosen depth showing the departing page, with the area a
// margin away from its corner so that drawing outside the area shows; the
// arriving page in a 32-bit DIB section. Run follows the effect frame by
// frame: what the window shows after each frame, with the frame number.
class RollStage : public TFrameSink {
public:
    static constexpr int kMargin = 2;

    RollStage(int depth, int width, int height) : w_(width), h_(height) {
        EXPECT_TRUE(QvtSetDisplayDepth(depth));
        testing::RefreshDisplay();
        ww_ = width + 2 * kMargin;
        wh_ = height + 2 * kMargin;
        wnd_ = QvtCreateWindow(ww_, wh_);
        screen_ = GetDC(wnd_);
        page_ = CreateCompatibleDC(nullptr);
        pageBitmap_ = Dib(std::max(width, 1), std::max(height, 1), &pageBits_);
        oldPage_ = SelectObject(page_, pageBitmap_);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pageBits_[Row(height, y) * width + x] = ArrivingColour(x, y);
        ShowDeparting();
        departingShown_ = Window();
        SelectObject(page_, oldPage_);
        if (width > 0 && height > 0) {
            const std::vector<uint8_t> rgb = test::BitmapAsShown(pageBitmap_, width, height);
            for (size_t i = 0; i + 2 < rgb.size(); i += 3) arrivingShown_.push_back(Rgb(rgb[i], rgb[i + 1], rgb[i + 2]));
        }
        SelectObject(page_, pageBitmap_);
    }
    ~RollStage() override {
        SelectObject(page_, oldPage_);
        DeleteObject(pageBitmap_);
        DeleteDC(page_);
        ReleaseDC(wnd_, screen_);
        QvtDestroyWindow(wnd_);
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    RollStage(const RollStage &) = delete;
    RollStage &operator=(const RollStage &) = delete;

    struct Shot {
        int frame;
        std::vector<uint32_t> pixels; // the window, rows top-down
    };

    // Runs the effect untimed over the area, from the departing page.
    void Run(TTimedTransitionEffect &effect, int *frameSeen) {
        ShowDeparting();
        shots.clear();
        frameSeen_ = frameSeen;
        TFrameSampling sampling{100, this};
        effect.SetSampling(&sampling);
        // The run moves the window's origin to the area's corner and leaves
        // it there: put it back for the next run.
        auto done = [&] {
            effect.SetSampling(nullptr);
            SetWindowOrgEx(screen_, 0, 0, nullptr);
        };
        try {
            RunTransition(effect, RECT{kMargin, kMargin, kMargin + w_, kMargin + h_}, screen_, page_);
        } catch (...) {
            done();
            throw;
        }
        done();
    }
    void EmitFrame() override { shots.push_back({frameSeen_ ? *frameSeen_ : 0, Window()}); }

    std::vector<uint32_t> Window() const {
        std::vector<uint8_t> rgb(static_cast<size_t>(ww_) * wh_ * 3);
        QvtReadWindowRGB(wnd_, rgb.data(), ww_ * 3);
        std::vector<uint32_t> out(static_cast<size_t>(ww_) * wh_);
        for (size_t i = 0; i < out.size(); ++i) out[i] = Rgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        return out;
    }
    // How the window shows the arriving page's pixel (x, y).
    uint32_t ArrivingShown(int x, int y) const { return arrivingShown_[static_cast<size_t>(y) * w_ + x]; }
    // What the window shows at the area's pixel (x, y) before the run (x
    // and y may reach into the margin).
    uint32_t DepartingShown(int x, int y) const {
        return departingShown_[static_cast<size_t>(y + kMargin) * ww_ + x + kMargin];
    }
    // How the window shows a picture of the whole window given as 32-bit
    // colours (on a 32-bit display: the picture itself).
    std::vector<uint32_t> AsShown(const std::vector<uint32_t> &picture) const {
        uint32_t *bits = nullptr;
        HBITMAP dib = Dib(ww_, wh_, &bits);
        for (int y = 0; y < wh_; ++y)
            std::memcpy(bits + Row(wh_, y) * ww_, &picture[static_cast<size_t>(y) * ww_], 4 * static_cast<size_t>(ww_));
        const std::vector<uint8_t> rgb = test::BitmapAsShown(dib, ww_, wh_);
        DeleteObject(dib);
        std::vector<uint32_t> out(picture.size());
        for (size_t i = 0; i < out.size(); ++i) out[i] = Rgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        return out;
    }
    // The first difference between two pictures of the window, in area
    // coordinates, and the count of differing pixels; "" when equal.
    std::string Difference(const std::vector<uint32_t> &got, const std::vector<uint32_t> &want) const {
        int count = 0;
        std::ostringstream s;
        for (int y = 0; y < wh_; ++y)
            for (int x = 0; x < ww_; ++x) {
                const size_t i = static_cast<size_t>(y) * ww_ + x;
                if (got[i] == want[i]) continue;
                if (count++ == 0)
                    s << "first at (" << x - kMargin << ", " << y - kMargin << "): " << std::hex << got[i] << ", want "
                      << want[i] << std::dec;
            }
        if (count) s << "; " << count << " pixels differ";
        return s.str();
    }

    int Width() const { return w_; }
    int Height() const { return h_; }
    int WindowWidth() const { return ww_; }
    int WindowHeight() const { return wh_; }
    std::vector<Shot> shots;

private:
    static size_t Row(int height, int y) { return static_cast<size_t>(height - 1 - y); }
    static HBITMAP Dib(int width, int height, uint32_t **bits) {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void *p = nullptr;
        HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        *bits = static_cast<uint32_t *>(p);
        return bm;
    }
    void ShowDeparting() {
        for (int y = 0; y < wh_; ++y)
            for (int x = 0; x < ww_; ++x) {
                const uint32_t c = DepartingColour(x - kMargin, y - kMargin);
                SetPixel(screen_, x, y, RGB(c >> 16, (c >> 8) & 255, c & 255));
            }
    }

    int w_, h_, ww_ = 0, wh_ = 0;
    HWND wnd_ = nullptr;
    HDC screen_ = nullptr, page_ = nullptr;
    HBITMAP pageBitmap_ = nullptr;
    HGDIOBJ oldPage_ = nullptr;
    uint32_t *pageBits_ = nullptr;
    std::vector<uint32_t> departingShown_, arrivingShown_;
    int *frameSeen_ = nullptr;
};

// A roll that reports the frame it draws, can take steps of more than one
// frame and keeps what the run showed of its per-run state.
class ProbeRoll : public TRollTransition {
public:
    ProbeRoll() : TRollTransition(nullptr) {}
    int GetMinStep() const override { return minStep; }
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        TRollTransition::Initialize(data, totalFrames);
        total = totalFrames;
        shadeEntries = ShadeTable.size();
        pixelFormat = data.PixelFormat;
        bitmapWidth = data.Bitmap ? data.Bitmap->Width() : -1;
        if (MirrorImage) {
            // The mirror as the screen would show it, column by column.
            const int w = MirrorImage->Width(), h = MirrorImage->Height();
            mirror.assign(static_cast<size_t>(w) * h, 0);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const COLORREF c = GetPixel(MirrorImage->Canvas().Handle(), x, y);
                    mirror[static_cast<size_t>(y) * w + x] = Rgb(GetRValue(c), GetGValue(c), GetBValue(c));
                }
        }
    }
    void ExecuteFrame(TTETransitionData &data, int frame, int step, int totalFrames, int last) override {
        if (frame == throwAt) throw rtl::Exception("stop");
        frameSeen = frame;
        TRollTransition::ExecuteFrame(data, frame, step, totalFrames, last);
        ++drawn;
    }
    int minStep = 1, throwAt = -1, total = -1, frameSeen = 0, drawn = 0, bitmapWidth = 0;
    size_t shadeEntries = 0;
    TPixelFormat pixelFormat = pfDevice;
    std::vector<uint32_t> mirror;
};

// ---- The model of a frame -----------------------------------------------------

struct Roll {
    TTEEffectDirection dir; // the direction in use
    bool unroll;            // the mode in use
    int size;
    bool shaded;
};

// The profile of a thickness, built once.
int ShadeOffset(int s, int entry) {
    static std::vector<std::vector<int>> profiles;
    if (profiles.size() <= static_cast<size_t>(s)) profiles.resize(static_cast<size_t>(s) + 1);
    std::vector<int> &p = profiles[static_cast<size_t>(s)];
    if (p.empty()) p = Profile(s);
    return entry >= 1 && entry <= s ? p[static_cast<size_t>(entry - 1)] : 0;
}

// The colour the area's pixel (x, y) has after frame c: along the axis of
// travel (length n) the flat arriving page, the roll showing its page
// mirrored about the roll's edge, and the page not yet reached. Plain runs
// move pixels as the display shows them; shaded ones shade the arriving
// page's own 32-bit colours (and the departing page as captured), and the
// display shows the result.
uint32_t ModelPixel(const Roll &r, const RollStage &stage, int c, int x, int y) {
    const bool horizontal = r.dir == tedRight || r.dir == tedLeft;
    const bool forward = r.dir == tedRight || r.dir == tedDown;
    const int n = horizontal ? stage.Width() : stage.Height();
    const int k = horizontal ? x : y;
    const int size = std::clamp(r.size, 1, n + 1);
    const int s = r.unroll ? std::min(size, n - c) : std::min(c, size);
    auto at = [&](int along) { return horizontal ? std::pair{along, y} : std::pair{x, along}; };
    auto arriving = [&](int along) {
        auto [px, py] = at(along);
        return r.shaded ? ArrivingColour(px, py) : stage.ArrivingShown(px, py);
    };
    auto departing = [&](int along) {
        auto [px, py] = at(along);
        return stage.DepartingShown(px, py);
    };
    int first = 0, last = 0; // the roll's lines [first, last)
    int source = 0;          // the line of its page the roll shows at k
    bool flat = false;
    if (r.unroll && forward) {
        first = c - s, last = c;
        flat = k < first;
        source = 2 * c - 1 - k;
    } else if (r.unroll) {
        first = n - c, last = n - c + s;
        flat = k >= last;
        source = 2 * (n - c) - k;
    } else if (forward) {
        first = c, last = c + s;
        flat = k < first;
        source = 2 * c - k;
    } else {
        first = n - c - s, last = n - c;
        flat = k >= last;
        source = 2 * (n - c) - 1 - k;
    }
    if (flat) return arriving(k);
    if (k < first || k >= last) return departing(k);
    EXPECT_TRUE(source >= 0 && source < n) << "the roll shows line " << source << " at " << k << ", frame " << c;
    if (source < 0 || source >= n) return 0;
    const uint32_t rolled = r.unroll ? arriving(source) : departing(source);
    if (!r.shaded) return rolled;
    // Entry 1 at the roll's left column or bottom row, rising to the right
    // or upwards.
    const int entry = horizontal ? 1 + k - first : last - k;
    const int v = ShadeOffset(s, entry);
    auto channel = [&](int shift) { return std::clamp(static_cast<int>((rolled >> shift) & 255) + v, 0, 255); };
    return Rgb(channel(16), channel(8), channel(0));
}

// The window after frame c: the model inside the area, the departing page
// around it.
std::vector<uint32_t> ModelWindow(const Roll &r, const RollStage &stage, int c) {
    const int m = RollStage::kMargin, ww = stage.WindowWidth();
    std::vector<uint32_t> p(static_cast<size_t>(ww) * stage.WindowHeight());
    for (int y = 0; y < stage.WindowHeight(); ++y)
        for (int x = 0; x < ww; ++x) {
            const int ax = x - m, ay = y - m;
            const bool inside = ax >= 0 && ay >= 0 && ax < stage.Width() && ay < stage.Height();
            p[static_cast<size_t>(y) * ww + x] =
                inside ? ModelPixel(r, stage, c, ax, ay) : stage.DepartingShown(ax, ay);
        }
    return r.shaded ? stage.AsShown(p) : p;
}

TTEEffectDirection Opposite(TTEEffectDirection d) {
    switch (d) {
    case tedRight: return tedLeft;
    case tedLeft: return tedRight;
    case tedDown: return tedUp;
    default: return tedDown;
    }
}

class RollEffect : public ::testing::Test {
protected:
    // The processor's own flags: the fast path that shading needs.
    void SetUp() override { testing::RestoreProcessorFlags(); }
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }

    // Runs one roll and compares every frame the window showed with the
    // model, and the last picture with the arriving page.
    static void ExpectFrames(RollStage &stage, TTEEffectDirection dir, bool unroll, bool reversed, int size,
                             bool use3D, int step, bool shaded) {
        SCOPED_TRACE(::testing::Message() << kEffectDirectionNames[dir] << (unroll ? " unroll" : " roll-up")
                                          << (reversed ? " reversed" : "") << ", size " << size << ", step " << step
                                          << (use3D ? "" : ", plain"));
        ProbeRoll e;
        e.SetDirection(dir);
        e.Unroll = unroll;
        e.Reversed = reversed;
        e.Size = size;
        e.Use3D = use3D;
        e.minStep = step;
        stage.Run(e, &e.frameSeen);
        const Roll r{reversed ? Opposite(dir) : dir, unroll != reversed, size, shaded};
        const bool horizontal = r.dir == tedRight || r.dir == tedLeft;
        const int total = (horizontal ? stage.Width() : stage.Height()) + 1;
        ASSERT_EQ(e.total, total);
        EXPECT_EQ(e.drawn, (total - 1) / step);
        ASSERT_EQ(stage.shots.size(), static_cast<size_t>(e.drawn) + 2);
        for (size_t i = 1; i + 1 < stage.shots.size(); ++i) {
            const RollStage::Shot &shot = stage.shots[i];
            ASSERT_EQ(shot.frame, static_cast<int>(i) * step);
            EXPECT_EQ(stage.Difference(shot.pixels, ModelWindow(r, stage, shot.frame)), "") << "frame " << shot.frame;
        }
        const Roll flat{r.dir, r.unroll, size, false};
        EXPECT_EQ(stage.Difference(stage.shots.back().pixels, ModelWindow(flat, stage, total - 1)), "")
            << "after the run";
        EXPECT_EQ(e.MirrorImage, nullptr);
        EXPECT_TRUE(e.ShadeTable.empty());
    }
};

// 13 x 11: odd sizes, so that the pixel pairs of the shading reach past
// the roll and past the page. Size 5 enters, travels and runs out; 40 is
// thicker than the travel.
TEST_F(RollEffect, FramesOn32BitsWithAndWithoutShading) {
    RollStage stage(32, 13, 11);
    for (bool use3D : {true, false})
        for (TTEEffectDirection dir : {tedRight, tedLeft, tedDown, tedUp})
            for (bool unroll : {true, false})
                for (bool reversed : {false, true}) ExpectFrames(stage, dir, unroll, reversed, 5, use3D, 1, use3D);
    for (TTEEffectDirection dir : {tedRight, tedUp})
        for (bool unroll : {true, false}) {
            ExpectFrames(stage, dir, unroll, false, 40, true, 1, true);
            ExpectFrames(stage, dir, unroll, false, 4, true, 3, true);
        }
}

TEST_F(RollEffect, FramesOn8And16Bits) {
    // 8 bits: never shaded; 16 bits: shaded on the 32-bit work bitmap and
    // shown in 16 bits, or plain in the display's own format.
    for (int depth : {8, 16}) {
        RollStage stage(depth, 13, 11);
        for (bool use3D : {true, false}) {
            if (depth == 8 && !use3D) continue;
            for (TTEEffectDirection dir : {tedLeft, tedDown})
                for (bool unroll : {true, false}) {
                    SCOPED_TRACE(::testing::Message() << depth << " bits");
                    ExpectFrames(stage, dir, unroll, false, 5, use3D, 1, depth == 16 && use3D);
                }
        }
    }
}

// Column x of the mirror holds column W - 1 - x of the rolling page (row y
// row H - 1 - y for vertical travel): all of it, the first column too, and
// no column from outside the page.
TEST_F(RollEffect, MirrorHoldsTheWholeRollingPageReversed) {
    RollStage stage(32, 13, 11);
    const int w = 13, h = 11;
    for (TTEEffectDirection dir : {tedRight, tedDown})
        for (bool unroll : {true, false}) {
            SCOPED_TRACE(::testing::Message() << kEffectDirectionNames[dir] << (unroll ? " unroll" : " roll-up"));
            ProbeRoll e;
            e.SetDirection(dir);
            e.Unroll = unroll;
            stage.Run(e, &e.frameSeen);
            ASSERT_EQ(e.mirror.size(), static_cast<size_t>(w * h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int sx = dir == tedRight ? w - 1 - x : x, sy = dir == tedRight ? y : h - 1 - y;
                    const uint32_t want = unroll ? ArrivingColour(sx, sy) : stage.DepartingShown(sx, sy);
                    ASSERT_EQ(e.mirror[static_cast<size_t>(y) * w + x], want) << x << ", " << y;
                }
        }
}

// Shading adds the entry to every byte and stops at 0 and 255.
TEST_F(RollEffect, ShadingSaturates) {
    RollStage stage(32, 24, 4);
    ProbeRoll e;
    e.SetDirection(tedRight);
    e.Size = 9;
    stage.Run(e, &e.frameSeen);
    // Frame 12: the roll covers columns 3 to 11, entries 1 to 9.
    const RollStage::Shot &shot = stage.shots[12];
    ASSERT_EQ(shot.frame, 12);
    struct Case {
        int column, offset;
    } cases[] = {{3, -110}, {4, -55}, {5, 0}, {7, 110}, {8, 55}, {11, -110}};
    bool clipsLow = false, clipsHigh = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.column);
        const uint32_t page = ArrivingColour(2 * 12 - 1 - c.column, 1);
        const uint32_t got = shot.pixels[static_cast<size_t>(1 + RollStage::kMargin) * stage.WindowWidth() +
                                         c.column + RollStage::kMargin];
        for (int shift : {16, 8, 0}) {
            const int b = static_cast<int>((page >> shift) & 255);
            clipsLow |= b + c.offset < 0;
            clipsHigh |= b + c.offset > 255;
            EXPECT_EQ(static_cast<int>((got >> shift) & 255), std::clamp(b + c.offset, 0, 255)) << "shift " << shift;
        }
    }
    // The cases include bytes that clip at both ends.
    EXPECT_TRUE(clipsLow);
    EXPECT_TRUE(clipsHigh);
}

// Shading needs the fast path, Use3D and a display of 15 bits or more; then
// the bitmaps are 32-bit and their width a multiple of 8, and the table has
// Size + 2 entries. Otherwise the display's format, the width as it is and
// no table.
TEST_F(RollEffect, ShadingConditionsDecideFormatWidthAndTable) {
    struct Case {
        int depth;
        bool mmx, use3D;
        bool active;
        TPixelFormat format;
    } cases[] = {
        {32, true, true, true, pf32bit},   {24, true, true, true, pf32bit},  {16, true, true, true, pf32bit},
        {32, false, true, false, pf32bit}, {32, true, false, false, pf32bit}, {16, true, false, false, pf16bit},
        {8, true, true, false, pf8bit},    {24, false, true, false, pf24bit},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits" << (c.mmx ? "" : ", no fast path")
                                          << (c.use3D ? "" : ", Use3D off"));
        RollStage stage(c.depth, 13, 5);
        testing::SetProcessorFlags(c.mmx, false);
        ProbeRoll e;
        e.Use3D = c.use3D;
        e.Size = 3;
        EXPECT_EQ(e.Use3DActive(), c.active);
        EXPECT_EQ(e.GetPixelFormat(), c.format);
        EXPECT_EQ(e.GetBitmapsWidth(13), c.active ? 16 : 13);
        EXPECT_EQ(e.GetBitmapsWidth(16), 16);
        stage.Run(e, &e.frameSeen);
        EXPECT_EQ(e.pixelFormat, c.format);
        EXPECT_EQ(e.bitmapWidth, c.active ? 16 : 13);
        EXPECT_EQ(e.shadeEntries, c.active ? 5u : 0u);
        testing::RestoreProcessorFlags();
    }
}

TEST_F(RollEffect, PropertiesDefaultsAndRefusedDirections) {
    TRollTransition e(nullptr);
    EXPECT_EQ(e.Direction, tedDown);
    EXPECT_EQ(e.Size, 60);
    EXPECT_TRUE(e.Unroll);
    EXPECT_TRUE(e.Use3D);
    EXPECT_FALSE(e.Reversed);
    EXPECT_EQ(e.MirrorImage, nullptr);
    EXPECT_EQ(e.GetDescription(), "Roll");
    EXPECT_EQ(e.GetEditorName(), "TRollTransitionEditor");
    EXPECT_TRUE(e.NeedWorkBitmap());
    EXPECT_TRUE(e.NeedSrcImage());
    for (TTEEffectDirection refused : {tedNone, tedDownRight, tedUpLeft, tedIn, tedOut}) e.SetDirection(refused);
    EXPECT_EQ(e.Direction, tedDown);
    e.SetDirection(tedLeft);
    EXPECT_EQ(e.Direction, tedLeft);
    e.Reversed = true;
    EXPECT_FALSE(e.UnrollActive());
    e.Unroll = false;
    EXPECT_TRUE(e.UnrollActive());

    // Records keep every property, and the class code names the roll; a
    // record with a direction the roll does not take keeps the default.
    RegisterAllTransitions();
    TRollTransition stored(nullptr);
    stored.SetDirection(tedRight);
    stored.Size = 17;
    stored.Reversed = true;
    stored.Unroll = false;
    stored.Use3D = false;
    const std::string record = TransitionToParams(stored);
    EXPECT_EQ(record.substr(0, 7), "QVTS111");
    std::unique_ptr<TTransitionEffect> decoded;
    ParamsToTransition(decoded, record.data(), static_cast<int>(record.size()));
    auto *roll = dynamic_cast<TRollTransition *>(decoded.get());
    ASSERT_NE(roll, nullptr);
    EXPECT_EQ(roll->Direction, tedRight);
    EXPECT_EQ(roll->Size, 17);
    EXPECT_TRUE(roll->Reversed);
    EXPECT_FALSE(roll->Unroll);
    EXPECT_FALSE(roll->Use3D);
    EXPECT_EQ(TransitionToParams(*roll), record);
    decoded = test::DecodeWithName(record, "tedRight", "tedIn");
    roll = dynamic_cast<TRollTransition *>(decoded.get());
    ASSERT_NE(roll, nullptr);
    EXPECT_EQ(roll->Direction, tedDown);
    EXPECT_EQ(roll->Size, 17);
}

// Sizes below 1 roll like a size of 1, and sizes far beyond the travel like
// one just beyond it; the stored value is kept.
TEST_F(RollEffect, SizesOutsideTheUsefulRange) {
    RollStage stage(32, 9, 6);
    auto run = [&stage](int size) {
        ProbeRoll e;
        e.SetDirection(tedLeft);
        e.Size = size;
        stage.Run(e, &e.frameSeen);
        EXPECT_EQ(e.Size, size);
        return stage.shots;
    };
    auto same = [](const std::vector<RollStage::Shot> &a, const std::vector<RollStage::Shot> &b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].pixels != b[i].pixels) return false;
        return true;
    };
    const std::vector<RollStage::Shot> one = run(1);
    EXPECT_TRUE(same(run(0), one));
    EXPECT_TRUE(same(run(-7), one));
    EXPECT_TRUE(same(run(INT_MIN), one));
    const std::vector<RollStage::Shot> wide = run(10);
    EXPECT_TRUE(same(run(INT_MAX), wide));
    ExpectFrames(stage, tedLeft, true, false, INT_MAX, true, 1, true);
    ExpectFrames(stage, tedUp, false, false, 0, true, 1, true);
}

TEST_F(RollEffect, EmptyAreasAbortAndThinOnesEndWithTheArrivingPage) {
    for (TTEEffectDirection dir : {tedRight, tedLeft, tedDown, tedUp})
        for (bool unroll : {true, false}) {
            SCOPED_TRACE(::testing::Message() << kEffectDirectionNames[dir] << (unroll ? " unroll" : " roll-up"));
            for (auto [w, h] : {std::pair{0, 5}, {6, 0}}) {
                RollStage stage(32, w, h);
                ProbeRoll e;
                e.SetDirection(dir);
                e.Unroll = unroll;
                EXPECT_THROW(stage.Run(e, &e.frameSeen), rtl::EAbort);
                EXPECT_EQ(e.drawn, 0);
                EXPECT_EQ(e.MirrorImage, nullptr);
            }
            for (int depth : {8, 32})
                for (auto [w, h] : {std::pair{1, 5}, {6, 1}, {1, 1}}) {
                    SCOPED_TRACE(::testing::Message() << depth << " bits, " << w << " x " << h);
                    RollStage stage(depth, w, h);
                    ExpectFrames(stage, dir, unroll, false, 60, true, 1, depth == 32);
                }
        }
}

// A frame that fails ends the run; the mirror and the table are freed.
TEST_F(RollEffect, FailedFrameFreesTheRunState) {
    RollStage stage(32, 13, 11);
    ProbeRoll e;
    e.throwAt = 4;
    EXPECT_THROW(stage.Run(e, &e.frameSeen), rtl::Exception);
    EXPECT_EQ(e.drawn, 3);
    EXPECT_EQ(e.MirrorImage, nullptr);
    EXPECT_TRUE(e.ShadeTable.empty());
}

} // namespace
} // namespace qvt
