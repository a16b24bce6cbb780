// The transition effect base class and the render pipeline around one run:
// Prepare captures the screen and the new page into bitmaps of the effect's
// pixel format, Execute plays the effect, UpdateScreen brings each composed
// frame to the screen, Unprepare frees the run. Also the plain cut, the dirty
// rectangle list, the library's own exception class and the class registry
// of effects.
#ifndef QVT_ENGINE_TRANSEFF_H
#define QVT_ENGINE_TRANSEFF_H

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "pixels/PixFormats.h"
#include "qvt/rtl/classes.h"
#include "qvt/rtl/graphics.h"

namespace qvt {

using rtl::TBitmap;
using rtl::TCanvas;
using rtl::TColor;
using rtl::TComponent;
using rtl::TPersistent;
using TRect = RECT;

// Where the new picture moves or grows towards. Stored by name.
enum TTEEffectDirection : uint8_t {
    tedNone, tedRight, tedLeft, tedDown, tedUp, tedDownRight, tedDownLeft, tedUpRight, tedUpLeft, tedIn, tedOut
};
inline constexpr std::string_view kEffectDirectionNames[] = {
    "tedNone", "tedRight", "tedLeft", "tedDown", "tedUp", "tedDownRight",
    "tedDownLeft", "tedUpRight", "tedUpLeft", "tedIn", "tedOut"};
constexpr rtl::TEnumNames EnumValueNames(TTEEffectDirection) { return kEffectDirectionNames; }
using TTEEffectDirections = rtl::TSet<TTEEffectDirection>;

enum TTEPassSettingType : uint8_t { teOnePass, teTwoPasses, tePaletteDependent };
inline constexpr std::string_view kPassSettingNames[] = {"teOnePass", "teTwoPasses", "tePaletteDependent"};
constexpr rtl::TEnumNames EnumValueNames(TTEPassSettingType) { return kPassSettingNames; }

// The library's own exception class.
class ETransitionEffectError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
};

// Options of a second pass (stored; no effect of this system creates them).
class TTEPass2OptionsType : public TPersistent {
public:
    TTEPass2OptionsType() = default;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }
    void Assign(const TPersistent *source) override;

    bool DistributedTime = false;
    bool Reversed = false;
    bool UseSolidColor = true;
    TColor SolidColor = rtl::clNone;
};

// The changed areas of one frame.
class TFCDirtyRects {
public:
    // With UseClip, rectangles are clipped to ClipRect and dropped when
    // nothing is left.
    void Add(const TRect &r);
    int Count() const { return static_cast<int>(rects_.size()); }
    TRect Get(int index) const;
    void Set(int index, const TRect &r);
    void Clear() { rects_.clear(); }

    bool UseClip = false;
    bool AutoClear = true;
    TRect ClipRect{0, 0, 0, 0};

private:
    // The index as a position in rects_; EListError when out of bounds.
    size_t CheckedIndex(int index) const;

    std::vector<TRect> rects_;
};

// Everything one run draws with. Does not own its members.
class TTETransitionData {
public:
    TTETransitionData(int width, int height, TBitmap *srcImage, TBitmap *dstImage, TBitmap *bitmap, TCanvas *canvas,
                      TPixelFormat pixelFormat, bool allowDelays);
    // The canvas frames are drawn on: the work bitmap's, or the screen's.
    TCanvas &DrawCanvas() const;

    TBitmap *Bitmap;
    TBitmap *SrcImage;
    TBitmap *DstImage;
    TCanvas *Canvas;
    int Width;
    int Height;
    TPixelFormat PixelFormat;
    bool HighColorDevice;
    bool AllowDelays;
};

// The screen side of a run: a canvas on the target DC.
class TTERenderWindow {
public:
    TCanvas Canvas;
};

class TTransitionEffect : public TComponent {
public:
    explicit TTransitionEffect(TComponent *owner);
    ~TTransitionEffect() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    // The overridable operations.
    virtual TTEEffectDirection GetReversedDirection() const;
    virtual void Execute(TTETransitionData &data) = 0;
    virtual int GetBitmapsWidth(int width) const { return width; }
    virtual TPixelFormat GetPixelFormat() const { return GetDevicePixelFormat(false); }
    virtual bool NeedSrcImage() const { return true; }
    virtual bool IsPlainEffect() const { return true; }
    virtual bool NeedWorkBitmap() const { return false; }
    virtual bool WorkOnSrcImage() const { return false; }
    virtual std::string GetDescription() const { return std::string(ClassName()); }
    virtual std::string GetEditorName() const { return "TTransitionEffectEditor"; }
    virtual bool AllowsTwoPasses() const { return true; }

    // The direction effects draw with: the opposite one when Reversed.
    TTEEffectDirection DirectionToUse() const { return Reversed ? GetReversedDirection() : Direction; }
    int PassCount() const;
    // Stores a direction only when AllowedDirections holds it.
    void SetDirection(TTEEffectDirection value);
    TTEEffectDirection GetDirection() const { return Direction; }
    bool GetReversed() const { return Reversed; }
    void SetReversed(bool value) { Reversed = value; }
    bool GetEnabled() const { return Enabled; }
    void SetEnabled(bool value);
    int32_t GetMilliseconds() const { return Milliseconds; }
    void SetMilliseconds(int32_t value) { Milliseconds = value; }

    // The render pipeline.
    void Prepare(std::unique_ptr<TTETransitionData> &data, const TRect &area, HDC target, HDC source);
    void Unprepare(std::unique_ptr<TTETransitionData> &data);
    void UpdateScreen(bool fullUpdate);

    // Fields in the original order.
    TTEEffectDirection Direction = tedNone;
    bool Reversed = false;
    bool Enabled = true;
    bool FlickerFreeWhenDisabled = false;
    int32_t Milliseconds = 0;
    TTEPass2OptionsType *Pass2Options = nullptr;
    TTEPassSettingType PassSetting = teOnePass;
    bool AllowScreenUpdate = true;
    TBitmap *WorkBitmap = nullptr;
    TRect ExcludeRect{0, 0, 0, 0};
    TRect UpdateRect{0, 0, 0, 0};
    TRect PrevUpdateRect{0, 0, 0, 0};
    TRect PrevExcludeRect{0, 0, 0, 0};
    std::unique_ptr<TFCDirtyRects> DirtyRects;
    TTEEffectDirections AllowedDirections{tedNone};
    std::unique_ptr<TTERenderWindow> RenderWindow;
    bool SrcImageAvailable = false;

private:
    // What Prepare made for the run: the data's members are views of these.
    // Freed by Unprepare, or with the effect should a run never be ended.
    struct TRunObjects {
        std::unique_ptr<TBitmap> SrcImage, DstImage, Work;
        std::unique_ptr<TCanvas> Canvas;
    };
    std::unique_ptr<TRunObjects> runObjects_;
};

// The plain cut: the new page in one copy.
class TFlickerFreeTransition : public TTransitionEffect {
public:
    explicit TFlickerFreeTransition(TComponent *owner) : TTransitionEffect(owner) {}
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    void Execute(TTETransitionData &data) override;
    TPixelFormat GetPixelFormat() const override { return pfDevice; }
    bool NeedSrcImage() const override { return false; }
    std::string GetDescription() const override { return "Flicker free cut"; }
};

// The class registry of effects: registered classes in registration order,
// also entered by class name in the run-time class table.
void RegisterTransition(const rtl::TClassInfo &info);
std::span<const rtl::TClassInfo *const> TransitionClasses();

// A new effect of a registered class, with no owner: by class name (EClassNotFound
// for a name never registered) or by class. ETransitionEffectError when the
// class is not an effect.
std::unique_ptr<TTransitionEffect> CreateTransition(std::string_view className);
std::unique_ptr<TTransitionEffect> CreateTransition(const rtl::TClassInfo &cls);

// The effect classes of this system, in the order their units register
// them at start-up: the class name, the code a parameter record names it by
// (empty for TBmpMaskTransition, which records never name) and the editor's
// short name. The record format's code table is this list in code order.
struct TTransitionListEntry {
    std::string_view ClassName;
    std::string_view Code;
    std::string_view ShortName;
};
std::span<const TTransitionListEntry> TransitionList();

} // namespace qvt

#endif
