// Device-independent bitmaps: GetDIBits from a device bitmap, and
// CreateDIBitmap of a device bitmap from a DIB.
#include "gdi32/gdi_private.h"

#include <algorithm>
#include <cstring>

namespace win32_standin::internal::gdi {
namespace {

constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER); // 40
constexpr std::int64_t kMaxImageSize = 0xFFFFFFFF;

// Red, green and blue masks of the 16- and 32-bit layouts.
struct Masks {
    DWORD red, green, blue;
};
constexpr Masks kMasks555 = {0x7C00, 0x03E0, 0x001F};
constexpr Masks kMasks565 = {0xF800, 0x07E0, 0x001F};
constexpr Masks kMasks888 = {0xFF0000, 0x00FF00, 0x0000FF};

// How the pixels of one DIB row are laid out.
struct PixelFormat {
    WORD bitCount;
    std::vector<RGBQUAD> colors; // 1, 4 and 8 bits
    Masks masks;                 // 16 and 32 bits
};

std::int64_t Stride(LONG width, WORD bitCount) {
    return ((static_cast<std::int64_t>(width) * bitCount + 31) >> 3) & ~std::int64_t{3};
}

std::int64_t Lines(const BITMAPINFOHEADER &header) { return std::abs(static_cast<std::int64_t>(header.biHeight)); }

std::int64_t ImageSize(const BITMAPINFOHEADER &header) {
    return Stride(header.biWidth, header.biBitCount) * Lines(header);
}

bool IsUncompressedLayout(WORD bitCount, DWORD compression) {
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        return compression == BI_RGB;
    case 16:
    case 32:
        return compression == BI_RGB || compression == BI_BITFIELDS;
    default:
        return false;
    }
}

// What Windows accepts as a DIB of rows it can address: a positive width,
// rows, planes, and an image that 32 bits can size.
bool IsAddressable(const BITMAPINFOHEADER &header) {
    return header.biWidth > 0 && header.biHeight != 0 && header.biPlanes != 0 && ImageSize(header) <= kMaxImageSize;
}

// GetDIBits sizes run-length formats (bottom-up only) but, like Wine, does
// not encode them: only a query without bits accepts them.
bool CanDescribe(const BITMAPINFOHEADER &header, bool withBits) {
    if (!IsAddressable(header))
        return false;
    if (header.biCompression == BI_RLE4 || header.biCompression == BI_RLE8)
        return !withBits && header.biHeight > 0 && header.biBitCount == (header.biCompression == BI_RLE4 ? 4 : 8);
    return IsUncompressedLayout(header.biBitCount, header.biCompression);
}

// ---- Pixels ------------------------------------------------------------------

int ShiftOf(DWORD mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int WidthOf(DWORD mask) {
    int width = 0;
    for (mask >>= ShiftOf(mask); mask & 1; mask >>= 1)
        ++width;
    return width;
}

// A channel widened to 8 bits by repeating its top bits.
BYTE Unpack(DWORD pixel, DWORD mask) {
    const int width = WidthOf(mask);
    if (width == 0)
        return 0;
    const DWORD value = (pixel & mask) >> ShiftOf(mask);
    if (width >= 8)
        return static_cast<BYTE>(value >> (width - 8));
    DWORD widened = value << (8 - width);
    for (int have = width; have < 8; have += have)
        widened |= widened >> have;
    return static_cast<BYTE>(widened);
}

DWORD Pack(BYTE value, DWORD mask) {
    const int width = WidthOf(mask);
    const DWORD scaled = width >= 8 ? DWORD{value} << (width - 8) : DWORD{value} >> (8 - width);
    return (scaled << ShiftOf(mask)) & mask;
}

DWORD LoadLittleEndian(const BYTE *at, int bytes) {
    DWORD value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

void StoreLittleEndian(BYTE *at, int bytes, DWORD value) {
    for (int i = 0; i < bytes; ++i, value >>= 8)
        at[i] = static_cast<BYTE>(value);
}

// Index formats pack pixels into bytes from the most significant bits on.
int IndexAt(const BYTE *row, LONG x, WORD bitCount) {
    const int perByte = 8 / bitCount;
    const int shift = 8 - bitCount * (1 + x % perByte);
    return (row[x / perByte] >> shift) & ((1 << bitCount) - 1);
}

void SetIndexAt(BYTE *row, LONG x, WORD bitCount, int index) {
    const int perByte = 8 / bitCount;
    const int shift = 8 - bitCount * (1 + x % perByte);
    const int mask = ((1 << bitCount) - 1) << shift;
    BYTE &byte = row[x / perByte];
    byte = static_cast<BYTE>((byte & ~mask) | ((index << shift) & mask));
}

Rgb ReadPixel(const BYTE *row, LONG x, const PixelFormat &format) {
    switch (format.bitCount) {
    case 24:
        return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    case 16:
    case 32: {
        const int bytes = format.bitCount / 8;
        const DWORD pixel = LoadLittleEndian(row + bytes * x, bytes);
        return {Unpack(pixel, format.masks.red), Unpack(pixel, format.masks.green), Unpack(pixel, format.masks.blue)};
    }
    default: {
        // Indexes past the table read as black, the zeros of an unused entry.
        const std::size_t index = IndexAt(row, x, format.bitCount);
        return index < format.colors.size() ? ColorOf(format.colors[index]) : Rgb{};
    }
    }
}

void WritePixel(BYTE *row, LONG x, Rgb colour, const PixelFormat &format) {
    switch (format.bitCount) {
    case 24:
        row[3 * x] = colour.blue;
        row[3 * x + 1] = colour.green;
        row[3 * x + 2] = colour.red;
        return;
    case 16:
    case 32: {
        const Masks &masks = format.masks;
        const DWORD pixel =
            Pack(colour.red, masks.red) | Pack(colour.green, masks.green) | Pack(colour.blue, masks.blue);
        StoreLittleEndian(row + format.bitCount / 8 * x, format.bitCount / 8, pixel);
        return;
    }
    default:
        SetIndexAt(row, x, format.bitCount, NearestIndex(format.colors, colour));
    }
}

// ---- GetDIBits -----------------------------------------------------------------

Masks MasksWritten(const BITMAPINFOHEADER &header) {
    if (header.biBitCount == 32)
        return kMasks888;
    return header.biCompression == BI_BITFIELDS ? kMasks565 : kMasks555;
}

// The colour table (1, 4, 8 bits) goes behind the header, wherever its size
// puts it; bit-field masks always go at bmiColors.
void WriteColorInfo(BITMAPINFO *info) {
    const BITMAPINFOHEADER &header = info->bmiHeader;
    const std::vector<RGBQUAD> &table = DefaultColorTable(header.biBitCount);
    BYTE *colors = reinterpret_cast<BYTE *>(info) + header.biSize;
    if (!table.empty())
        std::memcpy(colors, table.data(), table.size() * sizeof(RGBQUAD));
    if (header.biCompression == BI_BITFIELDS) {
        const Masks masks = MasksWritten(header);
        std::memcpy(info->bmiColors, &masks, sizeof masks);
    }
}

// Scan lines count from the bottom in either row order; lines that lie
// below the bitmap, and columns right of it, are zeros. Returns the lines
// that came from the bitmap.
int CopyRows(const DeviceBitmap &source, UINT startScan, UINT lines, BYTE *bits, const BITMAPINFOHEADER &header) {
    const PixelFormat format{header.biBitCount, DefaultColorTable(header.biBitCount), MasksWritten(header)};
    const std::int64_t height = Lines(header);
    const std::int64_t stride = Stride(header.biWidth, header.biBitCount);
    const std::int64_t count = std::min<std::int64_t>(lines, height - startScan);
    const LONG width = std::min(header.biWidth, source.width);
    int copied = 0;
    for (std::int64_t k = 0; k < count; ++k) {
        const std::int64_t y = height - 1 - startScan - k; // top-down row
        BYTE *row = bits + stride * (header.biHeight > 0 ? k : count - 1 - k);
        std::memset(row, 0, static_cast<std::size_t>(stride));
        if (y >= source.height)
            continue;
        const Rgb *pixels = &source.pixels[static_cast<std::size_t>(y) * source.width];
        for (LONG x = 0; x < width; ++x)
            WritePixel(row, x, pixels[x], format);
        ++copied;
    }
    return copied;
}

// ---- CreateDIBitmap -------------------------------------------------------------

PixelFormat FormatRead(const BITMAPINFO *info) {
    const BITMAPINFOHEADER &header = info->bmiHeader;
    PixelFormat format{header.biBitCount, {}, header.biBitCount == 16 ? kMasks555 : kMasks888};
    if (header.biCompression == BI_BITFIELDS)
        std::memcpy(&format.masks, info->bmiColors, sizeof format.masks);
    if (header.biBitCount <= 8) {
        const DWORD most = DWORD{1} << header.biBitCount;
        const DWORD used = header.biClrUsed ? std::min(header.biClrUsed, most) : most;
        const auto *colors = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(info) + header.biSize);
        format.colors.assign(colors, colors + used);
    }
    return format;
}

// Run-length DIBs are not decoded here (Windows decodes them).
bool SetRows(DeviceBitmap &target, const void *bits, const BITMAPINFO *info, UINT usage) {
    if (!bits || !info || usage != DIB_RGB_COLORS || info->bmiHeader.biSize < kInfoHeaderSize)
        return false;
    const BITMAPINFOHEADER &header = info->bmiHeader;
    if (!IsAddressable(header) || !IsUncompressedLayout(header.biBitCount, header.biCompression))
        return false;
    const PixelFormat format = FormatRead(info);
    const std::int64_t height = Lines(header);
    const std::int64_t stride = Stride(header.biWidth, header.biBitCount);
    const LONG width = std::min(header.biWidth, target.width);
    for (std::int64_t y = 0; y < std::min<std::int64_t>(height, target.height); ++y) {
        const std::int64_t scan = header.biHeight > 0 ? height - 1 - y : y;
        const BYTE *row = static_cast<const BYTE *>(bits) + stride * scan;
        Rgb *pixels = &target.pixels[static_cast<std::size_t>(y) * target.width];
        for (LONG x = 0; x < width; ++x)
            pixels[x] = ReduceToDepth(ReadPixel(row, x, format), target.bitsPixel);
    }
    return true;
}

} // namespace
} // namespace win32_standin::internal::gdi

using namespace win32_standin::internal::gdi;
using win32_standin::Call;

// GetDIBits (gdi32.@)
// Without bits (or without lines) the header is completed: biSizeImage is
// the uncompressed image size even for run-length formats, biClrUsed
// becomes 0 and the colour table or masks are written; the result is then
// 1. With bits the rows are copied too and the result is the number of
// lines copied. Only DIB_RGB_COLORS and 40-byte or larger headers with a
// bit count are part of the subset.
extern "C" int WINAPI GetDIBits(HDC dc, HBITMAP bitmap, UINT startScan, UINT lines, LPVOID bits, LPBITMAPINFO info,
                                UINT usage) {
    if (win32_standin::internal::FaultFires(Call::GetDIBits)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!info || info->bmiHeader.biSize < kInfoHeaderSize || usage != DIB_RGB_COLORS)
        return 0;
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (!table.Find<DeviceContext>(dc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const DeviceBitmap *source = table.Find<DeviceBitmap>(bitmap);
    BITMAPINFOHEADER &header = info->bmiHeader;
    if (lines == 0 || startScan >= Lines(header))
        bits = nullptr;
    if (!source || !CanDescribe(header, bits != nullptr))
        return 0;
    const int result = bits ? CopyRows(*source, startScan, lines, static_cast<BYTE *>(bits), header) : 1;
    WriteColorInfo(info);
    header.biClrUsed = 0;
    const bool leaveZero = !bits && win32_standin::internal::SizeImageLeftZero();
    header.biSizeImage = leaveZero ? 0 : static_cast<DWORD>(ImageSize(header));
    return result;
}

// CreateDIBitmap (gdi32.@)
// The bitmap has the screen's depth, or is monochrome when no DC is given;
// with CBM_INIT its pixels come from the DIB, mapped to the colours the
// depth can show.
extern "C" HBITMAP WINAPI CreateDIBitmap(HDC dc, const BITMAPINFOHEADER *header, DWORD init, const void *bits,
                                         const BITMAPINFO *info, UINT usage) {
    if (!header || header->biSize < kInfoHeaderSize || header->biWidth < 0 || Lines(*header) > 0x7FFFFFFF)
        return nullptr;
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (dc && !table.Find<DeviceContext>(dc))
        return nullptr;
    const WORD depth = dc ? ScreenDepth() : 1;
    const HBITMAP made = NewDeviceBitmap(table, header->biWidth, static_cast<int>(Lines(*header)), depth);
    if (made && (init & CBM_INIT) && !SetRows(*table.Find<DeviceBitmap>(made), bits, info, usage)) {
        table.Remove(made);
        return nullptr;
    }
    return made;
}
