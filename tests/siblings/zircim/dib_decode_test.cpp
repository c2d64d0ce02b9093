// Every pixel format decodes to exact samples: small blocks, one row each
// commented, expected planes top row first.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "dib_fixture.h"

namespace {

using zircim_test::Bytes;
using zircim_test::info_header;
using zircim_test::rgb;

struct DecodeCase {
    const char *name;
    Bytes dib;
    int width;
    int height;
    std::vector<std::vector<float>> planes;  // per plane, top row first
};

// Gray palettes of the run-length cases: index 0 is 50, so that a pixel no
// command wrote (0) tells itself apart from index 0.
Bytes gray_rle_header(int width, int height, WORD bits, DWORD compression) {
    Bytes b = info_header(width, height, bits, compression, 3);
    rgb(b, 50, 50, 50);     /* 0 */
    rgb(b, 100, 100, 100);  /* 1 */
    return rgb(b, 200, 200, 200);  /* 2 */
}

Bytes masks(Bytes b, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return b.u32(red).u32(green).u32(blue);  // the three "colour table" entries
}

std::vector<DecodeCase> decode_cases() {
    std::vector<DecodeCase> cases;
    Bytes b;

    b = info_header(3, 2, 1);
    rgb(b, 0, 0, 0);
    rgb(b, 255, 255, 255);
    b.raw({0xA0, 0, 0, 0})  /* bottom row: 1 0 1 */
        .raw({0x40, 0, 0, 0});  /* top row: 0 1 0 */
    cases.push_back({"pal1_gray_one_plane", b, 3, 2, {{0, 255, 0, 255, 0, 255}}});

    b = info_header(4, 1, 4, BI_RGB, 3);
    rgb(b, 0, 0, 0);
    rgb(b, 255, 128, 0);
    rgb(b, 0, 0, 200);
    b.raw({0x12, 0x05, 0, 0});  /* indices 1 2 0 5; 5 is beyond the table */
    cases.push_back({"pal4_colour_three_planes_index_beyond_black", b, 4, 1,
                     {{255, 0, 0, 0}, {128, 0, 0, 0}, {0, 200, 0, 0}}});

    b = info_header(3, 1, 8, BI_RGB, 2);
    rgb(b, 10, 10, 10);
    rgb(b, 200, 200, 200);
    b.raw({1, 0, 7, 0});  /* indices 1 0 7, padding */
    cases.push_back({"pal8_short_gray_table", b, 3, 1, {{200, 10, 0}}});

    b = info_header(2, 1, 1, BI_RGB, 3);
    rgb(b, 0, 0, 0);
    rgb(b, 90, 90, 90);
    rgb(b, 255, 0, 0);  /* entry 2 cannot be reached with 1 bit */
    b.raw({0x40, 0, 0, 0});  /* 0 1 */
    cases.push_back({"pal1_unreachable_colour_stays_gray", b, 2, 1, {{0, 90}}});

    b = info_header(2, 1, 16);
    b.u16(0x7FFF)  /* white */
        .u16(0x045F);  /* r 1, g 2, b 31 */
    cases.push_back({"rgb16_555", b, 2, 1, {{255, 8}, {255, 16}, {255, 255}}});

    b = masks(info_header(2, 1, 16, BI_BITFIELDS), 0xF800, 0x07E0, 0x001F);
    b.u16(0xF81F)  /* r 31, g 0, b 31 */
        .u16(0x8421);  /* r 16, g 33, b 1 */
    cases.push_back({"bitfields16_565", b, 2, 1, {{255, 132}, {0, 134}, {255, 8}}});

    b = masks(info_header(2, 1, 16, BI_BITFIELDS), 0x8000, 0xFFFF, 0);
    b.u16(0x8000).u16(0x7FFF);
    cases.push_back({"bitfields16_one_bit_sixteen_bits_missing", b, 2, 1, {{255, 0}, {128, 127}, {0, 0}}});

    b = info_header(2, 1, 24);
    b.raw({1, 2, 3})  /* b g r */
        .raw({250, 251, 252})
        .raw({0, 0});  /* padding */
    cases.push_back({"rgb24_bgr", b, 2, 1, {{3, 252}, {2, 251}, {1, 250}}});

    b = info_header(1, 1, 32);
    b.raw({10, 20, 30, 0x99});  /* b g r x: x ignored */
    cases.push_back({"rgb32_bgrx", b, 1, 1, {{30}, {20}, {10}}});

    b = masks(info_header(2, 1, 32, BI_BITFIELDS), 0xFFFFFFFF, 0x000003FF, 0xC0000000);
    b.u32(0x80000201).u32(0xFFFFFFFF);
    cases.push_back({"bitfields32_full_width_mask", b, 2, 1, {{128, 255}, {128, 255}, {170, 255}}});

    b = info_header(1, -2, 24);
    b.raw({0, 0, 11, 0})  /* top row first */
        .raw({0, 0, 22, 0});
    cases.push_back({"top_down_rows", b, 1, 2, {{11, 22}, {0, 0}, {0, 0}}});

    b = info_header(1, 2, 24);
    b.raw({0, 0, 33, 0})  /* bottom row */
        .raw({7});  /* top row: blue only, the block ends inside the pixel */
    cases.push_back({"truncated_block_partial_pixel_black", b, 1, 2, {{0, 33}, {0, 0}, {0, 0}}});

    b = info_header(2, 2, 8, BI_RGB, 2);
    rgb(b, 30, 30, 30);
    rgb(b, 60, 60, 60);
    b.raw({1, 1, 0, 0});  /* bottom row; the top row is missing: black, not index 0 */
    cases.push_back({"truncated_palette_rows_black", b, 2, 2, {{0, 0, 60, 60}}});

    b = info_header(1, 1, 24);
    b.raw({1, 2, 3, 0}).fill(16, 0xEE);  /* surplus bytes after the rows */
    cases.push_back({"surplus_bytes_ignored", b, 1, 1, {{3}, {2}, {1}}});

    b = gray_rle_header(4, 2, 8, BI_RLE8);
    b.raw({2, 1})  /* run: 2 x index 1 */
        .raw({0, 0})  /* end of line */
        .raw({1, 2})  /* run: 1 x index 2 */
        .raw({0, 1});  /* end of bitmap */
    cases.push_back({"rle8_runs_eol_eob", b, 4, 2, {{200, 0, 0, 0, 100, 100, 0, 0}}});

    b = gray_rle_header(4, 2, 8, BI_RLE8);
    b.raw({0, 2, 2, 1})  /* delta: right 2, up 1 */
        .raw({1, 1})
        .raw({0, 1});
    cases.push_back({"rle8_delta", b, 4, 2, {{0, 0, 100, 0, 0, 0, 0, 0}}});

    b = gray_rle_header(2, 2, 8, BI_RLE8);
    b.raw({0, 3, 1, 2, 1, 0})  /* absolute: 1 2 1, pad; the third is past the row */
        .raw({0, 0})
        .raw({1, 2})
        .raw({0, 1});
    cases.push_back({"rle8_absolute_past_row_end", b, 2, 2, {{200, 0, 100, 200}}});

    b = gray_rle_header(2, 2, 8, BI_RLE8);
    b.raw({5, 1})  /* run of 5 on a row of 2 */
        .raw({0, 0})
        .raw({1, 2});  /* and no end code */
    cases.push_back({"rle8_run_past_row_end_no_end_code", b, 2, 2, {{200, 0, 100, 100}}});

    b = gray_rle_header(4, 1, 8, BI_RLE8);
    b.raw({0, 5, 1, 2});  /* absolute run of 5; the input ends after 2 */
    cases.push_back({"rle8_absolute_past_buffer", b, 4, 1, {{100, 200, 0, 0}}});

    b = gray_rle_header(2, 2, 8, BI_RLE8);
    b.raw({1, 1})
        .raw({0, 2, 7, 0})  /* delta past the row's end: the row's rest is dropped */
        .raw({1, 2})
        .raw({0, 2, 0, 5})  /* delta below the last row: the picture ends */
        .raw({1, 2});
    cases.push_back({"rle8_delta_leaving_image", b, 2, 2, {{0, 0, 100, 0}}});

    b = gray_rle_header(6, 1, 4, BI_RLE4);
    b.raw({3, 0x12})  /* run: 1 2 1 */
        .raw({0, 3, 0x20, 0x00})  /* absolute: 3 nibbles 2 0 0 */
        .raw({0, 1});
    cases.push_back({"rle4_run_and_absolute", b, 6, 1, {{100, 200, 100, 200, 50, 50}}});

    b = gray_rle_header(6, 2, 4, BI_RLE4);
    b.raw({0, 5, 0x12, 0x01, 0x20, 0})  /* absolute: 1 2 0 1 2, pad */
        .raw({0, 0})
        .raw({2, 0x22})
        .raw({0, 1});
    cases.push_back({"rle4_absolute_odd_with_padding", b, 6, 2,
                     {{200, 200, 0, 0, 0, 0, 100, 200, 50, 100, 200, 0}}});
    return cases;
}

// Test names carry the case name, not the bytes.
void PrintTo(const DecodeCase &c, std::ostream *os) { *os << c.name; }

class DibDecode : public testing::TestWithParam<DecodeCase> {};

TEST_P(DibDecode, SamplesAreExact) {
    const DecodeCase &c = GetParam();
    zircim_test::DibBlock dib(c.dib);
    CImage image;
    ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0);
    ASSERT_EQ(image.Width, c.width);
    ASSERT_EQ(image.Height, c.height);
    ASSERT_EQ(image.Planes, static_cast<int>(c.planes.size()));
    for (int plane = 0; plane < image.Planes; ++plane)
        EXPECT_EQ(zircim_test::plane_samples(image, plane), c.planes[plane]) << "plane " << plane;
}

INSTANTIATE_TEST_SUITE_P(Formats, DibDecode, testing::ValuesIn(decode_cases()),
                         [](const testing::TestParamInfo<DecodeCase> &param) { return std::string(param.param.name); });

}  // namespace
