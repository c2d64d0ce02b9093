// CFITSIO loaded the first time a FITS file is touched.
//
// Linked at start-up, CFITSIO brings some thirty libraries with it (libcurl
// for its network drivers, and through it gnutls, Kerberos, LDAP, ...),
// whose loading and initialisation cost every run of the program about
// 4 ms: most of a small BMP conversion, and paid by every BMP-only run; an
// application linking libdirira_files would pay it too. So nothing is
// linked against CFITSIO. Instead this file defines the CFITSIO entry points
// that fits_image.cpp calls, under their own names (fitsio.h maps the
// fits_* names onto them), and each one forwards to the library's
// definition, which it looks up once. The definitions are hidden from the
// dynamic symbol table (the build's default visibility), so the library's
// calls among its own functions never land here, nor an application's own
// CFITSIO calls.
//
// When the library cannot be loaded, the loader's reason is kept for the
// caller to say (cfitsio_failure), every call fails with FILE_NOT_OPENED,
// and the status text says so.
#include <dlfcn.h>
#include <fitsio.h>

#include "bmpfile/fits_image.h"

#include <atomic>
#include <cstring>
#include <tuple>

#ifndef DIRIRA_CFITSIO_SONAME
#error "DIRIRA_CFITSIO_SONAME names the CFITSIO library to load (bmpfile/CMakeLists.txt)"
#endif

namespace {

constexpr const char *kUnavailable = "CFITSIO cannot be loaded";

struct Loaded {
    void *handle;    // NULL when the library cannot be loaded
    std::string why; // the loader's reason then
};

// The load once made, published for cfitsio_failure() only when complete.
std::atomic<const Loaded *> g_loaded{nullptr};

// The library, loaded on first use.
void *library() {
    static const Loaded once = [] {
        void *loaded = dlopen(DIRIRA_CFITSIO_SONAME, RTLD_NOW | RTLD_LOCAL);
        return Loaded{loaded, loaded == nullptr ? dlerror() : ""};
    }();
    g_loaded.store(&once, std::memory_order_release);
    return once.handle;
}

template <typename Function> Function resolve(const char *name) {
    void *const handle = library();
    return handle != nullptr ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

// Calls the library's `name`, of the same type as `Self`. Every forwarded
// entry point returns its status and takes its status pointer last.
template <auto Self, typename... Arguments> int forward(const char *name, Arguments... arguments) {
    static const auto real = resolve<decltype(Self)>(name);
    if (real == nullptr) {
        int *status = std::get<sizeof...(Arguments) - 1>(std::forward_as_tuple(arguments...));
        return *status = FILE_NOT_OPENED;
    }
    return real(arguments...);
}

} // namespace

void bmpfile::load_cfitsio() { library(); }

std::string bmpfile::cfitsio_failure() {
    const Loaded *loaded = g_loaded.load(std::memory_order_acquire);
    return loaded != nullptr ? loaded->why : std::string();
}

extern "C" {

int ffdkopn(fitsfile **file, const char *name, int mode, int *status) {
    return forward<&ffdkopn>("ffdkopn", file, name, mode, status);
}

int ffdkinit(fitsfile **file, const char *name, int *status) {
    return forward<&ffdkinit>("ffdkinit", file, name, status);
}

int ffimem(fitsfile **file, void **buffer, size_t *size, size_t delta, void *(*grow)(void *, size_t), int *status) {
    return forward<&ffimem>("ffimem", file, buffer, size, delta, grow, status);
}

int ffclos(fitsfile *file, int *status) { return forward<&ffclos>("ffclos", file, status); }

int ffthdu(fitsfile *file, int *count, int *status) { return forward<&ffthdu>("ffthdu", file, count, status); }

int ffmahd(fitsfile *file, int hdu, int *type, int *status) {
    return forward<&ffmahd>("ffmahd", file, hdu, type, status);
}

int ffghadll(fitsfile *file, LONGLONG *header, LONGLONG *data, LONGLONG *end, int *status) {
    return forward<&ffghadll>("ffghadll", file, header, data, end, status);
}

int ffghsp(fitsfile *file, int *cards, int *room, int *status) {
    return forward<&ffghsp>("ffghsp", file, cards, room, status);
}

int ffgrec(fitsfile *file, int number, char *card, int *status) {
    return forward<&ffgrec>("ffgrec", file, number, card, status);
}

int ffgky(fitsfile *file, int type, const char *key, void *value, char *comment, int *status) {
    return forward<&ffgky>("ffgky", file, type, key, value, comment, status);
}

int ffuky(fitsfile *file, int type, const char *key, void *value, const char *comment, int *status) {
    return forward<&ffuky>("ffuky", file, type, key, value, comment, status);
}

int ffpkls(fitsfile *file, const char *key, const char *value, const char *comment, int *status) {
    return forward<&ffpkls>("ffpkls", file, key, value, comment, status);
}

int ffcrimll(fitsfile *file, int bitPix, int axes, LONGLONG *lengths, int *status) {
    return forward<&ffcrimll>("ffcrimll", file, bitPix, axes, lengths, status);
}

int ffcrim(fitsfile *file, int bitPix, int axes, long *lengths, int *status) {
    return forward<&ffcrim>("ffcrim", file, bitPix, axes, lengths, status);
}

int ffppxll(fitsfile *file, int type, LONGLONG *first, LONGLONG count, void *samples, int *status) {
    return forward<&ffppxll>("ffppxll", file, type, first, count, samples, status);
}

int fits_set_compression_type(fitsfile *file, int type, int *status) {
    return forward<&fits_set_compression_type>("fits_set_compression_type", file, type, status);
}

int fits_set_quantize_level(fitsfile *file, float level, int *status) {
    return forward<&fits_set_quantize_level>("fits_set_quantize_level", file, level, status);
}

int fits_is_compressed_image(fitsfile *file, int *status) {
    return forward<&fits_is_compressed_image>("fits_is_compressed_image", file, status);
}

int ffgidm(fitsfile *file, int *axes, int *status) { return forward<&ffgidm>("ffgidm", file, axes, status); }

int ffgiet(fitsfile *file, int *type, int *status) { return forward<&ffgiet>("ffgiet", file, type, status); }

int ffgiszll(fitsfile *file, int axes, LONGLONG *lengths, int *status) {
    return forward<&ffgiszll>("ffgiszll", file, axes, lengths, status);
}

int ffgiprll(fitsfile *file, int maxAxes, int *bitPix, int *axes, LONGLONG *lengths, int *status) {
    return forward<&ffgiprll>("ffgiprll", file, maxAxes, bitPix, axes, lengths, status);
}

int ffgpxvll(fitsfile *file, int type, LONGLONG *first, LONGLONG count, void *blank, void *samples, int *anyBlank,
             int *status) {
    return forward<&ffgpxvll>("ffgpxvll", file, type, first, count, blank, samples, anyBlank, status);
}

int ffgpxfll(fitsfile *file, int type, LONGLONG *first, LONGLONG count, void *samples, char *undefined,
             int *anyUndefined, int *status) {
    return forward<&ffgpxfll>("ffgpxfll", file, type, first, count, samples, undefined, anyUndefined, status);
}

int ffvcks(fitsfile *file, int *dataSum, int *checksum, int *status) {
    return forward<&ffvcks>("ffvcks", file, dataSum, checksum, status);
}

// The status text: the library's, or why there is none.
void ffgerr(int status, char *text) {
    static const auto real = resolve<decltype(&ffgerr)>("ffgerr");
    if (real != nullptr)
        real(status, text);
    else
        std::strncpy(text, kUnavailable, FLEN_STATUS);
}

// The oldest message on the library's stack, taken off it; 0 when there is
// none (or no library).
int ffgmsg(char *text) {
    static const auto real = resolve<decltype(&ffgmsg)>("ffgmsg");
    return real != nullptr ? real(text) : (text[0] = '\0', 0);
}

} // extern "C"
