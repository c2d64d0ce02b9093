// The installed face of bmpfile's FITS images (<dirira/fits.h>): a result
// structure for other projects, the choices named as a C++ caller sets
// them, every output through the durable writer, and the framework's memory
// exception turned into a failure like any other.
#include <dirira/fits.h>

#include "bmpfile/durable_write.h"
#include "bmpfile/fits_image.h"

namespace dirira {
namespace {

constexpr const char *kOutOfMemory = "out of memory";

// `call`'s answer, or false with `why` set when the framework's memory
// exception ends it (an image too large, a store that cannot page a row, a
// header record that cannot grow).
template <typename Call> bool unless_out_of_memory(std::string &why, Call call) {
    try {
        return call();
    } catch (CMemoryException *e) {
        e->Delete();
        why = kOutOfMemory;
        return false;
    }
}

// CFITSIO, loaded now where it is not yet: false, with the loader's reason,
// when it cannot be (its calls would only say that it cannot).
bool cfitsio_loaded(std::string &why) {
    bmpfile::load_cfitsio();
    const std::string failure = bmpfile::cfitsio_failure();
    if (!failure.empty())
        why = "CFITSIO cannot be loaded: " + failure;
    return failure.empty();
}

} // namespace

bool write_fits_file(const char *path, CStlImage &image, FitsWriteResult &result, const FitsWriteOptions &options,
                     HWND progress) {
    result = FitsWriteResult();
    if (!cfitsio_loaded(result.why))
        return false;
    return unless_out_of_memory(result.why, [&] {
        int type = 0;
        if (!bmpfile::choose_fits_type(image, options.bitPix, type, result.why))
            return false;
        const std::string source = image.GetOrgFileName();
        result.why = bmpfile::write_durably(path, [&](const char *temporary) {
            return bmpfile::write_fits_image(temporary, image, source.c_str(), type, bmpfile::fits_compression_of(path),
                                             progress, path);
        });
        result.bitPix = result.why.empty() ? bmpfile::fits_bitpix_of(type) : 0;
        return result.why.empty();
    });
}

bool read_fits_file(const char *path, CStlImage &image, FitsReadResult &result, const FitsReadOptions &options) {
    result = FitsReadResult();
    if (!cfitsio_loaded(result.why))
        return false;
    bmpfile::FitsImageRead read;
    const bmpfile::FitsSelection selection{
        options.hdu, options.plane, false, "FitsReadOptions::plane", options.maxPixels, "FitsReadOptions::maxPixels"};
    const bool done =
        unless_out_of_memory(read.why, [&] { return bmpfile::read_fits_image(path, image, selection, read); });
    result = FitsReadResult{read.why, read.warnings, read.levels};
    return done;
}

bool read_fits_headers(const char *path, std::vector<FitsHdu> &hdus, std::string &why) {
    hdus.clear();
    why.clear();
    return cfitsio_loaded(why) && unless_out_of_memory(why, [&] {
               hdus = bmpfile::read_fits_headers(path, why);
               return !hdus.empty();
           });
}

} // namespace dirira
