// The installed face of bmpfile's reader: a stable structure of results
// for other projects, where bmpfile's own types serve the program and the
// Python module and change with them.
#include <dirira/files.h>

#include "bmpfile/read_image.h"

namespace dirira {

static_assert(kDefaultMaxBmpPixels == bmpfile::kDefaultMaxPixels, "one pixel ceiling for every reader");

bool read_bmp_file(const char *path, CStlImage &image, BmpReadResult &result, const BmpReadOptions &options,
                   HWND progress) {
    // Messages name the choices as a C++ caller sets them.
    const bmpfile::ReadLimits limits{options.allowShort, options.maxPixels, "BmpReadOptions::allowShort",
                                     "BmpReadOptions::maxPixels"};
    bmpfile::ReadSource source;
    bmpfile::ReadFailure failure;
    const bool read = bmpfile::read_bmp(path, image, progress, source, failure, limits);
    result = BmpReadResult{failure.status, failure.why, read ? bmpfile::describe_source(source) : std::string(),
                           source.warning};
    return read;
}

} // namespace dirira
