// AttachDIB beyond the samples: DIBs it refuses, memory failures, progress.
// Whatever fails leaves the image as it was, the block the caller's and
// unlocked, and nothing allocated.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <climits>
#include <numeric>
#include <optional>

#include "dib_fixture.h"
#include "support/progress_window.h"

namespace {

using testing_support::ProgressMessage;
using zircim_test::Bytes;
using zircim_test::info_header;

Bytes with_rows(Bytes b) { return b.fill(64, 0); }
Bytes header_sized(std::uint32_t size) {  // a 24-bit header but for biSize, room for larger ones
    const std::vector<std::uint8_t> h = info_header(1, 1, 24);
    return Bytes().u32(size).append({h.begin() + 4, h.end()}).fill(100, 0);
}

// Rows: the DIB (empty: a NULL handle), and whether progress opened first.
TEST(AttachDib, RefusalsLeaveTheImageAsItWas) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const std::vector<std::uint8_t> core = info_header(1, 1, 24);
    const struct { const char *name; Bytes dib; bool opens; } cases[] = {
        {"null handle", Bytes(), false},
        {"shorter than the header", Bytes().append({core.begin(), core.end() - 1}), false},
        {"shorter than the table", info_header(1, 1, 8).fill(1023, 0), false},
        {"core header", header_sized(12), false}, {"v4 header", header_sized(108), false},
        {"width 0", with_rows(info_header(0, 1, 24)), false}, {"width -1", with_rows(info_header(-1, 1, 24)), false},
        {"height 0", with_rows(info_header(1, 0, 24)), false},
        {"height INT_MIN", with_rows(info_header(1, INT_MIN, 24)), false},
        {"2 bits", with_rows(info_header(1, 1, 2)), false}, {"64 bits", with_rows(info_header(1, 1, 64)), false},
        {"RLE8 of 4 bits", with_rows(info_header(1, 1, 4, BI_RLE8)), false},
        {"RLE4 of 8 bits", with_rows(info_header(1, 1, 8, BI_RLE4)), false},
        {"bit fields of 24 bits", with_rows(info_header(1, 1, 24, BI_BITFIELDS)), false},
        {"bit fields with two masks", with_rows(info_header(1, 1, 16, BI_BITFIELDS, 2)), false},
        {"mask with a gap", with_rows(info_header(1, 1, 32, BI_BITFIELDS).u32(0xF0).u32(0x0F00).u32(0x1F001)), false},
        {"JPEG", with_rows(info_header(1, 1, 24, 4)), false},
        {"top-down RLE8", with_rows(info_header(1, -1, 8, BI_RLE8)), false},
        {"top-down RLE4", with_rows(info_header(1, -1, 4, BI_RLE4)), false},
        {"more pixels than the store holds", with_rows(info_header(65536, 32769, 1, BI_RGB, 2)), true}};
    for (const auto &c : cases) {
        CImage image;  // with content of its own, all of which must stay
        image.Create(2, 1, 1);
        *reinterpret_cast<float *>(image.Store->GetImageAdr(1, 0, 0, 0, CVmImage::kReadBack, NULL)) = 42.0f;
        const CVmImage *store = image.Store;
        const double *levels = image.LevelMax;
        const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
        const long live = afx_standin::LiveAllocations();
        {
            testing_support::ProgressWindow window;
            std::optional<zircim_test::DibBlock> dib;
            if (c.dib.size() != 0) dib.emplace(c.dib);
            EXPECT_EQ(image.AttachDIB(dib ? dib->handle() : NULL, window.handle(), NULL), 0) << c.name;
            EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << c.name;
            EXPECT_EQ(window.messages(), (c.opens ? std::vector<ProgressMessage>{{0, 0}, {2, 0}}
                                                  : std::vector<ProgressMessage>{})) << c.name;
        }
        EXPECT_TRUE(image.Store == store && image.LevelMax == levels && image.Width == 2 && image.Planes == 1) << c.name;
        EXPECT_EQ(zircim_test::plane_samples(image, 0), (std::vector<float>{0.0f, 42.0f})) << c.name;
        EXPECT_TRUE(CVmImage::GetMappedBytesTotal() == mapped && afx_standin::LiveAllocations() == live) << c.name;
    }
}

// Whichever framework allocation fails, the call returns 0 with the image as
// it was and progress closed; past the last one it succeeds.
TEST(AttachDib, FrameworkAllocationFailureLeavesNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const Bytes bytes = info_header(1, 2, 24).fill(8, 0x40);
    zircim_test::DibBlock dib(bytes);
    CImage image;
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    int nth = 1;
    for (int attached = 0; nth < 50 && !attached; ++nth) {
        testing_support::ProgressWindow window;
        afx_standin::FailNthAllocation(nth);
        attached = image.AttachDIB(dib.handle(), window.handle(), NULL);
        afx_standin::ClearFaults();
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << nth;
        EXPECT_EQ(window.messages().back(), ProgressMessage(2, 0)) << nth;
        EXPECT_TRUE(attached || (image.Store == nullptr && afx_standin::LiveAllocations() == live &&
                                 CVmImage::GetMappedBytesTotal() == mapped)) << nth;
    }
    EXPECT_GT(nth, 2);
    EXPECT_EQ(image.Planes, 3);
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 1);
    EXPECT_EQ(GlobalSize(dib.handle()), bytes.size());
}

// Open with the caption, the percent each time its integer value changes
// (0 before the first row, 100 after the last), then close.
TEST(AttachDib, ReportsProgressWithoutFlooding) {
    std::vector<LPARAM> everyPercent(101);
    std::iota(everyPercent.begin(), everyPercent.end(), 0);
    const struct { int rows; std::vector<LPARAM> percents; } cases[] = {
        {1, {0, 100}}, {3, {0, 33, 66, 100}}, {199, {}}, {1000, everyPercent}};
    static const char caption[] = "Reading";
    for (const auto &c : cases) {
        testing_support::ProgressWindow window;
        zircim_test::DibBlock dib(info_header(1, c.rows, 24).fill(std::size_t(c.rows) * 4, 0x40));
        CImage image;
        ASSERT_NE(image.AttachDIB(dib.handle(), window.handle(), caption), 0) << c.rows;
        std::vector<ProgressMessage> expected{{0, reinterpret_cast<LPARAM>(caption)}};
        for (int row = 0; c.percents.empty() && row <= c.rows; ++row)  // 199 rows: 0, 1 (row 2), ..., 99, 100
            if (expected.back().second != row * 100 / c.rows || expected.size() == 1) expected.emplace_back(1, row * 100 / c.rows);
        for (LPARAM percent : c.percents) expected.emplace_back(1, percent);
        expected.emplace_back(2, 0);
        EXPECT_EQ(window.messages(), expected) << c.rows;
    }
}

}  // namespace
