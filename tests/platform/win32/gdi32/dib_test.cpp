// GetDIBits and CreateDIBitmap as Wine's gdi32 bitmap tests record Windows:
// default colour tables, completed headers, rows at every depth.
#include "platform/win32/gdi32/bitmaps.h"
#include "platform/win32/win32_test.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace {

using namespace gdi_test;

// Bottom-up 2 × 2: black, white below; red, blue above.
const std::vector<BYTE> kPixels = {
    0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom row (B, G, R), padding
    0, 0, 0xFF, 0xFF, 0, 0, 0, 0,     // top row
};

class DibTest : public testing::Test {
protected:
    void TearDown() override {
        DeleteObject(bitmap_);
        if (!testing_support::kWin32Seams) return;
        win32_standin::ClearFaults();
        win32_standin::SetScreenDepth(32);
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
    HBITMAP bitmap_ = ScreenBitmap(2, 2, kPixels);
};

// The 8-bit table holds the 20 static colours at its ends and a 2-3-3 cube
// between them; the 4-bit table is the VGA set.
TEST_F(DibTest, DefaultColourTablesAreWrittenBehindTheHeader) {
    const struct { const char *name; WORD bitCount; int index; RGBQUAD expected; } kCases[] = {
        {"mono_white", 1, 1, {0xFF, 0xFF, 0xFF, 0}},      {"vga_dark_gray", 4, 7, {0x80, 0x80, 0x80, 0}},
        {"vga_light_gray", 4, 8, {0xC0, 0xC0, 0xC0, 0}},  {"static_money_green", 8, 8, {0xC0, 0xDC, 0xC0, 0}},
        {"cube_first", 8, 10, {0, 0x20, 0x40, 0}},        {"cube_last", 8, 245, {0xC0, 0xC0, 0xA0, 0}},
        {"static_cream", 8, 246, {0xF0, 0xFB, 0xFF, 0}},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        Dib dib = DibOf(2, 3, c.bitCount);
        dib.header.biClrUsed = 37;
        ASSERT_EQ(Query(&dib), 1);
        EXPECT_EQ(dib.header.biClrUsed, 0u);
        EXPECT_EQ(0, std::memcmp(&dib.colors[c.index], &c.expected, sizeof(RGBQUAD)));
    }
}

// Colours become indexes by the nearest table entry. Run-length formats are
// sized uncompressed and not copied: Wine's behaviour, not Windows'.
TEST_F(DibTest, RowsAreCopiedBottomUpWithTheSizeCompleted) {
    // sizeImage: of a 2 × 3 DIB
    const struct { const char *name; WORD bitCount; DWORD compression, sizeImage; std::vector<BYTE> rows; } kCases[] = {
        {"mono", 1, BI_RGB, 12, {0x40, 0, 0, 0, 0x00, 0, 0, 0}},  // red and blue are nearer black than white
        {"vga", 4, BI_RGB, 12, {0x0F, 0, 0, 0, 0x9C, 0, 0, 0}},
        {"256", 8, BI_RGB, 12, {0, 255, 0, 0, 249, 252, 0, 0}},
        {"rle8", 8, BI_RLE8, 12, {}},
        {"bgr", 24, BI_RGB, 24, kPixels},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        Dib dib = DibOf(2, 3, c.bitCount, c.compression);
        ASSERT_EQ(Query(&dib), 1);
        EXPECT_EQ(dib.header.biSizeImage, c.sizeImage);
        EXPECT_EQ(RowsOf(bitmap_, 2, 2, c.bitCount, c.compression), c.rows);
    }
}

// Round trips at every depth against rows packed from the BMP layout: rows
// of 4-byte multiples, index pixels from the high bits of a byte, 16 bits
// as x555, 24 as B G R, 32 as B G R 0. Index DIBs use the default table's
// colours that occur once in it; direct colours are 5-bit levels widened,
// which 16 bits keep. Width 13 leaves part of a byte and padding.
TEST_F(DibTest, RoundTripsMatchRowsPackedFromTheLayout) {
    constexpr LONG kWidth = 13, kHeight = 3;
    std::mt19937 random(21);
    auto rowBytes = [](WORD bits) { return ((kWidth * bits + 31) / 32) * 4; };
    for (WORD bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        Dib dib = DibOf(kWidth, kHeight, bits);
        ASSERT_EQ(Query(&dib), 1);
        std::vector<BYTE> packed(rowBytes(bits) * kHeight, 0), bgr(rowBytes(24) * kHeight, 0);
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) {
                BYTE *row = &packed[y * rowBytes(bits)], *out = &bgr[y * rowBytes(24) + 3 * x];
                if (bits <= 8) {
                    int index;
                    do index = static_cast<int>(random() % (1u << bits));
                    while (std::count_if(dib.colors, dib.colors + (1 << bits), [&](const RGBQUAD &q) {
                               return !std::memcmp(&q, &dib.colors[index], sizeof q);
                           }) != 1);
                    row[x * bits / 8] |= static_cast<BYTE>(index << (8 - bits - x * bits % 8));
                    const RGBQUAD &q = dib.colors[index];
                    out[0] = q.rgbBlue, out[1] = q.rgbGreen, out[2] = q.rgbRed;
                    continue;
                }
                int level[3];
                for (int c = 0; c < 3; ++c) {
                    level[c] = static_cast<int>(random() % 32);
                    out[c] = static_cast<BYTE>(level[c] << 3 | level[c] >> 2);
                }
                const DWORD value = bits == 16 ? level[2] << 10 | level[1] << 5 | level[0]
                                               : DWORD{out[2]} << 16 | DWORD{out[1]} << 8 | out[0];
                for (int b = 0; b < bits / 8; ++b) row[x * bits / 8 + b] = static_cast<BYTE>(value >> (8 * b));
            }
        HDC screen = GetDC(NULL);
        HBITMAP bitmap = CreateDIBitmap(screen, &dib.header, CBM_INIT, packed.data(), InfoOf(dib), DIB_RGB_COLORS);
        ReleaseDC(NULL, screen);
        EXPECT_EQ(RowsOf(bitmap, kWidth, kHeight, 24), bgr) << "read in";
        DeleteObject(bitmap);
        bitmap = ScreenBitmap(kWidth, kHeight, bgr);
        EXPECT_EQ(RowsOf(bitmap, kWidth, kHeight, bits), packed) << "written out";
        DeleteObject(bitmap);
    }
}

TEST_F(DibTest, WithoutADcABitmapIsMonochrome) {
    Dib dib = DibOf(1, 1, 24);
    const BYTE pixel[] = {0x56, 0x34, 0x12, 0};
    HBITMAP bitmap = CreateDIBitmap(NULL, &dib.header, CBM_INIT, pixel, InfoOf(dib), DIB_RGB_COLORS);
    BITMAP description;
    ASSERT_EQ(GetObjectA(bitmap, sizeof description, &description), static_cast<int>(sizeof description));
    EXPECT_EQ(description.bmBitsPixel, 1);
    EXPECT_EQ(RowsOf(bitmap, 1, 1, 24), std::vector<BYTE>(4, 0)) << "dark, so black";
    DeleteObject(bitmap);
}

TEST_F(DibTest, EmptyDibsMakeNoBitmap) {
    SKIP_WITHOUT_WIN32_SEAMS("the subset's refusals");
    Dib empty = DibOf(0, 1, 24);
    EXPECT_LAST_ERROR(CreateDIBitmap(NULL, &empty.header, 0, nullptr, InfoOf(empty), DIB_RGB_COLORS), nullptr,
                      ERROR_INVALID_PARAMETER);
}

TEST_F(DibTest, ScreenDepthLimitsTheColoursABitmapHolds) {
    SKIP_WITHOUT_WIN32_SEAMS("screen depth");
    BITMAP made;  // the fixture's, at the depth a screen has until a test sets one
    ASSERT_EQ(GetObjectA(bitmap_, sizeof made, &made), static_cast<int>(sizeof made));
    EXPECT_EQ(made.bmBitsPixel, 32);
    // shown: the pixel as a 24-bit row reads it back.
    const struct { const char *name; WORD screenDepth; std::vector<BYTE> shown; } kCases[] = {
        {"screen_8_nearest_cube_entry", 8, {0x40, 0x40, 0x20, 0}},
        {"screen_16_as_565", 16, {0x52, 0x34, 0x10, 0}},
    };
    const BYTE pixel[] = {0x56, 0x34, 0x12, 0};
    Dib dib = DibOf(1, 1, 24);
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        win32_standin::SetScreenDepth(c.screenDepth);
        HDC screen = GetDC(NULL);
        HBITMAP bitmap = CreateDIBitmap(screen, &dib.header, CBM_INIT, pixel, InfoOf(dib), DIB_RGB_COLORS);
        ReleaseDC(NULL, screen);
        BITMAP description;
        ASSERT_EQ(GetObjectA(bitmap, sizeof description, &description), static_cast<int>(sizeof description));
        EXPECT_EQ(description.bmBitsPixel, c.screenDepth);
        EXPECT_EQ(RowsOf(bitmap, 1, 1, 24), c.shown);
        DeleteObject(bitmap);
    }
}

TEST_F(DibTest, SeamsFailACallOrLeaveTheSizeZeroOnce) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    Dib dib = DibOf(2, 3, 24);
    win32_standin::FailNth(win32_standin::Call::GetDIBits, 1);
    EXPECT_LAST_ERROR(Query(&dib), 0, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(dib.header.biSizeImage, 0u) << "a failed call changes nothing";
    win32_standin::LeaveSizeImageZeroNth(1);
    EXPECT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biSizeImage, 0u);
    EXPECT_EQ(Query(&dib), 1);
    EXPECT_EQ(dib.header.biSizeImage, 24u);
}

}  // namespace
