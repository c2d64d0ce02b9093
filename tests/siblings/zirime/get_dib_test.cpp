// CStlImage::GetDib: whole DIB blocks compared byte for byte, each option,
// the bytes of libdirira's GetPixelGray256 for every sample, and refusals
// that leave nothing allocated.
#include <gtest/gtest.h>


#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "image/float_image.h"
#include "support/bytes.h"
#include "support/win32_seams.h"

namespace {

using float_image::put;
using float_image::set_levels;
using testing_support::Bytes;

// The block's first `size` bytes; the memory manager may report more.
std::vector<std::uint8_t> block_bytes(HDIB dib, std::size_t size) {
    EXPECT_GE(GlobalSize(dib), size);
    const auto *bytes = static_cast<const std::uint8_t *>(GlobalLock(dib));
    std::vector<std::uint8_t> copy(bytes, bytes + size);
    GlobalUnlock(dib);
    return copy;
}

Bytes dib_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t sizeImage,
                 std::uint32_t clrUsed) {
    return Bytes()
        .u32(40)         // biSize
        .i32(width)      // biWidth
        .i32(height)     // biHeight: positive, rows bottom-up
        .u16(1)          // biPlanes
        .u16(bitCount)   // biBitCount
        .u32(0)          // biCompression: BI_RGB
        .u32(sizeImage)  // biSizeImage: the padded rows
        .i32(0)          // biXPelsPerMeter: none declared
        .i32(0)          // biYPelsPerMeter
        .u32(clrUsed)    // biClrUsed
        .u32(0);         // biClrImportant
}

Bytes gray_table() {
    Bytes table;
    for (int i = 0; i < 256; ++i)
        table.u8(i).u8(i).u8(i).u8(0);  // blue, green, red, reserved
    return table;
}

HDIB expect_dib(const CStlImage &image, int option, const std::vector<std::uint8_t> &expected) {
    const HDIB dib = image.GetDib(option);
    EXPECT_NE(dib, nullptr);
    if (dib != NULL) {
        EXPECT_EQ(block_bytes(dib, expected.size()), expected);
    }
    return dib;
}

// Levels 10..20: below, at, between (truncated) and above them. The top
// row of the store is the last row of the DIB.
TEST(GetDib, OnePlaneIsEightBitGrayBottomUp) {
    CStlImage image;
    float_image::fill(image, 3, 2, 1, {5.0f, 15.0f, 25.0f, 10.0f, 12.5f, 19.99f});
    set_levels(image, 0, 10.0, 20.0);
    const auto expected = Bytes()
                              .append(dib_header(3, 2, 8, 8, 256))
                              .append(gray_table())
                              .raw({0, 63, 254, 0})    // store row 1: 10, 12.5, 19.99; padding
                              .raw({0, 127, 255, 0});  // store row 0: 5, 15, 25; padding
    GlobalFree(expect_dib(image, 0, expected));
}

// Each plane through its own levels; blue, green, red in the file.
TEST(GetDib, ThreePlanesAreTwentyFourBitBgr) {
    CStlImage image;
    ASSERT_NE(image.Create(2, 1, 3), 0);
    set_levels(image, 1, 0.0, 510.0);
    set_levels(image, 2, 100.0, 200.0);
    const float samples[3][2] = {{1.0f, 254.0f}, {2.0f, 509.0f}, {150.0f, 99.0f}};  // red, green, blue
    for (int plane = 0; plane < 3; ++plane)
        for (int x = 0; x < 2; ++x)
            put(image, x, 0, plane, samples[plane][x]);
    const auto expected = Bytes()
                              .append(dib_header(2, 1, 24, 8, 0))
                              .raw({127, 1, 1})    // x 0: blue 150 of 100..200, green 2 of 0..510, red 1
                              .raw({0, 254, 254})  // x 1: blue 99, green 509 of 0..510, red 254
                              .raw({0, 0});        // padding
    GlobalFree(expect_dib(image, 0, expected));
}

TEST(GetDib, OptionSelectsLevelsOrRawSamples) {
    const struct {
        const char *name;
        int option;
        std::vector<std::uint8_t> row;
    } cases[] = {
        {"display levels 100..200", 0, {0, 0, 63, 127, 255, 255}},
        {"raw samples clipped", 1, {0, 0, 125, 150, 254, 255}},
    };
    CStlImage image;
    float_image::fill(image, 6, 1, 1, {-3.0f, 0.5f, 125.0f, 150.0f, 254.75f, 300.0f});
    set_levels(image, 0, 100.0, 200.0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto expected = Bytes().append(dib_header(6, 1, 8, 8, 256)).append(gray_table()).append(c.row).fill(2, 0);
        GlobalFree(expect_dib(image, c.option, expected));
    }
}

// Samples at and around every kind of boundary, through levels that are
// ordinary, fractional, inverted, and whose range disagrees with them.
TEST(GetDib, BytesAreThoseOfGetPixelGray256) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> samples{nan, inf, -inf, 1e10f, -1e10f, 0.5f, 254.999f, 10.5f, 20.25f};
    for (int v = -2; v <= 257; ++v)
        samples.insert(samples.end(), {float(v), std::nextafter(float(v), -inf), std::nextafter(float(v), inf)});
    const struct {
        const char *name;
        double min, max, range;
    } levels[] = {
        {"default", 0, 255, 255},     {"fractional", 10.5, 20.25, 9.75}, {"inverted", 200, 100, -100},
        {"range 1", 0, 255, 1},       {"range 1e-9", 0, 255, 1e-9},     {"wide", -1e9, 1e9, 2e9},
    };
    const int width = int(samples.size());
    for (const auto &l : levels) {
        SCOPED_TRACE(l.name);
        CStlImage image;
        ASSERT_NE(image.Create(width, 1, 3), 0);
        for (int plane = 0; plane < 3; ++plane) {
            set_levels(image, plane, l.min, l.max, l.range);
            for (int x = 0; x < width; ++x)
                put(image, x, 0, plane, samples[(x + plane * 7) % width]);
        }
        const HDIB dib = image.GetDib(0);
        ASSERT_NE(dib, nullptr);
        const auto bytes = block_bytes(dib, 40 + std::size_t(width) * 3);
        for (int x = 0; x < width; ++x)
            for (int plane = 0; plane < 3; ++plane)
                ASSERT_EQ(bytes[40 + 3 * x + 2 - plane], image.GetPixelGray256(x, 0, plane))
                    << "plane " << plane << " sample " << image.GetPixelGrayRaw(x, 0, plane);
        GlobalFree(dib);
    }
}

TEST(GetDib, RefusalsLeaveNothingAllocated) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    CStlImage empty, twoPlanes, gray;
    ASSERT_NE(twoPlanes.Create(2, 2, 2), 0);
    ASSERT_NE(gray.Create(2, 2, 1), 0);
    const struct {
        const char *name;
        const CStlImage &image;
        int option;
        bool noMemory;
    } cases[] = {
        {"no store", empty, 0, false},
        {"two planes", twoPlanes, 0, false},
        {"option 2", gray, 2, false},
        {"option -1", gray, -1, false},
        {"no memory", gray, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const int live = win32_standin::LiveGlobalBlocks();
        if (c.noMemory)
            win32_standin::FailNth(win32_standin::Call::GlobalAlloc, 1);
        EXPECT_EQ(c.image.GetDib(c.option), nullptr);
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), live);
    }
}

}  // namespace
