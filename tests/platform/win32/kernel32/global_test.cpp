// What Windows does with global memory, as Wine's kernel32 heap tests
// record it (test_GlobalAlloc).
#include "platform/win32/win32_test.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr SIZE_T kMiB = SIZE_T{1} << 20;
constexpr unsigned char kFill = 0xAB;

class GlobalTest : public testing::Test {
protected:
    void TearDown() override {
        if (testing_support::kWin32Seams) {
            EXPECT_EQ(win32_standin::LiveGlobalBlocks(), 0) << "a test leaked a block";
        }
    }
};

// The data of a block, without leaving it locked.
unsigned char *DataOf(HGLOBAL block) {
    auto *data = static_cast<unsigned char *>(GlobalLock(block));
    GlobalUnlock(block);
    return data;
}

bool AllBytesAre(HGLOBAL block, SIZE_T from, SIZE_T to, unsigned char value) {
    return std::all_of(DataOf(block) + from, DataOf(block) + to, [value](unsigned char b) { return b == value; });
}

// A fixed block is its own pointer, without a lock count; a movable one is not.
TEST_F(GlobalTest, OnlyMovableBlocksCountLocks) {
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 0);
    EXPECT_EQ(GlobalSize(fixed), 1u) << "never empty";
    EXPECT_EQ(GlobalLock(fixed), fixed);
    EXPECT_EQ(GlobalFlags(fixed), 0u);
    EXPECT_TRUE(GlobalUnlock(fixed)) << "Windows answers TRUE for fixed blocks";
    EXPECT_EQ(GlobalFree(fixed), nullptr);
    HGLOBAL movable = GlobalAlloc(GMEM_MOVEABLE, 256);
    void *data = GlobalLock(movable);
    EXPECT_NE(data, movable);
    EXPECT_EQ(GlobalHandle(data), movable);
    EXPECT_EQ(GlobalLock(movable), data);
    EXPECT_EQ(GlobalFlags(movable), 2u);
    if (testing_support::kWin32Seams) { EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 1); }
    EXPECT_TRUE(GlobalUnlock(movable)) << "still locked once";
    EXPECT_LAST_ERROR(GlobalUnlock(movable), FALSE, NO_ERROR);  // reaching 0 is no error
    EXPECT_LAST_ERROR(GlobalUnlock(movable), FALSE, ERROR_NOT_LOCKED);
    if (testing_support::kWin32Seams) { EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0); }
    for (int i = 0; i < 300; ++i) GlobalLock(movable);
    EXPECT_EQ(GlobalFlags(movable), 0xFFu) << "the count saturates";
    EXPECT_EQ(GlobalFree(movable), nullptr) << "locked blocks are freed too";
}

TEST_F(GlobalTest, FreedAndMadeUpHandlesAreInvalidForEveryCall) {
    SKIP_WHERE_WINE_DIVERGES("GlobalUnlock and GlobalFlags of invalid handles (todo_wine in Wine's heap tests)");
    HGLOBAL freedMovable = GlobalAlloc(GMEM_MOVEABLE, 64), freedFixed = GlobalAlloc(GMEM_FIXED, 64);
    GlobalFree(freedMovable);
    GlobalFree(freedFixed);
    for (HGLOBAL bad : {freedMovable, freedFixed, reinterpret_cast<HGLOBAL>(0xdeadbee8)}) {
        SCOPED_TRACE(bad);
        EXPECT_LAST_ERROR(GlobalFree(bad), bad, ERROR_INVALID_HANDLE);  // freeing twice returns the handle
        EXPECT_LAST_ERROR(GlobalFlags(bad), UINT{GMEM_INVALID_HANDLE}, ERROR_INVALID_HANDLE);
        EXPECT_LAST_ERROR(GlobalSize(bad), 0u, ERROR_INVALID_HANDLE);
        EXPECT_LAST_ERROR(GlobalLock(bad), nullptr, ERROR_INVALID_HANDLE);
        EXPECT_LAST_ERROR(GlobalUnlock(bad), TRUE, ERROR_INVALID_HANDLE);  // Windows' quirk
        EXPECT_LAST_ERROR(GlobalReAlloc(bad, 10, GMEM_MOVEABLE), nullptr, ERROR_INVALID_HANDLE);
    }
    EXPECT_LAST_ERROR(GlobalFree(nullptr), nullptr, 0xdeadbeef);
}

// error 0: succeeds
struct ReAllocCase {
    const char *name;
    UINT flags, reallocFlags;
    SIZE_T size, newSize;
    bool locked;
    DWORD error;
    bool moves, sameHandle;
};

void ExpectReAlloc(const ReAllocCase &c) {
    SCOPED_TRACE(c.name);
    HGLOBAL block = GlobalAlloc(c.flags, c.size);
    void *before = GlobalLock(block);
    std::memset(before, kFill, c.size);
    if (!c.locked) GlobalUnlock(block);
    SetLastError(0xdeadbeef);
    HGLOBAL result = GlobalReAlloc(block, c.newSize, c.reallocFlags);
    EXPECT_EQ(GetLastError(), c.error ? c.error : 0xdeadbeef);
    HGLOBAL now = result ? result : block;
    EXPECT_EQ(now == block, c.sameHandle);
    const SIZE_T sizeAfter = c.error ? c.size : c.newSize;
    EXPECT_EQ(GlobalSize(now), sizeAfter);
    EXPECT_EQ(DataOf(now) != before, c.moves);
    EXPECT_TRUE(AllBytesAre(now, 0, std::min(sizeAfter, c.size), kFill)) << "contents move along";
    if (c.locked) GlobalUnlock(now);
    EXPECT_EQ(GlobalFree(now), nullptr);
}

// A movable block moves when it grows while unlocked, or while locked if
// GMEM_MOVEABLE allows.
TEST_F(GlobalTest, ReAllocMovesMovableBlocksOnlyWhenAllowed) {
    const ReAllocCase kCases[] = {
        {"UnlockedMovableGrows", GMEM_MOVEABLE, 0, 16, 4096, false, 0, true, true},
        {"LockedMovableCannotGrow", GMEM_MOVEABLE, 0, 16, 4096, true, ERROR_NOT_ENOUGH_MEMORY, false, true},
        {"LockedMovableGrowsWhenAllowed", GMEM_MOVEABLE, GMEM_MOVEABLE, 16, 4096, true, 0, true, true},
        {"BigMovableGrows", GMEM_MOVEABLE, 0, 3 * kMiB, 9 * kMiB, false, 0, true, true},
    };
    for (const auto &c : kCases) ExpectReAlloc(c);
}

// A fixed block only ever changes size by moving.
TEST_F(GlobalTest, ReAllocResizesFixedBlocksOnlyByMoving) {
    SKIP_WHERE_WINE_DIVERGES("GlobalReAlloc resizes a fixed block in place");
    const ReAllocCase kCases[] = {
        {"FixedCannotResizeInPlace", GMEM_FIXED, 0, 10, 10, false, ERROR_NOT_ENOUGH_MEMORY, false, true},
        {"FixedMovesWhenAllowed", GMEM_FIXED, GMEM_MOVEABLE, 10, 11, false, 0, true, false},
    };
    for (const auto &c : kCases) ExpectReAlloc(c);
}

TEST_F(GlobalTest, ZeroInitZeroesExactlyWhatGrows) {
    const struct { const char *name; SIZE_T size, shrinkTo, growTo; } kCases[] = {  // shrinkTo 0: no shrink
        {"SmallToSmall", 16, 0, 4096},
        {"SmallToBig", 1024, 0, 3 * kMiB},
        {"BigShrunkThenRegrown", 4 * kMiB, 1 * kMiB, 4 * kMiB},  // the shrunk-off bytes are still mapped
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        HGLOBAL block = GlobalAlloc(GHND, c.size);
        EXPECT_TRUE(AllBytesAre(block, 0, c.size, 0)) << "GHND zeroes a new block";
        std::memset(GlobalLock(block), kFill, c.size);  // locked, so a shrink stays in place
        ASSERT_TRUE(!c.shrinkTo || GlobalReAlloc(block, c.shrinkTo, 0));
        ASSERT_NE(GlobalReAlloc(block, c.growTo, GMEM_MOVEABLE | GMEM_ZEROINIT), nullptr);
        GlobalUnlock(block);
        const SIZE_T kept = c.shrinkTo ? c.shrinkTo : c.size;
        EXPECT_TRUE(AllBytesAre(block, 0, kept, kFill));
        EXPECT_TRUE(AllBytesAre(block, kept, c.growTo, 0));
        GlobalFree(block);
    }
}

TEST_F(GlobalTest, ImpossibleSizesFailWithoutWrapping) {
    for (SIZE_T size : {SIZE_MAX, SIZE_MAX / 2})
        for (UINT flags : {UINT{GMEM_FIXED}, UINT{GHND}})
            EXPECT_LAST_ERROR(GlobalAlloc(flags, size), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    EXPECT_LAST_ERROR(GlobalReAlloc(block, SIZE_MAX, GMEM_MOVEABLE), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(GlobalSize(block), 64u);
    GlobalFree(block);
}

TEST_F(GlobalTest, LiveBytesFollowEveryResize) {
    SKIP_WITHOUT_WIN32_SEAMS("resource accounting");
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    EXPECT_EQ(GlobalReAlloc(block, SIZE_MAX, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(win32_standin::LiveGlobalBytes(), 64u);
    GlobalReAlloc(block, 80, GMEM_MOVEABLE);
    EXPECT_EQ(win32_standin::LiveGlobalBytes(), 80u);
    GlobalFree(block);
    EXPECT_EQ(win32_standin::LiveGlobalBytes(), 0u);
}

}  // namespace
