// Packed DIB blocks for the image library's tests, and what an image holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "image/vm_store.h"
#include "support/bytes.h"
#include "support/win32_seams.h"

namespace zircim_test {

using testing_support::Bytes;

// A 40-byte BITMAPINFOHEADER (height > 0 bottom-up, < 0 top-down; clrUsed 0: the full table).
inline Bytes info_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                         std::uint32_t compression = BI_RGB, std::uint32_t clrUsed = 0, std::uint32_t sizeImage = 0,
                         std::int32_t pelsPerMeter = 2835) {
    return Bytes()
        .u32(40)
        .i32(width)
        .i32(height)
        .u16(1)
        .u16(bitCount)
        .u32(compression)
        .u32(sizeImage)
        .i32(pelsPerMeter)
        .i32(pelsPerMeter)
        .u32(clrUsed)
        .u32(0); /* ... biClrUsed, biClrImportant */
}

// An RGBQUAD, stored blue first.
inline Bytes &rgb(Bytes &bytes, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return bytes.u8(blue).u8(green).u8(red).u8(0);
}

// A movable global block holding `bytes`; the caller frees it.
inline HGLOBAL dib_block(const std::vector<std::uint8_t> &bytes) {
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    return GlobalUnlock(block), block;
}

// The float samples of one plane, top row first, read through the store.
inline std::vector<float> plane_samples(const CImage &image, int plane) {
    std::vector<float> samples(std::size_t(image.Width) * image.Height);
    for (int y = 0; y < image.Height; ++y)
        std::memcpy(&samples[std::size_t(y) * image.Width], image.Store->GetImageAdr(0, y, plane, 1, 0, NULL),
                    4 * std::size_t(image.Width));
    return samples;
}

} // namespace zircim_test
