// The DIB file reader against byte fixtures: block sizes, normalised
// headers, widened core tables, the reconciliation by file size, status
// codes, and nothing left open or allocated on any path.
#include <gtest/gtest.h>

#include <cstring>

#include "bmpio/bmp.h"
#include "bmpio/status.h"
#include "support/bytes.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using testing_support::Bytes;
using testing_support::TempDir;
using namespace dirira;

namespace {

// The reader's members are protected: the application reaches them as a
// derived class would.
struct Reader : CBmp {
    using CBmp::DibInfo;
    using CBmp::ReadDIB;
    using CBmp::ReadDibBitmapInfo;
};

std::vector<std::uint8_t> block_bytes(HGLOBAL block) {
    const auto *p = static_cast<const std::uint8_t *>(GlobalLock(block));
    std::vector<std::uint8_t> bytes(p, p + GlobalSize(block));
    GlobalUnlock(block);
    return bytes;
}

BITMAPINFOHEADER header_of(const std::vector<std::uint8_t> &block) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, block.data(), sizeof h);
    return h;
}

Bytes file_header(std::uint32_t size, std::uint32_t offBits) {
    return Bytes()
        .u16(0x4D42)  // bfType "BM"
        .u32(size)    // bfSize
        .u16(0)       // bfReserved1
        .u16(0)       // bfReserved2
        .u32(offBits);  // bfOffBits
}

Bytes info_header(std::int32_t width, std::int32_t height, std::uint16_t bitCount, std::uint32_t sizeImage,
                  std::uint32_t clrUsed = 0, std::uint32_t size = 40) {
    return Bytes()
        .u32(size)       // biSize
        .i32(width)      // biWidth
        .i32(height)     // biHeight
        .u16(1)          // biPlanes
        .u16(bitCount)   // biBitCount
        .u32(0)          // biCompression: BI_RGB
        .u32(sizeImage)  // biSizeImage
        .i32(2835)       // biXPelsPerMeter
        .i32(2835)       // biYPelsPerMeter
        .u32(clrUsed)    // biClrUsed
        .u32(0);         // biClrImportant
}

std::vector<std::uint8_t> gray_table(int entries) {
    std::vector<std::uint8_t> table;
    for (int i = 0; i < entries; ++i)
        table.insert(table.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
    return table;
}

class ReaderTest : public testing::Test {
protected:
    // Leaks are counted where the stand-in keeps the accounts.
    void SetUp() override {
        if (testing_support::kWin32Seams)
            blocksBefore_ = win32_standin::LiveGlobalBlocks();
    }
    void TearDown() override {
        if (!testing_support::kWin32Seams)
            return;
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0) << "a file was left open";
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), blocksBefore_) << "a block was left allocated";
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << "a block was left locked";
    }

    // Runs ReadDIB and takes the block over.
    int read(const std::string &path, std::vector<std::uint8_t> *block) {
        HDIB dib = reinterpret_cast<HDIB>(1);
        const int status = Reader::ReadDIB(path.c_str(), &dib);
        if (dib != NULL) {
            *block = block_bytes(dib);
            GlobalFree(dib);
        }
        lastDib_ = dib;
        return status;
    }

    TempDir dir_;
    HDIB lastDib_ = NULL;
    int blocksBefore_ = 0;
};

// "BM", 8 bits, 2 x 2, biClrUsed 0, exact biSizeImage: 256 table entries are
// read; the block is then as large as the file, whose 14-byte file header
// len does not count, so its last 14 bytes are zero.
TEST_F(ReaderTest, EightBitWithFileHeaderIsSizedByTheFile) {
    const auto pixels = std::vector<std::uint8_t>{1, 2, 0, 0, 3, 4, 0, 0};
    const auto file = Bytes()
                          .append(file_header(14 + 40 + 1024 + 8, 1078))
                          .append(info_header(2, 2, 8, 8))
                          .append(gray_table(256))
                          .append(pixels);
    const std::string path = dir_.write("gray8.bmp", file);

    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HDIB info = NULL;
    ASSERT_EQ(Reader::ReadDibBitmapInfo(handle, &info), kBmpOk);
    EXPECT_EQ(SetFilePointer(handle, 0, NULL, FILE_CURRENT), 1078u) << "left at bfOffBits";
    CloseHandle(handle);
    EXPECT_EQ(GlobalSize(info), 40u + 4 * 256);
    EXPECT_EQ(header_of(block_bytes(info)).biClrUsed, 256u);
    GlobalFree(info);

    std::vector<std::uint8_t> block;
    ASSERT_EQ(read(path, &block), kBmpOk);
    ASSERT_EQ(block.size(), file.size());
    EXPECT_EQ(std::memcmp(block.data() + 40, gray_table(256).data(), 1024), 0);
    EXPECT_EQ(std::memcmp(block.data() + 1064, pixels.data(), pixels.size()), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(block.end() - 14, block.end()), std::vector<std::uint8_t>(14, 0));
}

TEST_F(ReaderTest, TwentyFourBitHasNoColourTable) {
    const auto file = Bytes().append(file_header(14 + 40 + 8, 54)).append(info_header(2, 1, 24, 8)).fill(8, 0x7F);
    const std::string path = dir_.write("rgb24.bmp", file);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HDIB info = NULL;
    ASSERT_EQ(Reader::ReadDibBitmapInfo(handle, &info), kBmpOk);
    CloseHandle(handle);
    EXPECT_EQ(GlobalSize(info), 40u);
    GlobalFree(info);
}

// Without a file header the header is read from the start, and the pixels
// right after the colour table; an exact biSizeImage matches the file, so
// the block is exactly header + table + pixels.
TEST_F(ReaderTest, BareDibTakesPixelsAfterTheTable) {
    const auto file = Bytes()
                          .append(info_header(1, 2, 4, 8, 2))
                          .raw({0, 0, 0, 0, 255, 255, 255, 0})  // two RGBQUAD entries
                          .raw({0x10, 0, 0, 0, 0x01, 0, 0, 0});  // two rows of one 4-bit pixel
    std::vector<std::uint8_t> block;
    ASSERT_EQ(read(dir_.write("bare.dib", file), &block), kBmpOk);
    EXPECT_EQ(block, file.data());
}

// A core header: normalised to 40 bytes, its 3-byte entries widened in
// place. The block is sized by the file, which is 28 + 2 bytes shorter than
// the normalised form and has a file header: the reconciled count reads
// what the file holds, the rest of the rows stays zero.
TEST_F(ReaderTest, CoreHeaderIsNormalisedAndItsTableWidened) {
    const auto rows = Bytes().raw({0x80, 0, 0, 0}).raw({0x40, 0, 0, 0}).raw({0x20, 0, 0, 0}).raw({0x10, 0, 0, 0})
                          .raw({0x08, 0, 0, 0}).raw({0x04, 0, 0, 0}).raw({0x02, 0, 0, 0}).raw({0x01, 0, 0, 0});
    const auto file = Bytes()
                          .append(file_header(64, 32))
                          .u32(12)  // bcSize
                          .u16(3)   // bcWidth
                          .u16(8)   // bcHeight
                          .u16(1)   // bcPlanes
                          .u16(1)   // bcBitCount
                          .raw({1, 2, 3, 4, 5, 6})  // b0 g0 r0 b1 g1 r1
                          .append(rows);
    std::vector<std::uint8_t> block;
    ASSERT_EQ(read(dir_.write("core.bmp", file), &block), kBmpOk);
    const BITMAPINFOHEADER h = header_of(block);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, 8);
    EXPECT_EQ(h.biBitCount, 1);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 32u);  // ((1 x 3 + 31) >> 5) x 8 x 4
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, 2u);
    EXPECT_EQ(h.biClrImportant, 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin() + 40, block.begin() + 48),
              (std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
    ASSERT_EQ(block.size(), 64u) << "the file's size";
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin() + 48, block.end()),
              std::vector<std::uint8_t>(rows.data().begin(), rows.data().begin() + 16));
}

struct SizeImageCase {
    const char *name;
    std::int32_t width, height;
    std::uint16_t bitCount;
    std::uint32_t readerSize;   // as ReadDibBitmapInfo stores it
    std::uint32_t dibInfoSize;  // as DibInfo fills it in
};

// A zero biSizeImage is worked out twice: by the reader in unsigned
// arithmetic with a logical shift, by DibInfo in signed arithmetic with a
// division. They agree for ordinary sizes and part for negative row sizes.
const SizeImageCase kSizeImageCases[] = {
    {"width3_24bit", 3, 2, 24, 24, 24},
    {"top_down_wraps", 3, -2, 24, 0xFFFFFFE8u, 0xFFFFFFE8u},
    {"negative_width", -2, 1, 24, 0x1FFFFFFCu, 0},
};

class SizeImageTable : public testing::TestWithParam<SizeImageCase> {};

TEST_P(SizeImageTable, ReaderAndDibInfoFillAZeroSize) {
    const SizeImageCase &c = GetParam();
    TempDir dir;
    const auto file = Bytes().append(info_header(c.width, c.height, c.bitCount, 0)).fill(64, 0);
    const std::string path = dir.write("size.dib", file);
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HDIB dib = NULL;
    ASSERT_EQ(Reader::ReadDibBitmapInfo(handle, &dib), kBmpOk);
    CloseHandle(handle);
    EXPECT_EQ(header_of(block_bytes(dib)).biSizeImage, c.readerSize);

    // DibInfo fills only a zero field, so give it the block with the field cleared.
    auto *header = static_cast<BITMAPINFOHEADER *>(GlobalLock(dib));
    header->biSizeImage = 0;
    GlobalUnlock(dib);
    BITMAPINFOHEADER info;
    EXPECT_EQ(Reader::DibInfo(dib, &info), 1);
    EXPECT_EQ(info.biSizeImage, c.dibInfoSize);
    GlobalFree(dib);
}

INSTANTIATE_TEST_SUITE_P(Reader, SizeImageTable, testing::ValuesIn(kSizeImageCases),
                         [](const auto &row) { return std::string(row.param.name); });

// A top-down file's wrapped biSizeImage does not size the block: the file does.
TEST_F(ReaderTest, TopDownFileIsSizedByTheFile) {
    const auto file = Bytes().append(info_header(3, -2, 24, 0)).fill(24, 0x55);
    std::vector<std::uint8_t> block;
    ASSERT_EQ(read(dir_.write("topdown.dib", file), &block), kBmpOk);
    EXPECT_EQ(block.size(), 64u);
    EXPECT_EQ(header_of(block).biSizeImage, 0xFFFFFFE8u) << "the block's header keeps the stored size";
    EXPECT_EQ(block.back(), 0x55);
}

struct FailureCase {
    const char *name;
    std::vector<std::uint8_t> file;
    int status;
};

std::vector<FailureCase> failure_cases() {
    return {
        {"v4_header_108", Bytes().append(file_header(200, 122)).append(info_header(2, 2, 24, 0, 0, 108)).fill(80, 0), 7},
        {"v5_header_124", Bytes().append(info_header(2, 2, 24, 0, 0, 124)).fill(100, 0), 7},
        {"zero_header_size", Bytes().append(info_header(2, 2, 24, 0, 0, 0)).fill(16, 0), 7},
        {"shorter_than_file_header", Bytes().raw({'B', 'M', 1, 2, 3}), 4},
        {"info_header_cut_short", Bytes().append(file_header(40, 0)).u32(40).fill(20, 0), 4},
        {"table_beyond_the_end", Bytes().append(info_header(2, 2, 8, 8)).fill(16, 0), 4},
    };
}

TEST_F(ReaderTest, MalformedFilesGiveTheirStatusAndLeaveNothing) {
    for (const FailureCase &c : failure_cases()) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> block;
        EXPECT_EQ(read(dir_.write(c.name, c.file), &block), c.status);
        EXPECT_EQ(lastDib_, nullptr);
    }
}

TEST_F(ReaderTest, MissingFileGivesThreeAndANullBlock) {
    std::vector<std::uint8_t> block;
    EXPECT_EQ(read(dir_.file("absent.bmp"), &block), kBmpCannotOpen);
    EXPECT_EQ(lastDib_, nullptr);
}

// While another opener writes the file without sharing, it cannot be read.
TEST_F(ReaderTest, FileHeldForWritingCannotBeOpened) {
    const std::string path = dir_.write("busy.bmp", Bytes().append(info_header(1, 1, 24, 4)).fill(4, 0));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    std::vector<std::uint8_t> block;
    EXPECT_EQ(read(path, &block), kBmpCannotOpen);
    CloseHandle(writer);
}

struct FaultCase {
    const char *name;
    win32_standin::Call call;
    int nth;
    int status;
};

// Every platform failure the reader can meet, injected: the file header
// read, the information header read, the table allocation, the resize.
const FaultCase kFaultCases[] = {
    {"open", win32_standin::Call::CreateFileA, 1, 3},
    {"file_header_read", win32_standin::Call::ReadFile, 1, 4},
    {"info_header_read", win32_standin::Call::ReadFile, 2, 4},
    {"table_allocation", win32_standin::Call::GlobalAlloc, 1, 6},
    {"resize", win32_standin::Call::GlobalReAlloc, 1, 6},
};

TEST_F(ReaderTest, PlatformFailuresGiveTheirStatusAndLeaveNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const auto file = Bytes().append(file_header(14 + 40 + 1024 + 4, 1078)).append(info_header(1, 1, 8, 4))
                          .append(gray_table(256)).fill(4, 9);
    const std::string path = dir_.write("faults.bmp", file);
    for (const FaultCase &c : kFaultCases) {
        SCOPED_TRACE(c.name);
        win32_standin::FailNth(c.call, c.nth);
        std::vector<std::uint8_t> block;
        EXPECT_EQ(read(path, &block), c.status);
        EXPECT_EQ(lastDib_, nullptr);
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0);
    }
}

TEST_F(ReaderTest, DibInfoOfNothingLeavesTheOutputAlone) {
    BITMAPINFOHEADER info;
    std::memset(&info, 0xAB, sizeof info);
    EXPECT_EQ(Reader::DibInfo(NULL, &info), 0);
    EXPECT_EQ(info.biSize, 0xABABABABu);
}

// A block whose header is a core header is copied as it is: no defaults.
TEST_F(ReaderTest, DibInfoFillsNoDefaultsForACoreHeader) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 40);
    const auto core = Bytes().u32(12).u16(4).u16(4).u16(1).u16(8);
    std::memcpy(GlobalLock(block), core.data().data(), core.size());
    GlobalUnlock(block);
    BITMAPINFOHEADER info;
    EXPECT_EQ(Reader::DibInfo(block, &info), 1);
    EXPECT_EQ(info.biSize, 12u);
    EXPECT_EQ(info.biSizeImage, 0u);
    EXPECT_EQ(info.biClrUsed, 0u);
    GlobalFree(block);
}

}  // namespace
