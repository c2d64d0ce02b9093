// CStlImage::GetDib: whole DIB blocks compared byte for byte, each option,
// the bytes of libdirira's GetPixelGray256 for every sample, and refusals
// that leave nothing allocated.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "../zircim/dib_fixture.h"
#include "image/float_image.h"

namespace {

using float_image::put;
using float_image::set_levels;
using zircim_test::Bytes;

// GetDib's header: rows bottom-up, BI_RGB, biSizeImage the padded rows, no resolution.
Bytes dib_header(int width, int height, WORD bitCount, DWORD sizeImage, DWORD clrUsed) {
    return zircim_test::info_header(width, height, bitCount, BI_RGB, clrUsed, sizeImage, 0);
}
Bytes gray_table(Bytes b) {
    for (int i = 0; i < 256; ++i) zircim_test::rgb(b, i, i, i);
    return b;
}

// The block's first expected.size() bytes (the memory manager may give more); then frees it.
void expect_dib(const CStlImage &image, int option, const std::vector<std::uint8_t> &expected) {
    const HDIB dib = image.GetDib(option);
    ASSERT_NE(dib, nullptr);
    EXPECT_GE(GlobalSize(dib), expected.size());
    const auto *bytes = static_cast<const std::uint8_t *>(GlobalLock(dib));
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + expected.size()), expected);
    GlobalUnlock(dib);
    GlobalFree(dib);
}

// One plane: 8-bit gray, through levels 10..20 (below, at, between truncated,
// above) or option 1 the raw samples clipped; the top row of the store is the
// last row of the DIB.
TEST(GetDib, OnePlaneIsEightBitGrayBottomUpAndThreePlanesAreBgr) {
    CStlImage gray;
    float_image::fill(gray, 3, 2, 1, {-3.0f, 15.0f, 300.0f, 10.0f, 12.5f, 19.99f});
    set_levels(gray, 0, 10.0, 20.0);
    const Bytes header = gray_table(dib_header(3, 2, 8, 8, 256));
    expect_dib(gray, 0, Bytes(header).raw({0, 63, 254, 0, /* store row 1 */ 0, 127, 255, 0}));
    expect_dib(gray, 1, Bytes(header).raw({10, 12, 19, 0, 0, 15, 255, 0}));
    CStlImage colour;  // each plane through its own levels
    float_image::fill(colour, 2, 1, 3, {});
    set_levels(colour, 1, 0.0, 510.0);
    set_levels(colour, 2, 100.0, 200.0);
    const float samples[3][2] = {{1.0f, 254.0f}, {2.0f, 509.0f}, {150.0f, 99.0f}};  // red, green, blue
    for (int plane = 0; plane < 3; ++plane)
        for (int x = 0; x < 2; ++x) put(colour, x, 0, plane, samples[plane][x]);
    expect_dib(colour, 0, dib_header(2, 1, 24, 8, 0).raw({127, 1, 1, /* b g r */ 0, 254, 254, 0, 0 /* padding */}));
}

// Samples at and around every kind of boundary, through levels that are
// ordinary, fractional, inverted, and whose range disagrees with them.
TEST(GetDib, BytesAreThoseOfGetPixelGray256) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> samples{nan, inf, -inf, 1e10f, -1e10f, 0.5f, 254.999f, 10.5f, 20.25f};
    for (int v = -2; v <= 257; ++v)
        samples.insert(samples.end(), {float(v), std::nextafter(float(v), -inf), std::nextafter(float(v), inf)});
    const struct { const char *name; double min, max, range; } levels[] = {
        {"default", 0, 255, 255}, {"fractional", 10.5, 20.25, 9.75}, {"inverted", 200, 100, -100},
        {"range 1e-9", 0, 255, 1e-9}, {"wide", -1e9, 1e9, 2e9}};
    const int width = int(samples.size());
    for (const auto &l : levels) {
        CStlImage image;
        float_image::fill(image, width, 1, 3, {});
        for (int plane = 0; plane < 3; ++plane) {
            set_levels(image, plane, l.min, l.max, l.range);
            for (int x = 0; x < width; ++x) put(image, x, 0, plane, samples[(x + plane * 7) % width]);
        }
        const HDIB dib = image.GetDib(0);
        ASSERT_NE(dib, nullptr);
        const auto *bytes = static_cast<const std::uint8_t *>(GlobalLock(dib)) + 40;
        for (int x = 0; x < width; ++x)
            for (int plane = 0; plane < 3; ++plane)
                EXPECT_EQ(bytes[3 * x + 2 - plane], image.GetPixelGray256(x, 0, plane))
                    << l.name << ", plane " << plane << ", sample " << image.GetPixelGrayRaw(x, 0, plane);
        GlobalUnlock(dib);
        GlobalFree(dib);
    }
}

TEST(GetDib, RefusalsLeaveNothingAllocated) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    CStlImage empty, twoPlanes, gray;
    float_image::fill(twoPlanes, 2, 2, 2, {});
    float_image::fill(gray, 2, 2, 1, {});
    const struct { const char *name; const CStlImage &image; int option; bool noMemory; } cases[] = {
        {"no store", empty, 0, false}, {"two planes", twoPlanes, 0, false}, {"option 2", gray, 2, false},
        {"option -1", gray, -1, false}, {"no memory", gray, 0, true}};
    for (const auto &c : cases) {
        const int live = win32_standin::LiveGlobalBlocks();
        if (c.noMemory) win32_standin::FailNth(win32_standin::Call::GlobalAlloc, 1);
        EXPECT_EQ(c.image.GetDib(c.option), nullptr) << c.name;
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), live) << c.name;
    }
}

}  // namespace
