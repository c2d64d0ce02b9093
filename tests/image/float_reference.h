// A reference of the float image's pixel members, written from their contract in the plainest arithmetic, ignoring
// speed: a plain array of samples, every intermediate a double, each product rounded where it is written (through a
// volatile, so that no compiler fuses it with the sum that follows), floats rounded exactly where the contract says.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace float_reference {

// A product or quotient as the contract writes it: rounded to double.
inline double rounded(double value) {
    volatile double kept = value;
    return kept;
}

struct Picture {
    int width = 0, height = 0, planes = 0;
    int dimension = 2;                                             // 3: a colour picture; 2 or less: gray, plane 0 only
    std::vector<float> samples;                                    // plane after plane, rows top first
    double levelMin[5] = {}, levelMax[5] = {}, levelRange[5] = {}; // up to five planes

    bool gray() const { return dimension <= 2; }
    float &at(int x, int y, int plane) { return samples[(std::size_t(plane) * height + y) * width + x]; }
};

inline int clamp(int index, int extent) { return index > extent - 1 ? extent - 1 : index < 0 ? 0 : index; }

inline float &sample(Picture &p, int x, int y, int plane) { return p.at(clamp(x, p.width), clamp(y, p.height), plane); }

// Truncation toward zero to 32 bits; NaN and whatever does not fit give the integer indefinite, INT32_MIN.
inline std::int32_t truncated(double value) {
    return value > -2147483649.0 && value < 2147483648.0 ? static_cast<std::int32_t>(value) : INT32_MIN;
}

inline double display(const Picture &p, double value, int plane) {
    return rounded(rounded((value - p.levelMin[plane]) / p.levelRange[plane]) * 255.0);
}

inline double raw(const Picture &p, double display, int plane) {
    return rounded(rounded(display / 255.0) * p.levelRange[plane]) + p.levelMin[plane];
}

// Level-relative terms: LevelMin rounded to float first, except when the value was interpolated.
inline float relative(const Picture &p, float value, int plane) {
    return static_cast<float>(double{value} - static_cast<float>(p.levelMin[plane]));
}
inline float from_relative(const Picture &p, float value, int plane) {
    return static_cast<float>(double{static_cast<float>(p.levelMin[plane])} + value);
}

inline unsigned char byte(double value, double lo, double hi, double scaled) {
    return value <= lo ? 0 : value >= hi ? 255 : static_cast<unsigned char>(truncated(scaled) & 0xFF);
}

inline unsigned char level_byte(const Picture &p, float value, int plane) {
    return byte(value, p.levelMin[plane], p.levelMax[plane], display(p, value, plane));
}

// Bilinear interpolation, step by step as the contract lists it.
inline float interpolate(Picture &p, double X, double Y, int plane) {
    int x0, y0;
    double x1 = X, y1 = Y;
    if (X < p.width - 1)
        x0 = truncated(X);
    else
        x1 = p.width - 1, x0 = p.width - 2 < 0 ? 0 : p.width - 2;
    if (Y < p.height - 1)
        y0 = truncated(Y);
    else
        y1 = p.height - 1, y0 = p.height - 2 < 0 ? 0 : p.height - 2;
    if (x0 == x1 && y0 == y1)
        return sample(p, x0, y0, plane);
    const int cx0 = clamp(x0, p.width), cy0 = clamp(y0, p.height);
    const int cy1 = clamp(y0 + 1 < p.height ? y0 + 1 : y0, p.height);
    // A one-column picture has no column after cx0: its own column stands in.
    const int cx1 = p.width > 1 ? cx0 + 1 : cx0;
    const double p00 = p.at(cx0, cy0, plane), p10 = p.at(cx1, cy0, plane);
    const double p01 = p.at(cx0, cy1, plane), p11 = p.at(cx1, cy1, plane);
    const double a = x1 - x0, b = y1 - y0, ab = rounded(b * a);
    const double first = rounded(rounded((1 - b) * (1 - a)) * p00);
    const double second = first + rounded((b - ab) * p01);
    const double third = second + rounded((a - ab) * p10);
    return static_cast<float>(third + rounded(ab * p11));
}

inline double bright(double r, double g, double b) {
    return (rounded(g * 0.587) + rounded(r * 0.299)) + rounded(b * 0.114);
}

// The weighted planes of a colour picture, plane 0 alone of a gray one.
template <typename PerPlane> float weighed(const Picture &p, PerPlane value) {
    return static_cast<float>(p.gray() ? value(0) : bright(value(0), value(1), value(2)));
}

inline float display_brightness(const Picture &p, const float *planes) {
    return weighed(p, [&](int plane) { return static_cast<float>(display(p, planes[plane], plane)); });
}

inline float raw_brightness(const Picture &p, float displayBrightness) {
    const double low = weighed(p, [&](int plane) { return p.levelMin[plane]; });
    const double high = weighed(p, [&](int plane) { return p.levelMax[plane]; });
    return static_cast<float>(rounded(rounded((high - low) * displayBrightness) / 255.0) + low);
}

} // namespace float_reference
