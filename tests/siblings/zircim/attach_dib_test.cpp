// AttachDIB as a whole: what it sets on success, the caller's block, memory
// failures, and the progress it reports.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include "dib_fixture.h"
#include "support/progress_window.h"

namespace {

using testing_support::ProgressMessage;
using zircim_test::Bytes;
using zircim_test::info_header;

// A 24-bit picture of `rows` rows of one pixel each.
Bytes colour_dib(int rows) { return info_header(1, rows, 24).fill(static_cast<std::size_t>(rows) * 4, 0x40); }

Bytes gray_dib() {
    Bytes b = info_header(1, 1, 8, BI_RGB, 1);
    return zircim_test::rgb(b, 9, 9, 9).raw({0, 0, 0, 0});
}

TEST(AttachDib, DescribesTheNewImage) {
    struct Expected {
        const char *name;
        Bytes dib;
        int planes;
        int dimension;
    };
    const Expected cases[] = {{"gray", gray_dib(), 1, 2}, {"colour", colour_dib(2), 3, 3}};
    for (const Expected &c : cases) {
        SCOPED_TRACE(c.name);
        zircim_test::DibBlock dib(c.dib);
        CImage image;
        image.Bscale = 2.0;
        image.Bzero = 5.0;
        image.Signed = 1;
        image.Create(4, 4, 1, 16);
        ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0);
        EXPECT_EQ(image.BitsPixel, -32);
        EXPECT_EQ(image.Bscale, 1.0);
        EXPECT_EQ(image.Bzero, 0.0);
        EXPECT_EQ(image.Signed, 0);
        EXPECT_EQ(image.Planes, c.planes);
        EXPECT_EQ(image.Dimension, c.dimension);
        EXPECT_EQ(image.Store->GetBytesPerSample(), 4);
        for (int plane = 0; plane < c.planes; ++plane) {
            EXPECT_EQ(image.LevelMin[plane], 0.0);
            EXPECT_EQ(image.LevelMax[plane], 255.0);
            EXPECT_EQ(image.LevelRange[plane], 255.0);
            EXPECT_EQ(image.OrgDefaultLevelMin[plane], 0.0);
            EXPECT_EQ(image.OrgDefaultLevelMax[plane], 255.0);
        }
    }
}

TEST(AttachDib, TheBlockStaysTheCallersAndUnlocked) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    zircim_test::DibBlock dib(colour_dib(3));
    {
        CImage image;
        ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
    }
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 1);
    EXPECT_EQ(GlobalSize(dib.handle()), colour_dib(3).size());
}

// Whichever framework allocation fails, the call returns 0 with the image
// as it was and nothing left allocated; past the last one it succeeds.
TEST(AttachDib, FrameworkAllocationFailureLeavesNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    zircim_test::DibBlock dib(colour_dib(2));
    CImage image;
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    int nth = 1;
    for (; nth < 50; ++nth) {
        afx_standin::FailNthAllocation(nth);
        const int attached = image.AttachDIB(dib.handle(), NULL, NULL);
        afx_standin::ClearFaults();
        if (attached != 0)
            break;
        EXPECT_EQ(image.Store, nullptr) << nth;
        EXPECT_EQ(image.Planes, 0) << nth;
        EXPECT_EQ(afx_standin::LiveAllocations(), live) << nth;
        EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mapped) << nth;
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << nth;
    }
    EXPECT_GT(nth, 1);
    EXPECT_EQ(image.Planes, 3);
}

struct ProgressCase {
    const char *name;
    int rows;
    std::vector<LPARAM> percents;
};

// Open with the caption, the percent each time its integer value changes
// (from 0 before the first row to 100 after the last), then close.
TEST(AttachDib, ReportsProgressWithoutFlooding) {
    const ProgressCase cases[] = {
        {"one_row", 1, {0, 100}},
        {"two_rows", 2, {0, 50, 100}},
        {"three_rows", 3, {0, 33, 66, 100}},
    };
    static const char caption[] = "Reading";
    for (const ProgressCase &c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ProgressWindow window;
        zircim_test::DibBlock dib(colour_dib(c.rows));
        CImage image;
        ASSERT_NE(image.AttachDIB(dib.handle(), window.handle(), caption), 0);
        std::vector<ProgressMessage> expected{{0, reinterpret_cast<LPARAM>(caption)}};
        for (LPARAM percent : c.percents)
            expected.emplace_back(1, percent);
        expected.emplace_back(2, 0);
        EXPECT_EQ(window.messages(), expected);
    }
}

TEST(AttachDib, ManyRowsSendEachPercentOnce) {
    testing_support::ProgressWindow window;
    zircim_test::DibBlock dib(colour_dib(1000));
    CImage image;
    ASSERT_NE(image.AttachDIB(dib.handle(), window.handle(), NULL), 0);
    ASSERT_EQ(window.messages().size(), 103u);  // open, 0..100, close
    for (LPARAM percent = 0; percent <= 100; ++percent)
        EXPECT_EQ(window.messages()[static_cast<std::size_t>(percent) + 1], ProgressMessage(1, percent));
}

TEST(AttachDib, RefusedBlockSendsNothing) {
    testing_support::ProgressWindow window;
    zircim_test::DibBlock dib(info_header(1, 1, 2));
    CImage image;
    EXPECT_EQ(image.AttachDIB(dib.handle(), window.handle(), "x"), 0);
    EXPECT_TRUE(window.messages().empty());
}

TEST(AttachDib, FailureAfterOpeningStillCloses) {
    testing_support::ProgressWindow window;
    zircim_test::DibBlock dib(colour_dib(2));
    CImage image;
    afx_standin::FailNthAllocation(1);
    EXPECT_EQ(image.AttachDIB(dib.handle(), window.handle(), NULL), 0);
    afx_standin::ClearFaults();
    EXPECT_EQ(window.messages(), (std::vector<ProgressMessage>{{0, 0}, {2, 0}}));
}

}  // namespace
