// The pixel floors behind a shared library's exported functions: see
// pixel_floors.h.
#include "bench/pixel_floors.h"

namespace pixel_floors {

unsigned char shared_gray256(const PlainPlanes &image, const Levels &levels, int x, int y) {
    return gray256(image, levels, x, y);
}

float shared_gray_raw_at(const PlainPlanes &image, double x, double y) { return gray_raw_at(image, x, y); }

float shared_bright_raw(const PlainPlanes &image, int x, int y) { return bright_raw(image, x, y); }

} // namespace pixel_floors
