// Writes the synthetic star fields shipped in samples/: a sky background with
// read noise and stars with Gaussian profiles, as an 8-bit gray BMP and a
// 24-bit colour BMP. The bytes are laid out here directly, so the samples do
// not depend on the library they are used to show.
//
//   starfield OUT_GRAY.bmp OUT_COLOUR.bmp
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 192;
constexpr int kStars = 60;

struct Star {
    double x, y, peak, sigma;
    double red, green, blue; // colour weights, the largest 1
};

std::vector<Star> make_stars(std::mt19937 &random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Star> stars;
    for (int i = 0; i < kStars; ++i) {
        const double temperature = unit(random); // 0 red ... 1 blue
        stars.push_back({unit(random) * kWidth, unit(random) * kHeight, 20.0 + 220.0 * std::pow(unit(random), 3.0),
                         0.8 + 1.6 * unit(random), 1.0 - 0.4 * temperature, 0.85, 0.6 + 0.4 * temperature});
    }
    return stars;
}

// Beyond this many (2 sigma^2) from its centre a star adds at most
// 240 e^-50, about 5e-20: less than half a unit in the last place of any sky
// value above 0.001, so leaving it out changes no bit of the sum (the
// samples compare equal to the shipped ones) and spares most exp() calls.
constexpr double kFarTail = 50.0;

// Sky brightness of one channel at a pixel, 0..255.
double sky(const std::vector<Star> &stars, int x, int y, double Star::*channel, double noise) {
    double value = 18.0 + noise;
    for (const Star &s : stars) {
        const double dx = x - s.x, dy = y - s.y;
        const double spread = (dx * dx + dy * dy) / (2.0 * s.sigma * s.sigma);
        if (spread < kFarTail)
            value += s.peak * (s.*channel) * std::exp(-spread);
    }
    return std::fmin(255.0, std::fmax(0.0, std::round(value)));
}

void put16(std::vector<std::uint8_t> &out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<std::uint8_t> bmp_headers(int bitCount, int tableEntries, std::uint32_t rowBytes) {
    const std::uint32_t offBits = 14 + 40 + 4 * tableEntries;
    const std::uint32_t imageBytes = rowBytes * kHeight;
    std::vector<std::uint8_t> out{'B', 'M'};
    put32(out, offBits + imageBytes); // bfSize
    put32(out, 0);                    // bfReserved1, bfReserved2
    put32(out, offBits);              // bfOffBits
    put32(out, 40);                   // biSize
    put32(out, kWidth);               // biWidth
    put32(out, kHeight);              // biHeight: bottom-up
    put16(out, 1);                    // biPlanes
    put16(out, bitCount);             // biBitCount
    put32(out, 0);                    // biCompression: BI_RGB
    put32(out, imageBytes);           // biSizeImage
    put32(out, 2835);                 // biXPelsPerMeter (72 dpi)
    put32(out, 2835);                 // biYPelsPerMeter
    put32(out, tableEntries);         // biClrUsed
    put32(out, 0);                    // biClrImportant
    for (int i = 0; i < tableEntries; ++i)
        out.insert(out.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return out;
}

bool write(const char *path, const std::vector<std::uint8_t> &bytes) {
    std::FILE *file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: starfield OUT_GRAY.bmp OUT_COLOUR.bmp\n");
        return 2;
    }
    std::mt19937 random(20261206);
    const std::vector<Star> stars = make_stars(random);
    std::normal_distribution<double> readNoise(0.0, 2.5);

    const std::uint32_t grayRow = (kWidth + 3) / 4 * 4, colourRow = (3 * kWidth + 3) / 4 * 4;
    std::vector<std::uint8_t> gray = bmp_headers(8, 256, grayRow);
    std::vector<std::uint8_t> colour = bmp_headers(24, 0, colourRow);
    for (int row = 0; row < kHeight; ++row) {
        const int y = kHeight - 1 - row; // rows are stored bottom-up
        for (int x = 0; x < kWidth; ++x) {
            const double noise = readNoise(random);
            gray.push_back(static_cast<std::uint8_t>(sky(stars, x, y, &Star::green, noise)));
            colour.push_back(static_cast<std::uint8_t>(sky(stars, x, y, &Star::blue, noise)));
            colour.push_back(static_cast<std::uint8_t>(sky(stars, x, y, &Star::green, noise)));
            colour.push_back(static_cast<std::uint8_t>(sky(stars, x, y, &Star::red, noise)));
        }
        gray.insert(gray.end(), grayRow - kWidth, 0);
        colour.insert(colour.end(), colourRow - 3 * kWidth, 0);
    }
    if (!write(argv[1], gray) || !write(argv[2], colour)) {
        std::perror("starfield");
        return 1;
    }
    return 0;
}
