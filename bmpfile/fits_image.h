// FITS images through CFITSIO, for the dirira program and libdirira_files
// (<dirira/fits.h>, which documents the files written and read, and the row
// order): the header records of a file's HDUs, the selected image of a file
// read into an image with its display levels, an image written as a FITS
// file. Nothing here prints: each call answers with what happened, the
// reason in a user's words, warnings as data, for the caller to say as its
// users expect.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <dirira/dirira.h>
#include <dirira/fits.h>

#include "bmpfile/read_image.h"

namespace bmpfile {

// Loads CFITSIO now, where it would load at the first FITS call: a batch
// does so before it forks its conversions, which then find it loaded.
void load_cfitsio();

// Why CFITSIO could not be loaded, in the loader's words, once a load has
// failed; "" before any was tried and once one succeeded. The FITS calls
// then fail with "CFITSIO cannot be loaded".
std::string cfitsio_failure();

// Whether the path names a FITS file by its extension, in any case: .fits,
// .fit or .fts, alone or gzipped (.fits.gz), or tile-compressed (.fz,
// .fits.fz).
bool is_fits_path(const char *path);

// Whether the file begins as FITS, read through gzip where it is gzip, as
// CFITSIO reads it.
bool holds_fits(const char *path);

// How a FITS file of that name is written: gzip as a whole (.gz), tile
// compression (.fz), or neither. CFITSIO reads all three whatever the name.
enum class FitsCompression { kNone, kGzip, kTiles };
FitsCompression fits_compression_of(const char *path);

// One record per HDU of the file, the primary HDU first. Empty, with `error`
// set, when the file cannot be read. `cut`, where given, says where a file
// cut inside the header of an HDU after its whole ones ends ("" if not).
std::vector<dirira::FitsHdu> read_fits_headers(const char *path, std::string &error, std::string *cut = nullptr);

// The sample type for `bitPix` (0: the smallest that holds every sample of
// the image exactly), as CFITSIO names image types (USHORT_IMG is BITPIX 16
// with BZERO 32768); false, with why not, when that BITPIX cannot hold them.
bool choose_fits_type(CStlImage &image, int bitPix, int &type, std::string &why);

// The BITPIX of such a type.
int fits_bitpix_of(int type);

// A new FITS file at `path` (created, never replaced: callers write through
// write_durably) holding the image in that type, laid out as `compression`
// says, its SRCFILE card naming `sourcePath`. `progress` (or NULL) is shown
// the rows going out under `caption`. "" or why not.
std::string write_fits_image(const char *path, CStlImage &image, const char *sourcePath, int type,
                             FitsCompression compression, HWND progress, const char *caption);

// Which image of a FITS file is read, counted from 1 as FITS counts.
struct FitsSelection {
    int hdu = 0;             // that HDU (1 is the primary); 0: the first that holds an image
    int plane = 0;           // that plane of a cube alone, as a gray image; 0: a gray or three-plane image
    bool everyPlane = false; // a cube of another number of planes is let through, else refused
    std::string choosePlane = "FitsReadOptions::plane";       // how the user chooses a plane, for that refusal
    std::uint64_t maxPixels = kDefaultMaxPixels;              // a plane of more pixels is refused; 0: no ceiling
    std::string maxPixelsName = "FitsReadOptions::maxPixels"; // how the user raises it, for that refusal
};

// What a read of planes gave besides their samples.
struct FitsImageRead {
    dirira::FitsLevels levels = dirira::FitsLevels::kCards; // the least preferred source of any plane's levels
    std::vector<std::string> warnings;                      // in the order found
    std::string why;                                        // why not read; "" when read
    int firstPlane = 0;                                     // the file's plane (from 0) that became the image's plane 0
};

// A FITS file opened at the image a selection names, read a plane or more
// at a time (a cube one plane after another).
class FitsImageFile {
public:
    FitsImageFile();
    ~FitsImageFile();
    FitsImageFile(const FitsImageFile &) = delete;
    FitsImageFile &operator=(const FitsImageFile &) = delete;

    // True, or false with why not: the file, the HDU, a shape no image can
    // take, a cube that the selection does not let through.
    bool open(const char *path, const FitsSelection &selection, std::string &why);
    // The planes the selection gives: 1 (a chosen plane, or gray), 3
    // (colour) or a cube's count.
    int planes() const;
    // `count` of those planes from `first` (from 0) into `image`, each with
    // its display levels.
    bool read(CStlImage &image, int first, int count, FitsImageRead &result);

private:
    struct Opened;
    std::unique_ptr<Opened> m_opened;
};

// The selected image of a FITS file into `image`: every plane the
// selection gives.
bool read_fits_image(const char *path, CStlImage &image, const FitsSelection &selection, FitsImageRead &result);

} // namespace bmpfile
