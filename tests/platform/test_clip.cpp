// Regions, clip regions and the window origin.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// A 6 x 5 32-bit surface whose pixels are read back as '#' (white) and '.'.
class ClipTest : public ::testing::Test {
protected:
    void SetUp() override {
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 6, 5, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bm);
    }
    void TearDown() override {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bm);
    }
    std::string picture() {
        SelectClipRgn(dc, nullptr);
        POINT org;
        SetWindowOrgEx(dc, 0, 0, &org);
        std::string s;
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 6; ++x) s += GetPixel(dc, x, y) == RGB(255, 255, 255) ? '#' : '.';
            s += '/';
        }
        SetWindowOrgEx(dc, org.x, org.y, nullptr);
        return s;
    }
    void whiteOut() { PatBlt(dc, -100, -100, 300, 300, WHITENESS); }
    HBITMAP bm{};
    HDC dc{};
    HGDIOBJ old{};
};

TEST_F(ClipTest, ExcludedRectangleStaysFixedInDeviceSpace) {
    // Window origin (-2,-1): logical (1,1)-(3,3) is device x 3..4, y 2..3.
    SetWindowOrgEx(dc, -2, -1, nullptr);
    EXPECT_EQ(ExcludeClipRect(dc, 1, 1, 3, 3), COMPLEXREGION);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    whiteOut();
    EXPECT_EQ(picture(), "######/######/###..#/###..#/######/");
}

TEST_F(ClipTest, IntersectAndSelectClipRgn) {
    EXPECT_EQ(IntersectClipRect(dc, 1, 1, 4, 3), SIMPLEREGION);
    EXPECT_EQ(IntersectClipRect(dc, 2, 0, 6, 5), SIMPLEREGION);
    whiteOut();
    EXPECT_EQ(picture(), "....../..##../..##../....../....../");
    PatBlt(dc, 0, 0, 6, 5, BLACKNESS);
    // A selected region is in device coordinates and is copied.
    HRGN a = CreateRectRgn(0, 0, 2, 2), b = CreateRectRgn(4, 3, 6, 5);
    EXPECT_EQ(CombineRgn(a, a, b, RGN_OR), COMPLEXREGION);
    SetWindowOrgEx(dc, 5, 5, nullptr);
    EXPECT_EQ(SelectClipRgn(dc, a), COMPLEXREGION);
    DeleteObject(a);
    DeleteObject(b);
    whiteOut();
    EXPECT_EQ(picture(), "##..../##..../....../....##/....##/");
    EXPECT_EQ(SelectClipRgn(dc, nullptr), SIMPLEREGION);
}

TEST_F(ClipTest, ClipBoxIsInLogicalCoordinates) {
    RECT r;
    EXPECT_EQ(GetClipBox(dc, &r), SIMPLEREGION);
    EXPECT_EQ(r.right, 6);
    OffsetWindowOrgEx(dc, -3, -1, nullptr);
    IntersectClipRect(dc, 0, 0, 2, 2); // device (3,1)-(5,3)
    EXPECT_EQ(GetClipBox(dc, &r), SIMPLEREGION);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 2);
    EXPECT_EQ(r.bottom, 2);
    EXPECT_EQ(IntersectClipRect(dc, 10, 10, 20, 20), NULLREGION);
    whiteOut();
    EXPECT_EQ(picture(), "....../....../....../....../....../");
}

TEST_F(ClipTest, WindowOriginOffsetsAccumulate) {
    POINT old;
    EXPECT_TRUE(OffsetWindowOrgEx(dc, -3, -1, &old));
    EXPECT_EQ(old.x, 0);
    EXPECT_TRUE(OffsetWindowOrgEx(dc, 1, 0, &old));
    EXPECT_EQ(old.x, -3);
    EXPECT_EQ(old.y, -1);
    SetPixel(dc, 0, 0, RGB(255, 255, 255)); // device (2,1)
    EXPECT_EQ(picture(), "....../..#.../....../....../....../");
}

TEST(RegionTest, CombinationsAreCanonical) {
    struct Case {
        RECT a, b;
        int mode, type;
        RECT box;
    } cases[] = {
        // Two halves make one rectangle again.
        {{0, 0, 5, 10}, {5, 0, 10, 10}, RGN_OR, SIMPLEREGION, {0, 0, 10, 10}},
        {{0, 0, 10, 5}, {0, 5, 10, 10}, RGN_OR, SIMPLEREGION, {0, 0, 10, 10}},
        {{0, 0, 10, 10}, {5, 5, 15, 15}, RGN_AND, SIMPLEREGION, {5, 5, 10, 10}},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, RGN_AND, NULLREGION, {0, 0, 0, 0}},
        {{0, 0, 10, 10}, {2, 2, 8, 8}, RGN_DIFF, COMPLEXREGION, {0, 0, 10, 10}},
        {{0, 0, 10, 10}, {5, 0, 15, 10}, RGN_DIFF, SIMPLEREGION, {0, 0, 5, 10}},
        {{0, 0, 10, 10}, {0, 0, 10, 10}, RGN_XOR, NULLREGION, {0, 0, 0, 0}},
        {{0, 0, 10, 10}, {5, 0, 15, 10}, RGN_XOR, COMPLEXREGION, {0, 0, 15, 10}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        HRGN a = CreateRectRgnIndirect(&c.a), b = CreateRectRgnIndirect(&c.b);
        EXPECT_EQ(CombineRgn(a, a, b, c.mode), c.type);
        RECT box;
        GetRgnBox(a, &box);
        EXPECT_TRUE(EqualRect(&box, &c.box));
        DeleteObject(a);
        DeleteObject(b);
    }
    HRGN inverted = CreateRectRgn(10, 10, 0, 0); // normalised
    EXPECT_TRUE(PtInRegion(inverted, 0, 0));
    EXPECT_FALSE(PtInRegion(inverted, 10, 10));
    EXPECT_EQ(CombineRgn(inverted, inverted, nullptr, RGN_AND), ERROR);
    DeleteObject(inverted);
}

} // namespace
