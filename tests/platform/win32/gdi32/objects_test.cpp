// Descriptions and deletion of GDI objects, as Wine's gdi32 tests record
// Windows (test_bitmap_info: GetObject's buffer sizes, bmWidthBytes).
#include "platform/win32/win32_test.h"

#include <tuple>

namespace {

class ObjectsTest : public testing::Test {
protected:
    void TearDown() override {
        if (!testing_support::kWin32Seams) return;
        win32_standin::SetScreenDepth(32);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
    }
};

TEST_F(ObjectsTest, GetObjectGivesTheBitmapRecord) {
    // bitsPerPixel: 1 or the screen's (Windows makes any depth, the subset
    // only these two); widthBytes: of 9 pixels, rows padded to 16 bits.
    const struct { const char *name; WORD screenDepth; UINT bitsPerPixel; LONG widthBytes; } kCases[] = {
        {"mono", 32, 1, 2}, {"screen_24", 24, 24, 28}};
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        if (testing_support::kWin32Seams) win32_standin::SetScreenDepth(c.screenDepth);
        HBITMAP bitmap = CreateBitmap(9, 3, 1, c.bitsPerPixel, NULL);
        if (testing_support::kWin32Seams) { EXPECT_EQ(win32_standin::LiveGdiObjects(), 1); }
        BITMAP record;
        EXPECT_EQ(GetObjectA(bitmap, sizeof record - 1, &record), 0) << "too small a buffer";
        ASSERT_EQ(GetObjectA(bitmap, sizeof record * 2, &record), static_cast<int>(sizeof(BITMAP)));
        EXPECT_EQ(std::make_tuple(record.bmType, record.bmWidth, record.bmHeight, record.bmWidthBytes,
                                  record.bmPlanes, record.bmBitsPixel, record.bmBits),
                  std::make_tuple(0, 9, 3, c.widthBytes, 1, c.bitsPerPixel, LPVOID{NULL}));
        EXPECT_TRUE(DeleteObject(bitmap));
        EXPECT_EQ(GetObjectA(bitmap, sizeof record, &record), 0) << "a deleted handle is no object";
    }
}

// Empty, too large, more planes, another depth, device bits: refused, and
// nothing made. Windows answers an empty request with its 1 x 1 stock bitmap.
TEST_F(ObjectsTest, CreateBitmapRefusesWhatTheSubsetLacks) {
    SKIP_WITHOUT_WIN32_SEAMS("the subset's refusals");
    const BYTE bits[4] = {};
    const struct { int width, height; UINT planes, bitsPerPixel; const void *bits; } kCases[] = {
        {0, 3, 1, 1, nullptr}, {9, 0, 1, 32, nullptr}, {-1, 3, 1, 1, nullptr}, {0x10000, 0x8000, 1, 1, nullptr},
        {9, 3, 2, 1, nullptr}, {9, 3, 1, 8, nullptr}, {1, 1, 1, 1, bits}};
    for (const auto &c : kCases)
        EXPECT_LAST_ERROR(CreateBitmap(c.width, c.height, c.planes, c.bitsPerPixel, c.bits), nullptr,
                          ERROR_INVALID_PARAMETER);
}

TEST_F(ObjectsTest, StockPaletteHasTheStaticColoursAndSurvivesDeletion) {
    const HGDIOBJ stock = GetStockObject(DEFAULT_PALETTE);
    WORD entries = 0;
    EXPECT_EQ(GetObjectA(stock, sizeof entries, &entries), 2);
    EXPECT_EQ(entries, 20);
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(GetStockObject(DEFAULT_PALETTE), stock);
    EXPECT_EQ(GetObjectA(stock, sizeof entries, &entries), 2);
}

// Sizes callers compute with: a header and one colour, a count and one entry.
TEST(GdiLayout, StructuresHaveWindowsSizes) {
    EXPECT_EQ(std::make_tuple(sizeof(BITMAPINFOHEADER), sizeof(BITMAPINFO), sizeof(LOGPALETTE)),
              std::make_tuple(40u, 44u, 8u));
}

}  // namespace
