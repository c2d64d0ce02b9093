// AttachDIB beyond the samples: DIBs it refuses, memory failures, progress.
// Whatever fails leaves the image as it was, the block the caller's and
// unlocked, and nothing allocated.
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
Bytes sized(std::uint32_t size) {  // a 24-bit header but for biSize, with room for larger ones
    std::vector<std::uint8_t> bytes = rows(info_header(1, 1, 24).fill(100, 0));
    std::memcpy(bytes.data(), &size, sizeof size);
    return Bytes().append(bytes);
}

TEST(AttachDib, RefusalsLeaveTheImageAsItWas) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const struct { const char *name; Bytes dib; bool opens; } cases[] = {  // opens: refused once progress opened
        {"null handle", Bytes(), false}, {"39 bytes", Bytes().u32(40).i32(1).i32(1).u16(1).u16(24).fill(23, 0), false},
        {"short table", info_header(1, 1, 8).fill(1023, 0), false}, {"core header", sized(12), false},
        {"v4 header", sized(108), false}, {"width 0", rows(info_header(0, 1, 24)), false},
        {"width -1", rows(info_header(-1, 1, 24)), false}, {"height 0", rows(info_header(1, 0, 24)), false},
        {"height INT_MIN", rows(info_header(1, INT_MIN, 24)), false}, {"2 bits", rows(info_header(1, 1, 2)), false},
        {"64 bits", rows(info_header(1, 1, 64)), false}, {"RLE8 of 4 bits", rows(info_header(1, 1, 4, BI_RLE8)), false},
        {"RLE4 of 8 bits", rows(info_header(1, 1, 8, BI_RLE4)), false},
        {"fields of 24 bits", rows(info_header(1, 1, 24, BI_BITFIELDS)), false},
        {"two masks", rows(info_header(1, 1, 16, BI_BITFIELDS, 2)), false},
        {"gap in a mask", rows(info_header(1, 1, 32, BI_BITFIELDS).u32(0xF0).u32(0x0F00).u32(0x1F001)), false},
        {"JPEG", rows(info_header(1, 1, 24, 4)), false}, {"top-down RLE8", rows(info_header(1, -1, 8, BI_RLE8)), false},
        {"top-down RLE4", rows(info_header(1, -1, 4, BI_RLE4)), false},
        {"beyond the store", rows(info_header(65536, 32769, 1, BI_RGB, 2)), true}};
    for (const auto &c : cases) {
        CImage image;  // with content of its own, all of which must stay
        image.Create(2, 1, 1);
        *reinterpret_cast<float *>(image.Store->GetImageAdr(1, 0, 0, 0, 0, NULL)) = 42.0f;
        const CVmImage *store = image.Store;
        const double *levels = image.LevelMax;
        const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
        const long live = afx_standin::LiveAllocations();
        testing_support::ProgressWindow window;
        const HGLOBAL dib = c.dib.size() ? zircim_test::dib_block(c.dib) : NULL;
        EXPECT_EQ(image.AttachDIB(dib, window.handle(), NULL), 0) << c.name;
        EXPECT_EQ(window.messages(), (c.opens ? std::vector<ProgressMessage>{{0, 0}, {2, 0}} : std::vector<ProgressMessage>{})) << c.name;
        EXPECT_EQ(zircim_test::plane_samples(image, 0), (std::vector<float>{0.0f, 42.0f})) << c.name;
        EXPECT_TRUE(image.Store == store && image.LevelMax == levels && image.Width == 2 && image.Planes == 1 && win32_standin::LockedGlobalBlocks() == 0 &&
                    CVmImage::GetMappedBytesTotal() == mapped && afx_standin::LiveAllocations() == live) << c.name;
        GlobalFree(dib);
    }
}

// Whichever framework allocation fails, the call returns 0 with the image as
// it was and progress closed; past the last one it succeeds.
TEST(AttachDib, FrameworkAllocationFailureLeavesNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const HGLOBAL dib = zircim_test::dib_block(info_header(1, 2, 24).fill(8, 0x40));
    CImage image;
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    int nth = 1;
    for (int attached = 0; nth < 50 && !attached; ++nth) {
        testing_support::ProgressWindow window;
        afx_standin::FailNthAllocation(nth);
        attached = image.AttachDIB(dib, window.handle(), NULL);
        afx_standin::ClearFaults();
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << nth;
        EXPECT_EQ(window.messages().back(), ProgressMessage(2, 0)) << nth;
        EXPECT_TRUE(attached || (image.Store == nullptr && afx_standin::LiveAllocations() == live &&
                                 CVmImage::GetMappedBytesTotal() == mapped)) << nth;
    }
    EXPECT_TRUE(nth > 2 && image.Planes == 3 && win32_standin::LiveGlobalBlocks() == 1 && GlobalSize(dib) == 48);
    GlobalFree(dib);
}

// Open with the caption, the percent of rows (or of a copied store's
// blocks) done each time its integer value changes (0 before the first,
// 100 after the last), then close.
TEST(AttachDib, ReportsProgressWithoutFlooding) {
    static const char caption[] = "Reading";
    for (int count : {1, 3, 199, 1000, -7}) {  // rows of a DIB, or -blocks of a store copied
        testing_support::ProgressWindow window;
        const HGLOBAL dib = zircim_test::dib_block(info_header(1, std::abs(count), 24).fill(std::size_t(std::abs(count)) * 4, 0x40));
        CImage image;
        CVmImage store;
        ASSERT_NE(count > 0 ? image.AttachDIB(dib, window.handle(), caption) : store.Create(2, 2, -count, 4), 0) << count;
        if (count < 0) CVmImage copy(store, window.handle(), caption);
        std::vector<ProgressMessage> expected{{0, reinterpret_cast<LPARAM>(caption)}, {1, 0}};
        for (int done = 1; done <= std::abs(count); ++done)
            if (expected.back().second != done * 100 / std::abs(count)) expected.emplace_back(1, done * 100 / std::abs(count));
        expected.emplace_back(2, 0);
        EXPECT_EQ(window.messages(), expected) << count;
        GlobalFree(dib);
    }
}

}  // namespace
