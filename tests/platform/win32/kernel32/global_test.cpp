// What Windows does with global memory, as Wine's kernel32 heap tests
// record it (test_GlobalAlloc).
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/row_name.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using win32_standin::LiveGlobalBlocks;
using win32_standin::LiveGlobalBytes;
using win32_standin::LockedGlobalBlocks;

constexpr SIZE_T kMiB = SIZE_T{1} << 20;
constexpr unsigned char kFill = 0xAB;

class GlobalTest : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(LiveGlobalBlocks(), 0) << "a test leaked a block";
        EXPECT_EQ(LiveGlobalBytes(), 0u);
    }
};

// The data of a block, without leaving it locked.
unsigned char *DataOf(HGLOBAL handle) {
    auto *data = static_cast<unsigned char *>(GlobalLock(handle));
    GlobalUnlock(handle);
    return data;
}

bool AllBytesAre(const unsigned char *data, SIZE_T from, SIZE_T to, unsigned char value) {
    for (SIZE_T i = from; i < to; ++i)
        if (data[i] != value) return false;
    return true;
}

TEST_F(GlobalTest, FixedBlockIsItsOwnPointer) {
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 100);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(GlobalLock(fixed), fixed);
    EXPECT_EQ(GlobalFlags(fixed), 0u) << "a fixed block has no lock count";
    EXPECT_TRUE(GlobalUnlock(fixed)) << "Windows answers TRUE for fixed blocks";
    EXPECT_EQ(GlobalHandle(fixed), fixed);
    EXPECT_EQ(GlobalSize(fixed), 100u);
    EXPECT_EQ(GlobalFree(fixed), nullptr);
}

TEST_F(GlobalTest, EmptyFixedBlockGetsOneByte) {
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 0);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(GlobalSize(fixed), 1u);
    GlobalFree(fixed);
}

TEST_F(GlobalTest, MovableBlockCountsLocks) {
    HGLOBAL movable = GlobalAlloc(GMEM_MOVEABLE, 256);
    void *data = GlobalLock(movable);
    ASSERT_NE(data, nullptr);
    EXPECT_NE(data, movable);
    EXPECT_EQ(GlobalHandle(data), movable);
    EXPECT_EQ(GlobalFlags(movable), 1u);
    EXPECT_EQ(GlobalLock(movable), data);
    EXPECT_EQ(GlobalFlags(movable), 2u);
    EXPECT_EQ(LockedGlobalBlocks(), 1);
    EXPECT_TRUE(GlobalUnlock(movable)) << "still locked once";
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GlobalUnlock(movable));
    EXPECT_EQ(GetLastError(), DWORD{NO_ERROR}) << "reaching 0 is no error";
    EXPECT_EQ(GlobalFlags(movable), 0u);
    EXPECT_FALSE(GlobalUnlock(movable));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_LOCKED});
    EXPECT_EQ(LockedGlobalBlocks(), 0);
    EXPECT_EQ(GlobalFree(movable), nullptr);
}

TEST_F(GlobalTest, LockCountStopsAt255) {
    HGLOBAL movable = GlobalAlloc(GMEM_MOVEABLE, 16);
    for (int i = 0; i < 300; ++i) GlobalLock(movable);
    EXPECT_EQ(GlobalFlags(movable) & GMEM_LOCKCOUNT, 0xFFu);
    for (int i = 1; i < 0xFF; ++i) ASSERT_TRUE(GlobalUnlock(movable));
    EXPECT_FALSE(GlobalUnlock(movable));
    EXPECT_EQ(GlobalFlags(movable), 0u);
    GlobalFree(movable);
}

struct EmptyCase {
    const char *name;
    UINT flags;
    UINT expectedFlags;
};

const EmptyCase kEmpty[] = {
    {"Movable", GMEM_MOVEABLE, GMEM_DISCARDED},
    {"MovableZeroInit", GHND, GMEM_DISCARDED},
    {"Discardable", GMEM_MOVEABLE | GMEM_DISCARDABLE, GMEM_DISCARDED | GMEM_DISCARDABLE},
};

class EmptyMovable : public GlobalTest, public testing::WithParamInterface<EmptyCase> {};

TEST_P(EmptyMovable, IsDiscardedAndCannotBeLocked) {
    HGLOBAL empty = GlobalAlloc(GetParam().flags, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);
    EXPECT_EQ(GlobalFlags(empty), GetParam().expectedFlags);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DISCARDED});
    EXPECT_EQ(GlobalFree(empty), nullptr);
}

INSTANTIATE_TEST_SUITE_P(GlobalAlloc, EmptyMovable, testing::ValuesIn(kEmpty), win32_test::RowName());

// ---- Handles that are not (or no longer) blocks --------------------------

struct BadHandleCase {
    const char *name;
    bool freedBlock;
    UINT flags;  // of the freed block
};

const BadHandleCase kBadHandles[] = {
    {"FreedMovable", true, GMEM_MOVEABLE},
    {"FreedFixed", true, GMEM_FIXED},
    {"MadeUp", false, 0},
};

HGLOBAL MakeBadHandle(const BadHandleCase &c) {
    if (!c.freedBlock) return reinterpret_cast<HGLOBAL>(std::uintptr_t{0xdeadbee8});
    HGLOBAL freed = GlobalAlloc(c.flags, 64);
    EXPECT_EQ(GlobalFree(freed), nullptr);
    return freed;
}

class InvalidHandle : public GlobalTest, public testing::WithParamInterface<BadHandleCase> {};

TEST_P(InvalidHandle, IsRecognisedByEveryCall) {
    HGLOBAL bad = MakeBadHandle(GetParam());
    SetLastError(0);
    EXPECT_EQ(GlobalFree(bad), bad) << "freeing twice returns the handle";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    SetLastError(0);
    EXPECT_EQ(GlobalFlags(bad), UINT{GMEM_INVALID_HANDLE});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    SetLastError(0);
    EXPECT_EQ(GlobalSize(bad), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    SetLastError(0);
    EXPECT_EQ(GlobalLock(bad), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    SetLastError(0);
    EXPECT_TRUE(GlobalUnlock(bad)) << "Windows' GlobalUnlock answers TRUE here";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    SetLastError(0);
    EXPECT_EQ(GlobalReAlloc(bad, 10, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

INSTANTIATE_TEST_SUITE_P(Global, InvalidHandle, testing::ValuesIn(kBadHandles), win32_test::RowName());

TEST_F(GlobalTest, FreeingNullIsNoError) { EXPECT_EQ(GlobalFree(nullptr), nullptr); }

// ---- GlobalReAlloc ---------------------------------------------------------

enum class Moves { No, Yes, Irrelevant };

struct ReAllocCase {
    const char *name;
    UINT allocFlags;
    SIZE_T allocSize;
    bool locked;
    SIZE_T newSize;
    UINT reallocFlags;
    bool succeeds;
    bool sameHandle;
    Moves moves;
    SIZE_T sizeAfter;
    DWORD error;  // when it fails
};

const ReAllocCase kReAllocs[] = {
    {"UnlockedMovableGrowsByMoving", GMEM_MOVEABLE, 16, false, 4096, 0, true, true, Moves::Yes, 4096, 0},
    {"UnlockedMovableShrinks", GMEM_MOVEABLE, 4096, false, 16, 0, true, true, Moves::Irrelevant, 16, 0},
    {"LockedMovableCannotMove", GMEM_MOVEABLE, 16, true, 4096, 0, false, false, Moves::No, 16, ERROR_NOT_ENOUGH_MEMORY},
    {"LockedMovableShrinksInPlace", GMEM_MOVEABLE, 4096, true, 16, 0, true, true, Moves::No, 16, 0},
    {"LockedMovableMovesWhenAllowed", GMEM_MOVEABLE, 16, true, 4096, GMEM_MOVEABLE, true, true, Moves::Yes, 4096, 0},
    {"MovableToZeroIsDiscarded", GMEM_MOVEABLE, 16, false, 0, GMEM_MOVEABLE, true, true, Moves::Irrelevant, 0, 0},
    {"LockedMovableIsNotDiscarded", GMEM_MOVEABLE, 16, true, 0, GMEM_MOVEABLE, false, false, Moves::No, 16, 0},
    {"DiscardedMovableRegrows", GMEM_MOVEABLE, 0, false, 10, GMEM_MOVEABLE, true, true, Moves::Irrelevant, 10, 0},
    {"FixedCannotResizeInPlace", GMEM_FIXED, 10, false, 10, 0, false, false, Moves::No, 10, ERROR_NOT_ENOUGH_MEMORY},
    {"FixedMovesWhenAllowed", GMEM_FIXED, 10, false, 11, GMEM_MOVEABLE, true, false, Moves::Yes, 11, 0},
    {"FixedModifyKeepsSize", GMEM_FIXED, 10, false, 9, GMEM_MODIFY, true, true, Moves::No, 10, 0},
    {"FixedModifiedToMovable", GMEM_FIXED, 10, false, 0, GMEM_MODIFY | GMEM_MOVEABLE, true, false, Moves::No, 10, 0},
    {"BigMovableGrows", GMEM_MOVEABLE, 3 * kMiB, false, 9 * kMiB, 0, true, true, Moves::Yes, 9 * kMiB, 0},
    {"BigLockedMovableShrinksInPlace", GMEM_MOVEABLE, 9 * kMiB, true, 3 * kMiB, 0, true, true, Moves::No, 3 * kMiB, 0},
    {"SmallMovableGrowsBig", GMEM_MOVEABLE, 1024, false, 5 * kMiB, 0, true, true, Moves::Yes, 5 * kMiB, 0},
};

class ReAlloc : public GlobalTest, public testing::WithParamInterface<ReAllocCase> {};

TEST_P(ReAlloc, FollowsWindowsRules) {
    const ReAllocCase &c = GetParam();
    HGLOBAL block = GlobalAlloc(c.allocFlags, c.allocSize);
    ASSERT_NE(block, nullptr);
    unsigned char *before = c.allocSize ? static_cast<unsigned char *>(GlobalLock(block)) : nullptr;
    if (before) std::memset(before, kFill, c.allocSize);
    if (before && !c.locked) GlobalUnlock(block);
    SetLastError(0);
    HGLOBAL result = GlobalReAlloc(block, c.newSize, c.reallocFlags);
    EXPECT_EQ(result != nullptr, c.succeeds);
    HGLOBAL now = result ? result : block;
    if (c.succeeds) {
        EXPECT_EQ(result == block, c.sameHandle);
    } else {
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(GlobalSize(now), c.sizeAfter);
    if (c.sizeAfter && before) {
        unsigned char *after = DataOf(now);
        if (c.moves != Moves::Irrelevant) {
            EXPECT_EQ(after != before, c.moves == Moves::Yes);
        }
        const SIZE_T kept = c.sizeAfter < c.allocSize ? c.sizeAfter : c.allocSize;
        EXPECT_TRUE(AllBytesAre(after, 0, kept, kFill)) << "contents move along";
    }
    if (c.locked) GlobalUnlock(now);
    EXPECT_EQ(GlobalFree(now), nullptr);
}

INSTANTIATE_TEST_SUITE_P(GlobalReAlloc, ReAlloc, testing::ValuesIn(kReAllocs), win32_test::RowName());

TEST_F(GlobalTest, FixedModifiedToMovableGetsARealHandle) {
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 10);
    HGLOBAL movable = GlobalReAlloc(fixed, 0, GMEM_MODIFY | GMEM_MOVEABLE);
    ASSERT_NE(movable, nullptr);
    void *data = GlobalLock(movable);
    EXPECT_NE(data, movable);
    EXPECT_EQ(GlobalFlags(movable), 1u);
    GlobalUnlock(movable);
    GlobalFree(movable);
}

// ---- Zero-initialisation ------------------------------------------------------

struct GrowthCase {
    const char *name;
    SIZE_T size;
    SIZE_T shrinkTo;  // 0: no shrink first
    SIZE_T growTo;
};

const GrowthCase kGrowths[] = {
    {"SmallToSmall", 16, 0, 4096},
    {"SmallToBig", 1024, 0, 3 * kMiB},
    {"BigToBig", 3 * kMiB, 0, 9 * kMiB},
    {"SmallShrunkThenRegrown", 4096, 100, 4096},
    {"BigShrunkThenRegrown", 4 * kMiB, 1 * kMiB, 4 * kMiB},
};

class ZeroInitGrowth : public GlobalTest, public testing::WithParamInterface<GrowthCase> {};

TEST_P(ZeroInitGrowth, ZeroesExactlyWhatGrows) {
    const GrowthCase &c = GetParam();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, c.size);
    std::memset(GlobalLock(block), kFill, c.size);
    // Locked, so the shrink and the growth stay where the old bytes were.
    if (c.shrinkTo) {
        ASSERT_NE(GlobalReAlloc(block, c.shrinkTo, 0), nullptr);
    }
    const SIZE_T kept = c.shrinkTo ? c.shrinkTo : c.size;
    ASSERT_NE(GlobalReAlloc(block, c.growTo, GMEM_MOVEABLE | GMEM_ZEROINIT), nullptr);
    GlobalUnlock(block);
    unsigned char *data = DataOf(block);
    EXPECT_TRUE(AllBytesAre(data, 0, kept, kFill));
    EXPECT_TRUE(AllBytesAre(data, kept, c.growTo, 0));
    GlobalFree(block);
}

INSTANTIATE_TEST_SUITE_P(GlobalReAlloc, ZeroInitGrowth, testing::ValuesIn(kGrowths), win32_test::RowName());

TEST_F(GlobalTest, BigBlocksAreZeroedAndHugePageAligned) {
    HGLOBAL block = GlobalAlloc(GHND, 5 * kMiB + 3);
    unsigned char *data = DataOf(block);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % (2 * kMiB), 0u);
    EXPECT_TRUE(AllBytesAre(data, 0, 5 * kMiB + 3, 0));
    GlobalFree(block);
}

// ---- Sizes that cannot be had ----------------------------------------------

TEST_F(GlobalTest, ImpossibleSizesFailWithoutWrapping) {
    for (SIZE_T size : {SIZE_MAX, SIZE_MAX - kMiB, SIZE_MAX / 2}) {
        for (UINT flags : {UINT{GMEM_FIXED}, UINT{GMEM_MOVEABLE}, UINT{GHND}}) {
            SCOPED_TRACE(testing::Message() << "size " << size << " flags " << flags);
            SetLastError(0);
            EXPECT_EQ(GlobalAlloc(flags, size), nullptr);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
        }
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    EXPECT_EQ(GlobalReAlloc(block, SIZE_MAX, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
    EXPECT_EQ(GlobalSize(block), 64u);
    GlobalFree(block);
}

TEST_F(GlobalTest, MovableHandlesRunOutAt0x10000) {
    std::vector<HGLOBAL> handles;
    HGLOBAL handle;
    while (handles.size() <= 0x10000 && (handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_DISCARDABLE, 0)))
        handles.push_back(handle);
    EXPECT_EQ(handles.size(), 0x10000u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_ENOUGH_MEMORY});
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 8);
    EXPECT_NE(fixed, nullptr) << "fixed blocks need no handle";
    GlobalFree(fixed);
    for (HGLOBAL h : handles) GlobalFree(h);
}

TEST_F(GlobalTest, AccountingFollowsBlocks) {
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 100);
    HGLOBAL movable = GlobalAlloc(GMEM_MOVEABLE, 50);
    GlobalLock(movable);
    EXPECT_EQ(LiveGlobalBlocks(), 2);
    EXPECT_EQ(LockedGlobalBlocks(), 1);
    EXPECT_EQ(LiveGlobalBytes(), 150u);
    GlobalReAlloc(movable, 80, GMEM_MOVEABLE);
    EXPECT_EQ(LiveGlobalBytes(), 180u);
    GlobalFree(movable);
    EXPECT_EQ(LockedGlobalBlocks(), 0);
    GlobalFree(fixed);
}

}  // namespace
