// dirira FITS: images written as FITS files and read back, as the dirira
// program converts them, and the header records of a file's HDUs. Part of
// libdirira_files: link dirira::files (CMake) or `pkg-config dirira-files`.
//
// The library loads CFITSIO (by the soname it was built against) the first
// time a FITS file is touched: a consumer needs neither its headers nor a
// link to it, and where it cannot be loaded each call fails with "CFITSIO
// cannot be loaded: " and the loader's reason. Paths are taken literally: CFITSIO's extended file-name
// syntax (`file.fits[1]`, `!file.fits`) does not apply.
//
// Row order: FITS stores the bottom row of the picture first (its y axis
// points up, and viewers draw row 1 at the bottom); an image's row 0 is the
// picture's top row. Image row y is FITS row height - y (counted from 1) both
// ways, so a FITS viewer shows the picture upright and image -> FITS ->
// image gives back every sample.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <dirira/files.h>

namespace dirira {

struct FitsWriteOptions {
    // 8, 16, 32, -32 or -64; 0: the smallest that holds every sample exactly,
    // the first of 8 (0..255), 16 (-32768..32767), 16 with BZERO 32768
    // (0..65535), 32, -32. Every BMP file reads as whole samples of 0..255,
    // so it becomes BITPIX 8. A BITPIX that cannot hold every sample exactly
    // is refused, never rounded or clipped.
    int bitPix = 0;
};

struct FitsWriteResult {
    std::string
        why; // why the file was not written (an existing one is then unchanged), in a user's words; "" when it was
    int bitPix = 0; // the BITPIX written
};

// Writes `image` as the FITS file `path`: NAXIS 2 for a gray image, NAXIS 3
// with NAXIS3 = 3 for a colour one (cards PLANE1..PLANE3 'red', 'green',
// 'blue'), the bottom row first. Besides the mandatory cards: ORIGIN
// 'dirira'; SRCFILE, the image's OrgFileName without folders (left out
// unless printable ASCII; a long one goes on in CONTINUE cards); SRCBITS,
// its OrgBitsPixel; and for each plane n (from 1) its display levels as
// LEVMINn (black) and LEVMAXn (white), which read_fits_file gives back.
// The name chooses the layout, in any case: NAME.fits.gz gzips the whole
// file; NAME.fz and NAME.fits.fz hold an empty primary HDU and the image
// tile-compressed in an extension, lossless (Rice for integer BITPIX, gzip
// of the unquantised samples for -32 and -64); any other name a plain file.
// The file is written beside `path` under a temporary name, flushed to the
// disk and renamed over `path` only when complete, so a failure leaves an
// existing file as it was. `progress` (or NULL) gets the progress messages
// CBmp::Write sends, the caption being `path`. True, or false with
// result.why set.
DIRIRA_FILES_API bool write_fits_file(const char *path, CStlImage &image, FitsWriteResult &result,
                                      const FitsWriteOptions &options = FitsWriteOptions(), HWND progress = NULL);

struct FitsReadOptions {
    int hdu = 0;   // the HDU to read, counted from 1 (the primary); 0: the first that holds an image
    int plane = 0; // that plane (from 1) of a cube alone, as a gray image; 0: a gray or three-plane image
    // A plane of more pixels (NAXIS1 x NAXIS2) is refused, as BMP files are: a few hundred bytes of
    // tile-compressed data can claim any size. 0: no ceiling.
    std::uint64_t maxPixels = kDefaultMaxBmpPixels;
};

// Where an image's display levels came from, in the order of preference:
// the file's LEVMINn/LEVMAXn cards (both there and numbers), 0 and 255 for
// byte samples (BITPIX 8 with BSCALE 1 and BZERO 0), else the smallest and
// largest defined samples of the plane.
enum class FitsLevels { kCards, kBytes, kRange };

struct FitsReadResult {
    std::string why; // why the file was not read, in a user's words; "" when it was
    // What was let pass: level cards that are not numbers, levels that span nothing, samples the image's float32
    // cannot hold (integers beyond 2**24 rounded, doubles beyond its range made infinite), a data unit that does
    // not match its DATASUM card.
    std::vector<std::string> warnings;
    FitsLevels levels = FitsLevels::kCards; // the least preferred source of any plane's levels
};

// Reads the image of HDU options.hdu, or the first HDU that holds one (the
// primary array or an IMAGE extension, tile-compressed ones included, with
// no axis of length 0; tables are passed over), into `image` as floats:
// NAXIS 2 or a cube of one plane as a gray image, a cube of three planes as
// red, green and blue, options.plane of any cube alone (axes beyond the
// third must have length 1). CFITSIO applies BSCALE and BZERO and turns
// BLANK into NaN. Each plane's display levels come as FitsLevels says.
// True, or false with result.why set ("no HDU 9: the file has 4", "a cube
// of 5 planes: choose one with FitsReadOptions::plane").
DIRIRA_FILES_API bool read_fits_file(const char *path, CStlImage &image, FitsReadResult &result,
                                     const FitsReadOptions &options = FitsReadOptions());

// What a FITS file says of one of its HDUs: its record (a tile-compressed
// image described as the image it holds, XTENSION 'IMAGE'; a primary HDU
// has an empty XTENSION), the compression algorithm of such an image
// (ZCMPTYPE), and "BSCALE x, BZERO y" for an image that has either card.
// The column arrays are sized to TFIELDS; NAXIS and TFIELDS stop at 999 and
// an axis length beyond 32 bits reads as 0.
struct FitsHdu {
    std::unique_ptr<CFitsExtension> record;
    std::string compression; // "" when not tile-compressed
    std::string scaling;     // "" when the HDU has neither card
};

// One FitsHdu per HDU of the file, the primary first. True, or false with
// `why` set and `hdus` empty.
DIRIRA_FILES_API bool read_fits_headers(const char *path, std::vector<FitsHdu> &hdus, std::string &why);

} // namespace dirira
