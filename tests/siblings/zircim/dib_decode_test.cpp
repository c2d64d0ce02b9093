// AttachDIB against a reference decoder written from the documented contract (docs/siblings.md), over seeded
// random DIBs of every depth and compression: every sample of every plane, the record's description and the
// extremes. (Decoding into a store that pages is in the program's convert sweep.)
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "dib_fixture.h"
#include "image/stl_image.h"

namespace {

std::uint32_t le(const std::vector<std::uint8_t> &b, std::size_t at, int bytes) {
    return bytes == 0 ? 0 : le(b, at + 1, bytes - 1) << 8 | b[at];
}

struct Picture {
    int width, height, planes;
    std::vector<float> samples[3]; // top row first; pixels nothing wrote stay 0
};

Picture reference_decode(const std::vector<std::uint8_t> &b) {
    const int bits = int(le(b, 14, 2)), compression = int(le(b, 16, 4)), rawHeight = int(le(b, 8, 4)),
              clrUsed = int(le(b, 32, 4) & 0xFFFF);
    const int entries = clrUsed ? clrUsed : bits <= 8 ? 1 << bits : compression == BI_BITFIELDS ? 3 : 0;
    const int used = bits <= 8 ? std::min(entries, 1 << bits) : 0;
    Picture p{int(le(b, 4, 4)), std::abs(rawHeight), bits <= 8 ? 1 : 3, {}};
    for (int i = 0; i < used; ++i) // any entry not gray makes the picture colour
        if (b[40 + 4 * i] != b[41 + 4 * i] || b[41 + 4 * i] != b[42 + 4 * i])
            p.planes = 3;
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    for (int c = 0; c < 3; ++c)
        if (compression == BI_BITFIELDS || bits >= 24)
            masks[c] = bits >= 24 && !compression ? 0xFF0000u >> 8 * c : le(b, 40 + 4 * c, 4);
    for (auto &plane : p.samples)
        plane.assign(std::size_t(p.width) * p.height, 0.0f);
    auto put = [&](int x, int fileRow, std::uint32_t code) {
        if (x >= p.width || fileRow >= p.height)
            return;
        const std::size_t at = std::size_t(rawHeight < 0 ? fileRow : p.height - 1 - fileRow) * p.width + x;
        for (int c = 0; c < p.planes; ++c) {
            unsigned value = 0, v = (code & masks[c]) >> (masks[c] ? __builtin_ctz(masks[c]) : 0);
            int width = __builtin_popcount(masks[c]);
            if (width > 8)
                v >>= width - 8, width = 8;
            for (int i = 0; i < 8 && width > 0; ++i) // output bit i is channel bit i mod width, from the top
                value = value << 1 | ((v >> (width - 1 - i % width)) & 1);
            p.samples[c][at] = float(bits > 8 ? value : int(code) < used ? b[40 + 4 * code + 2 - c] : 0);
        }
    };
    const std::size_t start = 40 + 4 * std::size_t(entries), n = b.size() - start;
    auto code_at = [&](std::size_t byte, int i) -> std::uint32_t { // pixel i of the pixels at `byte`
        if (bits < 8)
            return (b[start + byte + i * bits / 8] >> (8 - bits - i * bits % 8)) & ((1u << bits) - 1);
        return le(b, start + byte + std::size_t(i) * (bits / 8), bits / 8);
    };
    if (compression == BI_RLE8 || compression == BI_RLE4) {
        std::size_t pos = 0;
        int x = 0, row = 0;
        while (row < p.height && pos + 2 <= n) {
            const int count = b[start + pos], value = b[start + pos + 1];
            pos += 2;
            if (count > 0) {
                for (int i = 0; i < count; ++i)
                    put(x++, row, bits == 8 ? value : i % 2 ? value & 15 : value >> 4);
            } else if (value == 0) { // end of line
                x = 0, ++row;
            } else if (value == 1 || (value == 2 && pos + 2 > n)) { // end of bitmap, or a cut delta
                break;
            } else if (value == 2) {
                x += b[start + pos], row += b[start + pos + 1], pos += 2;
            } else { // absolute: the pixels that are there, then padding to 16 bits
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
        for (int x = 0; x < p.width; ++x) // a pixel the block holds whole
            if (row * stride * 8 + std::size_t(x + 1) * bits <= n * 8)
                put(x, row, code_at(row * stride, x));
    return p;
}

// Widths across every row padding, tables gray or coloured, short or long, masks of every width, run-length
// streams of every command, blocks cut short or with surplus bytes. Big: more than half a million pixels, which
// two threads decode.
std::vector<std::uint8_t> random_dib(WORD bits, DWORD compression, std::mt19937 &rng, bool big = false) {
    auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    auto channel = [&pick] {
        return std::uint8_t(pick(0, 3) ? pick(0, 255) : 0);
    }; // black often: runs that write nothing
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4, fields = compression == BI_BITFIELDS;
    const int width = big ? pick(740, 800) : pick(1, 9),
              height = (big ? pick(740, 800) : pick(1, 4)) * (rle || pick(0, 1) ? 1 : -1);
    const int entries = fields       ? pick(3, 4)
                        : bits > 8   ? pick(0, 1)
                        : pick(0, 3) ? (1 << bits) + pick(-1, 1)
                                     : pick(1, 3);
    const bool fullTable = entries == (bits <= 8 ? 1 << bits : fields ? 3 : 0);
    zircim_test::Bytes b =
        zircim_test::info_header(width, height, bits, compression, fullTable && pick(0, 1) ? 0 : entries);
    const bool gray = pick(0, 1);
    for (int i = 0; i < entries; ++i) {
        const int length = pick(0, 13) == 13 ? 32 : pick(0, 12), low = pick(0, std::max(0, bits + 4 - length)),
                  v = channel();
        if (fields && i < 3)
            b.u32(length ? std::uint32_t((std::uint64_t{1} << length) - 1) << std::min(low, 32 - length) : 0);
        else if (gray && bits <= 8 && i < 1 << bits)
            zircim_test::rgb(b, std::uint8_t(v), std::uint8_t(v), std::uint8_t(v));
        else
            zircim_test::rgb(b, std::uint8_t(v), channel(), channel()); // unreachable: any
    }
    std::vector<std::uint8_t> data(rle ? 0 : (std::size_t(width) * bits + 31) / 32 * 4 * std::abs(height));
    for (auto &byte : data)
        byte = std::uint8_t(pick(0, 255));
    for (int commands = rle ? pick(0, 14) : 0; commands > 0; --commands) {
        const int kind = pick(0, 5), count = pick(3, 13);
        if (kind <= 1)
            data.insert(data.end(), {std::uint8_t(pick(1, 12)), std::uint8_t(pick(0, 255))});
        if (kind == 2)
            data.insert(data.end(), {0, std::uint8_t(pick(0, 1))}); // end of line or of bitmap
        if (kind == 3)
            data.insert(data.end(), {0, 2, std::uint8_t(pick(0, 10)), std::uint8_t(pick(0, 2))});
        for (int i = -2; kind >= 4 && i < (count * bits + 15) / 16 * 2; ++i) // absolute, padded to 16 bits
            data.push_back(std::uint8_t(i == -2 ? 0 : i == -1 ? count : pick(0, 255)));
        if (kind >= 4 && pick(0, 3) == 0) { // the block ends inside the absolute run
            data.resize(data.size() - std::size_t(pick(1, (count * bits + 7) / 8)));
            break;
        }
    }
    const int cut = pick(0, 5); // 0: cut short, 1: surplus bytes, otherwise whole
    if (cut == 0)
        data.resize(std::size_t(pick(0, int(data.size()))));
    if (cut == 1)
        data.insert(data.end(), std::size_t(pick(1, 9)), std::uint8_t(pick(0, 255)));
    return b.append(data);
}

void expect_as_reference(const std::vector<std::uint8_t> &bytes, const std::string &what) {
    const Picture want = reference_decode(bytes);
    const HGLOBAL dib = zircim_test::dib_block(bytes);
    CStlImage image; // whatever it held is replaced
    ASSERT_NE(image.Create(3, 2, 4, 16), 0);
    image.Bscale = 2.0, image.Bzero = 3.0, image.Signed = 1, image.BlankUsed = 1, image.Blank = 5, image.OwnLevel = 1;
    std::fill(image.MinPixel, image.MinPixel + 3, 77.0), std::fill(image.MaxPixel, image.MaxPixel + 3, -77.0);
    ASSERT_NE(image.AttachDIB(dib, NULL, NULL), 0) << what;
    GlobalFree(dib);
    EXPECT_EQ((std::vector<double>{double(image.Width), double(image.Height), double(image.Planes),
                                   double(image.Dimension), double(image.BitsPixel), double(image.Signed), image.Bscale,
                                   image.Bzero, double(image.BlankUsed + image.Blank + image.OwnLevel)}),
              (std::vector<double>{double(want.width), double(want.height), double(want.planes),
                                   want.planes == 1 ? 2.0 : 3.0, -32, 0, 1, 0, 0}))
        << what;
    for (int c = 0; c < 3; ++c) { // levels fresh, extremes from the decoding, 0 for planes the image lacks
        const std::vector<float> &s = want.samples[c];
        EXPECT_EQ(c < want.planes ? zircim_test::plane_samples(image, c) : s, s) << what << ", plane " << c;
        EXPECT_EQ(
            (std::vector<double>{image.MinPixel[c], image.MaxPixel[c], image.LevelMin[c], image.LevelMax[c],
                                 image.LevelRange[c], image.OrgDefaultLevelMin[c], image.OrgDefaultLevelMax[c]}),
            (std::vector<double>{c < want.planes ? *std::min_element(s.begin(), s.end()) : 0.0f,
                                 c < want.planes ? *std::max_element(s.begin(), s.end()) : 0.0f, 0, 255, 255, 0, 255}))
            << what;
    }
}

TEST(DibDecode, EveryFormatAsTheReferenceDecodesIt) {
    const struct {
        const char *name;
        WORD bits;
        DWORD compression;
    } formats[] = {{"pal1", 1, BI_RGB},   {"pal4", 4, BI_RGB},   {"pal8", 8, BI_RGB},        {"rgb16", 16, BI_RGB},
                   {"rgb24", 24, BI_RGB}, {"rgb32", 32, BI_RGB}, {"bf16", 16, BI_BITFIELDS}, {"bf32", 32, BI_BITFIELDS},
                   {"rle8", 8, BI_RLE8},  {"rle4", 4, BI_RLE4}};
    std::mt19937 rng(20261206);
    for (int round = 0; round < 61; ++round)
        for (const auto &f : formats)
            if (round < 60 || (f.compression != BI_RLE8 && f.compression != BI_RLE4))
                expect_as_reference(random_dib(f.bits, f.compression, rng, round == 60),
                                    f.name + std::to_string(round));
    expect_as_reference(zircim_test::info_header(2, 2, 8, BI_RGB, 1).u32(0x10101),
                        "header and table, not a row"); // all black
    // Two threads, each with half the rows: the extremes and the count of pixels written are both halves'. The last
    // file rows (the helper's) alone hold the brightest value, then the darkest; every pixel is written.
    for (int height : {800, -800}) {
        zircim_test::Bytes b = zircim_test::info_header(800, height, 8, BI_RGB, 256);
        for (int i = 0; i < 256; ++i)
            zircim_test::rgb(b, std::uint8_t(i), std::uint8_t(i), std::uint8_t(i));
        for (int row = 0; row < 800; ++row)
            b.fill(800, std::uint8_t((row < 400) == (height > 0) ? 0x10 + row % 7 : 0xE0 + row % 5));
        expect_as_reference(b, "halves " + std::to_string(height));
    }
}

} // namespace

// Streams where a wrong rule gives another picture, on a table whose entry 0 is white: a run of index 0 (the store's
// zero fill is black, not that colour), and RLE4 absolute runs of 3 and 7 pixels, whose 2 and 4 bytes take no
// padding although their pixel counts are odd.
TEST(DibDecode, RunLengthBoundaries) {
    const struct {
        const char *name;
        WORD bits;
        DWORD compression;
        std::vector<std::uint8_t> stream;
    } cases[] = {{"rle8_run_of_index_0", 8, BI_RLE8, {3, 0, 1, 1, 0, 0, 2, 0, 0, 1}},
                 {"rle4_absolute_3_then_7",
                  4,
                  BI_RLE4,
                  {0, 3, 0x12, 0x30, 5, 0x45, 0, 0, 0, 7, 0x12, 0x34, 0x56, 0x70, 1, 0x88, 0, 1}}};
    for (const auto &c : cases) {
        zircim_test::Bytes b = zircim_test::info_header(8, 2, c.bits, c.compression, 16);
        for (int i = 0; i < 16; ++i)
            zircim_test::rgb(b, std::uint8_t(255 - 16 * i), std::uint8_t(255 - 16 * i), std::uint8_t(255 - 16 * i));
        expect_as_reference(b.append(c.stream), c.name);
    }
}
