// BMP export: whole files compared byte for byte with the layout built
// from the block, every failure with its status and the file it leaves,
// and Write's progress, ownership of the DIB and use of the option.
#include <gtest/gtest.h>

#include <tuple>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "image/progress.h"
#include "image/stl_image.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

using namespace dib_fixtures;
using testing_support::ProgressWindow;
using testing_support::read_file;
using testing_support::TempDir;
using win32_standin::Call;
using namespace dirira;

namespace {

struct Writer : CBmp {
    using CBmp::WriteDIB;
};

// The file the layout asks for: "BM", the file's size, two zero words, the
// offset of the rows behind header and colour table; then every byte of the block.
Block file_of(const Block &dib) {
    const std::uint32_t offBits = 14 + u32_at(dib, 0) + (PaletteSize(dib.data()) & 0xFFFF);
    return file_header(std::uint32_t(dib.size()) + 14, offBits).append(dib);
}

class ExportTest : public testing_support::LeakCheckedTest {
protected:
    TempDir dir_;
};

// A longer file of the same name is replaced whole; the DIB is left as it was.
TEST_F(ExportTest, RandomBlocksAreWrittenBehindTheirFileHeader) {
    Random r(1303);
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        Block dib = r.bytes(std::size_t(r.pick({40, 41, 64, 1100})) + r.engine() % 64);
        BITMAPINFOHEADER h;
        std::memcpy(&h, dib.data(), sizeof h);
        h.biSize = DWORD(r.pick({40, 40, 12, 108}));
        h.biBitCount = WORD(r.pick({1, 4, 8, 16, 24, 32}));
        h.biCompression = DWORD(r.pick({BI_RGB, BI_BITFIELDS}));
        h.biClrUsed = DWORD(r.pick({0, 0, 1, 20, 0x10005}));
        std::memcpy(dib.data(), &h, sizeof h);
        const HGLOBAL block = block_of(dib, r.engine() % 3);
        const Block whole = bytes_of(block);
        const std::string name = std::to_string(i), path = i % 25 != 0 ? dir_.file(name) : dir_.write(name, Block(3000, 0xEE));
        EXPECT_EQ(Writer::WriteDIB(path.c_str(), block), kBmpOk);
        EXPECT_EQ(read_file(path), file_of(whole));
        EXPECT_EQ(take(block), whole);
    }
}

// Failures before the file is created leave a file of that name as it
// was; a failed write leaves what was written. The DIB stays unlocked.
TEST_F(ExportTest, FailuresGiveTheirStatusAndTheFileTheyLeave) {
    const Block dib = Bytes().append(info_header(1, 1, 24, 4)).raw({1, 2, 3, 0});
    const Block before = {1, 2, 3}, written = file_of(dib);
    const struct { const char *name; std::size_t size; bool folder; Call fault; int nth, status; Block after; } cases[] = {
        {"no_dib", 0, true, Call::GetDIBits, 0, kBmpNoDib, before},
        {"8_bytes", 8, true, Call::GetDIBits, 0, kBmpNoDib, before},
        {"39_bytes", 39, true, Call::GetDIBits, 0, kBmpNoDib, before},
        {"40_bytes", 40, true, Call::GetDIBits, 0, kBmpOk, file_of(Block(dib.begin(), dib.begin() + 40))},
        {"no_folder", 44, false, Call::GetDIBits, 0, kBmpCannotCreate, {}},
        {"cannot_create", 44, true, Call::CreateFileA, 1, kBmpCannotCreate, before},
        {"header_write_fails", 44, true, Call::WriteFile, 1, kBmpWriteFailed, {}},
        {"block_write_fails", 44, true, Call::WriteFile, 2, kBmpWriteFailed, Block(written.begin(), written.begin() + 14)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.nth != 0 && !testing_support::kWin32Seams)
            continue;
        const HGLOBAL block = c.size != 0 ? block_of(Block(dib.begin(), dib.begin() + c.size)) : NULL;
        const std::string path = c.folder ? dir_.write(c.name, before) : dir_.file(std::string("none/") + c.name);
        fail_nth(c.fault, c.nth);
        EXPECT_EQ(Writer::WriteDIB(path.c_str(), block), c.status);
        expect_released(blocksBefore_ + (block != NULL));
        EXPECT_EQ(read_file(path), c.after);
        GlobalFree(block);
    }
    // While another opener holds the file, even for reading, it cannot be replaced.
    HGLOBAL block = block_of(dib);
    const std::string held = dir_.write("held.bmp", before);
    HANDLE reader = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(Writer::WriteDIB(held.c_str(), block), kBmpCannotCreate);
    CloseHandle(reader);
    EXPECT_EQ(read_file(held), before);
    GlobalFree(block);
}

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

// The file is the image library's DIB for the option, behind its header;
// the whole progress sequence runs whatever WriteDIB reports, the DIB alive
// from 50 to 100 and freed before the close. Without a DIB (an image with
// no store renders none): 6 after three notifications, and no file.
TEST_F(ExportTest, WriteStoresTheDibOfTheOptionWithTheWholeProgress) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    const char caption[] = "Saving";
    const LPARAM captionParam = reinterpret_cast<LPARAM>(caption);
    CStlImage gray, empty;
    ASSERT_NE(gray.Create(3, 2, 1), 0);
    gray.SetPixelGrayRaw(1, 0, 15.0f, 0);
    gray.LevelMin[0] = 10, gray.LevelMax[0] = 20, gray.LevelRange[0] = 10;  // options 0 and 1 differ
    const struct { const char *name; int option; bool dib; const char *file; int nth, status; } cases[] = {
        {"display_levels", 0, true, "out.bmp", 0, kBmpOk},   {"raw", 1, true, "out.bmp", 0, kBmpOk},
        {"cannot_create", 1, true, "none/out.bmp", 0, kBmpCannotCreate},
        {"write_fails", 1, true, "out.bmp", 2, kBmpWriteFailed}, {"no_dib", 0, false, "out.bmp", 0, kBmpNoMemory},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_.file(c.file);
        std::remove(path.c_str());
        const HDIB rendered = gray.GetDib(c.option);
        const Block file = file_of(take(rendered));
        CountingWindow window;
        const int live = win32_standin::LiveGlobalBlocks();
        fail_nth(Call::WriteFile, c.nth);
        EXPECT_EQ(CBmp::Write(c.dib ? &gray : &empty, path.c_str(), c.option, window.handle(), caption), c.status);
        const std::vector<Notification> withDib = {
            {0, captionParam, live}, {1, 10, live}, {1, 50, live + 1}, {1, 100, live + 1}, {2, 0, live}};
        const std::vector<Notification> withoutDib = {{0, captionParam, live}, {1, 10, live}, {2, 0, live}};
        EXPECT_EQ(window.seen, c.dib ? withDib : withoutDib);
        expect_released(live);
        const Block expected = c.status == kBmpOk ? file : c.nth == 2 ? Block(file.begin(), file.begin() + 14) : Block{};
        EXPECT_EQ(read_file(path), expected);
    }
}

}  // namespace
