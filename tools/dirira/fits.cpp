// FITS in the program: `dirira fits-info` and the FITS side of `dirira
// convert`, over bmpfile's FITS images (fits_image.h). Here are what only
// the program does: its messages, its display options (levels given,
// stretches), a cube written as a BMP file per plane, and the lines that
// name each output.
#include "tools/dirira/fits.h"

#include "tools/dirira/commands.h"
#include "tools/dirira/display_levels.h"

#include <cstdio>
#include <string>
#include <vector>

namespace dirira_tool {
namespace {

constexpr int kGrayPlanes = 1;
constexpr int kColourPlanes = 3;

int report(const char *path, const std::string &why) {
    std::fprintf(stderr, "dirira: %s: %s\n", path, why.c_str());
    return 1;
}

// The loader's reason, said once, the first time a FITS call finds that
// CFITSIO cannot be loaded (the call's own failure is said after it).
void say_why_cfitsio_is_missing() {
    static bool said = false;
    const std::string why = bmpfile::cfitsio_failure();
    if (said || why.empty())
        return;
    std::fprintf(stderr, "dirira: %s\n", why.c_str());
    said = true;
}

void say_warnings(const char *path, const std::vector<std::string> &warnings) {
    for (const std::string &warning : warnings)
        std::fprintf(stderr, "dirira: %s: warning: %s\n", path, warning.c_str());
}

void print_record(int number, const FitsHdu &hdu) {
    CFitsExtension &record = *hdu.record;
    const CString xtension = record.GetXtension();
    std::printf("HDU %d: %s", number, xtension.IsEmpty() ? "primary" : static_cast<const char *>(xtension));
    if (!hdu.compression.empty())
        std::printf(", tile-compressed (%s)", hdu.compression.c_str());
    if (!record.GetExtName().IsEmpty())
        std::printf(", EXTNAME '%s'", static_cast<const char *>(record.GetExtName()));
    std::printf("\n  BITPIX %d, NAXIS %d", record.GetBitPix(), record.GetNAxis());
    for (int i = 0; i < record.GetNAxis(); ++i)
        std::printf("%s%d", i == 0 ? ": " : " x ", record.GetNAxes(i));
    std::printf("\n");
    if (!hdu.scaling.empty())
        std::printf("  %s\n", hdu.scaling.c_str());
    if (record.GetTFields() > 0)
        std::printf("  TFIELDS %d\n", record.GetTFields());
    for (int i = 0; i < record.GetTFields(); ++i) {
        std::printf("  column %d: TTYPE '%s', TFORM '%s', TUNIT '%s'", i + 1,
                    static_cast<const char *>(record.GetTType(i)), static_cast<const char *>(record.GetTForm(i)),
                    static_cast<const char *>(record.GetTUnit(i)));
        if (record.GetTBCol(i) != 0) // ASCII tables only
            std::printf(", TBCOL %d", record.GetTBCol(i));
        std::printf("\n");
    }
}

// The stretch's levels for an image whose file set none, said when they
// span nothing. Warnings name the file's planes: the image's plane 0 is the
// file's firstPlane.
void apply_stretch(const char *path, CStlImage &image, int firstPlane, const Stretch &stretch, bool perPlane) {
    const std::vector<Levels> levels = stretch_image(image, stretch, perPlane);
    for (std::size_t plane = 0; plane < levels.size(); ++plane)
        warn_about_levels(path, firstPlane + int(plane) + 1, levels[plane]);
}

// The selection in the core's terms, the way out of a cube named as the
// command offers it.
bmpfile::FitsSelection core_selection(const FitsSelection &selection) {
    const char *choosePlane = selection.cube == FitsCube::kChoosePlaneOrFolder
                                  ? "--plane N, or write a BMP file of each with -o DIR --to bmp"
                                  : "--plane N";
    return {selection.hdu, selection.plane,     selection.cube == FitsCube::kEveryPlane,
            choosePlane,   selection.maxPixels, "--max-pixels"};
}

// The file opened at the image that the selection names; or 1, after
// saying why not.
int open_image(const char *fitsPath, const FitsSelection &selection, bmpfile::FitsImageFile &file) {
    std::string why;
    const bool opened = file.open(fitsPath, core_selection(selection), why);
    say_why_cfitsio_is_missing();
    return opened ? 0 : report(fitsPath, why);
}

// `count` planes from `first` into `image`, the warnings said; or 1, after
// saying why not.
int read_planes(bmpfile::FitsImageFile &file, const char *fitsPath, int first, int count, CStlImage &image,
                bmpfile::FitsImageRead &read) {
    const bool done = file.read(image, first, count, read);
    say_warnings(fitsPath, read.warnings);
    return done ? 0 : report(fitsPath, read.why);
}

// Those planes through the levels that options give, else the file's, else
// the stretch's, written as a BMP file and reported.
int shown_as_bmp(bmpfile::FitsImageFile &file, const char *fitsPath, int first, int count, const char *bmpPath,
                 const FitsOptions &options, HWND progress, const OnWritten &onWritten) {
    CStlImage image;
    bmpfile::FitsImageRead read;
    if (read_planes(file, fitsPath, first, count, image, read) != 0)
        return 1;
    if (options.levelsGiven)
        set_display_levels(image, std::vector<Levels>(std::size_t(image.GetPlanes()), options.levels));
    else if (options.stretchGiven || read.levels == FitsLevels::kRange)
        apply_stretch(fitsPath, image, read.firstPlane, options.stretch, options.perPlane);
    if (write_bmp(image, bmpPath, progress) != 0)
        return 1;
    onWritten(written_from(fitsPath, bmpPath, image));
    return 0;
}

} // namespace

void load_cfitsio() {
    bmpfile::load_cfitsio();
    say_why_cfitsio_is_missing();
}

int fits_info(const char *path) {
    std::string error, cut;
    const std::vector<FitsHdu> hdus = bmpfile::read_fits_headers(path, error, &cut);
    say_why_cfitsio_is_missing();
    if (hdus.empty())
        return report(path, error);
    for (std::size_t i = 0; i < hdus.size(); ++i)
        print_record(int(i) + 1, hdus[i]);
    std::fflush(stdout); // the listing before the warning, when both go to one file
    if (!cut.empty())
        std::fprintf(stderr, "dirira: %s: warning: %s\n", path, cut.c_str());
    return 0;
}

int bmp_to_fits(const char *bmpPath, const char *fitsPath, const FitsOptions &options, HWND progress,
                const bmpfile::ReadLimits &limits, const OnWritten &onWritten) {
    CStlImage image;
    bmpfile::ReadSource source;
    if (read_bmp_file(bmpPath, image, progress, source, limits) != 0)
        return 1;
    int type = 0;
    std::string why;
    if (!bmpfile::choose_fits_type(image, options.bitPix, type, why))
        return report(bmpPath, why);
    if (write_replacing(fitsPath, [&](const char *path) {
            const std::string failure = bmpfile::write_fits_image(path, image, bmpPath, type,
                                                                  fits_compression_of(fitsPath), progress, fitsPath);
            say_why_cfitsio_is_missing();
            return failure;
        }) != 0)
        return 1;
    onWritten(written_from(bmpPath, fitsPath, image, ", BITPIX " + std::to_string(bmpfile::fits_bitpix_of(type))));
    return 0;
}

int read_fits_image(const char *fitsPath, CStlImage &image, const FitsSelection &selection) {
    bmpfile::FitsImageFile file;
    bmpfile::FitsImageRead read;
    return open_image(fitsPath, selection, file) != 0 ? 1 : read_planes(file, fitsPath, 0, file.planes(), image, read);
}

int fits_to_bmp(const char *fitsPath, const char *bmpPath, const FitsOptions &options, HWND progress,
                const OnWritten &onWritten) {
    bmpfile::FitsImageFile file;
    if (open_image(fitsPath, options.selection, file) != 0)
        return 1;
    const int planes = file.planes();
    if (planes == kGrayPlanes || planes == kColourPlanes)
        return shown_as_bmp(file, fitsPath, 0, planes, bmpPath, options, progress, onWritten);
    // A cube that the selection lets through: each plane as --plane K makes it.
    for (int plane = 0; plane < planes; ++plane) {
        const std::string output = plane_output(bmpPath, plane + 1);
        if (shown_as_bmp(file, fitsPath, plane, 1, output.c_str(), options, progress, onWritten) != 0)
            return 1;
    }
    return 0;
}

std::string plane_output(const std::string &output, int plane) {
    const std::size_t name = output.rfind('/') + 1; // npos + 1: 0, a name without a folder
    const std::size_t dot = output.rfind('.');
    // A dot that starts the name is no extension's.
    const std::size_t end = dot != std::string::npos && dot > name ? dot : output.size();
    return output.substr(0, end) + "-plane" + std::to_string(plane) + output.substr(end);
}

int convert_fits(const char *from, const char *to, const FitsOptions &options, HWND progress,
                 const bmpfile::ReadLimits &limits, const OnWritten &onWritten) {
    if (is_fits_path(from) == is_fits_path(to))
        return report(from, "convert with FITS goes from BMP to FITS or from FITS to BMP");
    if (!is_fits_path(from))
        return bmp_to_fits(from, to, options, progress, limits, onWritten);
    FitsOptions ceiled = options;
    ceiled.selection.maxPixels = limits.maxPixels;
    return fits_to_bmp(from, to, ceiled, progress, onWritten);
}

} // namespace dirira_tool
