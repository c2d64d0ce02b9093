// CImage construction and Create; copies of CImage and CStlImage that take
// every field, or throw leaving nothing behind.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include "dib_fixture.h"
#include "image/fits_extension.h"
#include "image/stl_image.h"

namespace {

int CImage::*const kInts[] = {&CImage::BitsPixel, &CImage::Signed, &CImage::Dimension, &CImage::BlankUsed,
    &CImage::Blank, &CImage::Extend, &CImage::OwnLevel, &CImage::SaveableFormat, &CImage::SaveableFile,
    &CImage::OverwriteAllowed, &CImage::SITypeRGB, &CImage::OrgBitsPixel, &CImage::OrgPlanes, &CImage::OrgWidth,
    &CImage::OrgHeight, &CImage::UndoMode, &CImage::ContourMap, &CImage::FirstFitsHeight, &CImage::FirstFits,
    &CImage::NorrinPC, &CImage::PC, &CImage::CD, &CImage::LogScale, &CImage::Width, &CImage::Height, &CImage::Planes};
double *CImage::*const kLevels[] = {&CImage::LevelMin, &CImage::LevelMax, &CImage::LevelRange,
                                     &CImage::OrgDefaultLevelMin, &CImage::OrgDefaultLevelMax};
const double kFreshLevels[] = {0, 255, 255, 0, 255};

// Everything but the geometry, which the store decides, set to its own value.
void expect_same_record(const CImage &a, const CImage &b) {
    for (int i = 0; i < 26; ++i) EXPECT_EQ(a.*kInts[i], b.*kInts[i]) << i;
    EXPECT_TRUE(a.Bscale == b.Bscale && a.Bzero == b.Bzero);
    EXPECT_TRUE(a.OrgFileName == b.OrgFileName && a.OrgFileFormat == b.OrgFileFormat && a.UndoDialogName == b.UndoDialogName);
    for (int i = 0; i < CImage::kTypeCount; ++i) EXPECT_EQ(a.Type[i], b.Type[i]) << i;
    for (int i = 0; i < 5; ++i)
        for (int plane = 0; plane < std::max(a.Planes, 3); ++plane) EXPECT_EQ((a.*kLevels[i])[plane], (b.*kLevels[i])[plane]);
}

TEST(Image, EmptyCopiedAndAssignedRecords) {
    const CImgPixelInfo empty;  // and so the classes below it
    for (int i = 0; i < 26; ++i) EXPECT_EQ(empty.*kInts[i], i == 0 ? -32 : 0) << i;
    EXPECT_TRUE(empty.Store == nullptr && empty.Bscale == 1.0 && empty.Bzero == 0.0 && empty.OrgFileName.IsEmpty());
    EXPECT_TRUE(empty.MaxPixel[2] == 0.0 && empty.MinPixel[0] == 0.0 && empty.ProgressHandle == nullptr);
    const CFitsExtension fits;  // the application's FITS code, which zircim stands in for
    EXPECT_TRUE(fits.BitPix == 0 && fits.NAxis == 0 && fits.TFields == 0);
    for (int i = 0; i < 5; ++i)
        for (int plane = 0; plane < 3; ++plane) EXPECT_EQ((empty.*kLevels[i])[plane], kFreshLevels[i]);
    CStlImage source;
    ASSERT_NE(source.Create(3, 2, 4, 16), 0);
    for (int i = 0; i < 23; ++i) source.*kInts[i] = 100 + i;
    source.Bscale = 2.5, source.Bzero = -3.0, source.OrgFileName = "a", source.OrgFileFormat = "b";
    source.UndoDialogName = "c";
    for (int i = 0; i < CImage::kTypeCount; ++i) source.Type[i] = CString("t") + char('0' + i);
    for (int i = 0; i < 5; ++i) (source.*kLevels[i])[3] = 7.0 + i;
    *reinterpret_cast<short *>(source.Store->GetImageAdr(2, 1, 3, 0, 0, NULL)) = 9;
    const double extremes[] = {-1.5, 2.5, 3.5, 9.5, 8.5, 7.5};
    std::copy(extremes, extremes + 3, source.MinPixel), std::copy(extremes + 3, extremes + 6, source.MaxPixel);
    source.StdPt[0].Set(1.5, 2.5), source.StdPt[1].Set(-4, 6), source.StdCtr.Set(3.25, 4.75);
    source.StdPt[0].x = 11;  // all four coordinates travel, not one pair rebuilt from the other
    source.ProgressHandle = reinterpret_cast<HWND>(0x1234);
    const CStlImage copy(source, NULL);
    CStlImage assigned;
    ASSERT_NE(assigned.Create(1, 1, 1), 0);
    EXPECT_EQ(&(assigned = source), &assigned);
    assigned = assigned;
    for (const CStlImage *image : {&copy, static_cast<const CStlImage *>(&assigned)}) {
        expect_same_record(*image, source);
        EXPECT_TRUE(image->Store != source.Store && image->LevelMin != source.LevelMin && image->LevelRange != source.LevelRange);
        EXPECT_EQ(*reinterpret_cast<short *>(image->Store->GetImageAdr(2, 1, 3, 1, 0, NULL)), 9);
        EXPECT_TRUE(std::equal(extremes, extremes + 3, image->MinPixel) && std::equal(extremes + 3, extremes + 6, image->MaxPixel));
        for (int i = 0; i < 3; ++i) {
            const CfPoint &p = i < 2 ? image->StdPt[i] : image->StdCtr, &q = i < 2 ? source.StdPt[i] : source.StdCtr;
            EXPECT_TRUE(p.x == q.x && p.y == q.y && p.fx == q.fx && p.fy == q.fy) << i;
        }
        EXPECT_EQ(image->ProgressHandle, reinterpret_cast<HWND>(0x1234));
    }
}

// The five BITPIX the store can hold; a refused one leaves the image.
TEST(Image, CreateMakesZeroSamplesOfTheFiveSampleTypes) {
    const struct { int bitsPixel, bytes, planes; } cases[] = {
        {8, 1, 1}, {16, 2, 3}, {32, 4, 2}, {-32, 4, 4}, {-64, 8, 1}, {24, 0, 1}, {-16, 0, 1}, {64, 0, 1}, {8, 0, 0}};
    for (const auto &c : cases) {
        CImage image;
        image.Bscale = 2.0, image.Bzero = 1.0, image.Signed = 1;
        EXPECT_EQ(image.Create(3, 2, c.planes, c.bitsPixel), c.bytes != 0) << c.bitsPixel;
        if (c.bytes == 0) {
            EXPECT_TRUE(image.Store == nullptr && image.Bscale == 2.0 && image.Planes == 0) << c.bitsPixel;
            continue;
        }
        EXPECT_EQ((std::vector<int>{image.Store->GetBytesPerSample(), image.BitsPixel, image.Width, image.Height,
                                    image.Planes, image.Dimension, image.Signed}),
                  (std::vector<int>{c.bytes, c.bitsPixel, 3, 2, c.planes, c.planes == 1 ? 2 : 3, 0}));
        EXPECT_TRUE(image.Bscale == 1.0 && image.Bzero == 0.0) << c.bitsPixel;
        for (int i = 0; i < 5; ++i) EXPECT_EQ((image.*kLevels[i])[std::max(c.planes, 3) - 1], kFreshLevels[i]);
    }
}

// Assignment that cannot copy throws and leaves its target as it was.
TEST(Image, FailedCopyThrowsAndLeavesNothing) {
    CImage source, target;
    ASSERT_NE(source.Create(2, 2, 3), 0);
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    for (int nth = 1; nth <= 4; ++nth) {
        afx_standin::FailNthAllocation(nth);
        bool thrown = false;
        try {
            target = source;
        } catch (CMemoryException *e) {
            e->Delete();
            thrown = true;
        }
        afx_standin::ClearFaults();
        EXPECT_TRUE(thrown && target.Store == nullptr && target.BitsPixel == -32) << nth;
        EXPECT_TRUE(afx_standin::LiveAllocations() == live && CVmImage::GetMappedBytesTotal() == mapped) << nth;
    }
}

}  // namespace
