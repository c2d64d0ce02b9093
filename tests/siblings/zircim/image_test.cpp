// CImage construction, Create, and copies that take every field or throw
// leaving nothing behind.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include "dib_fixture.h"

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
    const CImage empty;
    for (int i = 0; i < 26; ++i) EXPECT_EQ(empty.*kInts[i], i == 0 ? -32 : 0) << i;
    EXPECT_TRUE(empty.Store == nullptr && empty.Bscale == 1.0 && empty.Bzero == 0.0 && empty.OrgFileName.IsEmpty());
    for (int i = 0; i < 5; ++i)
        for (int plane = 0; plane < 3; ++plane) EXPECT_EQ((empty.*kLevels[i])[plane], kFreshLevels[i]);
    CImage source;
    ASSERT_NE(source.Create(3, 2, 4, 16), 0);
    for (int i = 0; i < 23; ++i) source.*kInts[i] = 100 + i;
    source.Bscale = 2.5, source.Bzero = -3.0, source.OrgFileName = "a", source.OrgFileFormat = "b";
    source.UndoDialogName = "c";
    for (int i = 0; i < CImage::kTypeCount; ++i) source.Type[i] = CString("t") + char('0' + i);
    for (int i = 0; i < 5; ++i) (source.*kLevels[i])[3] = 7.0 + i;
    *reinterpret_cast<short *>(source.Store->GetImageAdr(2, 1, 3, 0, 0, NULL)) = 9;
    const CImage copy(source, NULL);
    CImage assigned;
    ASSERT_NE(assigned.Create(1, 1, 1), 0);
    assigned = source;
    for (const CImage *image : {&copy, static_cast<const CImage *>(&assigned)}) {
        expect_same_record(*image, source);
        EXPECT_TRUE(image->Store != source.Store && image->LevelMin != source.LevelMin && image->LevelRange != source.LevelRange);
        EXPECT_EQ(*reinterpret_cast<short *>(image->Store->GetImageAdr(2, 1, 3, 1, 0, NULL)), 9);
    }
    assigned = assigned;
    expect_same_record(assigned, source);
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
