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

// Image libraries refuse pictures past a pixel count unless told otherwise
// (Pillow's MAX_IMAGE_PIXELS, the same number): a header is a few bytes, and
// the planes it claims are 4 bytes a sample per plane.
constexpr std::uint64_t kDefaultMaxPixels = 89478485;

// What a reader lets pass, and the names the user knows the choices by.
struct ReadLimits {
    bool allowShort = false;                     // a file cut short reads as zeros there, with a warning
    std::uint64_t maxPixels = kDefaultMaxPixels; // 0: no ceiling
    std::string allowShortName = "--allow-short";
    std::string maxPixelsName = "--max-pixels";
};

struct ReadSource {
    std::uint32_t headerSize = 0;  // the bitmap header's: 12, 40, 124...; 0 when the file was refused before it
    bool bare = false;             // no BMP file header: the bitmap header begins the file
    bool byLibrary = false;        // CBmp::Read took it
    std::uint32_t compression = 0; // the header's compression field (0 for the 12-byte header, which has none)
    std::string warning;           // what the reader let pass, e.g. a file cut short; empty: nothing
};

struct ReadFailure {
    int status = 0;  // CBmp::Read's status, or kRefusedByReader
    std::string why; // "status N: WHAT", or what the file is and why it cannot be read
};

// Reads `path` into `image`, the progress window (or NULL) getting the
// messages of CBmp::Read and of AttachDIB. The file is judged first, from
// its headers and its size: what it is when it is no BMP, a header that
// describes no picture the readers can decode, a picture that the file
// cannot hold (uncompressed rows past its end; more pixels than its
// run-length bytes can make, at most 255 for each 2 bytes), a pixel count
// over the ceiling. True, or false with `failure` set and the image as
// CBmp::Read leaves it on a failure.
bool read_bmp(const char *path, CStlImage &image, HWND progress, ReadSource &source, ReadFailure &failure,
              const ReadLimits &limits = ReadLimits());

// "the file ends N bytes early" ("1 byte" for one): how a BMP file and a
// FITS file that hold less than their headers promise are described.
std::string ends_early(std::uint64_t missing);

// Where the picture came from: "BITMAPV5HEADER (124-byte header), read by
// the program's reader".
std::string describe_source(const ReadSource &source);

// The file's format in a user's words: "BMP, uncompressed" (bit fields
// included) or "BMP, run-length encoded". The library's own format names
// call every compression but none run-length; they stay the library's.
std::string describe_format(const ReadSource &source);

} // namespace bmpfile
