#include "afx_test_support.h"

namespace {
using afxcoll = AfxTest;

TEST_F(afxcoll, EachArrayHasItsOwnRuntimeClass) {
    const CStringArray strings;
    const CDWordArray dwords;
    const CUIntArray uints;
    EXPECT_STREQ("CStringArray", strings.GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CDWordArray", dwords.GetRuntimeClass()->m_lpszClassName);
    EXPECT_STREQ("CUIntArray", uints.GetRuntimeClass()->m_lpszClassName);
    EXPECT_FALSE(strings.IsKindOf(RUNTIME_CLASS(CDWordArray)));
}

TEST_F(afxcoll, StringArrayStoresIndependentCopies) {
    CStringArray a;
    CString text("abc");
    a.Add(text);
    a.Add("literal");
    a.SetSize(3);
    text += "def";
    a[0] += "!";
    EXPECT_STREQ("abcdef", text);
    EXPECT_STREQ("abc!", a[0]);
    EXPECT_STREQ("literal", a.GetAt(1));
    EXPECT_TRUE(a[2].IsEmpty());
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { a.GetAt(3); }));
}

TEST_F(afxcoll, NumberArraysValueInitialise) {
    CDWordArray dwords;
    dwords.SetSize(2);
    dwords.SetAtGrow(3, 0xFFFFFFFFu);
    EXPECT_EQ(0u, dwords[2]);
    EXPECT_EQ(0xFFFFFFFFu, dwords[3]);
    CUIntArray uints;
    uints.InsertAt(1, 5u);
    EXPECT_EQ(0u, uints[0]);
    EXPECT_EQ(5u, uints[1]);
}
}  // namespace
