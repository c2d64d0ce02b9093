#include "afx_test_support.h"

namespace {
// Each fixed-type array has its own run-time class. Add takes a reference:
// an element of the array itself must survive the move to a larger block.
TEST(afxcoll, ArraysHaveTheirOwnClassAndStringsMayComeFromTheArray) {
    CStringArray a;
    a.Add("abc");
    a.Add(a[0]);
    a[0] += "!";
    EXPECT_STREQ("abc!", a[0]);
    EXPECT_STREQ("abc", a[1]);
    EXPECT_STREQ("CStringArray", a.GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CDWordArray", CDWordArray().GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CUIntArray", CUIntArray().GetRuntimeClass()->m_lpszClassName);
    const long live = afx_standin::LiveAllocations();
    a.SetSize(1);
    EXPECT_EQ(live - 1, afx_standin::LiveAllocations()) << "shrinking frees the dropped string";
}
}  // namespace
