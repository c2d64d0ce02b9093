// AttachDIB as a whole: what it sets on success, the caller's block, memory
// failures, and the progress it reports.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <numeric>

#include "dib_fixture.h"
#include "support/progress_window.h"

namespace {

using testing_support::ProgressMessage;
using zircim_test::Bytes;
using zircim_test::info_header;

// A 24-bit picture of `rows` rows of one pixel each.
Bytes colour_dib(int rows) { return info_header(1, rows, 24).fill(static_cast<std::size_t>(rows) * 4, 0x40); }

// Whatever the image held before, it becomes 32-bit float samples of 0..255.
TEST(AttachDib, DescribesTheNewImage) {
    const struct { const char *name; Bytes dib; int planes, dimension; } cases[] = {
        {"gray", zircim_test::grays(info_header(1, 1, 8, BI_RGB, 1), {9}).raw({0, 0, 0, 0}), 1, 2},
        {"colour", colour_dib(2), 3, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        zircim_test::DibBlock dib(c.dib);
        CImage image;
        image.Bscale = 2.0;
        image.Create(4, 4, 1, 16);
        ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0);
        EXPECT_TRUE(image.BitsPixel == -32 && image.Store->GetBytesPerSample() == 4 && image.Bscale == 1.0);
        EXPECT_EQ(image.Planes, c.planes);
        EXPECT_EQ(image.Dimension, c.dimension);
        for (int plane = 0; plane < c.planes; ++plane)
            EXPECT_TRUE(image.LevelMin[plane] == 0.0 && image.LevelMax[plane] == 255.0 &&
                        image.LevelRange[plane] == 255.0 && image.OrgDefaultLevelMin[plane] == 0.0 &&
                        image.OrgDefaultLevelMax[plane] == 255.0)
                << plane;
    }
}

// Whichever framework allocation fails, the call returns 0 with the image as
// it was, nothing left allocated, and progress closed if it was opened; past
// the last one it succeeds. The block stays the caller's, unlocked and whole.
TEST(AttachDib, FrameworkAllocationFailureLeavesNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    zircim_test::DibBlock dib(colour_dib(2));
    CImage image;
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    int nth = 1;
    for (; nth < 50; ++nth) {
        testing_support::ProgressWindow window;
        afx_standin::FailNthAllocation(nth);
        const int attached = image.AttachDIB(dib.handle(), window.handle(), NULL);
        afx_standin::ClearFaults();
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << nth;
        EXPECT_TRUE(!window.messages().empty() && window.messages().back() == ProgressMessage(2, 0)) << nth;
        if (attached != 0)
            break;
        EXPECT_TRUE(image.Store == nullptr && image.Planes == 0) << nth;
        EXPECT_EQ(afx_standin::LiveAllocations(), live) << nth;
        EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mapped) << nth;
    }
    EXPECT_GT(nth, 1);
    EXPECT_EQ(image.Planes, 3);
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 1);
    EXPECT_EQ(GlobalSize(dib.handle()), colour_dib(2).size());
}

// Open with the caption, the percent each time its integer value changes
// (from 0 before the first row to 100 after the last), then close.
TEST(AttachDib, ReportsProgressWithoutFlooding) {
    std::vector<LPARAM> everyPercent(101);
    std::iota(everyPercent.begin(), everyPercent.end(), 0);
    const struct { const char *name; int rows; std::vector<LPARAM> percents; } cases[] = {
        {"one_row", 1, {0, 100}},
        {"three_rows", 3, {0, 33, 66, 100}},
        {"thousand_rows", 1000, everyPercent},
    };
    static const char caption[] = "Reading";
    for (const auto &c : cases) {
        testing_support::ProgressWindow window;
        zircim_test::DibBlock dib(colour_dib(c.rows));
        CImage image;
        ASSERT_NE(image.AttachDIB(dib.handle(), window.handle(), caption), 0) << c.name;
        std::vector<ProgressMessage> expected{{0, reinterpret_cast<LPARAM>(caption)}};
        for (LPARAM percent : c.percents)
            expected.emplace_back(1, percent);
        expected.emplace_back(2, 0);
        EXPECT_EQ(window.messages(), expected) << c.name;
    }
}

}  // namespace
