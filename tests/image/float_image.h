// Float images for the gray-access and brightness tests. Samples are put
// and read back through the store itself, never through the members under
// test, and levels are set on the record's fields directly.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "image/stl_image.h"
#include "image/vm_store.h"

namespace float_image {

// Samples given row by row, the same values in every plane.
inline void fill(CStlImage &image, int width, int height, int planes, std::initializer_list<float> samples) {
    ASSERT_NE(image.Create(width, height, planes), 0);
    for (int plane = 0; plane < planes; ++plane) {
        const float *next = samples.begin();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width && next != samples.end(); ++x)
                *reinterpret_cast<float *>(image.Store->GetImageAdr(x, y, plane, 0, 0, NULL)) = *next++;
    }
}

inline void put(CStlImage &image, int x, int y, int plane, float value) {
    *reinterpret_cast<float *>(image.Store->GetImageAdr(x, y, plane, 0, 0, NULL)) = value;
}

inline float stored(CStlImage &image, int x, int y, int plane) {
    return *reinterpret_cast<const float *>(image.Store->GetImageAdr(x, y, plane, 1, 0, NULL));
}

inline void set_levels(CStlImage &image, int plane, double min, double max, double range) {
    image.LevelMin[plane] = min;
    image.LevelMax[plane] = max;
    image.LevelRange[plane] = range;
}

inline void set_levels(CStlImage &image, int plane, double min, double max) {
    set_levels(image, plane, min, max, max - min);
}

}  // namespace float_image
