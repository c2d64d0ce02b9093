// What a packed DIB block holds and where: the header's facts checked
// against the block, the colour table or the channel masks, and the first
// row's offset.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace zircim {

struct DibLayout {
    int width;
    int height;                 // rows, positive
    bool bottomUp;              // the first row in the block is the picture's last
    int bitCount;               // 1, 4, 8, 16, 24 or 32
    DWORD compression;          // BI_RGB, BI_RLE8, BI_RLE4 or BI_BITFIELDS
    const unsigned char *table; // RGBQUAD entries right after the header
    int tableEntries;
    std::uint32_t masks[3]; // red, green, blue of a 16/24/32-bit pixel
    std::size_t rowsOffset; // from the start of the block
    std::uint64_t stride;   // bytes per uncompressed row
    int planes;             // 1: gray palette, 3: red, green, blue
};

// Fills `layout` from the block and returns true, or returns false for a
// DIB the image cannot represent. Reads nothing beyond `blockBytes`.
bool read_dib_layout(const unsigned char *block, std::size_t blockBytes, DibLayout &layout);

// The palette entries pixels can reference: the table, but at most 2^bits.
int used_table_entries(const DibLayout &layout);

} // namespace zircim
