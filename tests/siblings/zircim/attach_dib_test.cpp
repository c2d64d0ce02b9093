// AttachDIB beyond the samples: DIBs it refuses, leaving the image as it was, the block the caller's and unlocked,
// and nothing allocated; progress. (Its memory failures are in the bmpio fault sweep.)
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <climits>

#include "dib_fixture.h"
#include "support/progress_window.h"

namespace {

using testing_support::ProgressMessage;
using zircim_test::Bytes;
using zircim_test::info_header;

Bytes rows(Bytes b) { return b.fill(64, 0); }
Bytes sized(std::uint32_t size) {
    return rows(Bytes().u32(size).i32(1).i32(1).u16(1).u16(24).fill(128, 0));
} // 1 x 1 at 24 bits, room behind

TEST(AttachDib, RefusalsLeaveTheImageAsItWas) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const std::pair<const char *, Bytes> cases[] = {
        {"null handle", Bytes()},
        {"39 bytes", Bytes().u32(40).i32(1).i32(1).u16(1).u16(24).fill(23, 0)},
        {"short table", info_header(1, 1, 8).fill(1023, 0)},
        {"core header", sized(12)},
        {"v4 header", sized(108)},
        {"width 0", rows(info_header(0, 1, 24))},
        {"width -1", rows(info_header(-1, 1, 24))},
        {"height 0", rows(info_header(1, 0, 24))},
        {"height INT_MIN", rows(info_header(1, INT_MIN, 24))},
        {"2 bits", rows(info_header(1, 1, 2))},
        {"64 bits", rows(info_header(1, 1, 64))},
        {"RLE8 of 4 bits", rows(info_header(1, 1, 4, BI_RLE8))},
        {"RLE4 of 8 bits", rows(info_header(1, 1, 8, BI_RLE4))},
        {"fields of 24 bits", rows(info_header(1, 1, 24, BI_BITFIELDS))},
        {"two masks", rows(info_header(1, 1, 16, BI_BITFIELDS, 2))},
        {"gap in red", rows(info_header(1, 1, 32, BI_BITFIELDS).u32(0x1F001).u32(0x0F00).u32(0xF0))},
        {"JPEG", rows(info_header(1, 1, 24, 4))},
        {"gap in green", rows(info_header(1, 1, 32, BI_BITFIELDS).u32(0xF0).u32(0x1F001).u32(0x0F00))},
        {"gap in blue", rows(info_header(1, 1, 32, BI_BITFIELDS).u32(0xF0).u32(0x0F00).u32(0x1F001))},
        {"top-down RLE8", rows(info_header(1, -1, 8, BI_RLE8))},
        {"top-down RLE4", rows(info_header(1, -1, 4, BI_RLE4))},
        {"beyond the store", rows(info_header(65536, 32769, 1, BI_RGB, 2))}}; // the last refused once progress opened
    for (const auto &[name, bytes] : cases) {
        CImage image; // with content of its own, all of which must stay
        image.Create(2, 1, 1);
        *reinterpret_cast<float *>(image.Store->GetImageAdr(1, 0, 0, 0, 0, NULL)) = 42.0f;
        const CVmImage *store = image.Store;
        const double *levels = image.LevelMax;
        const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
        const long live = afx_standin::LiveAllocations();
        testing_support::ProgressWindow window;
        const HGLOBAL dib = bytes.size() ? zircim_test::dib_block(bytes) : NULL;
        EXPECT_EQ(image.AttachDIB(dib, window.handle(), NULL), 0) << name;
        EXPECT_EQ(window.messages(),
                  (name[0] == 'b' ? std::vector<ProgressMessage>{{0, 0}, {2, 0}} : std::vector<ProgressMessage>{}))
            << name;
        EXPECT_EQ(zircim_test::plane_samples(image, 0), (std::vector<float>{0.0f, 42.0f})) << name;
        EXPECT_TRUE(image.Store == store && image.LevelMax == levels && image.Width == 2 && image.Planes == 1 &&
                    win32_standin::LockedGlobalBlocks() == 0 && CVmImage::GetMappedBytesTotal() == mapped &&
                    afx_standin::LiveAllocations() == live)
            << name;
        GlobalFree(dib);
    }
}

// Open with the caption, the percent of rows (or of a copied store's blocks) done each time its integer value
// changes (0 before the first, 100 after the last), then close. Rows past the end of a block cut short are not
// reported: the read jumps to 100. Past half a million samples two threads decode half the rows each, and each row
// of the calling thread's counts twice.
TEST(AttachDib, ReportsProgressWithoutFlooding) {
    static const char caption[] = "Reading";
    const struct {
        int count, held, width;
        std::size_t cut;
    } cases[] = {{1, 1, 1, 0},      {3, 3, 1, 0},  {199, 199, 1, 0}, {1000, 1000, 1, 0},
                 {1000, 250, 1, 0}, {-7, 7, 1, 0}, {6, 6, 30000, 0}, {9, 6, 100000, 7}}; // -blocks of a store copied
    for (const auto [count, held, width, cut] : cases) { // cut: bytes of a row cut short after the rows held
        testing_support::ProgressWindow window;
        const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t{3};
        const HGLOBAL dib = zircim_test::dib_block(
            info_header(width, std::abs(count), 24).fill(std::size_t(held) * stride + cut, 0x40));
        CImage image;
        CVmImage store;
        ASSERT_NE(count > 0 ? image.AttachDIB(dib, window.handle(), caption) : store.Create(2, 2, -count, 4), 0)
            << count;
        if (count < 0)
            CVmImage copy(store, window.handle(), caption);
        const bool halves = width * held * 3 >= 1 << 19;
        std::vector<int> done; // rows counted as each row is begun
        for (int row = 1; row < (halves ? held / 2 : held); ++row)
            done.push_back(row * (halves ? 2 : 1));
        if (cut != 0)
            done.push_back(held);
        std::vector<ProgressMessage> expected{{0, reinterpret_cast<LPARAM>(caption)}, {1, 0}};
        for (int rows : done)
            if (expected.back().second != rows * 100 / std::abs(count))
                expected.emplace_back(1, rows * 100 / std::abs(count));
        if (expected.back().second != 100)
            expected.emplace_back(1, 100);
        expected.emplace_back(2, 0);
        EXPECT_EQ(window.messages(), expected) << count << " " << held;
        GlobalFree(dib);
    }
}

} // namespace
