// Byte fixtures and block helpers shared by the bmpio tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/bytes.h"

namespace dib_fixtures {

using testing_support::Bytes;
using Block = std::vector<std::uint8_t>;

inline Bytes file_header(std::uint32_t size, std::uint32_t offBits) {
    return Bytes().u16(0x4D42) /* bfType "BM" */ .u32(size) /* bfSize */ .u16(0).u16(0) /* bfReserved1, 2 */
        .u32(offBits);  // bfOffBits
}

inline Bytes info_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t sizeImage,
                         std::uint32_t clrUsed = 0, std::uint32_t size = 40, std::uint32_t compression = BI_RGB) {
    return Bytes().u32(size) /* biSize */ .i32(width) /* biWidth */ .i32(height) /* biHeight */
        .u16(1) /* biPlanes */ .u16(bitCount) /* biBitCount */ .u32(compression) /* biCompression */
        .u32(sizeImage) /* biSizeImage */ .i32(2835).i32(2835) /* biX/YPelsPerMeter */
        .u32(clrUsed) /* biClrUsed */ .u32(0);  // biClrImportant
}

// A movable, zeroed block holding `bytes` and `surplus` bytes more.
inline HGLOBAL block_of(const Block &bytes, std::size_t surplus = 0) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() + surplus);
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

// Every byte of a block, as GlobalSize counts them.
inline Block bytes_of(HGLOBAL block) {
    const auto *p = static_cast<const std::uint8_t *>(GlobalLock(block));
    Block bytes(p, p + GlobalSize(block));
    GlobalUnlock(block);
    return bytes;
}

inline Block take(HGLOBAL block) {
    Block bytes = bytes_of(block);
    GlobalFree(block);
    return bytes;
}

}  // namespace dib_fixtures
