// CBmp: the reader and the import on it against a reference of the file layout over seeded random files; the export's
// whole files and what each failure leaves, Write's progress; the device-bitmap conversions against the steps worked
// from the graphics calls' contracts (whole blocks, allocations, palette calls, pixels).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "image/stl_image.h"
#include "platform/win32/gdi32/bitmaps.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

using namespace dib_fixtures;
using namespace dirira;

// In place of the stand-in's exports: each palette call is recorded (palette and background flag; NULL: realised).
std::vector<std::pair<HPALETTE, BOOL>> paletteCalls;
#if !defined(_WIN32)
#include <dlfcn.h>
extern "C" HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL background) {
    paletteCalls.emplace_back(palette, background);
    return reinterpret_cast<HPALETTE (*)(HDC, HPALETTE, BOOL)>(dlsym(RTLD_NEXT, "SelectPalette"))(dc, palette,
                                                                                                  background);
}
extern "C" UINT WINAPI RealizePalette(HDC dc) {
    paletteCalls.emplace_back(HPALETTE{}, FALSE);
    return reinterpret_cast<UINT (*)(HDC)>(dlsym(RTLD_NEXT, "RealizePalette"))(dc);
}
#endif

namespace {

const char kCaption[] = "reading";

struct Expected { // the block on status 0, and the file's position after headers and colour table
    int status;
    Block block{};
    std::uint64_t position = 0;
};

// `count` bytes of the file from `at`; zeros past its end, as a short read leaves them.
Block bytes_at(const Block &file, std::uint64_t at, std::uint64_t count) {
    Block bytes(count, 0);
    const std::uint64_t from = std::min<std::uint64_t>(at, file.size());
    std::copy_n(file.begin() + std::ptrdiff_t(from), std::min(count, file.size() - from), bytes.begin());
    return bytes;
}

// DibInfo: signed arithmetic whose division truncates toward zero; no defaults for a core header.
BITMAPINFOHEADER dib_info(BITMAPINFOHEADER h) {
    const LONG words = static_cast<LONG>(DWORD{h.biBitCount} * DWORD(h.biWidth) + 31) / 32;
    h.biSizeImage = h.biSize != 12 && h.biSizeImage == 0 ? DWORD(words) * DWORD(h.biHeight) * 4 : h.biSizeImage;
    h.biClrUsed = h.biSize != 12 && h.biClrUsed == 0 ? DibNumColors(&h) : h.biClrUsed;
    return h;
}

Expected bitmap_info(const Block &file, std::uint64_t start) {
    const auto left = [&](std::uint64_t at) { return at < file.size() ? file.size() - at : 0; };
    const bool bm = left(start) >= 14 && file[start] == 'B' && file[start + 1] == 'M';
    const std::uint64_t at = start + (bm ? 14 : 0);
    const Block raw = bytes_at(file, at, 40);
    const auto size = field(raw, 0);
    if (left(start) < 14 || left(at) < 4 || ((size == 12 || size == 40) && left(at) < size))
        return {kBmpReadFailed};
    if (size != 12 && size != 40)
        return {kBmpBadHeaderSize};
    const WORD n = DibNumColors(raw.data());
    auto h = field<BITMAPINFOHEADER>(raw, 0);
    if (size == 12) // bcWidth, bcHeight, bcPlanes and bcBitCount are 16-bit fields from offset 4
        h = {40, field<WORD>(raw, 4), field<WORD>(raw, 6), field<WORD>(raw, 8), field<WORD>(raw, 10), 0, 0, 0, 0, n, n};
    if (h.biSizeImage == 0)
        h.biSizeImage = ((DWORD{h.biBitCount} * DWORD(h.biWidth) + 31) >> 5) * DWORD(h.biHeight) * 4;
    h.biClrUsed = h.biClrUsed != 0 ? h.biClrUsed : DibNumColors(&h);
    Expected e{kBmpOk, Block(40 + 4 * std::size_t{n}, 0)};
    std::memcpy(e.block.data(), &h, 40);
    const std::size_t entry = size == 12 ? 3 : 4; // RGBTRIPLE or RGBQUAD; a triple's fourth byte is 0
    const Block table = bytes_at(file, at + size, entry * n);
    for (std::size_t i = 0; i < n; ++i)
        std::copy_n(&table[entry * i], entry, &e.block[40 + 4 * i]);
    // Without an offset, where the table's read stopped: after it, or at the end of a file ending in it.
    const auto offBits = bm ? field(file, start + 10) : 0;
    e.position = offBits != 0 ? start + offBits : std::min<std::uint64_t>(at + size + entry * n, file.size());
    return e;
}

// The file's size wins over the header's; a file too short for header and table is a read failure.
Expected read_dib(const Block &file) {
    Expected e = bitmap_info(file, 0);
    const auto h = dib_info(field<BITMAPINFOHEADER>(e.status == kBmpOk ? e.block : Block(40), 0));
    const DWORD table = PaletteSize(&h) & 0xFFFF, length = h.biSize + table + h.biSizeImage;
    if (e.status != kBmpOk || file.size() < 40 + table)
        return {e.status != kBmpOk ? e.status : kBmpReadFailed};
    e.block.resize(file.size() != length ? file.size() : length);
    const Block rows = bytes_at(file, e.position, e.block.size() - 40 - table);
    std::copy(rows.begin(), rows.end(), e.block.begin() + 40 + table);
    return e;
}

// A file of the layout, every field drawn from values that separate the rules.
Block random_file(Random &r) {
    const auto size = std::uint32_t(r.pick({40, 40, 40, 12, 12, 108, 0}));
    const auto bits = WORD(r.pick({1, 4, 8, 8, 16, 24, 32, 0, 2}));
    const auto width = std::int32_t(r.pick({1, 2, 3, 5, 7, 9, 31, 33, 0, -3})),
               height = std::int32_t(r.pick({1, 3, 0, -2}));
    const std::uint32_t rows = ((bits * std::abs(width) + 31) / 32) * 4 * std::abs(height);
    Block header =
        size == 12 // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
            ? Bytes().u32(12).u16(WORD(std::abs(width))).u16(WORD(std::abs(height))).u16(1).u16(bits).fill(28, 0).data()
            : info_header(width, height, bits,
                          std::uint32_t(r.pick({BI_RGB, BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, 9})),
                          std::uint32_t(r.pick({0, 0, 0, 2, 20, 300, 0x10003})),
                          std::uint32_t(r.pick({0, 0, rows, rows + 7, 3})), 2835, size)
                  .data();
    header[size == 12 ? 8 : 12] = std::uint8_t(r.pick({1, 1, 3})); // planes
    const std::size_t table = DibNumColors(header.data()) * std::size_t{size == 12 ? 3u : 4u};
    header.resize(size == 12 ? 12 : 40);
    const auto offBits = std::int64_t(14 + header.size() + table) + r.pick({0, 3});
    Bytes file;
    if (r.pick({1, 1, 0}) != 0)
        file.append(file_header(std::uint32_t(r.engine()), std::uint32_t(r.pick({offBits, 0, 9999, 2}))));
    Block bytes = file.append(header)
                      .append(r.bytes(table + std::size_t(std::max<std::int64_t>(0, rows + r.pick({0, 3, 8, -1, -7})))))
                      .data();
    bytes.resize(r.pick({0, 0, 0, 0, 0, 1}) != 0 ? r.engine() % bytes.size()
                                                 : bytes.size()); // ends anywhere, in a header too
    return bytes;
}

struct BmpFile : testing_support::LeakCheckedTest {
    testing_support::TempDir dir_;
};

// ReadDibBitmapInfo starts where the file stands; the others at the start. The header-only reader takes a picture of
// positive width and height. Read puts the block through the image library (its progress after Read's), then records
// where it came from. DibInfo works on the header as the file holds it: any size field, sizes zero or negative.
TEST_F(BmpFile, RandomFilesReadAsTheReferenceReadsThem) {
    Random r{std::mt19937{20240611}};
    for (int i = 0; i < 240; ++i) {
        const std::size_t start = i % 3 == 0 ? 0 : r.engine() % 6;
        const Block file = Bytes().fill(start, 0x42).append(random_file(r)).data();
        SCOPED_TRACE(testing::Message() << "file " << i << ", read from " << start);
        const std::string path = dir_.write(std::to_string(i), file);
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        LONG high = 0;
        SetFilePointer(handle, LONG(start), NULL, FILE_BEGIN);
        const Expected info = bitmap_info(file, start);
        HDIB dib = reinterpret_cast<HDIB>(&r); // stays unless the call succeeds
        ASSERT_EQ(Bmp::ReadDibBitmapInfo(handle, &dib), info.status);
        const DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
        const bool ok = info.status == kBmpOk;
        EXPECT_EQ(std::make_tuple(ok ? std::uint64_t(high) << 32 | low : 0u, ok ? take(dib) : Block{},
                                  ok || dib == reinterpret_cast<HDIB>(&r)),
                  std::make_tuple(info.position, info.block, true));
        if (CloseHandle(handle), start != 0)
            continue;
        const Expected whole = read_dib(file);
        ASSERT_EQ(Bmp::ReadDIB(path.c_str(), &dib), whole.status);
        EXPECT_EQ(take(dib), whole.block);
        const auto h = field<BITMAPINFOHEADER>(ok ? info.block : Block(40), 0);
        const bool picture = ok && h.biWidth > 0 && h.biHeight > 0;
        int size[3] = {-7, -7, -7}, known = Bmp::GetOrgWidthAndHeight(path.c_str(), &size[0], &size[1], &size[2]);
        CStlImage image, attached;
        const int header = CBmp::ReadHeader(&image, path.c_str(), NULL, NULL);
        EXPECT_EQ(
            std::make_tuple(known, size[0], size[1], size[2], header, image.GetOrgPlanes()),
            picture ? std::make_tuple(1, int(h.biWidth), int(h.biHeight), int(h.biPlanes), int(kBmpOk), int(h.biPlanes))
                    : std::make_tuple(0, -7, -7, -7, int(kBmpHeaderUnusable), 0));
        image.SetOrgPlanes(-7), image.SetBlankUsed(1), image.SetBlank(-1), image.SetOwnLevel(1);
        testing_support::ProgressWindow window, library;
        const HGLOBAL copy = whole.status == kBmpOk ? dib_block(whole.block) : NULL;
        const bool readOnly = i % 7 == 0, read = copy != NULL && attached.AttachDIB(copy, library.handle(), kCaption);
        GlobalFree(copy);
        ASSERT_TRUE(!readOnly || chmod(path.c_str(), 0444) == 0); // permission bits decide, so as root too
        EXPECT_EQ(CBmp::Read(&image, path.c_str(), window.handle(), kCaption),
                  read || copy == NULL ? whole.status : kBmpNoMemory);
        std::vector<std::pair<WPARAM, LPARAM>> progress = {{0, LPARAM(kCaption)},
                                                           {2, copy != NULL ? LPARAM(kCaption) : 0}};
        progress.insert(progress.end(), library.messages().begin(), library.messages().end());
        EXPECT_EQ(window.messages(), progress);
        const auto d = field<BITMAPINFOHEADER>(read ? whole.block : Block(40), 0);
        const std::string format =
            read ? testing_support::InAnsiCodePage(d.biCompression ? "BMP (RLE圧縮)" : "BMP (無圧縮)") : "";
        EXPECT_EQ(
            std::make_tuple(image.GetWidth(), image.IsSaveableFormat(), image.IsSaveableFile(), image.GetOrgBitsPixel(),
                            image.GetOrgPlanes(), image.IsBlankUsed(), image.GetBlank(), image.HasOwnLevel(),
                            std::string(image.GetOrgFileName()), std::string(image.GetOrgFileFormat())),
            read ? std::make_tuple(attached.GetWidth(), 1, int(!readOnly), int(d.biBitCount), 0, 0, 0, 0, path, format)
                 : std::make_tuple(0, 0, 0, 0, -7, 1, -1, 1, std::string(), format));
        const Block raw = bytes_at(file, file.size() > 1 && file[0] == 'B' && file[1] == 'M' ? 14 : 0, 40);
        const HGLOBAL block = dib_block(raw);
        BITMAPINFOHEADER got{}, want = dib_info(field<BITMAPINFOHEADER>(raw, 0));
        EXPECT_EQ(Bmp::DibInfo(block, &got) - Bmp::DibInfo(NULL, &got), 1);
        EXPECT_TRUE(std::memcmp(&got, &want, sizeof got) == 0 && take(block) == raw);
    }
    BITMAPINFOHEADER info{}; // nothing from a block that cannot be locked
    const HGLOBAL discarded = GlobalReAlloc(dib_block(Block(40, 1)), 0, GMEM_MOVEABLE);
    EXPECT_EQ(Bmp::DibInfo(discarded, &info) + info.biSize, 0u);
    GlobalFree(discarded);
}

// A path whose attributes cannot be read counts as read-only: the file goes away once read, before Read asks for them.
TEST_F(BmpFile, AFileWhoseAttributesCannotBeReadIsNotSaveable) {
    const std::string path = dir_.file("gone.bmp");
    dir_.write("gone.bmp", file_header(58, 54).append(info_header(1, 1, 24, BI_RGB, 0, 4)).raw({1, 2, 3, 0}));
    testing_support::ProgressWindow window([&path](WPARAM stage) {
        if (stage == 2)
            DeleteFileA(path.c_str());
    });
    CStlImage image;
    ASSERT_EQ(CBmp::Read(&image, path.c_str(), window.handle(), kCaption), kBmpOk);
    EXPECT_EQ(std::make_pair(image.IsSaveableFormat(), image.IsSaveableFile()), std::make_pair(1, 0));
}

// "BM", the file's size, two zero words, the offset of the rows behind header and table; then the whole block.
Block file_of(const Block &dib) {
    return file_header(std::uint32_t(dib.size()) + 14, 14 + field(dib, 0) + (PaletteSize(dib.data()) & 0xFFFF))
        .append(dib);
}

// A file is replaced whole, or left as it was by a failure before it is created (another opener, even a reader sharing
// all, prevents that); a failed write leaves what was written. The DIB is left unlocked and unchanged.
TEST_F(BmpFile, WriteDIBWritesTheHeaderThenTheWholeBlock) {
    const Block dib = Bytes().append(info_header(1, 1, 24, BI_RGB, 0, 4)).raw({1, 2, 3, 0}), before(3000, 0xEE);
    const Block table20 = Bytes().append(info_header(2, 1, 8, BI_RGB, 20, 4)).fill(84, 0x33),
                core = Bytes().u32(12).fill(36, 1);
    const Block written = file_of(dib), header(written.begin(), written.begin() + 14),
                dib40(dib.begin(), dib.begin() + 40);
    const struct {
        const char *name;
        Block block;
        std::size_t surplus;
        int nth, status;
        Block after;
    } cases[] = {// nth: WriteFile fails
                 {"24_bits", dib, 0, 0, kBmpOk, written},
                 {"surplus", dib, 5, 0, kBmpOk, file_of(Bytes().append(dib).fill(5, 0))},
                 {"20_colours", table20, 0, 0, kBmpOk, file_of(table20)},
                 {"core_header", core, 0, 0, kBmpOk, file_of(core)},
                 {"no_dib", {}, 0, 0, kBmpNoDib, before},
                 {"39_bytes", Block(dib.begin(), dib.begin() + 39), 0, 0, kBmpNoDib, before},
                 {"40_bytes", dib40, 0, 0, kBmpOk, file_of(dib40)},
                 {"no_folder", dib, 0, 0, kBmpCannotCreate, {}},
                 {"held", dib, 0, 0, kBmpCannotCreate, before},
                 {"header_write_fails", dib, 0, 1, kBmpWriteFailed, {}},
                 {"block_write_fails", dib, 0, 2, kBmpWriteFailed, header}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.nth != 0 && !testing_support::kWin32Seams)
            continue;
        const HGLOBAL block = c.block.empty() ? NULL : dib_block(c.block, c.surplus);
        const std::string name = c.name, path = dir_.file(name == "no_folder" ? "none/out" : name);
        dir_.write(name, before);
        HANDLE reader = CreateFileA(name == "held" ? path.c_str() : "", GENERIC_READ, 7, NULL, OPEN_EXISTING, 0, NULL);
        fail_nth(win32_standin::Call::WriteFile, c.nth);
        EXPECT_EQ(Bmp::WriteDIB(path.c_str(), block), c.status);
        CloseHandle(reader), expect_released(before_.blocks + (block != NULL));
        EXPECT_EQ(testing_support::read_file(path), c.after);
        EXPECT_EQ(take(block), Bytes().append(c.block).fill(block != NULL ? c.surplus : 0, 0).data());
    }
}

// The file is the image library's DIB for the option behind its header; the whole progress sequence runs whatever
// WriteDIB reports, and the DIB is freed. An image with no store renders no DIB: 6, and no file.
TEST_F(BmpFile, WriteStoresTheDibOfTheOptionWithTheWholeProgress) {
    SKIP_WITHOUT_WIN32_SEAMS("fault seams");
    CStlImage gray, empty;
    ASSERT_NE(gray.Create(3, 2, 1), 0);
    gray.SetPixelGrayRaw(1, 0, 15.0f, 0), gray.LevelMin[0] = 10, gray.LevelMax[0] = 20,
                                          gray.LevelRange[0] = 10; // options 0 and 1 differ
    const struct {
        const char *name;
        int option;
        CStlImage *image;
        const char *file;
        int nth, status;
    } cases[] = {{"levels", 0, &gray, "out0", 0, kBmpOk},
                 {"raw", 1, &gray, "out1", 0, kBmpOk},
                 {"cannot_create", 1, &gray, "none/out", 0, kBmpCannotCreate},
                 {"write_fails", 1, &gray, "out2", 2, kBmpWriteFailed},
                 {"no_dib", 0, &empty, "out3", 0, kBmpNoMemory}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Block file = file_of(take(gray.GetDib(c.option)));
        testing_support::ProgressWindow window;
        fail_nth(win32_standin::Call::WriteFile, c.nth);
        EXPECT_EQ(CBmp::Write(c.image, dir_.file(c.file).c_str(), c.option, window.handle(), c.name), c.status);
        std::vector<testing_support::ProgressMessage> sequence = {{0, LPARAM(c.name)}, {1, 10}, {1, 50}, {1, 100}};
        sequence.resize(c.image == &gray ? 4 : 2), sequence.emplace_back(2, 0);
        EXPECT_EQ(window.messages(), sequence);
        EXPECT_EQ(testing_support::read_file(dir_.file(c.file)),
                  Block(file.begin(), file.begin() + (c.nth      ? 14
                                                      : c.status ? 0
                                                                 : file.size())));
    }
}

// The block's two sizes and its header, table and rows; nothing when the capture gives NULL.
std::tuple<SIZE_T, SIZE_T, Block> reference_capture(HBITMAP bitmap, DWORD compression, WORD bitCount,
                                                    bool sizeLeftZero) {
    BITMAP bm{};
    GetObjectA(bitmap, sizeof bm, &bm);
    bitCount = bitCount != 0 ? bitCount : WORD(bm.bmPlanes * bm.bmBitsPixel);
    const BITMAPINFOHEADER working = {40, bm.bmWidth, bm.bmHeight, 1, bitCount, compression, 0, 0, 0, 0, 0};
    Block block(8192, 0);
    std::memcpy(block.data(), &working, 40);
    const HDC screen = (win32_standin::LeaveSizeImageZeroNth(sizeLeftZero), GetDC(NULL));
    GetDIBits(screen, bitmap, 0, WORD(bm.bmHeight), NULL, reinterpret_cast<BITMAPINFO *>(block.data()), 0);
    const auto h = field<BITMAPINFOHEADER>(block, 0);
    const DWORD rows = ((DWORD{bitCount} * bm.bmWidth + 31) >> 5) * bm.bmHeight * 4,
                offset = h.biSize + (PaletteSize(&h) & 0xFFFF);
    const DWORD second = offset + (h.biSizeImage != 0 ? h.biSizeImage : compression != BI_RGB ? rows * 3 / 2 : rows);
    const int lines = GetDIBits(screen, bitmap, 0, WORD(h.biHeight), block.data() + offset,
                                reinterpret_cast<BITMAPINFO *>(block.data()), 0);
    ReleaseDC(NULL, screen);
    block.resize(lines != 0 ? std::min(second, offset + rows) : 0);
    return {40 + (PaletteSize(&working) & 0xFFFFu), second, block};
}

// Size, depth and pixels of a bitmap, which is deleted.
std::tuple<LONG, LONG, WORD, Block> picture_of(HBITMAP bitmap) {
    BITMAP bm{};
    const Block rows = (GetObjectA(bitmap, sizeof bm, &bm), gdi_test::RowsOf(bitmap, bm.bmWidth, bm.bmHeight, 24));
    return DeleteObject(bitmap), std::make_tuple(bm.bmWidth, bm.bmHeight, bm.bmBitsPixel, rows);
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

// Random bitmaps at every depth, through our palette or the default one, compressed or not, the header query completing
// the size or leaving it 0; a bitmap too tall is refused before the screen is taken. The fault sweep fails each call.
TEST_F(DeviceBitmapTest, CaptureIsTheReferenceCapture) {
    Random r{std::mt19937{4242}};
    for (int i = 0; i < 120; ++i) {
        const auto width = LONG(1 + r.engine() % 40), height = LONG(1 + r.engine() % 4),
                   bitCount = LONG(r.pick({0, 1, 4, 8, 16, 24, 32}));
        const DWORD compression = r.pick({0, 1})  ? BI_RGB
                                  : bitCount == 8 ? BI_RLE8
                                  : bitCount == 4 ? BI_RLE4
                                                  : BI_BITFIELDS;
        const bool sizeLeftZero = r.pick({0, 1});
        const HPALETTE stock = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)),
                       given = r.pick({0, 1}) ? palette_ : NULL;
        SCOPED_TRACE(testing::Message() << width << " x " << height << " at " << bitCount << ", " << compression);
        const HBITMAP bitmap =
            gdi_test::ScreenBitmap(width, height, r.bytes(std::size_t((width * 3 + 3) / 4 * 4 * height)));
        const auto [first, second, want] = reference_capture(bitmap, compression, WORD(bitCount), sizeLeftZero);
        paletteCalls.clear(), win32_standin::LeaveSizeImageZeroNth(sizeLeftZero);
        const Block block = take(Bmp::DibFromBitmap(bitmap, compression, WORD(bitCount), given));
        // Selected and realised, then the screen's own palette selected back.
        EXPECT_EQ(paletteCalls,
                  decltype(paletteCalls)({{given ? given : stock, FALSE}, {NULL, FALSE}, {stock, FALSE}}));
        const auto alloc = win32_standin::LastGlobalAlloc(), resize = win32_standin::LastGlobalReAlloc();
        EXPECT_EQ(std::make_tuple(alloc.flags, alloc.bytes, resize.flags, resize.bytes),
                  std::make_tuple(UINT{GMEM_MOVEABLE | GMEM_ZEROINIT}, first, 0u, second));
        EXPECT_EQ(
            std::make_pair(block.size(),
                           Block(block.begin(), block.begin() + std::ptrdiff_t(std::min(block.size(), want.size())))),
            std::make_pair(want.empty() ? std::size_t{0} : std::size_t{second}, want));
        DeleteObject(bitmap);
    }
    const HBITMAP tall = CreateBitmap(1, 65536, 1, 32, NULL); // more lines than a header's count holds
    paletteCalls.clear();
    EXPECT_TRUE(Bmp::DibFromBitmap(tall, BI_RGB, 24, palette_) == NULL && paletteCalls.empty());
    DeleteObject(tall);
}

// What the graphics call reads of a block: header, colour table and rows, whole padded rows for the uncompressed and
// bit-field layouts (top-down rows counted as many), biSizeImage for any other compression.
std::size_t needed(const BITMAPINFOHEADER &h) {
    const bool rows = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    return h.biSize + (PaletteSize(&h) & 0xFFFFu) +
           (rows ? (h.biBitCount * std::size_t(std::max(0L, long(h.biWidth))) + 31) / 32 * 4 *
                       std::size_t(std::abs(h.biHeight))
                 : h.biSizeImage);
}

// Rows cut short, as every core-header file and every truncated file give them, go to the graphics call zero-padded
// in a copy of exactly header, table and rows; a block that does not hold its header and table is refused.
TEST_F(DeviceBitmapTest, BitmapFromDibPadsShortRowsAndRefusesShortHeaders) {
    const struct {
        const char *name;
        LONG width, height;
        WORD bitCount;
        DWORD compression, sizeImage;
        int shortBy;
    } cases[] = {{"null", 32, 2, 1, BI_RGB, 0, -1},         {"whole_32", 32, 2, 1, BI_RGB, 0, 0},
                 {"whole_33", 33, 2, 1, BI_RGB, 0, 0},      {"one_byte_short", 32, 2, 1, BI_RGB, 0, 1},
                 {"no_rows_33", 33, 2, 1, BI_RGB, 0, 16},   {"table_cut", 32, 2, 1, BI_RGB, 0, 9},
                 {"39_bytes", 32, 2, 1, BI_RGB, 0, 17},     {"top_down", 5, -3, 24, BI_RGB, 0, 7},
                 {"rle8_by_size", 4, 2, 8, BI_RLE8, 10, 4}, {"bit_fields", 3, 2, 16, BI_BITFIELDS, 0, 6},
                 {"compression_9", 2, 2, 24, 9, 5, 0},      {"no_width", 0, 2, 24, BI_RGB, 0, 0},
                 {"header_only", 1, 1, 24, BI_RGB, 0, 4}};
    const HDC screen = GetDC(NULL);
    Random r{std::mt19937{11}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Block padded = info_header(c.width, c.height, c.bitCount, c.compression, 0, c.sizeImage);
        const std::size_t table = 40 + (PaletteSize(padded.data()) & 0xFFFFu),
                          cut = needed(field<BITMAPINFOHEADER>(padded, 0)) - std::max(c.shortBy, 0);
        padded = Bytes().append(padded).append(r.bytes(needed(field<BITMAPINFOHEADER>(padded, 0)) - 40)).data();
        const Block bytes(padded.begin(), padded.begin() + std::ptrdiff_t(cut));
        std::fill(padded.begin() + std::ptrdiff_t(cut), padded.end(), 0);
        const HGLOBAL block = c.shortBy >= 0 ? dib_block(bytes) : NULL;
        const bool refused = block == NULL || cut < table, copied = !refused && c.shortBy > 0;
        const SIZE_T lastAlloc = win32_standin::LastGlobalAlloc().bytes; // a copy shows as a later one
        const int allocs = win32_standin::CallCount(win32_standin::Call::GlobalAlloc);
        const HBITMAP made = Bmp::BitmapFromDib(screen, block);
        EXPECT_EQ(std::make_pair(win32_standin::CallCount(win32_standin::Call::GlobalAlloc) - allocs,
                                 win32_standin::LastGlobalAlloc().bytes),
                  std::make_pair(int(copied), copied ? padded.size() : lastAlloc));
        expect_released(block != NULL);
        EXPECT_EQ(take(block), block != NULL ? bytes : Block{});
        const auto *info = reinterpret_cast<const BITMAPINFO *>(padded.data());
        EXPECT_EQ(
            picture_of(made),
            picture_of(refused ? NULL : CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, &padded[table], info, 0)));
    }
    ReleaseDC(NULL, screen);
}

TEST(BmpStatus, ValuesNeverDrift) {
    EXPECT_EQ(std::vector<int>({kBmpOk, kBmpCannotCreate, kBmpCannotOpen, kBmpReadFailed, kBmpWriteFailed, kBmpNoMemory,
                                kBmpBadHeaderSize, kBmpNoDib, kBmpHeaderUnusable}),
              std::vector<int>({0, 2, 3, 4, 5, 6, 7, 10, 17}));
}

} // namespace
