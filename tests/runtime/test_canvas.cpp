// TCanvas: drawing calls reach the bitmap, pens and brushes follow their
// attributes, external DCs are borrowed and given back untouched, and no
// graphics object outlives its owner.
#include "bitmap_test_support.h"
#include "runtime_test_support.h"

using namespace qvt::rtl;
using namespace qvt::test;

namespace {

class CanvasTest : public GdiLeakCheck {
protected:
    // A 32-bit picture, black; pixels read back as 0x00RRGGBB.
    static void Prepare(TBitmap &b, int w, int h) {
        b.SetPixelFormat(pf32bit);
        b.SetSize(w, h);
    }
    static std::vector<std::string> Picture(TBitmap &b, std::initializer_list<std::pair<uint32_t, char>> legend) {
        std::vector<std::string> rows;
        for (int y = 0; y < b.Height(); ++y) {
            std::string row;
            for (int x = 0; x < b.Width(); ++x) {
                const uint32_t pixel = RawPixel(b, x, y);
                char ch = '?';
                for (const auto &[value, c] : legend)
                    if (pixel == value) ch = c;
                row += ch;
            }
            rows.push_back(row);
        }
        return rows;
    }
};

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

TEST_F(CanvasTest, StartsWithBlackPenWhiteBrushAndSourceCopy) {
    TCanvas c;
    EXPECT_EQ(c.Pen().Color(), clBlack);
    EXPECT_EQ(c.Pen().Style(), psSolid);
    EXPECT_EQ(c.Pen().Width(), 1);
    EXPECT_EQ(c.Pen().Mode(), pmCopy);
    EXPECT_EQ(c.Brush().Color(), clWhite);
    EXPECT_EQ(c.Brush().Style(), bsSolid);
    EXPECT_EQ(c.CopyMode(), DWORD(SRCCOPY));
    EXPECT_FALSE(c.HandleAllocated());
    ExpectRaises<EInvalidOperation>([&] { c.FillRect(RECT{0, 0, 1, 1}); }, "Canvas does not allow drawing");

    TBitmap b;
    Prepare(b, 3, 3);
    b.Canvas().Rectangle(0, 0, 3, 3); // default pen and brush
    EXPECT_EQ(Picture(b, {{0, '#'}, {kWhite, '.'}}), (std::vector<std::string>{"###", "#.#", "###"}));
}

TEST_F(CanvasTest, ShapesReachTheBitmap) {
    TBitmap b;
    Prepare(b, 8, 6);
    TCanvas &c = b.Canvas();
    c.Pen().SetColor(clBlue);
    c.Brush().SetColor(clLime);
    c.Rectangle(0, 0, 4, 4);
    c.Brush().SetColor(clRed);
    c.FillRect(RECT{5, 0, 8, 2});
    c.Pen().SetColor(clWhite);
    c.MoveTo(4, 5);
    c.LineTo(8, 5); // the end point is left out
    EXPECT_EQ(c.PenPos().x, 8);
    const POINT zigzag[] = {{5, 3}, {6, 4}, {7, 3}};
    c.Polyline(zigzag);
    EXPECT_EQ(Picture(b, {{0, '.'}, {kBlue, 'B'}, {kGreen, 'G'}, {kRed, 'R'}, {kWhite, 'W'}}),
              (std::vector<std::string>{"BBBB.RRR", //
                                        "BGGB.RRR", //
                                        "BGGB....", //
                                        "BBBB.W..", //
                                        "......W.", //
                                        "....WWWW"}));
}

TEST_F(CanvasTest, EllipseAndPolygonFillWithTheBrush) {
    TBitmap b;
    Prepare(b, 4, 4);
    TCanvas &c = b.Canvas();
    c.Pen().SetColor(clRed);
    c.Brush().SetColor(clLime);
    c.Ellipse(0, 0, 4, 4);
    EXPECT_EQ(Picture(b, {{0, '.'}, {kRed, 'P'}, {kGreen, 'B'}}), (std::vector<std::string>{".PP.", "PBBP", "PBBP", ".PP."}));

    TBitmap t;
    Prepare(t, 5, 5);
    TCanvas &tc = t.Canvas();
    tc.Pen().SetStyle(psClear);
    tc.Brush().SetColor(clWhite);
    const POINT triangle[] = {{0, 0}, {4, 0}, {0, 4}};
    tc.Polygon(triangle);
    EXPECT_EQ(Picture(t, {{0, '.'}, {kWhite, '#'}}), (std::vector<std::string>{"####.", "###..", "##...", "#....", "....."}));

    // A clear brush leaves the inside alone.
    tc.Pen().SetStyle(psSolid);
    tc.Pen().SetColor(clRed);
    tc.Brush().SetStyle(bsClear);
    tc.Rectangle(1, 1, 5, 5);
    EXPECT_EQ(Picture(t, {{0, '.'}, {kWhite, '#'}, {kRed, 'R'}}),
              (std::vector<std::string>{"####.", "#RRRR", "#R..R", "#R..R", ".RRRR"}));
}

TEST_F(CanvasTest, PixelsClipRectAndPenModes) {
    TBitmap b;
    Prepare(b, 4, 2);
    TCanvas &c = b.Canvas();
    c.SetPixels(1, 1, clRed);
    EXPECT_EQ(c.Pixels(1, 1), clRed);
    EXPECT_EQ(RawPixel(b, 1, 1), kRed);
    EXPECT_EQ(c.Pixels(9, 9), -1) << "outside the bitmap";
    const RECT clip = c.ClipRect();
    EXPECT_EQ(clip.right, 4);
    EXPECT_EQ(clip.bottom, 2);

    c.Pen().SetColor(clWhite);
    c.Pen().SetMode(pmXor);
    c.MoveTo(0, 1);
    c.LineTo(3, 1);
    EXPECT_EQ(RawPixel(b, 0, 1), kWhite);
    EXPECT_EQ(RawPixel(b, 1, 1), 0x00FFFFu) << "red XOR white";
}

TEST_F(CanvasTest, DrawStretchDrawAndCopyRectUseTheCopyMode) {
    TBitmap src;
    Prepare(src, 2, 2);
    src.Canvas().SetPixels(0, 0, clRed);
    src.Canvas().SetPixels(1, 1, clBlue);

    TBitmap dst;
    Prepare(dst, 6, 4);
    TCanvas &c = dst.Canvas();
    c.Draw(0, 0, src);
    c.StretchDraw(RECT{2, 0, 6, 4}, src);
    EXPECT_EQ(Picture(dst, {{0, '.'}, {kRed, 'R'}, {kBlue, 'B'}}),
              (std::vector<std::string>{"R.RR..", ".BRR..", "....BB", "....BB"}));

    c.SetCopyMode(NOTSRCCOPY); // inverts the unused fourth byte too
    c.CopyRect(RECT{0, 2, 2, 4}, src.Canvas(), RECT{0, 0, 2, 2});
    EXPECT_EQ(RawPixel(dst, 0, 2) & 0xFFFFFF, 0x00FFFFu);
    EXPECT_EQ(RawPixel(dst, 1, 2) & 0xFFFFFF, kWhite);
    EXPECT_EQ(RawPixel(dst, 1, 3) & 0xFFFFFF, 0xFFFF00u);
    c.SetCopyMode(SRCCOPY);
    c.CopyRect(RECT{0, 0, 6, 4}, src.Canvas(), RECT{0, 0, 2, 2}); // stretched
    EXPECT_EQ(RawPixel(dst, 2, 1), kRed);
    EXPECT_EQ(RawPixel(dst, 5, 3), kBlue);

    TBitmap empty;
    c.Draw(0, 0, empty); // nothing to draw
    EXPECT_EQ(RawPixel(dst, 0, 0), kRed);
}

TEST_F(CanvasTest, BrushBitmapMakesAPatternBrush) {
    TBitmap pattern;
    pattern.SetMonochrome(true);
    pattern.SetSize(8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x + y) % 2) pattern.Canvas().SetPixels(x, y, clWhite);
    TBitmap b;
    Prepare(b, 4, 2);
    b.Canvas().Brush().SetBitmap(&pattern);
    b.Canvas().FillRect(RECT{0, 0, 4, 2});
    EXPECT_EQ(Picture(b, {{0, '.'}, {kWhite, '#'}}), (std::vector<std::string>{".#.#", "#.#."}));
    b.Canvas().Brush().SetBitmap(nullptr);
    b.Canvas().FillRect(RECT{0, 0, 4, 2});
    EXPECT_EQ(RawPixel(b, 0, 0), kWhite) << "back to the solid brush";
}

TEST_F(CanvasTest, ChangingPenAndBrushWhileSelectedFreesTheOldObjects) {
    TBitmap b;
    Prepare(b, 3, 1);
    TCanvas &c = b.Canvas();
    c.Handle();
    const int before = QvtLiveGdiObjects();
    c.Pen().SetColor(clRed);
    c.MoveTo(0, 0);
    c.LineTo(1, 0);
    c.Pen().SetColor(clBlue);
    c.LineTo(2, 0);
    c.Brush().SetColor(clLime);
    c.FillRect(RECT{2, 0, 3, 1});
    c.Brush().SetColor(clWhite);
    c.FillRect(RECT{2, 0, 3, 1});
    EXPECT_EQ(RawPixel(b, 0, 0), kRed);
    EXPECT_EQ(RawPixel(b, 1, 0), kBlue);
    EXPECT_EQ(RawPixel(b, 2, 0), kWhite);
    EXPECT_EQ(QvtLiveGdiObjects(), before + 2) << "only the current pen and brush are alive";
}

TEST_F(CanvasTest, AnExternalWindowDCIsBorrowedNotFreed) {
    HWND wnd = QvtCreateWindow(4, 2);
    ASSERT_NE(wnd, nullptr);
    HDC dc = GetDC(wnd);
    const HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN), brush = GetCurrentObject(dc, OBJ_BRUSH);
    const COLORREF bk = GetBkColor(dc);
    {
        TCanvas c;
        c.SetHandle(dc);
        EXPECT_EQ(c.Handle(), dc);
        c.Brush().SetColor(clRed);
        c.FillRect(RECT{0, 0, 2, 2});
        c.Pen().SetColor(clLime);
        c.MoveTo(2, 0);
        c.LineTo(4, 0);
        TBitmap b;
        Prepare(b, 1, 1);
        b.Canvas().SetPixels(0, 0, clBlue);
        c.Draw(3, 1, b);
    }
    // The DC is alive, with its own pen, brush and background colour back.
    EXPECT_NE(GetObjectType(dc), 0u);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
    EXPECT_EQ(GetBkColor(dc), bk);
    BYTE rgb[2 * 4 * 3];
    ASSERT_TRUE(QvtReadWindowRGB(wnd, rgb, 4 * 3));
    const auto at = [&](int x, int y) { return RGB(rgb[y * 12 + x * 3], rgb[y * 12 + x * 3 + 1], rgb[y * 12 + x * 3 + 2]); };
    EXPECT_EQ(at(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(at(1, 1), RGB(255, 0, 0));
    EXPECT_EQ(at(3, 0), RGB(0, 255, 0));
    EXPECT_EQ(at(3, 1), RGB(0, 0, 255));
    EXPECT_EQ(at(2, 1), RGB(0, 0, 0));
    ReleaseDC(wnd, dc);
    QvtDestroyWindow(wnd);
}

TEST_F(CanvasTest, SwitchingHandlesGivesBackTheFirstDC) {
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(nullptr);
    const HGDIOBJ firstPen = GetCurrentObject(first, OBJ_PEN);
    TCanvas c;
    c.SetHandle(first);
    c.MoveTo(0, 0);
    c.LineTo(1, 1); // selects the canvas's pen into the first DC
    EXPECT_NE(GetCurrentObject(first, OBJ_PEN), firstPen);
    c.SetHandle(second);
    EXPECT_EQ(GetCurrentObject(first, OBJ_PEN), firstPen);
    c.SetHandle(nullptr);
    EXPECT_FALSE(c.HandleAllocated());
    DeleteDC(first);
    DeleteDC(second);
}

TEST_F(CanvasTest, ABitmapCanvasCanBorrowADCAndGoBackToItsOwn) {
    TBitmap b;
    Prepare(b, 2, 2);
    TCanvas &c = b.Canvas();
    const HDC own = c.Handle();
    HDC other = CreateCompatibleDC(nullptr);
    c.SetHandle(other); // its own DC is deleted (the leak check would see it)
    EXPECT_EQ(c.Handle(), other);
    EXPECT_EQ(GetObjectType(own), 0u);
    b.SetWidth(3); // the bitmap changed: the canvas lets go of the borrowed DC
    EXPECT_NE(GetObjectType(other), 0u);
    EXPECT_NE(c.Handle(), other);
    c.SetPixels(2, 1, clRed);
    EXPECT_EQ(RawPixel(b, 2, 1), kRed);
    DeleteDC(other);
}

TEST_F(CanvasTest, PensAndBrushesArePersistentsWithPublishedProperties) {
    TPen a, b;
    SetOrdProp(a, "Color", clRed);
    SetEnumProp(a, "Mode", "pmXor");
    b.Assign(&a);
    EXPECT_EQ(b.Color(), clRed);
    EXPECT_EQ(b.Mode(), pmXor);
    EXPECT_EQ(FindPropInfo(a, "Width")->Default, 1);
    TBrush brush;
    EXPECT_EQ(GetEnumProp(brush, "Style"), "bsSolid");
    brush.SetStyle(bsClear);
    brush.SetColor(clRed);
    EXPECT_EQ(brush.Style(), bsSolid) << "a colour makes a clear brush solid";
    ExpectRaises<EConvertError>([&] { brush.Assign(&a); }, "Cannot assign a TPen to a TBrush");
}

} // namespace
