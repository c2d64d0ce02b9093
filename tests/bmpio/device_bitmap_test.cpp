// CBmp::DibFromBitmap and CBmp::BitmapFromDib: the sizes of the capture's
// block, the estimate when the header query leaves the image size 0, NULL
// with nothing held on every failure, and a capture fed back into a bitmap.
#include <gtest/gtest.h>

#include <utility>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "platform/win32/gdi32/bitmaps.h"
#include "support/win32_seams.h"

using dib_fixtures::bytes_of;
using gdi_test::RowsOf;
using gdi_test::ScreenBitmap;
using win32_standin::Call;

namespace {

struct Converter : CBmp {
    using CBmp::BitmapFromDib;
    using CBmp::DibFromBitmap;
};

// Bottom-up 3 x 2, every pixel a different colour.
const std::vector<BYTE> kPixels = {
    0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0, 0, 0,  // bottom row, padding
    0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x01, 0x02, 0x03, 0, 0, 0,  // top row
};

// Nothing of a conversion left behind: device contexts, selected palettes, blocks.
void expect_nothing_held() {
    win32_standin::ClearFaults();
    EXPECT_EQ(win32_standin::HeldDCs(), 0);
    EXPECT_EQ(win32_standin::SelectedPalettes(), 0);
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 0);
    EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
}

// Every test passes its own palette, so that one left selected shows.
class DeviceBitmapTest : public testing::Test {
protected:
    void TearDown() override {
        DeleteObject(bitmap_);
        DeleteObject(palette_);
        if (!testing_support::kWin32Seams)
            return;  // leaks are counted where the stand-in keeps the accounts
        expect_nothing_held();
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
    }
    HBITMAP bitmap_ = ScreenBitmap(3, 2, kPixels);
    HPALETTE palette_ = [] {
        LOGPALETTE palette = {0x300, 1, {{0x12, 0x34, 0x56, 0}}};
        return CreatePalette(&palette);
    }();
};

// One zeroed allocation for header and table, one resize (not zero-filled)
// for the rows; fed back, a bitmap of the same size, and at 24 and 32 bits
// the same pixels.
TEST_F(DeviceBitmapTest, CaptureGrowsItsBlockOnceAndFeedsBack) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const struct { const char *name; WORD bitCount; SIZE_T firstSize, rowBytes; bool samePixels; } cases[] = {
        {"own_depth_32", 0, 40, 24, true}, {"24bit", 24, 40, 24, true}, {"8bit", 8, 40 + 1024, 8, false},
        {"4bit", 4, 40 + 64, 8, false},    {"1bit", 1, 40 + 8, 8, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const HDIB dib = Converter::DibFromBitmap(bitmap_, BI_RGB, c.bitCount, palette_);
        ASSERT_NE(dib, nullptr);
        const auto alloc = win32_standin::LastGlobalAlloc(), resize = win32_standin::LastGlobalReAlloc();
        EXPECT_EQ(std::make_pair(alloc.flags, alloc.bytes), std::make_pair(UINT{GMEM_MOVEABLE | GMEM_ZEROINIT},
                                                                           c.firstSize));
        EXPECT_EQ(std::make_pair(resize.flags, GlobalSize(dib)), std::make_pair(0u, c.firstSize + c.rowBytes));
        const std::vector<BYTE> before = bytes_of(dib);
        HDC screen = GetDC(NULL);
        const HBITMAP copy = Converter::BitmapFromDib(screen, dib);
        ReleaseDC(NULL, screen);
        BITMAP record{};
        GetObjectA(copy, sizeof record, &record);
        EXPECT_EQ(std::make_pair(record.bmWidth, record.bmHeight), std::make_pair(LONG{3}, LONG{2}));
        if (c.samePixels) {
            EXPECT_EQ(RowsOf(copy, 3, 2, 24), kPixels);
        }
        EXPECT_EQ(bytes_of(dib), before) << "the DIB is read only";
        DeleteObject(copy);
        GlobalFree(dib);
    }
}

// Padded rows, one and a half times that when compressed.
TEST_F(DeviceBitmapTest, EstimateSizesTheBlockWhenTheQueryLeavesTheSizeZero) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const struct { const char *name; int width, height; WORD bitCount; DWORD compression; SIZE_T estimate; } cases[] = {
        {"24bit_3x2", 3, 2, 24, BI_RGB, 24},          {"8bit_10x10", 10, 10, 8, BI_RGB, 120},
        {"8bit_10x10_rle", 10, 10, 8, BI_RLE8, 180}, {"4bit_9x3", 9, 3, 4, BI_RGB, 24},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const HBITMAP bitmap = CreateBitmap(c.width, c.height, 1, 32, NULL);
        win32_standin::LeaveSizeImageZeroNth(1);
        GlobalFree(Converter::DibFromBitmap(bitmap, c.compression, c.bitCount, palette_));
        const SIZE_T table = c.bitCount == 24 ? 0 : (SIZE_T{4} << c.bitCount);
        EXPECT_EQ(win32_standin::LastGlobalReAlloc().bytes, 40 + table + c.estimate);
        DeleteObject(bitmap);
    }
}

TEST_F(DeviceBitmapTest, FailureGivesNullWithNothingHeld) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const HBITMAP tall = CreateBitmap(1, 65536, 1, 32, NULL), notABitmap = reinterpret_cast<HBITMAP>(palette_);
    const struct { const char *name; HBITMAP bitmap; Call fault; int nth; } cases[] = {  // nth 0: no fault
        {"null_bitmap", NULL, Call::GlobalAlloc, 0},       {"not_a_bitmap", notABitmap, Call::GlobalAlloc, 0},
        {"65536_lines", tall, Call::GlobalAlloc, 0},       {"allocation_fails", bitmap_, Call::GlobalAlloc, 1},
        {"resize_fails", bitmap_, Call::GlobalReAlloc, 1}, {"second_query_fails", bitmap_, Call::GetDIBits, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        win32_standin::FailNth(c.fault, c.nth);
        EXPECT_EQ(Converter::DibFromBitmap(c.bitmap, BI_RGB, 24, palette_), nullptr);
        expect_nothing_held();
    }
    DeleteObject(tall);
}

TEST_F(DeviceBitmapTest, BitmapFromDibRefusesNoDibAndABlockShorterThanItsRows) {
    HDC screen = GetDC(NULL);
    EXPECT_EQ(Converter::BitmapFromDib(screen, NULL), nullptr);
    HDIB dib = Converter::DibFromBitmap(bitmap_, BI_RGB, 24, palette_);
    ASSERT_NE(dib, nullptr);
    dib = GlobalReAlloc(dib, GlobalSize(dib) - 1, GMEM_MOVEABLE);
    EXPECT_EQ(Converter::BitmapFromDib(screen, dib), nullptr);
    ReleaseDC(NULL, screen);
    GlobalFree(dib);
}

}  // namespace
