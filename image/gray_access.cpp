// Calibrated gray access to the float image (CStlImage): samples in raw,
// level-relative and display (0-255) terms, at addresses the caller holds,
// at clamped integer positions and at fractional positions by bilinear
// interpolation, with the conversions between raw and display terms.
//
// The application's modules compare these results bit for bit. Every
// intermediate is a double, floats are rounded exactly where a comment says
// so, and each formula keeps its written order: (s - m) / R * 255 subtracts,
// then divides, then multiplies.
#include <algorithm>
#include <cmath>
#include <cstdint>
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define GRAY_ACCESS_SSE2_TRUNCATION 1
#endif

#include "image/float_samples.h"

using float_samples::clamp_to_extent;
using float_samples::clamped_address;
using float_samples::display_of;
using float_samples::display_scale;
using float_samples::display_to_raw;
using float_samples::interpolate;
using float_samples::kReadMode;
using float_samples::kWriteMode;
using float_samples::lookup_address;
using float_samples::raw_of;
using float_samples::raw_to_display;
using float_samples::read_sample;
using float_samples::store_address;

namespace {

// The processor's truncating conversion: toward zero, and the "integer
// indefinite" 0x80000000 for NaN and for anything outside 32 bits, where a
// plain cast would be undefined. SSE2 does exactly this in one instruction.
std::int32_t truncate_to_int32(double value) {
#ifdef GRAY_ACCESS_SSE2_TRUNCATION
    return _mm_cvttsd_si32(_mm_set_sd(value));
#else
    if (std::fabs(value) < 2147483648.0) // just below -2^31 the cast gives INT32_MIN too
        return static_cast<std::int32_t>(value);
    return INT32_MIN;
#endif
}

// The byte rule of every GetPixelGray256. The lower bound is tested first,
// so with lo >= hi everything at or below lo is still 0; NaN fails both
// tests and gives 0. Both tests come before any conversion to an integer.
// Between the bounds the scaled value keeps only its low eight bits, as the
// application's byte conversion always has.
template <typename Scaling> unsigned char display_byte(double sample, double lo, double hi, Scaling scaled) {
    if (sample <= lo)
        return 0;
    if (sample >= hi)
        return 255;
    return static_cast<unsigned char>(truncate_to_int32(scaled(sample)) & 0xFF);
}

// A plane's display levels, read after the sample's lookup: read before
// it, they would be saved across the store's slow-path call on every call.
struct PlaneLevels {
    double min, max, range;
};

PlaneLevels plane_levels(const CImage &image, int plane) {
    return {image.LevelMin[plane], image.LevelMax[plane], image.LevelRange[plane]};
}

// The byte rule through the plane's levels.
unsigned char level_byte(float sample, const PlaneLevels &levels) {
    return display_byte(sample, levels.min, levels.max,
                        [&levels](double value) { return display_scale(value, levels.min, levels.range); });
}

// LevelMin is rounded to float before it is subtracted or added here, but
// subtracted as a double at a fractional position: the two can differ in the
// last bit, and the application's results depend on both.
float level_relative(const CImage &image, float sample, int plane) {
    return static_cast<float>(double{sample} - static_cast<float>(image.LevelMin[plane]));
}

float from_level_relative(const CImage &image, float value, int plane) {
    return static_cast<float>(double{static_cast<float>(image.LevelMin[plane])} + value);
}

// One axis of the bilinear interpolation: the base index and the position
// that the weights are formed from.
struct AxisBase {
    int base;
    double position;
};

// Below the last index the base is the position truncated toward zero
// (-0.5 gives 0, not -1) and the position is kept, so positions before the
// first index extrapolate. On or past the last index, and for NaN, the
// position becomes the last index and the base the one before it.
[[gnu::always_inline]] inline AxisBase axis_base(double position, int extent) {
    const double last = extent - 1;
    if (position < last)
        return {truncate_to_int32(position), position};
    return {std::max(extent - 2, 0), last};
}

// Where the bilinear interpolation reads and how it weighs what it reads.
struct Bilinear {
    int left, top, bottom, right; // right: 1, or 0 for a one-column image
    bool whole;                   // on a sample: that sample alone
    double a, b;                  // the weights' fractions
};

[[gnu::always_inline]] inline Bilinear bilinear(const CStlImage &image, double x, double y) {
    const int width = image.Width, height = image.Height;
    const AxisBase column = axis_base(x, width);
    const AxisBase row = axis_base(y, height);
    Bilinear at;
    at.left = clamp_to_extent(column.base, width);
    at.top = clamp_to_extent(row.base, height);
    at.whole = column.base == column.position && row.base == row.position;
    // The row after the base, or the base row itself when there is none:
    // the base is at most height - 2 unless the image is one row high, so
    // clamping the next row gives exactly that.
    at.bottom = clamp_to_extent(row.base + 1, height);
    // A one-column image has no column to the right: its own column stands
    // in, so every position reads the column's vertical interpolation.
    at.right = width > 1 ? 1 : 0;
    // Weights from the unclamped bases.
    at.a = column.position - column.base;
    at.b = row.position - row.base;
    return at;
}

// All four products are formed, so a NaN or infinite neighbour of weight 0
// still makes the result NaN.
[[gnu::always_inline]] inline float weigh(const Bilinear &at, float upperLeft, float lowerLeft, float upperRight,
                                          float lowerRight) {
    const double a = at.a, b = at.b, ab = b * a;
    return static_cast<float>(((((1.0 - b) * (1.0 - a)) * upperLeft + (b - ab) * lowerLeft) + (a - ab) * upperRight) +
                              ab * lowerRight);
}

// Through GetImageAdr, slow path included. The right column is looked up
// too, not taken as the next sample of the row: a host whose Width exceeds
// its store's then meets the store's NULL, as every other member does. All
// four are looked up before any is read, the rows alternating, so that the
// store keeps both rows' blocks in memory together. It works out the
// interpolation again from the position, so that the hot path hands it
// nothing through memory.
[[gnu::noinline]] float interpolate_through_store(const CStlImage &image, double x, double y, int plane) {
    const Bilinear at = bilinear(image, x, y);
    if (at.whole)
        return *store_address(image, at.left, at.top, plane, kReadMode);
    const int right = at.left + at.right;
    const float *upperLeft = store_address(image, at.left, at.top, plane, kReadMode);
    const float *lowerLeft = store_address(image, at.left, at.bottom, plane, kReadMode);
    const float *upperRight = store_address(image, right, at.top, plane, kReadMode);
    const float *lowerRight = store_address(image, right, at.bottom, plane, kReadMode);
    return weigh(at, *upperLeft, *lowerLeft, *upperRight, *lowerRight);
}

// The store's inline path first; the whole lookup again through the store
// when it cannot answer.
inline float interpolate_sample(const CStlImage &image, double x, double y, int plane) {
    const Bilinear at = bilinear(image, x, y);
    const float *lower = nullptr;
    const float *upper =
        float_samples::StoreRows::two_rows(image, at.left, at.left + at.right, at.top, at.bottom, plane, lower);
    if (upper == nullptr)
        return interpolate_through_store(image, x, y, plane);
    if (at.whole)
        return *upper;
    return weigh(at, upper[0], lower[0], upper[at.right], lower[at.right]);
}

// GetPixelGray256 through GetImageAdr, slow path included.
[[gnu::noinline]] unsigned char gray256_through_store(const CStlImage &image, int column, int row, int plane) {
    const float sample = *store_address(image, column, row, plane, kReadMode);
    return level_byte(sample, plane_levels(image, plane));
}

} // namespace

float float_samples::interpolate(const CStlImage &image, double x, double y, int plane) {
    return interpolate_sample(image, x, y, plane);
}

// An address member: an answer of NULL (a plane outside the image) is the
// caller's to test, so it is returned, not checked.
float *CStlImage::GetImageAdr(int x, int y, int plane, unsigned int mode, void **lockOut) const {
    return lookup_address(*this, clamp_to_extent(x, Width), clamp_to_extent(y, Height), plane, mode, lockOut);
}

// ---- Raw terms ----

float CStlImage::GetPixelGrayRaw(float *p) const { return *p; }

float CStlImage::GetPixelGrayRaw(int x, int y, int plane) { return read_sample(*this, x, y, plane); }

float CStlImage::GetPixelGrayRaw(double x, double y, int plane) { return interpolate_sample(*this, x, y, plane); }

void CStlImage::SetPixelGrayRaw(float *p, float value) { *p = value; }

void CStlImage::SetPixelGrayRaw(int x, int y, float value, int plane) {
    *clamped_address(*this, x, y, plane, kWriteMode) = value;
}

// ---- Level-relative terms ----

float CStlImage::GetPixelGray(float *p, int plane) { return level_relative(*this, *p, plane); }

float CStlImage::GetPixelGray(int x, int y, int plane) {
    return level_relative(*this, read_sample(*this, x, y, plane), plane);
}

float CStlImage::GetPixelGray(double x, double y, int plane) {
    return static_cast<float>(double{interpolate(*this, x, y, plane)} - LevelMin[plane]);
}

void CStlImage::SetPixelGray(float *p, float value, int plane) { *p = from_level_relative(*this, value, plane); }

void CStlImage::SetPixelGray(int x, int y, float value, int plane) {
    *clamped_address(*this, x, y, plane, kWriteMode) = from_level_relative(*this, value, plane);
}

// ---- Display terms ----

float CStlImage::GetPixelGray256f(float *p, float min, float scale) const {
    return static_cast<float>((double{*p} - min) * scale);
}

float CStlImage::GetPixelGray256f(float *p, int plane) { return display_of(*this, *p, plane); }

float CStlImage::GetPixelGray256f(int x, int y, int plane) {
    return display_of(*this, read_sample(*this, x, y, plane), plane);
}

float CStlImage::GetPixelGray256f(double x, double y, int plane) {
    return display_of(*this, interpolate(*this, x, y, plane), plane);
}

void CStlImage::SetPixelGray256f(float *p, float value, int plane) { *p = raw_of(*this, value, plane); }

void CStlImage::SetPixelGray256f(int x, int y, float value, int plane) {
    *clamped_address(*this, x, y, plane, kWriteMode) = raw_of(*this, value, plane);
}

unsigned char CStlImage::GetPixelGray256(float *p, float min, float max, float scale) const {
    return display_byte(*p, min, max, [min, scale](double sample) { return (sample - min) * scale; });
}

unsigned char CStlImage::GetPixelGray256(float *p, int plane) const {
    return level_byte(*p, plane_levels(*this, plane));
}

// The hot path makes no call, so it saves no registers; a lookup the
// store's inline path cannot answer goes out of line whole.
unsigned char CStlImage::GetPixelGray256(int x, int y, int plane) {
    const int column = clamp_to_extent(x, Width), row = clamp_to_extent(y, Height);
    if (const float *sample = float_samples::StoreRows::read_address(*this, column, row, plane))
        return level_byte(*sample, plane_levels(*this, plane));
    return gray256_through_store(*this, column, row, plane);
}

unsigned char CStlImage::GetPixelGray256(double x, double y, int plane) {
    const float sample = interpolate(*this, x, y, plane);
    return level_byte(sample, plane_levels(*this, plane));
}

// ---- Conversions ----

float CStlImage::To256(float value, int plane) const { return display_of(*this, value, plane); }

double CStlImage::To256(double value, int plane) const { return raw_to_display(*this, value, plane); }

float CStlImage::ToRaw(float value, int plane) const { return raw_of(*this, value, plane); }

double CStlImage::ToRaw(double value, int plane) const { return display_to_raw(*this, value, plane); }

// ---- Statistics, kept up to date by the image library ----

double CStlImage::GetMinPixel(int plane) { return MinPixel[plane]; }

double CStlImage::GetMaxPixel(int plane) { return MaxPixel[plane]; }
