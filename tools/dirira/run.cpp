// The command line of the dirira program: which subcommand runs.
#include <cstdio>
#include <cstring>

#include "tools/dirira/commands.h"
#include "tools/dirira/fits.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: dirira info FILE.bmp   what reading the file gives\n"
                 "       dirira about           the library's version and format names\n"
                 "       dirira convert IN.bmp OUT.bmp   read and write again; OUT replaced only when complete\n"
                 "       dirira fits-info FILE.fits   the header of every HDU\n"
                 "       dirira convert IN OUT  BMP to FITS or FITS to BMP (by extension: .fits .fit .fts)\n");
    return 2;
}

}  // namespace

namespace dirira_tool {

int run(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "info") == 0)
        return info(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "about") == 0)
        return about();
    if (argc == 3 && std::strcmp(argv[1], "fits-info") == 0)
        return fits_info(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "convert") == 0 &&
        (is_fits_path(argv[2]) || is_fits_path(argv[3])))
        return convert_fits(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "convert") == 0)
        return convert(argv[2], argv[3]);
    return usage();
}

}  // namespace dirira_tool
