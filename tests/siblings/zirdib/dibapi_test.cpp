#include "siblings/zirdib/dibapi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct InfoCase {
    const char *name;
    DWORD size;
    WORD bitCount;
    DWORD compression;
    DWORD clrUsed;
    WORD entries;
    WORD bytes;
};

// Headers as the reader and the writer hand them over: a 40-byte record
// (or a later, larger version) with only the fields that decide the table.
std::vector<unsigned char> info_header(const InfoCase &c) {
    BITMAPINFOHEADER h{};
    h.biSize = c.size;
    h.biWidth = 3;
    h.biHeight = 2;
    h.biPlanes = 1;
    h.biBitCount = c.bitCount;
    h.biCompression = c.compression;
    h.biClrUsed = c.clrUsed;
    std::vector<unsigned char> bytes(sizeof h + 1);
    std::memcpy(bytes.data() + 1, &h, sizeof h);  // deliberately unaligned
    return bytes;
}

const InfoCase kInfoCases[] = {
    {"1bit_default", 40, 1, BI_RGB, 0, 2, 8},
    {"4bit_default", 40, 4, BI_RGB, 0, 16, 64},
    {"8bit_default", 40, 8, BI_RGB, 0, 256, 1024},
    {"8bit_clrused_20", 40, 8, BI_RGB, 20, 20, 80},
    {"4bit_rle", 40, 4, BI_RLE4, 0, 16, 64},
    {"8bit_rle", 40, 8, BI_RLE8, 0, 256, 1024},
    {"16bit_no_table", 40, 16, BI_RGB, 0, 0, 0},
    {"24bit_no_table", 40, 24, BI_RGB, 0, 0, 0},
    {"32bit_no_table", 40, 32, BI_RGB, 0, 0, 0},
    {"24bit_optional_palette", 40, 24, BI_RGB, 7, 7, 28},
    {"16bit_bitfield_masks", 40, 16, BI_BITFIELDS, 0, 3, 12},
    {"32bit_bitfield_masks", 40, 32, BI_BITFIELDS, 0, 3, 12},
    {"bitfields_clrused_wins", 40, 32, BI_BITFIELDS, 3, 3, 12},
    {"bitfields_on_8bit_ignored", 40, 8, BI_BITFIELDS, 0, 256, 1024},
    {"v4_header_masks_inside", 108, 32, BI_BITFIELDS, 0, 0, 0},
    {"v4_header_8bit", 108, 8, BI_RGB, 0, 256, 1024},
    {"unknown_bitcount", 40, 7, BI_RGB, 0, 0, 0},
    // The counts are 16-bit: callers keep only the low 16 bits of both.
    {"clrused_low_16_bits", 40, 8, BI_RGB, 0x10005, 5, 20},
    {"bytes_wrap_at_16_bits", 40, 8, BI_RGB, 0x4001, 0x4001, 4},
};

class InfoHeaderTable : public testing::TestWithParam<InfoCase> {};

TEST_P(InfoHeaderTable, EntriesAndBytes) {
    const InfoCase &c = GetParam();
    const auto bytes = info_header(c);
    EXPECT_EQ(DibNumColors(bytes.data() + 1), c.entries);
    EXPECT_EQ(PaletteSize(bytes.data() + 1), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(DibApi, InfoHeaderTable, testing::ValuesIn(kInfoCases),
                         [](const testing::TestParamInfo<InfoCase> &row) { return row.param.name; });

struct CoreCase {
    WORD bitCount;
    WORD entries;
};

// A core header is recognised by its size field alone: the reader hands
// over its 12 bytes followed by whatever the file holds next, here 0xFF,
// which must not be taken for the information header's fields.
TEST(DibApi, CoreHeaderCountsFromItsOwnBitCount) {
    const CoreCase cases[] = {{1, 2}, {4, 16}, {8, 256}, {24, 0}};
    for (const CoreCase &c : cases) {
        unsigned char bytes[40];
        std::memset(bytes, 0xFF, sizeof bytes);
        const BITMAPCOREHEADER core{12, 5, 5, 1, c.bitCount};
        std::memcpy(bytes, &core, sizeof core);
        SCOPED_TRACE(c.bitCount);
        EXPECT_EQ(DibNumColors(bytes), c.entries);
        EXPECT_EQ(PaletteSize(bytes), c.entries * 3);
    }
}

}  // namespace
