// BMP export: whole output files compared byte for byte with fixtures, the
// status codes, and the DIB and file left as the contract says; Write's
// progress and ownership of the DIB; round trips through Read and Write.
#include <gtest/gtest.h>

#include <cstring>

#include "bmpio/bmp.h"
#include "bmpio/status.h"
#include "image/progress.h"
#include "image/stl_image.h"
#include "image/vm_store.h"
#include "support/bytes.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using testing_support::Bytes;
using testing_support::ProgressWindow;
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
                 std::uint32_t clrUsed, std::uint32_t compression = BI_RGB) {
    return Bytes()
        .u32(40)           // biSize
        .i32(width)        // biWidth
        .i32(height)       // biHeight
        .u16(1)            // biPlanes
        .u16(bitCount)     // biBitCount
        .u32(compression)  // biCompression
        .u32(sizeImage)    // biSizeImage: written as the image library set it
        .i32(3780)         // biXPelsPerMeter
        .i32(3780)         // biYPelsPerMeter
        .u32(clrUsed)      // biClrUsed
        .u32(0);           // biClrImportant
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
        if (!testing_support::kWin32Seams)
            return;  // leaks are counted where the stand-in keeps the accounts
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
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
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

// ---- CBmp::Write ----

const char kCaption[] = "Saving";
const LPARAM kCaptionParam = reinterpret_cast<LPARAM>(kCaption);

// A notification with the global blocks alive when it arrived, which shows
// where Write frees the DIB.
struct Notification {
    WPARAM code;
    LPARAM value;
    int liveBlocks;
    bool operator==(const Notification &o) const {
        return code == o.code && value == o.value && liveBlocks == o.liveBlocks;
    }
};

// A progress window whose procedure also counts the live global blocks.
class CountingWindow {
public:
    CountingWindow() {
        SetWindowLongPtrA(window_.handle(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrA(window_.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
    }
    HWND handle() const { return window_.handle(); }
    std::vector<Notification> seen;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<CountingWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_IMAGEIO_PROGRESS)
            self->seen.push_back({wParam, lParam, win32_standin::LiveGlobalBlocks()});
        return 0;
    }
    ProgressWindow window_;
};

// 3 x 2 gray samples at the default levels 0..255: the DIB is 8 bits.
void gray_image(CStlImage &image) {
    ASSERT_NE(image.Create(3, 2, 1), 0);
    const float samples[2][3] = {{0.0f, 128.5f, 255.0f}, {7.0f, 300.0f, -1.0f}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            *reinterpret_cast<float *>(image.Store->GetImageAdr(x, y, 0, 0, 0, NULL)) = samples[y][x];
}

TEST_F(ExportTest, WriteWithoutADibGivesSixOpenTenCloseAndNoFile) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const CStlImage empty;  // no store: the image library renders nothing
    CountingWindow window;
    const int live = win32_standin::LiveGlobalBlocks();
    const std::string path = dir_.file("none.bmp");
    EXPECT_EQ(CBmp::Write(const_cast<CStlImage *>(&empty), path.c_str(), 0, window.handle(), kCaption), kBmpNoMemory);
    EXPECT_EQ(window.seen, (std::vector<Notification>{{0, kCaptionParam, live}, {1, 10, live}, {2, 0, live}}));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The whole sequence whatever WriteDIB reports; the DIB is alive from 50 to
// 100 and freed before the close.
TEST_F(ExportTest, WriteSendsTheWholeSequenceWhateverTheStatus) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const struct {
        const char *name;
        const char *file;
        int failingWrite;  // the WriteFile call that fails, 0: none
        int status;
    } cases[] = {
        {"written", "out.bmp", 0, kBmpOk},
        {"cannot create", "no-such-folder/out.bmp", 0, kBmpCannotCreate},
        {"write fails", "out.bmp", 2, kBmpWriteFailed},
    };
    CStlImage image;
    gray_image(image);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CountingWindow window;
        const int live = win32_standin::LiveGlobalBlocks();
        if (c.failingWrite != 0)
            win32_standin::FailNth(win32_standin::Call::WriteFile, c.failingWrite);
        EXPECT_EQ(CBmp::Write(&image, dir_.file(c.file).c_str(), 0, window.handle(), kCaption), c.status);
        EXPECT_EQ(window.seen, (std::vector<Notification>{
                                   {0, kCaptionParam, live},
                                   {1, 10, live},
                                   {1, 50, live + 1},
                                   {1, 100, live + 1},
                                   {2, 0, live},
                               }));
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), live);
    }
}

// With or without a window, the file is the image library's DIB behind a
// file header.
TEST_F(ExportTest, WriteProducesTheSameFileWithOrWithoutAWindow) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    CStlImage image;
    gray_image(image);
    const HDIB dib = image.GetDib(0);
    const auto *bytes = static_cast<const std::uint8_t *>(GlobalLock(dib));
    const std::vector<std::uint8_t> block(bytes, bytes + GlobalSize(dib));
    GlobalUnlock(dib);
    GlobalFree(dib);
    const auto expected = Bytes()
                              .u16(0x4D42)                            // bfType "BM"
                              .u32(std::uint32_t(14 + block.size()))  // bfSize
                              .u16(0)                                 // bfReserved1
                              .u16(0)                                 // bfReserved2
                              .u32(1078)                              // bfOffBits: 14 + 40 + 256 * 4
                              .append(block);
    ProgressWindow window;
    const int live = win32_standin::LiveGlobalBlocks();
    for (HWND progress : {window.handle(), HWND(NULL)}) {
        const std::string path = dir_.file(progress ? "window.bmp" : "no-window.bmp");
        ASSERT_EQ(CBmp::Write(&image, path.c_str(), 0, progress, kCaption), kBmpOk);
        EXPECT_EQ(read_file(path), expected.data());
    }
    EXPECT_EQ(window.messages().size(), 5u) << "only the windowed write notifies";
    EXPECT_EQ(win32_standin::LiveGlobalBlocks(), live);
}

// ---- Round trips: Read, Write at the default levels, Read again ----

constexpr int kSide = 16;  // 256 pixels: every byte value once

// A 16-pixel-wide picture behind a file header, with an information header or
// a core header; the pixels follow the colour table.
Bytes bmp_file(const Bytes &header, const Bytes &colours, const Bytes &pixels) {
    const std::uint32_t offBits = std::uint32_t(14 + header.size() + colours.size());
    return Bytes()
        .u16(0x4D42)                                  // bfType "BM"
        .u32(offBits + std::uint32_t(pixels.size()))  // bfSize
        .u16(0)                                       // bfReserved1
        .u16(0)                                       // bfReserved2
        .u32(offBits)                                 // bfOffBits
        .append(header)
        .append(colours)
        .append(pixels);
}

Bytes info_header(std::int32_t height, std::uint16_t bitCount, std::uint32_t compression = BI_RGB) {
    return dib_header(kSide, height, bitCount, 0, 0, compression);
}

Bytes core_header(std::uint16_t bitCount, std::uint16_t height) {
    return Bytes()
        .u32(12)         // bcSize
        .u16(kSide)      // bcWidth
        .u16(height)     // bcHeight
        .u16(1)          // bcPlanes
        .u16(bitCount);  // bcBitCount
}

// Table entries of `size` bytes (4: RGBQUAD, 3: RGBTRIPLE), blue first.
Bytes table(int size, std::uint8_t (*red)(int), std::uint8_t (*green)(int), std::uint8_t (*blue)(int)) {
    Bytes entries;
    for (int i = 0; i < 256; ++i) {
        entries.u8(blue(i)).u8(green(i)).u8(red(i));
        if (size == 4)
            entries.u8(0);
    }
    return entries;
}

std::uint8_t same(int i) { return std::uint8_t(i); }
std::uint8_t reversed(int i) { return std::uint8_t(255 - i); }
std::uint8_t scrambled(int i) { return std::uint8_t(i * 7 + 3); }

// Pixel v of the picture is byte v (8 bits), or v, 255 - v and a scramble
// of v in blue, green and red (24 bits).
Bytes indexes(int rows = kSide) {
    Bytes pixels;
    for (int v = 0; v < kSide * rows; ++v)
        pixels.u8(std::uint8_t(v));
    return pixels;
}

Bytes triples() {
    Bytes pixels;
    for (int v = 0; v < kSide * kSide; ++v)
        pixels.u8(same(v)).u8(reversed(v)).u8(scrambled(v));
    return pixels;
}

// Each row one absolute run of 16 indexes and an end of line; end of bitmap.
Bytes rle8_indexes() {
    Bytes stream;
    for (int y = 0; y < kSide; ++y) {
        stream.u8(0).u8(kSide);  // absolute run of 16
        for (int x = 0; x < kSide; ++x)
            stream.u8(std::uint8_t(y * kSide + x));
        stream.u8(0).u8(0);  // end of line
    }
    return stream.u8(0).u8(1);  // end of bitmap
}

Bytes rgb555() {
    Bytes pixels;
    for (int v = 0; v < kSide * kSide; ++v)
        pixels.u16(std::uint16_t((v * 131) & 0x7FFF));  // every 5-bit level in each channel
    return pixels;
}

struct RoundTrip {
    const char *name;
    Bytes file;
    int writtenBits;  // the file Write makes: 8 for gray, 24 otherwise
};

std::vector<RoundTrip> round_trips() {
    const Bytes gray = table(4, same, same, same), colour = table(4, same, reversed, scrambled);
    const Bytes none;
    return {
        {"gray 8", bmp_file(info_header(kSide, 8), gray, indexes()), 8},
        {"gray 8 top-down", bmp_file(info_header(-kSide, 8), gray, indexes()), 8},
        {"gray 8 run-length", bmp_file(info_header(kSide, 8, BI_RLE8), gray, rle8_indexes()), 8},
        // Twice as high: the reader wants the file at least as long as the
        // widened header and table.
        {"gray 8 core header", bmp_file(core_header(8, 2 * kSide), table(3, same, same, same), indexes(2 * kSide)), 8},
        {"rgb 24", bmp_file(info_header(kSide, 24), none, triples()), 24},
        {"rgb 24 top-down", bmp_file(info_header(-kSide, 24), none, triples()), 24},
        {"rgb 24 core header", bmp_file(core_header(24, kSide), none, triples()), 24},
        {"colour palette 8", bmp_file(info_header(kSide, 8), colour, indexes()), 24},
        {"rgb 16 5-5-5", bmp_file(info_header(kSide, 16), none, rgb555()), 24},
    };
}

std::vector<float> all_samples(const CImage &image) {
    std::vector<float> samples;
    for (int plane = 0; plane < image.Planes; ++plane)
        for (int y = 0; y < image.Height; ++y) {
            const auto *row = reinterpret_cast<const float *>(image.Store->GetImageAdr(0, y, plane, 1, 0, NULL));
            samples.insert(samples.end(), row, row + image.Width);
        }
    return samples;
}

// At levels 0..255, (s - 0) / 255 * 255 gives every whole number s from 0
// to 255 back exactly, so no sample loses a step on the way out.
TEST_F(ExportTest, ReadWriteReadGivesTheSameSamples) {
    for (const RoundTrip &c : round_trips()) {
        SCOPED_TRACE(c.name);
        const std::string source = dir_.write("source.bmp", c.file), copy = dir_.file("copy.bmp");
        CStlImage first, second;
        ASSERT_EQ(CBmp::Read(&first, source.c_str(), NULL, NULL), kBmpOk);
        ASSERT_EQ(CBmp::Write(&first, copy.c_str(), 0, NULL, NULL), kBmpOk);
        ASSERT_EQ(CBmp::Read(&second, copy.c_str(), NULL, NULL), kBmpOk);
        EXPECT_EQ(second.OrgBitsPixel, c.writtenBits);
        EXPECT_EQ(second.Planes, first.Planes);
        EXPECT_EQ(second.Width, first.Width);
        EXPECT_EQ(second.Height, first.Height);
        EXPECT_EQ(all_samples(second), all_samples(first));
    }
}

}  // namespace
