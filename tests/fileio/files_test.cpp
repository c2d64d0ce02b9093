// The installed reader of every header version: what a caller of
// dirira::read_bmp_file gets back, and the choices named as it sets them.
#include <dirira/files.h>

#include <gtest/gtest.h>

#include "support/bytes.h"
#include "support/temp_dir.h"

namespace {

using testing_support::Bytes;

// A 2 x 1 24-bit picture behind a BITMAPV5HEADER, as ImageMagick writes one.
std::vector<std::uint8_t> v5_file() {
    return Bytes()
        .raw({'B', 'M'})
        .u32(14 + 124 + 8)                    // bfSize
        .u32(0)                               // bfReserved1, bfReserved2
        .u32(14 + 124)                        // bfOffBits
        .u32(124)                             // bV5Size
        .i32(2)                               // bV5Width
        .i32(1)                               // bV5Height: one row
        .u16(1)                               // bV5Planes
        .u16(24)                              // bV5BitCount
        .u32(0)                               // bV5Compression: BI_RGB
        .u32(8)                               // bV5SizeImage: 6 bytes of pixels, 2 of padding
        .fill(124 - 24, 0)                    // resolution, colours, masks, colour space, intent, profile
        .raw({10, 20, 30, 40, 50, 60, 0, 0}); // blue, green, red of each pixel
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

} // namespace
