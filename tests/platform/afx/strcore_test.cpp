#include "afx_test_support.h"

#include "support/win32_seams.h"

#include <cstring>
#include <functional>
#include <string>

namespace {
using strcore = AfxTest;

struct Change {
    const char *name;
    std::function<void(CString &)> apply;
};

TEST_F(strcore, CopiesAreIndependentOfTheirSource) {
    const Change changes[] = {
        {"append", [](CString &s) { s += "!"; }},
        {"assign", [](CString &s) { s = "other"; }},
        {"write through the buffer", [](CString &s) { s.GetBuffer(0)[0] = 'X'; }},
    };
    for (const auto &c : changes) {
        SCOPED_TRACE(c.name);
        const CString original("text");
        CString copied(original), assigned;
        assigned = original;
        c.apply(copied);
        c.apply(assigned);
        EXPECT_STREQ("text", original);
    }
}

TEST_F(strcore, ExtractorsClampAndQueriesReportMinusOne) {
    const CString s("abcabc");
    const struct {
        const char *name;
        CString got;
        const char *expected;
    } extracts[] = {
        {"Left", s.Left(2), "ab"},           {"Left negative", s.Left(-1), ""},
        {"Left past end", s.Left(99), "abcabc"}, {"Mid negative first", s.Mid(-3, 2), "ab"},
        {"Mid past end", s.Mid(2, 99), "cabc"}, {"Mid first past end", s.Mid(9), ""},
        {"Right", s.Right(2), "bc"},         {"Right past end", s.Right(99), "abcabc"},
        {"NULL constructs empty", CString(static_cast<LPCSTR>(nullptr)), ""},
    };
    for (const auto &c : extracts) EXPECT_STREQ(c.expected, c.got) << c.name;
    const struct {
        const char *name;
        int got, expected;
    } queries[] = {
        {"Find char", s.Find('b'), 1},          {"Find char from", s.Find('b', 2), 4},
        {"Find char at end", s.Find('b', 6), -1}, {"Find substring", s.Find("abc", 1), 3},
        {"Find absent", s.Find("abd"), -1},      {"Find NULL", s.Find(static_cast<LPCSTR>(nullptr)), -1},
        {"Compare is byte order", CString("B").Compare("a") < 0, true},
        {"== literal", s == "abcabc", true},     {"<", CString("ab") < CString("abc"), true},
        {"GetAt the terminator", s.GetAt(6), '\0'},
    };
    for (const auto &c : queries) EXPECT_EQ(c.expected, c.got) << c.name;
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s.GetAt(7); }));
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s[-1]; }));
}

TEST_F(strcore, BufferAccessFollowsReleaseBufferLength) {
    CString s("abc");
    std::strcpy(s.GetBuffer(10), "0123456789");
    s.ReleaseBuffer();
    EXPECT_STREQ("0123456789", s);
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
    s = s.GetString() + 1;
    s.Format("<%s>%d", s.GetString(), 7);
    EXPECT_STREQ("x<bab>7y", "x" + s + 'y');
}

TEST_F(strcore, AllocationFailureThrowsAndLeavesTheStringUnchanged) {
    const Change changes[] = {
        {"assign", [](CString &s) { s = "a longer text than before"; }},
        {"append", [](CString &s) { s += " and more"; }},
        {"concatenate", [](CString &s) { s = s + "tail"; }},
        {"format", [](CString &s) { s.Format("%s", std::string(1000, 'q').c_str()); }},
        {"grow the buffer", [](CString &s) { s.GetBuffer(100); }},
    };
    for (const auto &c : changes) {
        SCOPED_TRACE(c.name);
        CString s("kept");
        const long live = afx_standin::LiveAllocations();
        afx_standin::FailNthAllocation(1);
        EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { c.apply(s); }));
        EXPECT_STREQ("kept", s);
        EXPECT_EQ(live, afx_standin::LiveAllocations());
    }
}

// ---- LoadString through the resource chain -----------------------------------
const std::u16string kLongText(600, u'\u5727');  // 3 bytes each in UTF-8
const win32_standin::StringResource kHostStrings[] = {{0x0411, 7003, u"host 7003"}, {0x0411, 42, u"host 42"}};
const win32_standin::StringResource kLibraryStrings[] = {
    {0x0411, 7001, u"BMP (\u7121\u5727\u7e2e)"}, {0x0411, 42, u"library 42"}, {0x0411, 9, kLongText.c_str()}};
const win32_standin::StringResource kSystemStrings[] = {{0x0411, 7001, u"system 7001"}, {0x0411, 8, u"system 8"}};
const win32_standin::ModuleResources kTables[] = {{kHostStrings, 2, nullptr}, {kLibraryStrings, 3, nullptr},
                                                  {kSystemStrings, 2, nullptr}};

// The host's resources, then an ordinary library and a system library,
// loaded in that order: the system one heads the chain but is searched last.
class strcore_LoadString : public AfxTest {
protected:
    void SetUp() override {
        SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
        AfxTest::SetUp();
        for (int i = 0; i < 3; ++i) win32_standin::AttachModuleResources(Module(i), &kTables[i]);
        AfxSetResourceHandle(Module(0));
        for (int i = 1; i < 3; ++i) {
            ASSERT_TRUE(AfxInitExtensionModule(records[i], Module(i)));
            new CDynLinkLibrary(records[i], i == 2);
        }
    }
    void TearDown() override {
        if (IsSkipped())
            return;
        for (int i = 0; i < 3; ++i) {
            AfxTermExtensionModule(records[i]);
            win32_standin::DetachModuleResources(Module(i));
        }
        AfxSetResourceHandle(nullptr);
        AfxTest::TearDown();
    }
    HMODULE Module(int i) { return reinterpret_cast<HMODULE>(&records[i]); }
    AFX_EXTENSION_MODULE records[3] = {};
};

TEST_F(strcore_LoadString, TakesTheFirstModuleOfTheChainHoldingTheIdentifier) {
    const struct {
        const char *name;
        UINT id;
        std::string expected;
    } cases[] = {
        {"only a library has it, though the host has its block", 7001, "BMP (無圧縮)"},
        {"only the host has it", 7003, "host 7003"},
        {"host and library have it: the host comes first", 42, "host 42"},
        {"only the system library has it", 8, "system 8"},
        {"text longer than the first buffer", 9, [] { std::string text; for (int i = 0; i < 600; ++i) text += "圧"; return text; }()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CString s;
        EXPECT_TRUE(s.LoadString(c.id));
        EXPECT_EQ(c.expected, s.GetString());
    }
}

TEST_F(strcore_LoadString, MissingIdentifierEmptiesTheString) {
    CString s("before");
    EXPECT_FALSE(s.LoadString(7002));
    EXPECT_TRUE(s.IsEmpty());
}
}  // namespace
