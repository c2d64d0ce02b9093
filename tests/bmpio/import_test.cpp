// BMP import: the attributes Read and ReadHeader record, their status codes
// and the progress sequences a window receives.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "image/stl_image.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using namespace dib_fixtures;
using testing_support::InAnsiCodePage;
using testing_support::ProgressMessage;
using testing_support::ProgressWindow;
using testing_support::TempDir;
using File = std::vector<std::uint8_t>;
using namespace dirira;

namespace {

const char kCaption[] = "reading";
const LPARAM kCaptionParam = reinterpret_cast<LPARAM>(kCaption);

// A 2 x 2 24-bit file: bottom row blue, red; top row green, white.
File rgb_file(std::uint32_t compression = BI_RGB, std::int32_t height = 2, std::uint32_t headerSize = 40) {
    return file_header(14 + 40 + 16, 54).append(info_header(2, height, 24, 16, 0, headerSize, compression))
        .raw({255, 0, 0, 0, 0, 255, 0, 0})       // row 0: blue, red, padding
        .raw({0, 255, 0, 255, 255, 255, 0, 0});  // row 1: green, white, padding
}

// A bare core DIB, 2 x 1, 4 bits, 16 mid-gray RGBTRIPLE entries.
File core_file() {
    return Bytes().u32(12).u16(2).u16(1).u16(1).u16(4)  // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
        .fill(16 * 3, 0x80).raw({0x01, 0, 0, 0})          // the table; one row: entries 0 and 1
        .fill(48, 0);  // room for the normalised header's extra bytes
}

// A bare RLE8 DIB, 2 x 1, black and white: two pixels of entry 1, end of bitmap.
File rle_file() { return info_header(2, 1, 8, 4, 2, 40, BI_RLE8).raw({0, 0, 0, 0, 255, 255, 255, 0}).raw({2, 1, 0, 1}); }

class ImportTest : public testing_support::LeakCheckedTest {
protected:
    // An empty file stands for one that does not exist.
    std::string path_of(const char *name, const File &file) {
        return file.empty() ? dir_.file(name) : dir_.write(name, file);
    }
    TempDir dir_;
};

// Read records where the image came from (string table entries 7001 and
// 7002 name the format; a core header counts as uncompressed) and nothing
// when it fails. Its own progress closes with the caption before the image
// library works (which may notify further); a failed read closes with 0. A
// 24-bit file claiming RLE8 reads, but the library refuses it: 6.
TEST_F(ImportTest, ReadRecordsWhereTheImageCameFrom) {
    const std::vector<ProgressMessage> closed = {{0, kCaptionParam}, {2, kCaptionParam}};
    const struct {  // progress: the first two notifications
        const char *name; File file; bool readOnly; int status; const char *format; int bitsPixel;
        std::vector<ProgressMessage> progress;
    } cases[] = {
        {"info_header", rgb_file(), false, kBmpOk, "BMP (無圧縮)", 24, closed},
        {"core_header", core_file(), false, kBmpOk, "BMP (無圧縮)", 4, closed},
        {"rle8", rle_file(), false, kBmpOk, "BMP (RLE圧縮)", 8, closed},
        {"read_only", rgb_file(), true, kBmpOk, "BMP (無圧縮)", 24, closed},
        {"attach_refused", rgb_file(BI_RLE8), false, kBmpNoMemory, "", -1, closed},
        {"absent", {}, false, kBmpCannotOpen, "", -1, {{0, kCaptionParam}, {2, 0}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = path_of(c.name, c.file);
        // Permission bits, not the caller's privileges, make a file read-only: so as root too.
        ASSERT_TRUE(!c.readOnly || chmod(path.c_str(), 0444) == 0);
        const bool read = c.status == kBmpOk;
        CStlImage image;
        image.SetOrgWidth(77);
        image.SetOrgBitsPixel(-1);
        image.SetOrgPlanes(-5);
        ProgressWindow window;
        ASSERT_EQ(CBmp::Read(&image, path.c_str(), window.handle(), kCaption), c.status);
        const auto &seen = window.messages();
        EXPECT_EQ(std::vector<ProgressMessage>(seen.begin(), seen.begin() + std::min<size_t>(2, seen.size())), c.progress);
        EXPECT_EQ(image.GetWidth(), read ? 2 : 0);
        EXPECT_EQ(image.IsSaveableFormat(), read ? 1 : 0);
        EXPECT_EQ(image.IsSaveableFile(), read && !c.readOnly ? 1 : 0);
        EXPECT_STREQ(image.GetOrgFileName(), read ? path.c_str() : "");
        EXPECT_STREQ(image.GetOrgFileFormat(), *c.format ? InAnsiCodePage(c.format).c_str() : "");
        EXPECT_EQ(image.GetOrgBitsPixel(), c.bitsPixel);
        EXPECT_EQ(image.GetOrgPlanes(), read ? 0 : -5);
        EXPECT_EQ(image.GetOrgWidth(), 77) << "Read does not record the original width";
    }
}

// ReadHeader records only OrgPlanes, as found; every failure is 17 and
// leaves the image untouched.
TEST_F(ImportTest, ReadHeaderRecordsPlanesOnly) {
    auto planes3 = rgb_file();
    planes3[14 + 12] = 3;  // biPlanes
    const struct { const char *name; File file; int status, orgPlanes; } cases[] = {
        {"info_header", rgb_file(), 0, 1},          {"planes_as_found", planes3, 0, 3},
        {"core_header", core_file(), 0, 1},         {"top_down", rgb_file(BI_RGB, -2), 17, -5},
        {"v4_header", rgb_file(BI_RGB, 2, 108), 17, -5}, {"absent", {}, 17, -5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CStlImage image;
        image.SetOrgPlanes(-5);
        image.SetOrgBitsPixel(99);
        image.SetOrgFileName("before");
        EXPECT_EQ(CBmp::ReadHeader(&image, path_of(c.name, c.file).c_str(), NULL, NULL), c.status);
        EXPECT_EQ(image.GetOrgPlanes(), c.orgPlanes);
        EXPECT_EQ(image.GetOrgBitsPixel(), 99);
        EXPECT_STREQ(image.GetOrgFileName(), "before");
    }
}

TEST(BmpStatus, ValuesNeverDrift) {
    const int values[] = {kBmpOk,       kBmpCannotCreate,  kBmpCannotOpen, kBmpReadFailed,    kBmpWriteFailed,
                          kBmpNoMemory, kBmpBadHeaderSize, kBmpNoDib,      kBmpHeaderUnusable};
    EXPECT_EQ(std::vector<int>(std::begin(values), std::end(values)), (std::vector<int>{0, 2, 3, 4, 5, 6, 7, 10, 17}));
    EXPECT_STREQ(bmp_status_message(99), "unknown status");
}

}  // namespace
