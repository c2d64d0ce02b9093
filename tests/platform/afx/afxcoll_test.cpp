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
}  // namespace
