// The paged pixel store: layout, lookups, paging beyond the memory budget,
// locks, and copies.
#include <gtest/gtest.h>

#include <cstring>

#include "image/vm_store.h"

namespace {

constexpr SIZE_T kHugePage = SIZE_T{2} << 20;
// 512 x 1024 floats: one block of exactly one huge page per plane.
constexpr int kWidth = 512;
constexpr int kHeight = 1024;
constexpr int kPlanes = 8;

float *at(CVmImage &store, int x, int y, int plane, int readOnly = 0, int flag = CVmImage::kReadBack) {
    return reinterpret_cast<float *>(store.GetImageAdr(x, y, plane, readOnly, flag, NULL));
}

float value_of(int x, int y, int plane) { return static_cast<float>(plane * 1000000 + y * 1000 + x); }

void fill_plane(CVmImage &store, int plane) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            *at(store, x, y, plane) = value_of(x, y, plane);
}

bool plane_holds_pattern(CVmImage &store, int plane) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (*at(store, x, y, plane, 1) != value_of(x, y, plane))
                return false;
    return true;
}

// Each test that pages sets its own budget; none leaks it to the next.
class VmImage : public testing::Test {
protected:
    void TearDown() override { CVmImage::SetMemoryBudget(0); }

    void create_paged_store(CVmImage &store, SIZE_T budgetBlocks) {
        CVmImage::SetMemoryBudget(budgetBlocks * kHugePage);
        ASSERT_NE(store.Create(kWidth, kHeight, kPlanes, 4), 0);
        ASSERT_EQ(static_cast<SIZE_T>(store.GetBlockSize()), kHugePage);
    }
};

TEST_F(VmImage, BigPlanesAreBlocksOfWholeRowsInHugePages) {
    CVmImage store;
    ASSERT_NE(store.Create(3000, 1000, 1, 4), 0);  // 12000-byte rows
    EXPECT_EQ(store.GetBlockSize() % static_cast<int>(kHugePage), 0);
    EXPECT_EQ(store.GetBlockRows(), static_cast<int>(kHugePage / 12000));
}

TEST_F(VmImage, SmallPlaneIsOneBlockOfContiguousZeroRows) {
    CVmImage store;
    ASSERT_NE(store.Create(5, 3, 2, 4), 0);
    EXPECT_EQ(store.GetBlockRows(), 3);
    EXPECT_LT(static_cast<SIZE_T>(store.GetBlockSize()), kHugePage);
    unsigned char *first = store.GetImageAdr(0, 2, 1, 1, CVmImage::kReadBack, NULL);
    for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(store.GetImageAdr(x, 2, 1, 1, CVmImage::kReadBack, NULL), first + 4 * x);
        EXPECT_EQ(*at(store, x, 2, 1, 1), 0.0f);
    }
}

TEST_F(VmImage, OutsideTheStoreIsNull) {
    CVmImage store;
    EXPECT_EQ(store.GetImageAdr(0, 0, 0, 1, CVmImage::kReadBack, NULL), nullptr);
    ASSERT_NE(store.Create(4, 4, 1, 4), 0);
    const int outside[][3] = {{-1, 0, 0}, {4, 0, 0}, {0, -1, 0}, {0, 4, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const auto &p : outside) {
        void *token = &store;
        EXPECT_EQ(store.GetImageAdr(p[0], p[1], p[2], 1, CVmImage::kReadBack, &token), nullptr);
        EXPECT_EQ(token, nullptr);
    }
}

TEST_F(VmImage, CreateFailureLeavesTheStore) {
    CVmImage store;
    ASSERT_NE(store.Create(2, 2, 1, 4), 0);
    *at(store, 1, 1, 0) = 9.0f;
    EXPECT_EQ(store.Create(2, 2, 1, 3), 0);
    EXPECT_EQ(store.Create(65536, 65536, 1, 1), 0);
    EXPECT_EQ(store.Create(1 << 30, 1, 1 << 30, 8), 0);
    EXPECT_EQ(store.GetWidth(), 2);
    EXPECT_EQ(*at(store, 1, 1, 0, 1), 9.0f);
}

TEST_F(VmImage, BlocksBeyondTheBudgetPageOutAndComeBack) {
    const SIZE_T mappedBefore = CVmImage::GetMappedBytesTotal();
    {
        CVmImage store;
        create_paged_store(store, 3);
        for (int plane = 0; plane < kPlanes; ++plane)
            fill_plane(store, plane);
        EXPECT_LE(store.GetResidentBytes(), 3 * kHugePage);
        for (int plane = 0; plane < kPlanes; ++plane)
            EXPECT_TRUE(plane_holds_pattern(store, plane)) << plane;
        EXPECT_LE(store.GetResidentBytes(), 3 * kHugePage);
    }
    EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mappedBefore);
}

// The last three addresses looked up without a token stay valid even when
// the budget holds only one block.
TEST_F(VmImage, LastThreeAddressesStayValid) {
    CVmImage store;
    create_paged_store(store, 1);
    float *a = at(store, 1, 1, 0);
    float *b = at(store, 2, 2, 1);
    float *c = at(store, 3, 3, 2);
    *a = 1.0f;
    *b = 2.0f;
    *c = 3.0f;
    at(store, 0, 0, 3);  // a is now the fourth: its block may go
    at(store, 0, 0, 4);
    EXPECT_EQ(*at(store, 1, 1, 0, 1), 1.0f);
    EXPECT_EQ(*at(store, 2, 2, 1, 1), 2.0f);
    EXPECT_EQ(*at(store, 3, 3, 2, 1), 3.0f);
}

TEST_F(VmImage, LockedBlocksAreNeverEvicted) {
    CVmImage store;
    create_paged_store(store, 1);
    void *token = nullptr;
    auto *locked = reinterpret_cast<float *>(store.GetImageAdr(5, 6, 0, 0, CVmImage::kReadBack, &token));
    ASSERT_NE(token, nullptr);
    for (int plane = 1; plane < kPlanes; ++plane)
        *at(store, 0, 0, plane) = 1.0f;
    *locked = 77.0f;  // still the block's memory
    EXPECT_EQ(store.Unlock(token), 0);
    EXPECT_EQ(store.Unlock(token), -1);
    for (int plane = 1; plane < kPlanes; ++plane)
        *at(store, 0, 0, plane) = 2.0f;
    EXPECT_EQ(*at(store, 5, 6, 0, 1), 77.0f);
}

TEST_F(VmImage, UnlockCountsLocksAndRefusesForeignTokens) {
    CVmImage store;
    ASSERT_NE(store.Create(2, 2, 1, 4), 0);
    void *first = nullptr, *second = nullptr;
    store.GetImageAdr(0, 0, 0, 1, CVmImage::kReadBack, &first);
    store.GetImageAdr(1, 1, 0, 1, CVmImage::kReadBack, &second);
    EXPECT_EQ(first, second);  // one block, one slot
    EXPECT_EQ(store.Unlock(first), 1);
    int foreign = 0;
    EXPECT_EQ(store.Unlock(&foreign), -1);
    EXPECT_EQ(store.Unlock(nullptr), -1);
    store.UnlockAll();
    EXPECT_EQ(store.Unlock(second), -1);
}

// kFreshBlock: a block paged out comes back zero instead of being read;
// kReadBack brings its contents.
TEST_F(VmImage, FreshBlockSkipsReadingBack) {
    CVmImage store;
    create_paged_store(store, 1);
    *at(store, 4, 4, 0) = 5.0f;
    *at(store, 4, 4, 1) = 6.0f;
    for (int plane = 2; plane < kPlanes; ++plane)
        at(store, 0, 0, plane);  // pages planes 0 and 1 out
    EXPECT_EQ(*at(store, 4, 4, 0, 0, CVmImage::kReadBack), 5.0f);
    for (int plane = 2; plane < kPlanes; ++plane)
        at(store, 0, 0, plane);
    EXPECT_EQ(*at(store, 4, 4, 1, 0, CVmImage::kFreshBlock), 0.0f);
}

TEST_F(VmImage, CopyIsIndependentAndKeepsPagedOutBlocks) {
    CVmImage original;
    create_paged_store(original, 2);
    for (int plane = 0; plane < kPlanes; ++plane)
        *at(original, plane, plane, plane) = 10.0f + plane;
    CVmImage copy(original, NULL);
    for (int plane = 0; plane < kPlanes; ++plane)
        *at(original, plane, plane, plane) = -1.0f;
    for (int plane = 0; plane < kPlanes; ++plane)
        EXPECT_EQ(*at(copy, plane, plane, plane, 1), 10.0f + plane) << plane;
    EXPECT_EQ(*at(copy, 1, 0, 0, 1), 0.0f);
}

}  // namespace
