// The paged pixel store: paging beyond the memory budget, the last three
// addresses, locks, and copies.
#include <gtest/gtest.h>

#include "image/vm_store.h"

namespace {

constexpr SIZE_T kHugePage = SIZE_T{2} << 20;

float *at(CVmImage &store, int x, int y, int plane, int readOnly = 0, int flag = CVmImage::kReadBack) {
    return reinterpret_cast<float *>(store.GetImageAdr(x, y, plane, readOnly, flag, NULL));
}

// 512 x 1024 floats in 8 planes: one block of exactly one huge page per
// plane, with a budget of a few blocks. No test leaks its budget to the next.
class VmImage : public testing::Test {
protected:
    void TearDown() override { CVmImage::SetMemoryBudget(0); }
    void create_paged(CVmImage &store, SIZE_T budgetBlocks) {
        CVmImage::SetMemoryBudget(budgetBlocks * kHugePage);
        ASSERT_NE(store.Create(512, 1024, 8, 4), 0);
        ASSERT_EQ(static_cast<SIZE_T>(store.GetBlockSize()), kHugePage);
    }
};

// Samples written across every block come back after their blocks were
// paged out. Resident: the budget, except for the blocks whose addresses a
// caller may still hold (the four cached ones, two pushed out of the cache).
TEST_F(VmImage, BlocksBeyondTheBudgetPageOutAndComeBack) {
    const SIZE_T mappedBefore = CVmImage::GetMappedBytesTotal();
    {
        CVmImage store;
        create_paged(store, 3);
        for (int plane = 0; plane < 8; ++plane)
            for (int y = 0; y < 1024; y += 31) *at(store, y % 512, y, plane) = float(plane * 10000 + y);
        EXPECT_EQ(store.GetResidentBytes(), 6 * kHugePage);
        for (int plane = 0; plane < 8; ++plane)
            for (int y = 0; y < 1024; y += 31)
                ASSERT_EQ(*at(store, y % 512, y, plane, 1), float(plane * 10000 + y)) << plane << " " << y;
    }
    EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mappedBefore);
}

// The last three addresses looked up without a token stay valid even when
// the budget holds one block. A locked block is never evicted until its last
// lock goes; Unlock returns the locks left, -1 for a token not locked.
TEST_F(VmImage, LastThreeAddressesAndLockedBlocksStayValid) {
    CVmImage store;
    create_paged(store, 1);
    auto touch_others = [&] { for (int plane = 4; plane < 8; ++plane) *at(store, 0, 0, plane) = 1.0f; };
    float *a = at(store, 1, 1, 0), *b = at(store, 2, 2, 1), *c = at(store, 3, 3, 2);
    *a = 1.0f;
    *b = 2.0f;
    *c = 3.0f;
    void *token = nullptr, *again = nullptr;
    auto *locked = reinterpret_cast<float *>(store.GetImageAdr(5, 6, 3, 0, CVmImage::kReadBack, &token));
    store.GetImageAdr(0, 0, 3, 1, CVmImage::kReadBack, &again);
    EXPECT_EQ(token, again);  // one block, one slot
    touch_others();
    EXPECT_EQ(store.Unlock(token), 1);
    touch_others();
    *locked = 77.0f;  // still the block's memory
    int foreign = 0;
    EXPECT_EQ(store.Unlock(&foreign), -1);
    EXPECT_EQ(store.Unlock(nullptr), -1);
    store.UnlockAll();
    EXPECT_EQ(store.Unlock(again), -1);
    touch_others();
    EXPECT_EQ(*at(store, 1, 1, 0, 1), 1.0f);
    EXPECT_EQ(*at(store, 2, 2, 1, 1), 2.0f);
    EXPECT_EQ(*at(store, 3, 3, 2, 1), 3.0f);
    EXPECT_EQ(*at(store, 5, 6, 3, 1), 77.0f);
}

// kFreshBlock: a block paged out comes back zero instead of being read.
// A copy is independent and keeps the blocks that were paged out.
TEST_F(VmImage, FreshBlockSkipsReadingBackAndCopiesAreIndependent) {
    CVmImage original;
    create_paged(original, 2);
    for (int plane = 0; plane < 8; ++plane)
        *at(original, plane, plane, plane) = 10.0f + plane;
    CVmImage copy(original, NULL);
    for (int plane = 0; plane < 8; ++plane)
        *at(original, plane, plane, plane) = -1.0f;
    for (int plane = 0; plane < 8; ++plane)
        EXPECT_EQ(*at(copy, plane, plane, plane, 1), 10.0f + plane) << plane;
    EXPECT_EQ(*at(copy, 1, 0, 0, 1), 0.0f);
    EXPECT_EQ(*at(original, 0, 0, 0, 0, CVmImage::kFreshBlock), 0.0f);  // paged out by the reads of the last planes
}

}  // namespace
