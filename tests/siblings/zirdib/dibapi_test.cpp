#include "siblings/zirdib/dibapi.h"

#include <gtest/gtest.h>

#include "support/dib_bytes.h"

// Headers as the reader and the writer hand them over, unaligned as in a file: an information header (40 bytes
// or a later, larger version) or a core header (12) followed by 0xFF that must not be read as a 40-byte header's.
TEST(DibApi, EntriesAndBytesOfTheColourTable) {
    const struct {
        DWORD size;
        WORD bitCount;
        DWORD compression, clrUsed;
        WORD entries, bytes;
    } cases[] = {{40, 1, BI_RGB, 0, 2, 8},
                 {40, 4, BI_RLE4, 0, 16, 64},
                 {40, 8, BI_RLE8, 0, 256, 1024},
                 {40, 8, BI_RGB, 20, 20, 80},
                 {40, 16, BI_RGB, 0, 0, 0},
                 {40, 24, BI_RGB, 0, 0, 0},
                 {40, 32, BI_RGB, 0, 0, 0},
                 {40, 2, BI_RGB, 0, 0, 0},
                 {40, 16, BI_BITFIELDS, 0, 3, 12},
                 {40, 32, BI_BITFIELDS, 0, 3, 12},
                 {40, 24, BI_BITFIELDS, 0, 0, 0},
                 {40, 32, BI_BITFIELDS, 4, 4, 16},
                 {108, 32, BI_BITFIELDS, 0, 0, 0},
                 {108, 8, BI_RGB, 0, 256, 1024},
                 {40, 8, BI_RGB, 0x10005, 5, 20},
                 {40, 8, BI_RGB, 0x4001, 0x4001, 4}, // 16-bit counts: the low bits
                 {12, 1, 0, 0, 2, 6},
                 {12, 4, 0, 0, 16, 48},
                 {12, 8, 0, 0, 256, 768},
                 {12, 24, 0, 0, 0, 0}};
    for (const auto &c : cases) {
        testing_support::Bytes b = testing_support::Bytes().u8(0);
        if (c.size == 12) // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
            b.u32(12).u16(5).u16(5).u16(1).u16(c.bitCount).fill(28, 0xFF);
        else // a 40-byte header's fields, then the rest of a larger one
            b.append(testing_support::info_header(3, 2, c.bitCount, c.compression, c.clrUsed, 0, 0, c.size))
                .fill(c.size - 40, 0);
        EXPECT_EQ(std::make_pair(DibNumColors(b.data().data() + 1), PaletteSize(b.data().data() + 1)),
                  std::make_pair(c.entries, c.bytes))
            << c.size << " " << c.bitCount << " " << c.clrUsed;
    }
}
