// `dirira info FILE.bmp`: what reading a file gives (CBmp::Read, or the
// program's reader for the header versions the library does not take) and
// what CBmp::ReadHeader gives, or why the file cannot be read.
#include <cstdio>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"
#include "bmpfile/bmp_versions.h"

namespace dirira_tool {
namespace {

constexpr std::uint32_t kCoreHeaderSize = 12;  // the other header CBmp::ReadHeader reads

// A read image has one plane (gray) or three (colour).
void print_planes(CStlImage &image) {
    for (int plane = 0; plane < image.GetPlanes(); ++plane) {
        std::printf("plane %d:          min %g, max %g, display levels %g..%g\n", plane, image.GetMinPixel(plane),
                    image.GetMaxPixel(plane), image.GetLevelMin(plane), image.GetLevelMax(plane));
    }
}

}  // namespace

int info(const char *path) {
    CStlImage image;
    const int headerStatus = CBmp::ReadHeader(&image, path, NULL, NULL);
    const int headerPlanes = image.GetOrgPlanes();
    bmpfile::ReadSource source;
    if (read_bmp_file(path, image, NULL, source) != 0)
        return 1;

    std::printf("file:             %s\n", image.GetOrgFileName());
    std::printf("header:           %s\n", bmpfile::describe_source(source).c_str());
    std::printf("format:           %s\n", image.GetOrgFileFormat());
    std::printf("size:             %d x %d, %d plane%s (%s)\n", image.GetWidth(), image.GetHeight(),
                image.GetPlanes(), image.GetPlanes() == 1 ? "" : "s", image.IsColor() ? "colour" : "gray");
    std::printf("samples:          BITPIX %d, BSCALE %g, BZERO %g\n", image.GetBitsPixel(), image.GetBscale(),
                image.GetBzero());
    std::printf("original:         %d bits per pixel\n", image.GetOrgBitsPixel());
    if (headerStatus == dirira::kBmpOk)
        std::printf("header planes:    %d\n", headerPlanes);
    else if (!source.byLibrary && source.headerSize != kCoreHeaderSize)
        std::printf("header planes:    none (CBmp::ReadHeader reads no %s)\n", bmpfile::bmp_header_name(source.headerSize));
    else
        std::printf("header planes:    none (%s)\n", dirira::bmp_status_message(headerStatus));
    std::printf("saveable:         format %d, file %d\n", image.IsSaveableFormat(), image.IsSaveableFile());
    print_planes(image);
    return 0;
}

}  // namespace dirira_tool
