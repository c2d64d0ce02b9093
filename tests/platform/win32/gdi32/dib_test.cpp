// GetDIBits and CreateDIBitmap as Wine's gdi32 bitmap tests record Windows:
// default colour tables, completed headers, rows at every depth.
#include "platform/win32/gdi32/bitmaps.h"
#include "platform/win32/win32_test.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace {

using namespace gdi_test;

// Bottom-up 2 × 2 (B, G, R, then padding): black, white below; red, blue above.
const std::vector<BYTE> kPixels = {0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0};

class DibTest : public testing::Test {
protected:
    void TearDown() override {
        DeleteObject(bitmap_);
        if (!testing_support::kWin32Seams)
            return;
        win32_standin::ClearFaults(), win32_standin::SetScreenDepth(32);
        EXPECT_TRUE(win32_standin::HeldDCs() == 0 && win32_standin::LiveGdiObjects() == 0);
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

// Windows' 20 static colours as 0xRRGGBB: the first ten, then the last ten.
const DWORD kStatic[20] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080,
                           0xC0C0C0, 0xC0DCC0, 0xA6CAF0, 0xFFFBF0, 0xA0A0A4, 0x808080, 0xFF0000,
                           0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
RGBQUAD Quad(DWORD rgb) { return {BYTE(rgb), BYTE(rgb >> 8), BYTE(rgb >> 16), 0}; }

// The tables written behind the header: black and white; the VGA set; the
// static colours at both ends of a 2-3-3 cube; biClrUsed comes back 0.
// Colours become indexes by the nearest table entry (red and blue are
// nearer black than white). Run-length formats are sized uncompressed and
// not copied: Wine's behaviour, not Windows'.
TEST_F(DibTest, DefaultColourTablesAndNearestIndexes) {
    std::vector<RGBQUAD> tables[3] = {{Quad(0), Quad(0xFFFFFF)}, {}, {}};
    for (int i : {0, 1, 2, 3, 4, 5, 6, 12, 7, 13, 14, 15, 16, 17, 18, 19})
        tables[1].push_back(Quad(kStatic[i]));
    for (int i = 0; i < 256; ++i)
        tables[2].push_back(i < 10     ? Quad(kStatic[i])
                            : i >= 246 ? Quad(kStatic[i - 236])
                                       : RGBQUAD{BYTE(i & 0xC0), BYTE((i & 0x38) << 2), BYTE((i & 7) << 5), 0});
    const std::vector<BYTE> kRows[3] = {
        {0x40, 0, 0, 0, 0x00, 0, 0, 0}, {0x0F, 0, 0, 0, 0x9C, 0, 0, 0}, {0, 255, 0, 0, 249, 252, 0, 0}};
    for (int t = 0; t < 3; ++t) {
        const WORD bits = t == 0 ? 1 : 4 * t;
        SCOPED_TRACE(bits);
        Dib dib = DibOf(2, 3, bits);
        dib.header.biClrUsed = 37;
        std::memset(dib.colors, 0x5A, sizeof dib.colors);
        ASSERT_EQ(Query(&dib), 1);
        EXPECT_TRUE(dib.header.biClrUsed == 0 && !std::memcmp(dib.colors, tables[t].data(), tables[t].size() * 4));
        EXPECT_EQ(RowsOf(bitmap_, 2, 2, bits), kRows[t]);
    }
    Dib rle = DibOf(2, 3, 8, BI_RLE8);
    EXPECT_TRUE(Query(&rle) == 1 && rle.header.biSizeImage == 12u);
    EXPECT_EQ(RowsOf(bitmap_, 2, 2, 8, BI_RLE8), std::vector<BYTE>{});
}

// Round trips at every depth against rows packed from the BMP layout (index
// pixels from a byte's high bits, 16 bits as x555, 24 B G R, 32 B G R 0) with
// colours every depth keeps, and the size a query completes. Width 13 leaves
// part of a byte and padding. Rows asked for top-down come first row first.
TEST_F(DibTest, RoundTripsMatchRowsPackedFromTheLayout) {
    constexpr LONG kWidth = 13, kHeight = 3;
    std::mt19937 random(21);
    auto rowBytes = [](WORD bits) { return ((kWidth * bits + 31) / 32) * 4; };
    for (WORD bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        Dib dib = DibOf(kWidth, kHeight, bits);
        ASSERT_EQ(Query(&dib), 1);
        EXPECT_EQ(dib.header.biSizeImage, DWORD(rowBytes(bits) * kHeight));
        std::vector<BYTE> packed(rowBytes(bits) * kHeight, 0), bgr(rowBytes(24) * kHeight, 0);
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) {
                BYTE *row = &packed[y * rowBytes(bits)], *out = &bgr[y * rowBytes(24) + 3 * x];
                if (bits <= 8) {
                    int index; // of a colour no other entry has
                    auto same = [&](const RGBQUAD &q) { return !std::memcmp(&q, &dib.colors[index], sizeof q); };
                    do
                        index = static_cast<int>(random() % (1u << bits));
                    while (std::count_if(dib.colors, dib.colors + (1 << bits), same) != 1);
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
                for (int b = 0; b < bits / 8; ++b)
                    row[x * bits / 8 + b] = static_cast<BYTE>(value >> (8 * b));
            }
        HDC screen = GetDC(NULL);
        HBITMAP in = CreateDIBitmap(screen, &dib.header, CBM_INIT, packed.data(), InfoOf(dib), DIB_RGB_COLORS);
        HBITMAP out = (ReleaseDC(NULL, screen), ScreenBitmap(kWidth, kHeight, bgr));
        EXPECT_EQ(RowsOf(in, kWidth, kHeight, 24), bgr) << "read in";
        EXPECT_EQ(RowsOf(out, kWidth, kHeight, bits), packed) << "written out";
        std::vector<BYTE> topDown;
        for (LONG y = kHeight; y-- > 0;)
            topDown.insert(topDown.end(), &packed[y * rowBytes(bits)], &packed[(y + 1) * rowBytes(bits)]);
        EXPECT_EQ(RowsOf(out, kWidth, -kHeight, bits), topDown) << "written out top-down";
        DeleteObject(in), DeleteObject(out);
    }
}

TEST_F(DibTest, EmptyDibsAndTheSeams) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection and the subset's refusals");
    for (Dib dib : {DibOf(0, 1, 24), DibOf(1, 0, 24)})
        EXPECT_LAST_ERROR(CreateDIBitmap(NULL, &dib.header, 0, nullptr, InfoOf(dib), DIB_RGB_COLORS), nullptr,
                          ERROR_INVALID_PARAMETER);
    Dib dib = DibOf(2, 3, 24);
    HDC screen = GetDC(NULL);
    EXPECT_EQ(GetDIBits(screen, NULL, 0, 3, NULL, InfoOf(dib), DIB_RGB_COLORS), 0) << "no bitmap";
    ReleaseDC(NULL, screen);
    win32_standin::FailNth(win32_standin::Call::GetDIBits, 1);
    EXPECT_LAST_ERROR(Query(&dib), 0, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(dib.header.biSizeImage, 0u) << "a failed call changes nothing";
    win32_standin::LeaveSizeImageZeroNth(1);
    EXPECT_TRUE(Query(&dib) == 1 && dib.header.biSizeImage == 0u);
    EXPECT_TRUE(Query(&dib) == 1 && dib.header.biSizeImage == 24u) << "the next query";
    win32_standin::LeaveSizeImageZeroNth(1), win32_standin::ClearFaults();
    dib.header.biSizeImage = 0;
    EXPECT_TRUE(Query(&dib) == 1 && dib.header.biSizeImage == 24u) << "ClearFaults disarms";
}

} // namespace
