// GetDIBits and CreateDIBitmap as Wine's gdi32 bitmap tests record Windows:
// default colour tables, completed headers, rows at every depth.
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/gdi32/bitmaps.h"
#include "platform/win32/row_name.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using gdi_test::Dib;
using gdi_test::DibOf;
using gdi_test::InfoOf;
using gdi_test::RowsOf;
using gdi_test::ScreenBitmap;

// Bottom-up 2 × 2: black, white below; red, blue above.
const std::vector<BYTE> kPixels = {
    0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom row (B, G, R), padding
    0, 0, 0xFF, 0xFF, 0, 0, 0, 0,     // top row
};

class DibTest : public testing::Test {
protected:
    void TearDown() override {
        win32_standin::ClearFaults();
        win32_standin::SetScreenDepth(32);
        DeleteObject(bitmap_);
        EXPECT_EQ(win32_standin::HeldDCs(), 0);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
    }
    // The header completed by a query without bits.
    int Query(Dib *dib) {
        HDC screen = GetDC(NULL);
        const int result = GetDIBits(screen, bitmap_, 0, 3, NULL, InfoOf(*dib), DIB_RGB_COLORS);
        ReleaseDC(NULL, screen);
        return result;
    }
    HBITMAP bitmap_ = NULL;
};

struct ColorCase {
    const char *name;
    WORD bitCount;
    int index;
    RGBQUAD expected;  // blue, green, red
};

// The 8-bit table holds the 20 static colours at its ends and a 2-3-3 cube
// between them; the 4-bit table is the VGA set.
const ColorCase kColors[] = {
    {"mono_black", 1, 0, {0, 0, 0, 0}},          {"mono_white", 1, 1, {0xFF, 0xFF, 0xFF, 0}},
    {"vga_dark_gray", 4, 7, {0x80, 0x80, 0x80, 0}}, {"vga_light_gray", 4, 8, {0xC0, 0xC0, 0xC0, 0}},
    {"vga_red", 4, 9, {0, 0, 0xFF, 0}},          {"static_money_green", 8, 8, {0xC0, 0xDC, 0xC0, 0}},
    {"cube_first", 8, 10, {0, 0x20, 0x40, 0}},   {"cube_last", 8, 245, {0xC0, 0xC0, 0xA0, 0}},
    {"static_cream", 8, 246, {0xF0, 0xFB, 0xFF, 0}}, {"static_white", 8, 255, {0xFF, 0xFF, 0xFF, 0}},
};

class DefaultColors : public DibTest, public testing::WithParamInterface<ColorCase> {};

TEST_P(DefaultColors, AreWrittenBehindTheHeader) {
    const ColorCase &c = GetParam();
    bitmap_ = ScreenBitmap(2, 2, kPixels);
    Dib dib = DibOf(2, 3, c.bitCount);
    dib.header.biClrUsed = 37;
    ASSERT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biClrUsed, 0u);
    EXPECT_EQ(0, std::memcmp(&dib.colors[c.index], &c.expected, sizeof(RGBQUAD)));
}

INSTANTIATE_TEST_SUITE_P(GetDIBits, DefaultColors, testing::ValuesIn(kColors), win32_test::RowName());

struct RowsCase {
    const char *name;
    WORD bitCount;
    DWORD sizeImage;  // of a 2 × 3 DIB
    std::vector<BYTE> rows;
};

const RowsCase kRows[] = {
    {"mono", 1, 12, {0x40, 0, 0, 0, 0x00, 0, 0, 0}},  // red and blue are nearer black than white
    {"vga", 4, 12, {0x0F, 0, 0, 0, 0x9C, 0, 0, 0}},
    {"256", 8, 12, {0, 255, 0, 0, 249, 252, 0, 0}},
    {"x555", 16, 12, {0, 0, 0xFF, 0x7F, 0x00, 0x7C, 0x1F, 0}},
    {"bgr", 24, 24, kPixels},
    {"bgrx", 32, 24, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0}},
};

class Rows : public DibTest, public testing::WithParamInterface<RowsCase> {};

TEST_P(Rows, AreCopiedBottomUpWithTheSizeCompleted) {
    const RowsCase &c = GetParam();
    bitmap_ = ScreenBitmap(2, 2, kPixels);
    Dib dib = DibOf(2, 3, c.bitCount);
    ASSERT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biSizeImage, c.sizeImage);
    EXPECT_EQ(RowsOf(bitmap_, 2, 2, c.bitCount), c.rows);
}

INSTANTIATE_TEST_SUITE_P(GetDIBits, Rows, testing::ValuesIn(kRows), win32_test::RowName());

struct DepthCase {
    const char *name;
    WORD screenDepth;
    bool screenDc;            // false: CreateDIBitmap without a DC
    std::vector<BYTE> shown;  // (0x56, 0x34, 0x12) as a 24-bit row reads it back
};

const DepthCase kDepths[] = {
    {"no_dc_monochrome", 32, false, {0, 0, 0, 0}},
    {"screen_8_nearest_cube_entry", 8, true, {0x40, 0x40, 0x20, 0}},
    {"screen_16_as_565", 16, true, {0x52, 0x34, 0x10, 0}},
    {"screen_24_exact", 24, true, {0x56, 0x34, 0x12, 0}},
};

class Depth : public DibTest, public testing::WithParamInterface<DepthCase> {};

TEST_P(Depth, LimitsTheColoursABitmapHolds) {
    const DepthCase &c = GetParam();
    win32_standin::SetScreenDepth(c.screenDepth);
    HDC screen = c.screenDc ? GetDC(NULL) : NULL;
    Dib dib = DibOf(1, 1, 24);
    const std::vector<BYTE> pixel = {0x56, 0x34, 0x12, 0};
    bitmap_ = CreateDIBitmap(screen, &dib.header, CBM_INIT, pixel.data(), InfoOf(dib), DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    BITMAP description;
    ASSERT_EQ(GetObjectA(bitmap_, sizeof description, &description), static_cast<int>(sizeof description));
    EXPECT_EQ(description.bmBitsPixel, c.screenDc ? c.screenDepth : 1);
    EXPECT_EQ(RowsOf(bitmap_, 1, 1, 24), c.shown);
}

INSTANTIATE_TEST_SUITE_P(CreateDIBitmap, Depth, testing::ValuesIn(kDepths), win32_test::RowName());

TEST_F(DibTest, RunLengthFormatsAreSizedButNotCopied) {
    bitmap_ = ScreenBitmap(2, 2, kPixels);
    Dib dib = DibOf(2, 3, 8, BI_RLE8);
    EXPECT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biSizeImage, 12u) << "the uncompressed size, as Wine gives it";
    std::vector<BYTE> rows(12);
    HDC screen = GetDC(NULL);
    EXPECT_EQ(GetDIBits(screen, bitmap_, 0, 2, rows.data(), InfoOf(dib), DIB_RGB_COLORS), 0);
    ReleaseDC(NULL, screen);
}

TEST_F(DibTest, SeamsFailACallOrLeaveTheSizeZeroOnce) {
    bitmap_ = ScreenBitmap(2, 2, kPixels);
    Dib dib = DibOf(2, 3, 24);
    win32_standin::FailNth(win32_standin::Call::GetDIBits, 1);
    SetLastError(0);
    EXPECT_EQ(Query(&dib), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
    EXPECT_EQ(dib.header.biSizeImage, 0u) << "a failed call changes nothing";
    win32_standin::LeaveSizeImageZeroNth(1);
    EXPECT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biSizeImage, 0u);
    EXPECT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biSizeImage, 24u);
}

}  // namespace
