// A stage for following an effect frame by frame: a window of the chosen
// display depth showing a departing page, an arriving page in a memory DC,
// and a run whose every shown frame is handed to a callback with the window's
// pixels. The transition area sits inside the window, away from its corner,
// so that drawing outside the area shows up.
//
// The two pages differ at every pixel on every display depth (their colours
// come from two disjoint sets of static colours) and vary from column to
// column and row to row, so that a pixel from the wrong page or the wrong
// place is caught.
#ifndef QVT_TESTS_EFFECT_STAGE_H
#define QVT_TESTS_EFFECT_STAGE_H

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/TransRun.h"
#include "engine/teTimed.h"
#include "page_bitmaps.h"
#include "pixels/Testing.h"
#include "qvt/qvtdisplay.h"

namespace qvt::test {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &) const = default;
};

class EffectStage : public TFrameSink {
public:
    static constexpr int kLeft = 3, kTop = 2;

    EffectStage(int depth, int width, int height) : width_(width), height_(height) {
        EXPECT_TRUE(QvtSetDisplayDepth(depth));
        testing::RefreshDisplay();
        wndW_ = width + 2 * kLeft;
        wndH_ = height + 2 * kTop;
        wnd_ = QvtCreateWindow(wndW_, wndH_);
        screen_ = GetDC(wnd_);
        for (int y = 0; y < wndH_; ++y)
            for (int x = 0; x < wndW_; ++x) SetPixel(screen_, x, y, DepartingColour(x - kLeft, y - kTop));
        page_ = CreateCompatibleDC(nullptr);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), std::max(width, 1), std::max(height, 1), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        pageBitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
        oldPage_ = SelectObject(page_, pageBitmap_);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) SetPixel(page_, x, y, ArrivingColour(x, y));
        departing_ = Window();
        SelectObject(page_, oldPage_);
        if (width > 0 && height > 0) arriving_ = BitmapAsShown(pageBitmap_, width, height);
        SelectObject(page_, pageBitmap_);
    }
    ~EffectStage() override {
        SelectObject(page_, oldPage_);
        DeleteObject(pageBitmap_);
        DeleteDC(page_);
        ReleaseDC(wnd_, screen_);
        QvtDestroyWindow(wnd_);
        QvtSetDisplayDepth(32);
        testing::RefreshDisplay();
    }
    EffectStage(const EffectStage &) = delete;
    EffectStage &operator=(const EffectStage &) = delete;

    // Runs the effect over the area; onFrame is called with the departing
    // page, then each time the window shows the next frame (untimed: after
    // every frame; with Milliseconds: at 100 samples a second, so that the
    // steps grow), and last with the final picture.
    void Run(TTimedTransitionEffect &effect, std::function<void()> onFrame = {}) {
        onFrame_ = std::move(onFrame);
        TFrameSampling sampling{100, this};
        effect.SetSampling(&sampling);
        try {
            RunTransition(effect, RECT{kLeft, kTop, kLeft + width_, kTop + height_}, screen_, page_);
        } catch (...) {
            effect.SetSampling(nullptr);
            throw;
        }
        effect.SetSampling(nullptr);
    }
    // Runs the effect as Run does; the window at each of those moments.
    std::vector<std::vector<uint8_t>> Shots(TTimedTransitionEffect &effect) {
        std::vector<std::vector<uint8_t>> shots;
        Run(effect, [&] { shots.push_back(Window()); });
        return shots;
    }
    void EmitFrame() override {
        if (onFrame_) onFrame_();
    }

    // What the window shows, as RGB.
    std::vector<uint8_t> Window() const {
        std::vector<uint8_t> rgb(static_cast<size_t>(wndW_) * wndH_ * 3);
        QvtReadWindowRGB(wnd_, rgb.data(), wndW_ * 3);
        return rgb;
    }
    // How the pages look on this display, at area coordinates.
    Rgb Departing(int x, int y) const { return At(departing_, (y + kTop) * wndW_ + x + kLeft); }
    Rgb Arriving(int x, int y) const { return At(arriving_, y * width_ + x); }

    // Compares a picture of the window with what the area should show
    // (outside the area: the departing page, untouched). Returns "" or a
    // description of the first difference and the number of differing pixels.
    std::string Differences(const std::vector<uint8_t> &shown,
                            const std::function<Rgb(int x, int y)> &expected) const {
        int count = 0;
        std::ostringstream first;
        for (int wy = 0; wy < wndH_; ++wy)
            for (int wx = 0; wx < wndW_; ++wx) {
                const int x = wx - kLeft, y = wy - kTop;
                const bool inside = x >= 0 && y >= 0 && x < width_ && y < height_;
                const Rgb want = inside ? expected(x, y) : At(departing_, wy * wndW_ + wx);
                const Rgb got = At(shown, wy * wndW_ + wx);
                if (got == want) continue;
                if (count++ == 0)
                    first << "first at (" << x << ", " << y << ") of the area: shows " << Hex(got) << ", wants "
                          << Hex(want) << (want == Departing(x, y) ? " (departing)" : " (arriving)");
            }
        if (count == 0) return "";
        first << "; " << count << " pixels differ";
        return first.str();
    }
    // The arriving page in the area, nothing else changed.
    std::string DifferencesFromArrivingPage(const std::vector<uint8_t> &shown) const {
        return Differences(shown, [this](int x, int y) { return Arriving(x, y); });
    }
    std::string DifferencesFromArrivingPage() const { return DifferencesFromArrivingPage(Window()); }
    // The departing page everywhere.
    std::string DifferencesFromDepartingPage(const std::vector<uint8_t> &shown) const {
        return Differences(shown, [this](int x, int y) { return Departing(x, y); });
    }

    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    static COLORREF DepartingColour(int x, int y) {
        static const COLORREF dark[8] = {RGB(0, 0, 0),     RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
                                         RGB(0, 0, 128),   RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192)};
        return dark[static_cast<unsigned>(x * 3 + y * 5 + 64) % 8];
    }
    static COLORREF ArrivingColour(int x, int y) {
        static const COLORREF bright[8] = {RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
                                           RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
        return bright[static_cast<unsigned>(x * 5 + y * 3) % 8];
    }
    static Rgb At(const std::vector<uint8_t> &rgb, int index) {
        const size_t i = static_cast<size_t>(index) * 3;
        return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
    }
    static std::string Hex(Rgb c) {
        char s[8];
        std::snprintf(s, sizeof s, "%02X%02X%02X", c.r, c.g, c.b);
        return s;
    }

    int width_, height_, wndW_ = 0, wndH_ = 0;
    HWND wnd_ = nullptr;
    HDC screen_ = nullptr, page_ = nullptr;
    HBITMAP pageBitmap_ = nullptr;
    HGDIOBJ oldPage_ = nullptr;
    std::vector<uint8_t> departing_, arriving_;
    std::function<void()> onFrame_;
};

} // namespace qvt::test

#endif
