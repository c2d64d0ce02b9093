// Palettes in the screen's DC: selection hands back the previous palette,
// realisation maps nothing on a screen without a system palette.
#include <windows.h>
#include <win32_standin.h>

#include <gtest/gtest.h>

namespace {

HPALETTE OneColourPalette() {
    const LOGPALETTE palette = {0x300, 1, {{0xFF, 0, 0, 0}}};
    return CreatePalette(&palette);
}

class PaletteTest : public testing::Test {
protected:
    void TearDown() override {
        win32_standin::SetScreenDepth(32);
        ReleaseDC(NULL, screen_);
        DeleteObject(palette_);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
        EXPECT_EQ(win32_standin::HeldDCs(), 0);
    }
    HDC screen_ = GetDC(NULL);
    HPALETTE palette_ = OneColourPalette();
};

TEST_F(PaletteTest, SelectionReturnsThePreviousPalette) {
    const HGDIOBJ stock = GetStockObject(DEFAULT_PALETTE);
    const int before = win32_standin::SelectedPalettes();
    EXPECT_EQ(SelectPalette(screen_, palette_, FALSE), stock);
    EXPECT_EQ(win32_standin::SelectedPalettes(), before + 1);
    EXPECT_EQ(SelectPalette(screen_, static_cast<HPALETTE>(stock), FALSE), palette_);
    EXPECT_EQ(win32_standin::SelectedPalettes(), before);
    EXPECT_EQ(SelectPalette(screen_, NULL, FALSE), nullptr) << "no palette";
    EXPECT_EQ(SelectPalette(NULL, palette_, FALSE), nullptr) << "no DC";
}

TEST_F(PaletteTest, RealisationMapsEntriesOnlyOnAPaletteScreen) {
    SelectPalette(screen_, palette_, TRUE);
    EXPECT_EQ(RealizePalette(screen_), 0u);
    win32_standin::SetScreenDepth(8);
    EXPECT_EQ(RealizePalette(screen_), 1u);
    EXPECT_EQ(RealizePalette(NULL), UINT{GDI_ERROR});
    SelectPalette(screen_, static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
}

TEST_F(PaletteTest, ReleasingADcWithThePaletteLeftInItIsCounted) {
    const int before = win32_standin::SelectedPalettes();
    HDC other = GetDC(NULL);
    SelectPalette(other, palette_, FALSE);
    EXPECT_EQ(ReleaseDC(NULL, other), 1);
    EXPECT_EQ(win32_standin::SelectedPalettes(), before + 1);
}

}  // namespace
