// `dirira info FILE.bmp`: what CBmp::Read and CBmp::ReadHeader give for a
// file, or the status and what it means.
#include <cstdio>
#include <cstring>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"

namespace dirira_tool {
namespace {

// The header versions of the format by their size field, so that a refused
// file can be told what it is.
const char *header_version_name(DWORD size) {
    switch (size) {
    case 12:
        return "BITMAPCOREHEADER (OS/2 1.x)";
    case 40:
        return "BITMAPINFOHEADER";
    case 52:
        return "BITMAPV2INFOHEADER";
    case 56:
        return "BITMAPV3INFOHEADER";
    case 64:
        return "OS/2 2.x BITMAPINFOHEADER2";
    case 108:
        return "BITMAPV4HEADER";
    case 124:
        return "BITMAPV5HEADER";
    default:
        return "no known bitmap header";
    }
}

// The size field of the file's header, behind a file header or not.
bool header_size_of(const char *path, DWORD *size) {
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    unsigned char bytes[18] = {};
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    const std::size_t at = (got >= 2 && bytes[0] == 'B' && bytes[1] == 'M') ? 14 : 0;
    if (got < at + 4)
        return false;
    *size = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | DWORD{bytes[at + 3]} << 24;
    return true;
}

int report_failure(const char *path, int status) {
    std::fprintf(stderr, "dirira: %s: status %d: %s\n", path, status, dirira::bmp_status_message(status));
    DWORD size = 0;
    if (status == dirira::kBmpBadHeaderSize && header_size_of(path, &size))
        std::fprintf(stderr, "dirira: %s has a %u-byte header: %s\n", path, size, header_version_name(size));
    return 1;
}

void print_planes(CStlImage &image) {
    for (int plane = 0; plane < image.GetPlanes(); ++plane) {
        const double minimum = plane < 3 ? image.GetMinPixel(plane) : 0.0;
        const double maximum = plane < 3 ? image.GetMaxPixel(plane) : 0.0;
        std::printf("plane %d:          min %g, max %g, display levels %g..%g\n", plane, minimum, maximum,
                    image.GetLevelMin(plane), image.GetLevelMax(plane));
    }
}

}  // namespace

int info(const char *path) {
    CStlImage image;
    const int headerStatus = CBmp::ReadHeader(&image, path, NULL, NULL);
    const int headerPlanes = image.GetOrgPlanes();
    const int status = CBmp::Read(&image, path, NULL, NULL);
    if (status != dirira::kBmpOk)
        return report_failure(path, status);

    std::printf("file:             %s\n", image.GetOrgFileName());
    std::printf("format:           %s\n", image.GetOrgFileFormat());
    std::printf("size:             %d x %d, %d plane%s (%s)\n", image.GetWidth(), image.GetHeight(),
                image.GetPlanes(), image.GetPlanes() == 1 ? "" : "s", image.IsColor() ? "colour" : "gray");
    std::printf("samples:          BITPIX %d, BSCALE %g, BZERO %g\n", image.GetBitsPixel(), image.GetBscale(),
                image.GetBzero());
    std::printf("original:         %d bits per pixel\n", image.GetOrgBitsPixel());
    if (headerStatus == dirira::kBmpOk)
        std::printf("header planes:    %d\n", headerPlanes);
    else
        std::printf("header planes:    none (%s)\n", dirira::bmp_status_message(headerStatus));
    std::printf("saveable:         format %d, file %d\n", image.IsSaveableFormat(), image.IsSaveableFile());
    print_planes(image);
    return 0;
}

}  // namespace dirira_tool
