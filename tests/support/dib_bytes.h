// BMP files and packed DIBs written field by field, and the movable blocks that carry DIBs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/bytes.h"

namespace testing_support {

// "BM", bfSize, bfReserved1 and 2, bfOffBits.
inline Bytes file_header(std::uint32_t size, std::uint32_t offBits) {
    return Bytes().u16(0x4D42).u32(size).u32(0).u32(offBits);
}

// biSize, biWidth, biHeight (> 0 bottom-up, < 0 top-down), biPlanes 1, biBitCount, biCompression, biSizeImage, both
// resolutions, biClrUsed (0: the full table), biClrImportant 0.
inline Bytes info_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                         std::uint32_t compression = BI_RGB, std::uint32_t clrUsed = 0, std::uint32_t sizeImage = 0,
                         std::int32_t pelsPerMeter = 2835, std::uint32_t size = 40) {
    return Bytes()
        .u32(size)
        .i32(width)
        .i32(height)
        .u16(1)
        .u16(bitCount)
        .u32(compression)
        .u32(sizeImage)
        .i32(pelsPerMeter)
        .i32(pelsPerMeter)
        .u32(clrUsed)
        .u32(0);
}

// An RGBQUAD, stored blue first.
inline Bytes &rgb(Bytes &bytes, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return bytes.u8(blue).u8(green).u8(red).u8(0);
}

// A movable block holding `bytes` and `surplus` zero bytes more; the caller frees it.
inline HGLOBAL dib_block(const std::vector<std::uint8_t> &bytes, std::size_t surplus = 0) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() + surplus);
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t *>(GlobalLock(block)));
    return GlobalUnlock(block), block;
}

// Every byte of a block as GlobalSize counts them, then the block freed; nothing for NULL.
inline std::vector<std::uint8_t> take(HGLOBAL block) {
    const auto *p = static_cast<const std::uint8_t *>(block != NULL ? GlobalLock(block) : nullptr);
    const std::vector<std::uint8_t> bytes(p, p + (p != nullptr ? GlobalSize(block) : 0));
    return GlobalUnlock(block), GlobalFree(block), bytes;
}

} // namespace testing_support
