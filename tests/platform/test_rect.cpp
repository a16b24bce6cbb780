// Rectangle helpers: emptiness, intersection, union, subtraction and the
// small coordinate operations, with right and bottom edges exclusive.

#include "qvt/winuser.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

namespace {

RECT rect(LONG left, LONG top, LONG right, LONG bottom) {
    return RECT{left, top, right, bottom};
}

const RECT kEmpty = rect(0, 0, 0, 0);
const RECT kGarbage = rect(-77, -77, 77, 77);

bool same(const RECT &a, const RECT &b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string show(const RECT &r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

testing::AssertionResult rectIs(const RECT &actual, const RECT &expected) {
    if (same(actual, expected)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "got " << show(actual) << ", expected " << show(expected);
}

using RectOp = BOOL(WINAPI *)(LPRECT, const RECT *, const RECT *);

// Runs op into a fresh destination and with the destination aliasing each
// source in turn (callers clip a rectangle in place); all must agree.
void checkBinaryOp(RectOp op, const RECT &a, const RECT &b, const RECT &expected,
                   BOOL expectedResult) {
    RECT out = kGarbage;
    EXPECT_EQ(op(&out, &a, &b), expectedResult);
    EXPECT_TRUE(rectIs(out, expected));

    RECT first = a;
    EXPECT_EQ(op(&first, &first, &b), expectedResult) << "destination is the first source";
    EXPECT_TRUE(rectIs(first, expected)) << "destination is the first source";

    RECT second = b;
    EXPECT_EQ(op(&second, &a, &second), expectedResult) << "destination is the second source";
    EXPECT_TRUE(rectIs(second, expected)) << "destination is the second source";
}

struct BinaryCase {
    RECT a;
    RECT b;
    RECT expected;
    BOOL result;
};

std::string describe(const BinaryCase &c) {
    return show(c.a) + " with " + show(c.b);
}

} // namespace

TEST(Rect, EmptinessCountsInvertedRectangles) {
    struct Case {
        RECT r;
        BOOL empty;
    };
    const Case cases[] = {
        {rect(0, 0, 10, 10), FALSE},    {rect(0, 0, 1, 1), FALSE},
        {rect(-10, -10, -5, -5), FALSE}, {rect(0, 0, 0, 10), TRUE},
        {rect(0, 0, 10, 0), TRUE},      {rect(10, 10, 0, 0), TRUE},
        {rect(5, 0, 4, 10), TRUE},      {rect(0, 5, 10, 4), TRUE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(show(c.r));
        EXPECT_EQ(IsRectEmpty(&c.r), c.empty);
    }
    EXPECT_TRUE(IsRectEmpty(nullptr));
}

TEST(Rect, IntersectionIsTheOverlapOrEmpty) {
    const BinaryCase cases[] = {
        {rect(0, 0, 10, 10), rect(5, 5, 15, 15), rect(5, 5, 10, 10), TRUE},
        {rect(0, 0, 10, 10), rect(10, 0, 20, 10), kEmpty, FALSE},  // touching edges
        {rect(0, 0, 10, 10), rect(0, 10, 10, 20), kEmpty, FALSE},
        {rect(0, 0, 10, 10), rect(2, 2, 8, 8), rect(2, 2, 8, 8), TRUE},
        {rect(0, 0, 10, 10), rect(-5, -5, 1, 1), rect(0, 0, 1, 1), TRUE},
        {rect(0, 0, 10, 10), rect(20, 20, 30, 30), kEmpty, FALSE},
        {rect(0, 0, 10, 10), rect(3, 3, 3, 8), kEmpty, FALSE},  // empty, though inside
        {rect(0, 0, 10, 10), rect(8, 8, 2, 2), kEmpty, FALSE},  // inverted
        {rect(-10, -10, -2, -2), rect(-5, -20, 5, -3), rect(-5, -10, -2, -3), TRUE},
    };
    for (const BinaryCase &c : cases) {
        SCOPED_TRACE(describe(c));
        checkBinaryOp(IntersectRect, c.a, c.b, c.expected, c.result);
        SCOPED_TRACE("sources swapped");
        checkBinaryOp(IntersectRect, c.b, c.a, c.expected, c.result);
    }
}

TEST(Rect, UnionIgnoresEmptyRectangles) {
    const BinaryCase cases[] = {
        {rect(10, 10, 0, 0), rect(5, 5, 15, 15), rect(5, 5, 15, 15), TRUE},
        {rect(0, 0, 0, 0), rect(0, 0, 0, 0), kEmpty, FALSE},
        {rect(3, 3, 3, 3), rect(10, 10, 0, 0), kEmpty, FALSE},
        {rect(0, 0, 10, 10), rect(20, 20, 30, 30), rect(0, 0, 30, 30), TRUE},
        {rect(0, 0, 10, 10), rect(2, 2, 5, 5), rect(0, 0, 10, 10), TRUE},
        {rect(-5, 0, 0, 5), rect(0, -5, 5, 0), rect(-5, -5, 5, 5), TRUE},
        {rect(2, 2, 5, 5), rect(100, -50, 100, 50), rect(2, 2, 5, 5), TRUE},  // far but empty
    };
    for (const BinaryCase &c : cases) {
        SCOPED_TRACE(describe(c));
        checkBinaryOp(UnionRect, c.a, c.b, c.expected, c.result);
        SCOPED_TRACE("sources swapped");
        checkBinaryOp(UnionRect, c.b, c.a, c.expected, c.result);
    }
    const RECT some = rect(1, 2, 3, 4);
    RECT out = kGarbage;
    EXPECT_TRUE(UnionRect(&out, nullptr, &some));
    EXPECT_TRUE(rectIs(out, some));
    EXPECT_FALSE(UnionRect(&out, nullptr, nullptr));
    EXPECT_TRUE(rectIs(out, kEmpty));
}

TEST(Rect, SubtractionCutsOnlyWholeSides) {
    const RECT a = rect(0, 0, 10, 10);
    const BinaryCase cases[] = {
        {a, rect(5, 0, 15, 10), rect(0, 0, 5, 10), TRUE},      // right side
        {a, rect(-5, 0, 5, 10), rect(5, 0, 10, 10), TRUE},     // left side
        {a, rect(0, 5, 10, 15), rect(0, 0, 10, 5), TRUE},      // bottom
        {a, rect(0, -5, 10, 3), rect(0, 3, 10, 10), TRUE},     // top
        {a, rect(2, 2, 8, 8), a, TRUE},                        // hole in the middle
        {a, rect(5, 0, 15, 5), a, TRUE},                       // one corner
        {a, rect(3, -5, 6, 15), a, TRUE},                      // band through the middle
        {a, rect(20, 20, 30, 30), a, TRUE},                    // no overlap
        {a, rect(-1, -1, 11, 11), kEmpty, FALSE},              // covered
        {a, a, kEmpty, FALSE},                                 // itself
        {a, rect(5, 0, 5, 10), a, TRUE},                       // empty b
        {rect(10, 10, 0, 0), rect(0, 0, 5, 5), kEmpty, FALSE},  // empty a
        {rect(0, 0, 0, 10), rect(0, 0, 5, 5), kEmpty, FALSE},
    };
    for (const BinaryCase &c : cases) {
        SCOPED_TRACE(describe(c));
        checkBinaryOp(SubtractRect, c.a, c.b, c.expected, c.result);
    }
    // A missing rectangle counts as an empty one.
    RECT out = kGarbage;
    EXPECT_TRUE(SubtractRect(&out, &a, nullptr));
    EXPECT_TRUE(rectIs(out, a));
    out = kGarbage;
    EXPECT_FALSE(SubtractRect(&out, nullptr, &a));
    EXPECT_TRUE(rectIs(out, kEmpty));
}

TEST(Rect, OffsetAndInflateMoveEdgesWithWrappingArithmetic) {
    struct Case {
        const char *what;
        BOOL(WINAPI *op)(LPRECT, int, int);
        RECT r;
        int dx;
        int dy;
        RECT expected;
    };
    const Case cases[] = {
        {"offset", OffsetRect, rect(1, 2, 3, 4), 10, -20, rect(11, -18, 13, -16)},
        {"offset by nothing", OffsetRect, rect(1, 2, 3, 4), 0, 0, rect(1, 2, 3, 4)},
        {"offset past the largest coordinate", OffsetRect, rect(INT_MAX - 1, 0, INT_MAX, 1), 2, 0,
         rect(INT_MIN, 0, INT_MIN + 1, 1)},
        {"inflate", InflateRect, rect(10, 10, 20, 20), 2, 3, rect(8, 7, 22, 23)},
        {"deflate to empty", InflateRect, rect(10, 10, 20, 20), -5, -5, rect(15, 15, 15, 15)},
        {"deflate past empty", InflateRect, rect(10, 10, 20, 20), -6, -7, rect(16, 17, 14, 13)},
        {"inflate past both limits", InflateRect, rect(INT_MIN, 0, INT_MAX, 0), 1, 0,
         rect(INT_MAX, 0, INT_MIN, 0)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RECT r = c.r;
        EXPECT_TRUE(c.op(&r, c.dx, c.dy));
        EXPECT_TRUE(rectIs(r, c.expected));
    }
}

TEST(Rect, EqualityComparesEveryField) {
    const RECT base = rect(1, 2, 3, 4);
    struct Case {
        RECT other;
        BOOL equal;
    };
    const Case cases[] = {
        {rect(1, 2, 3, 4), TRUE},  {rect(0, 2, 3, 4), FALSE}, {rect(1, 0, 3, 4), FALSE},
        {rect(1, 2, 0, 4), FALSE}, {rect(1, 2, 3, 0), FALSE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(show(c.other));
        EXPECT_EQ(EqualRect(&base, &c.other), c.equal);
        EXPECT_EQ(EqualRect(&c.other, &base), c.equal);
    }
    const RECT emptyA = rect(0, 0, 0, 0);
    const RECT emptyB = rect(5, 5, 5, 5);
    EXPECT_FALSE(EqualRect(&emptyA, &emptyB)) << "two empty rectangles are not equal as such";
}

TEST(Rect, PointInsideExcludesRightAndBottomEdges) {
    const RECT r = rect(10, 20, 30, 40);
    struct Case {
        RECT r;
        POINT p;
        BOOL inside;
    };
    const Case cases[] = {
        {r, {10, 20}, TRUE},   {r, {29, 39}, TRUE},   {r, {15, 25}, TRUE},
        {r, {30, 25}, FALSE},  {r, {15, 40}, FALSE},  {r, {9, 25}, FALSE},
        {r, {15, 19}, FALSE},  {r, {-15, -25}, FALSE},
        {rect(5, 5, 5, 10), {5, 5}, FALSE},  // empty
        {rect(10, 10, 0, 0), {5, 5}, FALSE},  // inverted
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(show(c.r) + " point " + std::to_string(c.p.x) + "," + std::to_string(c.p.y));
        EXPECT_EQ(PtInRect(&c.r, c.p), c.inside);
    }
}

TEST(Rect, SetAndCopyFillEveryField) {
    RECT r = kGarbage;
    EXPECT_TRUE(SetRect(&r, 1, -2, 3, -4));
    EXPECT_TRUE(rectIs(r, rect(1, -2, 3, -4)));
    RECT copy = kGarbage;
    EXPECT_TRUE(CopyRect(&copy, &r));
    EXPECT_TRUE(rectIs(copy, r));
    EXPECT_TRUE(SetRectEmpty(&r));
    EXPECT_TRUE(rectIs(r, kEmpty));
}

TEST(Rect, NullRectanglesFailWithoutTouchingTheOthers) {
    RECT out = kGarbage;
    const RECT a = rect(0, 0, 10, 10);
    struct Case {
        const char *what;
        std::function<BOOL()> call;
    };
    const Case cases[] = {
        {"SetRect", [] { return SetRect(nullptr, 1, 2, 3, 4); }},
        {"SetRectEmpty", [] { return SetRectEmpty(nullptr); }},
        {"CopyRect to NULL", [&] { return CopyRect(nullptr, &a); }},
        {"CopyRect from NULL", [&] { return CopyRect(&out, nullptr); }},
        {"IntersectRect into NULL", [&] { return IntersectRect(nullptr, &a, &a); }},
        {"IntersectRect first NULL", [&] { return IntersectRect(&out, nullptr, &a); }},
        {"IntersectRect second NULL", [&] { return IntersectRect(&out, &a, nullptr); }},
        {"UnionRect into NULL", [&] { return UnionRect(nullptr, &a, &a); }},
        {"SubtractRect into NULL", [&] { return SubtractRect(nullptr, &a, &a); }},
        {"OffsetRect", [] { return OffsetRect(nullptr, 1, 1); }},
        {"InflateRect", [] { return InflateRect(nullptr, 1, 1); }},
        {"EqualRect first NULL", [&] { return EqualRect(nullptr, &a); }},
        {"EqualRect second NULL", [&] { return EqualRect(&a, nullptr); }},
        {"EqualRect both NULL", [] { return EqualRect(nullptr, nullptr); }},
        {"PtInRect", [] { return PtInRect(nullptr, POINT{0, 0}); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        out = kGarbage;
        EXPECT_FALSE(c.call());
        EXPECT_TRUE(rectIs(out, kGarbage));
    }
}
