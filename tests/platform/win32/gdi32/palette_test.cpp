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
    HDC screen_ = GetDC(NULL);
    const LOGPALETTE logPalette_ = {0x300, 1, {{0xFF, 0, 0, 0}}};
    HPALETTE palette_ = CreatePalette(&logPalette_);
    HPALETTE stock_ = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
};

// A DC released with a palette still in it is counted: Windows resets it
// silently, so nothing else would show the caller's mistake.
TEST_F(PaletteTest, SelectionReturnsThePreviousPalette) {
    EXPECT_EQ(SelectPalette(screen_, palette_, FALSE), stock_);
    EXPECT_EQ(SelectPalette(screen_, stock_, FALSE), palette_);
    EXPECT_EQ(SelectPalette(NULL, palette_, FALSE), nullptr) << "no DC";
    HDC other = GetDC(NULL);
    EXPECT_NE(other, screen_);
    SelectPalette(other, palette_, FALSE);
    if (testing_support::kWin32Seams) {  // Wine releases a screen DC whatever window is named
        EXPECT_EQ(ReleaseDC(HWND(0x1234), other), 0) << "not a DC of that window";
        EXPECT_EQ(ReleaseDC(NULL, other), 1);
    } else {
        ReleaseDC(NULL, other);
    }
    EXPECT_EQ(ReleaseDC(NULL, other), 0) << "already released";
}

TEST_F(PaletteTest, DcsAndTheirPalettesAreCounted) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const int before = win32_standin::SelectedPalettes();
    SelectPalette(screen_, palette_, FALSE);
    EXPECT_EQ(win32_standin::SelectedPalettes(), before + 1);
    SelectPalette(screen_, stock_, FALSE);
    EXPECT_EQ(win32_standin::SelectedPalettes(), before);
    HDC other = GetDC(NULL);
    EXPECT_EQ(win32_standin::HeldDCs(), 2);
    SelectPalette(other, palette_, FALSE);
    ReleaseDC(NULL, other);
    EXPECT_EQ(win32_standin::HeldDCs(), 1);
    EXPECT_EQ(win32_standin::SelectedPalettes(), before + 1);
}

TEST_F(PaletteTest, RealisationMapsNothingOnATrueColourScreen) {
    SelectPalette(screen_, palette_, TRUE);
    EXPECT_EQ(RealizePalette(screen_), 0u);
    SelectPalette(screen_, stock_, FALSE);
}

TEST_F(PaletteTest, RealisationWithoutADcFails) {
    SKIP_WHERE_WINE_DIVERGES("RealizePalette(NULL) answers 0");
    EXPECT_EQ(RealizePalette(NULL), UINT{GDI_ERROR});
}

TEST_F(PaletteTest, RealisationMapsEntriesOnAPaletteScreen) {
    SKIP_WITHOUT_WIN32_SEAMS("screen depth");
    SelectPalette(screen_, palette_, TRUE);
    win32_standin::SetScreenDepth(8);
    EXPECT_EQ(RealizePalette(screen_), 1u);
    SelectPalette(screen_, stock_, FALSE);
}

}  // namespace
