// BMP export: whole files compared with the layout built from the block,
// each failure with its status and the file it leaves; Write's progress,
// its freeing of the DIB and its use of the option.
#include <gtest/gtest.h>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "image/progress.h"
#include "image/stl_image.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

using namespace dib_fixtures;
using testing_support::read_file;
using win32_standin::Call;
using namespace dirira;

namespace {

struct Writer : CBmp {
    using CBmp::WriteDIB;
};

// "BM", the file's size, two zero words, the offset of the rows behind header and table; then the whole block.
Block file_of(const Block &dib) {
    return file_header(std::uint32_t(dib.size()) + 14, 14 + field(dib, 0) + (PaletteSize(dib.data()) & 0xFFFF)).append(dib);
}

class ExportTest : public testing_support::LeakCheckedTest {
protected:
    testing_support::TempDir dir_;
};

// A file of that name is replaced whole, or left as it was by a failure
// before it is created; a failed write leaves what was written. The DIB is
// left unlocked and unchanged.
TEST_F(ExportTest, WriteDIBWritesTheHeaderThenTheWholeBlock) {
    const Block dib = Bytes().append(info_header(1, 1, 24, 4)).raw({1, 2, 3, 0}), before(3000, 0xEE);
    const Block table20 = Bytes().append(info_header(2, 1, 8, 4, 20)).fill(84, 0x33), core = Bytes().u32(12).fill(36, 0x01);
    const Block written = file_of(dib), headerOnly(written.begin(), written.begin() + 14);
    const struct { const char *name; Block block; std::size_t surplus; const char *file; Call fault; int nth, status; Block after; } cases[] = {
        {"24_bits", dib, 0, "out", Call::GetDIBits, 0, kBmpOk, written},
        {"surplus", dib, 5, "out", Call::GetDIBits, 0, kBmpOk, file_of(Bytes().append(dib).fill(5, 0))},
        {"20_colours", table20, 0, "out", Call::GetDIBits, 0, kBmpOk, file_of(table20)},
        {"core_header", core, 0, "out", Call::GetDIBits, 0, kBmpOk, file_of(core)},
        {"no_dib", {}, 0, "out", Call::GetDIBits, 0, kBmpNoDib, before},
        {"39_bytes", Block(dib.begin(), dib.begin() + 39), 0, "out", Call::GetDIBits, 0, kBmpNoDib, before},
        {"40_bytes", Block(dib.begin(), dib.begin() + 40), 0, "out", Call::GetDIBits, 0, kBmpOk, file_of(Block(dib.begin(), dib.begin() + 40))},
        {"no_folder", dib, 0, "none/out", Call::GetDIBits, 0, kBmpCannotCreate, {}},
        {"held_by_a_reader", dib, 0, "held", Call::GetDIBits, 0, kBmpCannotCreate, before},
        {"cannot_create", dib, 0, "out", Call::CreateFileA, 1, kBmpCannotCreate, before},
        {"header_write_fails", dib, 0, "out", Call::WriteFile, 1, kBmpWriteFailed, {}},
        {"block_write_fails", dib, 0, "out", Call::WriteFile, 2, kBmpWriteFailed, headerOnly},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.nth != 0 && !testing_support::kWin32Seams)
            continue;
        const HGLOBAL block = c.block.empty() ? NULL : block_of(c.block, c.surplus);
        dir_.write(c.file == std::string("none/out") ? "out" : c.file, before);
        const std::string path = dir_.file(c.file);
        HANDLE reader = CreateFileA(c.file == std::string("held") ? path.c_str() : "", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        fail_nth(c.fault, c.nth);
        EXPECT_EQ(Writer::WriteDIB(path.c_str(), block), c.status);
        CloseHandle(reader);
        expect_released(blocksBefore_ + (block != NULL));
        EXPECT_EQ(read_file(path), c.after);
        EXPECT_EQ(take(block), Bytes().append(c.block).fill(block != NULL ? c.surplus : 0, 0).data());
    }
}

// Each notification with the global blocks alive when it arrived, which shows where Write frees the DIB.
using Notification = std::tuple<WPARAM, LPARAM, int>;
std::vector<Notification> notifications;
LRESULT CALLBACK counting(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IMAGEIO_PROGRESS)
        notifications.emplace_back(wParam, lParam, win32_standin::LiveGlobalBlocks());
    return 0;
}

// The file is the image library's DIB for the option behind its header; the
// whole progress sequence runs whatever WriteDIB reports, the DIB freed
// before the close. An image with no store renders no DIB: 6, and no file.
TEST_F(ExportTest, WriteStoresTheDibOfTheOptionWithTheWholeProgress) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const char caption[] = "Saving";
    CStlImage gray, empty;
    ASSERT_NE(gray.Create(3, 2, 1), 0);
    gray.SetPixelGrayRaw(1, 0, 15.0f, 0);
    gray.LevelMin[0] = 10, gray.LevelMax[0] = 20, gray.LevelRange[0] = 10;  // options 0 and 1 differ
    const struct { const char *name; int option; bool dib; const char *file; int nth, status; } cases[] = {
        {"display_levels", 0, true, "out0", 0, kBmpOk}, {"raw", 1, true, "out1", 0, kBmpOk},
        {"cannot_create", 1, true, "none/out", 0, kBmpCannotCreate}, {"write_fails", 1, true, "out2", 2, kBmpWriteFailed},
        {"no_dib", 0, false, "out3", 0, kBmpNoMemory},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Block file = file_of(take(gray.GetDib(c.option)));
        testing_support::ProgressWindow window;
        SetWindowLongPtrA(window.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&counting));
        notifications.clear();
        const int live = win32_standin::LiveGlobalBlocks();
        fail_nth(Call::WriteFile, c.nth);
        EXPECT_EQ(CBmp::Write(c.dib ? &gray : &empty, dir_.file(c.file).c_str(), c.option, window.handle(), caption), c.status);
        const std::vector<Notification> withDib = {
            {0, LPARAM(caption), live}, {1, 10, live}, {1, 50, live + 1}, {1, 100, live + 1}, {2, 0, live}},
            withoutDib = {withDib[0], withDib[1], withDib[4]};
        EXPECT_EQ(notifications, c.dib ? withDib : withoutDib);
        expect_released(live);
        const Block after = c.status == kBmpOk ? file : c.nth == 2 ? Block(file.begin(), file.begin() + 14) : Block{};
        EXPECT_EQ(read_file(dir_.file(c.file)), after);
    }
}

}  // namespace
