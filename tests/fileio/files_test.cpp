// The installed reader of every header version and FITS input and output:
// what a caller of dirira::read_bmp_file and the FITS calls gets back, and
// the choices named as it sets them.
#include <dirira/files.h>
#include <dirira/fits.h>

#include <gtest/gtest.h>

#include "support/dib_bytes.h"
#include "support/fault_sweep.h"
#include "support/temp_dir.h"

namespace {

using testing_support::Bytes;
using testing_support::file_header;
using testing_support::info_header;

// A 2 x 2 24-bit picture behind a BITMAPV5HEADER, as ImageMagick writes one: no resolution, colour space or
// profile; rows of blue, green and red bytes padded to 8, the bottom row first.
std::vector<std::uint8_t> v5_file() {
    return file_header(14 + 124 + 16, 14 + 124)
        .append(info_header(2, 2, 24, BI_RGB, 0, 16, 0, 124))
        .fill(124 - 40, 0)
        .raw({1, 2, 3, 4, 5, 6, 0, 0, 10, 20, 30, 40, 50, 60, 0, 0});
}

struct Case {
    const char *name;
    std::size_t cut; // bytes taken off the file's end
    dirira::BmpReadOptions options;
    bool read;
    int status;
    const char *says; // in why when not read, in warning when read
};

TEST(Files, EveryHeaderVersionWithTheCallersChoices) {
    const Case cases[] = {
        {"a V5 file", 0, {}, true, 0, ""},
        {"cut short", 2, {}, false, -1, "BmpReadOptions::allowShort"},
        {"cut short, allowed", 2, {true, dirira::kDefaultMaxBmpPixels}, true, 0, "ends 2 bytes early"},
        {"over the ceiling", 0, {false, 1}, false, -1, "BmpReadOptions::maxPixels"},
    };
    testing_support::TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = v5_file();
        bytes.resize(bytes.size() - c.cut);
        CStlImage image;
        dirira::BmpReadResult result;
        EXPECT_EQ(dirira::read_bmp_file(dir.write("f.bmp", bytes).c_str(), image, result, c.options), c.read);
        EXPECT_EQ(result.status, c.status);
        EXPECT_NE((c.read ? result.warning : result.why).find(c.says), std::string::npos);
        EXPECT_EQ(result.source.rfind("BITMAPV5HEADER (124-byte header)", 0) == 0, c.read);
        if (c.read) {
            EXPECT_EQ(image.GetPixelGrayRaw(1, 0, 0), 60.0f); // the second pixel's red
        }
    }
}

struct FitsCase {
    const char *name;
    const char *file;
    int bitPix;
    dirira::FitsReadOptions read;
    const char *why; // of the read; "" when it gives back the picture
};

TEST(Files, FitsWrittenAndReadBack) {
    const FitsCase cases[] = {
        {"plain, smallest BITPIX", "f.fits", 0, {}, ""},
        {"gzipped, BITPIX -32", "f.fits.gz", -32, {}, ""},
        {"tile-compressed, BITPIX 16", "f.FZ", 16, {}, ""},
        {"no such HDU", "f.fits", 0, {2, 0}, "no HDU 2: the file has 1"},
        {"no such plane", "f.fits", 0, {0, 4}, "no plane 4: the image has 3"},
    };
    testing_support::TempDir dir;
    CStlImage picture;
    dirira::BmpReadResult bmp;
    ASSERT_TRUE(dirira::read_bmp_file(dir.write("v5.bmp", v5_file()).c_str(), picture, bmp));
    for (const FitsCase &c : cases) {
        SCOPED_TRACE(c.name);
        dirira::FitsWriteResult written;
        ASSERT_TRUE(dirira::write_fits_file(dir.file(c.file).c_str(), picture, written, {c.bitPix}));
        EXPECT_EQ(written.bitPix, c.bitPix == 0 ? 8 : c.bitPix);
        CStlImage back;
        dirira::FitsReadResult read;
        EXPECT_EQ(dirira::read_fits_file(dir.file(c.file).c_str(), back, read, c.read), *c.why == '\0');
        EXPECT_EQ(read.why, c.why);
        EXPECT_EQ(read.levels, dirira::FitsLevels::kCards);
        for (int plane = 0; *c.why == '\0' && plane < 3; ++plane) {
            EXPECT_EQ(back.GetLevelMax(plane), picture.GetLevelMax(plane));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x)
                    EXPECT_EQ(back.GetPixelGrayRaw(x, y, plane), picture.GetPixelGrayRaw(x, y, plane));
        }
    }
    dirira::FitsWriteResult refused;
    EXPECT_FALSE(dirira::write_fits_file(dir.file("none/f.fits").c_str(), picture, refused));
    EXPECT_NE(refused.why.find("No such file or directory"), std::string::npos) << refused.why;
    EXPECT_EQ(refused.bitPix, 0);
}

// A FITS card of a mandatory keyword: the value right-aligned to column 30.
std::vector<std::uint8_t> card(const std::string &key, const std::string &value) {
    std::string text = key + std::string(8 - key.size(), ' ') + (value.empty() ? "" : "= ");
    text += std::string(value.empty() ? 0 : 20 - value.size(), ' ') + value;
    text.resize(80, ' ');
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Two planes of 2 x 2 16-bit samples that stand for halves, one undefined, no level cards: as another program writes.
std::vector<std::uint8_t> scaled_cube() {
    return Bytes()
        .append(card("SIMPLE", "T"))
        .append(card("BITPIX", "16"))
        .append(card("NAXIS", "3"))
        .append(card("NAXIS1", "2"))
        .append(card("NAXIS2", "2"))
        .append(card("NAXIS3", "2"))
        .append(card("BSCALE", "0.5"))
        .append(card("BLANK", "-32768")) // undefined
        .append(card("END", ""))
        .fill(2880 - 9 * 80, ' ')
        .raw({0, 2, 0, 4, 0, 6, 0, 8}) // plane 1: 1, 2; 3, 4, the bottom row first
        .raw({0xFF, 0xFC, 0x80, 0})    // plane 2, bottom row: -2, undefined
        .raw({0, 3, 0, 8})             // its top row: 1.5, 4
        .fill(2880 - 16, 0);
}

struct CubeCase {
    const char *name;
    dirira::FitsReadOptions options;
    const char *why;
    float low; // the plane's least sample, its bottom left; 4 is the greatest
};

TEST(Files, AScaledCubeWithoutLevelCards) {
    const CubeCase cases[] = {
        {"the cube", {}, "a cube of 2 planes: choose one with FitsReadOptions::plane", 0},
        {"its first plane", {0, 1}, "", 1},
        {"its second plane, its undefined sample passed over", {0, 2}, "", -2},
        {"a plane over the ceiling",
         {0, 1, 3},
         "its 2 x 2 pixels are more than the 3 that FitsReadOptions::maxPixels allows",
         0},
        {"a plane at the ceiling", {0, 1, 4}, "", 1},
    };
    testing_support::TempDir dir;
    const std::string cube = dir.write("cube.fits", scaled_cube());
    for (const CubeCase &c : cases) {
        SCOPED_TRACE(c.name);
        CStlImage image;
        dirira::FitsReadResult read;
        EXPECT_EQ(dirira::read_fits_file(cube.c_str(), image, read, c.options), *c.why == '\0');
        EXPECT_EQ(read.why, c.why);
        if (*c.why == '\0') {
            EXPECT_EQ(image.GetPlanes(), 1);
            EXPECT_EQ(read.levels, dirira::FitsLevels::kRange);
            EXPECT_EQ(image.GetLevelMin(0), c.low);
            EXPECT_EQ(image.GetLevelMax(0), 4.0);
            EXPECT_EQ(image.GetPixelGrayRaw(0, 1, 0), c.low);
            dirira::FitsWriteResult bytes; // plane 2 is no byte's, nor all integers
            EXPECT_EQ(dirira::write_fits_file(dir.file("8.fits").c_str(), image, bytes, {8}), c.low > 0) << bytes.why;
            EXPECT_EQ(bytes.why.empty(), c.low > 0);
        }
    }
}

// Every fault point of a write and a read whose planes page: each call answers true, or false with its reason (the
// store's refusals as "out of memory"), never throws, and gives back all it took.
TEST(Files, FitsFaultsFailWithAReasonAndLeaveNothing) {
    testing_support::TempDir dir;
    const std::string bmp = dir.write("v5.bmp", v5_file()), fits = dir.file("f.fits");
    CVmImage::SetMemoryBudget(1); // one plane in memory, the others in the swap file
    CStlImage picture;
    dirira::BmpReadResult source;
    ASSERT_TRUE(dirira::read_bmp_file(bmp.c_str(), picture, source));
    const testing_support::Holdings held;
    dirira::FitsWriteResult written;
    dirira::FitsReadResult read;
    std::vector<dirira::FitsHdu> hdus;
    std::string unread;
    bool wrote = false, readBack = false, headers = false;
    testing_support::SweepSeams(
        [&] {
            wrote = dirira::write_fits_file(fits.c_str(), picture, written);
            headers = dirira::read_fits_headers(fits.c_str(), hdus, unread);
            readBack = false;
            read.why = "the image could not be made";
            try {
                CStlImage back; // its construction alone may meet the fault
                readBack = dirira::read_fits_file(fits.c_str(), back, read);
            } catch (CException *e) {
                e->Delete();
            }
        },
        [&](const char *seam, int k) {
            EXPECT_EQ(wrote, written.why.empty()) << seam << " " << k;
            EXPECT_EQ(readBack, read.why.empty()) << seam << " " << k;
            EXPECT_EQ(headers, unread.empty()) << seam << " " << k;
            hdus.clear(); // the records read are the caller's to free
            EXPECT_TRUE(testing_support::Holdings() == held) << seam << " " << k;
        });
    CVmImage::SetMemoryBudget(0);
}

} // namespace
