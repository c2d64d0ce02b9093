#include "tools/dirira/display_levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <limits>

#include "tools/dirira/commands.h"

namespace dirira_tool {
namespace {

constexpr unsigned kReadSamples = 1; // GetImageAdr mode: bit 0 set reads
constexpr unsigned kWriteSamples = 0;

Levels levels_of(const Stretch &s, const std::vector<float> &samples) {
    switch (s.kind) {
    case Stretch::kMinMax:
        return minmax_levels(samples);
    case Stretch::kPercentile:
        return percentile_levels(samples, s.low, s.high);
    case Stretch::kZScale:
        return zscale_levels(samples);
    default:
        return percentile_levels(samples, kAsinhPercentLow, kAsinhPercentHigh);
    }
}

} // namespace

int reduction_factor(int width, int height, int maxWidth, int maxHeight) {
    return std::max({1, (width + maxWidth - 1) / maxWidth, (height + maxHeight - 1) / maxHeight});
}

std::vector<float> block_means(CStlImage &image, int plane, int factor) {
    const int sourceWidth = image.GetWidth(), sourceHeight = image.GetHeight();
    const std::size_t width = std::size_t((sourceWidth + factor - 1) / factor);
    const std::size_t height = std::size_t((sourceHeight + factor - 1) / factor);
    std::vector<double> sums(width * height, 0.0);
    std::vector<std::uint32_t> counts(sums.size(), 0);
    // A block without a finite sample shows +inf when it holds one, else
    // -inf or NaN: +inf renders white and the others black, as they do
    // unreduced.
    std::vector<float> infinite(sums.size(), std::numeric_limits<float>::quiet_NaN());
    for (int y = 0; y < sourceHeight; ++y) {
        const float *row = store_row(image, y, plane, kReadSamples);
        const std::size_t out = std::size_t(y / factor) * width;
        for (int x = 0; x < sourceWidth; ++x) {
            const std::size_t i = out + std::size_t(x / factor);
            if (std::isfinite(row[x]))
                sums[i] += row[x], ++counts[i];
            else if (std::isinf(row[x]) && !(infinite[i] > 0))
                infinite[i] = row[x];
        }
    }
    std::vector<float> means(sums.size());
    for (std::size_t i = 0; i < means.size(); ++i)
        means[i] = counts[i] != 0 ? float(sums[i] / counts[i]) : infinite[i];
    return means;
}

std::vector<Levels> stretch_levels(const Stretch &stretch, const std::vector<std::vector<float>> &reduced,
                                   bool perPlane) {
    std::vector<Levels> levels;
    if (perPlane) {
        for (const std::vector<float> &plane : reduced)
            levels.push_back(levels_of(stretch, plane));
        return levels;
    }
    std::vector<float> pooled;
    for (const std::vector<float> &plane : reduced)
        pooled.insert(pooled.end(), plane.begin(), plane.end());
    return std::vector<Levels>(reduced.size(), levels_of(stretch, pooled));
}

void set_display_levels(CStlImage &image, const std::vector<Levels> &levels) {
    for (int plane = 0; plane < image.GetPlanes(); ++plane) {
        image.LevelMin[plane] = levels[std::size_t(plane)].black;
        image.LevelMax[plane] = levels[std::size_t(plane)].white;
        image.LevelRange[plane] = levels[std::size_t(plane)].white - levels[std::size_t(plane)].black;
    }
}

std::vector<Levels> stretch_image(CStlImage &image, const Stretch &stretch, bool perPlane) {
    const int factor = reduction_factor(image.GetWidth(), image.GetHeight(), kStretchedWidth, kStretchedHeight);
    std::vector<std::vector<float>> reduced;
    for (int plane = 0; plane < image.GetPlanes(); ++plane)
        reduced.push_back(block_means(image, plane, factor));
    std::vector<Levels> levels = stretch_levels(stretch, reduced, perPlane);
    for (int plane = 0; plane < image.GetPlanes() && stretch.kind == Stretch::kAsinh; ++plane) {
        Levels &l = levels[std::size_t(plane)];
        if (!asinh_bends(l))
            continue;
        for (int y = 0; y < image.GetHeight(); ++y)
            asinh_in_place(store_row(image, y, plane, kWriteSamples), std::size_t(image.GetWidth()), l);
        l = Levels{0, 1};
    }
    set_display_levels(image, levels);
    return levels;
}

void warn_about_levels(const char *path, int planeNumber, const Levels &l) {
    char span[120];
    if (l.black < l.white)
        return;
    if (!l.finite) {
        std::fprintf(stderr,
                     "dirira: %s: warning: plane %d has no finite sample: +inf renders white, NaN and -inf black\n",
                     path, planeNumber);
        return;
    }
    if (l.black == l.white)
        std::snprintf(span, sizeof span, "black and white are both %g", l.black);
    else
        std::snprintf(span, sizeof span, "black %g is above white %g", l.black, l.white);
    std::fprintf(stderr, "dirira: %s: warning: plane %d: %s: samples above %g render white, the rest black\n", path,
                 planeNumber, span, l.black);
}

} // namespace dirira_tool
