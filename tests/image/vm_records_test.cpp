// The store's bookkeeping records.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <climits>

#include "image/vm_store.h"

namespace {

TEST(VmRecords, DefaultsAndSet) {
    const CVmMemory slot;
    EXPECT_EQ((std::vector<int>{slot.LockCount, slot.Block, slot.Plane, slot.FirstRow, slot.Newer, slot.Older,
                                slot.Dirty, slot.Loads}),
              (std::vector<int>{0, -1, -1, 0, -1, -1, 0, 0}));
    CVmHandle handle(3);
    EXPECT_EQ(handle.GetBlockCount(), 3);
    handle.Set(1, 5, 7);
    for (int i = 0; i < 3; ++i) {  // blocks start with type 0 and no slot
        SCOPED_TRACE(i);
        EXPECT_EQ(handle.GetType(i), i == 1 ? 5 : 0);
        EXPECT_EQ(handle.GetSlotIndex(i), i == 1 ? 7 : -1);
    }
    EXPECT_EQ(CVmHandle(0).GetBlockCount(), 0);
    EXPECT_EQ(CVmManager{-5}.GetBlockSize(), -5);
}

// A table whose count cannot exist in the application's 32-bit address
// space (never wrapped into a short table), or for which memory runs out,
// fails with the framework's memory exception and leaves nothing allocated.
TEST(VmRecords, UnallocatableTableThrowsAndLeavesNothing) {
    const struct { const char *name; int count; bool outOfMemory; } cases[] = {
        {"-1", -1, false}, {"INT_MAX / 8", INT_MAX / 8, false}, {"4 without memory", 4, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const long live = afx_standin::LiveAllocations();
        afx_standin::FailNthAllocation(c.outOfMemory ? 1 : 0);
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
    for (CObject *record : {static_cast<CObject *>(new CVmHandle(4)), static_cast<CObject *>(new CVmBlock)})
        delete record;
    EXPECT_EQ(afx_standin::LiveAllocations(), live);
}

}  // namespace
