// Conversions between packed DIBs and the display's device-dependent
// bitmaps: CBmp::DibFromBitmap captures a bitmap through the screen's device
// context into a new block, CBmp::BitmapFromDib makes a bitmap from a block.
// The graphics interface writes the rows straight into the final block: one
// allocation, one resize, two queries.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "bmpio/bmp.h"
#include "bmpio/handles.h"

using namespace dirira;

namespace dirira {
namespace {

constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER); // 40
constexpr LONG kMaxLines = 0xFFFF;                          // what a 16-bit line count covers
constexpr std::uint64_t kMaxSize = 0xFFFFFFFF;              // sizes are 32-bit on the original platform

// Only the low 16 bits of PaletteSize count.
DWORD colour_table_size(const void *header) { return PaletteSize(header) & 0xFFFFu; }

DWORD header_size(const BYTE *header) {
    DWORD size;
    std::memcpy(&size, header, sizeof size);
    return size;
}

// Both queries pass the height as an unsigned 16-bit line count.
UINT line_count(const BITMAPINFOHEADER &header) { return static_cast<WORD>(header.biHeight); }

BITMAPINFOHEADER working_header(const BITMAP &bitmap, DWORD compression, WORD bitCount) {
    BITMAPINFOHEADER header{};
    header.biSize = kInfoHeaderSize;
    header.biWidth = bitmap.bmWidth;
    header.biHeight = bitmap.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    return header;
}

// Rows padded to 4 bytes, one and a half times that (truncated) for any
// compressed style. Worked out in 64 bits where the original wraps at 32:
// a size beyond 32 bits is refused with the second size, instead of sizing
// a block too small for the rows the second query writes.
std::uint64_t estimate_image_size(const BITMAP &bitmap, WORD bitCount, DWORD compression) {
    const std::uint64_t words = (std::uint64_t{bitCount} * static_cast<std::uint32_t>(bitmap.bmWidth) + 31) >> 5;
    const std::uint64_t estimate = words * static_cast<std::uint32_t>(bitmap.bmHeight) * 4;
    return compression != BI_RGB ? (estimate * 3) >> 1 : estimate;
}

// The first query: the graphics interface completes the header, its image
// size included, and writes the colour table behind it. Its result is not
// examined: a size it leaves at 0 is estimated instead. False when the
// block cannot be locked.
bool complete_header(HDC dc, HBITMAP bitmap, HGLOBAL block, BITMAPINFOHEADER *header) {
    ScopedGlobalLock lock(block);
    if (lock.bytes() == nullptr)
        return false;
    std::memcpy(lock.bytes(), header, kInfoHeaderSize);
    GetDIBits(dc, bitmap, 0, line_count(*header), NULL, reinterpret_cast<BITMAPINFO *>(lock.bytes()), DIB_RGB_COLORS);
    std::memcpy(header, lock.bytes(), kInfoHeaderSize);
    return true;
}

// The second query, into the rows behind the block's own header and colour
// table. False when the block cannot be locked or no line was copied.
bool copy_rows(HDC dc, HBITMAP bitmap, HGLOBAL block, const BITMAPINFOHEADER &header) {
    ScopedGlobalLock lock(block);
    if (lock.bytes() == nullptr)
        return false;
    BYTE *rows = lock.bytes() + header_size(lock.bytes()) + colour_table_size(lock.bytes());
    return GetDIBits(dc, bitmap, 0, line_count(header), rows, reinterpret_cast<BITMAPINFO *>(lock.bytes()),
                     DIB_RGB_COLORS) != 0;
}

// Bytes of pixel data behind the colour table: whole padded rows for the
// uncompressed layouts, biSizeImage for the compressed ones.
std::uint64_t pixel_bytes(const BITMAPINFOHEADER &header) {
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS)
        return header.biSizeImage;
    if (header.biWidth <= 0)
        return 0;
    const std::uint64_t stride = ((std::uint64_t{header.biBitCount} * header.biWidth + 31) >> 5) * 4;
    const std::uint64_t lines = header.biHeight < 0 ? 0 - std::int64_t{header.biHeight} : header.biHeight;
    // A stride beyond 32 bits is refused whatever it is: clamped there, the
    // product (lines are at most 2^31) cannot wrap.
    return std::min(stride, kMaxSize + 1) * lines;
}

// The bytes that header, colour table and rows need, or 0 when the block
// does not even hold the header and its colour table (or the rows would
// take more than 32 bits): the graphics interface would read beyond it.
std::uint64_t needed_size(const BYTE *dib, SIZE_T blockSize) {
    if (blockSize < kInfoHeaderSize)
        return 0;
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib, kInfoHeaderSize);
    const std::uint64_t headerAndTable = std::uint64_t{header.biSize} + colour_table_size(dib);
    const std::uint64_t needed = headerAndTable + pixel_bytes(header);
    return headerAndTable <= blockSize && needed <= kMaxSize ? needed : 0;
}

HBITMAP create_bitmap(HDC dc, const BYTE *dib) {
    const auto *info = reinterpret_cast<const BITMAPINFO *>(dib);
    const BYTE *rows = dib + info->bmiHeader.biSize + colour_table_size(info);
    return CreateDIBitmap(dc, &info->bmiHeader, CBM_INIT, rows, info, DIB_RGB_COLORS);
}

} // namespace
} // namespace dirira

HDIB CBmp::DibFromBitmap(HBITMAP bitmap, DWORD compression, WORD bitCount, HPALETTE palette) {
    if (bitmap == NULL)
        return NULL;
    if (palette == NULL)
        palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    // A bitmap that cannot be described, or is taller than the 16-bit line
    // count reaches (65,536 lines and more), is refused before the screen's
    // device context is taken.
    BITMAP description{};
    if (GetObjectA(bitmap, sizeof description, &description) != static_cast<int>(sizeof description) ||
        description.bmHeight > kMaxLines)
        return NULL;
    if (bitCount == 0)
        bitCount = static_cast<WORD>(description.bmPlanes * description.bmBitsPixel);
    BITMAPINFOHEADER header = working_header(description, compression, bitCount);
    const DWORD firstSize = kInfoHeaderSize + colour_table_size(&header);

    ScopedScreenPalette screen(palette);
    if (screen.dc() == NULL)
        return NULL;
    ScopedGlobalBlock block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, firstSize));
    if (block.get() == NULL || !complete_header(screen.dc(), bitmap, block.get(), &header))
        return NULL;
    const std::uint64_t imageSize =
        header.biSizeImage != 0 ? header.biSizeImage : estimate_image_size(description, bitCount, compression);
    const std::uint64_t secondSize = std::uint64_t{header.biSize} + colour_table_size(&header) + imageSize;
    if (secondSize > kMaxSize)
        return NULL;
    // Flags 0: the contents stay, the growth is not zero-filled (the second
    // query writes every row).
    const HGLOBAL grown = GlobalReAlloc(block.get(), static_cast<SIZE_T>(secondSize), 0);
    if (grown == NULL)
        return NULL;
    block.moved_to(grown);
    if (!copy_rows(screen.dc(), bitmap, block.get(), header))
        return NULL;
    return block.release();
}

HBITMAP CBmp::BitmapFromDib(HDC dc, HDIB dib) {
    if (dib == NULL)
        return NULL;
    ScopedGlobalLock lock(dib);
    if (lock.bytes() == nullptr)
        return NULL;
    const SIZE_T blockSize = GlobalSize(dib);
    const std::uint64_t needed = needed_size(lock.bytes(), blockSize);
    if (needed == 0)
        return NULL;
    if (needed <= blockSize)
        return create_bitmap(dc, lock.bytes());
    // Rows cut short, as the reader leaves them for a truncated file and for
    // every core-header file (its normalised header and table are longer
    // than the file's): the graphics interface gets a zero-padded copy, so
    // the missing rows are palette entry 0 or black, and the copy is freed
    // before the return.
    ScopedGlobalBlock copy(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(needed)));
    if (copy.get() == NULL)
        return NULL;
    ScopedGlobalLock padded(copy.get());
    if (padded.bytes() == nullptr)
        return NULL;
    std::memcpy(padded.bytes(), lock.bytes(), blockSize);
    return create_bitmap(dc, padded.bytes());
}
