#include "afx_test_support.h"

#include "support/win32_seams.h"

#include <functional>
#include <string>

namespace {
using strcore = AfxTest;

// A copy shares nothing with its source, not even through GetBuffer.
TEST_F(strcore, CopiesAreIndependentOfTheirSource) {
    const CString original("text");
    CString copied(original), assigned;
    assigned = original;
    copied.GetBuffer(0)[0] = 'X';
    assigned.GetBuffer(0)[1] = 'Y';
    EXPECT_STREQ("text|Xext|tYxt", original + "|" + copied + "|" + assigned);
}

// GetAt may read the terminator, not past it; an operand may be the string itself.
TEST_F(strcore, GetAtTestsItsIndexAndOperandsMayBeTheStringItself) {
    CString s("0123");
    EXPECT_EQ('\0', s.GetAt(4));
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { s.GetAt(5); }));
    s += s;
    s = s.GetString() + 1;
    s.Format("<%s>%d", s.GetString(), 7);
    EXPECT_STREQ("x<1230123>7y", "x" + s + 'y');
}

TEST_F(strcore, AllocationFailureThrowsAndLeavesTheStringUnchanged) {
    const std::pair<const char *, std::function<void(CString &)>> changes[] = {
        {"append", [](CString &s) { s += " and more"; }},
        {"format", [](CString &s) { s.Format("%s", std::string(1000, 'q').c_str()); }},
        {"grow the buffer", [](CString &s) { s.GetBuffer(100); }},
    };
    for (const auto &[name, change] : changes) {
        CString s("kept");
        const long live = afx_standin::LiveAllocations();
        afx_standin::FailNthAllocation(1);
        EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { change(s); })) << name;
        EXPECT_STREQ("kept", s) << name;
        EXPECT_EQ(live, afx_standin::LiveAllocations()) << name;
    }
}

// ---- LoadString through the resource chain -----------------------------------
const std::u16string kLongText(600, u'\u5727');  // 3 bytes each in UTF-8: longer than the first buffer
const win32_standin::StringResource kStrings[] = {
    {0x0411, 7003, u"host 7003"}, {0x0411, 42, u"host 42"},  // the host: ids of 7001's block, and 42
    {0x0411, 7001, u"BMP (\u7121\u5727\u7e2e)"}, {0x0411, 42, u"library 42"}, {0x0411, 9, kLongText.c_str()},
    {0x0411, 7001, u"system 7001"}, {0x0411, 8, u"system 8"}};
const win32_standin::ModuleResources kTables[] = {{kStrings, 2, nullptr}, {kStrings + 2, 3, nullptr},
                                                  {kStrings + 5, 2, nullptr}};

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
    std::string longText;
    for (int i = 0; i < 600; ++i) longText += "圧";
    const struct { const char *name; UINT id; std::string expected; } cases[] = {
        {"only a library has it, though the host has its block", 7001, "BMP (無圧縮)"},
        {"host and library have it: the host comes first", 42, "host 42"},
        {"only the system library has it", 8, "system 8"},
        {"text longer than the first buffer", 9, longText},
    };
    for (const auto &c : cases) {
        CString s;
        EXPECT_TRUE(s.LoadString(c.id)) << c.name;
        EXPECT_EQ(c.expected, s.GetString()) << c.name;
    }
    CString s("before");
    EXPECT_FALSE(s.LoadString(7002));  // a missing identifier empties the string
    EXPECT_TRUE(s.IsEmpty());
}
}  // namespace
