// dirira files: BMP files of every header version, as the dirira program and
// the Python module read them. CBmp::Read takes the 40-byte and 12-byte
// headers it is made for; read_bmp_file takes those through it and every
// other version (OS/2 2.x, the 52- and 56-byte bit-field headers, V4, V5 as
// ImageMagick and GIMP write them) through a reader that normalises them.
// Link dirira::files (CMake) or `pkg-config dirira-files`.
#pragma once

#include <cstdint>
#include <string>

#include <dirira/dirira.h>

#if defined(__GNUC__)
#define DIRIRA_FILES_API __attribute__((visibility("default")))
#else
#define DIRIRA_FILES_API
#endif

namespace dirira {

// A header is a few bytes and the planes it claims are 4 bytes a sample per
// plane: past this many pixels a file is refused unless told otherwise
// (Pillow's ceiling, the same number).
constexpr std::uint64_t kDefaultMaxBmpPixels = 89478485;

struct BmpReadOptions {
    bool allowShort = false;                        // a file cut short reads as zeros there, with a warning
    std::uint64_t maxPixels = kDefaultMaxBmpPixels; // 0: no ceiling
};

struct BmpReadResult {
    int status = 0;      // 0; else CBmp::Read's status, or -1 for a file the reader of the other versions refuses
    std::string why;     // why the file was not read, in a user's words; "" when it was
    std::string source;  // which header version the file has and which reader took it
    std::string warning; // what the reader let pass (a file cut short under allowShort), or ""
};

// Reads `path` into `image`, the progress window (or NULL) getting the
// library's progress messages. True, or false with result.status and
// result.why set.
DIRIRA_FILES_API bool read_bmp_file(const char *path, CStlImage &image, BmpReadResult &result,
                                    const BmpReadOptions &options = BmpReadOptions(), HWND progress = NULL);

} // namespace dirira
