// Tells whether two outputs of the whole-process benchmark hold the same
// picture, so that a timing is only ever put next to another that did the
// same work:
//
//   cold_check A B
//
// Two BMP files are compared by their decoded pixels (red, green, blue),
// whatever their depths: a peer may write a gray picture as 24 bits, or
// with another header. Two FITS files are compared by their data units
// (BITPIX, axes and every data byte), whatever cards their headers hold.
// Prints one line; exits 0 when the pictures are the same, 1 when not,
// 2 when a file cannot be read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kFitsBlock = 2880;
constexpr std::size_t kFitsCard = 80;

bool load(const char *path, Bytes &bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::uint32_t le32(const Bytes &b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

struct Picture {
    long width = 0;
    long height = 0;
    Bytes rgb; // top row first
};

// Uncompressed 8-bit (through the table), 24-bit and 32-bit BI_RGB files
// with a 40-byte or later header, rows bottom-up or top-down.
bool decode_bmp(const Bytes &file, Picture &picture, std::string &why) {
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') {
        why = "not a BMP file";
        return false;
    }
    const std::uint32_t headerSize = le32(file, 14);
    const auto width = std::int32_t(le32(file, 18)), height = std::int32_t(le32(file, 22));
    const unsigned bits = file[28] | file[29] << 8;
    const std::uint32_t compression = le32(file, 30), offBits = le32(file, 10);
    std::uint32_t entries = le32(file, 46);
    if (entries == 0 && bits == 8)
        entries = 256;
    if (headerSize < 40 || width <= 0 || height == 0 || compression != 0 || (bits != 8 && bits != 24 && bits != 32)) {
        why = "not an uncompressed 8-, 24- or 32-bit BMP file";
        return false;
    }
    const long rows = std::labs(long(height));
    const std::size_t stride = (std::size_t(bits) * std::size_t(width) + 31) / 32 * 4;
    const std::size_t table = 14 + std::size_t(headerSize);
    if (offBits + stride * std::size_t(rows) > file.size() || table + 4 * std::size_t(entries) > file.size() ||
        entries > 256) {
        why = "shorter than its rows";
        return false;
    }
    picture.width = width;
    picture.height = rows;
    picture.rgb.resize(std::size_t(width) * std::size_t(rows) * 3);
    for (long row = 0; row < rows; ++row) {
        const std::uint8_t *src = file.data() + offBits + stride * std::size_t(row);
        const long y = height > 0 ? rows - 1 - row : row;
        std::uint8_t *out = picture.rgb.data() + std::size_t(y) * std::size_t(width) * 3;
        for (long x = 0; x < width; ++x) {
            std::uint8_t b, g, r;
            if (bits == 8) {
                const std::size_t entry = table + 4 * std::size_t(src[x]);
                const bool inTable = src[x] < entries;
                b = inTable ? file[entry] : 0;
                g = inTable ? file[entry + 1] : 0;
                r = inTable ? file[entry + 2] : 0;
            } else {
                const std::uint8_t *p = src + std::size_t(x) * (bits / 8);
                b = p[0];
                g = p[1];
                r = p[2];
            }
            out[3 * x] = r;
            out[3 * x + 1] = g;
            out[3 * x + 2] = b;
        }
    }
    return true;
}

// The value of a card's keyword in the primary header, or "".
std::string card_value(const Bytes &file, std::size_t headerEnd, const char *key) {
    for (std::size_t at = 0; at + kFitsCard <= headerEnd; at += kFitsCard) {
        const std::string card(file.begin() + long(at), file.begin() + long(at + kFitsCard));
        const std::string name = card.substr(0, card.find_first_of(" ="));
        if (name == key && card.compare(8, 2, "= ") == 0)
            return card.substr(10, 20);
    }
    return "";
}

// The data unit's shape as a string ("-32 8192x8192x3"), and where it lies.
bool fits_data(const Bytes &file, std::string &shape, std::size_t &offset, std::size_t &length, std::string &why) {
    std::size_t end = 0;
    for (std::size_t at = 0; at + kFitsCard <= file.size(); at += kFitsCard)
        if (std::memcmp(file.data() + at, "END     ", 8) == 0) {
            end = at + kFitsCard;
            break;
        }
    if (end == 0 || std::memcmp(file.data(), "SIMPLE  =", 9) != 0) {
        why = "not a FITS file";
        return false;
    }
    const long bitPix = std::strtol(card_value(file, end, "BITPIX").c_str(), nullptr, 10);
    const long axes = std::strtol(card_value(file, end, "NAXIS").c_str(), nullptr, 10);
    length = bitPix != 0 && axes > 0 ? std::size_t(std::labs(bitPix) / 8) : 0;
    shape = std::to_string(bitPix) + " ";
    for (long i = 1; i <= axes; ++i) {
        const long n = std::strtol(card_value(file, end, ("NAXIS" + std::to_string(i)).c_str()).c_str(), nullptr, 10);
        shape += (i > 1 ? "x" : "") + std::to_string(n);
        length *= std::size_t(n);
    }
    offset = (end + kFitsBlock - 1) / kFitsBlock * kFitsBlock;
    if (length == 0 || offset + length > file.size()) {
        why = "no data unit, or one shorter than its axes";
        return false;
    }
    return true;
}

bool is_fits(const char *path) {
    const char *dot = std::strrchr(path, '.');
    return dot != nullptr && std::strcmp(dot, ".fits") == 0;
}

int differ(const char *what) {
    std::printf("differ: %s\n", what);
    return 1;
}

int compare_fits(const Bytes &a, const Bytes &b) {
    std::string shapeA, shapeB, why;
    std::size_t offA = 0, lenA = 0, offB = 0, lenB = 0;
    if (!fits_data(a, shapeA, offA, lenA, why) || !fits_data(b, shapeB, offB, lenB, why)) {
        std::printf("unreadable: %s\n", why.c_str());
        return 2;
    }
    if (shapeA != shapeB)
        return differ(("shape " + shapeA + " against " + shapeB).c_str());
    if (std::memcmp(a.data() + offA, b.data() + offB, lenA) != 0)
        return differ("data");
    std::printf("same data: BITPIX NAXISn %s\n", shapeA.c_str());
    return 0;
}

int compare_bmp(const Bytes &a, const Bytes &b) {
    Picture pa, pb;
    std::string why;
    if (!decode_bmp(a, pa, why) || !decode_bmp(b, pb, why)) {
        std::printf("unreadable: %s\n", why.c_str());
        return 2;
    }
    if (pa.width != pb.width || pa.height != pb.height)
        return differ("size");
    for (std::size_t i = 0; i < pa.rgb.size(); ++i)
        if (pa.rgb[i] != pb.rgb[i]) {
            const std::size_t pixel = i / 3;
            std::printf("differ: first at x %zu, y %zu from the top\n", pixel % std::size_t(pa.width),
                        pixel / std::size_t(pa.width));
            return 1;
        }
    std::printf("same pixels: %ld x %ld\n", pa.width, pa.height);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: cold_check A B\n");
        return 2;
    }
    Bytes a, b;
    if (!load(argv[1], a) || !load(argv[2], b)) {
        std::printf("unreadable: cannot open\n");
        return 2;
    }
    if (is_fits(argv[1]) != is_fits(argv[2])) {
        std::printf("unreadable: one FITS file and one BMP file\n");
        return 2;
    }
    return is_fits(argv[1]) ? compare_fits(a, b) : compare_bmp(a, b);
}
