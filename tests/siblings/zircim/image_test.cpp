// CImage construction and Create; copies of CImage and CStlImage that take every field, or throw leaving nothing.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <string>

#include "dib_fixture.h"
#include "image/fits_extension.h"
#include "image/stl_image.h"
#include "support/framework_exceptions.h"

namespace {

int CImage::*const kInts[] = {&CImage::BitsPixel,    &CImage::Signed,
                              &CImage::Dimension,    &CImage::BlankUsed,
                              &CImage::Blank,        &CImage::Extend,
                              &CImage::OwnLevel,     &CImage::SaveableFormat,
                              &CImage::SaveableFile, &CImage::OverwriteAllowed,
                              &CImage::SITypeRGB,    &CImage::OrgBitsPixel,
                              &CImage::OrgPlanes,    &CImage::OrgWidth,
                              &CImage::OrgHeight,    &CImage::UndoMode,
                              &CImage::ContourMap,   &CImage::FirstFitsHeight,
                              &CImage::FirstFits,    &CImage::NorrinPC,
                              &CImage::PC,           &CImage::CD,
                              &CImage::LogScale,     &CImage::Width,
                              &CImage::Height,       &CImage::Planes};
double *CImage::*const kLevels[] = {&CImage::LevelMin, &CImage::LevelMax, &CImage::LevelRange,
                                    &CImage::OrgDefaultLevelMin, &CImage::OrgDefaultLevelMax};
const double kFreshLevels[] = {0, 255, 255, 0, 255};

// Every field of a CStlImage but its store, as text, so that records compare whole.
std::string describe(const CStlImage &image) {
    std::string text = std::to_string(image.Bscale) + " " + std::to_string(image.Bzero) + " " +
                       image.OrgFileName.GetString() + " " + image.OrgFileFormat.GetString() + " " +
                       image.UndoDialogName.GetString() + " " + std::to_string(std::uintptr_t(image.ProgressHandle));
    for (int CImage::*field : kInts)
        text += " " + std::to_string(image.*field);
    for (int i = 0; i < CImage::kTypeCount; ++i)
        text += std::string(" ") + image.Type[i].GetString();
    for (double *CImage::*levels : kLevels)
        for (int plane = 0; plane < std::max(image.Planes, 3); ++plane)
            text += " " + std::to_string((image.*levels)[plane]);
    for (int i = 0; i < 3; ++i)
        text += " " + std::to_string(image.MinPixel[i]) + " " + std::to_string(image.MaxPixel[i]);
    for (const CfPoint *p : {&image.StdPt[0], &image.StdPt[1], &image.StdCtr})
        text += " " + std::to_string(p->x) + " " + std::to_string(p->y) + " " + std::to_string(p->fx) + " " +
                std::to_string(p->fy);
    return text;
}

// Empty: no store, BITPIX -32, BSCALE 1, fresh levels for three planes, everything else 0. Copies and assignment
// are deep: own store with the samples, own level arrays, every field; all four coordinates of a point travel.
TEST(Image, EmptyCopiedAndAssignedRecords) {
    const CImgPixelInfo empty; // and so the classes below it
    const CFitsExtension fits; // the application's FITS code, which zircim stands in for
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(empty.*kInts[i], i == 0 ? -32 : 0) << i;
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ((empty.*kLevels[i / 3])[i % 3], kFreshLevels[i / 3]) << i;
    EXPECT_TRUE(empty.Store == nullptr && empty.Bscale == 1.0 && empty.Bzero == 0.0 && empty.OrgFileName.IsEmpty() &&
                empty.MaxPixel[2] == 0.0 && empty.MinPixel[0] == 0.0 && empty.ProgressHandle == nullptr &&
                fits.BitPix == 0 && fits.NAxis == 0 && fits.TFields == 0);
    CStlImage source;
    ASSERT_NE(source.Create(3, 2, 4, 16), 0);
    for (int i = 0; i < 23; ++i)
        source.*kInts[i] = 100 + i;
    source.Bscale = 2.5, source.Bzero = -3.0, source.OrgFileName = "a", source.OrgFileFormat = "b",
    source.UndoDialogName = "c";
    for (int i = 0; i < CImage::kTypeCount; ++i)
        source.Type[i] = ("t" + std::to_string(i)).c_str();
    for (int i = 0; i < 5; ++i)
        (source.*kLevels[i])[3] = 7.0 + i;
    *reinterpret_cast<short *>(source.Store->GetImageAdr(2, 1, 3, 0, 0, NULL)) = 9;
    const double extremes[] = {-1.5, 2.5, 3.5, 9.5, 8.5, 7.5};
    std::copy(extremes, extremes + 3, source.MinPixel), std::copy(extremes + 3, extremes + 6, source.MaxPixel);
    source.StdPt[0].Set(1.5, 2.5), source.StdPt[1].Set(-4, 6), source.StdCtr.Set(3.25, 4.75), source.StdPt[0].x = 11;
    source.ProgressHandle = reinterpret_cast<HWND>(0x1234);
    const CStlImage copy(source, NULL);
    CStlImage assigned;
    ASSERT_NE(assigned.Create(1, 1, 1), 0);
    EXPECT_EQ(&(assigned = source), &assigned);
    assigned = assigned;
    for (const CStlImage *image : {&copy, static_cast<const CStlImage *>(&assigned)}) {
        EXPECT_EQ(describe(*image), describe(source));
        EXPECT_TRUE(image->Store != source.Store && image->LevelMin != source.LevelMin &&
                    image->LevelRange != source.LevelRange);
        EXPECT_EQ(*reinterpret_cast<short *>(image->Store->GetImageAdr(2, 1, 3, 1, 0, NULL)), 9);
    }
}

// The five BITPIX the store can hold make a store, Signed 0, BSCALE 1, BZERO 0 and fresh levels; a refused one
// leaves the image as it was.
TEST(Image, CreateTakesTheFiveSampleTypes) {
    const struct {
        int bitsPixel, bytes, planes;
    } cases[] = {{8, 1, 1},  {16, 2, 3},  {32, 4, 2}, {-32, 4, 4}, {-64, 8, 1},
                 {24, 0, 1}, {-16, 0, 1}, {64, 0, 1}, {8, 0, 0}};
    for (const auto &c : cases) {
        CImage image;
        image.Bscale = 2.0, image.Bzero = 1.0, image.Signed = 1;
        const bool made = c.bytes != 0; // else the image as it was
        EXPECT_EQ(image.Create(3, 2, c.planes, c.bitsPixel), made) << c.bitsPixel;
        EXPECT_EQ((std::vector<double>{double(made ? image.Store->GetBytesPerSample() : image.Store == nullptr),
                                       double(image.BitsPixel), double(image.Width), double(image.Height),
                                       double(image.Planes), double(image.Dimension), double(image.Signed),
                                       image.Bscale, image.Bzero}),
                  (std::vector<double>{made ? double(c.bytes) : 1.0, made ? double(c.bitsPixel) : -32, 3.0 * made,
                                       2.0 * made, double(c.planes * made), made ? c.planes == 1 ? 2.0 : 3.0 : 0,
                                       double(!made), made ? 1 : 2.0, double(!made)}))
            << c.bitsPixel;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ((image.*kLevels[i])[std::max(c.planes, 3) - 1], kFreshLevels[i]);
    }
}

// Assignment that cannot copy, whichever allocation fails, throws and leaves its target as it was, with nothing
// allocated or mapped; nor does an image that dies. Create answers 0 instead of throwing.
TEST(Image, FailedCopyThrowsAndLeavesNothing) {
    CImage source, target;
    ASSERT_NE(source.Create(2, 2, 3), 0);
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    for (int nth = 1; nth <= 4; ++nth) {
        afx_standin::FailNthAllocation(nth);
        const bool thrown = THROWS(CMemoryException, [&] { target = source; });
        afx_standin::ClearFaults();
        EXPECT_TRUE(thrown && target.Store == nullptr && target.BitsPixel == -32 &&
                    afx_standin::LiveAllocations() == live && CVmImage::GetMappedBytesTotal() == mapped)
            << nth;
    }
    { const CImage dying(source, NULL); } // an image that dies gives back its store and level arrays
    EXPECT_TRUE(afx_standin::LiveAllocations() == live && CVmImage::GetMappedBytesTotal() == mapped);
    CImage probe;
    afx_standin::ResetAllocationAttempts();
    ASSERT_NE(probe.Create(2, 2, 3), 0);
    const long attempts = afx_standin::AllocationAttempts(), held = afx_standin::LiveAllocations();
    for (long nth = 1; nth <= attempts; ++nth) { // Create answers 0 instead, the image as it was
        afx_standin::FailNthAllocation(int(nth));
        const int made = target.Create(2, 2, 3);
        afx_standin::ClearFaults();
        EXPECT_TRUE(made == 0 && target.Store == nullptr && afx_standin::LiveAllocations() == held)
            << nth << " of " << attempts;
    }
}

} // namespace
