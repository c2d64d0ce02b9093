// The layouts the host relies on, on every target built; the exported records' pointer-sized members move with it.
#include <cstddef>

#include <dirira/dirira.h>

#if defined(__GNUC__)  // the exported records are not standard-layout; every compiler used answers by the ABI
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif

namespace {

constexpr std::size_t P = sizeof(void *);  // 4 or 8: the virtual-table pointer leads every polymorphic record

static_assert(sizeof(BITMAPFILEHEADER) == 14 && offsetof(BITMAPFILEHEADER, bfSize) == 2 && offsetof(BITMAPFILEHEADER, bfReserved1) == 6 &&
              offsetof(BITMAPFILEHEADER, bfReserved2) == 8 && offsetof(BITMAPFILEHEADER, bfOffBits) == 10, "BITMAPFILEHEADER");
static_assert(sizeof(BITMAPINFOHEADER) == 40 && offsetof(BITMAPINFOHEADER, biWidth) == 4 && offsetof(BITMAPINFOHEADER, biHeight) == 8 &&
              offsetof(BITMAPINFOHEADER, biPlanes) == 12 && offsetof(BITMAPINFOHEADER, biBitCount) == 14 &&
              offsetof(BITMAPINFOHEADER, biCompression) == 16 && offsetof(BITMAPINFOHEADER, biSizeImage) == 20 &&
              offsetof(BITMAPINFOHEADER, biXPelsPerMeter) == 24 && offsetof(BITMAPINFOHEADER, biYPelsPerMeter) == 28 &&
              offsetof(BITMAPINFOHEADER, biClrUsed) == 32 && offsetof(BITMAPINFOHEADER, biClrImportant) == 36, "BITMAPINFOHEADER");
static_assert(sizeof(BITMAPCOREHEADER) == 12 && offsetof(BITMAPCOREHEADER, bcWidth) == 4 && offsetof(BITMAPCOREHEADER, bcHeight) == 6 &&
              offsetof(BITMAPCOREHEADER, bcPlanes) == 8 && offsetof(BITMAPCOREHEADER, bcBitCount) == 10, "BITMAPCOREHEADER");
static_assert(sizeof(RGBQUAD) == 4 && sizeof(RGBTRIPLE) == 3 && offsetof(BITMAPINFO, bmiColors) == 40, "colour entries");
// BITMAP: six 32/16-bit fields, then the pixel pointer (24 bytes in a 32-bit process, 32 in a 64-bit one).
static_assert(offsetof(BITMAP, bmWidthBytes) == 12 && offsetof(BITMAP, bmPlanes) == 16 && offsetof(BITMAP, bmBitsPixel) == 18 &&
              offsetof(BITMAP, bmBits) == (P == 4 ? 20 : 24) && sizeof(BITMAP) == (P == 4 ? 24 : 32), "BITMAP");
static_assert(offsetof(CVmBlock, BlockType) == P && offsetof(CVmBlock, SlotIndex) == P + 4 && sizeof(CVmBlock) == P + 8, "CVmBlock");
static_assert(offsetof(CVmHandle, BlockCount) == P && offsetof(CVmHandle, Blocks) == 2 * P && sizeof(CVmHandle) == 3 * P,
              "CVmHandle: the block pointer is aligned to its own size");
static_assert(offsetof(CVmMemory, LockCount) == P && offsetof(CVmMemory, Block) == P + 4 && offsetof(CVmMemory, Plane) == P + 8 &&
              offsetof(CVmMemory, FirstRow) == P + 12 && offsetof(CVmMemory, Newer) == P + 16 && offsetof(CVmMemory, Older) == P + 20 &&
              offsetof(CVmMemory, Dirty) == P + 24 && offsetof(CVmMemory, Loads) == P + 28, "CVmMemory: eight 32-bit fields");
static_assert(offsetof(CVmManager, BlockSize) == 0, "CVmManager");
// CfPoint: the table pointer, the POINT, then two doubles aligned to 8 (on 32-bit Windows as well).
static_assert(offsetof(CfPoint, x) == P && offsetof(CfPoint, y) == P + 4 && offsetof(CfPoint, fx) == 16 && offsetof(CfPoint, fy) == 24 &&
              sizeof(CfPoint) == 32, "CfPoint");

}  // namespace
