// FITS for the command-line program, through CFITSIO: the header records of
// a file's HDUs, and conversion between BMP files and FITS images.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/read_image.h"

namespace dirira_tool {

// `dirira fits-info FILE.fits`: the header records of every HDU.
int fits_info(const char *path);
// `dirira convert` with a FITS file on one side.
int convert_fits(const char *from, const char *to, HWND progress, const bmpfile::ReadLimits &limits);

// Whether the path names a FITS file by its extension (.fits, .fit, .fts).
bool is_fits_path(const char *path);

// One record per HDU of the file, the primary HDU first (its Xtension is
// empty: a primary header has SIMPLE instead). Empty, with `error` set, when
// the file cannot be read.
std::vector<std::unique_ptr<CFitsExtension>> read_fits_headers(const char *path, std::string &error);

// A BMP file of any version as a FITS image: BITPIX -32, NAXIS 2 for gray and NAXIS 3 with
// NAXIS3 = 3 (red, green, blue) for colour, the bottom row of the picture
// first, display levels in LEVMINn/LEVMAXn. Returns 0 or prints why not and
// returns 1.
int bmp_to_fits(const char *bmpPath, const char *fitsPath, HWND progress, const bmpfile::ReadLimits &limits);

// The first image of a FITS file (gray or three-plane colour) into `image`,
// each plane's display levels from its LEVMINn/LEVMAXn cards or its range.
// Returns 0 or prints why not and returns 1.
int read_fits_image(const char *fitsPath, CStlImage &image);

// The first image of a FITS file as a BMP file, through the display levels
// of its LEVMINn/LEVMAXn cards, or through each plane's minimum and maximum
// where they are absent. Returns 0 or prints why not and returns 1.
int fits_to_bmp(const char *fitsPath, const char *bmpPath, HWND progress);

} // namespace dirira_tool
