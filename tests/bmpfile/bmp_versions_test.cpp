// The program's reader for every header version against the library: a random picture written with a version's
// header, and the same picture as the 40-byte file that CBmp::Read takes, give the same image (run-length pixels go
// to the library as they are, so any bytes do); pixels the file lacks read as 0, with a warning.
#include <gtest/gtest.h>

#include <random>

#include "support/dib_bytes.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"
#include "bmpfile/read_image.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// What a writer of a header version puts in a file; rows in file order, top-down where the height is negative.
struct Picture {
    std::uint32_t headerSize;
    std::int32_t width, height;
    std::uint16_t bits;
    std::uint32_t compression = 0, masks[4] = {}, clrUsed = 0, entrySize = 4;
    Bytes table, pixels;
};

void put(Bytes &out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t(value >> (8 * i)));
}

// "BM", sizes and offset; the header's fields up to its size (masks from byte 40; a 40-byte header has them behind it).
Bytes file_of(const Picture &p) {
    Bytes header, file{'B', 'M'};
    const int core = p.headerSize == 12 ? 2 : 4; // a core header's width and height are 16-bit
    put(header, p.headerSize, 4), put(header, std::uint32_t(p.width), core), put(header, std::uint32_t(p.height), core),
        put(header, 1 | p.bits << 16, 4);
    for (std::uint32_t field : {p.compression, std::uint32_t(p.pixels.size()), 2835u, 2835u, p.clrUsed, 0u, p.masks[0],
                                p.masks[1], p.masks[2], p.masks[3]})
        put(header, field, 4);
    header.resize(p.headerSize == 40 && p.compression == 3 ? 52 : p.headerSize, 0);
    const std::size_t offBits = 14 + header.size() + p.table.size();
    put(file, offBits + p.pixels.size(), 4), put(file, 0, 4), put(file, offBits, 4);
    for (const Bytes *part : {static_cast<const Bytes *>(&header), &p.table, &p.pixels})
        file.insert(file.end(), part->begin(), part->end());
    return file;
}

// The same picture as the library's 40-byte file: rows bottom-up, 2-bit indices as bytes, RGBQUAD colours, masks behind
// the header.
Picture as_library_file(const Picture &p) {
    Picture q = p;
    const int height = std::abs(p.height), bits = p.bits == 2 ? 8 : p.bits;
    q.headerSize = 40, q.height = height, q.bits = std::uint16_t(bits), q.entrySize = 4,
    q.compression = p.compression == 6 ? 3 : p.compression;
    q.clrUsed = std::uint32_t(p.table.size() / p.entrySize), q.table.clear();
    for (std::size_t at = 0; at < p.table.size(); at += p.entrySize)
        q.table.insert(q.table.end(), {p.table[at], p.table[at + 1], p.table[at + 2], 0});
    if (p.compression == 1 || p.compression == 2)
        return q;
    const std::size_t from = (p.bits * p.width + 31) / 32 * 4, to = (bits * p.width + 31) / 32 * 4;
    q.pixels.assign(to * std::size_t(height), 0);
    for (int row = 0; row < height; ++row) {
        const std::size_t stored = std::size_t(p.height < 0 ? height - 1 - row : row) * from;
        for (std::size_t i = 0; i < (p.bits == 2 ? std::size_t(p.width) : from); ++i)
            q.pixels[std::size_t(row) * to + i] =
                p.bits == 2 ? p.pixels[stored + i / 4] >> (6 - 2 * (i % 4)) & 3 : p.pixels[stored + i];
    }
    return q;
}

Picture random_picture(std::mt19937 &random) {
    const auto pick = [&](std::initializer_list<std::int64_t> values) {
        return values.begin()[random() % values.size()];
    };
    Picture p{std::uint32_t(pick({12, 16, 24, 52, 56, 64, 108, 124})),
              std::int32_t(1 + random() % 37),
              std::int32_t(1 + random() % 5),
              8,
              0,
              {},
              0,
              4,
              {},
              {}};
    const bool core = p.headerSize == 12, os2 = p.headerSize <= 64 && p.headerSize != 52 && p.headerSize != 56;
    p.bits = std::uint16_t(core || os2 ? pick({1, 4, 8, 24, 8, 4}) : pick({1, 2, 4, 8, 16, 24, 32, 16, 32, 8, 4}));
    if (p.headerSize >= 20 && (p.bits == 8 || p.bits == 4) && random() % 3 == 0)
        p.compression = p.bits == 8 ? 1 : 2; // 16 bytes end before it
    if (!os2 && (p.bits == 16 || p.bits == 32) && random() % 2) {
        static const std::uint32_t sets[][4] = {{0x7C00, 0x3E0, 0x1F, 0x8000},
                                                {0xF800, 0x7E0, 0x1F, 0},
                                                {0xF000, 0xF00, 0xF0, 0xF},
                                                {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                                                {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
                                                {0xFF, 0xFF00, 0xFF0000, 0}};
        std::copy_n(sets[(p.bits == 16 ? 0 : 3) + random() % 3], 4, p.masks);
        p.compression = p.headerSize >= 56 && random() % 2 ? 6 : 3;
    }
    p.height *= !core && p.compression != 1 && p.compression != 2 && random() % 2 ? -1 : 1, p.entrySize = core ? 3 : 4;
    const std::uint32_t full = p.bits <= 8 ? 1u << p.bits : 0,
                        used = std::uint32_t(p.bits <= 8 ? pick({0, 0, 1, 2, 3}) : 0) % (full + 1);
    p.clrUsed = core ? 0 : used, p.table.resize(p.entrySize * (used == 0 || core ? full : used));
    p.pixels.resize(p.compression == 1 || p.compression == 2
                        ? 2 * (1 + random() % 24)
                        : std::size_t((p.bits * p.width + 31) / 32 * 4 * std::abs(p.height)));
    for (Bytes *bytes : {&p.table, &p.pixels})
        std::generate(bytes->begin(), bytes->end(), [&] { return std::uint8_t(random()); });
    return p;
}

struct BmpVersions : testing_support::LeakCheckedTest {
    testing_support::TempDir dir_;
};

TEST_F(BmpVersions, EveryVersionReadsAsItsLibraryFile) {
    std::mt19937 random(1407);
    for (int i = 0; i < 100; ++i) {
        Picture p = random_picture(random), cut = p;
        const std::size_t size = p.pixels.size(), missing = p.compression % 3 == 0 && size > 1 && random() % 4 == 0
                                                                ? 1 + random() % (size - 1)
                                                                : 0;
        cut.pixels.resize(size - missing), std::fill(p.pixels.end() - std::ptrdiff_t(missing), p.pixels.end(), 0);
        SCOPED_TRACE(testing::Message() << i << ": header " << p.headerSize << ", " << p.width << " x " << p.height
                                        << " at " << p.bits << ", " << p.compression);
        const std::string path = dir_.write("v.bmp", file_of(cut)),
                          reference = dir_.write("r.bmp", file_of(as_library_file(p)));
        CStlImage image, expected;
        bmpfile::ReadSource source;
        bmpfile::ReadFailure failure;
        bmpfile::ReadLimits shortAllowed;
        shortAllowed.allowShort = true;
        ASSERT_TRUE(bmpfile::read_bmp(path.c_str(), image, NULL, source, failure, shortAllowed)) << failure.why;
        ASSERT_EQ(CBmp::Read(&expected, reference.c_str(), NULL, NULL), 0);
        EXPECT_EQ(std::make_tuple(source.headerSize, source.byLibrary, source.warning, image.GetWidth(),
                                  image.GetHeight(), image.GetPlanes(), image.GetBitsPixel(), image.GetOrgBitsPixel(),
                                  image.GetOrgPlanes(), image.IsSaveableFile(), image.IsSaveableFormat(),
                                  std::string(image.GetOrgFileFormat()) + image.GetOrgFileName()),
                  std::make_tuple(p.headerSize, false,
                                  missing ? "the file ends " + std::to_string(missing) +
                                                (missing == 1 ? " byte" : " bytes") + " early; those pixels read as 0"
                                          : "",
                                  expected.GetWidth(), expected.GetHeight(), expected.GetPlanes(),
                                  expected.GetBitsPixel(), int(p.bits), 0, 1, 1,
                                  std::string(expected.GetOrgFileFormat()) + path));
        EXPECT_EQ(testing_support::take(image.GetDib(0)), testing_support::take(expected.GetDib(0)));
    }
}

// A refusal is the reader's, before anything is allocated or the image touched; a block refused is status 6. (What
// each refusal says, through every command of the program: tests/tools/program_cases_test.py.)
TEST_F(BmpVersions, RefusalsLeaveTheImageAndNothingAllocated) {
    const Bytes v5file = file_of(Picture{124, 3, 2, 16, 3, {0x7C00, 0x3E0, 0x1F, 0}, 0, 4, {}, Bytes(16, 0x5A)});
    Bytes unknown = v5file;
    unknown[30] = 7; // biCompression
    CStlImage image;
    bmpfile::ReadSource source;
    bmpfile::ReadFailure failure;
    EXPECT_FALSE(bmpfile::read_bmp(dir_.write("v.bmp", unknown).c_str(), image, NULL, source, failure));
    EXPECT_EQ(std::make_tuple(failure.status, failure.why, image.GetWidth()),
              std::make_tuple(bmpfile::kRefusedByReader,
                              std::string("a BITMAPV5HEADER file (124-byte header): compression 7 is unknown"), 0));
    win32_standin::FailNth(win32_standin::Call::GlobalAlloc,
                           1); // the block: 40-byte header, 3 masks, 2 rows of 8 bytes
    EXPECT_FALSE(bmpfile::read_bmp(dir_.write("v.bmp", v5file).c_str(), image, NULL, source, failure));
    EXPECT_EQ(std::make_tuple(failure.status, failure.why, image.GetWidth()),
              std::make_tuple(int(dirira::kBmpNoMemory), std::string("status 6: no memory for its 68 bytes"), 0));
}

} // namespace
