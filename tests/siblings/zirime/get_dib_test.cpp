// CStlImage::GetDib: whole blocks compared with a rendering written from the documented contract, for each option,
// over seeded random images whose samples sit on and around the levels, in rows up to 41 wide (every grouping of
// samples a renderer may use) and in two pictures of more than half a million samples; refusals leave nothing allocated
// (a refused allocation: the bmpio fault sweep). And CfPoint::Set (CStlImage's copies are tested with CImage's, in
// zircim).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

#include "../zircim/dib_fixture.h"
#include "image/stl_image.h"
#include "siblings/zircim/vm_seams.h"

namespace {

float &sample(CStlImage &image, int x, int y,
              int plane) { // through the store, not the members GetDib shares its rule with
    return *reinterpret_cast<float *>(image.Store->GetImageAdr(x, y, plane, 0, 0, NULL));
}

// NaN and samples at or below the lower level 0, at or above the upper 255, between them (s - min) / range * 255
// truncated, keeping its low 8 bits (out of int range the conversion gives 0x80000000). Option 1: levels 0..255.
std::uint8_t reference_byte(CStlImage &image, int x, int y, int c, int option) {
    const double s = sample(image, x, y, c), min = option ? 0 : image.LevelMin[c],
                 max = option ? 255 : image.LevelMax[c];
    const double v = (s - min) / (option ? 255 : image.LevelRange[c]) * 255.0;
    return std::isnan(s) || s <= min ? 0 : s >= max ? 255 : std::fabs(v) < 2147483648.0 ? std::int32_t(v) & 0xFF : 0;
}

// Header, 256 grays for one plane, rows bottom-up of blue, green and red (or gray) bytes, padded with zeros to 4.
std::vector<std::uint8_t> reference_dib(CStlImage &image, int option) {
    const int w = image.Width, h = image.Height, planes = image.Planes;
    const std::uint32_t stride = (std::uint32_t(w) * 8 * planes + 31) / 32 * 4;
    zircim_test::Bytes b =
        zircim_test::info_header(w, h, WORD(8 * planes), BI_RGB, planes == 1 ? 256 : 0, stride * h, 0);
    for (int i = 0; planes == 1 && i < 256; ++i)
        zircim_test::rgb(b, std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
    for (int row = 0; row < h; b.fill(stride - std::uint32_t(w) * planes, 0), ++row)
        for (int x = 0; x < w; ++x)
            for (int c = planes - 1; c >= 0; --c)
                b.u8(reference_byte(image, x, h - 1 - row, c, option));
    return b;
}

// The block's first `want` bytes (the memory manager may round its size up), then freed.
std::vector<std::uint8_t> take(HDIB dib, std::size_t want) {
    EXPECT_TRUE(dib != NULL && GlobalSize(dib) >= want);
    std::vector<std::uint8_t> block(want);
    std::memcpy(block.data(), GlobalLock(dib), want);
    return GlobalUnlock(dib), GlobalFree(dib), block;
}

TEST(GetDib, WholeBlocksAsTheReferenceRendersThem) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const double levels[][3] = {{0, 255, 255},    {10.5, 20.25, 9.75}, {200, 100, -100}, {0, 255, 1e-9},
                                {-1e9, 1e9, 2e9}, {3, 250, 100},       {2.5, 255, 255}};
    std::mt19937 rng(4711);
    auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int round = 0; round < 82; ++round) { // the last two big enough for two threads, half the rows each
        CStlImage image;
        const bool big = round >= 80;
        ASSERT_NE(image.Create(big          ? pick(740, 800)
                               : pick(0, 2) ? pick(1, 9)
                                            : pick(10, 41),
                               big ? pick(740, 800) : pick(1, 3),
                               big          ? 1 + 2 * (round % 2)
                               : pick(0, 1) ? 3
                                            : 1),
                  0);
        for (int c = 0; c < image.Planes; ++c) {
            const double *l = levels[pick(0, 6)];
            image.LevelMin[c] = l[0], image.LevelMax[c] = l[1], image.LevelRange[c] = l[2];
            const float anchors[] = {float(l[0]), float(l[1]), nan,    inf,   -inf,  float(pick(-2, 257)),
                                     0.5f,        -0.0f,       1e-30f, 1e30f, -1e30f};
            for (int i = 0; i < image.Width * image.Height; ++i) {
                const float v = pick(0, 2) ? anchors[pick(0, 10)] : float(pick(-3000, 3000)) / 8.0f;
                sample(image, i % image.Width, i / image.Width, c) =
                    pick(0, 1) ? v : std::nextafter(v, pick(0, 1) ? inf : -inf);
            }
        }
        for (int option : {0, 1}) {
            const std::vector<std::uint8_t> want = reference_dib(image, option);
            EXPECT_EQ(take(image.GetDib(option), want.size()), want) << "round " << round << ", option " << option;
        }
    }
}

// Rendering only reads: five blocks under a budget of one come in read-only, to be dropped unwritten.
TEST(GetDib, RenderingLeavesBlocksClean) {
    CStlImage image;
    std::vector<zircim::FullLookup> lookups;
    CVmImage::SetMemoryBudget(SIZE_T{2} << 20); // one block of five: each is brought in through the full lookup
    ASSERT_NE(image.Create(1024, 2049, 1), 0);
    zircim::WatchFullLookups(&lookups);
    take(image.GetDib(1), 1064);
    CVmImage::SetMemoryBudget(0), zircim::WatchFullLookups(nullptr);
    std::string flags;
    for (const auto &l : lookups)
        flags += std::to_string(l.readOnly) + std::to_string(l.secondFlag);
    EXPECT_EQ(flags, "1010101010");
}

TEST(GetDib, RefusalsLeaveNothingAllocated) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    CStlImage empty, two, gray, wide, tall, deep, bytes;
    for (CStlImage *image : {&two, &gray, &wide, &tall, &deep})
        ASSERT_NE(image->Create(2, 2, image == &two ? 2 : 1), 0);
    ASSERT_NE(bytes.Create(2, 2, 1, 16), 0);
    wide.Width = 3, tall.Height = 1, deep.Planes = 3;
    const struct {
        const char *name;
        const CStlImage &image;
        int option;
    } cases[] = {{"no store", empty, 0},          {"two planes", two, 0},      {"option 2", gray, 2},
                 {"option -1", gray, -1},         {"store narrower", wide, 0}, {"store taller", tall, 0},
                 {"store lacks planes", deep, 1}, {"16-bit samples", bytes, 0}};
    const int live = win32_standin::LiveGlobalBlocks();
    for (const auto &c : cases)
        EXPECT_TRUE(c.image.GetDib(c.option) == nullptr && win32_standin::LiveGlobalBlocks() == live) << c.name;
}

// The integer pair is the pixel containing the position: the floor, clamped, NaN giving 0.
TEST(CfPoint, SetKeepsThePositionAndFloorsThePixel) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        double value;
        int pixel;
    } cases[] = {{2.75, 2},         {-0.5, -1}, {-2.0, -2}, {2147483647.5, INT32_MAX}, {-2147483648.5, INT32_MIN},
                 {1e12, INT32_MAX}, {nan, 0}};
    CfPoint point, fresh;
    for (const auto &c : cases) {
        point.Set(0.25, c.value);
        EXPECT_TRUE(point.x == 0 && point.y == c.pixel && point.fx == 0.25 &&
                    (point.fy == c.value || std::isnan(c.value)))
            << c.value;
    }
    point.Set(-3, 7);
    EXPECT_TRUE(point.x == -3 && point.y == 7 && point.fx == -3.0 && point.fy == 7.0 && fresh.fx == 0.0 &&
                fresh.fy == 0.0);
}

} // namespace
