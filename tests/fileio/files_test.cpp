// The installed reader of every header version and FITS input and output:
// what a caller of dirira::read_bmp_file and the FITS calls gets back, and
// the choices named as it sets them.
#include <dirira/files.h>
#include <dirira/fits.h>

#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/temp_dir.h"

namespace {

using testing_support::Bytes;

// A 2 x 2 24-bit picture behind a BITMAPV5HEADER, as ImageMagick writes one.
std::vector<std::uint8_t> v5_file() {
    return Bytes()
        .raw({'B', 'M'})
        .u32(14 + 124 + 16)                   // bfSize
        .u32(0)                               // bfReserved1, bfReserved2
        .u32(14 + 124)                        // bfOffBits
        .u32(124)                             // bV5Size
        .i32(2)                               // bV5Width
        .i32(2)                               // bV5Height: bottom row first
        .u16(1)                               // bV5Planes
        .u16(24)                              // bV5BitCount
        .u32(0)                               // bV5Compression: BI_RGB
        .u32(16)                              // bV5SizeImage: 6 bytes of pixels a row, 2 of padding
        .fill(124 - 24, 0)                    // resolution, colours, masks, colour space, intent, profile
        .raw({1, 2, 3, 4, 5, 6, 0, 0})        // the bottom row: blue, green, red of each pixel
        .raw({10, 20, 30, 40, 50, 60, 0, 0}); // the top row
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
    const char *compression; // of the image's HDU, the last
    const char *why;         // of the read; "" when it gives back the picture
};

TEST(Files, FitsWrittenAndReadBack) {
    const FitsCase cases[] = {
        {"plain, smallest BITPIX", "f.fits", 0, {}, "", ""},
        {"gzipped, BITPIX -32", "f.fits.gz", -32, {}, "", ""},
        {"tile-compressed, BITPIX 16", "f.FZ", 16, {}, "RICE_1", ""},
        {"no such HDU", "f.fits", 0, {2, 0}, "", "no HDU 2: the file has 1"},
        {"no such plane", "f.fits", 0, {0, 4}, "", "no plane 4: the image has 3"},
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
        std::vector<dirira::FitsHdu> hdus;
        std::string unread;
        ASSERT_TRUE(dirira::read_fits_headers(dir.file(c.file).c_str(), hdus, unread));
        EXPECT_EQ(hdus.back().compression, c.compression);
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
}

} // namespace
