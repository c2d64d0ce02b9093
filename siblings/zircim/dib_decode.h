// Decoding the rows of a packed DIB into an image's pixel store.
#pragma once

#include <cstddef>

#include "image/vm_store.h"
#include "siblings/zircim/dib_layout.h"
#include "siblings/zircim/image_hooks.h"
#include "siblings/zircim/progress.h"

namespace zircim {

// Writes the samples of every pixel the block holds into `store`, a fresh
// float store of layout.width x layout.height x layout.planes (all zero).
// Samples are 0..255 in the file's channel scale. Reads nothing beyond
// `blockBytes`. Pixels the block lacks (a truncated file) and pixels no
// run-length command writes are not touched: they stay 0, black, so the
// work and the memory touched follow the data, not what a header claims.
// Returns the extremes of the samples, 0 included when a pixel was left.
PlaneExtremes decode_dib(const unsigned char *block, std::size_t blockBytes, const DibLayout &layout, CVmImage &store,
                         Progress &progress);

// A channel of `width` bits (1..8) widened to 8 by repeating its bits, so
// that its largest value becomes 255: 5 bits v give (v << 3) | (v >> 2).
unsigned widen_to_8_bits(unsigned value, unsigned width);

} // namespace zircim
