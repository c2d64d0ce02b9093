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

// A table that cannot be allocated, because its count cannot exist in the
// application's 32-bit address space (never wrapped into a short table) or
// because memory runs out, fails with the framework's memory exception and
// leaves nothing allocated.
TEST(VmRecords, UnallocatableTableThrowsAndLeavesNothing) {
    struct Case {
        const char *name;
        int count;
        bool outOfMemory;
    } const cases[] = {
        {"-1", -1, false},
        {"INT_MIN", INT_MIN, false},
        {"INT_MAX", INT_MAX, false},
        {"INT_MAX / 8", INT_MAX / 8, false},
        {"4 without memory", 4, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const long live = afx_standin::LiveAllocations();
        if (c.outOfMemory)
            afx_standin::FailNthAllocation(1);
        bool thrown = false;
        try {
            CVmHandle handle(c.count);
        } catch (CMemoryException *e) {
            e->Delete();
            thrown = true;
        }
        afx_standin::ClearFaults();
        EXPECT_TRUE(thrown);
        EXPECT_EQ(afx_standin::LiveAllocations(), live);
    }
}

// Each record's destructor is virtual: deleting one through the root class
// releases a handle's table too.
TEST(VmRecords, DeletingThroughTheRootClassRunsTheRecordsDestructor) {
    const long live = afx_standin::LiveAllocations();
    for (CObject *record : {static_cast<CObject *>(new CVmHandle(4)), static_cast<CObject *>(new CVmBlock),
                            static_cast<CObject *>(new CVmMemory)})
        delete record;
    EXPECT_EQ(afx_standin::LiveAllocations(), live);
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
