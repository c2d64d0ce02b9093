// CStlImage, CfPoint and CImgPixelInfo construction; the per-plane
// extremes AttachDIB leaves on a CStlImage.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../zircim/dib_fixture.h"
#include "image/stl_image.h"

namespace {

using zircim_test::Bytes;
using zircim_test::info_header;

TEST(CfPoint, StartsAtZero) {
    const CfPoint point;
    EXPECT_EQ(point.x, 0);
    EXPECT_EQ(point.y, 0);
    EXPECT_EQ(point.fx, 0.0);
    EXPECT_EQ(point.fy, 0.0);
}

TEST(CfPoint, IntegerSetGivesBothPairs) {
    CfPoint point;
    point.Set(-3, 7);
    EXPECT_EQ(point.x, -3);
    EXPECT_EQ(point.y, 7);
    EXPECT_EQ(point.fx, -3.0);
    EXPECT_EQ(point.fy, 7.0);
}

// The integer pair is the pixel containing the position: the floor.
TEST(CfPoint, FractionalSetKeepsThePositionAndFloorsThePixel) {
    const struct {
        double value;
        int pixel;
    } cases[] = {{2.75, 2}, {-0.5, -1}, {-2.0, -2}, {1e12, INT32_MAX}, {-1e12, INT32_MIN},
                 {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto &c : cases) {
        CfPoint point;
        point.Set(c.value, 0.25);
        EXPECT_EQ(point.x, c.pixel) << c.value;
        EXPECT_EQ(point.y, 0);
        EXPECT_TRUE(point.fx == c.value || std::isnan(c.value));
        EXPECT_EQ(point.fy, 0.25);
    }
}

CStlImage described_image() {
    CStlImage image;
    image.Create(2, 1, 3);
    *reinterpret_cast<float *>(image.Store->GetImageAdr(1, 0, 2, 0, CVmImage::kReadBack, NULL)) = 4.0f;
    image.MinPixel[2] = -1.0;
    image.MaxPixel[1] = 9.0;
    image.StdPt[1].Set(1.5, 2.5);
    image.StdCtr.Set(3, 4);
    image.ProgressHandle = reinterpret_cast<HWND>(0x1234);
    return image;
}

void expect_same_description(const CStlImage &copy, const CStlImage &source) {
    EXPECT_NE(copy.Store, source.Store);
    EXPECT_EQ(zircim_test::plane_samples(copy, 2), zircim_test::plane_samples(source, 2));
    EXPECT_EQ(copy.MinPixel[2], -1.0);
    EXPECT_EQ(copy.MaxPixel[1], 9.0);
    EXPECT_EQ(copy.StdPt[1].fx, 1.5);
    EXPECT_EQ(copy.StdPt[1].y, 2);
    EXPECT_EQ(copy.StdCtr.x, 3);
    EXPECT_EQ(copy.ProgressHandle, reinterpret_cast<HWND>(0x1234));
}

TEST(StlImage, DefaultHasNoExtremesAndNoProgressWindow) {
    const CImgPixelInfo image;  // and so the classes below it
    EXPECT_EQ(image.Store, nullptr);
    EXPECT_EQ(image.MinPixel[0], 0.0);
    EXPECT_EQ(image.MaxPixel[2], 0.0);
    EXPECT_EQ(image.StdCtr.fx, 0.0);
    EXPECT_EQ(image.ProgressHandle, nullptr);
}

TEST(StlImage, CopyAndAssignmentTakeEveryField) {
    const CStlImage source = described_image();
    const CStlImage copy(source, NULL);
    expect_same_description(copy, source);
    CStlImage assigned;
    CStlImage &result = (assigned = source);
    EXPECT_EQ(&result, &assigned);
    expect_same_description(assigned, source);
}

TEST(StlImage, AttachDibComputesExtremesPerPlane) {
    Bytes colour = info_header(2, 1, 24);
    colour.raw({10, 200, 30})  /* b g r */
        .raw({20, 100, 40})
        .raw({0, 0});
    Bytes gray = info_header(2, 1, 8, BI_RGB, 2);
    zircim_test::rgb(gray, 5, 5, 5);
    zircim_test::rgb(gray, 250, 250, 250);
    gray.raw({1, 0, 0, 0});
    const struct {
        const char *name;
        Bytes dib;
        double min[3];
        double max[3];
    } cases[] = {{"colour", colour, {30, 100, 10}, {40, 200, 20}}, {"gray_others_zero", gray, {5, 0, 0}, {250, 0, 0}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        zircim_test::DibBlock dib(c.dib);
        CStlImage image;
        image.MinPixel[2] = image.MaxPixel[2] = 77.0;
        ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0);
        for (int plane = 0; plane < 3; ++plane) {
            EXPECT_EQ(image.MinPixel[plane], c.min[plane]) << plane;
            EXPECT_EQ(image.MaxPixel[plane], c.max[plane]) << plane;
        }
    }
}

}  // namespace
