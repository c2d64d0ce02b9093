// The DIB file reader against a reference written from the file layout and
// the reader's rules: seeded random files (with and without file header;
// information, core and unknown headers; tables and rows cut short, exact
// or too long; gaps, offsets beyond the end) give the same status, the same
// block byte for byte and the same file position. Then DibInfo's defaults,
// and every platform failure with its status and nothing left behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "bmpio/bmp.h"
#include "bmpio/dib_fixtures.h"
#include "bmpio/status.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

using namespace dib_fixtures;
using testing_support::TempDir;
using namespace dirira;

namespace {

struct Reader : CBmp {
    using CBmp::DibInfo;
    using CBmp::ReadDIB;
    using CBmp::ReadDibBitmapInfo;
};

const HDIB kUnwritten = reinterpret_cast<HDIB>(0x5A5A);

// ---- The reference ----

struct Expected {
    int status;
    Block block{};                // on status 0
    std::uint64_t position = 0;   // of the file after the headers and colour table
};

// `count` bytes of the file from `at`; zeros past its end, as a short read leaves them.
Block bytes_at(const Block &file, std::uint64_t at, std::uint64_t count) {
    Block bytes(count, 0);
    for (std::uint64_t i = 0; i < count && at + i < file.size(); ++i)
        bytes[i] = file[at + i];
    return bytes;
}

BITMAPINFOHEADER header_of(const Block &block) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, block.data(), sizeof header);
    return header;
}

Expected bitmap_info(const Block &file, std::uint64_t start) {
    const auto left = [&](std::uint64_t at) { return at < file.size() ? file.size() - at : 0; };
    if (left(start) < 14)
        return {kBmpReadFailed};
    const bool bm = file[start] == 'B' && file[start + 1] == 'M';
    const std::uint32_t offBits = bm ? u32_at(file, start + 10) : 0;
    const std::uint64_t at = start + (bm ? 14 : 0);
    const Block raw = bytes_at(file, at, 40);
    const std::uint32_t size = u32_at(raw, 0);
    if (left(at) < 4 || (size == 12 && left(at) < 12))
        return {kBmpReadFailed};
    if (size != 12 && size != 40)
        return {kBmpBadHeaderSize};
    if (size == 40 && left(at) < 40)
        return {kBmpReadFailed};
    const WORD n = DibNumColors(raw.data());
    BITMAPINFOHEADER h = header_of(raw);
    if (size == 12) {
        BITMAPCOREHEADER core;
        std::memcpy(&core, raw.data(), sizeof core);
        h = {40, core.bcWidth, core.bcHeight, core.bcPlanes, core.bcBitCount, 0, 0, 0, 0, n, n};
    }
    if (h.biSizeImage == 0)
        h.biSizeImage = ((DWORD{h.biBitCount} * DWORD(h.biWidth) + 31) >> 5) * DWORD(h.biHeight) * 4;
    if (h.biClrUsed == 0)
        h.biClrUsed = DibNumColors(&h);
    Expected e{kBmpOk, Block(40 + 4 * std::size_t{n}, 0), 0};
    std::memcpy(e.block.data(), &h, 40);
    const std::size_t entry = size == 12 ? 3 : 4;  // RGBTRIPLE or RGBQUAD; the fourth byte of a triple is 0
    const Block table = bytes_at(file, at + size, entry * n);
    for (std::size_t i = 0; i < n; ++i)
        std::copy_n(&table[entry * i], entry, &e.block[40 + 4 * i]);
    // Without an offset, where the table's read stopped: after it, or at the end of a file that ends in it.
    e.position = offBits != 0 ? start + offBits : std::min<std::uint64_t>(at + size + entry * n, file.size());
    return e;
}

// Signed arithmetic whose division truncates toward zero; no defaults for a core header.
BITMAPINFOHEADER dib_info(BITMAPINFOHEADER h) {
    if (h.biSize == 12)
        return h;
    const LONG words = static_cast<LONG>(DWORD{h.biBitCount} * DWORD(h.biWidth) + 31) / 32;
    if (h.biSizeImage == 0)
        h.biSizeImage = DWORD(words) * DWORD(h.biHeight) * 4;
    if (h.biClrUsed == 0)
        h.biClrUsed = DibNumColors(&h);
    return h;
}

// The file's size wins over the header's; a file too short for its header and table is a read failure.
Expected read_dib(const Block &file) {
    Expected e = bitmap_info(file, 0);
    if (e.status != kBmpOk)
        return e;
    const BITMAPINFOHEADER h = dib_info(header_of(e.block));
    const DWORD table = PaletteSize(&h) & 0xFFFF;
    DWORD length = h.biSize + table + h.biSizeImage, bits = h.biSizeImage;
    if (file.size() != length) {
        length = DWORD(file.size());
        bits = length - h.biSize - table;
    }
    if (file.size() < h.biSize + table)
        return {kBmpReadFailed};
    e.block.resize(length);
    const std::size_t offset = 40 + (PaletteSize(e.block.data()) & 0xFFFF);
    if (offset < length) {
        const Block rows = bytes_at(file, e.position, std::min<std::uint64_t>(bits, length - offset));
        std::copy(rows.begin(), rows.end(), e.block.begin() + offset);
    }
    return e;
}

// A file of the layout with every field drawn from values that separate the rules.
Block random_file(Random &r) {
    const auto headerSize = std::uint32_t(r.pick({40, 40, 40, 12, 12, 108, 0}));
    const auto bits = WORD(r.pick({1, 4, 8, 8, 16, 24, 32, 0, 2}));
    const auto width = std::int32_t(r.pick({1, 2, 3, 5, 7, 9, 31, 33, 0, -3}));
    const auto height = std::int32_t(r.pick({1, 2, 3, 0, -2}));
    const std::uint32_t rows = ((bits * std::abs(width) + 31) / 32) * 4 * std::abs(height);
    Bytes header;
    if (headerSize == 12)  // bcSize, bcWidth, bcHeight, bcPlanes, bcBitCount
        header.u32(12).u16(std::uint16_t(std::abs(width))).u16(std::uint16_t(std::abs(height))).u16(1).u16(bits);
    else
        header = info_header(width, height, bits, std::uint32_t(r.pick({0, 0, rows, rows + 7, 3})),
                             std::uint32_t(r.pick({0, 0, 0, 2, 20, 300, 0x10003})), headerSize,
                             std::uint32_t(r.pick({BI_RGB, BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, 9})));
    Block padded = header.data();
    padded.resize(40, 0);
    const std::size_t table = DibNumColors(padded.data()) * std::size_t{headerSize == 12 ? 3u : 4u};
    const Block gap = r.bytes(std::size_t(r.pick({0, 0, 3})));
    const std::int64_t pixelBytes = std::max<std::int64_t>(0, rows + r.pick({0, 0, 5, -1, -7}));
    const std::uint32_t offBits = std::uint32_t(14 + header.size() + table + gap.size());
    Bytes file;
    if (r.pick({1, 1, 0}) != 0)
        file.append(file_header(std::uint32_t(r.engine()), std::uint32_t(r.pick({offBits, offBits, 0, 9999, 2}))));
    file.append(header).append(r.bytes(table)).append(gap).append(r.bytes(std::size_t(pixelBytes)));
    Block bytes = file.data();
    if (r.pick({0, 0, 0, 0, 0, 0, 0, 1}) != 0)
        bytes.resize(r.engine() % bytes.size());  // ends anywhere, in a header too
    return bytes;
}

class ReaderTest : public testing_support::LeakCheckedTest {
protected:
    TempDir dir_;
};

TEST_F(ReaderTest, RandomFilesReadAsTheReferenceReadsThem) {
    Random r(20240611);
    for (int i = 0; i < 400; ++i) {
        const Block file = random_file(r);
        const std::size_t start = i % 3 == 0 ? 0 : r.engine() % 6;
        SCOPED_TRACE(testing::Message() << "file " << i << ", read from " << start);
        // ReadDibBitmapInfo starts where the file stands and leaves it on the first pixel byte.
        Block prefixed(start, 0x42);
        prefixed.insert(prefixed.end(), file.begin(), file.end());
        const std::string path = dir_.write("p" + std::to_string(i), prefixed);
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        SetFilePointer(handle, LONG(start), NULL, FILE_BEGIN);
        const Expected info = bitmap_info(prefixed, start);
        HDIB dib = kUnwritten;
        ASSERT_EQ(Reader::ReadDibBitmapInfo(handle, &dib), info.status);
        LONG high = 0;
        const DWORD low = SetFilePointer(handle, 0, &high, FILE_CURRENT);
        CloseHandle(handle);
        if (info.status == kBmpOk) {
            EXPECT_EQ(take(dib), info.block);
            EXPECT_EQ(std::uint64_t(high) << 32 | low, info.position);
        } else {
            EXPECT_EQ(dib, kUnwritten);
        }
        const Expected whole = read_dib(file);
        dib = kUnwritten;
        ASSERT_EQ(Reader::ReadDIB(dir_.write(std::to_string(i), file).c_str(), &dib), whole.status);
        if (whole.status == kBmpOk)
            EXPECT_EQ(take(dib), whole.block);
        else
            EXPECT_EQ(dib, nullptr);
    }
}

TEST_F(ReaderTest, DibInfoFillsTheDefaultsOfTheReference) {
    BITMAPINFOHEADER info, untouched;
    std::memset(&untouched, 0xAB, sizeof untouched);
    info = untouched;
    EXPECT_EQ(Reader::DibInfo(NULL, &info), 0);
    EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
    Random r(7);
    for (int i = 0; i < 300; ++i) {
        SCOPED_TRACE(i);
        BITMAPINFOHEADER h = header_of(r.bytes(40));
        h.biSize = DWORD(r.pick({40, 40, 12, 108}));
        h.biBitCount = WORD(r.pick({1, 4, 8, 16, 24, 32, 3}));
        h.biWidth = r.pick({0, 1}) != 0 ? LONG(r.engine()) : LONG(r.engine() % 80) - 40;
        h.biHeight = r.pick({0, 1}) != 0 ? LONG(r.engine()) : LONG(r.engine() % 20) - 5;
        h.biCompression = DWORD(r.pick({BI_RGB, BI_RGB, BI_BITFIELDS, 5}));
        h.biSizeImage = r.pick({0, 1}) != 0 ? 0 : h.biSizeImage;
        h.biClrUsed = r.pick({0, 0, 1}) != 0 ? 0 : h.biClrUsed;
        Block bytes(sizeof h);
        std::memcpy(bytes.data(), &h, sizeof h);
        const HGLOBAL block = block_of(bytes, r.engine() % 8);
        const Block before = bytes_of(block);
        ASSERT_EQ(Reader::DibInfo(block, &info), 1);
        const BITMAPINFOHEADER want = dib_info(h);
        EXPECT_EQ(std::memcmp(&info, &want, sizeof info), 0);
        EXPECT_EQ(take(block), before);
    }
}

// A failing header read or allocation gives its status; a failing table or
// pixel read is not examined: those bytes stay zero.
TEST_F(ReaderTest, PlatformFailuresGiveTheirStatusAndLeaveNothing) {
    const Block file = file_header(14 + 40 + 1024 + 8, 1078).append(info_header(3, 2, 8, 0))
                           .append(Random(3).bytes(1024 + 8));
    const std::string path = dir_.write("faults.bmp", file);
    const auto zeroed = [&](std::size_t from, std::size_t count) {  // the block of the file with these bytes 0
        Block bytes = file;
        for (std::size_t i = from; i < from + count; ++i)
            bytes[i] = 0;
        return read_dib(bytes).block;
    };
    const Block whole = zeroed(0, 0), noTable = zeroed(54, 1024), noRows = zeroed(1078, 8);
    using win32_standin::Call;
    const struct { const char *name; Call call; int nth, status; Block block; } cases[] = {
        {"open", Call::CreateFileA, 1, kBmpCannotOpen, {}},      {"file_header", Call::ReadFile, 1, kBmpReadFailed, {}},
        {"info_header", Call::ReadFile, 2, kBmpReadFailed, {}},  {"table", Call::ReadFile, 3, kBmpOk, noTable},
        {"pixels", Call::ReadFile, 4, kBmpOk, noRows},           {"allocation", Call::GlobalAlloc, 1, kBmpNoMemory, {}},
        {"resize", Call::GlobalReAlloc, 1, kBmpNoMemory, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!testing_support::kWin32Seams)
            break;
        win32_standin::FailNth(c.call, c.nth);
        HDIB dib = kUnwritten;
        EXPECT_EQ(Reader::ReadDIB(path.c_str(), &dib), c.status);
        win32_standin::ClearFaults();
        EXPECT_EQ(dib != NULL ? take(dib) : Block{}, c.block);
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0);
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), blocksBefore_);
    }
    // Others may read the file at the same time, not write it; a missing file cannot be opened.
    for (const DWORD access : {GENERIC_READ, GENERIC_WRITE}) {
        HANDLE other = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        HDIB dib = kUnwritten;
        EXPECT_EQ(Reader::ReadDIB(path.c_str(), &dib), access == GENERIC_READ ? kBmpOk : kBmpCannotOpen);
        EXPECT_EQ(dib != NULL ? take(dib) : Block{}, access == GENERIC_READ ? whole : Block{});
        CloseHandle(other);
    }
    HDIB dib = kUnwritten;
    EXPECT_EQ(Reader::ReadDIB(dir_.file("absent.bmp").c_str(), &dib), kBmpCannotOpen);
    EXPECT_EQ(dib, nullptr);
}

}  // namespace
