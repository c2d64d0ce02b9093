#include "afx_test_support.h"

#include <climits>

namespace {
struct Block : CObject { int value = 7; };
struct Wide { char bytes[16]; };

// Unfitting counts (negative, beyond a 32-bit address space, a byte size
// that would wrap, one element past the largest block) and a failed
// CObject new throw the framework's exception, never std::bad_alloc.
TEST(afxmem, ArraysOfUnfittingCountsAndFailedObjectsThrowMemoryException) {
    const long live = afx_standin::LiveAllocations();
    for (INT_PTR count : {INT_PTR{-1}, INT_PTR{INT_MAX}, INTPTR_MAX / 2})
        EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { delete[] AfxNewArray<Block>(count); })) << count;
    EXPECT_TRUE(ThrowsFramework<CMemoryException>([] { delete[] AfxNewArray<Wide>(0x7FFFFFFF / 16 + 1); }));
    Block *three = AfxNewArray<Block>(3);
    afx_standin::FailNthAllocation(2);
    Block *first = new Block;
    EXPECT_TRUE(ThrowsFramework<CMemoryException>([] { delete new Block; }));
    EXPECT_EQ(7, three[2].value);
    delete first;
    delete[] three;
    EXPECT_EQ(live, afx_standin::LiveAllocations());
}
}  // namespace
