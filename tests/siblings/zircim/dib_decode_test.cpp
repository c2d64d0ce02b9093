// Every pixel format decodes to exact samples: small blocks with each field
// commented, expected planes top row first.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "dib_fixture.h"

namespace {

using zircim_test::Bytes;
using zircim_test::grays;
using zircim_test::info_header;

struct DecodeCase {
    const char *name;
    Bytes dib;
    int width, height;
    std::vector<std::vector<float>> planes;  // per plane, top row first
};
void PrintTo(const DecodeCase &c, std::ostream *os) { *os << c.name; }  // names, not bytes

// Gray tables of the run-length cases: index 0 is 50, so that a pixel no
// command wrote (0) tells itself apart from index 0.
Bytes rle(int width, int height, WORD bits, DWORD compression) {
    return grays(info_header(width, height, bits, compression, 3), {50, 100, 200});
}
Bytes masks(Bytes b, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return b.u32(red).u32(green).u32(blue);  // the three "colour table" entries
}

const DecodeCase kDecodeCases[] = {
    {"pal1_gray_one_plane", grays(info_header(3, 2, 1), {0, 255}).raw({0xA0, 0, 0, 0, 0x40, 0, 0, 0}),
     3, 2, {{0, 255, 0, 255, 0, 255}}},  // bottom row 1 0 1, top row 0 1 0
    {"pal4_colour_three_planes_index_beyond_black",  // black, orange, blue (b g r x); pixels 1 2 0 5
     info_header(4, 1, 4, BI_RGB, 3).raw({0, 0, 0, 0, 0, 128, 255, 0, 200, 0, 0, 0, 0x12, 0x05, 0, 0}),
     4, 1, {{255, 0, 0, 0}, {128, 0, 0, 0}, {0, 200, 0, 0}}},
    {"pal8_short_gray_table", grays(info_header(3, 1, 8, BI_RGB, 2), {10, 200}).raw({1, 0, 7, 0}),
     3, 1, {{200, 10, 0}}},  // 1 0 7, padding
    {"pal1_unreachable_colour_stays_gray",  // entry 2, red, cannot be reached with 1 bit
     grays(info_header(2, 1, 1, BI_RGB, 3), {0, 90}).raw({0, 0, 255, 0, /* red */ 0x40, 0, 0, 0 /* 0 1 */}),
     2, 1, {{0, 90}}},
    {"rgb16_555", info_header(2, 1, 16).u16(0x7FFF).u16(0x045F),  // white; r 1, g 2, b 31
     2, 1, {{255, 8}, {255, 16}, {255, 255}}},
    {"bitfields16_565", masks(info_header(2, 1, 16, BI_BITFIELDS), 0xF800, 0x07E0, 0x001F).u16(0xF81F).u16(0x8421),
     2, 1, {{255, 132}, {0, 134}, {255, 8}}},  // r 31 g 0 b 31; r 16 g 33 b 1
    {"bitfields16_one_bit_sixteen_bits_zero_mask",
     masks(info_header(2, 1, 16, BI_BITFIELDS), 0x8000, 0xFFFF, 0).u16(0x8000).u16(0x7FFF),
     2, 1, {{255, 0}, {128, 127}, {0, 0}}},
    {"rgb24_bgr", info_header(2, 1, 24).raw({1, 2, 3, /* b g r */ 250, 251, 252, 0, 0 /* padding */}),
     2, 1, {{3, 252}, {2, 251}, {1, 250}}},
    {"rgb32_bgrx", info_header(1, 1, 32).raw({10, 20, 30, 0x99}), 1, 1, {{30}, {20}, {10}}},  // x ignored
    {"bitfields32_full_width_mask",
     masks(info_header(2, 1, 32, BI_BITFIELDS), 0xFFFFFFFF, 0x3FF, 0xC0000000).u32(0x80000201).u32(0xFFFFFFFF),
     2, 1, {{128, 255}, {128, 255}, {170, 255}}},
    {"top_down_rows", info_header(1, -2, 24).raw({0, 0, 11, 0, /* top row first */ 0, 0, 22, 0}),
     1, 2, {{11, 22}, {0, 0}, {0, 0}}},
    {"truncated_block_partial_pixel_black", info_header(1, 2, 24).raw({0, 0, 33, 0, /* bottom */ 7 /* top: b only */}),
     1, 2, {{0, 33}, {0, 0}, {0, 0}}},
    {"truncated_palette_rows_black_not_index_0", grays(info_header(2, 2, 8, BI_RGB, 2), {30, 60}).raw({1, 1, 0, 0}),
     2, 2, {{0, 0, 60, 60}}},
    {"surplus_bytes_ignored", info_header(1, 1, 24).raw({1, 2, 3, 0}).fill(16, 0xEE), 1, 1, {{3}, {2}, {1}}},
    {"rle8_runs_eol_eob", rle(4, 2, 8, BI_RLE8).raw({2, 1, /* 2 x 1 */ 0, 0, /* EOL */ 1, 2, /* 1 x 2 */ 0, 1}),
     4, 2, {{200, 0, 0, 0, 100, 100, 0, 0}}},  // ends with EOB
    {"rle8_delta_right_and_up", rle(4, 2, 8, BI_RLE8).raw({0, 2, 2, 1, /* delta right 2, up 1 */ 1, 1, 0, 1}),
     4, 2, {{0, 0, 100, 0, 0, 0, 0, 0}}},
    {"rle8_absolute_past_row_end", rle(2, 2, 8, BI_RLE8).raw({0, 3, 1, 2, 1, 0, /* 1 2 1, pad */ 0, 0, 1, 2, 0, 1}),
     2, 2, {{200, 0, 100, 200}}},
    {"rle8_run_past_row_end_no_end_code", rle(2, 2, 8, BI_RLE8).raw({5, 1, /* 5 on a row of 2 */ 0, 0, 1, 2}),
     2, 2, {{200, 0, 100, 100}}},
    {"rle8_absolute_past_buffer", rle(4, 1, 8, BI_RLE8).raw({0, 5, 1, 2}),  // 5 announced, 2 there
     4, 1, {{100, 200, 0, 0}}},
    {"rle8_delta_leaving_image",  // past the row's end: its rest is dropped; below the last row: done
     rle(2, 2, 8, BI_RLE8).raw({1, 1, 0, 2, 7, 0, 1, 2, 0, 2, 0, 5, 1, 2}),
     2, 2, {{0, 0, 100, 0}}},
    {"rle4_run_and_absolute", rle(6, 1, 4, BI_RLE4).raw({3, 0x12, /* 1 2 1 */ 0, 3, 0x20, 0x00, /* 2 0 0 */ 0, 1}),
     6, 1, {{100, 200, 100, 200, 50, 50}}},
    {"rle4_absolute_odd_with_padding",
     rle(6, 2, 4, BI_RLE4).raw({0, 5, 0x12, 0x01, 0x20, 0, /* 1 2 0 1 2, pad */ 0, 0, 2, 0x22, 0, 1}),
     6, 2, {{200, 200, 0, 0, 0, 0, 100, 200, 50, 100, 200, 0}}},
};

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

INSTANTIATE_TEST_SUITE_P(Formats, DibDecode, testing::ValuesIn(kDecodeCases),
                         [](const testing::TestParamInfo<DecodeCase> &param) { return std::string(param.param.name); });

}  // namespace
