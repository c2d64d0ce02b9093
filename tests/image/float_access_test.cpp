// Every pixel member of the float image against the reference written from its contract, over fixed-seed random
// pictures, levels and positions where rounding, truncation, comparison and ordering choices show in the last bit.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <tuple>

#include "image/float_reference.h"
#include "image/stl_image.h"
#include "image/vm_store.h"

namespace {

namespace ref = float_reference;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool same(double want, double have) {
    return (std::isnan(want) && std::isnan(have)) || std::memcmp(&want, &have, sizeof want) == 0;
}

// Values on the levels, next to them, on display-byte boundaries, beyond both ends, now and then NaN or infinity.
struct Draw {
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    double within(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

    void levels(ref::Picture &p, int plane) {
        const double min = static_cast<float>(within(-300, 300)), range = std::pow(10.0, within(-2, 4));
        p.levelMin[plane] = min, p.levelMax[plane] = min + range, p.levelRange[plane] = range;
        switch (below(12)) {
        case 0:
            std::swap(p.levelMin[plane], p.levelMax[plane]);
            break; // inverted
        case 1:
            p.levelMax[plane] = min, p.levelRange[plane] = 0;
            break; // flat
        case 2:
            p.levelRange[plane] = range * within(0.5, 2);
            break; // disagreeing
        case 3:
            p.levelMin[plane] = within(-300, 300), p.levelMax[plane] += 0.1;
            break; // not floats
        }
    }

    float value(const ref::Picture &p, int plane) {
        const double m = p.levelMin[plane], M = p.levelMax[plane], R = p.levelRange[plane];
        switch (below(10)) {
        case 0:
            return static_cast<float>(m);
        case 1:
            return static_cast<float>(M);
        case 2:
            return std::nextafter(static_cast<float>(M), -INFINITY);
        case 3:
            return std::nextafter(static_cast<float>(m), INFINITY);
        case 4:
            return static_cast<float>(m + below(256) * R / 255); // a byte boundary
        case 5:
            return below(8) == 0 ? static_cast<float>(kNaN) : std::numeric_limits<float>::infinity();
        default:
            return static_cast<float>(within(m - R / 4, M + R / 4));
        }
    }

    int column(int extent) { // far outside, on or past the last, near
        const int kind = below(6);
        return kind == 0   ? (below(2) ? INT32_MIN : INT32_MAX)
               : kind == 1 ? extent - 1 + below(3)
                           : below(extent + 4) - 2;
    }

    double position(int extent) {
        switch (below(8)) {
        case 0:
            return kNaN;
        case 1:
            return below(extent + 2) - 1; // whole, also just outside
        case 2:
            return below(extent + 2) - 1 + 0.5; // midway
        case 3:
            return extent - 1 + within(0, 3); // on or past the last
        case 4:
            return within(-40, 0); // far before the first
        default:
            return within(-1.5, extent + 0.5);
        }
    }

    std::mt19937 rng_;
};

// A picture of random levels and values, and the image holding it, its samples put through the store itself.
ref::Picture random_picture(CStlImage &image, Draw &draw, int width, int height, int planes) {
    ref::Picture p{width, height, planes, planes == 3 && draw.below(4) != 0 ? 3 : 2, {}, {}, {}, {}};
    EXPECT_NE(image.Create(p.width, p.height, p.planes), 0);
    image.Dimension = p.dimension;
    for (int plane = 0; plane < planes; ++plane) {
        draw.levels(p, plane);
        image.LevelMin[plane] = p.levelMin[plane], image.LevelMax[plane] = p.levelMax[plane],
        image.LevelRange[plane] = p.levelRange[plane];
    }
    p.samples.resize(std::size_t(width) * height * planes);
    for (std::size_t i = 0; i < p.samples.size(); i += width) { // plane after plane, rows top first
        float *row = reinterpret_cast<float *>(
            image.Store->GetImageAdr(0, int(i / width % height), int(i / width / height), 0, 0, NULL));
        for (int x = 0; x < width; ++x)
            row[x] = p.samples[i + x] = draw.value(p, static_cast<int>(i / (std::size_t(width) * height)));
    }
    return p;
}

// Every member at an integer and a fractional position and on free values; now and then a write through a writer.
struct Prober {
    CStlImage &i;
    ref::Picture &p_;
    Draw &draw_;
    int failures = 0;

    void probe(int x, int y, double X, double Y) {
        const int plane = draw_.below(p_.planes);
        gray(x, y, X, Y, plane);
        if (p_.planes == 3)
            brightness(x, y, X, Y);
        if (draw_.below(8) == 0)
            write(x, y, plane);
    }

    struct Row {
        template <typename Want, typename Have>
        Row(const char *m, Want w, Have h) : member(m), want(double(w)), have(double(h)) {}
        const char *member;
        double want, have;
    };

    void check(double x, double y, std::initializer_list<Row> rows) {
        for (const Row &row : rows)
            if (!same(row.want, row.have) && ++failures <= 10)
                ADD_FAILURE() << row.member << " at (" << x << ", " << y << ") of " << p_.width << "x" << p_.height
                              << ": want " << row.want << ", have " << row.have;
    }

    void gray(int x, int y, double X, double Y, int plane) {
        const float s = ref::sample(p_, x, y, plane), r = ref::interpolate(p_, X, Y, plane);
        check(x, y,
              {{"GetPixelGrayRaw(int)", s, i.GetPixelGrayRaw(x, y, plane)},
               {"CImage::GetPixel", s, i.GetPixel(ref::clamp(x, p_.width), ref::clamp(y, p_.height), plane)},
               {"GetPixelGray(int)", ref::relative(p_, s, plane), i.GetPixelGray(x, y, plane)},
               {"GetPixelGray256f(int)", float(ref::display(p_, s, plane)), i.GetPixelGray256f(x, y, plane)},
               {"GetPixelGray256(int)", ref::level_byte(p_, s, plane), i.GetPixelGray256(x, y, plane)},
               {"GetImageAdr", s, *i.GetImageAdr(x, y, plane, 1, NULL)}});
        check(X, Y,
              {{"GetPixelGrayRaw(double)", r, i.GetPixelGrayRaw(X, Y, plane)},
               {"GetPixelGray(double)", float(r - p_.levelMin[plane]), i.GetPixelGray(X, Y, plane)},
               {"GetPixelGray256f(double)", float(ref::display(p_, r, plane)), i.GetPixelGray256f(X, Y, plane)},
               {"GetPixelGray256(double)", ref::level_byte(p_, r, plane), i.GetPixelGray256(X, Y, plane)}});
        // The explicit forms take their bounds and scale from sample values.
        float v = draw_.value(p_, plane), scale = draw_.value(p_, plane), set[3] = {};
        const double d = draw_.within(-300, 600), scaled = ref::rounded((double{v} - s) * scale);
        i.SetPixelGray(&set[0], v, plane), i.SetPixelGray256f(&set[1], v, plane), i.SetPixelGrayRaw(&set[2], v);
        check(v, d,
              {{"GetPixelGrayRaw(float*)", v, i.GetPixelGrayRaw(&v)},
               {"GetPixelGray(float*)", ref::relative(p_, v, plane), i.GetPixelGray(&v, plane)},
               {"GetPixelGray256f(float*)", float(ref::display(p_, v, plane)), i.GetPixelGray256f(&v, plane)},
               {"GetPixelGray256(float*)", ref::level_byte(p_, v, plane), i.GetPixelGray256(&v, plane)},
               {"GetPixelGray256f(min, scale)", float(scaled), i.GetPixelGray256f(&v, s, scale)},
               {"GetPixelGray256(min, max, scale)", ref::byte(v, s, r, scaled), i.GetPixelGray256(&v, s, r, scale)},
               {"To256(float)", float(ref::display(p_, v, plane)), i.To256(v, plane)},
               {"To256(double)", ref::display(p_, d, plane), i.To256(d, plane)},
               {"ToRaw(float)", float(ref::raw(p_, v, plane)), i.ToRaw(v, plane)},
               {"ToRaw(double)", ref::raw(p_, d, plane), i.ToRaw(d, plane)},
               {"SetPixelGray(float*)", ref::from_relative(p_, v, plane), set[0]},
               {"SetPixelGray256f(float*)", float(ref::raw(p_, v, plane)), set[1]},
               {"SetPixelGrayRaw(float*)", v, set[2]}});
    }

    void brightness(int x, int y, double X, double Y) {
        float at[3], between[3], display[3];
        for (int k = 0; k < 3; ++k)
            at[k] = ref::sample(p_, x, y, k), between[k] = ref::interpolate(p_, X, Y, k),
            display[k] = float(ref::display(p_, between[k], k));
        const float atDisplay = ref::display_brightness(p_, at);
        const float betweenDisplay = ref::weighed(p_, [&](int plane) { return display[plane]; });
        check(x, y,
              {{"GetPixelBrightRaw(int)", ref::weighed(p_, [&](int k) { return at[k]; }), i.GetPixelBrightRaw(x, y)},
               {"GetPixelBright256f(int)", atDisplay, i.GetPixelBright256f(x, y)},
               {"GetPixelBright(int)", ref::raw_brightness(p_, atDisplay), i.GetPixelBright(x, y)}});
        check(X, Y,
              {{"GetPixelBrightRaw(double)", ref::weighed(p_, [&](int k) { return between[k]; }),
                i.GetPixelBrightRaw(X, Y)},
               {"GetPixelBright256f(double)", betweenDisplay, i.GetPixelBright256f(X, Y)},
               {"GetPixelBright(double)", ref::raw_brightness(p_, betweenDisplay), i.GetPixelBright(X, Y)}});
        float r = at[0], g = at[1], b = at[2];
        check(r, g,
              {{"GetPixelBright256f(float*)", atDisplay, i.GetPixelBright256f(&r, &g, &b)},
               {"GetPixelBrightRaw(float*)", float(ref::raw(p_, atDisplay, 0)), i.GetPixelBrightRaw(&r, &g, &b)},
               {"CalcBright(float)", float(ref::bright(r, g, b)), i.CalcBright(r, g, b)},
               {"CalcBright(double)", ref::bright(X, Y, r), i.CalcBright(X, Y, double{r})}});
    }

    void write(int x, int y, int plane) {
        const float v = draw_.value(p_, plane);
        float &target = ref::sample(p_, x, y, plane);
        switch (draw_.below(3)) {
        case 0:
            i.SetPixelGrayRaw(x, y, v, plane), target = v;
            break;
        case 1:
            i.SetPixelGray(x, y, v, plane), target = ref::from_relative(p_, v, plane);
            break;
        default:
            i.SetPixelGray256f(x, y, v, plane), target = float(ref::raw(p_, v, plane));
            break;
        }
    }
};

// Small random pictures of 1, 3 or 5 planes first (planes past the fourth go out of line); then 700 x 752 x 3 floats,
// whose planes have two blocks (rows 0-747 and 748-751), under budgets of one and three blocks: the addresses that
// interpolation and colour brightness hold stay valid together, written blocks page out and come back, and three probes
// in four cross the blocks' boundary.
TEST(FloatAccess, EveryMemberAgreesWithTheReference) {
    for (int round = 0; round < 302; ++round) {
        const int blocks = round < 300 ? 0 : round - 299 == 1 ? 1 : 3;
        SCOPED_TRACE(testing::Message() << "round " << round);
        CVmImage::SetMemoryBudget(blocks * SIZE_T{2 << 20});
        Draw draw{std::mt19937(blocks ? unsigned(blocks) : 20261206u + round)};
        CStlImage image;
        ref::Picture p = blocks
                             ? random_picture(image, draw, 700, 752, 3)
                             : random_picture(image, draw, 1 + draw.below(7), 1 + draw.below(7), 1 + 2 * draw.below(3));
        Prober prober{image, p, draw};
        for (int i = 0; i < (blocks ? 120 : 60) && prober.failures == 0; ++i) {
            const int y = !blocks ? draw.column(p.height) : draw.below(4) ? 745 + draw.below(6) : draw.below(752);
            const int x = blocks ? draw.below(700) : draw.column(p.width);
            if (blocks)
                prober.probe(x, y, x + draw.within(-1, 1), y + draw.within(-1, 1));
            else
                prober.probe(x, y, draw.position(p.width), draw.position(p.height));
        }
        CVmImage::SetMemoryBudget(0);
        ASSERT_EQ(prober.failures, 0);
    }
}

// Range is the caller's duty; a Debug or sanitizer build stops a caller that breaks it with a message. Anchors that
// hold whatever the reference says: the weights sum green, red, then blue (0.886 + 0.114 is one unit below 1 in double
// precision), and the byte rule divides before it multiplies: levels 21.7..89.7, sample 78.5 is 56.8 / 68 * 255 =
// 212.99999999999997, byte 212.
TEST(FloatAccess, RangeChecksAndDocumentedAnchors) {
    CStlImage image;
    ASSERT_NE(image.Create(4, 3, 1), 0);
#ifndef NDEBUG
    EXPECT_DEATH(image.GetPixel(4, 0, 0),
                 "CImage::GetPixel: position \\(4, 0\\) of plane 0 is outside the 4 x 3 image");
    EXPECT_DEATH(image.GetPixel(0, -1, 0), "position \\(0, -1\\) of plane 0");
    EXPECT_DEATH(image.GetPixelGrayRaw(9, 9, 1), "CStlImage pixel member: position \\(3, 2\\) of plane 1");
#endif
    EXPECT_TRUE(image.CalcBright(1.0, 1.0, 1.0) == 0.9999999999999999 && image.CalcBright(1.0f, 1.0f, 1.0f) == 1.0f &&
                image.CalcBright(255.0, 255.0, 255.0) == 255.0);
    image.LevelMin[0] = 21.7, image.LevelMax[0] = 89.7, image.LevelRange[0] = 68;
    float sample = 78.5f;
    EXPECT_EQ(image.GetPixelGray256(&sample, 0), 212);
}

} // namespace

namespace {

// Each writer asks the store for a sample to write: under a budget of one block, the written block pages out while
// reads take the four others (the store keeps the blocks of the last addresses it gave), and comes back holding the
// value.
TEST(FloatAccess, WritesSurviveEviction) {
    const struct {
        const char *name;
        void (*write)(CStlImage &, int x, int y);
    } writers[] = {{"SetPixelGrayRaw", [](CStlImage &i, int x, int y) { i.SetPixelGrayRaw(x, y, 3.0f, 0); }},
                   {"SetPixelGray", [](CStlImage &i, int x, int y) { i.SetPixelGray(x, y, 3.0f, 0); }},
                   {"SetPixelGray256f", [](CStlImage &i, int x, int y) { i.SetPixelGray256f(x, y, 3.0f, 0); }}};
    CVmImage::SetMemoryBudget(SIZE_T{2} << 20);
    for (const auto &w : writers) {
        CStlImage image;
        ASSERT_NE(image.Create(700, 5 * 748, 1), 0);
        w.write(image, 5, 10);
        const float written = image.GetPixelGrayRaw(5, 10, 0);
        for (int block = 1; block < 5; ++block)
            EXPECT_EQ(image.GetPixelGrayRaw(5, block * 748, 0), 0.0f);
        EXPECT_NE(written, 0.0f) << w.name;
        EXPECT_EQ(image.GetPixelGrayRaw(5, 10, 0), written) << w.name;
    }
    CVmImage::SetMemoryBudget(0);
}

// A host that grows Width, Height or Planes past its store: the members test the store's own extent, or look the
// sample up in it, so they fall to the store's answer for a sample it lacks (NULL, dereferenced) instead of reading
// past a row or past the store's memory. Twice: a store in one region (the inline paths), and 1024 x 1100 under a
// budget of one block (the store's full lookup).
TEST(FloatAccess, AHostLargerThanItsStoreNeverReadsPastIt) {
    struct Case {
        const char *grown;
        int columns, rows, planes; // past the store's
        float (*read)(CStlImage &, int lastColumn, int lastRow);
    };
    const Case cases[] = {
        {"Width", 1, 0, 0, [](CStlImage &i, int c, int) { return float(i.GetPixelGray256(c + 1, 0, 0)); }},
        {"Width", 1, 0, 0, [](CStlImage &i, int c, int) { return i.GetPixelGrayRaw(c + 0.5, 0.5, 0); }},
        {"Height", 0, 1, 0, [](CStlImage &i, int, int r) { return i.GetPixelGrayRaw(1.5, r + 0.5, 0); }},
        {"Planes", 0, 0, 1, [](CStlImage &i, int, int) { return i.GetPixelBrightRaw(1, 1); }},
    };
    for (const auto &[width, height, budget] : {std::tuple{4, 3, SIZE_T{0}}, {1024, 1100, SIZE_T{2} << 20}})
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.grown << " of " << width << " x " << height);
            CVmImage::SetMemoryBudget(budget);
            CStlImage image;
            ASSERT_NE(image.Create(width, height, 2), 0);
            image.Width += c.columns, image.Height += c.rows, image.Planes += c.planes, image.Dimension = image.Planes;
            EXPECT_DEATH(c.read(image, width - 1, height - 1), "");
            CVmImage::SetMemoryBudget(0);
        }
}

} // namespace
