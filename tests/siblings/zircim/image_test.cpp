// CImage construction, Create, and deep copies.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include "dib_fixture.h"

namespace {

float &sample(CImage &image, int x, int y, int plane) {
    return *reinterpret_cast<float *>(image.Store->GetImageAdr(x, y, plane, 0, CVmImage::kReadBack, NULL));
}

void expect_full_range_levels(const CImage &image, int entries) {
    for (int i = 0; i < entries; ++i) {
        EXPECT_EQ(image.LevelMin[i], 0.0) << i;
        EXPECT_EQ(image.LevelMax[i], 255.0) << i;
        EXPECT_EQ(image.LevelRange[i], 255.0) << i;
        EXPECT_EQ(image.OrgDefaultLevelMin[i], 0.0) << i;
        EXPECT_EQ(image.OrgDefaultLevelMax[i], 255.0) << i;
    }
}

TEST(Image, EmptyImageHasNoStoreAndThreeLevelEntries) {
    const CImage image;
    EXPECT_EQ(image.Store, nullptr);
    EXPECT_EQ(image.Width, 0);
    EXPECT_EQ(image.Height, 0);
    EXPECT_EQ(image.Planes, 0);
    EXPECT_EQ(image.Dimension, 0);
    EXPECT_EQ(image.BitsPixel, -32);
    EXPECT_EQ(image.Bscale, 1.0);
    EXPECT_EQ(image.Bzero, 0.0);
    EXPECT_EQ(image.SaveableFormat, 0);
    EXPECT_TRUE(image.OrgFileName.IsEmpty());
    EXPECT_TRUE(image.Type[CImage::kTypeCount - 1].IsEmpty());
    expect_full_range_levels(image, 3);
}

TEST(Image, CreateMakesZeroSamplesOfTheGivenBitpix) {
    const struct {
        int bitsPixel;
        int sampleBytes;
    } cases[] = {{8, 1}, {16, 2}, {32, 4}, {-32, 4}, {-64, 8}};
    for (const auto &c : cases) {
        CImage image;
        ASSERT_NE(image.Create(3, 2, 4, c.bitsPixel), 0) << c.bitsPixel;
        EXPECT_EQ(image.BitsPixel, c.bitsPixel);
        EXPECT_EQ(image.Store->GetBytesPerSample(), c.sampleBytes);
        EXPECT_EQ(image.Dimension, 3);
        EXPECT_EQ(*image.Store->GetImageAdr(2, 1, 3, 1, CVmImage::kReadBack, NULL), 0);
        expect_full_range_levels(image, 4);
    }
}

TEST(Image, CreateFailureLeavesTheImage) {
    CImage image;
    ASSERT_NE(image.Create(2, 2, 1), 0);
    sample(image, 1, 1, 0) = 7.0f;
    CVmImage *store = image.Store;
    const struct {
        const char *name;
        int width, height, planes, bitsPixel;
    } cases[] = {
        {"bitpix_12", 2, 2, 1, 12},     {"width_0", 0, 2, 1, -32},
        {"planes_0", 2, 2, 0, -32},     {"pixels_beyond_int", 65536, 65536, 1, 8},
        {"height_negative", 2, -2, 1, -32},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(image.Create(c.width, c.height, c.planes, c.bitsPixel), 0) << c.name;
        EXPECT_EQ(image.Store, store) << c.name;
        EXPECT_EQ(image.Width, 2) << c.name;
        EXPECT_EQ(sample(image, 1, 1, 0), 7.0f) << c.name;
    }
}

TEST(Image, CopyIsDeepAndIndependent) {
    CImage original;
    ASSERT_NE(original.Create(2, 2, 3), 0);
    sample(original, 1, 0, 2) = 5.0f;
    original.LevelMax[2] = 128.0;
    original.OrgFileName = "m42.bmp";
    original.Type[3] = "RGB";
    original.ContourMap = 1;

    CImage copy(original, NULL);
    sample(original, 1, 0, 2) = 6.0f;
    original.LevelMax[2] = 1.0;
    original.OrgFileName = "changed";

    EXPECT_NE(copy.Store, original.Store);
    EXPECT_EQ(sample(copy, 1, 0, 2), 5.0f);
    EXPECT_NE(copy.LevelMax, original.LevelMax);
    EXPECT_EQ(copy.LevelMax[2], 128.0);
    EXPECT_EQ(copy.OrgFileName, "m42.bmp");
    EXPECT_EQ(copy.Type[3], "RGB");
    EXPECT_EQ(copy.ContourMap, 1);
    EXPECT_EQ(copy.Planes, 3);
}

TEST(Image, AssignmentReplacesEverythingAndSurvivesSelfAssignment) {
    CImage source;
    ASSERT_NE(source.Create(1, 1, 1), 0);
    sample(source, 0, 0, 0) = 3.0f;
    source.UndoDialogName = "Levels";
    CImage target;
    ASSERT_NE(target.Create(4, 4, 3), 0);

    target = source;
    EXPECT_EQ(target.Width, 1);
    EXPECT_EQ(target.Planes, 1);
    EXPECT_EQ(target.UndoDialogName, "Levels");
    EXPECT_EQ(sample(target, 0, 0, 0), 3.0f);
    EXPECT_NE(target.Store, source.Store);

    CImage &alias = target;
    target = alias;
    EXPECT_EQ(sample(target, 0, 0, 0), 3.0f);
}

// A copy that cannot be completed throws the framework's memory exception
// and leaves nothing allocated; assignment then leaves its target as it was.
TEST(Image, FailedCopyThrowsAndLeavesNothing) {
    CImage source;
    ASSERT_NE(source.Create(2, 2, 3), 0);
    CImage target;
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
        ASSERT_TRUE(thrown) << nth;
        EXPECT_EQ(target.Store, nullptr) << nth;
        EXPECT_EQ(afx_standin::LiveAllocations(), live) << nth;
        EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mapped) << nth;
    }
}

}  // namespace
