// GDI objects, the screen's DCs and the palettes in them, as Wine's gdi32
// tests record Windows (test_bitmap_info: GetObject's buffer sizes).
#include "platform/win32/win32_test.h"

#include <tuple>

namespace {

class ObjectsTest : public testing::Test {
protected:
    void TearDown() override {
        ReleaseDC(NULL, screen_);
        DeleteObject(palette_);
        if (!testing_support::kWin32Seams)
            return;
        win32_standin::SetScreenDepth(32);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
        EXPECT_EQ(win32_standin::HeldDCs(), 0);
    }
    // The stand-in's count of selected palettes, less the DCs this program
    // released with one (only SelectionReturnsThePreviousPalette does).
    int Selected() { return testing_support::kWin32Seams ? win32_standin::SelectedPalettes() - abandoned_ : 0; }
    static inline int abandoned_ = 0;
    HDC screen_ = GetDC(NULL);
    const LOGPALETTE logPalette_ = {0x300, 1, {{0xFF, 0, 0, 0}}};
    HPALETTE palette_ = CreatePalette(&logPalette_);
    HPALETTE stock_ = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
};

TEST_F(ObjectsTest, GetObjectGivesTheBitmapRecord) {
    // bitsPerPixel: 1 or the screen's (Windows makes any depth, the subset
    // only these two); widthBytes: of 9 pixels, rows padded to 16 bits.
    const struct {
        const char *name;
        WORD screenDepth;
        UINT bitsPerPixel;
        LONG widthBytes;
    } kCases[] = {{"mono", 32, 1, 2}, {"screen_24", 24, 24, 28}};
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        if (testing_support::kWin32Seams)
            win32_standin::SetScreenDepth(c.screenDepth);
        HBITMAP bitmap = CreateBitmap(9, 3, 1, c.bitsPerPixel, NULL);
        EXPECT_TRUE(!testing_support::kWin32Seams || win32_standin::LiveGdiObjects() == 2) << "the palette and it";
        BITMAP record;
        EXPECT_EQ(GetObjectA(bitmap, sizeof record - 1, &record), 0) << "too small a buffer";
        ASSERT_EQ(GetObjectA(bitmap, sizeof record * 2, &record), static_cast<int>(sizeof record));
        EXPECT_EQ(std::make_tuple(record.bmType, record.bmWidth, record.bmHeight, record.bmWidthBytes, record.bmPlanes,
                                  record.bmBitsPixel, record.bmBits),
                  std::make_tuple(0, 9, 3, c.widthBytes, 1, c.bitsPerPixel, LPVOID{NULL}));
        EXPECT_TRUE(DeleteObject(bitmap) && !GetObjectA(bitmap, sizeof record, &record)) << "deleted: no object";
        EXPECT_FALSE(DeleteObject(bitmap)) << "deleted: nothing to delete";
    }
}

// The stock palette survives deletion; sizes callers compute with: a
// header and one colour, a count and one entry.
TEST_F(ObjectsTest, StockPaletteHasTheStaticColoursAndSurvivesDeletion) {
    WORD entries = 0;
    EXPECT_EQ(GetObjectA(stock_, sizeof entries, &entries), 2);
    EXPECT_EQ(entries, 20);
    EXPECT_TRUE(DeleteObject(stock_));
    EXPECT_EQ(GetStockObject(DEFAULT_PALETTE), stock_);
    EXPECT_EQ(GetObjectA(stock_, sizeof entries, &entries), 2);
    EXPECT_EQ(std::make_tuple(sizeof(BITMAPINFOHEADER), sizeof(BITMAPINFO), sizeof(LOGPALETTE)),
              std::make_tuple(40u, 44u, 8u));
}

// A DC released with a palette still in it stays counted: Windows resets it
// silently, so nothing else would show the caller's mistake.
TEST_F(ObjectsTest, SelectionReturnsThePreviousPaletteAndIsCounted) {
    const bool seams = testing_support::kWin32Seams;
    EXPECT_EQ(SelectPalette(screen_, palette_, FALSE), stock_);
    EXPECT_EQ(Selected(), seams);
    EXPECT_TRUE(SelectPalette(screen_, stock_, FALSE) == palette_ && Selected() == 0);
    EXPECT_EQ(SelectPalette(NULL, palette_, FALSE), nullptr) << "no DC";
    HDC other = GetDC(NULL);
    EXPECT_TRUE(other != screen_ && (!seams || win32_standin::HeldDCs() == 2));
    SelectPalette(other, palette_, FALSE);
    if (seams) { // Wine releases a screen DC whatever window is named
        EXPECT_EQ(ReleaseDC(HWND(0x1234), other), 0) << "not a DC of that window";
        EXPECT_EQ(win32_standin::HeldDCs(), 2);
    }
    EXPECT_EQ(ReleaseDC(NULL, other), 1);
    ++abandoned_;
    EXPECT_EQ(ReleaseDC(NULL, other), 0) << "already released";
    EXPECT_TRUE(!seams || win32_standin::HeldDCs() == 1);
    EXPECT_EQ(Selected(), 0) << "released with the palette: still counted";
}

// A screen of more than 8 bits has no system palette: nothing is mapped;
// on an 8-bit one, every entry. Without a DC, GDI_ERROR.
TEST_F(ObjectsTest, RealisationMapsEntriesOnlyOnAPaletteScreen) {
    SelectPalette(screen_, palette_, TRUE);
    EXPECT_EQ(RealizePalette(screen_), 0u);
    if (testing_support::kWin32Seams) { // Wine answers 0 without a DC; the depth is a seam
        EXPECT_EQ(RealizePalette(NULL), UINT{GDI_ERROR});
        win32_standin::SetScreenDepth(8);
        EXPECT_EQ(RealizePalette(screen_), 1u);
    }
    SelectPalette(screen_, stock_, FALSE);
}

} // namespace
