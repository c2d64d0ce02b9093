// Range is the caller's duty for the pixel members: a position outside the
// image makes the store answer NULL, which the release build dereferences
// as the application's own code always has (the fast path tests nothing).
// Debug and sanitizer builds stop there instead, naming the member, the
// position and the image, rather than leave a bare segmentation fault.
#pragma once

#include "image/image.h"

namespace range_checks {

[[noreturn]] void position_outside(const char *member, const CImage &image, int x, int y, int plane);

inline void expect_inside([[maybe_unused]] const char *member, [[maybe_unused]] const CImage &image,
                          [[maybe_unused]] int x, [[maybe_unused]] int y, [[maybe_unused]] int plane) {
#ifndef NDEBUG
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(image.Width) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(image.Height) ||
        static_cast<unsigned>(plane) >= static_cast<unsigned>(image.Planes))
        position_outside(member, image, x, y, plane);
#endif
}

} // namespace range_checks
