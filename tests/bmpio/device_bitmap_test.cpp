// CBmp::DibFromBitmap and CBmp::BitmapFromDib: the sizes of the capture's
// block, the estimate when the header query leaves the image size 0, NULL
// with nothing held on every failure, and a capture fed back into a bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <win32_standin.h>

#include "bmpio/bmp.h"
#include "platform/win32/gdi32/bitmaps.h"
#include "platform/win32/row_name.h"

using gdi_test::RowsOf;
using gdi_test::ScreenBitmap;
using win32_standin::Call;

namespace {

struct Converter : CBmp {
    using CBmp::BitmapFromDib;
    using CBmp::DibFromBitmap;
};

// Bottom-up 3 × 2, every pixel a different colour.
const std::vector<BYTE> kPixels = {
    0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80, 0x90, 0, 0, 0,  // bottom row, padding
    0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0, 0x01, 0x02, 0x03, 0, 0, 0,  // top row
};

HPALETTE OneColourPalette() {
    LOGPALETTE palette = {0x300, 1, {{0x12, 0x34, 0x56, 0}}};
    return CreatePalette(&palette);
}

// Every test passes its own palette, so that one left selected shows.
class DeviceBitmapTest : public testing::Test {
protected:
    void TearDown() override {
        win32_standin::ClearFaults();
        GlobalFree(dib_);
        DeleteObject(bitmap_);
        DeleteObject(palette_);
        EXPECT_EQ(win32_standin::HeldDCs(), 0);
        EXPECT_EQ(win32_standin::SelectedPalettes(), 0);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
    }
    HDIB Capture(DWORD compression, WORD bitCount) {
        dib_ = Converter::DibFromBitmap(bitmap_, compression, bitCount, palette_);
        return dib_;
    }
    HBITMAP bitmap_ = ScreenBitmap(3, 2, kPixels);
    HPALETTE palette_ = OneColourPalette();
    HDIB dib_ = NULL;
};

struct SizeCase {
    const char *name;
    WORD bitCount;
    SIZE_T firstSize;  // header and colour table
    SIZE_T rowBytes;   // of the 3 × 2 bitmap
};

const SizeCase kSizes[] = {
    {"own_depth_32", 0, 40, 24},
    {"8bit", 8, 40 + 1024, 8},
    {"4bit", 4, 40 + 64, 8},
    {"1bit", 1, 40 + 8, 8},
};

class BlockSize : public DeviceBitmapTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(BlockSize, IsHeaderAndTableFirstThenGrowsByTheRows) {
    const SizeCase &c = GetParam();
    ASSERT_NE(Capture(BI_RGB, c.bitCount), nullptr);
    EXPECT_EQ(win32_standin::LastGlobalAlloc().flags, UINT{GMEM_MOVEABLE | GMEM_ZEROINIT});
    EXPECT_EQ(win32_standin::LastGlobalAlloc().bytes, c.firstSize);
    EXPECT_EQ(win32_standin::LastGlobalReAlloc().flags, 0u) << "the growth is not zero-filled";
    EXPECT_EQ(GlobalSize(dib_), c.firstSize + c.rowBytes);
}

INSTANTIATE_TEST_SUITE_P(DibFromBitmap, BlockSize, testing::ValuesIn(kSizes),
                         win32_test::RowName());

struct EstimateCase {
    const char *name;
    int width, height;
    WORD bitCount;
    DWORD compression;
    SIZE_T estimate;
};

const EstimateCase kEstimates[] = {
    {"24bit_3x2", 3, 2, 24, BI_RGB, 24},
    {"8bit_10x10", 10, 10, 8, BI_RGB, 120},
    {"8bit_10x10_compressed", 10, 10, 8, BI_RLE8, 180},  // one and a half times
    {"4bit_9x3", 9, 3, 4, BI_RGB, 24},
};

class Estimate : public DeviceBitmapTest, public testing::WithParamInterface<EstimateCase> {};

TEST_P(Estimate, SizesTheBlockWhenTheQueryLeavesTheSizeZero) {
    const EstimateCase &c = GetParam();
    DeleteObject(bitmap_);
    bitmap_ = CreateBitmap(c.width, c.height, 1, 32, NULL);
    win32_standin::LeaveSizeImageZeroNth(1);
    Capture(c.compression, c.bitCount);
    const SIZE_T table = c.bitCount == 24 ? 0 : (SIZE_T{4} << c.bitCount);
    EXPECT_EQ(win32_standin::LastGlobalReAlloc().bytes, 40 + table + c.estimate);
}

INSTANTIATE_TEST_SUITE_P(DibFromBitmap, Estimate, testing::ValuesIn(kEstimates),
                         win32_test::RowName());

struct FailureCase {
    const char *name;
    std::function<HBITMAP(HBITMAP, HPALETTE)> arrange;  // the bitmap to capture
};

const FailureCase kFailures[] = {
    {"null_bitmap", [](HBITMAP, HPALETTE) -> HBITMAP { return NULL; }},
    {"not_a_bitmap", [](HBITMAP, HPALETTE palette) { return reinterpret_cast<HBITMAP>(palette); }},
    {"65536_lines", [](HBITMAP, HPALETTE) { return CreateBitmap(1, 65536, 1, 32, NULL); }},
    {"allocation_fails",
     [](HBITMAP bitmap, HPALETTE) {
         win32_standin::FailNth(Call::GlobalAlloc, 1);
         return bitmap;
     }},
    {"resize_fails",
     [](HBITMAP bitmap, HPALETTE) {
         win32_standin::FailNth(Call::GlobalReAlloc, 1);
         return bitmap;
     }},
    {"second_query_fails",
     [](HBITMAP bitmap, HPALETTE) {
         win32_standin::FailNth(Call::GetDIBits, 2);
         return bitmap;
     }},
};

class Failure : public DeviceBitmapTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(Failure, GivesNullWithNothingHeld) {
    const HBITMAP captured = GetParam().arrange(bitmap_, palette_);
    EXPECT_EQ(Converter::DibFromBitmap(captured, BI_RGB, 24, palette_), nullptr);
    if (captured != bitmap_) DeleteObject(captured);
}

INSTANTIATE_TEST_SUITE_P(DibFromBitmap, Failure, testing::ValuesIn(kFailures),
                         win32_test::RowName());

struct RoundTripCase {
    const char *name;
    WORD bitCount;
    bool samePixels;
};

const RoundTripCase kRoundTrips[] = {{"24bit", 24, true}, {"32bit", 32, true}, {"8bit", 8, false}, {"1bit", 1, false}};

class RoundTrip : public DeviceBitmapTest, public testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, GivesABitmapOfTheSameSize) {
    const RoundTripCase &c = GetParam();
    ASSERT_NE(Capture(BI_RGB, c.bitCount), nullptr);
    const std::vector<BYTE> before(static_cast<BYTE *>(GlobalLock(dib_)),
                                   static_cast<BYTE *>(GlobalLock(dib_)) + GlobalSize(dib_));
    GlobalUnlock(dib_);
    GlobalUnlock(dib_);
    HDC screen = GetDC(NULL);
    const HBITMAP copy = Converter::BitmapFromDib(screen, dib_);
    ReleaseDC(NULL, screen);
    ASSERT_NE(copy, nullptr);
    BITMAP record;
    ASSERT_EQ(GetObjectA(copy, sizeof record, &record), static_cast<int>(sizeof record));
    EXPECT_EQ(record.bmWidth, 3);
    EXPECT_EQ(record.bmHeight, 2);
    if (c.samePixels) {
        EXPECT_EQ(RowsOf(copy, 3, 2, 24), kPixels);
    }
    EXPECT_EQ(0, std::memcmp(before.data(), GlobalLock(dib_), before.size())) << "the DIB is read only";
    GlobalUnlock(dib_);
    DeleteObject(copy);
}

INSTANTIATE_TEST_SUITE_P(BitmapFromDib, RoundTrip, testing::ValuesIn(kRoundTrips),
                         win32_test::RowName());

TEST_F(DeviceBitmapTest, BitmapFromDibRefusesNoDibAndABlockShorterThanItsRows) {
    HDC screen = GetDC(NULL);
    EXPECT_EQ(Converter::BitmapFromDib(screen, NULL), nullptr);
    ASSERT_NE(Capture(BI_RGB, 24), nullptr);
    dib_ = GlobalReAlloc(dib_, GlobalSize(dib_) - 1, GMEM_MOVEABLE);
    EXPECT_EQ(Converter::BitmapFromDib(screen, dib_), nullptr);
    ReleaseDC(NULL, screen);
}

}  // namespace
