// Sample access shared by the float image's gray and brightness members
// (gray_access.cpp, brightness.cpp). Internal to the library: the members
// are exported, so calls between them would go through the dynamic linker's
// tables and never inline; these helpers let each hot member reach the
// store's cached fast path directly.
#pragma once

#include "image/range_checks.h"
#include "image/stl_image.h"
#include "image/vm_store.h"

namespace float_samples {

// Modes of CStlImage::GetImageAdr: bit 0 is the store's read-only flag.
constexpr unsigned kReadMode = 1;
constexpr unsigned kWriteMode = 0;

// The compiler lays a likely branch's path out straight: along a row a
// member is bound by the taken jumps the processor fetches past, not by its
// arithmetic.
#if defined(__GNUC__)
#define FLOAT_SAMPLES_LIKELY(condition) __builtin_expect(!!(condition), 1)
#else
#define FLOAT_SAMPLES_LIKELY(condition) (condition)
#endif

// Inside the image (the common case) one unsigned test decides; outside,
// past the last index gives the last, below 0 gives 0.
inline int clamp_to_extent(int index, int extent) {
    if (FLOAT_SAMPLES_LIKELY(static_cast<unsigned>(index) < static_cast<unsigned>(extent)))
        return index;
    return index < 0 ? 0 : extent - 1;
}

// The store's address of a sample at a position already clamped. Bit 1 of
// the mode is passed as 2, not shifted to 1: the store's flag values depend
// on it. The other bits are dropped. NULL outside the store.
inline float *lookup_address(const CStlImage &image, int x, int y, int plane, unsigned mode, void **lockOut = NULL) {
    unsigned char *address =
        image.Store->GetImageAdr(x, y, plane, static_cast<int>(mode & 1u), static_cast<int>(mode & 2u), lockOut);
    return reinterpret_cast<float *>(address);
}

// The same for a member that uses the address at once.
inline float *store_address(const CStlImage &image, int x, int y, int plane, unsigned mode, void **lockOut = NULL) {
    range_checks::expect_inside("CStlImage pixel member", image, x, y, plane);
    return lookup_address(image, x, y, plane, mode, lockOut);
}

// Clamps x, then y, to the image.
inline float *clamped_address(const CStlImage &image, int x, int y, int plane, unsigned mode, void **lockOut = NULL) {
    return store_address(image, clamp_to_extent(x, image.Width), clamp_to_extent(y, image.Height), plane, mode,
                         lockOut);
}

// The inline path of a store in one region, for members that keep their
// whole slow path out of line: NULL when the lookup needs more (the member
// then looks up through GetImageAdr, which answers the same address for a
// store in one region, and pages any other store).
struct StoreRows {
    static const float *read_address(const CStlImage &image, int x, int y, int plane) {
        range_checks::expect_inside("CStlImage pixel member", image, x, y, plane);
        return image.Store->float_in_region(x, y, plane);
    }
    // Sample `left` of rows `top` and `bottom` of a plane from one lookup,
    // with the store holding column `right` (left or left + 1) as well: NULL
    // when any of them is not in the store's inline path. The member hands
    // clamped positions with left <= right and top <= bottom, so the lookup
    // of the lower right sample bounds all four.
    static const float *two_rows(const CStlImage &image, int left, int right, int top, int bottom, int plane,
                                 const float *&lower) {
        range_checks::expect_inside("CStlImage pixel member", image, left, top, plane);
        const CVmImage &store = *image.Store;
        const float *lowerRight = store.float_in_region(right, bottom, plane);
        if (lowerRight == nullptr)
            return nullptr;
        lower = lowerRight - (right - left);
        return lower - static_cast<std::ptrdiff_t>(bottom - top) * static_cast<std::ptrdiff_t>(store.float_width());
    }
    // Sample (x, y) of planes 0, 1 and 2 from one lookup and the store's
    // plane stride: NULL when the store has fewer planes (each plane is then
    // looked up on its own) or is not a region of floats.
    static const float *first_of_three_planes(const CStlImage &image, int x, int y, std::size_t &planeStride) {
        const CVmImage &store = *image.Store;
        static_assert(CVmImage::kInlinePlanes >= 3, "the third plane's address is kept");
        if (store.m_floatPlanes[2] == nullptr)
            return nullptr;
        planeStride = store.m_planeStride;
        return read_address(image, x, y, 0);
    }
};

inline float read_sample(const CStlImage &image, int x, int y, int plane) {
    return *clamped_address(image, x, y, plane, kReadMode);
}

// (s - m) / R * 255: subtract, divide, multiply, in that order.
inline double display_scale(double raw, double levelMin, double levelRange) {
    return (raw - levelMin) / levelRange * 255.0;
}

inline double raw_to_display(const CImage &image, double raw, int plane) {
    return display_scale(raw, image.LevelMin[plane], image.LevelRange[plane]);
}

inline double display_to_raw(const CImage &image, double display, int plane) {
    return display / 255.0 * image.LevelRange[plane] + image.LevelMin[plane];
}

// The display value of a sample as a float: the double result rounded once.
inline float display_of(const CImage &image, float raw, int plane) {
    return static_cast<float>(raw_to_display(image, raw, plane));
}

// A display value carried back to raw terms as a float, rounded once.
inline float raw_of(const CImage &image, float display, int plane) {
    return static_cast<float>(display_to_raw(image, display, plane));
}

// The sample at a fractional position by bilinear interpolation
// (gray_access.cpp).
float interpolate(const CStlImage &image, double x, double y, int plane);

} // namespace float_samples
