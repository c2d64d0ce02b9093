// Device-dependent bitmaps of the screen's depth and monochrome ones.
#include "gdi32/gdi_private.h"

namespace win32_standin::internal::gdi {
namespace {

// Windows keeps a device bitmap's pixels in one allocation of at most 2 GiB.
constexpr std::int64_t kMaxPixels = std::int64_t{0x7FFFFFFF} / 4;

// 5 bits of red, 6 of green, 5 of blue, widened back to 8 by repeating the
// top bits, as a 16-bit display shows them.
BYTE Through(BYTE value, int bits) {
    const int kept = value >> (8 - bits);
    return static_cast<BYTE>((kept << (8 - bits)) | (kept >> (2 * bits - 8)));
}

Rgb Nearest(const std::vector<RGBQUAD> &table, Rgb colour) { return ColorOf(table[NearestIndex(table, colour)]); }

} // namespace

Rgb ReduceToDepth(Rgb colour, WORD bitsPixel) {
    switch (bitsPixel) {
    case 1:
    case 8:
        return Nearest(DefaultColorTable(bitsPixel), colour);
    case 16:
        return {Through(colour.red, 5), Through(colour.green, 6), Through(colour.blue, 5)};
    default:
        return colour;
    }
}

HBITMAP NewDeviceBitmap(ObjectTable &table, int width, int height, WORD bitsPixel) {
    if (width <= 0 || height <= 0 || static_cast<std::int64_t>(width) * height > kMaxPixels) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DeviceBitmap bitmap{width, height, bitsPixel, std::vector<Rgb>(static_cast<std::size_t>(width) * height, Rgb{})};
    return static_cast<HBITMAP>(table.Add(std::move(bitmap)));
}

} // namespace win32_standin::internal::gdi

using namespace win32_standin::internal::gdi;

// CreateBitmap (gdi32.@)
// Monochrome or of the screen's depth, one plane, black. Initial bits in
// the device's own format are not part of the subset: bitmaps get their
// pixels from DIBs.
extern "C" HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void *bits) {
    if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != ScreenDepth()) || bits) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ObjectTable &table = Objects();
    std::lock_guard<std::mutex> hold(table.mutex);
    return NewDeviceBitmap(table, width, height, static_cast<WORD>(bitsPerPixel));
}
