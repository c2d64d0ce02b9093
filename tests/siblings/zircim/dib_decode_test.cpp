// AttachDIB against a reference decoder written from the documented
// contract (docs/siblings.md), over seeded random DIBs of every depth and
// compression: every sample of every plane, the record's description and
// the extremes a CStlImage keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "dib_fixture.h"
#include "image/stl_image.h"

namespace {

using zircim_test::Bytes;

std::uint32_t le(const std::vector<std::uint8_t> &b, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + i];
    return v;
}

// A channel of `width` bits widened to 8: output bit i (from the top) is
// channel bit i mod width (from the top), so all ones give 255.
unsigned widen(std::uint32_t v, int width) {
    unsigned out = 0;
    for (int i = 0; i < 8; ++i) out = out << 1 | ((v >> (width - 1 - i % width)) & 1);
    return out;
}

struct Picture {
    int width = 0, height = 0, planes = 0;
    std::vector<float> samples[3];  // top row first; pixels nothing wrote stay 0
};

Picture reference_decode(const std::vector<std::uint8_t> &b) {
    const int bits = int(le(b, 14, 2)), compression = int(le(b, 16, 4)), rawHeight = int(le(b, 8, 4));
    const std::uint32_t clrUsed = le(b, 32, 4) & 0xFFFF;
    const int entries = clrUsed ? int(clrUsed) : bits <= 8 ? 1 << bits : compression == BI_BITFIELDS ? 3 : 0;
    const int used = bits <= 8 ? std::min(entries, 1 << bits) : 0;
    Picture p;
    p.width = int(le(b, 4, 4));
    p.height = std::abs(rawHeight);
    p.planes = 3;
    if (bits <= 8) {
        p.planes = 1;
        for (int i = 0; i < used; ++i)
            if (b[40 + 4 * i] != b[41 + 4 * i] || b[41 + 4 * i] != b[42 + 4 * i]) p.planes = 3;
    }
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (compression == BI_BITFIELDS)
        for (int c = 0; c < 3; ++c) masks[c] = le(b, 40 + 4 * c, 4);
    else if (bits >= 24)
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    for (auto &plane : p.samples) plane.assign(std::size_t(p.width) * p.height, 0.0f);
    auto put = [&](int x, int fileRow, std::uint32_t code) {
        if (x >= p.width || fileRow >= p.height) return;
        const std::size_t at = std::size_t(rawHeight < 0 ? fileRow : p.height - 1 - fileRow) * p.width + x;
        for (int c = 0; c < p.planes; ++c) {
            unsigned value = 0;
            if (bits <= 8) {
                value = int(code) < used ? b[40 + 4 * code + 2 - c] : 0;  // RGBQUAD: blue, green, red
            } else if (masks[c] != 0) {
                std::uint32_t v = (code & masks[c]) >> __builtin_ctz(masks[c]);
                int width = __builtin_popcount(masks[c]);
                if (width > 8) v >>= width - 8, width = 8;
                value = widen(v, width);
            }
            p.samples[c][at] = float(value);
        }
    };
    const std::size_t start = 40 + 4 * std::size_t(entries), n = b.size() - start;
    auto code_at = [&](std::size_t byte, int index) {  // pixel `index` of the run of pixels at `byte`
        if (bits < 8) return (b[start + byte + index * bits / 8] >> (8 - bits - index * bits % 8)) & ((1u << bits) - 1);
        return le(b, start + byte + std::size_t(index) * (bits / 8), bits / 8);
    };
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        std::size_t pos = 0;
        int x = 0, row = 0;
        while (row < p.height && pos + 2 <= n) {
            const int count = b[start + pos], value = b[start + pos + 1];
            pos += 2;
            if (count > 0) {
                for (int i = 0; i < count; ++i) put(x++, row, bits == 8 ? value : i % 2 ? value & 15 : value >> 4);
            } else if (value == 0) {
                x = 0, ++row;
            } else if (value == 1 || (value == 2 && pos + 2 > n)) {
                break;
            } else if (value == 2) {
                x += b[start + pos], row += b[start + pos + 1], pos += 2;
            } else {
                const std::size_t bytes = (std::size_t(value) * bits + 7) / 8;
                for (int i = 0; i < value && (std::size_t(i) * bits + bits + 7) / 8 <= n - pos; ++i)
                    put(x++, row, code_at(pos, i));
                pos += bytes + bytes % 2;
            }
        }
        return p;
    }
    const std::size_t stride = (std::size_t(p.width) * bits + 31) / 32 * 4;
    for (int row = 0; row < p.height; ++row)
        for (int x = 0; x < p.width; ++x)
            if (row * stride * 8 + std::size_t(x + 1) * bits <= n * 8) put(x, row, code_at(row * stride, x));
    return p;
}

// A random DIB of one format: widths across every row padding, tables
// gray or coloured, short or long, masks of every width (zero included),
// run-length streams of every command, blocks cut short or with surplus.
struct Format { const char *name; WORD bits; DWORD compression; };
const Format kFormats[] = {{"pal1", 1, BI_RGB},  {"pal4", 4, BI_RGB},        {"pal8", 8, BI_RGB},
                           {"rgb16", 16, BI_RGB}, {"rgb24", 24, BI_RGB},     {"rgb32", 32, BI_RGB},
                           {"bf16", 16, BI_BITFIELDS}, {"bf32", 32, BI_BITFIELDS}, {"rle8", 8, BI_RLE8},
                           {"rle4", 4, BI_RLE4}};

Bytes random_dib(const Format &f, std::mt19937 &rng) {
    auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    const bool rle = f.compression == BI_RLE8 || f.compression == BI_RLE4;
    const int width = pick(1, 9), height = pick(1, 4) * (rle || pick(0, 1) ? 1 : -1);
    const int entries = f.compression == BI_BITFIELDS ? pick(3, 4)
                        : f.bits > 8                  ? pick(0, 1)
                        : pick(0, 3)                  ? (1 << f.bits) + pick(-1, 1)
                                                      : pick(1, 3);
    const bool defaultCount = entries == (f.bits <= 8 ? 1 << f.bits : f.compression == BI_BITFIELDS ? 3 : 0);
    Bytes b = zircim_test::info_header(width, height, f.bits, f.compression, defaultCount && pick(0, 1) ? 0 : entries);
    const bool gray = pick(0, 1);
    for (int i = 0; i < entries; ++i) {
        if (f.compression == BI_BITFIELDS && i < 3) {
            const int length = pick(0, 13) == 13 ? 32 : pick(0, 12), low = pick(0, std::max(0, int(f.bits) + 4 - length));
            b.u32(length == 0 ? 0 : std::uint32_t((std::uint64_t{1} << length) - 1) << std::min(low, 32 - length));
        } else {
            const int v = pick(0, 255);
            zircim_test::rgb(b, std::uint8_t(v), std::uint8_t(gray ? v : pick(0, 255)), std::uint8_t(gray ? v : pick(0, 255)));
        }
    }
    std::vector<std::uint8_t> data;
    if (rle) {
        for (int commands = pick(0, 14); commands > 0; --commands) {
            const int kind = pick(0, 5);
            if (kind <= 1) data.insert(data.end(), {std::uint8_t(pick(1, 12)), std::uint8_t(pick(0, 255))});
            else if (kind == 2) data.insert(data.end(), {0, 0});
            else if (kind == 3) data.insert(data.end(), {0, 2, std::uint8_t(pick(0, 10)), std::uint8_t(pick(0, 2))});
            else {  // absolute run with its padding to 16 bits
                const int count = pick(3, 13), bytes = (count * f.bits + 7) / 8;
                data.insert(data.end(), {0, std::uint8_t(count)});
                for (int i = 0; i < bytes + bytes % 2; ++i) data.push_back(std::uint8_t(pick(0, 255)));
            }
        }
        if (pick(0, 1)) data.insert(data.end(), {0, 1});
    } else {
        data.resize((std::size_t(width) * f.bits + 31) / 32 * 4 * std::abs(height));
        for (auto &byte : data) byte = std::uint8_t(pick(0, 255));
    }
    const int cut = pick(0, 5);  // 0: cut short, 1: surplus bytes, otherwise whole
    if (cut == 0) data.resize(std::size_t(pick(0, int(data.size()))));
    if (cut == 1) data.insert(data.end(), std::size_t(pick(1, 9)), std::uint8_t(pick(0, 255)));
    return b.append(data);
}

void expect_as_reference(const std::vector<std::uint8_t> &bytes, const std::string &what) {
    SCOPED_TRACE(what);
    const Picture want = reference_decode(bytes);
    zircim_test::DibBlock dib(bytes);
    CStlImage image;  // whatever it held before is replaced
    ASSERT_NE(image.Create(3, 2, 4, 16), 0);
    image.Bscale = 2.0, image.Bzero = 3.0, image.Signed = 1;
    std::fill(image.MinPixel, image.MinPixel + 3, 77.0);
    std::fill(image.MaxPixel, image.MaxPixel + 3, -77.0);
    ASSERT_NE(image.AttachDIB(dib.handle(), NULL, NULL), 0);
    EXPECT_EQ((std::vector<int>{image.Width, image.Height, image.Planes, image.Dimension, image.BitsPixel, image.Signed}),
              (std::vector<int>{want.width, want.height, want.planes, want.planes == 1 ? 2 : 3, -32, 0}));
    EXPECT_TRUE(image.Bscale == 1.0 && image.Bzero == 0.0);
    for (int c = 0; c < 3; ++c) {
        const bool has = c < want.planes;
        if (has) {
            EXPECT_EQ(zircim_test::plane_samples(image, c), want.samples[c]) << "plane " << c;
        }
        EXPECT_EQ(image.MinPixel[c], has ? *std::min_element(want.samples[c].begin(), want.samples[c].end()) : 0.0);
        EXPECT_EQ(image.MaxPixel[c], has ? *std::max_element(want.samples[c].begin(), want.samples[c].end()) : 0.0);
        const double *levels[] = {image.LevelMin, image.LevelMax, image.LevelRange, image.OrgDefaultLevelMin,
                                  image.OrgDefaultLevelMax};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(levels[i][c], i % 3 == 0 ? 0.0 : 255.0) << "level array " << i;
    }
}

TEST(DibDecode, EveryFormatAsTheReferenceDecodesIt) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 60; ++round)
        for (const Format &f : kFormats) expect_as_reference(random_dib(f, rng), f.name + std::to_string(round));
}

// A gray picture of five blocks of rows under a budget of one block: the
// rows written while decoding go out to the swap file and come back.
TEST(DibDecode, PagedStoreKeepsEveryRow) {
    std::mt19937 rng(7);
    Bytes b = zircim_test::info_header(1024, 2049, 8, BI_RGB, 256);
    for (int i = 0; i < 256; ++i) zircim_test::rgb(b, std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
    b.fill(std::size_t(1024) * 2049, 0);
    std::vector<std::uint8_t> bytes = b;
    for (std::size_t i = 40 + 1024; i < bytes.size(); ++i) bytes[i] = std::uint8_t(rng());
    CVmImage::SetMemoryBudget(SIZE_T{2} << 20);
    expect_as_reference(bytes, "paged");
    CVmImage::SetMemoryBudget(0);
}

}  // namespace
