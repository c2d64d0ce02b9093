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
#include <cstdint>

#include "image/stl_image.h"
#include "image/vm_store.h"

namespace {

// Modes of CStlImage::GetImageAdr: bit 0 is the store's read-only flag.
constexpr unsigned kReadMode = 1;
constexpr unsigned kWriteMode = 0;

int clamp_to_extent(int index, int extent) {
    if (index > extent - 1)
        return extent - 1;
    if (index < 0)
        return 0;
    return index;
}

// What the processor's truncating conversion gives: toward zero, and the
// "integer indefinite" 0x80000000 for NaN and for anything outside 32 bits,
// where a plain cast would be undefined.
std::int32_t truncate_to_int32(double value) {
    if (value > -2147483649.0 && value < 2147483648.0)
        return static_cast<std::int32_t>(value);
    return INT32_MIN;
}

double raw_to_display(double raw, double levelMin, double levelRange) { return (raw - levelMin) / levelRange * 255.0; }

double display_to_raw(double display, double levelMin, double levelRange) {
    return display / 255.0 * levelRange + levelMin;
}

// The byte rule of every GetPixelGray256. The lower bound is tested first,
// so with lo >= hi everything at or below lo is still 0; NaN fails both
// tests and gives 0. Both tests come before any conversion to an integer.
// Between the bounds the scaled value keeps only its low eight bits, as the
// application's byte conversion always has.
template <typename Scaling>
unsigned char display_byte(double sample, double lo, double hi, Scaling scaled) {
    if (sample <= lo)
        return 0;
    if (sample >= hi)
        return 255;
    return static_cast<unsigned char>(truncate_to_int32(scaled(sample)) & 0xFF);
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
AxisBase axis_base(double position, int extent) {
    const double last = extent - 1;
    if (position < last)
        return {truncate_to_int32(position), position};
    return {std::max(extent - 2, 0), last};
}

}  // namespace

// Bit 1 of the mode is passed as 2, not shifted to 1: the store's flag
// values depend on it. The other bits are dropped.
float *CStlImage::GetImageAdr(int x, int y, int plane, unsigned int mode, void **lockOut) const {
    unsigned char *address = Store->GetImageAdr(clamp_to_extent(x, Width), clamp_to_extent(y, Height), plane,
                                                static_cast<int>(mode & 1u), static_cast<int>(mode & 2u), lockOut);
    return reinterpret_cast<float *>(address);
}

// ---- Raw terms ----

float CStlImage::GetPixelGrayRaw(float *p) const { return *p; }

float CStlImage::GetPixelGrayRaw(int x, int y, int plane) { return *GetImageAdr(x, y, plane, kReadMode, NULL); }

float CStlImage::GetPixelGrayRaw(double x, double y, int plane) {
    const AxisBase column = axis_base(x, Width);
    const AxisBase row = axis_base(y, Height);
    if (column.base == column.position && row.base == row.position)
        return GetPixelGrayRaw(column.base, row.base, plane);
    // Both rows are looked up before either is read: the store keeps the
    // last addresses valid together.
    const float *top = GetImageAdr(column.base, row.base, plane, kReadMode, NULL);
    const float *bottom = GetImageAdr(column.base, row.base + 1 < Height ? row.base + 1 : row.base, plane, kReadMode,
                                      NULL);
    // A one-column image has no column to the right: its own column stands
    // in, so every position reads the column's vertical interpolation.
    const int right = Width > 1 ? 1 : 0;
    // Weights from the unclamped bases. All four products are formed, so a
    // NaN or infinite neighbour of weight 0 still makes the result NaN.
    const double a = column.position - column.base;
    const double b = row.position - row.base;
    const double ab = b * a;
    return static_cast<float>(((((1.0 - b) * (1.0 - a)) * top[0] + (b - ab) * bottom[0]) + (a - ab) * top[right]) +
                              ab * bottom[right]);
}

void CStlImage::SetPixelGrayRaw(float *p, float value) { *p = value; }

void CStlImage::SetPixelGrayRaw(int x, int y, float value, int plane) {
    *GetImageAdr(x, y, plane, kWriteMode, NULL) = value;
}

// ---- Level-relative terms ----
// LevelMin is rounded to float first at an address or integer position, but
// subtracted as a double at a fractional position: the two can differ in the
// last bit, and the application's results depend on both.

float CStlImage::GetPixelGray(float *p, int plane) {
    return static_cast<float>(double{*p} - static_cast<float>(LevelMin[plane]));
}

float CStlImage::GetPixelGray(int x, int y, int plane) { return GetPixelGray(GetImageAdr(x, y, plane, kReadMode, NULL), plane); }

float CStlImage::GetPixelGray(double x, double y, int plane) {
    return static_cast<float>(double{GetPixelGrayRaw(x, y, plane)} - LevelMin[plane]);
}

void CStlImage::SetPixelGray(float *p, float value, int plane) {
    *p = static_cast<float>(double{static_cast<float>(LevelMin[plane])} + value);
}

void CStlImage::SetPixelGray(int x, int y, float value, int plane) {
    SetPixelGray(GetImageAdr(x, y, plane, kWriteMode, NULL), value, plane);
}

// ---- Display terms ----

float CStlImage::GetPixelGray256f(float *p, float min, float scale) const {
    return static_cast<float>((double{*p} - min) * scale);
}

float CStlImage::GetPixelGray256f(float *p, int plane) { return To256(*p, plane); }

float CStlImage::GetPixelGray256f(int x, int y, int plane) { return To256(*GetImageAdr(x, y, plane, kReadMode, NULL), plane); }

float CStlImage::GetPixelGray256f(double x, double y, int plane) { return To256(GetPixelGrayRaw(x, y, plane), plane); }

void CStlImage::SetPixelGray256f(float *p, float value, int plane) { *p = ToRaw(value, plane); }

void CStlImage::SetPixelGray256f(int x, int y, float value, int plane) {
    SetPixelGray256f(GetImageAdr(x, y, plane, kWriteMode, NULL), value, plane);
}

unsigned char CStlImage::GetPixelGray256(float *p, float min, float max, float scale) const {
    return display_byte(*p, min, max, [min, scale](double sample) { return (sample - min) * scale; });
}

unsigned char CStlImage::GetPixelGray256(float *p, int plane) const {
    const double levelMin = LevelMin[plane];
    const double levelRange = LevelRange[plane];
    return display_byte(*p, levelMin, LevelMax[plane],
                        [levelMin, levelRange](double sample) { return raw_to_display(sample, levelMin, levelRange); });
}

unsigned char CStlImage::GetPixelGray256(int x, int y, int plane) {
    return GetPixelGray256(GetImageAdr(x, y, plane, kReadMode, NULL), plane);
}

unsigned char CStlImage::GetPixelGray256(double x, double y, int plane) {
    float interpolated = GetPixelGrayRaw(x, y, plane);
    return GetPixelGray256(&interpolated, plane);
}

// ---- Conversions ----

float CStlImage::To256(float value, int plane) const { return static_cast<float>(To256(double{value}, plane)); }

double CStlImage::To256(double value, int plane) const {
    return raw_to_display(value, LevelMin[plane], LevelRange[plane]);
}

float CStlImage::ToRaw(float value, int plane) const { return static_cast<float>(ToRaw(double{value}, plane)); }

double CStlImage::ToRaw(double value, int plane) const {
    return display_to_raw(value, LevelMin[plane], LevelRange[plane]);
}

// ---- Statistics, kept up to date by the image library ----

double CStlImage::GetMinPixel(int plane) { return MinPixel[plane]; }

double CStlImage::GetMaxPixel(int plane) { return MaxPixel[plane]; }
