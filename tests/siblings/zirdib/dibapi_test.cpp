#include "siblings/zirdib/dibapi.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

namespace {

using testing_support::Bytes;

// Headers as the reader and the writer hand them over: an information
// header (40 bytes or a later, larger version) or a core header (12), here
// followed by 0xFF that must not be taken for an information header's fields.
const struct {
    const char *name;
    DWORD size;
    WORD bitCount;
    DWORD compression, clrUsed;
    WORD entries, bytes;
} kCases[] = {
    {"1bit_default", 40, 1, BI_RGB, 0, 2, 8},
    {"8bit_default", 40, 8, BI_RGB, 0, 256, 1024},
    {"8bit_clrused_20", 40, 8, BI_RGB, 20, 20, 80},
    {"24bit_no_table", 40, 24, BI_RGB, 0, 0, 0},
    {"16bit_bitfield_masks", 40, 16, BI_BITFIELDS, 0, 3, 12},
    {"v4_header_masks_inside", 108, 32, BI_BITFIELDS, 0, 0, 0},
    {"clrused_low_16_bits", 40, 8, BI_RGB, 0x10005, 5, 20},  // the counts are 16-bit: callers keep the low bits
    {"bytes_wrap_at_16_bits", 40, 8, BI_RGB, 0x4001, 0x4001, 4},
    {"core_8bit", 12, 8, 0, 0, 256, 768},
    {"core_24bit", 12, 24, 0, 0, 0, 0},
};

TEST(DibApi, EntriesAndBytesOfTheColourTable) {
    for (const auto &c : kCases) {
        Bytes b;
        b.u8(0).u32(c.size);  // a first byte so that the header is unaligned, as in a file
        if (c.size == 12)
            b.u16(5).u16(5).u16(1).u16(c.bitCount).fill(28, 0xFF);  // bcWidth, bcHeight, bcPlanes, bcBitCount
        else  // biWidth, biHeight, biPlanes, biBitCount, biCompression, biSizeImage, pels per metre, biClrUsed
            b.i32(3).i32(2).u16(1).u16(c.bitCount).u32(c.compression).u32(0).i32(0).i32(0).u32(c.clrUsed)
                .fill(c.size - 36, 0);  // biClrImportant, then the rest of a larger header
        EXPECT_EQ(DibNumColors(b.data().data() + 1), c.entries) << c.name;
        EXPECT_EQ(PaletteSize(b.data().data() + 1), c.bytes) << c.name;
    }
}

}  // namespace
