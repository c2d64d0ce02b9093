// Colour brightness: the weighted sum's order, the gray rule and the three
// raw brightnesses. Expected values were worked out by hand with the float
// rounding written out; the comments show the steps.
#include <gtest/gtest.h>

#include "image/float_image.h"

namespace {

using float_image::fill;
using float_image::put;
using float_image::set_levels;

TEST(Brightness, WeightsSumGreenRedThenBlue) {
    CStlImage image;
    EXPECT_EQ(image.CalcBright(1.0, 1.0, 1.0), 0.9999999999999999);  // 0.886 + 0.114
    EXPECT_EQ(image.CalcBright(1.0f, 1.0f, 1.0f), 1.0f);
    EXPECT_EQ(image.CalcBright(255.0, 255.0, 255.0), 255.0);
    EXPECT_EQ(image.CalcBright(1.0, 0.0, 0.0), 0.299);
    EXPECT_EQ(image.CalcBright(0.0, 1.0, 0.0), 0.587);
    EXPECT_EQ(image.CalcBright(0.0, 0.0, 1.0), 0.114);
}

// A 2 x 2 colour image: red 10 30 / 50 70, green 20 40 / 60 80, blue 30 10 /
// 90 50, with levels red 0..100, green 0..200, blue 10..60. The level
// brightnesses are float(1.14) = 1.1399999856948853 and float(154.14) =
// 154.13999938964844.
void make_colour(CStlImage &image) {
    fill(image, 2, 2, 3, {});
    const float red[] = {10, 30, 50, 70}, green[] = {20, 40, 60, 80}, blue[] = {30, 10, 90, 50};
    for (int i = 0; i < 4; ++i) {
        put(image, i % 2, i / 2, 0, red[i]);
        put(image, i % 2, i / 2, 1, green[i]);
        put(image, i % 2, i / 2, 2, blue[i]);
    }
    set_levels(image, 0, 0, 100);
    set_levels(image, 1, 0, 200);
    set_levels(image, 2, 10, 60);
}

// At (1, 0) the samples are (30, 40, 10): raw (23.48 + 8.97) + 1.14 = 33.59;
// display (76.5, 51, 0) weighs to 52.8105; carried back through red's levels
// 20.71001, through the level brightnesses (153 x 52.8105 / 255 + 1.14)
// 32.8263.
TEST(Brightness, ColourImageAtIntegerPositions) {
    CStlImage image;
    make_colour(image);
    EXPECT_EQ(image.GetPixelBrightRaw(1, 0), 33.59000015258789f);
    EXPECT_EQ(image.GetPixelBright256f(1, 0), 52.81050109863281f);
    EXPECT_EQ(image.GetPixelBright(1, 0), 32.82630157470703f);
    EXPECT_EQ(image.GetPixelBright(7, -2), 32.82630157470703f) << "clamped to (1, 0)";
    float red = 30, green = 40, blue = 10;
    EXPECT_EQ(image.GetPixelBright256f(&red, &green, &blue), 52.81050109863281f);
    EXPECT_EQ(image.GetPixelBrightRaw(&red, &green, &blue), 20.71000099182129f);
}

// At (0.5, 0.25) each plane is interpolated first: (30, 40, 32.5); raw
// 36.155, display (76.5, 51, 114.75) weighs to 65.892, carried back 25.84 and
// 40.6752.
TEST(Brightness, ColourImageAtFractionalPositions) {
    CStlImage image;
    make_colour(image);
    EXPECT_EQ(image.GetPixelBrightRaw(0.5, 0.25), 36.154998779296875f);
    EXPECT_EQ(image.GetPixelBright256f(0.5, 0.25), 65.89199829101562f);
    EXPECT_EQ(image.GetPixelBright(0.5, 0.25), 40.67519760131836f);
}

// Nothing is clipped: blue 0 lies below its LevelMin 10 and enters the
// display brightness as -51, so (0, 0, -51) weighs to -5.814.
TEST(Brightness, NegativeDisplayValuesStay) {
    float zero = 0;
    CStlImage image;
    make_colour(image);
    EXPECT_EQ(image.GetPixelBright256f(&zero, &zero, &zero), -5.814000129699707f);
}

TEST(Brightness, EqualSamplesGiveTheirValue) {
    CStlImage image;
    fill(image, 3, 3, 3, {});
    for (int plane = 0; plane < 3; ++plane)
        put(image, 2, 1, plane, 100);
    EXPECT_EQ(image.GetPixelBrightRaw(2, 1), 100.0f);
}

// With the same levels in every plane the three raw brightnesses agree up
// to rounding (Create gives every plane 0..255): (20 x 0.587 + 10 x 0.299) + 30 x 0.114 = 18.15.
TEST(Brightness, EqualLevelsAgree) {
    CStlImage image;
    fill(image, 2, 2, 3, {});
    const float samples[] = {10, 20, 30};
    for (int plane = 0; plane < 3; ++plane)
        put(image, 0, 1, plane, samples[plane]);
    float red = 10, green = 20, blue = 30;
    EXPECT_NEAR(image.GetPixelBrightRaw(0, 1), 18.15, 1e-5);
    EXPECT_NEAR(image.GetPixelBright(0, 1), 18.15, 1e-5);
    EXPECT_NEAR(image.GetPixelBrightRaw(&red, &green, &blue), 18.15, 1e-5);
}

// A gray image (Dimension 2) answers from plane 0 alone. With levels
// 0.3..7.1 the sample 3.7f is display 127.5 ((3.7000000477 - 0.3) / 6.8 x
// 255 = 127.5000036 as a float), carried back to 3.7f both ways.
TEST(Brightness, GrayImageIsPlaneZero) {
    CStlImage image;
    fill(image, 3, 2, 1, {1, 3.7f, 5, 6, 2, 0.5f});
    ASSERT_EQ(image.GetDimension(), 2);
    set_levels(image, 0, 0.3, 7.1, 6.8);
    EXPECT_EQ(image.GetPixelBrightRaw(1, 0), 3.7f);
    EXPECT_EQ(image.GetPixelBright256f(1, 0), 127.5f);
    EXPECT_EQ(image.GetPixelBright(1, 0), 3.7f);
    float sample = 3.7f;
    EXPECT_EQ(image.GetPixelBright256f(&sample, nullptr, nullptr), 127.5f) << "g and b are not read";
    EXPECT_EQ(image.GetPixelBrightRaw(&sample, nullptr, nullptr), 3.7f);

    const double positions[][2] = {{1, 0}, {0.5, 0.25}, {-0.5, 1.75}, {9, -3}};
    for (const auto &at : positions) {
        SCOPED_TRACE(testing::Message() << at[0] << ", " << at[1]);
        EXPECT_EQ(image.GetPixelBrightRaw(at[0], at[1]), image.GetPixelGrayRaw(at[0], at[1], 0));
        EXPECT_EQ(image.GetPixelBright256f(at[0], at[1]), image.GetPixelGray256f(at[0], at[1], 0));
        const int x = static_cast<int>(at[0]), y = static_cast<int>(at[1]);
        EXPECT_EQ(image.GetPixelBrightRaw(x, y), image.GetPixelGrayRaw(x, y, 0));
        EXPECT_EQ(image.GetPixelBright256f(x, y), image.GetPixelGray256f(x, y, 0));
    }
}

}  // namespace
