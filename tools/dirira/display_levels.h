// Display levels chosen by a stretch, for `dirira preview` and for `dirira
// convert` from FITS. Both look at the picture reduced by block averaging to
// the preview's size (every sample read once, the memory bounded), so the
// same options give the same levels in both.
#pragma once

#include <vector>

#include <dirira/dirira.h>

#include "tools/dirira/stretch.h"

namespace dirira_tool {

// The largest picture a stretch looks at, and preview's default size.
constexpr int kStretchedWidth = 1024, kStretchedHeight = 1024;

// The smallest whole factor that reduces width x height to fit within
// maxWidth x maxHeight.
int reduction_factor(int width, int height, int maxWidth, int maxHeight);

// The mean of the finite samples of each factor x factor block of a plane
// (where a block has none: +inf when it holds one, else -inf or NaN), row
// by row, each sample read once.
std::vector<float> block_means(CStlImage &image, int plane, int factor);

// Whether the asinh curve bends samples between these bounds. Bounds that
// span nothing leave it nothing to bend: the samples are then shown as they
// are by the byte rule (+inf white, the rest black), as every other stretch
// shows them, with the same warning.
inline bool asinh_bends(const Levels &l) { return l.black < l.white; }

// The levels of each of the reduced planes under the stretch: one set for
// all of them, so that a colour image keeps its balance, or with perPlane
// one set each. For the asinh stretch these are the levels of its curve
// (asinh_in_place), which the caller applies before showing 0..1.
std::vector<Levels> stretch_levels(const Stretch &stretch, const std::vector<std::vector<float>> &reduced,
                                   bool perPlane);

// The image's display levels: levels[p] for plane p.
void set_display_levels(CStlImage &image, const std::vector<Levels> &levels);

// The stretch applied to a whole image, as `dirira convert` applies it to a
// FITS image and the Python module's write(stretch=...) to any: the levels
// chosen from the picture reduced to at most kStretchedWidth x
// kStretchedHeight become the image's display levels; the asinh stretch
// bends the samples themselves, which then show at levels 0..1. Returns the
// levels set, for the caller to report.
std::vector<Levels> stretch_image(CStlImage &image, const Stretch &stretch, bool perPlane);

// Says on standard error when levels chosen for plane `planeNumber` (from 1)
// span nothing or run backwards, and how the plane then renders.
void warn_about_levels(const char *path, int planeNumber, const Levels &levels);

} // namespace dirira_tool
