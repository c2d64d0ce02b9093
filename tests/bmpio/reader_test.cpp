// The DIB file reader and the import entry points on it against a reference
// written from the file layout, over seeded random files of every kind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "image/stl_image.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

using namespace dib_fixtures;
using namespace dirira;

// In place of the stand-in's export: while set, the attribute query fails as for a path it cannot see.
bool attributesFail = false;
#if !defined(_WIN32)
#include <dlfcn.h>
extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR path) {
    return attributesFail ? INVALID_FILE_ATTRIBUTES : reinterpret_cast<DWORD (*)(LPCSTR)>(dlsym(RTLD_NEXT, "GetFileAttributesA"))(path);
}
#endif

namespace {

const char kCaption[] = "reading";

struct Expected {
    int status;
    Block block{};               // on status 0
    std::uint64_t position = 0;  // of the file after headers and colour table
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
    if (size == 12)  // bcWidth, bcHeight, bcPlanes and bcBitCount are 16-bit fields from offset 4
        h = {40, field<WORD>(raw, 4), field<WORD>(raw, 6), field<WORD>(raw, 8), field<WORD>(raw, 10), 0, 0, 0, 0, n, n};
    if (h.biSizeImage == 0)
        h.biSizeImage = ((DWORD{h.biBitCount} * DWORD(h.biWidth) + 31) >> 5) * DWORD(h.biHeight) * 4;
    h.biClrUsed = h.biClrUsed != 0 ? h.biClrUsed : DibNumColors(&h);
    Expected e{kBmpOk, Block(40 + 4 * std::size_t{n}, 0)};
    std::memcpy(e.block.data(), &h, 40);
    const std::size_t entry = size == 12 ? 3 : 4;  // RGBTRIPLE or RGBQUAD; a triple's fourth byte is 0
    const Block table = bytes_at(file, at + size, entry * n);
    for (std::size_t i = 0; i < n; ++i) std::copy_n(&table[entry * i], entry, &e.block[40 + 4 * i]);
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
    const auto width = std::int32_t(r.pick({1, 2, 3, 5, 7, 9, 31, 33, 0, -3})), height = std::int32_t(r.pick({1, 3, 0, -2}));
    const std::uint32_t rows = ((bits * std::abs(width) + 31) / 32) * 4 * std::abs(height);
    Block header = size == 12  // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
        ? Bytes().u32(12).u16(WORD(std::abs(width))).u16(WORD(std::abs(height))).u16(1).u16(bits).fill(28, 0).data()
        : info_header(width, height, bits, std::uint32_t(r.pick({0, 0, rows, rows + 7, 3})),
                      std::uint32_t(r.pick({0, 0, 0, 2, 20, 300, 0x10003})), size,
                      std::uint32_t(r.pick({BI_RGB, BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, 9}))).data();
    header[size == 12 ? 8 : 12] = std::uint8_t(r.pick({1, 1, 3}));  // planes
    const std::size_t table = DibNumColors(header.data()) * std::size_t{size == 12 ? 3u : 4u};
    header.resize(size == 12 ? 12 : 40);
    const auto offBits = std::int64_t(14 + header.size() + table) + r.pick({0, 3});
    Bytes file;
    if (r.pick({1, 1, 0}) != 0)
        file.append(file_header(std::uint32_t(r.engine()), std::uint32_t(r.pick({offBits, 0, 9999, 2}))));
    Block bytes = file.append(header).append(r.bytes(table + std::size_t(std::max<std::int64_t>(0, rows + r.pick({0, 3, 8, -1, -7}))))).data();
    bytes.resize(r.pick({0, 0, 0, 0, 0, 1}) != 0 ? r.engine() % bytes.size() : bytes.size());  // ends anywhere, in a header too
    return bytes;
}

struct ReaderTest : testing_support::LeakCheckedTest {
    testing_support::TempDir dir_;
};

// ReadDibBitmapInfo starts where the file stands; the others at the start.
TEST_F(ReaderTest, RandomFilesReadAsTheReferenceReadsThem) {
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
        HDIB dib = reinterpret_cast<HDIB>(&r);  // stays unless the call succeeds
        ASSERT_EQ(Bmp::ReadDibBitmapInfo(handle, &dib), info.status);
        const DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
        CloseHandle(handle);
        EXPECT_EQ(info.status == kBmpOk ? std::uint64_t(high) << 32 | low : 0u, info.position);
        EXPECT_EQ(info.status == kBmpOk ? take(dib) : Block{}, info.block);
        EXPECT_TRUE(info.status == kBmpOk || dib == reinterpret_cast<HDIB>(&r));
        if (start != 0)
            continue;
        const Expected whole = read_dib(file);
        ASSERT_EQ(Bmp::ReadDIB(path.c_str(), &dib), whole.status);
        EXPECT_EQ(take(dib), whole.block);
        // The header-only reader takes a picture of positive width and height.
        const auto h = field<BITMAPINFOHEADER>(info.status == kBmpOk ? info.block : Block(40), 0);
        const bool picture = info.status == kBmpOk && h.biWidth > 0 && h.biHeight > 0;
        int size[3] = {-7, -7, -7};
        EXPECT_EQ(Bmp::GetOrgWidthAndHeight(path.c_str(), &size[0], &size[1], &size[2]), picture);
        EXPECT_EQ(std::make_tuple(size[0], size[1], size[2]),
                  picture ? std::make_tuple(int(h.biWidth), int(h.biHeight), int(h.biPlanes)) : std::make_tuple(-7, -7, -7));
        CStlImage image, attached;
        EXPECT_EQ(CBmp::ReadHeader(&image, path.c_str(), NULL, NULL), picture ? kBmpOk : kBmpHeaderUnusable);
        EXPECT_EQ(image.GetOrgPlanes(), picture ? h.biPlanes : 0);
        // Read: that block through the image library, its progress after Read's; then where it came from.
        image.SetOrgPlanes(-7), image.SetBlankUsed(1), image.SetBlank(-1), image.SetOwnLevel(1);
        testing_support::ProgressWindow window, library;
        const HGLOBAL copy = whole.status == kBmpOk ? block_of(whole.block) : NULL;
        const bool readOnly = i % 7 == 0, read = copy != NULL && attached.AttachDIB(copy, library.handle(), kCaption);
        const bool noAttributes = attributesFail = testing_support::kWin32Seams && i % 11 == 5;  // then it counts as read-only
        GlobalFree(copy);
        ASSERT_TRUE(!readOnly || chmod(path.c_str(), 0444) == 0);  // permission bits decide, so as root too
        EXPECT_EQ(CBmp::Read(&image, path.c_str(), window.handle(), kCaption), read || copy == NULL ? whole.status : kBmpNoMemory);
        attributesFail = false;
        std::vector<std::pair<WPARAM, LPARAM>> progress = {{0, LPARAM(kCaption)}, {2, copy != NULL ? LPARAM(kCaption) : 0}};
        progress.insert(progress.end(), library.messages().begin(), library.messages().end());
        EXPECT_EQ(window.messages(), progress);
        const auto d = field<BITMAPINFOHEADER>(read ? whole.block : Block(40), 0);
        EXPECT_EQ(std::make_tuple(image.GetWidth(), image.IsSaveableFormat(), image.IsSaveableFile(), image.GetOrgBitsPixel(),
                                  image.GetOrgPlanes(), image.IsBlankUsed(), image.GetBlank(), image.HasOwnLevel()),
                  read ? std::make_tuple(attached.GetWidth(), 1, int(!readOnly && !noAttributes), int(d.biBitCount), 0, 0, 0, 0)
                       : std::make_tuple(0, 0, 0, 0, -7, 1, -1, 1));
        EXPECT_STREQ(image.GetOrgFileName(), read ? path.c_str() : "");
        EXPECT_STREQ(image.GetOrgFileFormat(),
                     read ? testing_support::InAnsiCodePage(d.biCompression ? "BMP (RLE圧縮)" : "BMP (無圧縮)").c_str() : "");
        // DibInfo on the header as the file holds it: any size field, sizes zero or negative.
        const Block raw = bytes_at(file, file.size() > 1 && file[0] == 'B' && file[1] == 'M' ? 14 : 0, 40);
        const HGLOBAL block = block_of(raw);
        BITMAPINFOHEADER got{}, want = dib_info(field<BITMAPINFOHEADER>(raw, 0));
        EXPECT_EQ(Bmp::DibInfo(block, &got) - Bmp::DibInfo(NULL, &got), 1);
        EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);
        EXPECT_EQ(take(block), raw);
    }
}

// Each fault with its status and the block it leaves: a failing table or
// pixel read is not examined, those bytes stay zero. Another opener that
// shares reading does not stop the reader; one that writes does. A missing
// file, each entry point in its own terms; a block that cannot be locked.
TEST_F(ReaderTest, FailuresGiveTheirStatusAndLeaveNothing) {
    const Block file = file_header(1086, 1078).append(info_header(3, 2, 8, 0)).append(Random{}.bytes(1024 + 8));
    const auto zeroed = [&](std::size_t from, std::size_t count) {  // the block of the file with these bytes 0
        Block bytes = file;
        std::fill_n(bytes.begin() + std::ptrdiff_t(from), count, 0);
        return read_dib(bytes).block;
    };
    const std::string path = dir_.write("faults.bmp", file);
    using win32_standin::Call;
    const struct { const char *name; Call call; int nth; DWORD other; int status; Block block; } cases[] = {
        {"open", Call::CreateFileA, 1, 0, kBmpCannotOpen, {}}, {"file_header", Call::ReadFile, 1, 0, kBmpReadFailed, {}},
        {"info_header", Call::ReadFile, 2, 0, kBmpReadFailed, {}}, {"table", Call::ReadFile, 3, 0, kBmpOk, zeroed(54, 1024)},
        {"pixels", Call::ReadFile, 4, 0, kBmpOk, zeroed(1078, 8)}, {"allocation", Call::GlobalAlloc, 1, 0, kBmpNoMemory, {}},
        {"resize", Call::GlobalReAlloc, 1, 0, kBmpNoMemory, {}}, {"reader", Call::ReadFile, 0, GENERIC_READ, kBmpOk, zeroed(0, 0)},
        {"writer", Call::ReadFile, 0, GENERIC_WRITE, kBmpCannotOpen, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.nth != 0 && !testing_support::kWin32Seams)
            continue;
        HANDLE other = CreateFileA(c.other ? path.c_str() : "", c.other, 3, NULL, OPEN_EXISTING, 0, NULL);  // shares all
        fail_nth(c.call, c.nth);
        HDIB dib = reinterpret_cast<HDIB>(&other);
        EXPECT_EQ(Bmp::ReadDIB(path.c_str(), &dib), c.status);
        EXPECT_EQ(take(dib), c.block);
        CloseHandle(other);
        expect_released(blocksBefore_);
    }
    const std::string missing = path + ".missing";
    int size[3] = {-7, -7, -7};
    CStlImage image;
    EXPECT_EQ(Bmp::GetOrgWidthAndHeight(missing.c_str(), &size[0], &size[1], &size[2]) + size[0] + size[1] + size[2], -21);
    EXPECT_EQ(std::make_pair(CBmp::ReadHeader(&image, missing.c_str(), NULL, NULL), CBmp::Read(&image, missing.c_str(), NULL, NULL)),
              std::make_pair(int(kBmpHeaderUnusable), int(kBmpCannotOpen)));
    BITMAPINFOHEADER info{};  // DibInfo copies nothing from a discarded block
    const HGLOBAL discarded = GlobalReAlloc(block_of(Block(40, 1)), 0, GMEM_MOVEABLE);
    EXPECT_EQ(Bmp::DibInfo(discarded, &info) + info.biSize, 0u);
    GlobalFree(discarded);
}

TEST(BmpStatus, ValuesNeverDrift) {
    EXPECT_EQ(std::vector<int>({kBmpOk, kBmpCannotCreate, kBmpCannotOpen, kBmpReadFailed, kBmpWriteFailed, kBmpNoMemory,
                                kBmpBadHeaderSize, kBmpNoDib, kBmpHeaderUnusable}), std::vector<int>({0, 2, 3, 4, 5, 6, 7, 10, 17}));
}

}  // namespace
