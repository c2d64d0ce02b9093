// BMP export: whole files against the layout built from the block, each
// failure with its status and the file it leaves; Write's progress, its
// freeing of the DIB and its use of the option.
#include <gtest/gtest.h>

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

// "BM", the file's size, two zero words, the offset of the rows behind header and table; then the whole block.
Block file_of(const Block &dib) {
    return file_header(std::uint32_t(dib.size()) + 14, 14 + field(dib, 0) + (PaletteSize(dib.data()) & 0xFFFF)).append(dib);
}

struct ExportTest : testing_support::LeakCheckedTest {
    testing_support::TempDir dir_;
};

// A file of that name is replaced whole, or left as it was by a failure
// before it is created; a failed write leaves what was written. Another
// opener, even a reader sharing all, keeps the file from being replaced.
// The DIB is left unlocked and unchanged.
TEST_F(ExportTest, WriteDIBWritesTheHeaderThenTheWholeBlock) {
    const Block dib = Bytes().append(info_header(1, 1, 24, 4)).raw({1, 2, 3, 0}), before(3000, 0xEE);
    const Block table20 = Bytes().append(info_header(2, 1, 8, 4, 20)).fill(84, 0x33), core = Bytes().u32(12).fill(36, 1);
    const Block written = file_of(dib), header(written.begin(), written.begin() + 14), dib40(dib.begin(), dib.begin() + 40);
    const struct { const char *name; Block block; std::size_t surplus; Call fault; int nth, status; Block after; } cases[] = {
        {"24_bits", dib, 0, Call::GetDIBits, 0, kBmpOk, written},
        {"surplus", dib, 5, Call::GetDIBits, 0, kBmpOk, file_of(Bytes().append(dib).fill(5, 0))},
        {"20_colours", table20, 0, Call::GetDIBits, 0, kBmpOk, file_of(table20)},
        {"core_header", core, 0, Call::GetDIBits, 0, kBmpOk, file_of(core)},
        {"no_dib", {}, 0, Call::GetDIBits, 0, kBmpNoDib, before},
        {"39_bytes", Block(dib.begin(), dib.begin() + 39), 0, Call::GetDIBits, 0, kBmpNoDib, before},
        {"40_bytes", dib40, 0, Call::GetDIBits, 0, kBmpOk, file_of(dib40)},
        {"no_folder", dib, 0, Call::GetDIBits, 0, kBmpCannotCreate, {}},
        {"held", dib, 0, Call::GetDIBits, 0, kBmpCannotCreate, before},
        {"cannot_create", dib, 0, Call::CreateFileA, 1, kBmpCannotCreate, before},
        {"header_write_fails", dib, 0, Call::WriteFile, 1, kBmpWriteFailed, {}},
        {"block_write_fails", dib, 0, Call::WriteFile, 2, kBmpWriteFailed, header},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.nth != 0 && !testing_support::kWin32Seams)
            continue;
        const HGLOBAL block = c.block.empty() ? NULL : block_of(c.block, c.surplus);
        const std::string name = c.name, path = dir_.file(name == "no_folder" ? "none/out" : name);
        dir_.write(name, before);
        HANDLE reader = CreateFileA(name == "held" ? path.c_str() : "", GENERIC_READ, 7, NULL, OPEN_EXISTING, 0, NULL);
        fail_nth(c.fault, c.nth);
        EXPECT_EQ(Bmp::WriteDIB(path.c_str(), block), c.status);
        CloseHandle(reader), expect_released(blocksBefore_ + (block != NULL));
        EXPECT_EQ(read_file(path), c.after);
        EXPECT_EQ(take(block), Bytes().append(c.block).fill(block != NULL ? c.surplus : 0, 0).data());
    }
}

// Each notification with the global blocks alive when it arrived, which shows where Write frees the DIB.
std::vector<std::tuple<WPARAM, LPARAM, int>> notifications;
LRESULT CALLBACK counting(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IMAGEIO_PROGRESS) notifications.emplace_back(wParam, lParam, win32_standin::LiveGlobalBlocks());
    return 0;
}

// The file is the image library's DIB for the option behind its header; the
// whole progress sequence runs whatever WriteDIB reports, the DIB freed
// before the close. An image with no store renders no DIB: 6, and no file.
TEST_F(ExportTest, WriteStoresTheDibOfTheOptionWithTheWholeProgress) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    CStlImage gray, empty;
    ASSERT_NE(gray.Create(3, 2, 1), 0);
    gray.SetPixelGrayRaw(1, 0, 15.0f, 0);
    gray.LevelMin[0] = 10, gray.LevelMax[0] = 20, gray.LevelRange[0] = 10;  // options 0 and 1 differ
    const struct { const char *name; int option; CStlImage *image; const char *file; int nth, status; } cases[] = {
        {"levels", 0, &gray, "out0", 0, kBmpOk}, {"raw", 1, &gray, "out1", 0, kBmpOk},
        {"cannot_create", 1, &gray, "none/out", 0, kBmpCannotCreate}, {"write_fails", 1, &gray, "out2", 2, kBmpWriteFailed},
        {"no_dib", 0, &empty, "out3", 0, kBmpNoMemory},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Block file = file_of(take(gray.GetDib(c.option)));
        testing_support::ProgressWindow window;
        SetWindowLongPtrA(window.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&counting));
        notifications.clear();
        const int live = win32_standin::LiveGlobalBlocks();
        fail_nth(Call::WriteFile, c.nth);
        EXPECT_EQ(CBmp::Write(c.image, dir_.file(c.file).c_str(), c.option, window.handle(), c.name), c.status);
        decltype(notifications) sequence = {{0, LPARAM(c.name), live}, {1, 10, live}, {1, 50, live + 1}, {1, 100, live + 1}};
        sequence.resize(c.image == &gray ? 4 : 2);
        sequence.emplace_back(2, 0, live);
        EXPECT_EQ(notifications, sequence);
        expect_released(live);
        EXPECT_EQ(read_file(dir_.file(c.file)), Block(file.begin(), file.begin() + (c.nth ? 14 : c.status ? 0 : file.size())));
    }
}

}  // namespace
