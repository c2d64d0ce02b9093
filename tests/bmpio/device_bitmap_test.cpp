// The device-bitmap conversions against the steps worked from the graphics
// calls' contracts: whole blocks, allocations, palette calls, pixels.
#include <gtest/gtest.h>

#include <algorithm>

#include "bmpio/dib_fixtures.h"
#include "platform/win32/gdi32/bitmaps.h"

using namespace dib_fixtures;
using win32_standin::Call;

// In place of the stand-in's exports: each palette call is recorded (palette and background flag; NULL: realised).
std::vector<std::pair<HPALETTE, BOOL>> paletteCalls;
#if !defined(_WIN32)
#include <dlfcn.h>
extern "C" HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL background) {
    paletteCalls.emplace_back(palette, background);
    return reinterpret_cast<HPALETTE (*)(HDC, HPALETTE, BOOL)>(dlsym(RTLD_NEXT, "SelectPalette"))(dc, palette, background);
}
extern "C" UINT WINAPI RealizePalette(HDC dc) {
    paletteCalls.emplace_back(HPALETTE{}, FALSE);
    return reinterpret_cast<UINT (*)(HDC)>(dlsym(RTLD_NEXT, "RealizePalette"))(dc);
}
#endif

namespace {

// The block's two sizes and its header, table and rows; nothing when the capture gives NULL.
std::tuple<SIZE_T, SIZE_T, Block> reference_capture(HBITMAP bitmap, DWORD compression, WORD bitCount, bool sizeLeftZero) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    bitCount = bitCount != 0 ? bitCount : WORD(bm.bmPlanes * bm.bmBitsPixel);
    const BITMAPINFOHEADER working = {40, bm.bmWidth, bm.bmHeight, 1, bitCount, compression, 0, 0, 0, 0, 0};
    Block block(8192, 0);
    std::memcpy(block.data(), &working, 40);
    const HDC screen = GetDC(NULL);
    win32_standin::LeaveSizeImageZeroNth(sizeLeftZero);
    GetDIBits(screen, bitmap, 0, WORD(bm.bmHeight), NULL, reinterpret_cast<BITMAPINFO *>(block.data()), 0);
    const auto h = field<BITMAPINFOHEADER>(block, 0);
    const DWORD rows = ((DWORD{bitCount} * bm.bmWidth + 31) >> 5) * bm.bmHeight * 4, offset = h.biSize + (PaletteSize(&h) & 0xFFFF);
    const DWORD second = offset + (h.biSizeImage != 0 ? h.biSizeImage : compression != BI_RGB ? rows * 3 / 2 : rows);
    const int lines = GetDIBits(screen, bitmap, 0, WORD(h.biHeight), block.data() + offset, reinterpret_cast<BITMAPINFO *>(block.data()), 0);
    ReleaseDC(NULL, screen);
    block.resize(lines != 0 ? std::min(second, offset + rows) : 0);
    return {40 + (PaletteSize(&working) & 0xFFFFu), second, block};
}

// Size, depth and pixels of a bitmap, which is deleted.
std::tuple<LONG, LONG, WORD, Block> picture_of(HBITMAP bitmap) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    const Block rows = gdi_test::RowsOf(bitmap, bm.bmWidth, bm.bmHeight, 24);
    DeleteObject(bitmap);
    return {bm.bmWidth, bm.bmHeight, bm.bmBitsPixel, rows};
}

struct DeviceBitmapTest : testing::Test {
    void SetUp() override { SKIP_WITHOUT_WIN32_SEAMS("resource accounting and the stand-in's exports"); }
    void TearDown() override {
        DeleteObject(palette_), expect_released(0);
        EXPECT_EQ(testing_support::kWin32Seams ? win32_standin::HeldDCs() + win32_standin::SelectedPalettes() : 0, 0);
    }
    LOGPALETTE entries_ = {0x300, 1, {{0x12, 0x34, 0x56, 0}}};
    HPALETTE palette_ = CreatePalette(&entries_);
};

// Random bitmaps at every depth, through our palette or the default one,
// compressed or not, the header query completing the size or leaving it 0;
// then the refusals, each giving NULL before the screen is taken, and a
// failed first query, which the estimate meets. The fault sweep fails the
// other calls.
TEST_F(DeviceBitmapTest, CaptureIsTheReferenceCapture) {
    Random r{std::mt19937{4242}};
    for (int i = 0; i < 120; ++i) {
        const auto width = LONG(1 + r.engine() % 40), height = LONG(1 + r.engine() % 4);
        const auto bitCount = WORD(r.pick({0, 1, 4, 8, 16, 24, 32}));
        const DWORD compression = r.pick({0, 1}) ? BI_RGB : bitCount == 8 ? BI_RLE8 : bitCount == 4 ? BI_RLE4 : BI_BITFIELDS;
        const bool sizeLeftZero = r.pick({0, 1});
        const HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), given = r.pick({0, 1}) ? palette_ : NULL;
        SCOPED_TRACE(testing::Message() << width << " x " << height << " at " << bitCount << ", " << compression);
        const HBITMAP bitmap = gdi_test::ScreenBitmap(width, height, r.bytes(std::size_t((width * 3 + 3) / 4 * 4 * height)));
        const auto [first, second, want] = reference_capture(bitmap, compression, bitCount, sizeLeftZero);
        paletteCalls.clear(), win32_standin::LeaveSizeImageZeroNth(sizeLeftZero);
        const Block block = take(Bmp::DibFromBitmap(bitmap, compression, bitCount, given));
        // Selected and realised, then the screen's own palette selected back.
        EXPECT_EQ(paletteCalls, decltype(paletteCalls)({{given ? given : stock, FALSE}, {NULL, FALSE}, {stock, FALSE}}));
        const auto alloc = win32_standin::LastGlobalAlloc(), resize = win32_standin::LastGlobalReAlloc();
        EXPECT_EQ(std::make_tuple(alloc.flags, alloc.bytes, resize.flags, resize.bytes),
                  std::make_tuple(UINT{GMEM_MOVEABLE | GMEM_ZEROINIT}, first, 0u, second));
        EXPECT_EQ(block.size(), want.empty() ? 0 : second);
        EXPECT_EQ(Block(block.begin(), block.begin() + std::ptrdiff_t(std::min(block.size(), want.size()))), want);
        DeleteObject(bitmap);
    }
    const HBITMAP bitmap = gdi_test::ScreenBitmap(3, 2, Block(24, 0x66)), tall = CreateBitmap(1, 65536, 1, 32, NULL);
    const Block captured = std::get<2>(reference_capture(bitmap, BI_RGB, 24, false));
    const struct { const char *name; HBITMAP bitmap; Call fault; int nth; bool screen, captured; } cases[] = {
        {"null", NULL, Call::GlobalAlloc, 0, false, false}, {"palette", HBITMAP(palette_), Call::GlobalAlloc, 0, false, false},
        {"65536_lines", tall, Call::GlobalAlloc, 0, false, false}, {"first_query", bitmap, Call::GetDIBits, 1, true, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        paletteCalls.clear(), fail_nth(c.fault, c.nth);
        EXPECT_EQ(take(Bmp::DibFromBitmap(c.bitmap, BI_RGB, 24, palette_)), c.captured ? captured : Block{});
        EXPECT_EQ(paletteCalls.size(), c.screen ? 3u : 0u);
        expect_released(0);
    }
    DeleteObject(bitmap), DeleteObject(tall);
}

// What the graphics call reads of a block: header, colour table and rows,
// whole padded rows for the uncompressed and bit-field layouts (top-down
// rows counted as many), biSizeImage for any other compression.
std::size_t needed(const BITMAPINFOHEADER &h) {
    const bool rows = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    return h.biSize + (PaletteSize(&h) & 0xFFFFu) +
           (rows ? (h.biBitCount * std::size_t(std::max(0L, long(h.biWidth))) + 31) / 32 * 4 * std::size_t(std::abs(h.biHeight)) : h.biSizeImage);
}

// Rows cut short, as every core-header file and every truncated file give
// them, go to the graphics call zero-padded in a copy of exactly header,
// table and rows; a block that does not hold its header and table is refused.
TEST_F(DeviceBitmapTest, BitmapFromDibPadsShortRowsAndRefusesShortHeaders) {
    const struct { const char *name; LONG width, height; WORD bitCount; DWORD compression, sizeImage; int shortBy, failingAlloc; } cases[] = {
        {"null", 32, 2, 1, BI_RGB, 0, -1, 0},         {"whole_32", 32, 2, 1, BI_RGB, 0, 0, 0},
        {"whole_33", 33, 2, 1, BI_RGB, 0, 0, 0},      {"one_byte_short", 32, 2, 1, BI_RGB, 0, 1, 0},
        {"no_rows_33", 33, 2, 1, BI_RGB, 0, 16, 0},   {"padding_fails", 33, 2, 1, BI_RGB, 0, 1, 1},
        {"table_cut", 32, 2, 1, BI_RGB, 0, 9, 0},     {"39_bytes", 32, 2, 1, BI_RGB, 0, 17, 0},
        {"top_down", 5, -3, 24, BI_RGB, 0, 7, 0},     {"rle8_by_size", 4, 2, 8, BI_RLE8, 10, 4, 0},
        {"bit_fields", 3, 2, 16, BI_BITFIELDS, 0, 6, 0}, {"compression_9", 2, 2, 24, 9, 5, 0, 0},
        {"no_width", 0, 2, 24, BI_RGB, 0, 0, 0},          {"header_only", 1, 1, 24, BI_RGB, 0, 4, 0},
    };
    const HDC screen = GetDC(NULL);
    Random r{std::mt19937{11}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Block padded = info_header(c.width, c.height, c.bitCount, c.sizeImage, 0, 40, c.compression);
        const std::size_t table = 40 + (PaletteSize(padded.data()) & 0xFFFFu), cut = needed(field<BITMAPINFOHEADER>(padded, 0)) - std::max(c.shortBy, 0);
        padded = Bytes().append(padded).append(r.bytes(needed(field<BITMAPINFOHEADER>(padded, 0)) - 40)).data();
        const Block bytes(padded.begin(), padded.begin() + std::ptrdiff_t(cut));
        std::fill(padded.begin() + std::ptrdiff_t(cut), padded.end(), 0);
        const HGLOBAL block = c.shortBy >= 0 ? block_of(bytes) : NULL;
        const bool refused = block == NULL || cut < table, copied = !refused && c.shortBy > 0;
        const SIZE_T lastAlloc = win32_standin::LastGlobalAlloc().bytes;  // a copy shows as a later one
        fail_nth(Call::GlobalAlloc, c.failingAlloc);
        const HBITMAP made = Bmp::BitmapFromDib(screen, block);
        EXPECT_EQ(win32_standin::LastGlobalAlloc().bytes, copied ? padded.size() : lastAlloc);
        expect_released(block != NULL);
        EXPECT_EQ(take(block), block != NULL ? bytes : Block{});
        const auto *info = reinterpret_cast<const BITMAPINFO *>(padded.data());
        EXPECT_EQ(picture_of(made), picture_of(refused || c.failingAlloc ? NULL : CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, &padded[table], info, 0)));
    }
    ReleaseDC(NULL, screen);
}

}  // namespace
