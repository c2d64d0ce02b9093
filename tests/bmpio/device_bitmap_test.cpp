// CBmp::DibFromBitmap and CBmp::BitmapFromDib against the conversion
// worked step by step from the graphics calls' contracts: whole blocks,
// both allocation requests, the screen-DC and palette calls in order, the
// bitmaps made from DIBs compared pixel for pixel, and NULL with nothing
// held on every failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "platform/win32/gdi32/bitmaps.h"
#include "support/temp_dir.h"

using namespace dib_fixtures;
using gdi_test::RowsOf;
using gdi_test::ScreenBitmap;
using win32_standin::Call;

// The screen-DC and palette calls of the code under test: the program's
// own definitions take the place of the stand-in's exports, record the
// call and pass it on.
using GdiCall = std::tuple<char, HDC, HPALETTE, BOOL>;
std::vector<GdiCall> gdiCalls;
#if !defined(_WIN32)
#include <dlfcn.h>
template <typename F>
F stand_in(const char *name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }
extern "C" HDC WINAPI GetDC(HWND window) {
    const HDC dc = stand_in<HDC (*)(HWND)>("GetDC")(window);
    gdiCalls.emplace_back('G', dc, HPALETTE{}, window != NULL);
    return dc;
}
extern "C" int WINAPI ReleaseDC(HWND window, HDC dc) {
    gdiCalls.emplace_back('D', dc, HPALETTE{}, window != NULL);
    return stand_in<int (*)(HWND, HDC)>("ReleaseDC")(window, dc);
}
extern "C" HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL background) {
    gdiCalls.emplace_back('S', dc, palette, background);
    return stand_in<HPALETTE (*)(HDC, HPALETTE, BOOL)>("SelectPalette")(dc, palette, background);
}
extern "C" UINT WINAPI RealizePalette(HDC dc) {
    gdiCalls.emplace_back('R', dc, HPALETTE{}, FALSE);
    return stand_in<UINT (*)(HDC)>("RealizePalette")(dc);
}
#endif

namespace {

struct Converter : CBmp {
    using CBmp::BitmapFromDib;
    using CBmp::DibFromBitmap;
    using CBmp::ReadDIB;
};

const HPALETTE kStock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));

// The screen DC taken, `palette` selected and realised, the previous one back, the DC released.
std::vector<GdiCall> palette_calls(HDC dc, HPALETTE palette) {
    return {{'G', dc, NULL, 0}, {'S', dc, palette, 0}, {'R', dc, NULL, 0}, {'S', dc, kStock, 0}, {'D', dc, NULL, 0}};
}

struct Capture {
    SIZE_T first, second;  // the two sizes of the block
    Block block;           // header, table and the rows written; empty when the capture gives NULL
};

Capture reference_capture(HBITMAP bitmap, DWORD compression, WORD bitCount, bool sizeLeftZero) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    if (bitCount == 0)
        bitCount = WORD(bm.bmPlanes * bm.bmBitsPixel);
    const BITMAPINFOHEADER working = {40, bm.bmWidth, bm.bmHeight, 1, bitCount, compression, 0, 0, 0, 0, 0};
    Capture c{40 + (PaletteSize(&working) & 0xFFFFu), 0, Block(40 + 1024, 0)};
    std::memcpy(c.block.data(), &working, 40);
    const HDC screen = GetDC(NULL);
    win32_standin::LeaveSizeImageZeroNth(sizeLeftZero ? 1 : 0);
    GetDIBits(screen, bitmap, 0, WORD(bm.bmHeight), NULL, reinterpret_cast<BITMAPINFO *>(c.block.data()), 0);
    BITMAPINFOHEADER h;
    std::memcpy(&h, c.block.data(), 40);
    DWORD image = ((DWORD{bitCount} * bm.bmWidth + 31) >> 5) * bm.bmHeight * 4;  // rows padded to 4 bytes
    const DWORD rows = image;
    image = h.biSizeImage != 0 ? h.biSizeImage : compression != BI_RGB ? image * 3 / 2 : image;
    const DWORD offset = h.biSize + (PaletteSize(&h) & 0xFFFF);
    c.second = offset + image;
    c.block.resize(std::max<std::size_t>(c.block.size(), c.second));
    const int lines = GetDIBits(screen, bitmap, 0, WORD(h.biHeight), c.block.data() + offset,
                                reinterpret_cast<BITMAPINFO *>(c.block.data()), 0);
    ReleaseDC(NULL, screen);
    c.block.resize(lines != 0 ? std::min<std::size_t>(c.second, offset + rows) : 0);
    return c;
}

// A bitmap from the DIB's rows, zero-padded where the block ends before them.
HBITMAP reference_bitmap(Block dib) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), 40);
    const DWORD offset = h.biSize + (PaletteSize(&h) & 0xFFFF);
    dib.resize(std::max<std::size_t>(dib.size(), offset + ((h.biBitCount * h.biWidth + 31) / 32) * 4 * std::abs(h.biHeight)));
    const HDC screen = GetDC(NULL);
    const HBITMAP bitmap = CreateDIBitmap(screen, &h, CBM_INIT, dib.data() + offset,
                                          reinterpret_cast<BITMAPINFO *>(dib.data()), DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    return bitmap;
}

std::tuple<LONG, LONG, WORD, std::vector<BYTE>> picture_of(HBITMAP bitmap) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    return {bm.bmWidth, bm.bmHeight, bm.bmBitsPixel, RowsOf(bitmap, bm.bmWidth, bm.bmHeight, 24)};
}

class DeviceBitmapTest : public testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_WIN32_SEAMS("resource accounting and the stand-in's exports"); }
    void TearDown() override {
        DeleteObject(palette_);
        if (!testing_support::kWin32Seams)
            return;
        expect_released(0);
        EXPECT_EQ(win32_standin::HeldDCs(), 0);
        EXPECT_EQ(win32_standin::SelectedPalettes(), 0);
        EXPECT_EQ(win32_standin::LiveGdiObjects(), 0);
    }
    // Every test passes its own palette, so that one left selected shows.
    HPALETTE palette_ = [] {
        LOGPALETTE palette = {0x300, 1, {{0x12, 0x34, 0x56, 0}}};
        return CreatePalette(&palette);
    }();
};

// Random bitmaps at every depth, with and without a palette, compressed or
// not, with the header query completing the size or leaving it 0; each DIB
// fed back into a bitmap.
TEST_F(DeviceBitmapTest, CaptureIsTheReferenceCapture) {
    Random r(4242);
    for (int i = 0; i < 120; ++i) {
        const auto width = LONG(1 + r.engine() % 40), height = LONG(1 + r.engine() % 4);
        const auto bitCount = WORD(r.pick({0, 1, 4, 8, 16, 24, 32}));
        const DWORD compression = r.pick({0, 1}) != 0 ? BI_RGB
                                  : bitCount == 8 ? BI_RLE8 : bitCount == 4 ? BI_RLE4 : BI_BITFIELDS;
        const bool sizeLeftZero = r.pick({0, 1}) != 0, ownPalette = r.pick({0, 1}) != 0;
        SCOPED_TRACE(testing::Message() << width << " x " << height << " at " << bitCount << ", " << compression);
        const HBITMAP bitmap = ScreenBitmap(width, height, r.bytes(std::size_t((width * 3 + 3) / 4 * 4 * height)));
        const Capture want = reference_capture(bitmap, compression, bitCount, sizeLeftZero);
        gdiCalls.clear();
        win32_standin::LeaveSizeImageZeroNth(sizeLeftZero ? 1 : 0);
        const HDIB dib = Converter::DibFromBitmap(bitmap, compression, bitCount, ownPalette ? palette_ : NULL);
        ASSERT_FALSE(gdiCalls.empty());
        EXPECT_EQ(gdiCalls, palette_calls(std::get<1>(gdiCalls[0]), ownPalette ? palette_ : kStock));
        const auto alloc = win32_standin::LastGlobalAlloc(), resize = win32_standin::LastGlobalReAlloc();
        EXPECT_EQ(std::make_tuple(alloc.flags, alloc.bytes, resize.flags, resize.bytes),
                  std::make_tuple(UINT{GMEM_MOVEABLE | GMEM_ZEROINIT}, want.first, 0u, want.second));
        ASSERT_EQ(dib != NULL, !want.block.empty());
        if (dib != NULL) {
            const Block block = bytes_of(dib);
            EXPECT_EQ(block.size(), want.second);
            EXPECT_EQ(Block(block.begin(), block.begin() + std::ptrdiff_t(want.block.size())), want.block);
            const HDC screen = GetDC(NULL);
            const HBITMAP copy = Converter::BitmapFromDib(screen, dib), same = reference_bitmap(block);
            ReleaseDC(NULL, screen);
            EXPECT_EQ(picture_of(copy), picture_of(same));
            EXPECT_EQ(bytes_of(dib), block) << "the DIB is read only";
            DeleteObject(copy), DeleteObject(same), GlobalFree(dib);
        }
        DeleteObject(bitmap);
        expect_released(0);
    }
}

// A failed first query is met by the estimate: the capture goes on.
TEST_F(DeviceBitmapTest, CaptureFailuresGiveNullWithNothingHeld) {
    const HBITMAP bitmap = ScreenBitmap(3, 2, Block(24, 0x66)), tall = CreateBitmap(1, 65536, 1, 32, NULL);
    const HBITMAP notABitmap = reinterpret_cast<HBITMAP>(palette_);
    const struct { const char *name; HBITMAP bitmap; Call fault; int nth; bool screen, captured; } cases[] = {
        {"null_bitmap", NULL, Call::GlobalAlloc, 0, false, false},
        {"not_a_bitmap", notABitmap, Call::GlobalAlloc, 0, false, false},
        {"65536_lines", tall, Call::GlobalAlloc, 0, false, false},
        {"allocation_fails", bitmap, Call::GlobalAlloc, 1, true, false},
        {"first_query_fails", bitmap, Call::GetDIBits, 1, true, true},
        {"resize_fails", bitmap, Call::GlobalReAlloc, 1, true, false},
        {"second_query_fails", bitmap, Call::GetDIBits, 2, true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        gdiCalls.clear();
        fail_nth(c.fault, c.nth);
        const HDIB dib = Converter::DibFromBitmap(c.bitmap, BI_RGB, 24, palette_);
        EXPECT_EQ(dib != NULL, c.captured);
        EXPECT_EQ(gdiCalls, c.screen ? palette_calls(std::get<1>(gdiCalls[0]), palette_) : std::vector<GdiCall>{});
        EXPECT_EQ(dib != NULL ? take(dib) : Block{}, c.captured ? reference_capture(bitmap, BI_RGB, 24, false).block : Block{});
        expect_released(0);
    }
    DeleteObject(bitmap), DeleteObject(tall);
}

// Rows cut short, as every core-header file and every truncated file
// gives them, are zero-padded in a copy; a block that does not hold its
// header and colour table is refused. The DIB is left as it was.
TEST_F(DeviceBitmapTest, BitmapFromDibPadsShortRowsAndRefusesShortHeaders) {
    testing_support::TempDir dir;
    HDIB core = NULL;  // 200 x 2, 8 bits, 256 triples: the block lacks 28 + 256 bytes of its rows
    const Block coreFile = Bytes().u32(12).u16(200).u16(2).u16(1).u16(8).append(Random(5).bytes(768 + 400));
    ASSERT_EQ(Converter::ReadDIB(dir.write("core.bmp", coreFile).c_str(), &core), 0);
    const Block whole = take(core), dib = Bytes().append(info_header(2, 2, 24, 16)).append(Random(6).bytes(16));
    const struct { const char *name; Block block; Call fault; int nth; bool made; } cases[] = {
        {"null", {}, Call::GlobalAlloc, 0, false},
        {"whole", dib, Call::GlobalAlloc, 0, true},
        {"core_header_file", whole, Call::GlobalAlloc, 0, true},
        {"one_byte_short", Block(dib.begin(), dib.end() - 1), Call::GlobalAlloc, 0, true},
        {"header_only", Block(dib.begin(), dib.begin() + 40), Call::GlobalAlloc, 0, true},
        {"padding_fails", Block(dib.begin(), dib.end() - 1), Call::GlobalAlloc, 1, false},
        {"table_cut", Block(whole.begin(), whole.begin() + 40 + 1023), Call::GlobalAlloc, 0, false},
        {"39_bytes", Block(dib.begin(), dib.begin() + 39), Call::GlobalAlloc, 0, false},
    };
    const HDC screen = GetDC(NULL);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const HGLOBAL block = c.block.empty() ? NULL : block_of(c.block);
        fail_nth(c.fault, c.nth);
        const HBITMAP made = Converter::BitmapFromDib(screen, block);
        expect_released(block != NULL);
        ASSERT_EQ(made != NULL, c.made);
        if (made != NULL) {
            const HBITMAP same = reference_bitmap(c.block);
            EXPECT_EQ(picture_of(made), picture_of(same));
            DeleteObject(made), DeleteObject(same);
        }
        EXPECT_EQ(block != NULL ? take(block) : Block{}, c.block);
    }
    ReleaseDC(NULL, screen);
}

}  // namespace
