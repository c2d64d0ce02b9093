// BMP export: whole output files compared byte for byte with fixtures, the
// status codes, and the DIB and file left as the contract says.
#include <gtest/gtest.h>

#include <cstring>
#include <win32_standin.h>

#include "bmpio/bmp.h"
#include "bmpio/status.h"
#include "support/bytes.h"
#include "support/temp_dir.h"

using testing_support::Bytes;
using testing_support::read_file;
using testing_support::TempDir;
using namespace dirira;

namespace {

struct Writer : CBmp {
    using CBmp::WriteDIB;
};

HDIB make_dib(const std::vector<std::uint8_t> &bytes, std::size_t surplus = 0) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size() + surplus);
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

Bytes dib_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t sizeImage,
                 std::uint32_t clrUsed) {
    return Bytes()
        .u32(40)         // biSize
        .i32(width)      // biWidth
        .i32(height)     // biHeight
        .u16(1)          // biPlanes
        .u16(bitCount)   // biBitCount
        .u32(0)          // biCompression
        .u32(sizeImage)  // biSizeImage: written as the image library set it
        .i32(3780)       // biXPelsPerMeter
        .i32(3780)       // biYPelsPerMeter
        .u32(clrUsed)    // biClrUsed
        .u32(0);         // biClrImportant
}

struct ExportCase {
    const char *name;
    std::vector<std::uint8_t> dib;
    std::size_t surplus;  // zero bytes the block holds beyond the rows
    std::uint32_t offBits;
};

std::vector<ExportCase> export_cases() {
    return {
        {"1bit", Bytes().append(dib_header(3, 1, 1, 4, 0)).fill(2 * 4, 0x11).raw({0xA0, 0, 0, 0}), 0, 62},
        {"4bit", Bytes().append(dib_header(3, 1, 4, 4, 0)).fill(16 * 4, 0x22).raw({0x12, 0x30, 0, 0}), 0, 118},
        {"8bit", Bytes().append(dib_header(3, 1, 8, 4, 0)).fill(256 * 4, 0x33).raw({1, 2, 3, 0}), 0, 1078},
        {"24bit", Bytes().append(dib_header(1, 2, 24, 8, 0)).raw({1, 2, 3, 0, 4, 5, 6, 0}), 0, 54},
        {"24bit_surplus", Bytes().append(dib_header(1, 1, 24, 4, 0)).raw({7, 8, 9, 0}), 20, 54},
        {"8bit_20_colours", Bytes().append(dib_header(2, 1, 8, 4, 20)).fill(20 * 4, 0x44).raw({0, 19, 0, 0}), 0,
         14 + 40 + 80},
    };
}

class ExportTest : public testing::Test {
protected:
    void TearDown() override {
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0);
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0);
    }
    TempDir dir_;
};

// The file is the 14-byte header, then the block from its first byte to its
// last as the memory manager reports it, surplus included.
TEST_F(ExportTest, FileIsTheHeaderThenTheWholeBlock) {
    for (const ExportCase &c : export_cases()) {
        SCOPED_TRACE(c.name);
        const HDIB dib = make_dib(c.dib, c.surplus);
        const std::uint32_t blockSize = std::uint32_t(GlobalSize(dib));
        ASSERT_GE(blockSize, c.dib.size() + c.surplus);
        const auto expected = Bytes()
                                  .u16(0x4D42)           // bfType "BM"
                                  .u32(blockSize + 14)   // bfSize
                                  .u16(0)                // bfReserved1
                                  .u16(0)                // bfReserved2
                                  .u32(c.offBits)        // bfOffBits
                                  .append(c.dib)
                                  .fill(blockSize - c.dib.size(), 0);  // surplus bytes of the block
        const std::string path = dir_.file(c.name);
        EXPECT_EQ(Writer::WriteDIB(path.c_str(), dib), kBmpOk);
        EXPECT_EQ(read_file(path), expected.data());
        GlobalFree(dib);
    }
}

TEST_F(ExportTest, OverwritingALargerFileLeavesExactlyBfSize) {
    const std::string path = dir_.write("big.bmp", std::vector<std::uint8_t>(5000, 0xEE));
    const HDIB dib = make_dib(export_cases()[3].dib);
    ASSERT_EQ(Writer::WriteDIB(path.c_str(), dib), kBmpOk);
    EXPECT_EQ(read_file(path).size(), GlobalSize(dib) + 14);
    GlobalFree(dib);
}

TEST_F(ExportTest, NoDibGivesTenAndNoFile) {
    const std::string path = dir_.file("none.bmp");
    EXPECT_EQ(Writer::WriteDIB(path.c_str(), NULL), kBmpNoDib);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ExportTest, FileThatCannotBeCreatedGivesTwo) {
    const HDIB dib = make_dib(export_cases()[3].dib);
    EXPECT_EQ(Writer::WriteDIB(dir_.file("no-such-folder/out.bmp").c_str(), dib), kBmpCannotCreate);

    const std::string held = dir_.write("held.bmp", {1, 2, 3});
    HANDLE reader = CreateFileA(held.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Writer::WriteDIB(held.c_str(), dib), kBmpCannotCreate);
    CloseHandle(reader);
    EXPECT_EQ(read_file(held), (std::vector<std::uint8_t>{1, 2, 3})) << "nothing written";
    GlobalFree(dib);
}

// A failed write gives 5, closes the file, and leaves the DIB to its owner
// as it was: unlocked and lockable.
TEST_F(ExportTest, WriteFailureGivesFiveAndLeavesTheDibLockable) {
    const HDIB dib = make_dib(export_cases()[3].dib);
    for (int nth : {1, 2}) {
        SCOPED_TRACE(nth);
        win32_standin::FailNth(win32_standin::Call::WriteFile, nth);
        EXPECT_EQ(Writer::WriteDIB(dir_.file("fail.bmp").c_str(), dib), kBmpWriteFailed);
        EXPECT_EQ(GlobalFlags(dib) & GMEM_LOCKCOUNT, 0u);
        EXPECT_NE(GlobalLock(dib), nullptr);
        GlobalUnlock(dib);
    }
    if (GetFileAttributesA("/dev/full") != INVALID_FILE_ATTRIBUTES) {
        EXPECT_EQ(Writer::WriteDIB("/dev/full", dib), kBmpWriteFailed);
    }
    GlobalFree(dib);
}

// A file written here reads back through the reader to the same block.
TEST_F(ExportTest, WrittenFileReadsBackToTheSameDib) {
    struct Reader : CBmp {
        using CBmp::ReadDIB;
    };
    for (const ExportCase &c : export_cases()) {
        if (c.surplus != 0)
            continue;  // the reader cannot know about surplus bytes
        SCOPED_TRACE(c.name);
        const HDIB dib = make_dib(c.dib);
        const std::string path = dir_.file(c.name);
        ASSERT_EQ(Writer::WriteDIB(path.c_str(), dib), kBmpOk);
        HDIB back = NULL;
        ASSERT_EQ(Reader::ReadDIB(path.c_str(), &back), kBmpOk);
        const auto *bytes = static_cast<const std::uint8_t *>(GlobalLock(back));
        BITMAPINFOHEADER written, read;
        std::memcpy(&written, c.dib.data(), sizeof written);
        std::memcpy(&read, bytes, sizeof read);
        EXPECT_EQ(read.biWidth, written.biWidth);
        EXPECT_EQ(read.biHeight, written.biHeight);
        EXPECT_EQ(read.biBitCount, written.biBitCount);
        // Colour table and rows; the reader fills a zero biClrUsed, so the
        // headers themselves may differ there.
        EXPECT_EQ(std::memcmp(bytes + 40, c.dib.data() + 40, c.dib.size() - 40), 0);
        GlobalUnlock(back);
        GlobalFree(back);
        GlobalFree(dib);
    }
}

}  // namespace
