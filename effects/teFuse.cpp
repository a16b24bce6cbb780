// Fuse.
#include "effects/teFuse.h"

#include "engine/teRandom.h"

namespace qvt {

// clang-format off
const std::array<DitherCell, 64> TFuseTransition::kSpiralOrder = {{
    {4, 3}, {4, 4}, {3, 4}, {3, 3}, {3, 2}, {4, 2}, {5, 2}, {5, 3},
    {5, 4}, {5, 5}, {4, 5}, {3, 5}, {2, 5}, {2, 4}, {2, 3}, {2, 2},
    {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {6, 2}, {6, 3}, {6, 4},
    {6, 5}, {6, 6}, {5, 6}, {4, 6}, {3, 6}, {2, 6}, {1, 6}, {1, 5},
    {1, 4}, {1, 3}, {1, 2}, {1, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0},
    {5, 0}, {6, 0}, {7, 0}, {7, 1}, {7, 2}, {7, 3}, {7, 4}, {7, 5},
    {7, 6}, {7, 7}, {6, 7}, {5, 7}, {4, 7}, {3, 7}, {2, 7}, {1, 7},
    {0, 7}, {0, 6}, {0, 5}, {0, 4}, {0, 3}, {0, 2}, {0, 1}, {0, 0},
}};
// clang-format on

namespace {

constexpr uint64_t Cell(int x, int y) { return uint64_t{1} << (y * 8 + x); }
constexpr uint64_t Cell(DitherCell c) { return Cell(c.x, c.y); }

// The pixels whose (x + sign * y) mod 8 is `residue`: one wrapped diagonal.
uint64_t Diagonal(int sign, int residue) {
    uint64_t cells = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if (((x + sign * y) % 8 + 8) % 8 == residue) cells |= Cell(x, y);
    return cells;
}

} // namespace

TFuseTransition::TFuseTransition(TComponent *owner) : TTimedTransitionEffect(owner) {}

TFuseTransition::~TFuseTransition() = default;

const rtl::TClassInfo &TFuseTransition::StaticClassInfo() {
    using F = TFuseTransition;
    static const rtl::TClassInfo info =
        rtl::DeclareClass<F, TTimedTransitionEffect>("TFuseTransition")
            .Property("Style", &F::GetStyle, &F::SetStyle)
            .Default(1)
            .Range(0, StyleCount)
            .Property("Reversed", &TTransitionEffect::GetReversed, &TTransitionEffect::SetReversed)
            .Default(false)
            .Build();
    return info;
}

void TFuseTransition::SetStyle(uint16_t value) {
    if (value != Style && value <= StyleCount) Style = value;
}

int TFuseTransition::StyleToUse() {
    int s = Style;
    if (s == 0) {
        if (RandomStyle == 0) RandomStyle = static_cast<uint16_t>(NextRandom(StyleCount) + 1);
        s = RandomStyle;
    }
    // 2 and 3, 4 and 5, ... 12 and 13 are each other's reverse.
    if (Reversed && s >= 2) s = s % 2 == 0 ? s + 1 : s - 1;
    return s;
}

int TFuseTransition::ElementCount(int style) { return style == 1 || style == 8 || style == 9 ? 64 : 8; }

uint64_t TFuseTransition::ElementCells(int style, int k) {
    if (style < 1 || style > StyleCount || k < 1 || k > ElementCount(style)) return 0;
    // The odd styles from 3 on run their even twin backwards.
    if (style >= 3 && style % 2 == 1) return ElementCells(style - 1, ElementCount(style) - k + 1);
    switch (style) {
    case 1: return Cell(kDitherOrder[static_cast<size_t>(k - 1)]);
    case 2: return uint64_t{0xFF} << (8 * (k - 1));
    case 4: return uint64_t{0x0101010101010101} << (k - 1);
    case 6: {
        // The square's edge a: column a above row a, then row a up to column a.
        const int a = k - 1;
        uint64_t cells = 0;
        for (int y = 0; y < a; ++y) cells |= Cell(a, y);
        for (int x = 0; x <= a; ++x) cells |= Cell(x, a);
        return cells;
    }
    case 8: return Cell(kSpiralOrder[static_cast<size_t>(k - 1)]);
    case 10: return Diagonal(-1, k % 8);
    case 12: return Diagonal(1, k - 1);
    default: return 0;
    }
}

void TFuseTransition::Initialize(TTETransitionData &data, int &totalFrames) {
    // The inherited Initialize is not called: frames report UpdateRect, no
    // dirty-rectangle list.
    ReseedRandom();
    Pattern = std::make_unique<TBitmap>();
    Pattern->SetMonochrome(true);
    Pattern->SetWidth(8);
    Pattern->SetHeight(8);
    PatBlt(Pattern->Canvas().Handle(), 0, 0, 8, 8, WHITENESS);
    // Asking for the style draws the random one, so it holds for the whole run.
    totalFrames = ElementCount(StyleToUse());
    // An empty area has nothing to dissolve; the driver ends such a run.
    if (data.Width <= 0 || data.Height <= 0) {
        totalFrames = 0;
        return;
    }
    // The work bitmap is the departing page when Prepare captured it.
    if (data.Bitmap != data.SrcImage && data.SrcImage)
        BitBlt(data.Bitmap->Canvas().Handle(), 0, 0, data.Width, data.Height, data.SrcImage->Canvas().Handle(), 0, 0,
               SRCCOPY);
}

void TFuseTransition::ExecuteFrame(TTETransitionData &data, int currentFrame, int step, int totalFrames,
                                   int lastExecutedFrame) {
    TTimedTransitionEffect::ExecuteFrame(data, currentFrame, step, totalFrames, lastExecutedFrame);
    // Every element since the last frame drawn, so that skipped frames are
    // caught up.
    const int style = StyleToUse();
    uint64_t cells = 0;
    for (int k = currentFrame - step + 1; k <= currentFrame; ++k) cells |= ElementCells(style, k);
    for (int y = 0; y < 8; ++y) {
        const auto row = static_cast<uint8_t>(cells >> (8 * y));
        if (row == 0) continue;
        uint8_t *bits = static_cast<uint8_t *>(Pattern->ScanLine(y));
        // Pixel 0 is the high bit; a cleared bit is black.
        for (int x = 0; x < 8; ++x)
            if (row & (1u << x)) bits[0] &= static_cast<uint8_t>(~(0x80u >> x));
    }
    // The arriving page where the pattern is black; the frame so far elsewhere.
    BlendDithered(*data.Bitmap, *data.DstImage, *Pattern, 0);
    UpdateRect = TRect{0, 0, data.Width, data.Height};
}

void TFuseTransition::Finalize(TTETransitionData &) {
    Pattern.reset();
    // A second pass of the same run keeps the random style.
    if (!(PassCount() == 2 && AllowsTwoPasses())) RandomStyle = 0;
}

} // namespace qvt
