// Reading a BMP file of any header version into an image: the library's
// CBmp::Read for the 40-byte header it is made for (and for bare DIBs
// without a file header), the reader of bmp_versions.h for every other
// version. Used by the dirira program and the Python module alike, so that
// both read the same files the same way and explain a failure alike.
#pragma once

#include <cstdint>
#include <string>

#include <dirira/dirira.h>

namespace bmpfile {

// The status of a file that the reader of every version refuses (the
// library's codes are 0 and up).
constexpr int kRefusedByReader = -1;

struct ReadSource {
    std::uint32_t headerSize = 0; // 0: the file has no BMP file header
    bool byLibrary = false;       // CBmp::Read took it
    std::string warning;          // what the reader let pass, e.g. a file cut short; empty: nothing
};

struct ReadFailure {
    int status = 0;  // CBmp::Read's status, or kRefusedByReader
    std::string why; // "status N: WHAT", or what the file is and why it cannot be read
};

// Reads `path` into `image`, the progress window (or NULL) getting the
// messages of CBmp::Read and of AttachDIB. True, or false with `failure`
// set and the image as CBmp::Read leaves it on a failure.
bool read_bmp(const char *path, CStlImage &image, HWND progress, ReadSource &source, ReadFailure &failure);

// Where the picture came from: "BITMAPV5HEADER (124-byte header), read by
// the program's reader".
std::string describe_source(const ReadSource &source);

} // namespace bmpfile
