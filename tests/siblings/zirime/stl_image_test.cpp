// CfPoint::Set (CStlImage's copies are tested with CImage's, in zircim).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "image/stl_image.h"

namespace {

// The integer pair is the pixel containing the position: the floor, clamped.
TEST(CfPoint, SetKeepsThePositionAndFloorsThePixel) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct { double value; int pixel; } cases[] = {{2.75, 2}, {-0.5, -1}, {-2.0, -2}, {2147483647.5, INT32_MAX},
                                                         {-2147483648.5, INT32_MIN}, {1e12, INT32_MAX}, {nan, 0}};
    for (const auto &c : cases) {
        CfPoint point;
        point.Set(0.25, c.value);
        EXPECT_TRUE(point.x == 0 && point.y == c.pixel && point.fx == 0.25) << c.value;
        EXPECT_TRUE(point.fy == c.value || std::isnan(c.value)) << c.value;
    }
    CfPoint point;
    EXPECT_TRUE(point.fx == 0.0 && point.fy == 0.0);
    point.Set(-3, 7);
    EXPECT_TRUE(point.x == -3 && point.y == 7 && point.fx == -3.0 && point.fy == 7.0);
}

}  // namespace
