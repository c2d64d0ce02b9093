// The DIB file reader: CBmp::ReadDibBitmapInfo, CBmp::DibInfo, CBmp::ReadDIB.
//
// A BMP file becomes one movable, zero-initialised block: a 40-byte
// BITMAPINFOHEADER (a core header is widened to it), the colour table in
// 4-byte entries, then the pixel bytes, moved in one read and never
// interpreted here. The block's size, not biSizeImage, bounds the pixels it
// holds: the file's real size decides it.
#include <cstdint>
#include <cstring>

#include "bmpio/bmp.h"
#include "bmpio/handles.h"
#include "bmpio/status.h"

namespace dirira {
namespace {

constexpr WORD kBitmapSignature = 0x4D42;                      // "BM" read as a little-endian WORD
constexpr DWORD kFileHeaderSize = sizeof(BITMAPFILEHEADER);    // 14
constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER);    // 40
constexpr DWORD kCoreHeaderSize = sizeof(BITMAPCOREHEADER);    // 12
constexpr UINT kDibAllocFlags = GMEM_MOVEABLE | GMEM_ZEROINIT; // 0x0042

// Bytes of the rows as the reader works them out: 32-bit unsigned arithmetic
// that wraps, with a logical shift. A negative height (top-down rows) thus
// gives a huge value; the file's size overrides it in ReadDIB.
DWORD wrapped_image_size(WORD bitCount, LONG width, LONG height) {
    const DWORD rowBits = DWORD{bitCount} * static_cast<DWORD>(width) + 31u;
    return (rowBits >> 5) * static_cast<DWORD>(height) * 4u;
}

// The same size as DibInfo works it out: signed 32-bit arithmetic whose
// division truncates toward zero. Each step wraps like the 32-bit machine
// arithmetic it reproduces (going through unsigned keeps C++ well defined).
LONG signed_wrap(std::int64_t value) { return static_cast<LONG>(static_cast<DWORD>(value)); }

DWORD signed_image_size(WORD bitCount, LONG width, LONG height) {
    const LONG rowBits = signed_wrap(signed_wrap(std::int64_t{bitCount} * width) + std::int64_t{31});
    const LONG rowWords = rowBits / 32;
    return static_cast<DWORD>(signed_wrap(std::int64_t{signed_wrap(std::int64_t{rowWords} * height)} * 4));
}

WORD colour_count(const void *header) { return DibNumColors(header); }

DWORD palette_bytes(const void *header) { return PaletteSize(header) & 0xFFFFu; }

DWORD file_position(HANDLE file) { return SetFilePointer(file, 0, NULL, FILE_CURRENT); }

// Moves to an absolute position that may lie beyond 2 GiB.
void seek_to(HANDLE file, std::uint64_t position) {
    LONG high = static_cast<LONG>(position >> 32);
    SetFilePointer(file, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
}

// A header read counts as failed when the call fails or, since the fields
// past the end of a short file would be undefined, when it stops early.
bool read_exactly(HANDLE file, void *buffer, DWORD bytes) {
    DWORD got = 0;
    return ReadFile(file, buffer, bytes, &got, NULL) && got == bytes;
}

// The widening of a core header into the information header, reading every
// core field before the record is overwritten.
void widen_core_header(BITMAPINFOHEADER &info, WORD entries) {
    BITMAPCOREHEADER core;
    std::memcpy(&core, &info, sizeof core);
    info = BITMAPINFOHEADER{};
    info.biSize = kInfoHeaderSize;
    info.biWidth = core.bcWidth;
    info.biHeight = core.bcHeight;
    info.biPlanes = core.bcPlanes;
    info.biBitCount = core.bcBitCount;
    info.biClrUsed = entries;
    info.biClrImportant = entries;
}

// Widens n 3-byte entries at the start of `table` to 4-byte entries in
// place. Going from the last entry down, no entry is overwritten before it
// has been read, so no second buffer is needed.
void widen_core_table(BYTE *table, WORD entries) {
    for (int i = entries - 1; i >= 0; --i) {
        const BYTE blue = table[3 * i], green = table[3 * i + 1], red = table[3 * i + 2];
        BYTE *entry = table + 4 * i;
        entry[0] = blue;
        entry[1] = green;
        entry[2] = red;
        entry[3] = 0;
    }
}

// The colour table is read straight into its place. Whatever a short file
// does not deliver stays zero, as the block was zero-initialised; the read's
// result is deliberately not examined.
void read_colour_table(HANDLE file, BYTE *table, WORD entries, bool coreTable) {
    DWORD got = 0;
    const DWORD entryBytes = coreTable ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD);
    ReadFile(file, table, entryBytes * entries, &got, NULL);
    if (coreTable)
        widen_core_table(table, entries);
}

} // namespace
} // namespace dirira

using namespace dirira;

int CBmp::ReadDibBitmapInfo(HANDLE file, HDIB *dib) {
    const DWORD start = file_position(file);

    BITMAPFILEHEADER fileHeader;
    if (!read_exactly(file, &fileHeader, kFileHeaderSize))
        return kBmpReadFailed;
    if (fileHeader.bfType != kBitmapSignature) {
        // No file header: a bare DIB, whose header starts where we began.
        fileHeader.bfOffBits = 0;
        seek_to(file, start);
    }
    const DWORD headerStart = file_position(file);

    // 40 bytes whatever the header's kind: a core header is recognised by
    // its size field, and the colour count is taken from these bytes as read.
    BITMAPINFOHEADER info{};
    DWORD got = 0;
    if (!ReadFile(file, &info, kInfoHeaderSize, &got, NULL) || got < sizeof info.biSize)
        return kBmpReadFailed;
    const WORD entries = colour_count(&info);
    const DWORD headerSize = info.biSize;
    if (headerSize == kCoreHeaderSize) {
        if (got < kCoreHeaderSize)
            return kBmpReadFailed;
        widen_core_header(info, entries);
        // Back to the first byte after the 12-byte header. Absolute, so that
        // a 40-byte read cut short by the end of the file lands there too.
        seek_to(file, std::uint64_t{headerStart} + kCoreHeaderSize);
    } else if (headerSize != kInfoHeaderSize) {
        return kBmpBadHeaderSize;
    } else if (got < kInfoHeaderSize) {
        return kBmpReadFailed;
    }

    if (info.biSizeImage == 0)
        info.biSizeImage = wrapped_image_size(info.biBitCount, info.biWidth, info.biHeight);
    if (info.biClrUsed == 0)
        info.biClrUsed = colour_count(&info);

    // The table always has the count decided from the header as it stood in
    // the file, whatever biClrUsed now says.
    HGLOBAL block = GlobalAlloc(kDibAllocFlags, kInfoHeaderSize + sizeof(RGBQUAD) * std::size_t{entries});
    if (block == NULL)
        return kBmpNoMemory;
    {
        ScopedGlobalLock lock(block);
        if (lock.bytes() == nullptr) {
            GlobalFree(block);
            return kBmpNoMemory;
        }
        std::memcpy(lock.bytes(), &info, sizeof info);
        if (entries != 0)
            read_colour_table(file, lock.bytes() + kInfoHeaderSize, entries, headerSize == kCoreHeaderSize);
    }
    if (fileHeader.bfOffBits != 0)
        seek_to(file, std::uint64_t{start} + fileHeader.bfOffBits);
    *dib = block;
    return kBmpOk;
}

int CBmp::DibInfo(HANDLE dib, BITMAPINFOHEADER *info) {
    if (dib == NULL)
        return 0;
    ScopedGlobalLock lock(dib);
    if (lock.bytes() == nullptr)
        return 0; // not a live block: nothing to copy
    std::memcpy(info, lock.bytes(), sizeof *info);
    if (info->biSize != kCoreHeaderSize) { // a core header gets no defaults
        if (info->biSizeImage == 0)
            info->biSizeImage = signed_image_size(info->biBitCount, info->biWidth, info->biHeight);
        if (info->biClrUsed == 0)
            info->biClrUsed = colour_count(info);
    }
    return 1;
}

namespace dirira {
namespace {

// Reads the pixel bytes into the block behind its colour table, as many as
// the block holds there, in one read whose result is deliberately not
// examined: what a short file does not deliver stays zero. That count is
// the contract's: biSizeImage when the file's size matched, else the file's
// size less header and table, the block's size less the same in both cases.
// False only when the block cannot be locked.
bool read_pixels(HANDLE file, HGLOBAL block, DWORD blockSize) {
    ScopedGlobalLock lock(block);
    if (lock.bytes() == nullptr)
        return false;
    BITMAPINFOHEADER header;
    std::memcpy(&header, lock.bytes(), sizeof header);
    // Within the block: ReadDIB refuses a file shorter than header and table.
    const DWORD offset = header.biSize + palette_bytes(&header);
    DWORD got = 0;
    ReadFile(file, lock.bytes() + offset, blockSize - offset, &got, NULL);
    return true;
}

} // namespace
} // namespace dirira

int CBmp::ReadDIB(const char *path, HDIB *dib) {
    *dib = NULL;
    ScopedFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.is_open())
        return kBmpCannotOpen;

    HDIB block = NULL;
    const int status = ReadDibBitmapInfo(file.get(), &block);
    if (status != kBmpOk)
        return status;

    BITMAPINFOHEADER info;
    if (!DibInfo(block, &info)) { // a block that cannot be locked
        GlobalFree(block);
        return kBmpNoMemory;
    }
    const DWORD headerAndTable = info.biSize + palette_bytes(&info);
    DWORD length = headerAndTable + info.biSizeImage; // wraps like the 32-bit original

    // The file's size wins over the header's: a file header, a gap before
    // the pixels, a lying or wrapped biSizeImage or a truncated file all make
    // the block as large as the file and the read as long as what follows
    // header and table. Only these local counts change; the block's header
    // keeps its biSizeImage.
    const DWORD fileSize = GetFileSize(file.get(), NULL);
    if (fileSize != length)
        length = fileSize;
    // A file too short for its own header and colour table has no pixels to
    // give; a block cut below its header would be unusable to every reader.
    if (fileSize < headerAndTable) {
        GlobalFree(block);
        return kBmpReadFailed;
    }

    HGLOBAL resized = GlobalReAlloc(block, length, kDibAllocFlags);
    if (resized == NULL) {
        GlobalFree(block); // the block as it was before the attempt
        return kBmpNoMemory;
    }
    if (!read_pixels(file.get(), resized, length)) {
        GlobalFree(resized);
        return kBmpNoMemory;
    }
    *dib = resized;
    return kBmpOk;
}
