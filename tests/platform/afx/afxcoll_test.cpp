#include "afx_test_support.h"

namespace {
// Each fixed-type array has its own run-time class (the string array's
// behaviour is CArray's, tested there).
TEST(afxcoll, ArraysHaveTheirOwnClass) {
    EXPECT_STREQ("CStringArray", CStringArray().GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CDWordArray", CDWordArray().GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CUIntArray", CUIntArray().GetRuntimeClass()->m_lpszClassName);
}
}  // namespace
