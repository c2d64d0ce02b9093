// Packed DIB blocks for the image library's tests, and what an image holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "image/vm_store.h"
#include "support/dib_bytes.h"
#include "support/win32_seams.h"

namespace zircim_test {

using namespace testing_support;

// The float samples of one plane, top row first, read through the store.
inline std::vector<float> plane_samples(const CImage &image, int plane) {
    std::vector<float> samples(std::size_t(image.Width) * image.Height);
    for (int y = 0; y < image.Height; ++y)
        std::memcpy(&samples[std::size_t(y) * image.Width], image.Store->GetImageAdr(0, y, plane, 1, 0, NULL),
                    4 * std::size_t(image.Width));
    return samples;
}

} // namespace zircim_test
