// The screen's DCs (GetDC, ReleaseDC) and the palettes in them: selection
// hands back the previous palette, realisation maps nothing on a screen
// without a system palette.
#include "platform/win32/win32_test.h"

namespace {

class PaletteTest : public testing::Test {
protected:
    void TearDown() override {
        ReleaseDC(NULL, screen_);
        DeleteObject(palette_);
        if (!testing_support::kWin32Seams) return;
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

// A DC released with a palette still in it stays counted: Windows resets it
// silently, so nothing else would show the caller's mistake.
TEST_F(PaletteTest, SelectionReturnsThePreviousPaletteAndIsCounted) {
    const bool seams = testing_support::kWin32Seams;
    EXPECT_EQ(SelectPalette(screen_, palette_, FALSE), stock_);
    EXPECT_EQ(Selected(), seams);
    EXPECT_EQ(SelectPalette(screen_, stock_, FALSE), palette_);
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(SelectPalette(NULL, palette_, FALSE), nullptr) << "no DC";
    HDC other = GetDC(NULL);
    EXPECT_NE(other, screen_);
    EXPECT_TRUE(!seams || win32_standin::HeldDCs() == 2);
    SelectPalette(other, palette_, FALSE);
    if (seams) {  // Wine releases a screen DC whatever window is named
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
TEST_F(PaletteTest, RealisationMapsEntriesOnlyOnAPaletteScreen) {
    SelectPalette(screen_, palette_, TRUE);
    EXPECT_EQ(RealizePalette(screen_), 0u);
    if (testing_support::kWin32Seams) {  // Wine answers 0 without a DC; the depth is a seam
        EXPECT_EQ(RealizePalette(NULL), UINT{GDI_ERROR});
        win32_standin::SetScreenDepth(8);
        EXPECT_EQ(RealizePalette(screen_), 1u);
    }
    SelectPalette(screen_, stock_, FALSE);
}

}  // namespace
