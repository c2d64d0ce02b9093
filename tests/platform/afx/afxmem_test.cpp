#include "afx_test_support.h"

#include <climits>

namespace {
struct Block : CObject {
    int value = 7;
};
struct Wide {
    char bytes[16];
};

// Unfitting counts (negative, beyond a 32-bit address space, a byte size
// that would wrap, one element past the largest block) and a failed
// CObject new throw the framework's exception, never std::bad_alloc.
TEST(afxmem, ArraysOfUnfittingCountsAndFailedObjectsThrowMemoryException) {
    const long live = afx_standin::LiveAllocations();
    for (INT_PTR count : {INT_PTR{-1}, INT_PTR{INT_MAX}, INTPTR_MAX / 2})
        EXPECT_TRUE(THROWS(CMemoryException, [&] { delete[] AfxNewArray<Block>(count); })) << count;
    EXPECT_TRUE(THROWS(CMemoryException, [] { delete[] AfxNewArray<Wide>(0x7FFFFFFF / 16 + 1); }));
    EXPECT_FALSE(THROWS(CMemoryException, [] { delete[] AfxNewArray<Block>(0); })) << "new T[0] is an array";
    Block *three = AfxNewArray<Block>(3), *first = (afx_standin::FailNthAllocation(2), new Block);
    EXPECT_TRUE(THROWS(CMemoryException, [] { delete new Block; }) && three[2].value == 7);
    delete first;
    delete[] three;
    EXPECT_EQ(live, afx_standin::LiveAllocations());
}
} // namespace
