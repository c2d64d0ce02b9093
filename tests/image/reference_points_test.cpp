// Reference points and the copying of CfPoint and CImgPixelInfo.
#include <gtest/gtest.h>

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

void expect_point(const CfPoint &p, int x, int y, double fx, double fy) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.fx, fx);
    EXPECT_EQ(p.fy, fy);
}

// Integer and fractional coordinates that disagree are both kept.
TEST(ReferencePoints, StandardCentreKeepsBothPairs) {
    CStlImage image;
    image.SetStdCtr(point(3, 4, 10.5, 20.25));
    expect_point(image.GetStdCtr(), 3, 4, 10.5, 20.25);

    CfPoint copy = image.GetStdCtr();
    copy.x = 99;
    copy.fy = -1;
    expect_point(image.GetStdCtr(), 3, 4, 10.5, 20.25);
}

TEST(ReferencePoints, StandardPointsAreReturnedAsCopies) {
    CStlImage image;
    image.StdPt[1] = point(-7, 8, 0.125, 1e9);
    CfPoint copy = image.GetStdPt(1);
    expect_point(copy, -7, 8, 0.125, 1e9);
    copy.fx = 5;
    EXPECT_EQ(image.StdPt[1].fx, 0.125);
}

// The setters taking one pair hand it to CfPoint::Set unchanged.
TEST(ReferencePoints, PairSettersGoThroughSet) {
    CStlImage image;
    CfPoint viaSet;
    image.SetStdCtr(12, -3);
    viaSet.Set(12, -3);
    expect_point(image.GetStdCtr(), viaSet.x, viaSet.y, viaSet.fx, viaSet.fy);
    image.SetStdCtr(2.75, -0.5);
    viaSet.Set(2.75, -0.5);
    expect_point(image.GetStdCtr(), viaSet.x, viaSet.y, viaSet.fx, viaSet.fy);
}

TEST(ReferencePoints, CopyAndAssignmentGiveTheSameFourCoordinates) {
    const CfPoint source = point(1, 2, 3.5, 4.5);
    const CfPoint copied(source);
    CfPoint assigned;
    assigned = source;
    expect_point(copied, 1, 2, 3.5, 4.5);
    expect_point(assigned, 1, 2, 3.5, 4.5);
}

TEST(ReferencePoints, ProgressHandleIsRecorded) {
    CStlImage image;
    const HWND window = reinterpret_cast<HWND>(0x1234);
    image.SetProgressHandle(window);
    EXPECT_EQ(image.ProgressHandle, window);
}

// Copying a CImgPixelInfo copies its CStlImage part: samples, attributes
// and reference points, independent of the source afterwards.
TEST(ReferencePoints, PixelInfoCopiesItsImagePart) {
    CImgPixelInfo source;
    ASSERT_NE(source.Create(2, 2, 1), 0);
    *reinterpret_cast<float *>(source.GetImageAdr(1, 1, 0, 0, NULL)) = 42.0f;
    source.SetStdCtr(point(5, 6, 7.5, 8.5));
    source.SetOrgFileName("m42.bmp");

    CImgPixelInfo copied(source);
    CImgPixelInfo assigned;
    assigned = source;
    for (CImgPixelInfo *image : {&copied, &assigned}) {
        EXPECT_EQ(image->GetWidth(), 2);
        EXPECT_EQ(*reinterpret_cast<float *>(image->GetImageAdr(1, 1, 0, 1, NULL)), 42.0f);
        expect_point(image->GetStdCtr(), 5, 6, 7.5, 8.5);
        EXPECT_STREQ(image->GetOrgFileName(), "m42.bmp");
    }
    *reinterpret_cast<float *>(source.GetImageAdr(1, 1, 0, 0, NULL)) = 1.0f;
    EXPECT_EQ(*reinterpret_cast<float *>(copied.GetImageAdr(1, 1, 0, 1, NULL)), 42.0f);
}

}  // namespace
