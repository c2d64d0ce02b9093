// Colour brightness: the weighted sum's order, the gray rule and the three
// raw brightnesses, with values worked out by hand (float roundings written
// out in the comments).
#include <gtest/gtest.h>

#include "image/float_image.h"

namespace {

using namespace float_image;

// Green and red first, then blue: 0.886 + 0.114 is 0.9999999999999999.
TEST(Brightness, WeightsSumGreenRedThenBlue) {
    CStlImage image;
    EXPECT_EQ(image.CalcBright(1.0, 1.0, 1.0), 0.9999999999999999);
    EXPECT_EQ(image.CalcBright(1.0f, 1.0f, 1.0f), 1.0f);
}

// Red 10 30 / 50 70, green 20 40 / 60 80, blue 30 10 / 90 50; levels red
// 0..100, green 0..200, blue 10..60, which weigh to float(1.14) and
// float(154.14). At (1, 0), samples (30, 40, 10): raw 23.48 + 8.97 + 1.14 =
// 33.59; display (76.5, 51, 0) weighs to 52.8105, carried back through red's
// levels to 20.71 and through the level brightnesses (153 x 52.8105 / 255 +
// 1.14) to 32.8263. At (0.5, 0.25) each plane is interpolated first, to (30,
// 40, 32.5): raw 36.155, display (76.5, 51, 114.75) weighs to 65.892, 40.6752
// carried back. The three raw brightnesses differ.
TEST(Brightness, ColourImage) {
    CStlImage image;
    fill(image, 2, 2, 3, {});
    const float samples[3][4] = {{10, 30, 50, 70}, {20, 40, 60, 80}, {30, 10, 90, 50}};
    for (int plane = 0; plane < 3; ++plane)
        for (int i = 0; i < 4; ++i)
            put(image, i % 2, i / 2, plane, samples[plane][i]);
    set_levels(image, 0, 0, 100);
    set_levels(image, 1, 0, 200);
    set_levels(image, 2, 10, 60);
    EXPECT_EQ(image.GetPixelBrightRaw(1, 0), 33.59000015258789f);
    EXPECT_EQ(image.GetPixelBright256f(1, 0), 52.81050109863281f);
    EXPECT_EQ(image.GetPixelBright(7, -2), 32.82630157470703f) << "clamped to (1, 0)";
    float red = 30, green = 40, blue = 10;
    EXPECT_EQ(image.GetPixelBrightRaw(&red, &green, &blue), 20.71000099182129f);
    EXPECT_EQ(image.GetPixelBrightRaw(0.5, 0.25), 36.154998779296875f);
    EXPECT_EQ(image.GetPixelBright256f(0.5, 0.25), 65.89199829101562f);
    EXPECT_EQ(image.GetPixelBright(0.5, 0.25), 40.67519760131836f);
    float zero = 0;  // blue 0 is below its LevelMin: display -51, unclipped
    EXPECT_EQ(image.GetPixelBright256f(&zero, &zero, &zero), -5.814000129699707f);
}

// A gray image answers from plane 0 alone. With levels 0.3..7.1, 3.7f is
// display (3.7000000477 - 0.3) / 6.8 x 255 = 127.5000036, 127.5 as a float,
// and carries back to 3.7f; at (1.5, 0) raw (3.7 + 5) / 2 = 4.35.
TEST(Brightness, GrayImageIsPlaneZero) {
    CStlImage image;
    fill(image, 3, 2, 1, {1, 3.7f, 5, 6, 2, 0.5f});
    set_levels(image, 0, 0.3, 7.1, 6.8);
    EXPECT_EQ(image.GetPixelBright256f(1, 0), 127.5f);
    EXPECT_EQ(image.GetPixelBright(1, 0), 3.7f);
    EXPECT_EQ(image.GetPixelBrightRaw(1.5, 0.0), 4.35f);
    float sample = 3.7f;
    EXPECT_EQ(image.GetPixelBright256f(&sample, nullptr, nullptr), 127.5f) << "g and b are not read";
    EXPECT_EQ(image.GetPixelBrightRaw(&sample, nullptr, nullptr), 3.7f);
    for (const double x : {0.5, -0.5, 9.0}) {  // bit for bit the plane-0 gray members
        SCOPED_TRACE(x);
        EXPECT_EQ(image.GetPixelBrightRaw(x, 0.75), image.GetPixelGrayRaw(x, 0.75, 0));
        EXPECT_EQ(image.GetPixelBright256f(x, 0.75), image.GetPixelGray256f(x, 0.75, 0));
    }
}

}  // namespace
