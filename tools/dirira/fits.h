// FITS for the command-line program, over bmpfile's FITS images: the header
// records of a file's HDUs, and conversion between BMP files and FITS images.
#pragma once

#include <functional>
#include <string>

#include <dirira/dirira.h>

#include "bmpfile/fits_image.h"
#include "bmpfile/read_image.h"
#include "tools/dirira/stretch.h"

namespace dirira_tool {

using bmpfile::fits_compression_of;
using bmpfile::FitsCompression;
using bmpfile::is_fits_path;
using dirira::FitsHdu;
using dirira::FitsLevels;

// What a cube of other than one or three planes becomes without --plane:
// refused, with the ways out the command has, or (convert -o DIR) a gray
// image of each plane.
enum class FitsCube { kChoosePlane, kChoosePlaneOrFolder, kEveryPlane };

// Which image of a FITS file is read, counted from 1 as FITS counts.
struct FitsSelection {
    int hdu = 0;   // --hdu N: that HDU (1 is the primary); 0: the first that holds an image
    int plane = 0; // --plane N: that plane of a cube alone, as a gray image; 0: a gray or three-plane image
    FitsCube cube = FitsCube::kChoosePlane;
    std::uint64_t maxPixels = bmpfile::kDefaultMaxPixels; // --max-pixels: a plane of more is refused; 0: no ceiling
};

// How `dirira convert` writes and reads FITS images.
struct FitsOptions {
    int bitPix = 0; // --bitpix 8|16|32|-32|-64; 0: the smallest that holds every sample exactly
    FitsSelection selection;
    bool stretchGiven = false; // --stretch: replaces levels the file sets, too
    Stretch stretch;           // zscale, for files that set no levels
    bool levelsGiven = false;  // --levels LO,HI: the same levels for every plane
    Levels levels;
    bool perPlane = false; // --per-plane-levels: a stretch's levels for each plane (a colour cube loses its balance)
};

// An output in place (commands.h), and where a conversion hands each one.
struct Written;
using OnWritten = std::function<void(const Written &)>;

// `dirira fits-info FILE.fits`: the header records of every HDU.
int fits_info(const char *path);
// `dirira convert` with a FITS file on one side.
int convert_fits(const char *from, const char *to, const FitsOptions &options, HWND progress,
                 const bmpfile::ReadLimits &limits, const OnWritten &onWritten);

// Where plane K (from 1) of a cube goes when its conversion is named OUTPUT:
// DIR/NAME.bmp becomes DIR/NAME-planeK.bmp.
std::string plane_output(const std::string &output, int plane);

// Loads CFITSIO now, where it would load at the first FITS file: a batch
// calls it before it forks its conversions, which then find the library
// loaded instead of each loading it again. Says the loader's reason once
// when it cannot be loaded.
void load_cfitsio();

// A BMP file of any version as a FITS image: NAXIS 2 for gray and NAXIS 3
// with NAXIS3 = 3 (red, green, blue, named by PLANEn cards) for colour,
// the bottom row of the picture first, display levels in LEVMINn/LEVMAXn.
// BITPIX is options.bitPix, or by default the smallest that holds every
// sample exactly (8 for the samples of 8-bit and 24-bit files; 16 with BZERO
// 32768 for unsigned 16-bit values; -32 where no integer type does). Returns
// 0 or prints why not (a BITPIX asked for that cannot hold the samples
// exactly among the reasons) and returns 1.
int bmp_to_fits(const char *bmpPath, const char *fitsPath, const FitsOptions &options, HWND progress,
                const bmpfile::ReadLimits &limits, const OnWritten &onWritten);

// The selected image of a FITS file (gray, three-plane colour, or one plane
// of a cube) into `image`, each plane's display levels as FitsLevels says.
// Level cards that are there but not numbers are reported and ignored.
// Returns 0 or prints why not and returns 1.
int read_fits_image(const char *fitsPath, CStlImage &image, const FitsSelection &selection = {});

// The selected image of a FITS file as a BMP file, through the levels that
// options give, else the file's own (cards or bytes), else the stretch's
// (zscale by default), one set for the three planes of a colour image
// unless options.perPlane. A cube that FitsCube::kEveryPlane lets through
// becomes NAME-plane1.bmp .. NAME-planeN.bmp beside `bmpPath`
// (plane_output), each as --plane K would make it. Returns 0 or prints why
// not and returns 1 (a cube's planes written before a failure stay).
int fits_to_bmp(const char *fitsPath, const char *bmpPath, const FitsOptions &options, HWND progress,
                const OnWritten &onWritten);

} // namespace dirira_tool
