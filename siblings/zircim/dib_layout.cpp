#include "siblings/zircim/dib_layout.h"

#include <climits>
#include <cstring>

#include "siblings/zirdib/dibapi.h"

namespace zircim {

namespace {

constexpr std::size_t kHeaderBytes = sizeof(BITMAPINFOHEADER);
constexpr int kMaskEntries = 3;

// The red, green and blue masks of pixels without BI_BITFIELDS: 5-5-5 for
// 16 bits, 8-8-8 in BGR byte order for 24 and 32.
constexpr std::uint32_t kMasks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr std::uint32_t kMasks888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

bool supported_format(WORD bitCount, DWORD compression, int tableEntries) {
    switch (compression) {
    case BI_RGB:
        return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
    case BI_RLE8:
        return bitCount == 8;
    case BI_RLE4:
        return bitCount == 4;
    case BI_BITFIELDS:
        return (bitCount == 16 || bitCount == 32) && tableEntries >= kMaskEntries;
    default:
        return false;
    }
}

// Zero (the channel is missing) or one run of set bits.
bool contiguous(std::uint32_t mask) {
    if (mask == 0)
        return true;
    const std::uint32_t low = mask & (~mask + 1);
    return ((mask + low) & mask) == 0;
}

bool read_masks(DibLayout &layout) {
    if (layout.compression == BI_BITFIELDS) {
        std::memcpy(layout.masks, layout.table, sizeof layout.masks);
        return contiguous(layout.masks[0]) && contiguous(layout.masks[1]) && contiguous(layout.masks[2]);
    }
    std::memcpy(layout.masks, layout.bitCount == 16 ? kMasks555 : kMasks888, sizeof layout.masks);
    return true;
}

bool gray_palette(const DibLayout &layout) {
    const int used = used_table_entries(layout);
    for (int i = 0; i < used; ++i) {
        RGBQUAD entry;
        std::memcpy(&entry, layout.table + i * sizeof(RGBQUAD), sizeof entry);
        if (entry.rgbRed != entry.rgbGreen || entry.rgbGreen != entry.rgbBlue)
            return false;
    }
    return true;
}

bool compressed(DWORD compression) { return compression == BI_RLE8 || compression == BI_RLE4; }

} // namespace

int used_table_entries(const DibLayout &layout) {
    if (layout.bitCount > 8)
        return 0;
    const int reachable = 1 << layout.bitCount;
    return layout.tableEntries < reachable ? layout.tableEntries : reachable;
}

bool read_dib_layout(const unsigned char *block, std::size_t blockBytes, DibLayout &layout) {
    if (block == nullptr || blockBytes < kHeaderBytes)
        return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    if (header.biSize != kHeaderBytes || header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT_MIN)
        return false;
    const std::size_t tableBytes = PaletteSize(block);
    const int tableEntries = static_cast<int>(tableBytes / sizeof(RGBQUAD));
    if (blockBytes < kHeaderBytes + tableBytes ||
        !supported_format(header.biBitCount, header.biCompression, tableEntries))
        return false;
    layout.bottomUp = header.biHeight > 0;
    if (!layout.bottomUp && compressed(header.biCompression))
        return false; // run-length rows exist only bottom-up
    layout.width = header.biWidth;
    layout.height = layout.bottomUp ? header.biHeight : -header.biHeight;
    layout.bitCount = header.biBitCount;
    layout.compression = header.biCompression;
    layout.table = block + kHeaderBytes;
    layout.tableEntries = tableEntries;
    layout.rowsOffset = kHeaderBytes + tableBytes;
    layout.stride = (static_cast<std::uint64_t>(layout.width) * layout.bitCount + 31) / 32 * 4;
    if (layout.bitCount > 8)
        layout.planes = 3;
    else
        layout.planes = gray_palette(layout) ? 1 : 3;
    return layout.bitCount <= 8 || read_masks(layout);
}

} // namespace zircim
