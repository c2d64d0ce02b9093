// CStlImage, CfPoint and CImgPixelInfo construction; the per-plane extremes
// AttachDIB leaves on a CStlImage.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../zircim/dib_fixture.h"
#include "image/stl_image.h"

namespace {

using zircim_test::Bytes;
using zircim_test::info_header;

// The integer pair is the pixel containing the position: the floor, clamped.
TEST(CfPoint, SetKeepsThePositionAndFloorsThePixel) {
    const struct { double value; int pixel; } cases[] = {
        {2.75, 2}, {-0.5, -1}, {-2.0, -2}, {1e12, INT32_MAX}, {-1e12, INT32_MIN},
        {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto &c : cases) {
        CfPoint point;
        point.Set(c.value, 0.25);
        EXPECT_TRUE(point.x == c.pixel && point.y == 0) << c.value;
        EXPECT_TRUE((point.fx == c.value || std::isnan(c.value)) && point.fy == 0.25) << c.value;
    }
    CfPoint point;
    EXPECT_TRUE(point.x == 0 && point.fx == 0.0);
    point.Set(-3, 7);
    EXPECT_TRUE(point.x == -3 && point.y == 7 && point.fx == -3.0 && point.fy == 7.0);
}

TEST(StlImage, CopyAndAssignmentTakeEveryFieldAndShareNoSamples) {
    const CImgPixelInfo empty;  // and so the classes below it
    EXPECT_TRUE(empty.Store == nullptr && empty.MaxPixel[2] == 0.0 && empty.ProgressHandle == nullptr);
    CStlImage source;
    source.Create(2, 1, 3);
    *reinterpret_cast<float *>(source.Store->GetImageAdr(1, 0, 2, 0, CVmImage::kReadBack, NULL)) = 4.0f;
    source.MinPixel[2] = -1.0;
    source.MaxPixel[1] = 9.0;
    source.StdPt[1].Set(1.5, 2.5);
    source.StdCtr.Set(3, 4);
    source.ProgressHandle = reinterpret_cast<HWND>(0x1234);
    const CStlImage copy(source, NULL);
    CStlImage assigned;
    EXPECT_EQ(&(assigned = source), &assigned);
    for (const CStlImage *image : std::initializer_list<const CStlImage *>{&copy, &assigned}) {
        EXPECT_NE(image->Store, source.Store);
        EXPECT_EQ(zircim_test::plane_samples(*image, 2), (std::vector<float>{0.0f, 4.0f}));
        EXPECT_TRUE(image->MinPixel[2] == -1.0 && image->MaxPixel[1] == 9.0);
        EXPECT_TRUE(image->StdPt[1].fx == 1.5 && image->StdPt[1].y == 2 && image->StdCtr.x == 3);
        EXPECT_EQ(image->ProgressHandle, reinterpret_cast<HWND>(0x1234));
    }
}

TEST(StlImage, AttachDibComputesExtremesPerPlane) {
    const struct { const char *name; Bytes dib; double min[3], max[3]; } cases[] = {
        {"colour", info_header(2, 1, 24).raw({10, 200, 30, /* b g r */ 20, 100, 40, 0, 0 /* padding */}),
         {30, 100, 10}, {40, 200, 20}},
        {"gray_others_zero", zircim_test::grays(info_header(2, 1, 8, BI_RGB, 2), {5, 250}).raw({1, 0, 0, 0}),
         {5, 0, 0}, {250, 0, 0}},
    };
    for (const auto &c : cases) {
        zircim_test::DibBlock dib(c.dib);
        CStlImage image;
        image.MinPixel[2] = image.MaxPixel[2] = 77.0;
        ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0) << c.name;
        for (int plane = 0; plane < 3; ++plane)
            EXPECT_TRUE(image.MinPixel[plane] == c.min[plane] && image.MaxPixel[plane] == c.max[plane])
                << c.name << ", plane " << plane << ": " << image.MinPixel[plane] << ".." << image.MaxPixel[plane];
    }
}

}  // namespace
