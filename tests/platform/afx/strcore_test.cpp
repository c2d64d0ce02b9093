#include "afx_test_support.h"

#include "win32_standin.h"

#include <cstring>
#include <functional>
#include <string>

namespace {
using strcore = AfxTest;

TEST_F(strcore, CopiesAreIndependentOfTheirSource) {
    const struct {
        const char *name;
        std::function<void(CString &)> change;
    } cases[] = {
        {"append", [](CString &s) { s += "!"; }},
        {"assign", [](CString &s) { s = "other"; }},
        {"write through the buffer", [](CString &s) { s.GetBuffer(0)[0] = 'X'; }},
        {"empty", [](CString &s) { s.Empty(); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const CString original("text");
        CString copied(original);
        CString assigned;
        assigned = original;
        c.change(copied);
        c.change(assigned);
        EXPECT_STREQ("text", original);
    }
}

TEST_F(strcore, ConstructionFromNullGivesEmpty) {
    const CString s(static_cast<LPCSTR>(nullptr));
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_STREQ("", s);
}

TEST_F(strcore, ExtractorsClampTheirArguments) {
    const CString s("abcdef");
    const struct {
        const char *name;
        CString got;
        const char *expected;
    } cases[] = {
        {"Left within", s.Left(2), "ab"},       {"Left negative", s.Left(-1), ""},
        {"Left past end", s.Left(99), "abcdef"}, {"Mid to end", s.Mid(4), "ef"},
        {"Mid negative first", s.Mid(-3, 2), "ab"}, {"Mid count past end", s.Mid(2, 99), "cdef"},
        {"Mid first past end", s.Mid(9), ""},   {"Right within", s.Right(2), "ef"},
        {"Right negative", s.Right(-1), ""},    {"Right past end", s.Right(99), "abcdef"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_STREQ(c.expected, c.got);
    }
}

TEST_F(strcore, FindReturnsIndexOrMinusOne) {
    const CString s("abcabc");
    EXPECT_EQ(1, s.Find('b'));
    EXPECT_EQ(4, s.Find('b', 2));
    EXPECT_EQ(-1, s.Find('b', 6));
    EXPECT_EQ(-1, s.Find('b', -1));
    EXPECT_EQ(3, s.Find("abc", 1));
    EXPECT_EQ(-1, s.Find("abd"));
    EXPECT_EQ(-1, s.Find(static_cast<LPCSTR>(nullptr)));
}

TEST_F(strcore, ComparisonIsByteOrder) {
    EXPECT_TRUE(CString("abc") == "abc");
    EXPECT_TRUE("abd" != CString("abc"));
    EXPECT_TRUE(CString("ab") < CString("abc"));
    EXPECT_LT(CString("B").Compare("a"), 0);
    EXPECT_EQ(0, CString().Compare(nullptr));
}

TEST_F(strcore, IndexTestAllowsTheTerminatorOnly) {
    const CString s("ab");
    EXPECT_EQ('b', s[1]);
    EXPECT_EQ('\0', s.GetAt(2));
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s.GetAt(3); }));
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s.GetAt(-1); }));
}

TEST_F(strcore, BufferAccessFollowsReleaseBufferLength) {
    CString s("abc");
    std::strcpy(s.GetBuffer(10), "0123456789");
    s.ReleaseBuffer();
    EXPECT_STREQ("0123456789", s);
    s.GetBuffer(0);
    s.ReleaseBuffer(4);
    EXPECT_STREQ("0123", s);
    std::memset(s.GetBufferSetLength(3), 'z', 3);
    EXPECT_STREQ("zzz", s);
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s.GetBuffer(-1); }));
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s.ReleaseBuffer(1 << 20); }));
}

TEST_F(strcore, OperandsMayBeTheStringItself) {
    CString s("ab");
    s += s;
    EXPECT_STREQ("abab", s);
    s = s.GetString() + 1;
    EXPECT_STREQ("bab", s);
    s.Format("<%s>", s.GetString());
    EXPECT_STREQ("<bab>", s);
    EXPECT_STREQ("x<bab>y", "x" + s + 'y');
}

TEST_F(strcore, FormatProducesOutputOfAnyLength) {
    CString s;
    s.Format("%d-%s", 42, std::string(1000, 'q').c_str());
    EXPECT_EQ(1003, s.GetLength());
    EXPECT_STREQ("42-q", s.Left(4));
}

TEST_F(strcore, AllocationFailureThrowsAndLeavesTheStringUnchanged) {
    const struct {
        const char *name;
        std::function<void(CString &)> change;
    } cases[] = {
        {"assign", [](CString &s) { s = "a longer text than before"; }},
        {"append", [](CString &s) { s += " and more text"; }},
        {"concatenate", [](CString &s) { s = s + "tail"; }},
        {"format", [](CString &s) { s.Format("%s%s", "x", "y"); }},
        {"grow buffer", [](CString &s) { s.GetBuffer(100); }},
        {"copy", [](CString &s) { CString copy(s); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CString s("kept");
        const long live = afx_standin::LiveAllocations();
        afx_standin::FailNthAllocation(1);
        EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { c.change(s); }));
        EXPECT_STREQ("kept", s);
        EXPECT_EQ(live, afx_standin::LiveAllocations());
    }
}

// ---- LoadString through the resource chain ----------------------------------
const std::u16string kLongText(600, u'\u5727');  // 3 bytes each in UTF-8
const win32_standin::StringResource kHostStrings[] = {{0x0411, 7003, u"host 7003"}, {0x0411, 42, u"host 42"}};
const win32_standin::StringResource kLibraryStrings[] = {
    {0x0411, 7001, u"BMP (\u7121\u5727\u7e2e)"}, {0x0411, 42, u"library 42"}, {0x0411, 9, kLongText.c_str()}};
const win32_standin::ModuleResources kHostTable = {kHostStrings, 2, nullptr};
const win32_standin::ModuleResources kLibraryTable = {kLibraryStrings, 3, nullptr};
char g_hostImage, g_libraryImage;  // their addresses serve as module handles

class LoadStringTest : public AfxTest {
protected:
    void SetUp() override {
        AfxTest::SetUp();
        win32_standin::AttachModuleResources(host, &kHostTable);
        win32_standin::AttachModuleResources(library, &kLibraryTable);
        AfxSetResourceHandle(host);
        ASSERT_TRUE(AfxInitExtensionModule(extension, library));
        new CDynLinkLibrary(extension);
    }
    void TearDown() override {
        AfxTermExtensionModule(extension);
        AfxSetResourceHandle(nullptr);
        win32_standin::DetachModuleResources(library);
        win32_standin::DetachModuleResources(host);
        AfxTest::TearDown();
    }
    HMODULE host = reinterpret_cast<HMODULE>(&g_hostImage);
    HMODULE library = reinterpret_cast<HMODULE>(&g_libraryImage);
    AFX_EXTENSION_MODULE extension = {};
};

TEST_F(LoadStringTest, TakesTheFirstModuleOfTheChainHoldingTheIdentifier) {
    const struct {
        const char *name;
        UINT id;
        const char *expected;
    } cases[] = {
        {"only the library has it, though the host has its block", 7001, "BMP (無圧縮)"},
        {"only the host has it", 7003, "host 7003"},
        {"both have it: the host comes first", 42, "host 42"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CString s;
        EXPECT_TRUE(s.LoadString(c.id));
        EXPECT_STREQ(c.expected, s);
    }
}

TEST_F(LoadStringTest, MissingIdentifierEmptiesTheString) {
    CString s("before");
    EXPECT_FALSE(s.LoadString(7002));
    EXPECT_TRUE(s.IsEmpty());
}

TEST_F(LoadStringTest, LongTextIsLoadedWhole) {
    CString s;
    EXPECT_TRUE(s.LoadString(9));
    EXPECT_EQ(1800, s.GetLength());
}
}  // namespace
