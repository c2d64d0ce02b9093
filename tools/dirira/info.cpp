// `dirira info FILE.bmp`: what CBmp::Read and CBmp::ReadHeader give for a
// file, or the status and what it means.
#include <cstdio>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"
#include "tools/dirira/read_failure.h"

namespace dirira_tool {
namespace {

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
    const int status = CBmp::Read(&image, path, NULL, NULL);
    if (status != dirira::kBmpOk)
        return report_read_failure(path, status);

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
