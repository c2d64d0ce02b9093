// Writes the input files of the whole-process benchmark (scripts/bench-cold.sh):
//
//   cold_inputs DIR
//
// DIR/rgb24.bmp   8192 x 8192, 24 bits (192 MiB)
// DIR/gray8.bmp   8192 x 8192, 8 bits with a 256-entry gray table (64 MiB)
// DIR/rle8.bmp    4096 x 4096, RLE8 with the same gray table
//
// The pictures are star fields: a sky background with a gentle gradient and
// noise, and stars with Gaussian profiles. The content is deterministic (a
// fixed seed) and never constant, so a reader that skips work on uniform
// rows, or a writer that compresses, gains nothing it would not gain on a
// real exposure. The RLE8 picture has smoother sky (noise on one pixel in
// twelve), as run-length files of real images do; otherwise its runs would
// all be one pixel long.
//
// The bytes are laid out here directly, so the inputs do not depend on the
// library they are used to measure.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kBigSide = 8192;
constexpr int kRleSide = 4096;
constexpr int kGrayEntries = 256;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint64_t kSeed = 20261206;

// splitmix64: fast, and the same numbers on every machine and compiler
// (std::normal_distribution is not specified bit for bit).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state_;
};

// One channel (or the gray picture) as bytes, top row first.
struct Picture {
    int side;
    std::vector<std::uint8_t> channels[3]; // red, green, blue; gray uses [0]
};

// Sky: a diagonal gradient plus noise from a sum of four uniform bytes
// (close to a Gaussian of sigma ~2.3), on one pixel in `noiseEvery`.
void paint_sky(Picture &picture, int count, int noiseEvery, Random &random) {
    const std::size_t side = std::size_t(picture.side);
    for (int c = 0; c < count; ++c)
        picture.channels[c].assign(side * side, 0);
    for (std::size_t y = 0; y < side; ++y)
        for (std::size_t x = 0; x < side; ++x) {
            const std::uint64_t bits = random.next();
            const bool noisy = noiseEvery == 1 || bits % std::uint64_t(noiseEvery) == 0;
            for (int c = 0; c < count; ++c) {
                const std::uint64_t r = bits >> (16 * c);
                const int noise = noisy ? int((r & 7) + ((r >> 3) & 7) + ((r >> 6) & 7) + ((r >> 9) & 7)) - 14 : 0;
                const int base = 16 + c * 3 + int((x + y) * 24 / (2 * side));
                picture.channels[c][y * side + x] = std::uint8_t(std::clamp(base + noise, 0, 255));
            }
        }
}

// Stars added on top, saturating at 255; colour weights from a temperature.
void paint_stars(Picture &picture, int count, int stars, Random &random) {
    const int side = picture.side;
    for (int s = 0; s < stars; ++s) {
        const double cx = random.unit() * side, cy = random.unit() * side;
        const double peak = 10.0 + 235.0 * std::pow(random.unit(), 4.0);
        const double sigma = 0.7 + 2.0 * random.unit();
        const double temperature = random.unit();
        const double weight[3] = {1.0 - 0.4 * temperature, 0.85, 0.6 + 0.4 * temperature};
        const int reach = int(std::ceil(4.0 * sigma));
        for (int y = std::max(0, int(cy) - reach); y <= std::min(side - 1, int(cy) + reach); ++y)
            for (int x = std::max(0, int(cx) - reach); x <= std::min(side - 1, int(cx) + reach); ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                const double light = peak * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
                for (int c = 0; c < count; ++c) {
                    std::uint8_t &v = picture.channels[c][std::size_t(y) * side + x];
                    v = std::uint8_t(std::min(255.0, v + std::floor(light * (count == 1 ? 1.0 : weight[c]))));
                }
            }
    }
}

void put16(std::vector<std::uint8_t> &out, std::uint32_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

void put32(std::vector<std::uint8_t> &out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// File header, information header and (for 8 bits) the gray table; the
// sizes are patched once the rows are known.
std::vector<std::uint8_t> headers(int side, int bitCount, std::uint32_t compression) {
    const std::uint32_t entries = bitCount == 8 ? kGrayEntries : 0;
    std::vector<std::uint8_t> out{'B', 'M'};
    put32(out, 0);                                               // bfSize, patched
    put32(out, 0);                                               // bfReserved1, bfReserved2
    put32(out, kFileHeaderSize + kInfoHeaderSize + 4 * entries); // bfOffBits
    put32(out, kInfoHeaderSize);                                 // biSize
    put32(out, std::uint32_t(side));                             // biWidth
    put32(out, std::uint32_t(side));                             // biHeight: bottom-up
    put16(out, 1);                                               // biPlanes
    put16(out, std::uint32_t(bitCount));                         // biBitCount
    put32(out, compression);                                     // biCompression
    put32(out, 0);                                               // biSizeImage, patched
    put32(out, 2835);                                            // biXPelsPerMeter (72 dpi)
    put32(out, 2835);                                            // biYPelsPerMeter
    put32(out, entries);                                         // biClrUsed
    put32(out, 0);                                               // biClrImportant
    for (std::uint32_t i = 0; i < entries; ++i)
        out.insert(out.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return out;
}

void patch_sizes(std::vector<std::uint8_t> &file, std::size_t headerBytes) {
    const std::uint32_t total = std::uint32_t(file.size());
    const std::uint32_t image = std::uint32_t(file.size() - headerBytes);
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = std::uint8_t(total >> (8 * i));
        file[kFileHeaderSize + 20 + i] = std::uint8_t(image >> (8 * i));
    }
}

// Uncompressed rows, bottom-up; 8192 pixels need no row padding at 8 or 24 bits.
std::vector<std::uint8_t> uncompressed(const Picture &picture, int bitCount) {
    std::vector<std::uint8_t> file = headers(picture.side, bitCount, kBiRgb);
    const std::size_t headerBytes = file.size();
    const std::size_t side = std::size_t(picture.side);
    file.reserve(headerBytes + side * side * std::size_t(bitCount / 8));
    for (std::size_t row = 0; row < side; ++row) {
        const std::size_t y = side - 1 - row;
        for (std::size_t x = 0; x < side; ++x) {
            if (bitCount == 8) {
                file.push_back(picture.channels[0][y * side + x]);
            } else {
                for (int c = 2; c >= 0; --c) // blue, green, red
                    file.push_back(picture.channels[c][y * side + x]);
            }
        }
    }
    patch_sizes(file, headerBytes);
    return file;
}

// RLE8 the way an ordinary encoder writes it: runs of three or more equal
// pixels as encoded runs (at most 255), stretches of differing pixels as
// absolute runs (at least 3, padded to 16 bits), lone pixels as runs of
// one, an end of line after every row and an end of bitmap.
std::vector<std::uint8_t> run_length(const Picture &picture) {
    std::vector<std::uint8_t> file = headers(picture.side, 8, kBiRle8);
    const std::size_t headerBytes = file.size();
    const int side = picture.side;
    for (int row = 0; row < side; ++row) {
        const std::uint8_t *line = picture.channels[0].data() + std::size_t(side - 1 - row) * side;
        int x = 0;
        while (x < side) {
            int run = 1;
            while (x + run < side && run < 255 && line[x + run] == line[x])
                ++run;
            if (run >= 3) {
                file.insert(file.end(), {std::uint8_t(run), line[x]});
                x += run;
                continue;
            }
            // Differing pixels up to the next run of three.
            int end = x;
            while (end < side && end - x < 255 &&
                   !(end + 2 < side && line[end] == line[end + 1] && line[end] == line[end + 2]))
                ++end;
            const int count = end - x;
            if (count >= 3) {
                file.insert(file.end(), {0, std::uint8_t(count)});
                file.insert(file.end(), line + x, line + end);
                if (count % 2 != 0)
                    file.push_back(0);
            } else {
                for (int i = 0; i < count; ++i)
                    file.insert(file.end(), {1, line[x + i]});
            }
            x = end;
        }
        file.insert(file.end(), {0, 0}); // end of line
    }
    file.insert(file.end(), {0, 1}); // end of bitmap
    patch_sizes(file, headerBytes);
    return file;
}

bool write(const std::string &path, const std::vector<std::uint8_t> &bytes) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cold_inputs DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    Random random(kSeed);

    Picture colour{kBigSide, {}};
    paint_sky(colour, 3, 1, random);
    paint_stars(colour, 3, 40000, random);
    bool ok = write(dir + "/rgb24.bmp", uncompressed(colour, 24));
    colour = Picture{};

    Picture gray{kBigSide, {}};
    paint_sky(gray, 1, 1, random);
    paint_stars(gray, 1, 40000, random);
    ok = ok && write(dir + "/gray8.bmp", uncompressed(gray, 8));
    gray = Picture{};

    Picture smooth{kRleSide, {}};
    paint_sky(smooth, 1, 12, random);
    paint_stars(smooth, 1, 10000, random);
    ok = ok && write(dir + "/rle8.bmp", run_length(smooth));

    if (!ok) {
        std::perror("cold_inputs");
        return 1;
    }
    return 0;
}
