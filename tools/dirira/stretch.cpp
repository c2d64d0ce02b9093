#include "tools/dirira/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dirira_tool {
namespace {

constexpr std::size_t kZScaleSamples = 1000;
constexpr double kZScaleMaxReject = 0.5;
constexpr std::size_t kZScaleMinPixels = 5;
constexpr double kZScaleRejection = 2.5;
constexpr int kZScaleRounds = 5;
constexpr double kZScaleContrast = 0.25;
constexpr double kAsinhSoftening = 0.1;
constexpr Levels kNoFiniteSample{0, 0, false};

std::vector<float> finite(const std::vector<float> &samples) {
    std::vector<float> out;
    out.reserve(samples.size());
    std::copy_if(samples.begin(), samples.end(), std::back_inserter(out), [](float s) { return std::isfinite(s); });
    return out;
}

double median_of_sorted(const std::vector<float> &sorted) {
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (double(sorted[n / 2 - 1]) + double(sorted[n / 2])) / 2;
}

// Least squares on the samples not rejected: slope and intercept over x = 0..n-1.
void fit_line(const std::vector<float> &y, const std::vector<bool> &rejected, double &slope, double &intercept) {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (!rejected[i])
            n += 1, sx += double(i), sy += y[i], sxx += double(i) * double(i), sxy += double(i) * y[i];
    const double denominator = n * sxx - sx * sx;
    slope = denominator != 0 ? (n * sxy - sx * sy) / denominator : 0;
    intercept = n != 0 ? (sy - slope * sx) / n : 0;
}

// One round: reject samples beyond k sigma of the line, grow the rejection
// by `grow` positions (numpy's convolve 'same' with a kernel of that
// length: sample i goes when any of i - grow/2 .. i + (grow-1)/2 went).
std::vector<bool> reject(const std::vector<float> &y, const std::vector<bool> &rejected, double slope, double intercept,
                         std::size_t grow) {
    double n = 0, sum = 0, squares = 0;
    std::vector<double> flat(y.size());
    for (std::size_t i = 0; i < y.size(); ++i) {
        flat[i] = y[i] - (slope * double(i) + intercept);
        if (!rejected[i])
            n += 1, sum += flat[i], squares += flat[i] * flat[i];
    }
    const double mean = sum / n, threshold = kZScaleRejection * std::sqrt(std::max(0.0, squares / n - mean * mean));
    std::vector<bool> bad = rejected;
    for (std::size_t i = 0; i < y.size(); ++i)
        bad[i] = bad[i] || flat[i] < -threshold || flat[i] > threshold;
    std::vector<bool> grown(y.size(), false);
    for (std::size_t i = 0; i < y.size(); ++i) {
        const std::size_t first = i >= grow / 2 ? i - grow / 2 : 0, last = std::min(y.size() - 1, i + (grow - 1) / 2);
        for (std::size_t j = first; j <= last && !grown[i]; ++j)
            grown[i] = bad[j];
    }
    return grown;
}

} // namespace

bool parse_stretch(const std::string &text, Stretch &stretch) {
    if (text == "minmax" || text == "zscale" || text == "asinh") {
        stretch.kind = text == "minmax" ? Stretch::kMinMax : text == "zscale" ? Stretch::kZScale : Stretch::kAsinh;
        return true;
    }
    const std::string prefix = "percentile:";
    if (text.compare(0, prefix.size(), prefix) != 0)
        return false;
    char *end = nullptr;
    const char *start = text.c_str() + prefix.size();
    stretch.low = std::strtod(start, &end);
    if (end == start || *end != ',')
        return false;
    start = end + 1;
    stretch.high = std::strtod(start, &end);
    stretch.kind = Stretch::kPercentile;
    return end != start && *end == '\0' && stretch.low >= 0 && stretch.low <= 100 && stretch.high >= 0 &&
           stretch.high <= 100;
}

Levels minmax_levels(const std::vector<float> &samples) {
    const std::vector<float> values = finite(samples);
    if (values.empty())
        return kNoFiniteSample;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return {*low, *high};
}

Levels percentile_levels(std::vector<float> samples, double low, double high) {
    samples = finite(samples);
    if (samples.empty())
        return kNoFiniteSample;
    const auto at = [&](double percent) {
        const double rank = percent / 100 * double(samples.size() - 1);
        const std::size_t below = std::size_t(std::floor(rank));
        std::nth_element(samples.begin(), samples.begin() + std::ptrdiff_t(below), samples.end());
        const double lower = samples[below];
        if (below + 1 >= samples.size())
            return lower;
        const double upper = *std::min_element(samples.begin() + std::ptrdiff_t(below) + 1, samples.end());
        return lower + (rank - double(below)) * (upper - lower);
    };
    return {at(low), at(high)};
}

Levels zscale_levels(const std::vector<float> &samples) {
    const std::vector<float> values = finite(samples);
    if (values.empty())
        return kNoFiniteSample;
    const std::size_t stride = std::max<std::size_t>(1, values.size() / kZScaleSamples);
    std::vector<float> sorted;
    for (std::size_t i = 0; i < values.size() && sorted.size() < kZScaleSamples; i += stride)
        sorted.push_back(values[i]);
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    Levels levels{sorted.front(), sorted.back()};
    const std::size_t least = std::max(kZScaleMinPixels, std::size_t(double(n) * kZScaleMaxReject));
    const std::size_t grow = std::max<std::size_t>(1, std::size_t(double(n) * 0.01));
    std::vector<bool> rejected(n, false);
    std::size_t good = n, lastGood = n + 1;
    double slope = 0, intercept = 0;
    for (int round = 0; round < kZScaleRounds && good < lastGood && good >= least; ++round) {
        fit_line(sorted, rejected, slope, intercept);
        rejected = reject(sorted, rejected, slope, intercept, grow);
        lastGood = good;
        good = std::size_t(std::count(rejected.begin(), rejected.end(), false));
    }
    if (good < least)
        return levels;
    slope /= kZScaleContrast;
    const double centre = double((n - 1) / 2), median = median_of_sorted(sorted);
    levels.black = std::max(levels.black, median - (centre - 1) * slope);
    levels.white = std::min(levels.white, median + (double(n) - centre) * slope);
    return levels;
}

void asinh_in_place(float *samples, std::size_t count, const Levels &levels) {
    const double span = levels.white - levels.black, scale = std::asinh(1 / kAsinhSoftening);
    for (float *s = samples; s != samples + count; ++s) {
        *s = float(std::asinh((*s - levels.black) / span / kAsinhSoftening) / scale);
    }
}

} // namespace dirira_tool
