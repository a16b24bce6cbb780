// The Bitmap mask effects: the order a mask gives, frame by frame on 8, 16
// and 32 bits; the fade of smoothing; the mask through a record and through
// a file the host's stream access opens; and what is refused.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "effect_stage.h"
#include "effects/teBmpMk2.h"
#include "effects/teBmpMsk.h"
#include "effects/teRegister.h"
#include "engine/teHostStreams.h"
#include "persist/qvtPers.h"
#include "persist/qvtWriter.h"
#include "record_names.h"

namespace qvt {
namespace {

using test::EffectStage;
using test::Rgb;

// An 8-bit grey mask (index i is grey i) with level(x, y) at each pixel.
std::unique_ptr<TBitmap> GreyMask(int width, int height, const std::function<int(int x, int y)> &level) {
    auto mask = std::make_unique<TBitmap>();
    SetupBitmap(*mask, CreateGrayscalePalette(), width, pf8bit, height);
    for (int y = 0; y < height; ++y) {
        auto *row = static_cast<uint8_t *>(mask->ScanLine(y));
        for (int x = 0; x < width; ++x) row[x] = static_cast<uint8_t>(level(x, y));
    }
    return mask;
}

std::vector<uint8_t> BmpBytes(const TBitmap &bitmap) {
    rtl::TMemoryStream file;
    bitmap.SaveToStream(file);
    const auto *p = static_cast<const uint8_t *>(file.Memory());
    return std::vector<uint8_t>(p, p + file.Size());
}

// The mask bytes row by row (padding left out).
std::vector<uint8_t> MaskLevels(TBitmap &mask) {
    std::vector<uint8_t> out;
    for (int y = 0; y < mask.Height(); ++y) {
        const auto *row = static_cast<const uint8_t *>(mask.ScanLine(y));
        out.insert(out.end(), row, row + mask.Width());
    }
    return out;
}

// A bitmap mask effect that remembers the frame it drew last and what its
// run looked like.
template <class Base> class Probe : public Base {
public:
    Probe() : Base(nullptr) {}
    void Initialize(TTETransitionData &data, int &totalFrames) override {
        Base::Initialize(data, totalFrames);
        total = totalFrames;
        bitmapWidth = data.Bitmap ? data.Bitmap->Width() : -1;
        workIsDeparting = data.Bitmap == data.SrcImage;
    }
    void ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                      int lastExecutedFrame) override {
        Base::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
        frame = currentFrame;
        ++frames;
    }
    int total = 0, frame = 0, frames = 0, bitmapWidth = 0;
    bool workIsDeparting = false;
};
using MaskProbe = Probe<TBmpMaskTransition>;

// Runs the effect on a stage and returns every picture it showed with
// the frame drawn last when it was shown (0 before the first).
template <class E> std::vector<std::pair<int, std::vector<uint8_t>>> Shown(EffectStage &stage, Probe<E> &effect) {
    std::vector<std::pair<int, std::vector<uint8_t>>> shown;
    stage.Run(effect, [&] { shown.emplace_back(effect.frame, stage.Window()); });
    return shown;
}
// Checks the pictures of a run: the departing page, then each frame as
// `expected(frame, x, y)` says, and last the arriving page.
void Check(const EffectStage &stage, const std::vector<std::pair<int, std::vector<uint8_t>>> &shown,
           const std::function<Rgb(int f, int x, int y)> &expected) {
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(stage.DifferencesFromDepartingPage(shown.front().second), "");
    for (size_t i = 1; i + 1 < shown.size(); ++i) {
        const int f = shown[i].first;
        EXPECT_EQ(stage.Differences(shown[i].second, [&](int x, int y) { return expected(f, x, y); }), "")
            << "frame " << f;
    }
    EXPECT_EQ(stage.DifferencesFromArrivingPage(shown.back().second), "");
}

class BmpMaskRun : public ::testing::Test {
protected:
    void TearDown() override {
        testing::RestoreProcessorFlags();
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    // Each pixel shows one page or the other: the arriving one where
    // `arrivingAt(frame, x, y)`.
    void Follow(EffectStage &stage, MaskProbe &effect, const std::function<bool(int f, int x, int y)> &arrivingAt) {
        Check(stage, Shown(stage, effect), [&](int f, int x, int y) {
            return arrivingAt(f, x, y) ? stage.Arriving(x, y) : stage.Departing(x, y);
        });
    }
};

TEST(BmpMask, ChoosesFormatAndBitmapWidthByDisplayAndSmoothing) {
    struct Case {
        int depth;
        bool fast;
        int level;
        bool smooth;
        TPixelFormat format;
        int width101, width105;
    } cases[] = {
        {24, true, 0, false, pf24bit, 104, 108}, // hard: multiples of 4
        {32, true, 2, true, pf32bit, 104, 112},  // smoothing: multiples of 8, always 32 bits
        {24, true, 1, true, pf32bit, 104, 112},
        {16, true, 5, true, pf32bit, 104, 112},
        {32, false, 2, false, pf32bit, 104, 108}, // no fast path: hard, silently
        {8, true, 2, false, pf8bit, 104, 108},    // palette display: hard
        {4, true, 0, false, pf4bit, 104, 112},    // two pixels a byte: multiples of 8
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.depth << " bits, fast " << c.fast << ", level " << c.level);
        ASSERT_TRUE(QvtSetDisplayDepth(c.depth));
        testing::RefreshDisplay();
        testing::SetProcessorFlags(c.fast, c.fast);
        TBmpMaskTransition e(nullptr);
        e.SetSmoothingLevel(static_cast<uint16_t>(c.level));
        EXPECT_EQ(e.UseSmoothing(), c.smooth);
        EXPECT_EQ(e.WorkOnSrcImage(), !c.smooth);
        EXPECT_EQ(e.GetPixelFormat(), c.format);
        EXPECT_EQ(e.GetBitmapsWidth(101), c.width101);
        EXPECT_EQ(e.GetBitmapsWidth(105), c.width105);
    }
    testing::RestoreProcessorFlags();
    QvtSetDisplayDepth(32);
    testing::RefreshDisplay();
}

TEST(BmpMask, SettersKeepWhatTheyRefuse) {
    TBmpMaskTransition e(nullptr);
    EXPECT_EQ(e.GetDescription(), "Bitmap mask");
    EXPECT_EQ(e.GetEditorName(), "TBmpMaskTransitionEditor");
    EXPECT_EQ(TBmpMaskTransition2(nullptr).GetEditorName(), "TBmpMaskTransitionEditor2");
    EXPECT_TRUE(e.NeedWorkBitmap());
    EXPECT_FALSE(e.IsPlainEffect());

    e.SetSmoothingLevel(3);
    e.SetSmoothingLevel(6);
    EXPECT_EQ(e.GetSmoothingLevel(), 3);

    auto mask = GreyMask(4, 2, [](int x, int y) { return x * 60 + y; });
    e.SetMask(mask.get());
    TBitmap colour;
    colour.SetPixelFormat(pf24bit);
    colour.SetSize(4, 2);
    try {
        e.SetMask(&colour);
        ADD_FAILURE() << "a 24-bit mask was taken";
    } catch (const ETransitionEffectError &err) {
        EXPECT_STREQ(err.what(), "Transition mask should have 8 bits per pixel");
    }
    EXPECT_EQ(e.GetMask()->PixelFormat(), pf8bit);
    EXPECT_EQ(MaskLevels(*e.GetMask()), MaskLevels(*mask));
    // A copy: changing the picture afterwards does not reach the effect.
    static_cast<uint8_t *>(mask->ScanLine(0))[0] = 99;
    EXPECT_EQ(static_cast<uint8_t *>(e.GetMask()->ScanLine(0))[0], 0);

    TBitmap empty;
    e.SetMask(&empty);
    EXPECT_TRUE(e.GetMask()->Empty());
    e.SetMask(mask.get());
    e.SetMask(nullptr);
    EXPECT_TRUE(e.GetMask()->Empty());
}

TEST_F(BmpMaskRun, WhiteMaskRevealsEverythingAtFrameOne) {
    for (int depth : {8, 16, 32}) {
        SCOPED_TRACE(depth);
        EffectStage stage(depth, 21, 7);
        MaskProbe e;
        auto white = GreyMask(3, 2, [](int, int) { return 255; });
        e.SetMask(white.get());
        Follow(stage, e, [](int f, int, int) { return f >= 1; });
        EXPECT_EQ(e.total, 256);
        EXPECT_EQ(e.frames, 255);
        EXPECT_TRUE(e.workIsDeparting);
        EXPECT_EQ(e.bitmapWidth, 24);
    }
}

TEST_F(BmpMaskRun, GradientIsRevealedFromTheWhiteEndOrFromTheBlackEndWhenReversed) {
    // A page-sized gradient, black on the left; a timed run, so that frames
    // are skipped and each frame must also copy the levels of those skipped.
    const int w = 61, h = 5;
    auto level = [&](int x) { return x * 255 / (w - 1); };
    for (int depth : {8, 16, 32})
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(::testing::Message() << depth << " bits, reversed " << reversed);
            EffectStage stage(depth, w, h);
            MaskProbe e;
            auto mask = GreyMask(w, h, [&](int x, int) { return level(x); });
            e.SetMask(mask.get());
            e.SetReversed(reversed);
            e.SetMilliseconds(700);
            Follow(stage, e, [&](int f, int x, int) {
                const int m = reversed ? 255 - level(x) : level(x);
                return m >= 256 - f;
            });
            EXPECT_EQ(e.total, 256);
            EXPECT_LT(e.frames, 254) << "the timed run skips frames";
            EXPECT_GT(e.frames, 10);
        }
}

TEST_F(BmpMaskRun, MaskIsStretchedToThePage) {
    // A 2 x 2 mask over a 20 x 10 page: each quarter takes its mask pixel.
    EffectStage stage(32, 20, 10);
    MaskProbe e;
    auto mask = GreyMask(2, 2, [](int x, int y) { return x == y ? 255 : 100; });
    e.SetMask(mask.get());
    Follow(stage, e, [](int f, int x, int y) {
        const bool diagonal = (x < 10) == (y < 5);
        return f >= (diagonal ? 1 : 156);
    });
}

TEST_F(BmpMaskRun, SmoothingFadesEachLevelInOverItsWindow) {
    // Level 2: a window of 16 frames, 271 frames in all. A pixel of level 200
    // starts to change at frame 56 and is arriving from frame 71; level 0
    // starts at frame 256.
    testing::SetProcessorFlags(true, true);
    EffectStage stage(32, 24, 4);
    MaskProbe e;
    auto mask = GreyMask(24, 4, [](int x, int) { return x < 12 ? 200 : 0; });
    e.SetMask(mask.get());
    e.SetSmoothingLevel(2);
    auto mix = [](uint8_t base, uint8_t weighted, int z) {
        return static_cast<uint8_t>(base + static_cast<int>(std::floor((weighted - base) * (z * 16) / 256.0)));
    };
    const auto shown = Shown(stage, e);
    Check(stage, shown, [&](int f, int x, int y) {
        const int m = x < 12 ? 200 : 0;
        const int z = std::clamp(m - (255 - f), 0, 16);
        const Rgb a = stage.Arriving(x, y), d = stage.Departing(x, y);
        return Rgb{mix(d.r, a.r, z), mix(d.g, a.g, z), mix(d.b, a.b, z)};
    });
    // The frames around the level-200 pixels' window, as pictures.
    auto at = [&](int f) -> const std::vector<uint8_t> & { return shown[static_cast<size_t>(f)].second; };
    ASSERT_EQ(shown.size(), 272u);
    EXPECT_EQ(shown[71].first, 71);
    EXPECT_EQ(stage.DifferencesFromDepartingPage(at(55)), "");
    auto halves = [&](int x, int y) { return x < 12 ? stage.Arriving(x, y) : stage.Departing(x, y); };
    EXPECT_NE(stage.DifferencesFromDepartingPage(at(56)), "") << "level 200 starts at frame 56";
    EXPECT_NE(stage.Differences(at(70), halves), "") << "level 200 is not whole before frame 71";
    EXPECT_EQ(stage.Differences(at(71), halves), "");
    EXPECT_EQ(e.total, 271);
    EXPECT_FALSE(e.workIsDeparting);
    EXPECT_EQ(e.bitmapWidth, 24);
}

TEST_F(BmpMaskRun, RunWithoutAUsableMaskDrawsNothing) {
    struct Case {
        const char *what;
        std::function<void(TBmpMaskTransition &)> setUp;
        const char *message;
    } cases[] = {
        {"no mask", [](TBmpMaskTransition &) {}, "Transition mask is empty"},
        // A record's Mask.Data is read into the held picture in place, past
        // the setter's check.
        {"24-bit mask",
         [](TBmpMaskTransition &e) {
             e.GetMask()->SetPixelFormat(pf24bit);
             e.GetMask()->SetSize(4, 4);
         },
         "Transition mask should have 8 bits per pixel"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EffectStage stage(32, 16, 8);
        MaskProbe e;
        c.setUp(e);
        try {
            stage.Run(e);
            ADD_FAILURE() << "the run started";
        } catch (const ETransitionEffectError &err) {
            EXPECT_STREQ(err.what(), c.message);
        }
        EXPECT_EQ(e.frames, 0);
        EXPECT_EQ(stage.DifferencesFromDepartingPage(stage.Window()), "");
    }
}

// --- Records and files ------------------------------------------------------------

TEST(BmpMaskRecord, MaskTravelsAsTheBitmapsDataBytes) {
    TBmpMaskTransition e(nullptr);
    auto mask = GreyMask(7, 3, [](int x, int y) { return 255 - x * 30 - y; });
    e.SetMask(mask.get());
    e.SetReversed(true);
    e.SetSmoothingLevel(4);
    const std::vector<uint8_t> list = WritePropertyList(e);

    TBmpMaskTransition read(nullptr);
    rtl::TReadOnlyMemoryStream stream(list.data(), list.size());
    TTransitionReader reader(stream);
    while (!reader.EndOfList()) reader.ReadProperty(read);
    EXPECT_TRUE(read.GetReversed());
    EXPECT_EQ(read.GetSmoothingLevel(), 4);
    ASSERT_EQ(read.GetMask()->PixelFormat(), pf8bit);
    EXPECT_EQ(read.GetMask()->Width(), 7);
    EXPECT_EQ(MaskLevels(*read.GetMask()), MaskLevels(*mask));
    const auto table = read.GetMask()->ColorTable();
    ASSERT_EQ(table.size(), 256u);
    EXPECT_EQ(table[77].rgbGreen, 77);
}

// Files in a folder of their own, opened by a stream access that counts.
class BmpMaskFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qvt-bmpmask-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        opened_.clear();
        StartTransitionEngine();
        SetStreamAccess(&Open);
    }
    void TearDown() override {
        SetStreamAccess(nullptr);
        std::filesystem::remove_all(folder_);
    }
    static BOOL Open(const char *name, IStream **stream) {
        opened_.push_back(name);
        return SUCCEEDED(SHCreateStreamOnFileA((folder_ + "/" + name).c_str(), STGM_READ, stream));
    }
    void Write(const std::string &name, const std::vector<uint8_t> &bytes) {
        std::ofstream(folder_ + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // A version "1" record of the file-based effect naming `name`.
    static std::string RecordNaming(const std::string &name) {
        std::string hex = test::HexName(name);
        return "QVTS101" + test::HexName("OVMaskFileName") + "06" + hex + "00";
    }
    static inline std::string folder_;
    static inline std::vector<std::string> opened_;
};

TEST_F(BmpMaskFile, RecordNamingAFileReadsItOnceWhenDecoded) {
    auto mask = GreyMask(5, 4, [](int x, int y) { return x * 50 + y; });
    Write("ramp.bmp", BmpBytes(*mask));
    const std::string record = RecordNaming("ramp.bmp");
    std::unique_ptr<TTransitionEffect> effect;
    ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
    auto *e = dynamic_cast<TBmpMaskTransition2 *>(effect.get());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(opened_, std::vector<std::string>{"ramp.bmp"});
    EXPECT_EQ(e->GetMaskFileName(), "ramp.bmp");
    EXPECT_EQ(MaskLevels(*e->GetMask()), MaskLevels(*mask));

    // The same name again reads nothing, even after the file changed.
    Write("ramp.bmp", BmpBytes(*GreyMask(2, 2, [](int, int) { return 7; })));
    e->SetMaskFileName("ramp.bmp");
    EXPECT_EQ(opened_.size(), 1u);
    EXPECT_EQ(e->GetMask()->Width(), 5);

    // Its record names the file and carries no picture.
    const std::string written = TransitionToParams(*e);
    EXPECT_EQ(written, record);
    EXPECT_EQ(opened_.size(), 1u);

    // The published mask of this class takes nothing; an empty name empties it.
    rtl::SetObjectProp(*e, *e->ClassInfo().FindProperty("Mask"), GreyMask(3, 3, [](int, int) { return 1; }).get());
    EXPECT_EQ(e->GetMask()->Width(), 5);
    e->SetMaskFileName("");
    EXPECT_TRUE(e->GetMask()->Empty());
    EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(BmpMaskFile, FileThatCannotBeReadLeavesTheMaskAndKeepsTheName) {
    auto mask = GreyMask(4, 4, [](int x, int) { return x * 80; });
    Write("good.bmp", BmpBytes(*mask));
    std::vector<uint8_t> truncated = BmpBytes(*mask);
    truncated.resize(truncated.size() - 9);
    Write("short.bmp", truncated);
    Write("empty.bmp", {});
    struct Case {
        const char *name;
        const char *message;
    } cases[] = {
        {"missing.bmp", "File 'missing.bmp' not found."},
        {"100%s.bmp", "File '100%s.bmp' not found."},
        {"short.bmp", "Stream read error"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TBmpMaskTransition2 e(nullptr);
        e.SetMaskFileName("good.bmp");
        try {
            e.SetMaskFileName(c.name);
            ADD_FAILURE() << "no error";
        } catch (const rtl::Exception &err) {
            EXPECT_STREQ(err.what(), c.message);
        }
        EXPECT_EQ(e.GetMaskFileName(), c.name);
        EXPECT_EQ(MaskLevels(*e.GetMask()), MaskLevels(*mask));
    }
    // Decoding a record that names a missing file fails with the message.
    const std::string record = RecordNaming("gone.bmp");
    std::unique_ptr<TTransitionEffect> effect;
    try {
        ParamsToTransition(effect, record.data(), static_cast<int>(record.size()));
        ADD_FAILURE() << "decoded";
    } catch (const rtl::Exception &err) {
        EXPECT_STREQ(err.what(), "File 'gone.bmp' not found.");
    }
    EXPECT_EQ(effect, nullptr);
    // Without any stream access nothing is found.
    SetStreamAccess(nullptr);
    TBmpMaskTransition2 e(nullptr);
    EXPECT_THROW(e.SetMaskFileName("good.bmp"), rtl::Exception);
    EXPECT_TRUE(e.GetMask()->Empty());
}

TEST_F(BmpMaskFile, FileMaskDrivesTheRunAndIsCheckedWhenItStarts) {
    // A left-white, right-black mask from a file: the left half shows the
    // arriving page from frame 1, the right half only at the end.
    Write("halves.bmp", BmpBytes(*GreyMask(2, 1, [](int x, int) { return x == 0 ? 255 : 0; })));
    TBitmap colour;
    colour.SetPixelFormat(pf24bit);
    colour.SetSize(2, 2);
    Write("colour.bmp", BmpBytes(colour));

    {
        EffectStage stage(16, 16, 6);
        Probe<TBmpMaskTransition2> e;
        e.SetMaskFileName("halves.bmp");
        Check(stage, Shown(stage, e),
              [&](int, int x, int y) { return x < 8 ? stage.Arriving(x, y) : stage.Departing(x, y); });
    }

    // A file picture of another format is loaded, and refused by the run.
    EffectStage again(16, 16, 6);
    Probe<TBmpMaskTransition2> c;
    c.SetMaskFileName("colour.bmp");
    EXPECT_EQ(c.GetMask()->PixelFormat(), pf24bit);
    try {
        again.Run(c);
        ADD_FAILURE() << "ran";
    } catch (const ETransitionEffectError &err) {
        EXPECT_STREQ(err.what(), "Transition mask should have 8 bits per pixel");
    }
    EXPECT_EQ(again.DifferencesFromDepartingPage(again.Window()), "");
}

} // namespace
} // namespace qvt
