#include "afx_test_support.h"

namespace {
// Every operator against coordinates worked out by hand; the operands have
// different x and y so that a swapped or dropped coordinate shows.
TEST(atltypes, PointAndSizeArithmeticAndComparison) {
    const CPoint p(7, -3), q(POINT{2, 5});
    const CSize s(SIZE{10, 20});
    CPoint moved = p;
    moved.Offset(1, 2);
    moved += q;
    moved += s;
    moved -= POINT{4, 1};
    moved -= CSize(1, 1);
    const struct { const char *name; POINT got, expected; } kCases[] = {
        {"default is 0", CPoint(), {0, 0}},          {"from a size", CPoint(s), {10, 20}},
        {"plus a point", p + q, {9, 2}},             {"plus a size", p + s, {17, 17}},
        {"minus a size", p - s, {-3, -23}},          {"negated", -p, {-7, 3}},
        {"offset and compound", moved, {15, 22}},
        {"offset by a point", [&] { CPoint r = p; r.Offset(q); return r; }(), {9, 2}},
        {"offset by a size", [&] { CPoint r = p; r.Offset(s); return r; }(), {17, 17}},
        {"set", [] { CPoint r; r.SetPoint(4, 6); return r; }(), {4, 6}},
    };
    for (const auto &c : kCases) EXPECT_EQ(CPoint(c.got), c.expected) << c.name;
    const CSize difference = p - q;
    EXPECT_TRUE((difference == SIZE{5, -8}));
    EXPECT_TRUE((CSize() == SIZE{0, 0}));
    for (SIZE other : {SIZE{5, 0}, SIZE{0, -8}}) EXPECT_TRUE(difference != other);
    EXPECT_FALSE((difference != SIZE{5, -8}));
    for (POINT other : {POINT{7, 0}, POINT{0, -3}}) EXPECT_TRUE(p != other && !(p == other));
    EXPECT_FALSE((p != POINT{7, -3}));
}
}  // namespace
