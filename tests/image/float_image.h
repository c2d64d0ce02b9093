// Float images for the gray-access and brightness tests. Samples are put
// and read back through the store itself, never through the members under
// test; levels are set on the record's fields.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>

#include "image/stl_image.h"
#include "image/vm_store.h"

namespace float_image {

inline float *sample(CStlImage &image, int x, int y, int plane) {
    return reinterpret_cast<float *>(image.Store->GetImageAdr(x, y, plane, 0, 0, NULL));
}
inline void put(CStlImage &image, int x, int y, int plane, float value) { *sample(image, x, y, plane) = value; }
inline float stored(CStlImage &image, int x, int y, int plane) { return *sample(image, x, y, plane); }

// Samples given row by row, the same in every plane; the rest stay 0.
inline void fill(CStlImage &image, int width, int height, int planes, std::initializer_list<float> samples) {
    ASSERT_NE(image.Create(width, height, planes), 0);
    for (int plane = 0; plane < planes; ++plane)
        for (int i = 0; i < static_cast<int>(samples.size()); ++i)
            put(image, i % width, i / width, plane, samples.begin()[i]);
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
