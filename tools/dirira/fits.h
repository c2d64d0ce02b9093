// FITS for the command-line program, through CFITSIO: the header records of
// a file's HDUs, and conversion between BMP files and FITS images.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/read_image.h"
#include "tools/dirira/stretch.h"

namespace dirira_tool {

// What a cube of other than one or three planes becomes without --plane:
// refused, with the ways out the command has, or (convert -o DIR) a gray
// image of each plane.
enum class FitsCube { kChoosePlane, kChoosePlaneOrFolder, kEveryPlane };

// Which image of a FITS file is read, counted from 1 as FITS counts.
struct FitsSelection {
    int hdu = 0;   // --hdu N: that HDU (1 is the primary); 0: the first that holds an image
    int plane = 0; // --plane N: that plane of a cube alone, as a gray image; 0: a gray or three-plane image
    FitsCube cube = FitsCube::kChoosePlane;
};

// Where the display levels of an image read from FITS come from, in the
// order of preference: the file's LEVMINn/LEVMAXn cards, 0..255 for byte
// samples, else the samples' range (which the stretch replaces).
enum class FitsLevels { kCards, kBytes, kRange };

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
// loaded instead of each loading it again.
void load_cfitsio();

// Whether the path names a FITS file by its extension, in any case: .fits,
// .fit or .fts, alone or gzipped (.fits.gz), or tile-compressed (.fz,
// .fits.fz).
bool is_fits_path(const char *path);

// How a FITS file of that name is compressed: gzip as a whole (.gz), tile
// compression (.fz: Rice for integers, gzip for floats, both lossless), or
// not at all. CFITSIO reads all three whatever the name.
enum class FitsCompression { kNone, kGzip, kTiles };
FitsCompression fits_compression_of(const char *path);

// What `dirira fits-info` shows of an HDU: its record (a tile-compressed
// image described as the image it holds, XTENSION 'IMAGE'), the compression
// algorithm of such an image, and the BSCALE and BZERO of an image that has
// either card.
struct FitsHdu {
    std::unique_ptr<CFitsExtension> record;
    std::string compression; // ZCMPTYPE; empty: not tile-compressed
    std::string scaling;     // "BSCALE x, BZERO y"; empty: neither card
};

// One record per HDU of the file, the primary HDU first (its Xtension is
// empty: a primary header has SIMPLE instead). Empty, with `error` set, when
// the file cannot be read.
std::vector<FitsHdu> read_fits_headers(const char *path, std::string &error);

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
// of a cube) into `image`, each plane's display levels as FitsLevels says,
// with where they came from (the least preferred of any plane) in `origin`.
// Level cards that are there but not numbers are reported and ignored.
// Returns 0 or prints why not and returns 1.
int read_fits_image(const char *fitsPath, CStlImage &image, const FitsSelection &selection = {},
                    FitsLevels *origin = nullptr);

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
