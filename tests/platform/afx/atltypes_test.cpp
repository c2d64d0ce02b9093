#include <gtest/gtest.h>

#include "atltypes.h"

namespace {
TEST(atltypes, PointArithmeticAndComparison) {
    const CPoint p(3, 4);
    const POINT q = {1, -2};
    const struct {
        const char *name;
        CPoint got;
        CPoint expected;
    } cases[] = {
        {"default is the origin", CPoint(), CPoint(0, 0)},
        {"from POINT", CPoint(q), CPoint(1, -2)},
        {"from SIZE", CPoint(SIZE{5, 6}), CPoint(5, 6)},
        {"plus point", p + q, CPoint(4, 2)},
        {"minus point is a size", CPoint(p - q), CPoint(2, 6)},
        {"minus size", p - SIZE{1, 1}, CPoint(2, 3)},
        {"negation", -p, CPoint(-3, -4)},
        {"+=", [&] { CPoint r = p; r += q; return r; }(), CPoint(4, 2)},
        {"-=", [&] { CPoint r = p; r -= q; return r; }(), CPoint(2, 6)},
        {"Offset", [&] { CPoint r = p; r.Offset(10, 20); return r; }(), CPoint(13, 24)},
        {"SetPoint", [&] { CPoint r = p; r.SetPoint(-7, 8); return r; }(), CPoint(-7, 8)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected.x, c.got.x);
        EXPECT_EQ(c.expected.y, c.got.y);
    }
    EXPECT_TRUE(CPoint(1, 2) == (POINT{1, 2}));
    EXPECT_TRUE(CPoint(1, 2) != (POINT{2, 1}));
}
}  // namespace
