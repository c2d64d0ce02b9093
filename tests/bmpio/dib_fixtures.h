// Byte fixtures and block helpers shared by the bmpio tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>
#include <vector>

#include "support/bytes.h"
#include "support/win32_seams.h"

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

inline std::uint32_t u32_at(const Block &bytes, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, &bytes[at], sizeof value);
    return value;
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

// Arms a fault where the stand-in's seams exist; nth 0 arms none.
inline void fail_nth(win32_standin::Call call, int nth) {
    if (testing_support::kWin32Seams)
        win32_standin::FailNth(call, nth);
}

// No fault pending, no file open, no block locked and `blocks` alive, where
// the stand-in keeps the accounts.
inline void expect_released(int blocks) {
    if (!testing_support::kWin32Seams)
        return;
    win32_standin::ClearFaults();
    EXPECT_EQ(win32_standin::OpenFileHandles(), 0);
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), blocks);
    EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
}

// Seeded choices for randomized fixtures.
struct Random {
    explicit Random(unsigned seed) : engine(seed) {}
    std::int64_t pick(std::initializer_list<std::int64_t> values) { return values.begin()[engine() % values.size()]; }
    Block bytes(std::size_t count) {
        Block bytes(count);
        for (auto &byte : bytes)
            byte = static_cast<std::uint8_t>(engine());
        return bytes;
    }
    std::mt19937 engine;
};

}  // namespace dib_fixtures
