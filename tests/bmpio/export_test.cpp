// BMP export: whole output files compared byte for byte with fixtures, the
// status codes, and the DIB and file left as the contract says; Write's
// progress and ownership of the DIB; round trips through Read and Write.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "image/progress.h"
#include "image/stl_image.h"
#include "image/vm_store.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using namespace dib_fixtures;
using testing_support::ProgressWindow;
using testing_support::read_file;
using testing_support::TempDir;
using File = std::vector<std::uint8_t>;
using namespace dirira;

namespace {

struct Writer : CBmp {
    using CBmp::ReadDIB;
    using CBmp::WriteDIB;
};

const File kDib24 = info_header(1, 2, 24, 8, 0).raw({1, 2, 3, 0, 4, 5, 6, 0});

class ExportTest : public testing_support::LeakCheckedTest {
protected:
    TempDir dir_;
};

// The file is the 14-byte header (bfSize counting the whole block, bfOffBits
// header and table), then the block from its first byte to its last as the
// memory manager reports it, surplus included. It reads back to the same
// table and rows (the reader fills a zero biClrUsed in the header).
TEST_F(ExportTest, FileIsTheHeaderThenTheWholeBlock) {
    const struct { const char *name; File dib; std::size_t surplus; std::uint32_t offBits; } cases[] = {
        {"1bit", info_header(3, 1, 1, 4, 0).fill(2 * 4, 0x11).raw({0xA0, 0, 0, 0}), 0, 62},
        {"4bit", info_header(3, 1, 4, 4, 0).fill(16 * 4, 0x22).raw({0x12, 0x30, 0, 0}), 0, 118},
        {"8bit", info_header(3, 1, 8, 4, 0).fill(256 * 4, 0x33).raw({1, 2, 3, 0}), 0, 1078},
        {"8bit_20_colours", info_header(2, 1, 8, 4, 20).fill(20 * 4, 0x44).raw({0, 19, 0, 0}), 0,
         14 + 40 + 20 * 4},
        {"24bit", kDib24, 0, 54},
        {"24bit_surplus", info_header(1, 1, 24, 4, 0).raw({7, 8, 9, 0}), 20, 54},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const HDIB dib = block_of(c.dib, c.surplus);
        const std::uint32_t blockSize = std::uint32_t(GlobalSize(dib));
        ASSERT_GE(blockSize, c.dib.size() + c.surplus);
        const auto expected = file_header(blockSize + 14, c.offBits).append(c.dib).fill(blockSize - c.dib.size(), 0);
        const std::string path = dir_.write(c.name, File(5000, 0xEE));  // a larger file is replaced whole
        EXPECT_EQ(Writer::WriteDIB(path.c_str(), dib), kBmpOk);
        EXPECT_EQ(read_file(path), expected.data());
        HDIB back = NULL;
        ASSERT_EQ(Writer::ReadDIB(path.c_str(), &back), kBmpOk);
        const Block reread = take(back);
        EXPECT_EQ(Block(reread.begin() + 40, reread.begin() + c.dib.size()), Block(c.dib.begin() + 40, c.dib.end()));
        GlobalFree(dib);
    }
}

// 10 without a DIB, and no file; 2 when the file cannot be created, where
// no folder holds it or another opener holds it unshared.
TEST_F(ExportTest, NoDibAndNoFileGiveTheirStatus) {
    EXPECT_EQ(Writer::WriteDIB(dir_.file("none.bmp").c_str(), NULL), kBmpNoDib);
    EXPECT_EQ(GetFileAttributesA(dir_.file("none.bmp").c_str()), INVALID_FILE_ATTRIBUTES);
    const HDIB dib = block_of(kDib24);
    EXPECT_EQ(Writer::WriteDIB(dir_.file("no-such-folder/out.bmp").c_str(), dib), kBmpCannotCreate);
    const std::string held = dir_.write("held.bmp", {1, 2, 3});
    HANDLE reader = CreateFileA(held.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Writer::WriteDIB(held.c_str(), dib), kBmpCannotCreate);
    CloseHandle(reader);
    EXPECT_EQ(read_file(held), (File{1, 2, 3})) << "nothing written";
    GlobalFree(dib);
}

// A failed write gives 5, closes the file, and leaves the DIB to its owner
// as it was: unlocked and lockable.
TEST_F(ExportTest, WriteFailureGivesFiveAndLeavesTheDibLockable) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const HDIB dib = block_of(kDib24);
    for (int nth : {1, 2, 0}) {  // 0: the real device that is always full
        SCOPED_TRACE(nth);
        win32_standin::FailNth(win32_standin::Call::WriteFile, nth);
        if (nth == 0 && GetFileAttributesA("/dev/full") == INVALID_FILE_ATTRIBUTES)
            continue;
        EXPECT_EQ(Writer::WriteDIB(nth != 0 ? dir_.file("fail.bmp").c_str() : "/dev/full", dib), kBmpWriteFailed);
        EXPECT_EQ(GlobalFlags(dib) & GMEM_LOCKCOUNT, 0u);
        EXPECT_NE(GlobalLock(dib), nullptr);
        GlobalUnlock(dib);
    }
    GlobalFree(dib);
}

// ---- CBmp::Write ----

const char kCaption[] = "Saving";
const LPARAM kCaptionParam = reinterpret_cast<LPARAM>(kCaption);

// A notification (code, value) with the global blocks alive when it
// arrived, which shows where Write frees the DIB.
using Notification = std::tuple<WPARAM, LPARAM, int>;

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
            self->seen.emplace_back(wParam, lParam, win32_standin::LiveGlobalBlocks());
        return 0;
    }
    ProgressWindow window_;
};

// The whole sequence whatever WriteDIB reports, the DIB alive from 50 to
// 100 and freed before the close; without a DIB (an image with no store
// renders none), 6 after three notifications, and no file.
TEST_F(ExportTest, WriteSendsTheWholeSequenceWhateverTheStatus) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    const struct { const char *name; bool dib; const char *file; int failingWrite, status; } cases[] = {
        {"written", true, "out.bmp", 0, kBmpOk},
        {"cannot_create", true, "no-such-folder/out.bmp", 0, kBmpCannotCreate},
        {"write_fails", true, "out.bmp", 2, kBmpWriteFailed},
        {"no_dib", false, "none.bmp", 0, kBmpNoMemory},
    };
    CStlImage gray, empty;
    ASSERT_NE(gray.Create(3, 2, 1), 0);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CountingWindow window;
        const int live = win32_standin::LiveGlobalBlocks();
        win32_standin::FailNth(win32_standin::Call::WriteFile, c.failingWrite);
        EXPECT_EQ(CBmp::Write(c.dib ? &gray : &empty, dir_.file(c.file).c_str(), 0, window.handle(), kCaption),
                  c.status);
        const std::vector<Notification> withDib = {
            {0, kCaptionParam, live}, {1, 10, live}, {1, 50, live + 1}, {1, 100, live + 1}, {2, 0, live}};
        const std::vector<Notification> withoutDib = {{0, kCaptionParam, live}, {1, 10, live}, {2, 0, live}};
        EXPECT_EQ(window.seen, c.dib ? withDib : withoutDib);
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), live);
    }
    EXPECT_EQ(GetFileAttributesA(dir_.file("none.bmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

// ---- Round trips: Read, Write at the default levels, Read again ----

constexpr int kSide = 16;  // 256 pixels: every byte value once

// A 16-pixel-wide picture behind a file header, the rows right after the table.
Bytes bmp_file(const Bytes &header, const Bytes &colours, const Bytes &pixels) {
    const std::uint32_t offBits = std::uint32_t(14 + header.size() + colours.size());
    return file_header(offBits + std::uint32_t(pixels.size()), offBits).append(header).append(colours).append(pixels);
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
// to 255 back exactly, so no sample loses a step on the way out. Gray
// pictures are written with 8 bits, all others with 24.
TEST_F(ExportTest, ReadWriteReadGivesTheSameSamples) {
    Bytes none, gray, gray3, colour, indexes, triples, rgb555;
    for (int i = 0; i < 256; ++i) {
        gray.u8(i).u8(i).u8(i).u8(0);
        gray3.u8(i).u8(i).u8(i);
        colour.u8(i).u8(255 - i).u8(i * 7 + 3).u8(0);
        indexes.u8(i);
        triples.u8(i).u8(255 - i).u8(i * 7 + 3);
        rgb555.u16((i * 131) & 0x7FFF);  // every 5-bit level in each channel
    }
    // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount; twice as high, as the
    // reader wants the file as long as the widened header and table.
    const Bytes core = Bytes().u32(12).u16(kSide).u16(2 * kSide).u16(1).u16(8);
    const struct { const char *name; Bytes file; int writtenBits; } cases[] = {
        {"gray_8", bmp_file(info_header(kSide, kSide, 8, 0), gray, indexes), 8},
        {"gray_8_top_down", bmp_file(info_header(kSide, -kSide, 8, 0), gray, indexes), 8},
        {"gray_8_core_header", bmp_file(core, gray3, Bytes().append(indexes).append(indexes)), 8},
        {"rgb_24_top_down", bmp_file(info_header(kSide, -kSide, 24, 0), none, triples), 24},
        {"colour_palette_8", bmp_file(info_header(kSide, kSide, 8, 0), colour, indexes), 24},
        {"rgb_16_555", bmp_file(info_header(kSide, kSide, 16, 0), none, rgb555), 24},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = dir_.write("source.bmp", c.file), copy = dir_.file("copy.bmp");
        CStlImage first, second;
        ASSERT_EQ(CBmp::Read(&first, source.c_str(), NULL, NULL), kBmpOk);
        ASSERT_EQ(CBmp::Write(&first, copy.c_str(), 0, NULL, NULL), kBmpOk);
        ASSERT_EQ(CBmp::Read(&second, copy.c_str(), NULL, NULL), kBmpOk);
        EXPECT_EQ(second.OrgBitsPixel, c.writtenBits);
        EXPECT_EQ(std::make_tuple(second.Planes, second.Width, second.Height),
                  std::make_tuple(first.Planes, first.Width, first.Height));
        EXPECT_EQ(all_samples(second), all_samples(first));
    }
}

}  // namespace
