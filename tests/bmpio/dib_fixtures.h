// CBmp's protected members, byte fixtures, block helpers and the stand-in's seams for the bmpio tests.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "bmpio/bmp.h"
#include "image/stl_image.h"
#include "image/vm_store.h"
#include "support/bytes.h"
#include "support/win32_seams.h"

namespace dib_fixtures {

using testing_support::Bytes;
using Block = std::vector<std::uint8_t>;

// The application reaches the protected members as a derived class would.
struct Bmp : CBmp {
    using CBmp::BitmapFromDib, CBmp::DibFromBitmap, CBmp::DibInfo, CBmp::GetOrgWidthAndHeight, CBmp::ReadDIB,
        CBmp::ReadDibBitmapInfo, CBmp::WriteDIB;
};

// "BM", bfSize, bfReserved1 and 2, bfOffBits.
inline Bytes file_header(std::uint32_t size, std::uint32_t offBits) {
    return Bytes().u16(0x4D42).u32(size).u32(0).u32(offBits);
}

// biSize, biWidth, biHeight, biPlanes 1, biBitCount, biCompression, biSizeImage, resolutions, biClrUsed, 0.
inline Bytes info_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t sizeImage,
                         std::uint32_t clrUsed = 0, std::uint32_t size = 40, std::uint32_t compression = BI_RGB) {
    return Bytes()
        .u32(size)
        .i32(width)
        .i32(height)
        .u16(1)
        .u16(bitCount)
        .u32(compression)
        .u32(sizeImage)
        .i32(2835)
        .i32(2835)
        .u32(clrUsed)
        .u32(0);
}

template <typename T = std::uint32_t> T field(const Block &bytes, std::size_t at) {
    T value;
    return std::memcpy(&value, &bytes[at], sizeof value), value;
}

// A movable block holding `bytes` and `surplus` zero bytes more.
inline HGLOBAL block_of(const Block &bytes, std::size_t surplus = 0) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() + surplus);
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t *>(GlobalLock(block)));
    return GlobalUnlock(block), block;
}

// Every byte of a block as GlobalSize counts them, then the block freed; nothing for NULL.
inline Block take(HGLOBAL block) {
    const auto *p = static_cast<const std::uint8_t *>(block != NULL ? GlobalLock(block) : nullptr);
    const Block bytes(p, p + (p != nullptr ? GlobalSize(block) : 0));
    return GlobalUnlock(block), GlobalFree(block), bytes;
}

// Arms a fault (nth 0: none) where the stand-in's seams exist.
inline void fail_nth(win32_standin::Call call, int nth) {
    if (testing_support::kWin32Seams)
        win32_standin::FailNth(call, nth);
}

// No fault pending, no file open, no block locked, `blocks` alive, where the stand-in keeps the accounts.
inline void expect_released(int blocks) {
    if (!testing_support::kWin32Seams)
        return;
    win32_standin::ClearFaults();
    EXPECT_EQ(std::make_tuple(win32_standin::OpenFileHandles(), win32_standin::LiveGlobalBlocks(),
                              win32_standin::LockedGlobalBlocks()),
              std::make_tuple(0, blocks, 0));
}

template <typename F> void each_sample(CStlImage &image, F f) {
    for (int plane = 0; plane < image.GetPlanes(); ++plane)
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x)
                f(x, y, plane);
}

// A picture with every sample its own.
inline void fill(CStlImage &image, int width, int height, int planes) {
    image.Create(width, height, planes);
    each_sample(image, [&](int x, int y, int plane) {
        image.SetPixelGrayRaw(x, y, float((x * 37 + y * 11 + plane * 101) % 256), plane);
    });
}

struct Random { // seeded choices
    std::int64_t pick(std::initializer_list<std::int64_t> values) { return values.begin()[engine() % values.size()]; }
    Block bytes(std::size_t count) {
        Block bytes(count);
        for (auto &b : bytes)
            b = static_cast<std::uint8_t>(engine());
        return bytes;
    }
    std::mt19937 engine;
};

} // namespace dib_fixtures
