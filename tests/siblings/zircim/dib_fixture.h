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

// A 40-byte BITMAPINFOHEADER; the colour table and the rows follow it.
inline Bytes info_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                         std::uint32_t compression = BI_RGB, std::uint32_t clrUsed = 0) {
    return Bytes()
        .u32(40)           /* biSize */
        .i32(width)        /* biWidth */
        .i32(height)       /* biHeight: > 0 bottom-up, < 0 top-down */
        .u16(1)            /* biPlanes */
        .u16(bitCount)     /* biBitCount */
        .u32(compression)  /* biCompression */
        .u32(0)            /* biSizeImage: never trusted */
        .i32(2835)         /* biXPelsPerMeter */
        .i32(2835)         /* biYPelsPerMeter */
        .u32(clrUsed)      /* biClrUsed: 0 = the full table */
        .u32(0);           /* biClrImportant */
}

// One RGBQUAD, stored blue first.
inline Bytes &rgb(Bytes &bytes, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return bytes.u8(blue).u8(green).u8(red).u8(0);
}

// A movable global block holding `bytes`, freed with the object.
class DibBlock {
public:
    explicit DibBlock(const std::vector<std::uint8_t> &bytes) : handle_(GlobalAlloc(GMEM_MOVEABLE, bytes.size())) {
        std::memcpy(GlobalLock(handle_), bytes.data(), bytes.size());
        GlobalUnlock(handle_);
    }
    ~DibBlock() { GlobalFree(handle_); }
    DibBlock(const DibBlock &) = delete;
    DibBlock &operator=(const DibBlock &) = delete;

    HGLOBAL handle() const { return handle_; }

private:
    HGLOBAL handle_;
};

// The float samples of one plane, top row first.
inline std::vector<float> plane_samples(const CImage &image, int plane) {
    std::vector<float> samples;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            float value;
            std::memcpy(&value, image.Store->GetImageAdr(x, y, plane, 1, CVmImage::kReadBack, NULL), sizeof value);
            samples.push_back(value);
        }
    return samples;
}

}  // namespace zircim_test
