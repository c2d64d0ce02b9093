// Display levels chosen from a plane's samples, the way astronomical viewers
// choose them, for `dirira preview`.
#pragma once

#include <string>
#include <vector>

namespace dirira_tool {

struct Stretch {
    enum Kind { kMinMax, kPercentile, kZScale, kAsinh } kind = kZScale;
    double low = 0.25, high = 99.75; // percentile: the two percentages
};

// "minmax", "percentile:LO,HI", "zscale" or "asinh"; false for anything else.
bool parse_stretch(const std::string &text, Stretch &stretch);

struct Levels {
    double black = 0, white = 0;
    bool finite = true; // false: the samples held no finite value to set them by (both are 0)
};

// The samples' smallest and largest finite values.
Levels minmax_levels(const std::vector<float> &samples);

// The values below which LO and HI percent of the finite samples lie,
// interpolated linearly between order statistics (numpy's default).
Levels percentile_levels(std::vector<float> samples, double low, double high);

// IRAF's zscale: up to 1000 finite samples taken at an even stride, sorted;
// a line fitted to them with iterative 2.5-sigma rejection (rejected
// samples grown by 1 % of the count, at most 5 rounds, at least half the
// samples kept); the limits are the median minus and plus the slope divided
// by the contrast (IRAF's default, 0.25) over the sorted positions below and
// above the centre, within the samples' extremes.
Levels zscale_levels(const std::vector<float> &samples);

// The percentiles whose values the asinh stretch maps to 0 and 1.
constexpr double kAsinhPercentLow = 0.5, kAsinhPercentHigh = 99.5;

// The asinh stretch's curve: with levels from those percentiles, a sample v becomes asinh(x / 0.1) / asinh(1 / 0.1), x
// = (v - black) / (white - black), which the display levels 0..1 then map. Black is below white
// (asinh_bends): bounds that span nothing are not bent.
void asinh_in_place(float *samples, std::size_t count, const Levels &levels);

} // namespace dirira_tool
