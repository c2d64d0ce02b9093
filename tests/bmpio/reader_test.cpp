// The DIB file reader against byte fixtures: block sizes, normalised
// headers, widened core tables, the reconciliation by file size, status
// codes, and nothing left open, allocated or locked on any path.
#include <gtest/gtest.h>

#include <cstring>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using namespace dib_fixtures;
using testing_support::TempDir;
using namespace dirira;

namespace {

// The reader's members are protected: the application reaches them as a derived class would.
struct Reader : CBmp {
    using CBmp::DibInfo;
    using CBmp::ReadDIB;
};

BITMAPINFOHEADER header_of(const Block &block) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, block.data(), sizeof h);
    return h;
}

Block gray_table(int entries) {
    Bytes table;
    for (int i = 0; i < entries; ++i)
        table.u8(i).u8(i).u8(i).u8(0);
    return table;
}

class ReaderTest : public testing_support::LeakCheckedTest {
protected:
    // ReadDIB, taking the block over; lastDib_ is what it handed out.
    int read(const std::string &path, Block *block) {
        HDIB dib = reinterpret_cast<HDIB>(1);
        const int status = Reader::ReadDIB(path.c_str(), &dib);
        if ((lastDib_ = dib) != NULL)
            *block = take(dib);
        return status;
    }
    TempDir dir_;
    HDIB lastDib_ = NULL;
};

// The block is the normalised header, the table in 4-byte entries and the
// pixels, sized by the file: a file header, a gap before the pixels, a
// shorter file or a wrapped biSizeImage change its size, never its header.
TEST_F(ReaderTest, BlockIsSizedByTheFile) {
    const Bytes pixels8 = Bytes().raw({1, 2, 0, 0, 3, 4, 0, 0}), rgb = Bytes().fill(8, 0x7F);
    const Bytes bare = info_header(1, 2, 4, 8, 2).raw({0, 0, 0, 0, 255, 255, 255, 0})  // two RGBQUAD entries
                           .raw({0x10, 0, 0, 0, 0x01, 0, 0, 0});  // two rows of one 4-bit pixel
    const Block rows1 = {0x80, 0, 0, 0, 0x40, 0, 0, 0, 0x20, 0, 0, 0, 0x10, 0, 0, 0,
                         0x08, 0, 0, 0, 0x04, 0, 0, 0, 0x02, 0, 0, 0, 0x01, 0, 0, 0};
    const struct { const char *name; Bytes file, block; } cases[] = {
        // biClrUsed 0 reads 256 entries; the 14 bytes of the file header are zeros at the end.
        {"8bit_file_header", file_header(14 + 40 + 1024 + 8, 1078).append(info_header(2, 2, 8, 8)).append(gray_table(256))
             .append(pixels8), info_header(2, 2, 8, 8, 256).append(gray_table(256)).append(pixels8).fill(14, 0)},
        // No table; bfOffBits skips 4 bytes, zeros at the end; a lying biSizeImage of 4 does not cut the read.
        {"24bit_gap", file_header(14 + 40 + 4 + 8, 58).append(info_header(2, 1, 24, 4)).fill(4, 0xEE).append(rgb),
             info_header(2, 1, 24, 4).append(rgb).fill(18, 0)},
        {"bare_dib_4bit", bare, bare},  // an exact biSizeImage matches the file
        // Normalised to 40 bytes, the entries widened in place. 28 + 2 bytes
        // longer than the file, which holds the first 16 bytes of rows.
        {"core_header_1bit", file_header(64, 32).u32(12) /* bcSize */ .u16(3).u16(8) /* bcWidth, bcHeight */
             .u16(1).u16(1) /* bcPlanes, bcBitCount */ .raw({1, 2, 3, 4, 5, 6}) /* b g r, b g r */ .append(rows1),
         Bytes().u32(40).i32(3).i32(8).u16(1).u16(1) /* biSize, biWidth, biHeight, biPlanes, biBitCount */
             .u32(0).u32(32) /* BI_RGB, ((1 x 3 + 31) >> 5) x 8 x 4 */ .i32(0).i32(0).u32(2).u32(2)  // resolutions, colours
             .raw({1, 2, 3, 0, 4, 5, 6, 0}).append(Block(rows1.begin(), rows1.begin() + 16))},
        // 3 x -2 x 24 bits wraps to 0xFFFFFFE8: the block keeps that, but the file sizes it.
        {"top_down", info_header(3, -2, 24, 0).fill(24, 0x55), info_header(3, -2, 24, 0xFFFFFFE8u).fill(24, 0x55)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Block block;
        ASSERT_EQ(read(dir_.write(c.name, c.file), &block), kBmpOk);
        EXPECT_EQ(block, c.block.data());
    }
}

// A zero biSizeImage is worked out twice: by the reader in unsigned
// arithmetic with a logical shift, by DibInfo in signed arithmetic with a
// division. They agree for ordinary sizes and part for negative row sizes.
TEST_F(ReaderTest, ZeroSizeImageIsFilledByReaderAndDibInfo) {
    const struct { const char *name; std::int32_t width, height; std::uint32_t readerSize, dibInfoSize; } cases[] = {
        {"width3_24bit", 3, 2, 24, 24},
        {"top_down_wraps", 3, -2, 0xFFFFFFE8u, 0xFFFFFFE8u},
        {"negative_width", -2, 1, 0x1FFFFFFCu, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes header = info_header(c.width, c.height, 24, 0);
        Block read_back;
        ASSERT_EQ(read(dir_.write(c.name, Bytes().append(header).fill(64, 0)), &read_back), kBmpOk);
        EXPECT_EQ(header_of(read_back).biSizeImage, c.readerSize);
        HGLOBAL block = block_of(header);
        BITMAPINFOHEADER filled;
        EXPECT_EQ(Reader::DibInfo(block, &filled), 1);
        EXPECT_EQ(filled.biSizeImage, c.dibInfoSize);
        GlobalFree(block);
    }
}

// DibInfo copies nothing from no block, and fills no defaults into a core header.
TEST_F(ReaderTest, DibInfoOfNothingAndOfACoreHeader) {
    BITMAPINFOHEADER info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(Reader::DibInfo(NULL, &info), 0);
    EXPECT_EQ(info.biSize, 0xABABABABu);
    HGLOBAL block = block_of(Bytes().u32(12).u16(4).u16(4).u16(1).u16(8).fill(28, 0));  // core 4 x 4, 8 bits
    EXPECT_EQ(Reader::DibInfo(block, &info), 1);
    EXPECT_EQ(std::make_pair(info.biSizeImage, info.biClrUsed), std::make_pair(DWORD{0}, DWORD{0}));
    GlobalFree(block);
}

TEST_F(ReaderTest, UnreadableFilesGiveTheirStatusAndNoBlock) {
    const struct { const char *name; Block file; int status; } cases[] = {
        {"v4_header_108", file_header(200, 122).append(info_header(2, 2, 24, 0, 0, 108)).fill(80, 0), 7},
        {"v5_header_124", Bytes().append(info_header(2, 2, 24, 0, 0, 124)).fill(100, 0), 7},
        {"zero_header_size", Bytes().append(info_header(2, 2, 24, 0, 0, 0)).fill(16, 0), 7},
        {"shorter_than_file_header", Bytes().raw({'B', 'M', 1, 2, 3}), 4},
        {"info_header_cut_short", file_header(40, 0).u32(40).fill(20, 0), 4},
        {"table_beyond_the_end", Bytes().append(info_header(2, 2, 8, 8)).fill(16, 0), 4},
    };
    Block block;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read(dir_.write(c.name, c.file), &block), c.status);
        EXPECT_EQ(lastDib_, nullptr);
    }
    EXPECT_EQ(read(dir_.file("absent.bmp"), &block), kBmpCannotOpen);
    EXPECT_EQ(lastDib_, nullptr);
    // While another opener writes the file without sharing, it cannot be read.
    const std::string busy = dir_.write("busy.bmp", Bytes().append(info_header(1, 1, 24, 4)).fill(4, 0));
    HANDLE writer = CreateFileA(busy.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(read(busy, &block), kBmpCannotOpen);
    CloseHandle(writer);
}

// Every platform failure the reader can meet, injected.
TEST_F(ReaderTest, PlatformFailuresGiveTheirStatusAndLeaveNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    using win32_standin::Call;
    const struct { const char *name; Call call; int nth, status; } cases[] = {
        {"open", Call::CreateFileA, 1, 3},         {"file_header_read", Call::ReadFile, 1, 4},
        {"info_header_read", Call::ReadFile, 2, 4}, {"table_allocation", Call::GlobalAlloc, 1, 6},
        {"resize", Call::GlobalReAlloc, 1, 6},
    };
    const auto file = file_header(14 + 40 + 1024 + 4, 1078).append(info_header(1, 1, 8, 4))
                          .append(gray_table(256)).fill(4, 9);
    const std::string path = dir_.write("faults.bmp", file);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        win32_standin::FailNth(c.call, c.nth);
        Block block;
        EXPECT_EQ(read(path, &block), c.status);
        EXPECT_EQ(lastDib_, nullptr);
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0);
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), blocksBefore_);
    }
}

}  // namespace
