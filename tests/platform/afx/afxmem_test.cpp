#include "afx_test_support.h"

#include <climits>

namespace {
struct Block : CObject {
    int value = 7;
};

using afxmem = AfxTest;

struct ArrayCountCase {
    const char *name;
    INT_PTR count;
};

TEST_F(afxmem, NewArrayOfAnUnfittingCountThrowsMemoryExceptionAndAllocatesNothing) {
    const ArrayCountCase cases[] = {
        {"negative", -1},
        {"most negative", INT_MIN},
        {"beyond a 32-bit address space", INT_MAX},
        {"byte size would wrap", INTPTR_MAX / 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const long live = afx_standin::LiveAllocations();
        EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { delete[] AfxNewArray<Block>(c.count); }));
        EXPECT_EQ(live, afx_standin::LiveAllocations());
    }
}

TEST_F(afxmem, NewArrayConstructsEachElementAndZeroIsValid) {
    Block *three = AfxNewArray<Block>(3);
    EXPECT_EQ(7, three[2].value);
    delete[] three;
    delete[] AfxNewArray<Block>(0);
}

TEST_F(afxmem, FailedObjectAllocationThrowsMemoryExceptionNotBadAlloc) {
    const long live = afx_standin::LiveAllocations();
    afx_standin::FailNthAllocation(2);
    Block *first = new Block;
    EXPECT_TRUE(ThrowsFramework<CMemoryException>([] { delete new Block; }));
    delete first;
    EXPECT_EQ(live, afx_standin::LiveAllocations());
}

TEST_F(afxmem, SizeArithmeticRefusesOverflowInsteadOfWrapping) {
    EXPECT_TRUE(ThrowsFramework<CMemoryException>([] { afx_heap::CheckedAdd(INTPTR_MAX, 1); }));
    EXPECT_TRUE(ThrowsFramework<CMemoryException>([] { afx_heap::ArrayBytes(INTPTR_MAX, 16); }));
    EXPECT_EQ(afx_heap::kLargestBlock, afx_heap::ArrayBytes(afx_heap::kLargestBlock, 1));
}
}  // namespace
