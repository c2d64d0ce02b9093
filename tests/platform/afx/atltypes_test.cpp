#include "afx_test_support.h"

namespace {
// Every operator against coordinates worked out by hand; the operands have
// different x and y so that a swapped or dropped coordinate shows.
TEST(atltypes, PointAndSizeArithmeticAndComparison) {
    const CPoint p(7, -3), q(POINT{2, 5});
    const CSize s(SIZE{10, 20});
    CPoint moved = p, byPoint = p, bySize = p, set;
    moved.Offset(1, 2), moved += q, moved += s, moved -= POINT{4, 1}, moved -= CSize(1, 1);
    byPoint.Offset(q), bySize.Offset(s), set.SetPoint(4, 6);
    const struct {
        const char *name;
        POINT got, expected;
    } kCases[] = {
        {"default is 0", CPoint(), {0, 0}},
        {"from a size", CPoint(s), {10, 20}},
        {"plus a point", p + q, {9, 2}},
        {"plus a size", p + s, {17, 17}},
        {"minus a size", p - s, {-3, -23}},
        {"negated", -p, {-7, 3}},
        {"offset and compound", moved, {15, 22}},
        {"offset by a point", byPoint, {9, 2}},
        {"offset by a size", bySize, {17, 17}},
        {"set", set, {4, 6}},
        {"difference", CPoint(CSize(p - q)), {5, -8}},
        {"size default is 0", CPoint(CSize()), {0, 0}},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(CPoint(c.got), c.expected) << c.name;
    // Equal, or differing in x only or y only: == and != of points and sizes.
    for (POINT other : {POINT{7, -3}, POINT{7, 0}, POINT{0, -3}}) {
        const bool same = other.x == 7 && other.y == -3;
        EXPECT_TRUE((p == other) == same && (p != other) != same) << other.x << "," << other.y;
        const CSize size(p.x - other.x + 5, p.y - other.y - 8), difference = p - q;
        EXPECT_TRUE((difference == size) == same && (difference != size) != same) << other.x << "," << other.y;
    }
}
} // namespace
