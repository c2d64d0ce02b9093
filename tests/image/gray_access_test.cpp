// Calibrated gray access of the float image. Expected values are worked out
// by hand; the comments show how.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "image/float_image.h"

namespace {

using namespace float_image;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr double kNaNd = std::numeric_limits<double>::quiet_NaN();

// The byte is (s - m) / R * 255 truncated, between the bounds only; the
// lower bound is tested first. Every form: address, clamped position, fractional position.
TEST(GrayAccess, ByteRuleAtEveryForm) {
    const struct { const char *name; float sample; double levelMin, levelMax, levelRange; unsigned char expected; }
        cases[] = {
            {"at_level_min", 10, 10, 20, 10, 0},
            {"at_level_max", 20, 10, 20, 10, 255},
            {"just_below_level_max", std::nextafter(20.0f, 0.0f), 10, 20, 10, 254},  // 254.99995
            {"nan", kNaN, 10, 20, 10, 0},
            {"inverted_levels_tests_min_first", 15, 20, 10, -10, 0},
            {"equal_levels_never_divide", 11, 10, 10, 0, 255},
            // 56.8 / 68 * 255 = 212.99999999999997; multiplying first gives 213.
            {"divides_before_multiplying", 78.5f, 21.7, 89.7, 68, 212},
            {"disagreeing_range_keeps_low_byte", 60, 0, 100, 50, 50},  // 306 & 0xFF
            {"beyond_32_bits_is_integer_indefinite", 1e6f, 0, 1e12, 1e-3, 0},
        };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CStlImage image;
        fill(image, 2, 2, 2, {});
        set_levels(image, 1, c.levelMin, c.levelMax, c.levelRange);
        put(image, 1, 1, 1, c.sample);
        float sample = c.sample;
        EXPECT_EQ(image.GetPixelGray256(&sample, 1), c.expected);
        EXPECT_EQ(image.GetPixelGray256(5, 9, 1), c.expected);
        EXPECT_EQ(image.GetPixelGray256(1.0, 1.0, 1), c.expected);
    }
}

// Levels 10..18: display (s - 10) / 8 * 255, unclipped as a float. ToRaw(100):
// 100 / 255 * 8 + 10 = 13.137254901960784, 13.13725471496582 as a float, which
// is display 99.99999237060547f. The explicit forms read nothing of the
// record: byte (s - 1) * 50 between 1 and 5.
TEST(GrayAccess, DisplayTermsAndExplicitForms) {
    const std::pair<float, float> cases[] = {{6, -127.5f}, {12, 63.75f}, {26, 510}};
    CStlImage image;
    fill(image, 3, 3, 1, {});
    set_levels(image, 0, 10, 18);
    for (const auto &[sample, display] : cases) {
        SCOPED_TRACE(sample);
        put(image, 2, 0, 0, sample);
        EXPECT_EQ(image.GetPixelGray256f(2, 0, 0), display);
        EXPECT_EQ(image.GetPixelGray256f(2.0, 0.0, 0), display);
        EXPECT_EQ(image.To256(double{sample}, 0), double{display});
    }
    EXPECT_EQ(image.ToRaw(100.0, 0), 13.137254901960784);
    image.SetPixelGray256f(1, 7, 100.0f, 0);
    EXPECT_EQ(stored(image, 1, 2, 0), 13.13725471496582f);
    EXPECT_EQ(image.GetPixelGray256f(1, 2, 0), 99.99999237060547f);
    const CStlImage bare;
    float samples[] = {3, 0, 7, kNaN};
    EXPECT_EQ(bare.GetPixelGray256(&samples[0], 1, 5, 50), 100);
    EXPECT_EQ(bare.GetPixelGray256(&samples[0], 5, 1, 50), 0) << "inverted bounds: 3 <= 5";
    EXPECT_EQ(bare.GetPixelGray256f(&samples[1], 1, 50), -50);
    EXPECT_EQ(bare.GetPixelGray256f(&samples[2], 1, 50), 300);
    EXPECT_EQ(bare.GetPixelGray256(&samples[3], 1, 5, 50), 0);
}

// LevelMin 0.3 is 0.30000001192092896 as a float: 0.5 minus it is
// 0.19999998807907104 (a float already); 0.5 - 0.3 rounds to 0.2f.
TEST(GrayAccess, LevelRelativeRoundsLevelMinFirstExceptWhenInterpolating) {
    CStlImage image;
    fill(image, 2, 2, 1, {0.5f, 0.5f, 0.5f, 0.5f});
    set_levels(image, 0, 0.3, 1.0);
    float sample = 0.5f;
    EXPECT_EQ(image.GetPixelGray(&sample, 0), 0x1.999998p-3f);
    EXPECT_EQ(image.GetPixelGray(1, 0, 0), 0x1.999998p-3f);
    EXPECT_EQ(image.GetPixelGray(1.0, 0.0, 0), 0x1.99999ap-3f);
    image.SetPixelGray(0, 1, 0.2f, 0);  // 0.30000001192092896 + 0.2f = 0.50000001
    EXPECT_EQ(stored(image, 0, 1, 0), 0.5f);
}

// x is clamped, then y, into a 4 x 5 image.
TEST(GrayAccess, IntegerPositionsClampXThenY) {
    const int cases[][4] = {{-5, 3, 0, 3}, {9, 1, 3, 1}, {1, -1, 1, 0}, {100, 5, 3, 4}, {INT32_MIN, INT32_MIN, 0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << ", " << c[1]);
        CStlImage image;
        fill(image, 4, 5, 2, {});
        image.SetPixelGrayRaw(c[0], c[1], 7.5f, 1);
        EXPECT_EQ(stored(image, c[2], c[3], 1), 7.5f);
        EXPECT_EQ(image.GetPixelGrayRaw(c[0], c[1], 1), 7.5f);
    }
}

// Samples 10y + x in a 4 x 5 image: inside, and just left of or above the
// image, interpolation gives 10Y + X. All four products are formed, so a
// NaN or infinite neighbour of weight 0 still makes the result NaN.
TEST(GrayAccess, BilinearInterpolation) {
    const struct { const char *name; double x, y; float expected; } cases[] = {
        {"whole_position", 2.0, 3.0, 32},       {"column_midpoint", 2.5, 3.0, 32.5f},
        {"both_midpoints", 2.5, 3.5, 37.5f},    {"last_column", 3.0, 1.5, 18},
        {"beyond_last_column", 11.5, 1.5, 18},  {"nan_column", kNaNd, 1.5, 18},
        {"nan_row", 1.5, kNaNd, 41.5f},         {"left_extrapolates", -0.5, 2.0, 19.5f},
        {"far_left_as_left", -1.5, 2.0, 19.5f}, {"above_extrapolates", 1.0, -0.5, -4},
        {"far_above_reads_row_0", 1.0, -1.5, 1},  // 1.5 x 1 - 0.5 x 1
    };
    CStlImage image;
    fill(image, 4, 5, 1, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33, 40, 41, 42, 43});
    for (const auto &c : cases)
        EXPECT_EQ(image.GetPixelGrayRaw(c.x, c.y, 0), c.expected) << c.name;
    for (const float poison : {kNaN, std::numeric_limits<float>::infinity()}) {
        put(image, 2, 4, 0, poison);
        EXPECT_TRUE(std::isnan(image.GetPixelGrayRaw(2.5, 3.0, 0))) << poison << " in row 4, weight 0";
        EXPECT_EQ(image.GetPixelGrayRaw(2.0, 3.0, 0), 32.0f);
    }
}

// One column, samples 10, 20, 40: the column stands in for its missing
// neighbour, so every position reads the vertical interpolation.
TEST(GrayAccess, OneColumnImage) {
    CStlImage column;
    fill(column, 1, 3, 1, {10, 20, 40});
    EXPECT_EQ(column.GetPixelGrayRaw(-0.5, 0.5, 0), 15.0f);  // a = -0.5 would reach a column 1
    EXPECT_EQ(column.GetPixelGrayRaw(3.7, 1.25, 0), 25.0f);
    put(column, 0, 2, 0, kNaN);
    EXPECT_EQ(column.GetPixelGrayRaw(0.5, 0.5, 0), 15.0f) << "row 2 is no neighbour";
}

// Bit 1 of the mode reaches the store as 2, its "fresh block" flag, through
// both the float image's and the record's GetImageAdr: a block brought back
// for a fresh write comes back as zeros. Planes of one 2 MiB block each;
// with the smallest budget, lookups in the other seven planes page plane 0 out.
TEST(GrayAccess, ModeBitOneReachesTheStoreAsTwo) {
    CVmImage::SetMemoryBudget(1);
    CStlImage image;
    fill(image, 1024, 512, 8, {});
    const auto page_out_plane_0 = [&image] {
        for (int plane = 1; plane < 8; ++plane)
            image.GetPixelGrayRaw(0, 0, plane);
    };
    const CImage &record = image;
    for (const bool viaRecord : {false, true}) {
        SCOPED_TRACE(viaRecord ? "CImage" : "CStlImage");
        image.SetPixelGrayRaw(5, 5, 9.0f, 0);
        page_out_plane_0();
        EXPECT_EQ(*image.GetImageAdr(5, 5, 0, 1, NULL), 9.0f) << "read back";
        page_out_plane_0();
        const void *fresh = viaRecord ? static_cast<void *>(record.GetImageAdr(5, 5, 0, 2, NULL))
                                      : static_cast<void *>(image.GetImageAdr(5, 5, 0, 2, NULL));
        EXPECT_EQ(*static_cast<const float *>(fresh), 0.0f) << "fresh block";
    }
    CVmImage::SetMemoryBudget(0);
}

}  // namespace
