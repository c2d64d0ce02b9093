// Colour brightness of the float image: the BT.601 weighted sum of planes 0,
// 1 and 2 (red, green, blue), in raw terms, in display terms, and in display
// terms carried back to raw terms. A gray image (Dimension 2 or less)
// answers every member from plane 0 alone.
#include "image/float_samples.h"

using float_samples::clamp_to_extent;
using float_samples::display_of;
using float_samples::interpolate;
using float_samples::kReadMode;
using float_samples::raw_of;
using float_samples::read_sample;
using float_samples::store_address;

namespace {

constexpr double kRedWeight = 0.299;
constexpr double kGreenWeight = 0.587;
constexpr double kBlueWeight = 0.114;

// Green and red first, then blue: the application's results depend on this
// order ((1, 1, 1) sums to 0.9999999999999999, not 1).
double bright(double red, double green, double blue) {
    return (green * kGreenWeight + red * kRedWeight) + blue * kBlueWeight;
}

bool is_gray(const CImage &image) { return image.Dimension <= 2; }

// The brightness of what read(plane) gives, rounded to float once; a gray
// image reads plane 0 only. The planes are read in order 0, 1, 2.
template <typename ReadPlane> float weigh_planes(const CImage &image, ReadPlane read) {
    if (is_gray(image))
        return static_cast<float>(read(0));
    const auto red = read(0);
    const auto green = read(1);
    const auto blue = read(2);
    return static_cast<float>(bright(red, green, blue));
}

// The display values, each rounded to float, weighted. On a gray image g
// and b are not read and may point anywhere.
float display_brightness(const CImage &image, const float *r, const float *g, const float *b) {
    const float *const samples[] = {r, g, b};
    return weigh_planes(image, [&image, &samples](int plane) { return display_of(image, *samples[plane], plane); });
}

// A display brightness carried back to raw terms through the brightness of
// the level bounds, each rounded to float before it is used.
float display_to_raw_brightness(const CImage &image, float display) {
    const double low = weigh_planes(image, [&image](int plane) { return image.LevelMin[plane]; });
    const double high = weigh_planes(image, [&image](int plane) { return image.LevelMax[plane]; });
    return static_cast<float>((high - low) * display / 255.0 + low);
}

} // namespace

float CStlImage::CalcBright(float r, float g, float b) { return static_cast<float>(bright(r, g, b)); }

double CStlImage::CalcBright(double r, double g, double b) { return bright(r, g, b); }

namespace {

// ---- Raw brightness: the raw samples weighted ----

// The raw brightness through GetImageAdr, slow path included.
[[gnu::noinline]] float bright_raw_through_store(const CStlImage &image, int column, int row) {
    return weigh_planes(
        image, [&image, column, row](int plane) { return *store_address(image, column, row, plane, kReadMode); });
}

} // namespace

// The position is clamped once for the three lookups. The hot path makes
// no call; a lookup the store's inline path cannot answer goes out of line
// with the whole member. All three addresses come before any read: the
// store keeps the last three valid together.
float CStlImage::GetPixelBrightRaw(int x, int y) {
    const int column = clamp_to_extent(x, Width), row = clamp_to_extent(y, Height);
    using float_samples::StoreRows;
    if (is_gray(*this)) {
        if (const float *gray = StoreRows::read_address(*this, column, row, 0))
            return *gray;
    } else {
        std::size_t planeStride = 0;
        if (const float *red = StoreRows::first_of_three_planes(*this, column, row, planeStride)) {
            const auto *bytes = reinterpret_cast<const unsigned char *>(red);
            return static_cast<float>(bright(*red, *reinterpret_cast<const float *>(bytes + planeStride),
                                             *reinterpret_cast<const float *>(bytes + 2 * planeStride)));
        }
    }
    return bright_raw_through_store(*this, column, row);
}

// Each plane is interpolated on its own; brightness is never interpolated.
float CStlImage::GetPixelBrightRaw(double x, double y) {
    return weigh_planes(*this, [this, x, y](int plane) { return interpolate(*this, x, y, plane); });
}

// Carried back through the levels of plane 0 alone, on a colour image too.
float CStlImage::GetPixelBrightRaw(float *r, float *g, float *b) {
    return raw_of(*this, display_brightness(*this, r, g, b), 0);
}

// ---- Display brightness: the display values, each rounded to float, weighted ----

float CStlImage::GetPixelBright256f(float *r, float *g, float *b) { return display_brightness(*this, r, g, b); }

// All three addresses are looked up before any sample is read: the store
// keeps the last three addresses valid together.
float CStlImage::GetPixelBright256f(int x, int y) {
    if (is_gray(*this))
        return display_of(*this, read_sample(*this, x, y, 0), 0);
    const int column = clamp_to_extent(x, Width), row = clamp_to_extent(y, Height);
    const float *red = store_address(*this, column, row, 0, kReadMode);
    const float *green = store_address(*this, column, row, 1, kReadMode);
    const float *blue = store_address(*this, column, row, 2, kReadMode);
    return display_brightness(*this, red, green, blue);
}

float CStlImage::GetPixelBright256f(double x, double y) {
    return weigh_planes(*this,
                        [this, x, y](int plane) { return display_of(*this, interpolate(*this, x, y, plane), plane); });
}

// ---- Display brightness carried back through all three planes' levels ----

float CStlImage::GetPixelBright(int x, int y) { return display_to_raw_brightness(*this, GetPixelBright256f(x, y)); }

float CStlImage::GetPixelBright(double x, double y) {
    return display_to_raw_brightness(*this, GetPixelBright256f(x, y));
}
