// CStlImage::GetDib: whole blocks compared with a rendering written from the
// documented contract, for each option, over seeded random images whose
// samples sit on and around the levels; the bytes agree with libdirira's
// GetPixelGray256; refusals leave nothing allocated.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

#include "../zircim/dib_fixture.h"
#include "image/float_image.h"

namespace {

using zircim_test::Bytes;

struct Levels { double min, max, range; };

// NaN and samples at or below the lower level 0, at or above the upper 255,
// between them (s - min) / range * 255 truncated, keeping its low 8 bits
// (out of int range the conversion gives 0x80000000).
std::uint8_t reference_byte(float sample, const Levels &l) {
    const double s = sample;
    if (std::isnan(s) || s <= l.min) return 0;
    if (s >= l.max) return 255;
    const double v = (s - l.min) / l.range * 255.0;
    return std::fabs(v) < 2147483648.0 ? std::uint8_t(std::int32_t(v) & 0xFF) : 0;
}

// Header, 256 grays for one plane, rows bottom-up of blue, green, red (or
// gray) bytes padded with zeros to 4.
Bytes reference_dib(CStlImage &image, int option) {
    const int w = image.Width, h = image.Height, planes = image.Planes;
    const std::uint32_t stride = (std::uint32_t(w) * 8 * planes + 31) / 32 * 4;
    Bytes b = zircim_test::info_header(w, h, WORD(8 * planes), BI_RGB, planes == 1 ? 256 : 0, stride * h, 0);
    for (int i = 0; planes == 1 && i < 256; ++i) zircim_test::rgb(b, std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
    for (int row = 0; row < h; ++row) {
        for (int x = 0; x < w; ++x)
            for (int c = planes - 1; c >= 0; --c) {
                const Levels l = option == 1 ? Levels{0, 255, 255}
                                             : Levels{image.LevelMin[c], image.LevelMax[c], image.LevelRange[c]};
                b.u8(reference_byte(float_image::stored(image, x, h - 1 - row, c), l));
            }
        b.fill(stride - std::uint32_t(w) * planes, 0);
    }
    return b;
}

// The block as the memory manager reports it (it may round up), then freed.
std::vector<std::uint8_t> take(HDIB dib, std::size_t want) {
    if (dib == NULL) return {};
    EXPECT_GE(GlobalSize(dib), want);
    const auto *bytes = static_cast<const std::uint8_t *>(GlobalLock(dib));
    std::vector<std::uint8_t> block(bytes, bytes + want);
    GlobalUnlock(dib);
    GlobalFree(dib);
    return block;
}

TEST(GetDib, WholeBlocksAsTheReferenceRendersThem) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const Levels kLevels[] = {{0, 255, 255},   {10.5, 20.25, 9.75}, {200, 100, -100}, {0, 255, 1e-9},
                              {-1e9, 1e9, 2e9}, {3, 250, 100},       {-0.5, 0.5, 1}};
    std::mt19937 rng(4711);
    auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int round = 0; round < 80; ++round) {
        SCOPED_TRACE(round);
        CStlImage image;
        const int planes = pick(0, 1) ? 3 : 1;
        ASSERT_NE(image.Create(pick(1, 9), pick(1, 3), planes), 0);
        for (int c = 0; c < planes; ++c) {
            const Levels l = kLevels[pick(0, 6)];
            float_image::set_levels(image, c, l.min, l.max, l.range);
            const float anchors[] = {float(l.min), float(l.max), nan, inf, -inf, float(pick(-2, 257)), 0.5f};
            for (int y = 0; y < image.Height; ++y)
                for (int x = 0; x < image.Width; ++x) {
                    float v = pick(0, 2) ? anchors[pick(0, 6)] : float(pick(-3000, 3000)) / 8.0f;
                    if (pick(0, 1)) v = std::nextafter(v, pick(0, 1) ? inf : -inf);
                    float_image::put(image, x, y, c, v);
                }
        }
        for (int option : {0, 1}) {
            const Bytes want = reference_dib(image, option);
            EXPECT_EQ(take(image.GetDib(option), want.size()), want.data()) << "option " << option;
        }
        const std::vector<std::uint8_t> shown = take(image.GetDib(0), reference_dib(image, 0).size());
        const std::size_t rows = planes == 1 ? 1064 : 40, stride = (shown.size() - rows) / image.Height;
        for (int y = 0; y < image.Height; ++y)
            for (int x = 0; x < image.Width; ++x)
                for (int c = 0; c < planes; ++c)
                    ASSERT_EQ(shown[rows + (image.Height - 1 - y) * stride + x * planes + planes - 1 - c],
                              image.GetPixelGray256(x, y, c)) << x << "," << y << " plane " << c;
    }
}

// Rendering only reads: with no swap file to be had, blocks that were never
// written leave their slots freely, and a render of five blocks stays
// within three of them.
TEST(GetDib, RenderingLeavesBlocksClean) {
#ifdef _WIN32
    GTEST_SKIP() << "the swap file's directory is chosen on Linux only";
#else
    const char *saved = std::getenv("TMPDIR");
    const std::string tmpdir = saved ? saved : "";
    setenv("TMPDIR", "/nonexistent-dirira-swap", 1);
    CVmImage::SetMemoryBudget(SIZE_T{2} << 20);
    CStlImage image;
    ASSERT_NE(image.Create(1024, 2049, 1), 0);
    EXPECT_EQ(take(image.GetDib(1), 1064).size(), 1064u);
    EXPECT_LE(image.Store->GetResidentBytes(), SIZE_T{6} << 20);
    CVmImage::SetMemoryBudget(0);
    saved ? setenv("TMPDIR", tmpdir.c_str(), 1) : unsetenv("TMPDIR");
#endif
}

TEST(GetDib, RefusalsLeaveNothingAllocated) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    CStlImage empty, two, gray, wide, tall, deep, bytes;
    float_image::fill(two, 2, 2, 2, {});
    for (CStlImage *image : {&gray, &wide, &tall, &deep}) float_image::fill(*image, 2, 2, 1, {});
    ASSERT_NE(bytes.Create(2, 2, 1, 16), 0);
    wide.Width = 3, tall.Height = 1, deep.Planes = 3;
    const struct { const char *name; const CStlImage &image; int option; bool noMemory; } cases[] = {
        {"no store", empty, 0, false},  {"two planes", two, 0, false},       {"option 2", gray, 2, false},
        {"option -1", gray, -1, false}, {"store narrower", wide, 0, false}, {"store taller", tall, 0, false},
        {"store lacks planes", deep, 1, false}, {"16-bit samples", bytes, 0, false}, {"no memory", gray, 0, true}};
    for (const auto &c : cases) {
        const int live = win32_standin::LiveGlobalBlocks();
        if (c.noMemory) win32_standin::FailNth(win32_standin::Call::GlobalAlloc, 1);
        EXPECT_EQ(c.image.GetDib(c.option), nullptr) << c.name;
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), live) << c.name;
    }
}

}  // namespace
