// DibNumColors, PaletteSize (zirdib.@)
#include "dibapi.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr DWORD kCoreHeaderSize = sizeof(BITMAPCOREHEADER); // 12
constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER); // 40
constexpr WORD kBitFieldMaskCount = 3;

// Headers reach us as bytes of a file or of a movable block with no
// alignment promise, so every field is copied out rather than cast.
template <typename Field> Field field_at(const void *header, std::size_t offset) {
    Field value;
    std::memcpy(&value, static_cast<const unsigned char *>(header) + offset, sizeof value);
    return value;
}

DWORD header_size(const void *header) { return field_at<DWORD>(header, 0); }

WORD default_table_entries(WORD bitCount) {
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

WORD info_header_entries(const void *header) {
    const auto clrUsed = field_at<DWORD>(header, offsetof(BITMAPINFOHEADER, biClrUsed));
    if (clrUsed != 0)
        return static_cast<WORD>(clrUsed); // callers keep the low 16 bits
    const auto bitCount = field_at<WORD>(header, offsetof(BITMAPINFOHEADER, biBitCount));
    const auto compression = field_at<DWORD>(header, offsetof(BITMAPINFOHEADER, biCompression));
    // Only the 40-byte header keeps its masks behind it; later header
    // versions carry them inside the header itself.
    if (compression == BI_BITFIELDS && (bitCount == 16 || bitCount == 32) && header_size(header) == kInfoHeaderSize)
        return kBitFieldMaskCount;
    return default_table_entries(bitCount);
}

} // namespace

WORD WINAPI DibNumColors(const void *header) {
    if (header_size(header) == kCoreHeaderSize)
        return default_table_entries(field_at<WORD>(header, offsetof(BITMAPCOREHEADER, bcBitCount)));
    return info_header_entries(header);
}

WORD WINAPI PaletteSize(const void *header) {
    const std::size_t entry = header_size(header) == kCoreHeaderSize ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD);
    return static_cast<WORD>(DibNumColors(header) * entry);
}
