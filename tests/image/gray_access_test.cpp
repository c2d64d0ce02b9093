// Calibrated gray access of the float image: the byte rule, the display and
// level-relative terms, clamping and bilinear interpolation. Expected values
// are worked out by hand (the comments show how).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "image/float_image.h"

namespace {

using float_image::fill;
using float_image::put;
using float_image::set_levels;
using float_image::stored;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct ByteCase {
    const char *name;
    float sample;
    double levelMin, levelMax, levelRange;
    unsigned char expected;
};

// Levels 10..20 unless a row says otherwise; the byte is (s - m) / R * 255
// truncated, between the bounds only.
const std::vector<ByteCase> &byte_cases() {
    static const std::vector<ByteCase> cases = {
        {"at_level_min", 10, 10, 20, 10, 0},
        {"at_level_max", 20, 10, 20, 10, 255},
        {"just_below_level_max", std::nextafter(20.0f, 0.0f), 10, 20, 10, 254},  // 254.99995...
        {"midway_truncates", 15, 10, 20, 10, 127},                                // 127.5
        {"below_level_min", 5, 10, 20, 10, 0},
        {"above_level_max", 25, 10, 20, 10, 255},
        {"nan", kNaN, 10, 20, 10, 0},
        {"inverted_levels_between", 15, 20, 10, -10, 0},  // lower bound first
        {"inverted_levels_above", 25, 20, 10, -10, 255},
        {"equal_levels_above", 11, 10, 10, 0, 255},  // never divides by the zero range
        {"equal_levels_at", 10, 10, 10, 0, 0},
        // 56.8 / 68 = 0.835294117647058..., times 255 = 212.99999999999997
        // (multiplying first would give 213).
        {"divides_before_multiplying", 78.5f, 21.7, 89.7, 68, 212},
        {"range_disagreeing_keeps_low_byte", 60, 0, 100, 50, 50},  // 306 & 0xFF
        {"scaled_beyond_32_bits_gives_0", 1e6f, 0, 1e12, 1e-3, 0},  // integer indefinite 0x80000000
    };
    return cases;
}

// Levels on plane 1, the sample at (1, 1) of plane 1 of a 2 x 2 image.
TEST(GrayAccess, ByteRuleAtEveryForm) {
    for (const ByteCase &c : byte_cases()) {
        SCOPED_TRACE(c.name);
        CStlImage image;
        fill(image, 2, 2, 2, {});
        set_levels(image, 1, c.levelMin, c.levelMax, c.levelRange);
        put(image, 1, 1, 1, c.sample);
        float sample = c.sample;
        EXPECT_EQ(image.GetPixelGray256(&sample, 1), c.expected);
        EXPECT_EQ(image.GetPixelGray256(1, 1, 1), c.expected);
        EXPECT_EQ(image.GetPixelGray256(5, 9, 1), c.expected) << "clamped to (1, 1)";
        EXPECT_EQ(image.GetPixelGray256(1.0, 1.0, 1), c.expected);
    }
}

struct ExplicitCase {
    const char *name;
    float sample, min, max, scale;
    unsigned char byte;
    float display;  // (s - min) * scale, never clipped
};

// The explicit forms read nothing of the image record: an image without
// store or levels answers them.
TEST(GrayAccess, ExplicitBoundsAndScale) {
    const ExplicitCase cases[] = {
        {"inside", 3, 1, 5, 50, 100, 100},
        {"at_min", 1, 1, 5, 50, 0, 0},
        {"at_max", 5, 1, 5, 50, 255, 200},
        {"below_min", 0, 1, 5, 50, 0, -50},
        {"above_max", 7, 1, 5, 50, 255, 300},
        {"inverted_bounds", 3, 5, 1, 50, 0, -100},
        {"fraction_of_scale", 2, 1, 5, 0.75f, 0, 0.75f},  // 0.75 truncates to 0
    };
    const CStlImage bare;
    for (const ExplicitCase &c : cases) {
        SCOPED_TRACE(c.name);
        float sample = c.sample;
        EXPECT_EQ(bare.GetPixelGray256(&sample, c.min, c.max, c.scale), c.byte);
        EXPECT_EQ(bare.GetPixelGray256f(&sample, c.min, c.scale), c.display);
    }
    float nan = kNaN;
    EXPECT_EQ(bare.GetPixelGray256(&nan, 1, 5, 50), 0);
    EXPECT_TRUE(std::isnan(bare.GetPixelGray256f(&nan, 1, 50)));
}

struct DisplayCase {
    const char *name;
    float sample;
    float display;  // float((s - 10) / 8 * 255)
};

// The float display value is not clipped; the byte of the same sample is.
TEST(GrayAccess, DisplayFloatIsUnclipped) {
    const DisplayCase cases[] = {
        {"below_level_min", 6, -127.5f},
        {"at_level_min", 10, 0},
        {"inside", 12, 63.75f},
        {"above_level_max", 26, 510},
    };
    CStlImage image;
    fill(image, 3, 3, 1, {});
    set_levels(image, 0, 10, 18);
    for (const DisplayCase &c : cases) {
        SCOPED_TRACE(c.name);
        put(image, 2, 0, 0, c.sample);
        float sample = c.sample;
        EXPECT_EQ(image.GetPixelGray256f(&sample, 0), c.display);
        EXPECT_EQ(image.GetPixelGray256f(2, 0, 0), c.display);
        EXPECT_EQ(image.GetPixelGray256f(2.0, 0.0, 0), c.display);
        EXPECT_EQ(image.To256(c.sample, 0), c.display);
        EXPECT_EQ(image.To256(double{c.sample}, 0), double{c.display});
    }
    put(image, 2, 0, 0, kNaN);
    EXPECT_TRUE(std::isnan(image.GetPixelGray256f(2, 0, 0)));
}

// Raw back from display: 63.75 / 255 * 8 + 10 = 12 exactly; 100 / 255 * 8
// + 10 = 13.137254901960784 as a double, 13.137255f as a float.
TEST(GrayAccess, DisplayToRawAndBack) {
    CStlImage image;
    fill(image, 2, 2, 1, {});
    set_levels(image, 0, 10, 18);
    EXPECT_EQ(image.ToRaw(63.75, 0), 12.0);
    EXPECT_EQ(image.ToRaw(100.0, 0), 13.137254901960784);
    EXPECT_EQ(image.ToRaw(100.0f, 0), 13.137255f);
    image.SetPixelGray256f(1, 1, 100.0f, 0);
    EXPECT_EQ(stored(image, 1, 1, 0), 13.137255f);
    image.SetPixelGray256f(-4, 0, -127.5f, 0);
    EXPECT_EQ(stored(image, 0, 0, 0), 6.0f) << "clamped to (0, 0), unclipped";
    // Up to rounding only: 13.13725471496582 is 99.99999403953552 on the
    // display scale, 99.99999237060547 as a float.
    EXPECT_EQ(image.GetPixelGray256f(1, 1, 0), 99.99999237060547f);
}

// LevelMin 0.3 is 0.30000001192092896 as a float. 0.5 - float(0.3) =
// 0.19999998807907104, a float already; 0.5 - 0.3 = 0.2 rounds to 0.2f, one
// unit in the last place above.
TEST(GrayAccess, LevelRelativeRoundsLevelMinFirstExceptWhenInterpolating) {
    CStlImage image;
    fill(image, 2, 2, 1, {0.5f, 0.5f, 0.5f, 0.5f});
    set_levels(image, 0, 0.3, 1.0);
    float sample = 0.5f;
    EXPECT_EQ(image.GetPixelGray(&sample, 0), 0x1.999998p-3f);
    EXPECT_EQ(image.GetPixelGray(1, 0, 0), 0x1.999998p-3f);
    EXPECT_EQ(image.GetPixelGray(1.0, 0.0, 0), 0x1.99999ap-3f);
    EXPECT_EQ(image.GetPixelGray(0.5, 0.5, 0), 0x1.99999ap-3f);
    // Writing adds the float-rounded minimum: 0.2 + 0.30000001192092896.
    image.SetPixelGray(0, 1, 0.2f, 0);
    EXPECT_EQ(stored(image, 0, 1, 0), 0.5f);  // 0.50000001490116...
    image.SetPixelGray(&sample, 0.25f, 0);
    EXPECT_EQ(sample, 0.55f);  // 0.550000011920929, float(0.55) itself
}

struct PositionCase {
    const char *name;
    int x, y;
    int storedX, storedY;
};

// Integer positions clamp x, then y, for writing as for reading.
TEST(GrayAccess, IntegerPositionsClampToTheEdge) {
    const PositionCase cases[] = {
        {"inside", 2, 3, 2, 3},        {"left", -5, 3, 0, 3},         {"right", 9, 1, 3, 1},
        {"above", 1, -1, 1, 0},        {"below", 1, 5, 1, 4},         {"corner", 100, -100, 3, 0},
        {"most_negative", INT32_MIN, INT32_MIN, 0, 0},
    };
    for (const PositionCase &c : cases) {
        SCOPED_TRACE(c.name);
        CStlImage image;
        fill(image, 4, 5, 2, {});
        image.SetPixelGrayRaw(c.x, c.y, 7.5f, 1);
        EXPECT_EQ(stored(image, c.storedX, c.storedY, 1), 7.5f);
        EXPECT_EQ(stored(image, c.storedX, c.storedY, 0), 0.0f) << "other plane untouched";
        EXPECT_EQ(image.GetPixelGrayRaw(c.x, c.y, 1), 7.5f);
        EXPECT_EQ(image.GetImageAdr(c.x, c.y, 1, 1, NULL),
                  reinterpret_cast<float *>(image.Store->GetImageAdr(c.storedX, c.storedY, 1, 1, 0, NULL)));
    }
}

struct InterpolationCase {
    const char *name;
    double x, y;
    float expected;
};

// A 4 x 5 image whose sample at (x, y) is 10y + x: inside the image (and
// just left of or above it, where the weights extrapolate) interpolation
// gives 10Y + X exactly.
const std::vector<InterpolationCase> &interpolation_cases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    static const std::vector<InterpolationCase> cases = {
        {"whole_position", 2.0, 3.0, 32},
        {"column_midpoint", 2.5, 3.0, 32.5f},
        {"both_midpoints", 2.5, 3.5, 37.5f},
        {"quarter_steps", 0.25, 1.75, 17.75f},
        {"last_column", 3.0, 1.5, 18},         // a = 1 on columns 2 and 3
        {"beyond_last_column", 11.5, 1.5, 18},  // W + 7.5
        {"nan_column", nan, 1.5, 18},
        {"last_row", 1.5, 4.0, 41.5f},
        {"nan_row", 1.5, nan, 41.5f},
        {"beyond_both", 10.0, 10.0, 43},
        {"left_extrapolates", -0.5, 2.0, 19.5f},  // base 0, a = -0.5
        {"far_left_as_left", -1.5, 2.0, 19.5f},   // base -1 reads column 0, a = -0.5
        {"above_extrapolates", 1.0, -0.5, -4},    // base 0, b = -0.5
        // Base row -1 and the row after it both clamp to row 0: 1.5 x 1 - 0.5 x 1.
        {"far_above_reads_row_0", 1.0, -1.5, 1},
        {"whole_left_reads_edge", -3.0, 2.0, 20},  // whole positions clamp
    };
    return cases;
}

TEST(GrayAccess, BilinearInterpolation) {
    CStlImage image;
    fill(image, 4, 5, 1, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33, 40, 41, 42, 43});
    for (const InterpolationCase &c : interpolation_cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(image.GetPixelGrayRaw(c.x, c.y, 0), c.expected);
    }
}

// Levels 10..20 over samples 10y + x: at a fractional position the byte of
// the interpolated raw value, clipped as at an integer position.
TEST(GrayAccess, ByteAtFractionalPositions) {
    CStlImage image;
    fill(image, 4, 5, 1, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33, 40, 41, 42, 43});
    set_levels(image, 0, 10, 20);
    EXPECT_EQ(image.GetPixelGray256(0.5, 0.5, 0), 0) << "5.5 below LevelMin";
    EXPECT_EQ(image.GetPixelGray256(2.5, 1.0, 0), 63) << "12.5: 2.5 / 10 * 255 = 63.75";
    EXPECT_EQ(image.GetPixelGray256(0.5, 2.5, 0), 255) << "25.5 above LevelMax";
}

// A neighbour of weight 0 is still multiplied in; only a whole position
// reads one sample.
TEST(GrayAccess, NonFiniteNeighbourOfWeightZero) {
    for (const float poison : {kNaN, kInf}) {
        SCOPED_TRACE(poison);
        CStlImage image;
        fill(image, 4, 5, 1, {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23, 30, 31, 32, 33, 40, 41, 42, 43});
        put(image, 2, 4, 0, poison);
        EXPECT_TRUE(std::isnan(image.GetPixelGrayRaw(2.5, 3.0, 0))) << "row 4 has weight 0";
        EXPECT_EQ(image.GetPixelGrayRaw(2.0, 3.0, 0), 32.0f);
    }
}

// A one-column image reads its own column in place of the missing one: the
// result is the column's vertical interpolation, left of the image too.
TEST(GrayAccess, OneColumnImage) {
    const InterpolationCase cases[] = {
        {"right_of_column", 0.5, 0.5, 15},
        {"left_of_column", -0.5, 0.5, 15},  // would extrapolate into a column 1
        {"far_right", 3.7, 1.25, 25},
        {"nan_column", std::numeric_limits<double>::quiet_NaN(), 1.5, 30},
        {"whole", 0.0, 2.0, 40},
    };
    CStlImage image;
    fill(image, 1, 3, 1, {10, 20, 40});
    for (const InterpolationCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(image.GetPixelGrayRaw(c.x, c.y, 0), c.expected);
    }
    put(image, 0, 2, 0, kNaN);
    EXPECT_EQ(image.GetPixelGrayRaw(0.5, 0.5, 0), 15.0f) << "row 2 is not the column's neighbour";
}

// A one-row image interpolates along its row: the row after the last is
// the row itself.
TEST(GrayAccess, OneRowImage) {
    CStlImage image;
    fill(image, 3, 1, 1, {10, 20, 40});
    EXPECT_EQ(image.GetPixelGrayRaw(0.5, 0.7, 0), 15.0f);
    EXPECT_EQ(image.GetPixelGrayRaw(1.5, -0.5, 0), 30.0f);
    EXPECT_EQ(image.GetPixelGrayRaw(5.0, 0.0, 0), 40.0f);
}

TEST(GrayAccess, StatisticsArePerPlane) {
    CStlImage image;
    image.MinPixel[2] = -3.5;
    image.MaxPixel[2] = 1e9;
    EXPECT_EQ(image.GetMinPixel(2), -3.5);
    EXPECT_EQ(image.GetMaxPixel(2), 1e9);
}

// Bit 1 of the mode reaches the store as 2, its "fresh block" flag: a block
// brought back in for a fresh write comes back as zeros, not as it was.
TEST(GrayAccess, ModeBitOneReachesTheStoreAsTwo) {
    // Planes of 2 MiB, one block each; with the smallest budget, lookups in
    // the seven other planes page plane 0 out to the swap file.
    CVmImage::SetMemoryBudget(1);
    CStlImage image;
    fill(image, 1024, 512, 8, {});
    image.SetPixelGrayRaw(5, 5, 9.0f, 0);
    const auto page_out_plane_0 = [&image] {
        for (int plane = 1; plane < 8; ++plane)
            image.GetPixelGrayRaw(0, 0, plane);
    };
    page_out_plane_0();
    EXPECT_EQ(*image.GetImageAdr(5, 5, 0, 1, NULL), 9.0f) << "mode 1 reads the block back";
    page_out_plane_0();
    EXPECT_EQ(*image.GetImageAdr(5, 5, 0, 2, NULL), 0.0f) << "mode 2 asks for a fresh block";
    CVmImage::SetMemoryBudget(0);
}

}  // namespace
