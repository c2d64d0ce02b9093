// How the program reads a BMP file into an image: the library's CBmp::Read
// for the 40-byte header it is made for, the program's own reader
// (bmp_versions.h) for every other version.
#pragma once

#include <string>

#include <dirira/dirira.h>

namespace dirira_tool {

struct ReadSource {
    std::uint32_t headerSize = 0;  // 0: the file has no BMP file header
    bool byLibrary = false;        // CBmp::Read took it
};

// Reads `path` into `image`, the progress window (or NULL) getting the
// messages of CBmp::Read and of AttachDIB. Returns 0, or 1 after printing
// why not on standard error.
int read_bmp(const char *path, CStlImage &image, HWND progress, ReadSource &source);

// Where the picture came from, for `dirira info`: "BITMAPV5HEADER (124
// bytes), read by the program's reader".
std::string describe_source(const ReadSource &source);

}  // namespace dirira_tool
