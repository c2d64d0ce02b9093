// `dirira preview`: a quicklook PNG of a BMP or FITS image. The picture is
// reduced by block averaging to fit the requested size, every sample read
// once; its display levels are chosen by a stretch from the reduced
// samples (what is shown is what is measured); the bytes are the library's
// own display mapping (GetPixelGray256 of an image holding the reduced
// samples and those levels), so a preview shows what the host application
// would show at those levels.
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"
#include "tools/dirira/display_levels.h"
#include "tools/dirira/fits.h"
#include "tools/dirira/stretch.h"

namespace dirira_tool {
namespace {

constexpr unsigned kWriteSamples = 0;
constexpr int kColourPlanes = 3;

const char *stretch_name(const Stretch &s) {
    switch (s.kind) {
    case Stretch::kMinMax:
        return "minmax";
    case Stretch::kPercentile:
        return "percentile";
    case Stretch::kZScale:
        return "zscale";
    default:
        return "asinh";
    }
}

// What the preview's line adds: the size it was reduced from, and how its
// levels were chosen.
std::string shown_from(const PreviewOptions &o, int sourceWidth, int sourceHeight) {
    return ", from " + std::to_string(sourceWidth) + " x " + std::to_string(sourceHeight) +
           (o.levelsGiven ? ", levels given" : std::string(", stretch ") + stretch_name(o.stretch));
}

// The planes shown: all three of a colour image, or one.
bool choose_planes(const PreviewOptions &o, int planes, std::vector<int> &chosen) {
    if (o.colour && planes != kColourPlanes) {
        std::fprintf(stderr, "dirira: %s: --colour needs three planes, the image has %d\n", o.input.c_str(), planes);
        return false;
    }
    if (o.plane >= planes) {
        std::fprintf(stderr, "dirira: %s: no plane %d; the image has %d\n", o.input.c_str(), o.plane + 1, planes);
        return false;
    }
    chosen.clear();
    if (o.plane >= 0)
        chosen.push_back(o.plane);
    else
        for (int p = 0; p < (planes == kColourPlanes ? kColourPlanes : 1); ++p)
            chosen.push_back(p);
    return true;
}

// libpng would print its own words ("Write Error") before giving up; the
// operating system's reason is in errno, which the failing fwrite set, and
// is what the caller says.
extern "C" void png_failed_quietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }

std::string write_png(const char *path, int width, int height, int channels, const std::vector<png_byte> &pixels) {
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr)
        return std::strerror(errno);
    errno = 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_failed_quietly, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::string why;
    if (info == nullptr) {
        why = "no memory for libpng";
    } else if (setjmp(png_jmpbuf(png)) != 0) {
        why = errno != 0 ? std::strerror(errno) : "libpng cannot write it";
    } else {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                     channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, &pixels[std::size_t(y) * std::size_t(width) * std::size_t(channels)]);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0 && why.empty())
        why = std::strerror(errno);
    return why;
}

// The image to preview: a BMP file, or the selected image of a FITS file,
// where --plane picks the plane of the cube as it is read (any number of
// planes); `o` then names plane 1 of the gray image read, and `firstPlane`
// the cube's plane it is.
int read_source(PreviewOptions &o, CStlImage &source, int &firstPlane) {
    firstPlane = 0;
    if (!is_fits_path(o.input.c_str())) {
        bmpfile::ReadSource readSource;
        return read_bmp_file(o.input.c_str(), source, NULL, readSource, o.limits);
    }
    const FitsSelection selection{o.hdu, o.plane + 1, FitsCube::kChoosePlane, o.limits.maxPixels};
    if (o.plane >= 0)
        std::swap(firstPlane, o.plane);
    return read_fits_image(o.input.c_str(), source, selection);
}

} // namespace

int preview(PreviewOptions o) {
    if (refuse_unsafe_output(bmpfile::FileIdentities({o.input}), o.output, "PNG", "preview writes PNG (.png)"))
        return 2;
    set_memory_budget(o.memory, 1);
    CStlImage source;
    int firstPlane = 0;
    if (read_source(o, source, firstPlane) != 0)
        return 1;
    std::vector<int> planes;
    if (!choose_planes(o, source.GetPlanes(), planes))
        return 1;
    const int sourceWidth = source.GetWidth(), sourceHeight = source.GetHeight();
    const int factor = reduction_factor(sourceWidth, sourceHeight, o.width, o.height);
    const int width = (sourceWidth + factor - 1) / factor, height = (sourceHeight + factor - 1) / factor;
    CStlImage shown;
    if (!shown.Create(width, height, int(planes.size()), -32)) {
        std::fprintf(stderr, "dirira: %s: no memory for a %d x %d preview\n", o.input.c_str(), width, height);
        return 1;
    }
    std::vector<std::vector<float>> reduced;
    for (int plane : planes)
        reduced.push_back(block_means(source, plane, factor));
    std::vector<Levels> levels =
        o.levelsGiven ? std::vector<Levels>(reduced.size(), o.levels) : stretch_levels(o.stretch, reduced, o.perPlane);
    for (std::size_t i = 0; i < planes.size(); ++i) {
        if (!o.levelsGiven && o.stretch.kind == Stretch::kAsinh && asinh_bends(levels[i])) {
            asinh_in_place(reduced[i].data(), reduced[i].size(), levels[i]);
            levels[i] = {0, 1};
        }
        for (int y = 0; y < height; ++y)
            std::copy_n(&reduced[i][std::size_t(y) * std::size_t(width)], width,
                        store_row(shown, y, int(i), kWriteSamples));
        const Levels &l = levels[i];
        shown.LevelMin[i] = l.black, shown.LevelMax[i] = l.white, shown.LevelRange[i] = l.white - l.black;
        warn_about_levels(o.input.c_str(), firstPlane + planes[i] + 1, l);
    }
    const int channels = int(planes.size());
    std::vector<png_byte> pixels(std::size_t(width) * std::size_t(height) * std::size_t(channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(channels) +
                       std::size_t(c)] = shown.GetPixelGray256(x, y, c);
    if (write_replacing(o.output.c_str(),
                        [&](const char *path) { return write_png(path, width, height, channels, pixels); }) != 0)
        return 1;
    if (o.quiet)
        return 0;
    report_written(written_from(o.input, o.output, shown, shown_from(o, sourceWidth, sourceHeight)));
    for (std::size_t i = 0; i < planes.size(); ++i)
        std::printf("plane %d: black %.9g, white %.9g\n", firstPlane + planes[i] + 1, levels[i].black, levels[i].white);
    return 0;
}

} // namespace dirira_tool
