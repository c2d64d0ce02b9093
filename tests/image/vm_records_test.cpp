// The store's bookkeeping records.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <climits>

#include "image/vm_store.h"

namespace {

TEST(VmRecords, BlockStartsWithTypeZeroAndNoSlot) {
    const CVmBlock block;
    EXPECT_EQ(block.BlockType, 0);
    EXPECT_EQ(block.SlotIndex, -1);
}

TEST(VmRecords, HandleTableOfDefaultBlocks) {
    CVmHandle handle(3);
    EXPECT_EQ(handle.GetBlockCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(handle.GetType(i), 0);
        EXPECT_EQ(handle.GetSlotIndex(i), -1);
    }
    handle.Set(1, 5, 7);
    EXPECT_EQ(handle.GetType(1), 5);
    EXPECT_EQ(handle.GetSlotIndex(1), 7);
    EXPECT_EQ(handle.GetType(0), 0);
    EXPECT_EQ(handle.GetSlotIndex(2), -1);
}

TEST(VmRecords, EmptyHandleIsValid) {
    const CVmHandle handle(0);
    EXPECT_EQ(handle.GetBlockCount(), 0);
}

// A count whose table cannot exist in the application's 32-bit address
// space fails with the framework's memory exception, never a short table.
TEST(VmRecords, UnfittingCountThrowsAndLeavesNothing) {
    for (int count : {-1, INT_MIN, INT_MAX, INT_MAX / 8}) {
        const long live = afx_standin::LiveAllocations();
        bool thrown = false;
        try {
            CVmHandle handle(count);
        } catch (CMemoryException *e) {
            e->Delete();
            thrown = true;
        }
        EXPECT_TRUE(thrown) << count;
        EXPECT_EQ(afx_standin::LiveAllocations(), live) << count;
    }
}

TEST(VmRecords, MemoryRecordDefaults) {
    const CVmMemory slot;
    EXPECT_EQ(slot.LockCount, 0);
    EXPECT_EQ(slot.Block, -1);
    EXPECT_EQ(slot.Plane, -1);
    EXPECT_EQ(slot.FirstRow, 0);
    EXPECT_EQ(slot.Newer, -1);
    EXPECT_EQ(slot.Older, -1);
    EXPECT_EQ(slot.Dirty, 0);
    EXPECT_EQ(slot.Loads, 0);
}

TEST(VmRecords, ManagerReturnsTheStoredBlockSize) {
    CVmManager manager{-5};
    EXPECT_EQ(manager.GetBlockSize(), -5);
}

}  // namespace
