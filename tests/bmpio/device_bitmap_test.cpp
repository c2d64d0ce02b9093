// CBmp::DibFromBitmap and CBmp::BitmapFromDib: the sizes of the capture's
// block, the estimate when the header query leaves the image size 0, NULL
// with nothing held on every failure, and a capture fed back into a bitmap.
#include <gtest/gtest.h>

#include <utility>

#include "bmpio/bmp.h"
#include "platform/win32/gdi32/bitmaps.h"
#include "platform/win32/row_name.h"
#include "support/win32_seams.h"

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

std::vector<BYTE> BytesOf(HGLOBAL block) {
    const BYTE *bytes = static_cast<const BYTE *>(GlobalLock(block));
    std::vector<BYTE> copy(bytes, bytes + GlobalSize(block));
    GlobalUnlock(block);
    return copy;
}

HPALETTE OneColourPalette() {
    LOGPALETTE palette = {0x300, 1, {{0x12, 0x34, 0x56, 0}}};
    return CreatePalette(&palette);
}

// Every test passes its own palette, so that one left selected shows.
class DeviceBitmapTest : public testing::Test {
protected:
    void TearDown() override {
        GlobalFree(dib_);
        DeleteObject(bitmap_);
        DeleteObject(palette_);
        if (!testing_support::kWin32Seams)
            return;  // leaks are counted where the stand-in keeps the accounts
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::HeldDCs(), 0);
        EXPECT_EQ(win32_standin::SelectedPalettes(), 0);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
    }
    HDIB CaptureAt(DWORD compression, WORD bitCount) {
        dib_ = Converter::DibFromBitmap(bitmap_, compression, bitCount, palette_);
        return dib_;
    }
    HBITMAP bitmap_ = ScreenBitmap(3, 2, kPixels);
    HPALETTE palette_ = OneColourPalette();
    HDIB dib_ = NULL;
};

struct CaptureCase {
    const char *name;
    WORD bitCount;
    SIZE_T firstSize;  // header and colour table
    SIZE_T rowBytes;   // of the 3 × 2 bitmap
    bool samePixels;   // when fed back
};

const CaptureCase kCaptures[] = {
    {"own_depth_32", 0, 40, 24, true},
    {"24bit", 24, 40, 24, true},
    {"8bit", 8, 40 + 1024, 8, false},
    {"4bit", 4, 40 + 64, 8, false},
    {"1bit", 1, 40 + 8, 8, false},
};

class Capture : public DeviceBitmapTest, public testing::WithParamInterface<CaptureCase> {};

TEST_P(Capture, GrowsItsBlockOnceAndFeedsBackIntoABitmapOfTheSameSize) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const CaptureCase &c = GetParam();
    ASSERT_NE(CaptureAt(BI_RGB, c.bitCount), nullptr);
    EXPECT_EQ(win32_standin::LastGlobalAlloc().flags, UINT{GMEM_MOVEABLE | GMEM_ZEROINIT});
    EXPECT_EQ(win32_standin::LastGlobalAlloc().bytes, c.firstSize);
    EXPECT_EQ(win32_standin::LastGlobalReAlloc().flags, 0u) << "the growth is not zero-filled";
    ASSERT_EQ(GlobalSize(dib_), c.firstSize + c.rowBytes);
    const std::vector<BYTE> before = BytesOf(dib_);
    HDC screen = GetDC(NULL);
    const HBITMAP copy = Converter::BitmapFromDib(screen, dib_);
    ReleaseDC(NULL, screen);
    BITMAP record;
    ASSERT_EQ(GetObjectA(copy, sizeof record, &record), static_cast<int>(sizeof record));
    EXPECT_EQ(std::make_pair(record.bmWidth, record.bmHeight), std::make_pair(LONG{3}, LONG{2}));
    if (c.samePixels) {
        EXPECT_EQ(RowsOf(copy, 3, 2, 24), kPixels);
    }
    EXPECT_EQ(BytesOf(dib_), before) << "the DIB is read only";
    DeleteObject(copy);
}

INSTANTIATE_TEST_SUITE_P(DibFromBitmap, Capture, testing::ValuesIn(kCaptures), win32_test::RowName());

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
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const EstimateCase &c = GetParam();
    DeleteObject(bitmap_);
    bitmap_ = CreateBitmap(c.width, c.height, 1, 32, NULL);
    win32_standin::LeaveSizeImageZeroNth(1);
    CaptureAt(c.compression, c.bitCount);
    const SIZE_T table = c.bitCount == 24 ? 0 : (SIZE_T{4} << c.bitCount);
    EXPECT_EQ(win32_standin::LastGlobalReAlloc().bytes, 40 + table + c.estimate);
}

INSTANTIATE_TEST_SUITE_P(DibFromBitmap, Estimate, testing::ValuesIn(kEstimates),
                         win32_test::RowName());

// The bitmap given, and the call made to fail (none when nth is 0).
enum class Given { NoBitmap, APalette, TallBitmap, TheBitmap };

struct FailureCase {
    const char *name;
    Given given;
    Call fault;
    int nth;
};

const FailureCase kFailures[] = {
    {"null_bitmap", Given::NoBitmap, Call::GlobalAlloc, 0},
    {"not_a_bitmap", Given::APalette, Call::GlobalAlloc, 0},
    {"65536_lines", Given::TallBitmap, Call::GlobalAlloc, 0},
    {"allocation_fails", Given::TheBitmap, Call::GlobalAlloc, 1},
    {"resize_fails", Given::TheBitmap, Call::GlobalReAlloc, 1},
    {"second_query_fails", Given::TheBitmap, Call::GetDIBits, 2},
};

class Failure : public DeviceBitmapTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(Failure, GivesNullWithNothingHeld) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const FailureCase &c = GetParam();
    const HBITMAP tall = CreateBitmap(1, 65536, 1, 32, NULL);
    const HBITMAP given[] = {NULL, reinterpret_cast<HBITMAP>(palette_), tall, bitmap_};
    win32_standin::FailNth(c.fault, c.nth);
    EXPECT_EQ(Converter::DibFromBitmap(given[static_cast<int>(c.given)], BI_RGB, 24, palette_), nullptr);
    DeleteObject(tall);
}

INSTANTIATE_TEST_SUITE_P(DibFromBitmap, Failure, testing::ValuesIn(kFailures),
                         win32_test::RowName());

TEST_F(DeviceBitmapTest, BitmapFromDibRefusesNoDibAndABlockShorterThanItsRows) {
    HDC screen = GetDC(NULL);
    EXPECT_EQ(Converter::BitmapFromDib(screen, NULL), nullptr);
    ASSERT_NE(CaptureAt(BI_RGB, 24), nullptr);
    dib_ = GlobalReAlloc(dib_, GlobalSize(dib_) - 1, GMEM_MOVEABLE);
    EXPECT_EQ(Converter::BitmapFromDib(screen, dib_), nullptr);
    ReleaseDC(NULL, screen);
}

}  // namespace
