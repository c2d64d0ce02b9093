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
#include <vector>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"
#include "tools/dirira/fits.h"
#include "tools/dirira/stretch.h"

namespace dirira_tool {
namespace {

constexpr unsigned kReadSamples = 1; // GetImageAdr mode: bit 0 set reads
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

// The mean of the finite samples of each factor x factor block (NaN where
// a block has none), row by row of the source, each sample read once.
std::vector<float> block_means(CStlImage &image, int plane, int factor, int width, int height) {
    const int sourceWidth = image.GetWidth(), sourceHeight = image.GetHeight();
    std::vector<double> sums(std::size_t(width) * std::size_t(height), 0.0);
    std::vector<std::uint32_t> counts(sums.size(), 0);
    for (int y = 0; y < sourceHeight; ++y) {
        const float *row = store_row(image, y, plane, kReadSamples);
        const std::size_t out = std::size_t(y / factor) * std::size_t(width);
        for (int x = 0; x < sourceWidth; ++x)
            if (std::isfinite(row[x]))
                sums[out + std::size_t(x / factor)] += row[x], ++counts[out + std::size_t(x / factor)];
    }
    std::vector<float> means(sums.size());
    for (std::size_t i = 0; i < means.size(); ++i)
        means[i] = counts[i] != 0 ? float(sums[i] / counts[i]) : std::numeric_limits<float>::quiet_NaN();
    return means;
}

Levels levels_for(const Stretch &s, std::vector<float> &samples) {
    switch (s.kind) {
    case Stretch::kMinMax:
        return minmax_levels(samples);
    case Stretch::kPercentile:
        return percentile_levels(samples, s.low, s.high);
    case Stretch::kZScale:
        return zscale_levels(samples);
    default:
        asinh_in_place(samples, percentile_levels(samples, kAsinhPercentLow, kAsinhPercentHigh));
        return {0, 1};
    }
}

void warn_about(const PreviewOptions &o, int plane, const Levels &l) {
    if (l.black == l.white)
        std::fprintf(stderr, "dirira: %s: warning: plane %d: black and white are both %g: it renders black\n",
                     o.input.c_str(), plane + 1, l.black);
    else if (l.black > l.white)
        std::fprintf(stderr,
                     "dirira: %s: warning: plane %d: black %g is above white %g: samples above %g render "
                     "white, the rest black\n",
                     o.input.c_str(), plane + 1, l.black, l.white, l.black);
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

} // namespace

int preview(const PreviewOptions &o) {
    if (refuse_unsafe_output({o.input}, o.output, "PNG", "preview writes PNG (.png)"))
        return 2;
    CStlImage source;
    bmpfile::ReadSource readSource;
    if ((is_fits_path(o.input.c_str()) ? read_fits_image(o.input.c_str(), source)
                                       : read_bmp_file(o.input.c_str(), source, NULL, readSource, o.limits)) != 0)
        return 1;
    std::vector<int> planes;
    if (!choose_planes(o, source.GetPlanes(), planes))
        return 1;
    const int sourceWidth = source.GetWidth(), sourceHeight = source.GetHeight();
    const int factor = std::max({1, (sourceWidth + o.width - 1) / o.width, (sourceHeight + o.height - 1) / o.height});
    const int width = (sourceWidth + factor - 1) / factor, height = (sourceHeight + factor - 1) / factor;
    CStlImage shown;
    if (!shown.Create(width, height, int(planes.size()), -32)) {
        std::fprintf(stderr, "dirira: %s: no memory for a %d x %d preview\n", o.input.c_str(), width, height);
        return 1;
    }
    std::printf("%s -> %s: %d x %d from %d x %d, stretch %s\n", o.input.c_str(), o.output.c_str(), width, height,
                sourceWidth, sourceHeight, stretch_name(o.stretch));
    for (std::size_t i = 0; i < planes.size(); ++i) {
        std::vector<float> samples = block_means(source, planes[i], factor, width, height);
        const Levels l = levels_for(o.stretch, samples);
        for (int y = 0; y < height; ++y)
            std::copy_n(&samples[std::size_t(y) * std::size_t(width)], width,
                        store_row(shown, y, int(i), kWriteSamples));
        shown.LevelMin[i] = l.black, shown.LevelMax[i] = l.white, shown.LevelRange[i] = l.white - l.black;
        std::printf("plane %d: black %.9g, white %.9g\n", planes[i] + 1, l.black, l.white);
        warn_about(o, planes[i], l);
    }
    const int channels = int(planes.size());
    std::vector<png_byte> pixels(std::size_t(width) * std::size_t(height) * std::size_t(channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * std::size_t(channels) +
                       std::size_t(c)] = shown.GetPixelGray256(x, y, c);
    return write_replacing(o.output.c_str(),
                           [&](const char *path) { return write_png(path, width, height, channels, pixels); });
}

} // namespace dirira_tool
