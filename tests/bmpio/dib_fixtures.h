// CBmp's protected members, byte fixtures, block helpers and the stand-in's seams for the bmpio tests.
#pragma once

#include <windows.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "bmpio/bmp.h"
#include "image/stl_image.h"
#include "image/vm_store.h"
#include "support/dib_bytes.h"
#include "support/win32_seams.h"

namespace dib_fixtures {

using namespace testing_support;
using Block = std::vector<std::uint8_t>;

// The application reaches the protected members as a derived class would.
struct Bmp : CBmp {
    using CBmp::BitmapFromDib, CBmp::DibFromBitmap, CBmp::DibInfo, CBmp::GetOrgWidthAndHeight, CBmp::ReadDIB,
        CBmp::ReadDibBitmapInfo, CBmp::WriteDIB;
};

template <typename T = std::uint32_t> T field(const Block &bytes, std::size_t at) {
    T value;
    return std::memcpy(&value, &bytes[at], sizeof value), value;
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
