// Random images through the write path: size, planes, option, display
// levels and samples from the bytes, rendered by GetDib, written by WriteDIB
// and read back by ReadDIB. Every pixel byte must be the byte rule's for its
// sample (the rule written here again from its contract), the file must read
// back as the block written, and nothing may stay open or allocated.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <win32_standin.h>

#include <dirira/dirira.h>

#include "fuzz/scratch_file.h"

namespace {

struct Bmp : CBmp {
    using CBmp::ReadDIB, CBmp::WriteDIB;
};

constexpr int kLargestSide = 48;
constexpr std::size_t kInfoHeader = 40, kGrayTable = 1024;
constexpr std::size_t kFileHeaderTail = 14; // ReadDIB reads a file header's size more than follows it

// Values that separate the rule's cases: the levels themselves, NaN, the
// infinities, numbers around 0 and 255, a range of 0.
const double kLevels[] = {0.0,
                          255.0,
                          -1.0,
                          1.0,
                          127.5,
                          1e-30,
                          -1e30,
                          65535.0,
                          0.5,
                          254.99999999999997,
                          std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          3.0e9,
                          256.0,
                          16.0};

class Bytes {
public:
    Bytes(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    float sample() {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits = bits << 8 | byte();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    double level() { return kLevels[byte() % (sizeof kLevels / sizeof kLevels[0])]; }

private:
    const std::uint8_t *data_;
    std::size_t size_, at_ = 0;
};

std::uint8_t expected_byte(float sample, double low, double high, double range) {
    if (sample <= low)
        return 0;
    if (sample >= high)
        return 255;
    return static_cast<std::uint8_t>(_mm_cvttsd_si32(_mm_set_sd((sample - low) / range * 255.0)) & 0xFF);
}

void check_pixels(CStlImage &image, int option, const std::uint8_t *dib) {
    const int width = image.GetWidth(), height = image.GetHeight(), planes = image.GetPlanes();
    const std::size_t stride = (std::size_t(width) * planes + 3) & ~std::size_t{3};
    const std::uint8_t *rows = dib + kInfoHeader + (planes == 1 ? kGrayTable : 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int plane = 0; plane < planes; ++plane) {
                const double low = option == 1 ? 0.0 : image.LevelMin[plane];
                const double high = option == 1 ? 255.0 : image.LevelMax[plane];
                const double range = option == 1 ? 255.0 : image.LevelRange[plane];
                const int channel = planes == 1 ? 0 : 2 - plane; // blue, green, red
                const std::uint8_t got = rows[std::size_t(height - 1 - y) * stride + std::size_t(x) * planes + channel];
                if (got != expected_byte(image.GetPixelGrayRaw(x, y, plane), low, high, range))
                    std::abort();
            }
}

// The file written, read back: the block, then the file header's 14 bytes
// as zeros.
void round_trip(HDIB dib) {
    if (Bmp::WriteDIB(fuzz_support::scratch_path(".bmp").c_str(), dib) != dirira::kBmpOk)
        std::abort();
    HDIB back = NULL;
    if (Bmp::ReadDIB(fuzz_support::scratch_path(".bmp").c_str(), &back) != dirira::kBmpOk)
        std::abort();
    const SIZE_T size = GlobalSize(dib);
    const auto *written = static_cast<const std::uint8_t *>(GlobalLock(dib));
    const auto *read = static_cast<const std::uint8_t *>(GlobalLock(back));
    const bool same = GlobalSize(back) == size + kFileHeaderTail && std::memcmp(written, read, size) == 0 &&
                      std::all_of(read + size, read + size + kFileHeaderTail, [](std::uint8_t b) { return b == 0; });
    GlobalUnlock(back);
    GlobalUnlock(dib);
    GlobalFree(back);
    if (!same)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    Bytes bytes(data, size);
    const int width = 1 + bytes.byte() % kLargestSide, height = 1 + bytes.byte() % kLargestSide;
    const std::uint8_t choice = bytes.byte();
    const int planes = choice & 1 ? 3 : 1, option = choice >> 1 & 1;
    {
        CStlImage image;
        if (!image.Create(width, height, planes))
            std::abort();
        for (int plane = 0; plane < planes; ++plane) {
            image.LevelMin[plane] = bytes.level();
            image.LevelMax[plane] = bytes.level();
            // Mostly the range the levels span; sometimes one that disagrees.
            image.LevelRange[plane] = choice & 4 ? bytes.level() : image.LevelMax[plane] - image.LevelMin[plane];
        }
        for (int plane = 0; plane < planes; ++plane)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    image.SetPixelGrayRaw(x, y, bytes.sample(), plane);
        const HDIB dib = image.GetDib(option);
        if (dib == NULL)
            std::abort(); // a float image of 1 or 3 planes always renders
        check_pixels(image, option, static_cast<const std::uint8_t *>(GlobalLock(dib)));
        GlobalUnlock(dib);
        round_trip(dib);
        GlobalFree(dib);
    }
    if (win32_standin::OpenFileHandles() != 0 || win32_standin::LiveGlobalBlocks() != 0 ||
        win32_standin::LockedGlobalBlocks() != 0)
        std::abort(); // a leak is a finding like any crash
    return 0;
}
