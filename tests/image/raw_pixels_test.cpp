// Raw samples of any BITPIX against a decoder written from the sample
// table, addressing by sample size, the store reached through the image,
// and the store's bookkeeping records.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <tuple>

#include "image/stl_image.h"
#include "image/vm_store.h"
#include "siblings/zircim/vm_seams.h"

namespace {

// The sample table: the raw type by BITPIX and Signed (8 bits are unsigned
// whatever the flag; unsigned 32 bits are 0..2^32-1), then the product
// rounded to double before BZERO is added. Other BITPIX values give 0.
template <typename T> double as(const unsigned char *at) { T value; return std::memcpy(&value, at, sizeof value), double(value); }
double decoded(const unsigned char *at, int bitsPixel, int isSigned, double bscale, double bzero) {
    const double raw = bitsPixel == 8 ? at[0] : bitsPixel == 16 ? (isSigned ? as<std::int16_t>(at) : as<std::uint16_t>(at))
                     : bitsPixel == 32 ? (isSigned ? as<std::int32_t>(at) : as<std::uint32_t>(at))
                     : bitsPixel == -32 ? as<float>(at) : bitsPixel == -64 ? as<double>(at) : 0.0;
    volatile double product = raw * bscale;
    return bitsPixel == 8 || bitsPixel == 16 || bitsPixel == 32 || bitsPixel == -32 || bitsPixel == -64 ? product + bzero : 0.0;
}

// Seeded bytes (all ones, sign bits alone, anything) and scalings whose
// last bits show the order of the operations and the precision used.
TEST(RawPixels, DecodeAgreesWithTheSampleTable) {
    std::mt19937 rng(2212);
    const int bitpix[] = {8, 16, 32, -32, -64, 24, 64, 0, -16};
    for (int i = 0; i < 4000; ++i) {
        unsigned char bytes[8];
        for (unsigned char &b : bytes) b = static_cast<unsigned char>(rng());
        if (i % 5 == 0) std::memset(bytes, i % 2 ? 0xFF : 0x00, 8), bytes[i % 8] ^= i % 3 ? 0x80 : 0;
        const int bitsPixel = bitpix[rng() % 9], isSigned = int(rng() % 3) - 1;
        const double bscale = i % 7 == 0 ? 1 : std::ldexp(double(rng()) / 0xFFFFFFFFu, int(rng() % 40) - 20) - 0.3;
        const double bzero = i % 11 == 0 ? 32768 : (double(rng()) - 2147483648.0) / 3;
        CImage image;
        image.SetBitsPixel(bitsPixel), image.SetSigned(isSigned), image.SetBscale(bscale), image.SetBzero(bzero);
        const double want = decoded(bytes, bitsPixel, isSigned, bscale, bzero), have = image.GetPixel(bytes);
        ASSERT_TRUE(std::memcmp(&want, &have, 8) == 0 || (std::isnan(want) && std::isnan(have)))
            << "BITPIX " << bitsPixel << " Signed " << isSigned << ": want " << want << ", have " << have;
    }
}

// |BITPIX| / 8, remainder dropped, INT_MIN included; steps and the image
// size (3 x 16384 x 65537 x 4, wrapping to 3 x 65536 in 32 bits) follow it. A
// 16-bit signed image written at the store's addresses reads back by
// position, scaled; locks taken through the image go back through it with
// the store's own results (locks left, then -1 for a spent token).
TEST(RawPixels, SampleSizeStepsPositionsAndLocks) {
    const std::pair<int, int> bytes[] = {{8, 1}, {-64, 8}, {-12, 1}, {15, 1}, {7, 0}, {-7, 0}, {INT_MIN, 268435456}};
    CImage image;
    for (const auto &[bitsPixel, expected] : bytes)
        EXPECT_EQ((image.SetBitsPixel(bitsPixel), image.GetBytesPixel()), expected) << bitsPixel;
    unsigned char row[32] = {};
    image.SetBitsPixel(-64);
    EXPECT_TRUE(image.GetNextAdr(row + 8) == row + 16 && image.GetPrevAdr(row + 8) == row);
    image.SetBitsPixel(-32), image.SetWidth(65537), image.SetHeight(16384), image.SetPlanes(3);
    EXPECT_EQ(image.GetImageSize(), 196608u);
    ASSERT_NE(image.Create(3, 2, 2, 16), 0);
    image.SetSigned(1), image.SetBscale(0.5), image.SetBzero(10);
    void *first = nullptr, *second = nullptr;
    std::int16_t *p = reinterpret_cast<std::int16_t *>(image.GetImageAdr(0, 1, 1, 0, &first));
    p[0] = -4, p[2] = 300;
    EXPECT_EQ((std::vector<double>{image.GetPixel(0, 1, 1), image.GetPixel(2, 1, 1), image.GetPixel(0, 1, 0)}),
              (std::vector<double>{8.0, 160.0, 10.0}));
    ASSERT_NE(image.GetImageAdr(1, 1, 1, 1, &second), nullptr);
    image.GetImageAdr(0, 1, 0, 0, NULL);  // both planes in memory, for reading and writing: outside is still NULL
    for (const auto &[x, y, plane] : {std::tuple{3, 0, 0}, {0, 2, 0}, {2, 1, 2}, {-1, 0, 0}})
        EXPECT_EQ(image.GetImageAdr(x, y, plane, 1, NULL), nullptr) << x << ", " << y << ", " << plane;
    EXPECT_EQ((std::vector<int>{image.Unlock(first), image.Unlock(second), image.Unlock(second)}), (std::vector<int>{1, 0, -1}));
    image.GetImageAdr(2, 0, 0, 1, &first), image.UnlockAll();
    EXPECT_EQ(image.Unlock(first), -1) << "UnlockAll released it";
}

// What reaches the store's full lookup: each member's first lookup in a
// block that is not in memory asks for reading (1) or writing (0) with
// second flag 0, the address members pass their mode's bits; a second
// lookup in the same block is answered inline. Rows 600 and 601 lie in a
// plane's second block, which a budget of one block pages out.
TEST(RawPixels, LookupsReachTheStoreWithTheirFlags) {
    using Call = void (*)(CStlImage &, int x, int y);
    const struct { const char *name; Call call; int readOnly, secondFlag; } members[] = {
        {"CImage::GetPixel", [](CStlImage &i, int x, int y) { i.GetPixel(x, y, 1); }, 1, 0},
        {"GetPixelGrayRaw(int)", [](CStlImage &i, int x, int y) { i.GetPixelGrayRaw(x, y, 1); }, 1, 0},
        {"GetPixelGray256(int)", [](CStlImage &i, int x, int y) { i.GetPixelGray256(x, y, 1); }, 1, 0},
        {"GetPixelGrayRaw(double)", [](CStlImage &i, int x, int y) { i.GetPixelGrayRaw(x + 0.5, y + 0.5, 1); }, 1, 0},
        {"SetPixelGrayRaw(int)", [](CStlImage &i, int x, int y) { i.SetPixelGrayRaw(x, y, 2.0f, 1); }, 0, 0},
        {"SetPixelGray256f(int)", [](CStlImage &i, int x, int y) { i.SetPixelGray256f(x, y, 2.0f, 1); }, 0, 0},
        {"CStlImage::GetImageAdr(3)", [](CStlImage &i, int x, int y) { i.GetImageAdr(x, y, 1, 3, NULL); }, 1, 2},
        {"CImage::GetImageAdr(6)", [](CStlImage &i, int x, int y) { static_cast<CImage &>(i).GetImageAdr(x, y, 1, 6, NULL); }, 0, 2}};
    CVmImage::SetMemoryBudget(SIZE_T{2} << 20);
    CStlImage image;
    ASSERT_NE(image.Create(1024, 1100, 2), 0);
    for (const auto &m : members) {
        for (auto [row, plane] : {std::pair{0, 1}, {0, 0}, {600, 0}})  // the other three blocks: out goes plane 1's second
            image.Store->GetImageAdr(0, row, plane, 1, 0, NULL);
        std::vector<zircim::FullLookup> log;
        zircim::WatchFullLookups(&log), m.call(image, 7, 600), m.call(image, 8, 601), zircim::WatchFullLookups(NULL);
        EXPECT_EQ(log.size(), 1u) << m.name;
        for (const auto &l : log)
            EXPECT_EQ((std::vector<int>{l.x, l.y, l.plane, l.readOnly, l.secondFlag}), (std::vector<int>{7, 600, 1, m.readOnly, m.secondFlag})) << m.name;
    }
    CVmImage::SetMemoryBudget(0);
}

// Records start empty: a slot holds no block of no plane, a table's blocks
// have type 0 and no slot. A table whose count cannot exist in the
// application's 32-bit address space (never wrapped into a short table), or
// for which memory runs out, throws the framework's memory exception and
// leaves nothing allocated; deleting a record through the root class runs
// its own destructor, and an image's level arrays die with it.
TEST(VmRecords, DefaultsTablesAndFailures) {
    const CVmMemory slot;
    EXPECT_EQ((std::vector<int>{slot.LockCount, slot.Block, slot.Plane, slot.FirstRow, slot.Newer, slot.Older, slot.Dirty, slot.Loads}),
              (std::vector<int>{0, -1, -1, 0, -1, -1, 0, 0}));
    CVmHandle handle(3);
    handle.Set(1, 5, 7);
    EXPECT_EQ((std::vector<int>{handle.GetBlockCount(), handle.GetType(0), handle.GetSlotIndex(0), handle.GetType(1),
                                handle.GetSlotIndex(1), handle.GetType(2), handle.GetSlotIndex(2), CVmManager{-5}.GetBlockSize()}),
              (std::vector<int>{3, 0, -1, 5, 7, 0, -1, -5}));
    const long live = afx_standin::LiveAllocations();
    for (const auto &[count, outOfMemory] : {std::pair<int, bool>{-1, false}, {INT_MAX / 8, false}, {4, true}}) {
        afx_standin::FailNthAllocation(outOfMemory ? 1 : 0);
        bool thrown = false;
        try {
            CVmHandle table(count);
        } catch (CMemoryException *e) {
            e->Delete(), thrown = true;
        }
        afx_standin::ClearFaults();
        EXPECT_TRUE(thrown && afx_standin::LiveAllocations() == live) << count;
    }
    CStlImage *image = new CStlImage;
    ASSERT_NE(image->Create(5, 4, 3), 0);
    for (CObject *record : {static_cast<CObject *>(new CVmHandle(4)), static_cast<CObject *>(new CVmBlock), static_cast<CObject *>(image)}) delete record;
    EXPECT_EQ(afx_standin::LiveAllocations(), live);
}

}  // namespace
