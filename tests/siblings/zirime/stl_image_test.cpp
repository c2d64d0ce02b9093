// CfPoint::Set, and what CStlImage's copies take beyond CImage's fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../zircim/dib_fixture.h"
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

TEST(StlImage, CopiesTakeExtremesPointsAndProgressWindow) {
    CStlImage source;
    ASSERT_NE(source.Create(2, 1, 3), 0);
    *reinterpret_cast<float *>(source.Store->GetImageAdr(1, 0, 2, 0, 0, NULL)) = 4.0f;
    const double values[] = {-1.5, 2.5, 3.5, 9.5, 8.5, 7.5};
    std::copy(values, values + 3, source.MinPixel), std::copy(values + 3, values + 6, source.MaxPixel);
    source.StdPt[0].Set(1.5, 2.5), source.StdPt[1].Set(-4, 6), source.StdCtr.Set(3.25, 4.75);
    source.StdPt[0].x = 11;  // all four coordinates travel, not one pair rebuilt from the other
    source.ProgressHandle = reinterpret_cast<HWND>(0x1234);
    const CStlImage copy(source, NULL);
    CStlImage assigned;
    EXPECT_EQ(&(assigned = source), &assigned);
    assigned = assigned;
    for (const CStlImage *image : {&copy, static_cast<const CStlImage *>(&assigned)}) {
        EXPECT_EQ(zircim_test::plane_samples(*image, 2), (std::vector<float>{0.0f, 4.0f}));
        EXPECT_TRUE(std::equal(values, values + 3, image->MinPixel) && std::equal(values + 3, values + 6, image->MaxPixel));
        for (const auto &[p, q] : {std::pair(image->StdPt[0], source.StdPt[0]), std::pair(image->StdPt[1], source.StdPt[1]),
                                   std::pair(image->StdCtr, source.StdCtr)})
            EXPECT_TRUE(p.x == q.x && p.y == q.y && p.fx == q.fx && p.fy == q.fy);
        EXPECT_EQ(image->ProgressHandle, reinterpret_cast<HWND>(0x1234));
    }
    const CImgPixelInfo empty;  // and so the classes below it
    EXPECT_TRUE(empty.Store == nullptr && empty.MaxPixel[2] == 0.0 && empty.MinPixel[0] == 0.0 && empty.ProgressHandle == nullptr);
}

}  // namespace
