// BMP import: the attributes Read and ReadHeader record, their status codes
// and the progress sequences a window receives.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "bmpio/bmp.h"
#include "bmpio/status.h"
#include "image/stl_image.h"
#include "support/bytes.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using testing_support::Bytes;
using testing_support::ProgressMessage;
using testing_support::ProgressWindow;
using testing_support::TempDir;
using namespace dirira;

namespace {

const char kCaption[] = "reading";

// A 2 x 2 24-bit file: bottom row blue, red; top row green, white.
std::vector<std::uint8_t> rgb_file(std::uint32_t compression = BI_RGB) {
    return Bytes()
        .u16(0x4D42).u32(14 + 40 + 16).u16(0).u16(0).u32(54)  // file header: "BM", size, reserved, bfOffBits
        .u32(40)           // biSize
        .i32(2)            // biWidth
        .i32(2)            // biHeight: bottom-up
        .u16(1)            // biPlanes
        .u16(24)           // biBitCount
        .u32(compression)  // biCompression
        .u32(16)           // biSizeImage
        .i32(0).i32(0)     // resolutions
        .u32(0).u32(0)     // biClrUsed, biClrImportant
        .raw({255, 0, 0, 0, 0, 255, 0, 0})       // row 0: blue, red, padding
        .raw({0, 255, 0, 255, 255, 255, 0, 0});  // row 1: green, white, padding
}

// The same picture behind a 12-byte core header, 4 bits, two gray entries.
std::vector<std::uint8_t> core_file() {
    return Bytes()
        .u32(12)  // bcSize: a bare core DIB
        .u16(2)   // bcWidth
        .u16(1)   // bcHeight
        .u16(1)   // bcPlanes
        .u16(4)   // bcBitCount
        .fill(16 * 3, 0x80)         // 16 RGBTRIPLE entries, all mid gray
        .raw({0x01, 0, 0, 0})       // one row: two pixels of entry 0 and 1
        .fill(48, 0);               // room for the normalised header's extra bytes
}

class ImportTest : public testing::Test {
protected:
    void TearDown() override {
        if (!testing_support::kWin32Seams)
            return;  // leaks are counted where the stand-in keeps the accounts
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
    }
    const LPARAM caption_ = reinterpret_cast<LPARAM>(kCaption);
    TempDir dir_;
    CStlImage image_;
};

TEST_F(ImportTest, ReadRecordsWhereTheImageCameFrom) {
    const std::string path = dir_.write("rgb.bmp", rgb_file());
    image_.SetOrgWidth(77);
    ASSERT_EQ(CBmp::Read(&image_, path.c_str(), NULL, kCaption), kBmpOk);
    EXPECT_EQ(image_.GetWidth(), 2);
    EXPECT_EQ(image_.GetPlanes(), 3);
    EXPECT_EQ(image_.IsSaveableFormat(), 1);
    EXPECT_EQ(image_.IsSaveableFile(), 1);
    EXPECT_STREQ(image_.GetOrgFileName(), path.c_str());
    EXPECT_STREQ(image_.GetOrgFileFormat(), testing_support::InAnsiCodePage("BMP (無圧縮)").c_str());
    EXPECT_EQ(image_.GetOrgBitsPixel(), 24);
    EXPECT_EQ(image_.GetOrgPlanes(), 0);
    EXPECT_EQ(image_.GetOrgWidth(), 77) << "Read does not record the original width";
}

// Permission bits, not the caller's privileges, make a file read-only:
// this holds when the tests run as root too.
TEST_F(ImportTest, ReadOnlyFileIsNotSaveable) {
    const std::string path = dir_.write("ro.bmp", rgb_file());
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(CBmp::Read(&image_, path.c_str(), NULL, NULL), kBmpOk);
    EXPECT_EQ(image_.IsSaveableFormat(), 1);
    EXPECT_EQ(image_.IsSaveableFile(), 0);
}

TEST_F(ImportTest, CoreHeaderFileIsUncompressedWithItsOwnBitCount) {
    const std::string path = dir_.write("core.dib", core_file());
    ASSERT_EQ(CBmp::Read(&image_, path.c_str(), NULL, NULL), kBmpOk);
    EXPECT_STREQ(image_.GetOrgFileFormat(), testing_support::InAnsiCodePage("BMP (無圧縮)").c_str());
    EXPECT_EQ(image_.GetOrgBitsPixel(), 4);
}

// A 24-bit file that claims RLE8 reads, but the image library refuses it:
// 6, no attribute recorded, and Read's own progress already closed.
TEST_F(ImportTest, AttachRefusalGivesSixAndNoAttributes) {
    const std::string path = dir_.write("rle.bmp", rgb_file(BI_RLE8));
    ProgressWindow window;
    EXPECT_EQ(CBmp::Read(&image_, path.c_str(), window.handle(), kCaption), kBmpNoMemory);
    EXPECT_EQ(image_.IsSaveableFormat(), 0);
    EXPECT_STREQ(image_.GetOrgFileFormat(), "");
    ASSERT_GE(window.messages().size(), 2u);
    EXPECT_EQ(window.messages()[0], ProgressMessage(0, caption_));
    EXPECT_EQ(window.messages()[1], ProgressMessage(2, caption_));
}

TEST_F(ImportTest, RleFileIsNamedRle) {
    const auto file = Bytes()
                          .u32(40).i32(2).i32(1).u16(1).u16(8)  // biSize, width 2, height 1, planes, 8 bits
                          .u32(BI_RLE8).u32(4)                  // biCompression RLE8, biSizeImage
                          .i32(0).i32(0).u32(2).u32(0)          // resolutions, biClrUsed 2, biClrImportant
                          .raw({0, 0, 0, 0, 255, 255, 255, 0})  // black, white
                          .raw({2, 1, 0, 1});                   // two pixels of entry 1, end of bitmap
    const std::string path = dir_.write("rle8.dib", file);
    ASSERT_EQ(CBmp::Read(&image_, path.c_str(), NULL, NULL), kBmpOk);
    EXPECT_STREQ(image_.GetOrgFileFormat(), testing_support::InAnsiCodePage("BMP (RLE圧縮)").c_str());
}

TEST_F(ImportTest, SuccessfulReadClosesItsProgressBeforeTheLibraryWorks) {
    const std::string path = dir_.write("rgb.bmp", rgb_file());
    ProgressWindow window;
    ASSERT_EQ(CBmp::Read(&image_, path.c_str(), window.handle(), kCaption), kBmpOk);
    ASSERT_GE(window.messages().size(), 2u);
    EXPECT_EQ(window.messages()[0], ProgressMessage(0, caption_));
    EXPECT_EQ(window.messages()[1], ProgressMessage(2, caption_));
}

TEST_F(ImportTest, FailedReadSendsOpenAndCloseWithZero) {
    ProgressWindow window;
    EXPECT_EQ(CBmp::Read(&image_, dir_.file("absent.bmp").c_str(), window.handle(), kCaption), kBmpCannotOpen);
    EXPECT_EQ(window.messages(), (std::vector<ProgressMessage>{{0, caption_}, {2, 0}}));
    EXPECT_EQ(image_.IsSaveableFormat(), 0);
}

struct HeaderCase {
    const char *name;
    std::vector<std::uint8_t> file;
    int status;
    int orgPlanes;
};

std::vector<HeaderCase> header_cases() {
    auto topDown = rgb_file();
    topDown[14 + 8] = 0xFE;  // biHeight -2: rows stored top-down
    std::fill(topDown.begin() + 14 + 9, topDown.begin() + 14 + 12, 0xFF);
    auto v4 = rgb_file();
    v4[14] = 108;  // biSize 108
    auto planes3 = rgb_file();
    planes3[14 + 12] = 3;  // biPlanes 3
    return {
        {"info_header", rgb_file(), 0, 1},
        {"planes_recorded_as_found", planes3, 0, 3},
        {"core_header", core_file(), 0, 1},
        {"top_down", topDown, 17, -5},
        {"v4_header", v4, 17, -5},
    };
}

// ReadHeader records only OrgPlanes; every failure is 17, and then the
// image is untouched.
TEST_F(ImportTest, ReadHeaderRecordsPlanesOnly) {
    for (const HeaderCase &c : header_cases()) {
        SCOPED_TRACE(c.name);
        CStlImage image;
        image.SetOrgPlanes(-5);
        image.SetOrgBitsPixel(99);
        image.SetOrgFileName("before");
        EXPECT_EQ(CBmp::ReadHeader(&image, dir_.write(c.name, c.file).c_str(), NULL, NULL), c.status);
        EXPECT_EQ(image.GetOrgPlanes(), c.orgPlanes);
        EXPECT_EQ(image.GetOrgBitsPixel(), 99);
        EXPECT_STREQ(image.GetOrgFileName(), "before");
    }
    EXPECT_EQ(CBmp::ReadHeader(&image_, dir_.file("absent.bmp").c_str(), NULL, NULL), kBmpHeaderUnusable);
}

// Reading the same file whole and then its header: Read leaves OrgPlanes 0,
// ReadHeader the header's planes value.
TEST_F(ImportTest, ReadThenReadHeaderOrgPlanes) {
    const std::string path = dir_.write("rgb.bmp", rgb_file());
    ASSERT_EQ(CBmp::Read(&image_, path.c_str(), NULL, NULL), kBmpOk);
    EXPECT_EQ(image_.GetOrgPlanes(), 0);
    ASSERT_EQ(CBmp::ReadHeader(&image_, path.c_str(), NULL, NULL), kBmpOk);
    EXPECT_EQ(image_.GetOrgPlanes(), 1);
}

TEST(BmpStatus, ValuesNeverDrift) {
    EXPECT_EQ(kBmpOk, 0);
    EXPECT_EQ(kBmpCannotCreate, 2);
    EXPECT_EQ(kBmpCannotOpen, 3);
    EXPECT_EQ(kBmpReadFailed, 4);
    EXPECT_EQ(kBmpWriteFailed, 5);
    EXPECT_EQ(kBmpNoMemory, 6);
    EXPECT_EQ(kBmpBadHeaderSize, 7);
    EXPECT_EQ(kBmpNoDib, 10);
    EXPECT_EQ(kBmpHeaderUnusable, 17);
    EXPECT_STREQ(bmp_status_message(99), "unknown status");
}

}  // namespace
