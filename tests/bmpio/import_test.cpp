// BMP import: every attribute Read and ReadHeader leave on the image, the
// whole progress sequence a window receives, status codes through the
// platform's failures, and the header-only reader's boundaries.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
using win32_standin::Call;
using namespace dirira;

namespace {

struct Import : CBmp {
    using CBmp::GetOrgWidthAndHeight;
    using CBmp::ReadDIB;
};

const char kCaption[] = "reading";
const LPARAM kCaptionParam = reinterpret_cast<LPARAM>(kCaption);
constexpr Call kNoFault = Call::GetDIBits;  // a call reading never makes

// A 2 x 2 24-bit file: bottom row blue, red; top row green, white.
Block rgb_file(std::uint32_t compression = BI_RGB, std::int32_t height = 2, std::uint32_t headerSize = 40) {
    return file_header(14 + 40 + 16, 54).append(info_header(2, height, 24, 16, 0, headerSize, compression))
        .raw({255, 0, 0, 0, 0, 255, 0, 0}).raw({0, 255, 0, 255, 255, 255, 0, 0});
}

// A bare core DIB, 258 x 3, 4 bits, 2 planes, 16 RGBTRIPLE entries.
Block core_file() {
    return Bytes().u32(12).u16(258).u16(3).u16(2).u16(4)  // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
        .fill(16 * 3, 0x80).fill(3 * 132, 0x01);
}

class ImportTest : public testing_support::LeakCheckedTest {
protected:
    std::string path_of(const char *name, const Block &file) { return file.empty() ? dir_.file(name) : dir_.write(name, file); }
    TempDir dir_;
};

// Read records where the image came from, only after the image library
// accepted the DIB; a file's image keeps no blank value or own levels of
// the image that was there before. Its own progress closes before the
// library works (with the caption), and the library's follows.
TEST_F(ImportTest, ReadRecordsWhereTheImageCameFrom) {
    const Block bitfields = Bytes().append(info_header(1, 1, 16, 4, 0, 40, BI_BITFIELDS)).u32(0x7C00).u32(0x3E0)
                                .u32(0x1F).raw({0xFF, 0x7F, 0, 0});  // masks, one white pixel
    const Block rle8 = Bytes().append(info_header(2, 2, 8, 6, 2, 40, BI_RLE8)).raw({0, 0, 0, 0, 255, 255, 255, 0})
                           .raw({2, 1, 0, 0, 2, 0});
    const struct {  // format nullptr: no DIB read; "": read but refused
        const char *name; Block file; bool readOnly; Call fault; int nth, status; const char *format; int bits, width;
    } cases[] = {
        {"info_header", rgb_file(), false, kNoFault, 0, kBmpOk, "BMP (無圧縮)", 24, 2},
        {"core_header", core_file(), false, kNoFault, 0, kBmpOk, "BMP (無圧縮)", 4, 258},
        {"rle8", rle8, false, kNoFault, 0, kBmpOk, "BMP (RLE圧縮)", 8, 2},
        {"bitfields", bitfields, false, kNoFault, 0, kBmpOk, "BMP (RLE圧縮)", 16, 1},
        {"read_only", rgb_file(), true, kNoFault, 0, kBmpOk, "BMP (無圧縮)", 24, 2},
        {"attach_refused", rgb_file(BI_RLE8), false, kNoFault, 0, kBmpNoMemory, "", 0, 0},
        {"v4_header", rgb_file(BI_RGB, 2, 108), false, kNoFault, 0, kBmpBadHeaderSize, nullptr, 0, 0},
        {"absent", {}, false, kNoFault, 0, kBmpCannotOpen, nullptr, 0, 0},
        {"header_read_fails", rgb_file(), false, Call::ReadFile, 2, kBmpReadFailed, nullptr, 0, 0},
        {"resize_fails", rgb_file(), false, Call::GlobalReAlloc, 1, kBmpNoMemory, nullptr, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault != kNoFault && !testing_support::kWin32Seams)
            continue;
        const std::string path = path_of(c.name, c.file);
        // Permission bits, not the caller's privileges, make a file read-only: so as root too.
        ASSERT_TRUE(!c.readOnly || chmod(path.c_str(), 0444) == 0);
        std::vector<ProgressMessage> progress = {{0, kCaptionParam}, {2, 0}};
        if (c.format != nullptr) {  // then what the image library alone sends for this file's DIB
            HDIB dib = NULL;
            ASSERT_EQ(Import::ReadDIB(path.c_str(), &dib), kBmpOk);
            ProgressWindow library;
            CStlImage fresh;
            fresh.AttachDIB(dib, library.handle(), kCaption);
            GlobalFree(dib);
            progress = {{0, kCaptionParam}, {2, kCaptionParam}};
            progress.insert(progress.end(), library.messages().begin(), library.messages().end());
        }
        CStlImage image;
        image.SetOrgWidth(77), image.SetOrgBitsPixel(-1), image.SetOrgPlanes(-5), image.SetSaveableFormat(9);
        image.SetSaveableFile(9), image.SetOrgFileName("before"), image.SetOrgFileFormat("before");
        image.SetBlankUsed(1), image.SetBlank(-1), image.SetOwnLevel(1);
        ProgressWindow window;
        fail_nth(c.fault, c.nth);
        ASSERT_EQ(CBmp::Read(&image, path.c_str(), window.handle(), kCaption), c.status);
        EXPECT_EQ(window.messages(), progress);
        const bool read = c.status == kBmpOk;
        expect_released(blocksBefore_);
        EXPECT_EQ(image.GetWidth(), c.width);
        EXPECT_EQ(image.IsSaveableFormat(), read ? 1 : 9);
        EXPECT_EQ(image.IsSaveableFile(), read ? !c.readOnly : 9);
        EXPECT_STREQ(image.GetOrgFileName(), read ? path.c_str() : "before");
        EXPECT_STREQ(image.GetOrgFileFormat(), read ? InAnsiCodePage(c.format).c_str() : "before");
        EXPECT_EQ(image.GetOrgBitsPixel(), read ? c.bits : -1);
        EXPECT_EQ(image.GetOrgPlanes(), read ? 0 : -5);
        EXPECT_EQ(image.GetOrgWidth(), 77);
        EXPECT_EQ(std::make_tuple(image.IsBlankUsed(), image.GetBlank(), image.HasOwnLevel()),
                  read ? std::make_tuple(0, 0, 0) : std::make_tuple(1, -1, 1));
    }
}

// The header-only reader accepts a picture of positive width and height
// and writes nothing otherwise; ReadHeader records only the planes value.
TEST_F(ImportTest, HeaderOnlyReadAcceptsPositiveSizes) {
    auto sized = [](std::int32_t width, std::int32_t height) {
        Block file = Bytes().append(info_header(width, height, 8, 0, 2)).fill(8 + 4, 0);
        file[12] = 3;  // biPlanes
        return file;
    };
    const struct { const char *name; Block file; Call fault; int nth; int width, height, planes; } cases[] = {
        {"1x1", sized(1, 1), kNoFault, 0, 1, 1, 3},       {"width_0", sized(0, 5), kNoFault, 0, 0, 0, 0},
        {"height_0", sized(5, 0), kNoFault, 0, 0, 0, 0},  {"width_-1", sized(-1, 5), kNoFault, 0, 0, 0, 0},
        {"top_down", sized(5, -1), kNoFault, 0, 0, 0, 0}, {"core_header", core_file(), kNoFault, 0, 258, 3, 2},
        {"v4_header", rgb_file(BI_RGB, 2, 108), kNoFault, 0, 0, 0, 0}, {"absent", {}, kNoFault, 0, 0, 0, 0},
        {"open_fails", sized(1, 1), Call::CreateFileA, 1, 0, 0, 0},
        {"read_fails", sized(1, 1), Call::ReadFile, 1, 0, 0, 0},
        {"allocation_fails", sized(1, 1), Call::GlobalAlloc, 1, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.fault != kNoFault && !testing_support::kWin32Seams)
            continue;
        const std::string path = path_of(c.name, c.file);
        const bool accepted = c.width != 0;
        int width = -7, height = -7, planes = -7;
        fail_nth(c.fault, c.nth);
        EXPECT_EQ(Import::GetOrgWidthAndHeight(path.c_str(), &width, &height, &planes), accepted ? 1 : 0);
        EXPECT_EQ(std::make_tuple(width, height, planes),
                  accepted ? std::make_tuple(c.width, c.height, c.planes) : std::make_tuple(-7, -7, -7));
        CStlImage image;
        image.SetOrgPlanes(-5), image.SetOrgBitsPixel(99), image.SetOrgWidth(98), image.SetOrgFileName("before");
        fail_nth(c.fault, c.nth);
        EXPECT_EQ(CBmp::ReadHeader(&image, path.c_str(), NULL, NULL), accepted ? kBmpOk : kBmpHeaderUnusable);
        EXPECT_EQ(image.GetOrgPlanes(), accepted ? c.planes : -5);
        EXPECT_EQ(std::make_tuple(image.GetOrgBitsPixel(), image.GetOrgWidth()), std::make_tuple(99, 98));
        EXPECT_STREQ(image.GetOrgFileName(), "before");
        expect_released(blocksBefore_);
    }
}

TEST(BmpStatus, ValuesNeverDrift) {
    const int values[] = {kBmpOk,       kBmpCannotCreate,  kBmpCannotOpen, kBmpReadFailed,    kBmpWriteFailed,
                          kBmpNoMemory, kBmpBadHeaderSize, kBmpNoDib,      kBmpHeaderUnusable};
    EXPECT_EQ(std::vector<int>(std::begin(values), std::end(values)), (std::vector<int>{0, 2, 3, 4, 5, 6, 7, 10, 17}));
    EXPECT_STREQ(bmp_status_message(99), "unknown status");
}

}  // namespace
