// Transition effect base, render pipeline, dirty rectangles, plain cut and
// the class registry of effects.
#include "engine/TransEff.h"

#include <algorithm>

namespace qvt {

using rtl::DeclareClass;
using rtl::TClassInfo;

// ---------------------------------------------------------------------------
// Pass 2 options

const TClassInfo &TTEPass2OptionsType::StaticClassInfo() {
    using O = TTEPass2OptionsType;
    static const TClassInfo info = DeclareClass<O, TPersistent>("TTEPass2OptionsType")
                                       .Property("DistributedTime", &O::DistributedTime, &O::DistributedTime)
                                       .Default(false)
                                       .Property("Reversed", &O::Reversed, &O::Reversed)
                                       .Default(false)
                                       .Property("UseSolidColor", &O::UseSolidColor, &O::UseSolidColor)
                                       .Default(true)
                                       .Property("SolidColor", &O::SolidColor, &O::SolidColor)
                                       .Default(rtl::clNone)
                                       .Build();
    return info;
}

void TTEPass2OptionsType::Assign(const TPersistent *source) {
    if (auto *o = dynamic_cast<const TTEPass2OptionsType *>(source)) {
        DistributedTime = o->DistributedTime;
        Reversed = o->Reversed;
        UseSolidColor = o->UseSolidColor;
        SolidColor = o->SolidColor;
        return;
    }
    TPersistent::Assign(source);
}

// ---------------------------------------------------------------------------
// Dirty rectangles

void TFCDirtyRects::Add(const TRect &r) {
    if (UseClip) {
        TRect clipped;
        if (!IntersectRect(&clipped, &r, &ClipRect)) return;
        rects_.push_back(clipped);
        return;
    }
    rects_.push_back(r);
}

size_t TFCDirtyRects::CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) throw rtl::EListError("List index out of bounds (" + std::to_string(index) + ")");
    return static_cast<size_t>(index);
}

TRect TFCDirtyRects::Get(int index) const { return rects_[CheckedIndex(index)]; }

void TFCDirtyRects::Set(int index, const TRect &r) { rects_[CheckedIndex(index)] = r; }

// ---------------------------------------------------------------------------
// Transition data

TTETransitionData::TTETransitionData(int width, int height, TBitmap *srcImage, TBitmap *dstImage, TBitmap *bitmap,
                                     TCanvas *canvas, TPixelFormat pixelFormat, bool allowDelays)
    : Bitmap(bitmap), SrcImage(srcImage), DstImage(dstImage), Canvas(canvas), Width(width), Height(height),
      PixelFormat(pixelFormat), HighColorDevice(IsTrueColorDisplay(false)), AllowDelays(allowDelays) {}

TCanvas &TTETransitionData::DrawCanvas() const { return Bitmap ? Bitmap->Canvas() : *Canvas; }

// ---------------------------------------------------------------------------
// Effect base

TTransitionEffect::TTransitionEffect(TComponent *owner) : TComponent(owner) {}

TTransitionEffect::~TTransitionEffect() = default;

const TClassInfo &TTransitionEffect::StaticClassInfo() {
    static const TClassInfo info =
        DeclareClass<TTransitionEffect, TComponent>("TTransitionEffect")
            .Property("Enabled", &TTransitionEffect::GetEnabled, &TTransitionEffect::SetEnabled)
            .Default(true)
            .Property("FlickerFreeWhenDisabled", &TTransitionEffect::FlickerFreeWhenDisabled,
                      &TTransitionEffect::FlickerFreeWhenDisabled)
            .Default(false)
            .Property("Pass2Options", &TTransitionEffect::Pass2Options)
            .Property("PassSetting", &TTransitionEffect::PassSetting, &TTransitionEffect::PassSetting)
            .Default(teOnePass)
            .Build();
    return info;
}

TTEEffectDirection TTransitionEffect::GetReversedDirection() const {
    switch (Direction) {
    case tedRight: return tedLeft;
    case tedLeft: return tedRight;
    case tedDown: return tedUp;
    case tedUp: return tedDown;
    case tedDownRight: return tedUpLeft;
    case tedUpLeft: return tedDownRight;
    case tedDownLeft: return tedUpRight;
    case tedUpRight: return tedDownLeft;
    case tedIn: return tedOut;
    case tedOut: return tedIn;
    default: return Direction;
    }
}

int TTransitionEffect::PassCount() const {
    switch (PassSetting) {
    case teOnePass: return 1;
    case teTwoPasses: return 2;
    case tePaletteDependent: return IsPaletteDisplay(false) ? 2 : 1;
    }
    return 1;
}

void TTransitionEffect::SetDirection(TTEEffectDirection value) {
    if (static_cast<unsigned>(value) <= 15 && AllowedDirections.Contains(value)) Direction = value;
}

void TTransitionEffect::SetEnabled(bool value) { Enabled = value; }

void TTransitionEffect::Prepare(std::unique_ptr<TTETransitionData> &data, const TRect &area, HDC target,
                                HDC source) {
    const TPixelFormat pf = GetPixelFormat();
    const int areaWidth = area.right - area.left;
    const int bitmapsWidth = GetBitmapsWidth(areaWidth);
    const int height = area.bottom - area.top;

    RenderWindow = std::make_unique<TTERenderWindow>();
    RenderWindow->Canvas.SetHandle(target);
    auto canvas = std::make_unique<TCanvas>();
    canvas->SetHandle(target);

    SrcImageAvailable = true;
    auto run = std::make_unique<TRunObjects>();
    run->Canvas = std::move(canvas);
    if (NeedSrcImage()) run->SrcImage = std::make_unique<TBitmap>();
    run->DstImage = std::make_unique<TBitmap>();

    TBitmap *work = nullptr;
    if (NeedWorkBitmap()) {
        if (run->SrcImage && WorkOnSrcImage()) {
            work = run->SrcImage.get();
        } else {
            run->Work = std::make_unique<TBitmap>();
            SetupBitmap(*run->Work, nullptr, bitmapsWidth, pf, height);
            work = run->Work.get();
        }
    }
    ExcludeRect = TRect{0, 0, 0, 0};
    UpdateRect = TRect{0, 0, 0, 0};

    if (run->SrcImage) {
        // Before anything is drawn: this is what the screen showed.
        SetupBitmap(*run->SrcImage, nullptr, bitmapsWidth, pf, height);
        BitBlt(run->SrcImage->Canvas().Handle(), 0, 0, areaWidth, height, target, area.left, area.top, SRCCOPY);
    }
    SetupBitmap(*run->DstImage, nullptr, bitmapsWidth, pf, height);
    BitBlt(run->DstImage->Canvas().Handle(), 0, 0, areaWidth, height, source, 0, 0, SRCCOPY);

    data = std::make_unique<TTETransitionData>(areaWidth, height, run->SrcImage.get(), run->DstImage.get(), work,
                                               run->Canvas.get(), pf, true);
    runObjects_ = std::move(run);
}

void TTransitionEffect::Unprepare(std::unique_ptr<TTETransitionData> &data) {
    RenderWindow.reset();
    data.reset();
    runObjects_.reset();
    WorkBitmap = nullptr;
}

void TTransitionEffect::UpdateScreen(bool fullUpdate) {
    if (AllowScreenUpdate && WorkBitmap && RenderWindow) {
        HDC screenDC = RenderWindow->Canvas.Handle();
        HDC workDC = WorkBitmap->Canvas().Handle();
        auto copy = [&](const TRect &r) {
            BitBlt(screenDC, r.left, r.top, r.right - r.left, r.bottom - r.top, workDC, r.left, r.top, SRCCOPY);
        };
        const bool exclude = !IsRectEmpty(&ExcludeRect);
        if (!fullUpdate && exclude)
            ExcludeClipRect(screenDC, ExcludeRect.left, ExcludeRect.top, ExcludeRect.right, ExcludeRect.bottom);
        const bool noUpdateRect =
            UpdateRect.left == 0 && UpdateRect.top == 0 && UpdateRect.right == 0 && UpdateRect.bottom == 0;
        if (DirtyRects && DirtyRects->Count() >= 2) {
            for (int i = 0; i < DirtyRects->Count(); ++i) copy(DirtyRects->Get(i));
        } else if (fullUpdate || noUpdateRect) {
            copy(TRect{0, 0, WorkBitmap->Width(), WorkBitmap->Height()});
        } else {
            copy(UpdateRect);
        }
        if (exclude) SelectClipRgn(screenDC, nullptr);
    }
    PrevExcludeRect = ExcludeRect;
    PrevUpdateRect = UpdateRect;
    ExcludeRect = TRect{0, 0, 0, 0};
    UpdateRect = TRect{0, 0, 0, 0};
    if (DirtyRects && DirtyRects->AutoClear) DirtyRects->Clear();
}

// ---------------------------------------------------------------------------
// Plain cut

const TClassInfo &TFlickerFreeTransition::StaticClassInfo() {
    static const TClassInfo info =
        DeclareClass<TFlickerFreeTransition, TTransitionEffect>("TFlickerFreeTransition").Build();
    return info;
}

void TFlickerFreeTransition::Execute(TTETransitionData &data) {
    BitBlt(data.DrawCanvas().Handle(), 0, 0, data.Width, data.Height, data.DstImage->Canvas().Handle(), 0, 0,
           SRCCOPY);
}

// ---------------------------------------------------------------------------
// Registry

namespace {
std::vector<const TClassInfo *> &registry() {
    static std::vector<const TClassInfo *> classes;
    return classes;
}
} // namespace

void RegisterTransition(const TClassInfo &info) {
    auto &classes = registry();
    if (std::find(classes.begin(), classes.end(), &info) == classes.end()) classes.push_back(&info);
    rtl::RegisterClass(info);
}

std::span<const TClassInfo *const> TransitionClasses() { return registry(); }

std::unique_ptr<TTransitionEffect> CreateTransition(const TClassInfo &cls) {
    std::unique_ptr<TPersistent> object = cls.Create();
    auto *effect = dynamic_cast<TTransitionEffect *>(object.get());
    if (!effect) throw ETransitionEffectError(rtl::Format("%s is not a transition effect", {cls.ClassName()}));
    object.release();
    return std::unique_ptr<TTransitionEffect>(effect);
}

std::unique_ptr<TTransitionEffect> CreateTransition(std::string_view className) {
    return CreateTransition(rtl::FindClass(className));
}

namespace {
constexpr TTransitionListEntry kTransitionList[] = {
    {"TBmpMaskTransition", "", "BmpMask"},
    {"TBmpMaskTransition2", "01", "BmpMask"},
    {"TFuseTransition", "07", "Pattern"},
    {"TBlendTransition", "03", "CrossFade"},
    {"TBlockTransition", "09", "Puzzle"},
    {"TCircleTransition", "02", "Circle"},
    {"TDiagonalTransition", "04", "Diagonal"},
    {"TDripTransition", "05", "Drip"},
    {"TInterlacedTransition", "06", "Interlaced"},
    {"TWaterfallTransition", "13", "Waterfall"},
    {"TPushTransition", "08", "Push"},
    {"TRadialTransition", "10", "Radial"},
    {"TRollTransition", "11", "Roll"},
    {"TSlideTransition", "12", "Slide"},
    {"TWipeTransition", "14", "Wipe"},
};
} // namespace

std::span<const TTransitionListEntry> TransitionList() { return kTransitionList; }

} // namespace qvt
