// The floors of the float image's pixel members: the same formulas with
// the same clamping over plain float planes, written as tightly as a hand
// loop would be. pixel_bench.cpp inlines them into its loops, and
// pixel_floor_lib.cpp exports them from a shared library of their own, as
// the library exports its members.
#pragma once

#include <algorithm>
#include <cstddef>

namespace pixel_floors {

constexpr int kSide = 4096;

// Planes of width x height floats, row-major, one after the other. The
// extent is a value known at run time, as any image's is: a floor that
// knew it while compiling would clamp against constants and find rows by
// shifts, which no member of an image of any size can.
struct PlainPlanes {
    const float *samples;
    int width, height;

    const float *at(int x, int y, int plane) const {
        return samples + (std::size_t(plane) * std::size_t(height) + std::size_t(y)) * std::size_t(width) +
               std::size_t(x);
    }
};

// Plane 0's levels, taken from the library's image at run time so that the
// floor cannot fold them into its arithmetic; a hand loop keeps them in
// registers.
struct Levels {
    double min, max, range;
};

inline int clamp_to(int index, int extent) { return std::clamp(index, 0, extent - 1); }

inline unsigned char gray256(PlainPlanes image, const Levels &levels, int x, int y) {
    const double sample = *image.at(clamp_to(x, image.width), clamp_to(y, image.height), 0);
    if (sample <= levels.min)
        return 0;
    if (sample >= levels.max)
        return 255;
    return static_cast<unsigned char>(static_cast<int>((sample - levels.min) / levels.range * 255.0));
}

struct Axis {
    int base;
    double position;
};

inline Axis axis(double position, int extent) {
    if (position < extent - 1)
        return {static_cast<int>(position), position};
    return {extent - 2, double(extent - 1)};
}

inline float gray_raw_at(PlainPlanes image, double x, double y) {
    const Axis column = axis(x, image.width), row = axis(y, image.height);
    const int cx = clamp_to(column.base, image.width), cy = clamp_to(row.base, image.height);
    if (column.base == column.position && row.base == row.position)
        return *image.at(cx, cy, 0);
    const float *top = image.at(cx, cy, 0);
    const float *bottom = image.at(cx, clamp_to(row.base + 1, image.height), 0);
    const double a = column.position - column.base, b = row.position - row.base, ab = b * a;
    return static_cast<float>(((((1.0 - b) * (1.0 - a)) * top[0] + (b - ab) * bottom[0]) + (a - ab) * top[1]) +
                              ab * bottom[1]);
}

inline float bright_raw(PlainPlanes image, int x, int y) {
    const int cx = clamp_to(x, image.width), cy = clamp_to(y, image.height);
    const double red = *image.at(cx, cy, 0), green = *image.at(cx, cy, 1), blue = *image.at(cx, cy, 2);
    return static_cast<float>((green * 0.587 + red * 0.299) + blue * 0.114);
}

// The same floors exported from a shared library (pixel_floor_lib.cpp):
// what a plain C function over a plain array costs a caller that reaches it
// as it reaches the library's members, through the dynamic linker. Like
// any function of an image library (and a member, whose image is `this`),
// it is handed its image record by address and loads the extent and the
// samples' address from it on every call: a record passed by value would
// arrive in registers that the caller's loop loaded once, which only a
// record of two fields and a pointer allows.
#define PIXEL_FLOOR_EXPORT __attribute__((visibility("default")))
PIXEL_FLOOR_EXPORT unsigned char shared_gray256(const PlainPlanes &image, const Levels &levels, int x, int y);
PIXEL_FLOOR_EXPORT float shared_gray_raw_at(const PlainPlanes &image, double x, double y);
PIXEL_FLOOR_EXPORT float shared_bright_raw(const PlainPlanes &image, int x, int y);

} // namespace pixel_floors
