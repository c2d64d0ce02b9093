// The rows of an image's paged store, for the code that reads or writes
// whole rows of samples.
#pragma once

#include <dirira/dirira.h>

namespace bmpfile {

// GetImageAdr's mode: bit 0 set reads the row, clear writes it.
constexpr unsigned kReadSamples = 1;
constexpr unsigned kWriteSamples = 0;

// Row y of a plane of the image's store, for reading or writing. A store
// that cannot bring the row in (no memory for a slot, a swap file that
// fails) throws the framework's memory exception, which ends what the
// caller was doing as out of memory.
float *store_row(CStlImage &image, int y, int plane, unsigned mode);

} // namespace bmpfile
