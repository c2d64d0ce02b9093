// Reference points and the copying of CfPoint and CImgPixelInfo.
#include <gtest/gtest.h>

#include <tuple>

#include "image/stl_image.h"

namespace {

CfPoint point(int x, int y, double fx, double fy) {
    CfPoint p;
    p.x = x;
    p.y = y;
    p.fx = fx;
    p.fy = fy;
    return p;
}

std::tuple<int, int, double, double> coordinates(const CfPoint &p) { return {p.x, p.y, p.fx, p.fy}; }

// Integer and fractional pairs that disagree are both kept, and copied.
TEST(ReferencePoints, PointsKeepBothPairsAndAreReturnedAsCopies) {
    CStlImage image;
    image.SetStdCtr(point(3, 4, 10.5, 20.25));
    image.StdPt[1] = point(-7, 8, 0.125, 1e9);
    CfPoint centre = image.GetStdCtr(), standard = image.GetStdPt(1), assigned;
    assigned = standard;
    EXPECT_EQ(coordinates(centre), std::make_tuple(3, 4, 10.5, 20.25));
    EXPECT_EQ(coordinates(assigned), std::make_tuple(-7, 8, 0.125, 1e9));
    centre.fy = standard.fx = -1;
    EXPECT_EQ(coordinates(image.GetStdCtr()), std::make_tuple(3, 4, 10.5, 20.25));
    EXPECT_EQ(image.StdPt[1].fx, 0.125);
    // One pair goes to the image library's CfPoint::Set unchanged.
    CfPoint viaSet;
    viaSet.Set(2.75, -0.5);
    image.SetStdCtr(2.75, -0.5);
    EXPECT_EQ(coordinates(image.GetStdCtr()), coordinates(viaSet));
    viaSet.Set(12, -3);
    image.SetStdCtr(12, -3);
    EXPECT_EQ(coordinates(image.GetStdCtr()), coordinates(viaSet));
}

// Copying a CImgPixelInfo copies its CStlImage part: samples, attributes
// and reference points, independent of the source afterwards.
TEST(ReferencePoints, PixelInfoCopiesItsImagePart) {
    CImgPixelInfo source;
    ASSERT_NE(source.Create(2, 2, 1), 0);
    *source.GetImageAdr(1, 1, 0, 0, NULL) = 42.0f;
    source.SetStdCtr(point(5, 6, 7.5, 8.5));
    source.SetOrgFileName("m42.bmp");
    CImgPixelInfo copied(source), assigned;
    assigned = source;
    *source.GetImageAdr(1, 1, 0, 0, NULL) = 1.0f;
    for (CImgPixelInfo *image : {&copied, &assigned}) {
        EXPECT_EQ(*image->GetImageAdr(1, 1, 0, 1, NULL), 42.0f);
        EXPECT_EQ(coordinates(image->GetStdCtr()), std::make_tuple(5, 6, 7.5, 8.5));
        EXPECT_STREQ(image->GetOrgFileName(), "m42.bmp");
    }
}

}  // namespace
