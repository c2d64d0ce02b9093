// The entry on records of the test's own beside another module; the layouts the host relies on, on every target.
#include <gtest/gtest.h>

#include <afx_standin.h>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include <dirira/dirira.h>

#include "module/entry.h"

// Attach links this module's entry unless registration fails or memory for it runs out (the load goes on); a failed
// attach and the thread reasons leave the record alone; detach unlinks only this module's entry.
TEST(ModuleEntry, EveryReasonLeavesTheChainAsPromised) {
    const auto self = HINSTANCE(0x10000), other = HINSTANCE(0x20000);
    AFX_EXTENSION_MODULE host = {TRUE, other, other, nullptr, nullptr};
    new CDynLinkLibrary(host);
    const struct {
        const char *name;
        DWORD reason;
        void (*fault)();
        BOOL result;
        int linked;
    } cases[] = {
        {"attach", DLL_PROCESS_ATTACH, [] {}, TRUE, 1},
        {"registration fails", DLL_PROCESS_ATTACH, afx_standin::FailNextExtensionInit, FALSE, 0},
        {"no memory for the chain entry", DLL_PROCESS_ATTACH, [] { afx_standin::FailNthAllocation(1); }, TRUE, 0},
        {"thread attach", DLL_THREAD_ATTACH, [] {}, TRUE, 0},
        {"thread detach", DLL_THREAD_DETACH, [] {}, TRUE, 0}};
    for (const auto &c : cases) {
        AFX_EXTENSION_MODULE record;
        std::memset(&record, c.reason == DLL_PROCESS_ATTACH ? 0 : 0x5A, sizeof record);
        const AFX_EXTENSION_MODULE before = record;
        const int chain = afx_standin::LibraryChainLength();
        const long live = afx_standin::LiveAllocations();
        c.fault();
        EXPECT_EQ(dirira::module_entry(record, self, c.reason), c.result) << c.name;
        afx_standin::ClearFaults();
        const CDynLinkLibrary *head = AfxGetModuleState()->m_libraryList.GetHead();
        EXPECT_TRUE(afx_standin::LibraryChainLength() == chain + c.linked &&
                    head->m_hModule == (c.linked ? self : other) && !head->m_bSystem)
            << c.name;
        EXPECT_TRUE((c.result && c.reason == DLL_PROCESS_ATTACH) || std::memcmp(&record, &before, sizeof record) == 0)
            << c.name;
        EXPECT_EQ(dirira::module_entry(record, self, DLL_PROCESS_DETACH), TRUE) << c.name;
        EXPECT_EQ(std::make_pair(afx_standin::LibraryChainLength(), afx_standin::LiveAllocations()),
                  std::make_pair(chain, live))
            << c.name;
    }
    AfxTermExtensionModule(host);
}

#if defined(__GNUC__) // the exported records are not standard-layout; every compiler used answers by the ABI
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif

namespace {

constexpr std::size_t P = sizeof(void *); // 4 or 8: the virtual-table pointer leads every polymorphic record

static_assert(sizeof(BITMAPFILEHEADER) == 14 && offsetof(BITMAPFILEHEADER, bfSize) == 2 &&
                  offsetof(BITMAPFILEHEADER, bfReserved1) == 6 && offsetof(BITMAPFILEHEADER, bfReserved2) == 8 &&
                  offsetof(BITMAPFILEHEADER, bfOffBits) == 10,
              "BITMAPFILEHEADER");
static_assert(sizeof(BITMAPINFOHEADER) == 40 && offsetof(BITMAPINFOHEADER, biWidth) == 4 &&
                  offsetof(BITMAPINFOHEADER, biHeight) == 8 && offsetof(BITMAPINFOHEADER, biPlanes) == 12 &&
                  offsetof(BITMAPINFOHEADER, biBitCount) == 14 && offsetof(BITMAPINFOHEADER, biCompression) == 16 &&
                  offsetof(BITMAPINFOHEADER, biSizeImage) == 20 && offsetof(BITMAPINFOHEADER, biXPelsPerMeter) == 24 &&
                  offsetof(BITMAPINFOHEADER, biYPelsPerMeter) == 28 && offsetof(BITMAPINFOHEADER, biClrUsed) == 32 &&
                  offsetof(BITMAPINFOHEADER, biClrImportant) == 36,
              "BITMAPINFOHEADER");
static_assert(sizeof(BITMAPCOREHEADER) == 12 && offsetof(BITMAPCOREHEADER, bcWidth) == 4 &&
                  offsetof(BITMAPCOREHEADER, bcHeight) == 6 && offsetof(BITMAPCOREHEADER, bcPlanes) == 8 &&
                  offsetof(BITMAPCOREHEADER, bcBitCount) == 10 && sizeof(RGBQUAD) == 4 && sizeof(RGBTRIPLE) == 3 &&
                  offsetof(BITMAPINFO, bmiColors) == 40,
              "BITMAPCOREHEADER, colour entries");
// BITMAP: six 32/16-bit fields, then the pixel pointer (24 bytes in a 32-bit process, 32 in a 64-bit one).
static_assert(offsetof(BITMAP, bmWidthBytes) == 12 && offsetof(BITMAP, bmPlanes) == 16 &&
                  offsetof(BITMAP, bmBitsPixel) == 18 && offsetof(BITMAP, bmBits) == (P == 4 ? 20 : 24) &&
                  sizeof(BITMAP) == (P == 4 ? 24 : 32),
              "BITMAP");
static_assert(offsetof(CVmBlock, BlockType) == P && offsetof(CVmBlock, SlotIndex) == P + 4 && sizeof(CVmBlock) == P + 8,
              "CVmBlock");
static_assert(offsetof(CVmHandle, BlockCount) == P && offsetof(CVmHandle, Blocks) == 2 * P &&
                  sizeof(CVmHandle) == 3 * P,
              "CVmHandle: the block pointer is aligned to its own size");
static_assert(offsetof(CVmMemory, LockCount) == P && offsetof(CVmMemory, Block) == P + 4 &&
                  offsetof(CVmMemory, Plane) == P + 8 && offsetof(CVmMemory, FirstRow) == P + 12 &&
                  offsetof(CVmMemory, Newer) == P + 16 && offsetof(CVmMemory, Older) == P + 20 &&
                  offsetof(CVmMemory, Dirty) == P + 24 && offsetof(CVmMemory, Loads) == P + 28,
              "CVmMemory: eight 32-bit fields");
static_assert(offsetof(CVmManager, BlockSize) == 0, "CVmManager");
// CfPoint: the table pointer, the POINT, then two doubles aligned to 8 (on 32-bit Windows as well).
// CImage: the table pointer and the store, six ints, two doubles, three ints, then the eight type strings and the
// level arrays' pointers right after them.
static_assert(offsetof(CImage, Store) == P && offsetof(CImage, BitsPixel) == 2 * P &&
                  offsetof(CImage, Bscale) == 2 * P + 24 && offsetof(CImage, Extend) == 2 * P + 48 &&
                  std::extent_v<decltype(CImage::Type)> == 8 &&
                  offsetof(CImage, LevelMin) == offsetof(CImage, Type) + 8 * sizeof(CString),
              "CImage");
static_assert(offsetof(CfPoint, x) == P && offsetof(CfPoint, y) == P + 4 && offsetof(CfPoint, fx) == 16 &&
                  offsetof(CfPoint, fy) == 24 && sizeof(CfPoint) == 32,
              "CfPoint");

} // namespace
