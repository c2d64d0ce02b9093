#include "afx_test_support.h"

#include "support/win32_seams.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {
// From "abcdef"; a row whose text is null throws CInvalidArgException*.
TEST(strcore, EditsExtractsAndRefusesBadArguments) {
    const struct { const char *name; std::function<CString(CString &)> op; const char *expected; } cases[] = {
        {"Left", [](CString &s) { return s.Left(2); }, "ab"},
        {"Left clamps", [](CString &s) { return s.Left(9) + s.Left(-1); }, "abcdef"},
        {"Mid", [](CString &s) { return s.Mid(2) + "|" + s.Mid(1, 2); }, "cdef|bc"},
        {"Mid clamps", [](CString &s) { return s.Mid(9) + "|" + s.Mid(-2, 3) + "|" + s.Mid(4, 9); }, "|abc|ef"},
        {"Right", [](CString &s) { return s.Right(2) + "|" + s.Right(9) + s.Right(-1); }, "ef|abcdef"},
        {"appends", [](CString &s) { s += CString("g"); s += 'h'; s += nullptr; return s + 'i' + "j"; }, "abcdefghij"},
        {"operand is itself", [](CString &s) { s += s; s = s.GetString() + 9; return "<" + s; }, "<def"},
        {"copies are independent",
         [](CString &s) { CString t(s), u; u = s; t.GetBuffer(0)[0] = 'X'; u.GetBuffer(0)[1] = 'Y'; return s + t + u; },
         "abcdefXbcdefaYcdef"},
        {"part of a text", [](CString &) { return CString("xyz", 2) + CString(nullptr, 0); }, "xy"},
        {"null assigns empty", [](CString &s) { s = LPCSTR{}; return s + CString(LPCSTR{}); }, ""},
        {"ReleaseBuffer at the terminator",
         [](CString &s) { std::strcpy(s.GetBuffer(10), "xyz"); s.ReleaseBuffer(); return s + char(s.GetLength()); },
         "xyz\x03"},
        {"ReleaseBuffer to a length", [](CString &s) { s.GetBuffer(0); s.ReleaseBuffer(2); return s; }, "ab"},
        {"ReleaseBuffer to 0", [](CString &s) { s.ReleaseBuffer(0); return s + "|"; }, "|"},
        {"ReleaseBuffer past an empty block", [](CString &) { CString t; t.ReleaseBuffer(1); return t; }, nullptr},
        {"GetBufferSetLength", [](CString &s) { s.GetBufferSetLength(3); return s + char(s.GetLength()); }, "abc\x03"},
        {"GetAt reads the terminator", [](CString &s) { return CString(s.GetAt(6) ? "?" : "nul") + s[5]; }, "nulf"},
        {"Format", [](CString &s) { s.Format("<%s>%d", s.GetString(), 7); return s; }, "<abcdef>7"},
        {"GetAt past the terminator", [](CString &s) { s.GetAt(7); return s; }, nullptr},
        {"GetAt negative", [](CString &s) { s.GetAt(-1); return s; }, nullptr},
        {"ReleaseBuffer past the block", [](CString &s) { s.ReleaseBuffer(7); return s; }, nullptr},
        {"ReleaseBuffer negative", [](CString &s) { s.ReleaseBuffer(-2); return s; }, nullptr},
        {"GetBuffer negative", [](CString &s) { s.GetBuffer(-1); return s; }, nullptr},
        {"null text of a length", [](CString &) { return CString(nullptr, 1); }, nullptr},
        {"negative length", [](CString &) { return CString("x", -1); }, nullptr},
    };
    for (const auto &c : cases) {
        const long live = afx_standin::LiveAllocations();
        {
            CString s("abcdef"), result;
            EXPECT_EQ(!c.expected, ThrowsFramework<CInvalidArgException>([&] { result = c.op(s); })) << c.name;
            EXPECT_STREQ(c.expected ? c.expected : "", result) << c.name;
        }
        EXPECT_EQ(live, afx_standin::LiveAllocations()) << c.name << " leaked";
    }
}

TEST(strcore, SearchAndComparisonAreByteWise) {
    const CString s("abcabc");
    const int found[] = {s.Find('a'), s.Find('c', 3), s.Find('a', 6), s.Find('a', -1), s.Find("ca"), s.Find("bc", 2),
                         s.Find("", 6), s.Find("a", 7), s.Find(static_cast<LPCSTR>(nullptr))};
    EXPECT_EQ(std::vector<int>(std::begin(found), std::end(found)), (std::vector<int>{0, 5, -1, -1, 2, 4, 6, -1, -1}));
    EXPECT_LT(s.Compare("abcabd"), 0);
    EXPECT_GT(s.Compare("abcab"), 0);
    EXPECT_LT(s.Compare("abc\xE0"), 0) << "bytes compare unsigned";
    EXPECT_EQ(CString().Compare(nullptr), 0);
    EXPECT_TRUE(CString("a") < CString("b") && !(CString("b") < CString("a")) && !(CString("a") < CString("a")));
    EXPECT_TRUE(CString("a") != "b" && "a" == CString("a") && CString("a") == CString("a"));
    EXPECT_TRUE("b" != CString("a") && !("a" != CString("a")));
}

// Every change that allocates throws the framework's exception when it
// cannot, leaves the string as it was and leaks nothing; appending within
// the block ("abcd" += "ef" makes room for 9 characters) allocates nothing.
TEST(strcore, AllocationFailureThrowsAndLeavesTheStringUnchanged) {
    const std::pair<const char *, std::function<void(CString &)>> changes[] = {
        {"copy", [](CString &s) { CString t(s); }},
        {"assign", [](CString &s) { CString t; t = s; }},
        {"assign text", [](CString &) { CString t; t = "text"; }},
        {"append", [](CString &s) { s += " and more"; }},
        {"append string", [](CString &s) { s += CString(); s += s; }},
        {"append character", [](CString &s) { s += '!'; }},
        {"concatenate", [](CString &s) { (void)(s + s); }},
        {"concatenate text", [](CString &s) { (void)("<" + s); }},
        {"extract", [](CString &s) { (void)s.Mid(1, 2); }},
        {"part of a text", [](CString &) { CString("abc", 2); }},
        {"format", [](CString &s) { s.Format("%s", std::string(1000, 'q').c_str()); }},
        {"grow the buffer", [](CString &s) { s.GetBuffer(100); }},
        {"set the length", [](CString &s) { s.GetBufferSetLength(100); }},
    };
    for (const auto &[name, change] : changes) {
        CString s("kept");
        const long live = afx_standin::LiveAllocations();
        afx_standin::FailNthAllocation(1);
        EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { change(s); })) << name;
        afx_standin::ClearFaults();
        EXPECT_STREQ("kept", s) << name;
        EXPECT_EQ(live, afx_standin::LiveAllocations()) << name;
    }
    CString grown("abcd");
    grown += "ef";
    afx_standin::FailNthAllocation(1);
    grown += "ghi";
    EXPECT_TRUE(ThrowsFramework<CMemoryException>([&] { grown += 'j'; }) && grown == "abcdefghi");
}

// LoadString through the resource chain: the host's resources, then an
// ordinary library and a system library, loaded in that order; the system
// one heads the chain but is searched last.
const std::u16string kLongText(600, u'\u5727');  // 3 bytes each in UTF-8: longer than the first buffer
const win32_standin::StringResource kStrings[] = {
    {0x0411, 7003, u"host 7003"}, {0x0411, 42, u"host 42"},  // the host: ids of 7001's block, and 42
    {0x0411, 7001, u"BMP (\u7121\u5727\u7e2e)"}, {0x0411, 42, u"library 42"}, {0x0411, 9, kLongText.c_str()},
    {0x0411, 7001, u"system 7001"}, {0x0411, 8, u"system 8"}};
const win32_standin::ModuleResources kTables[] = {{kStrings, 2, nullptr}, {kStrings + 2, 3, nullptr},
                                                  {kStrings + 5, 2, nullptr}};

TEST(strcore, LoadStringTakesTheFirstModuleOfTheChainHoldingTheIdentifier) {
    SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
    AFX_EXTENSION_MODULE records[3] = {};
    auto module = [&](int i) { return reinterpret_cast<HMODULE>(&records[i]); };
    for (int i = 0; i < 3; ++i) win32_standin::AttachModuleResources(module(i), &kTables[i]);
    AfxSetResourceHandle(module(0));
    ASSERT_TRUE(AfxInitExtensionModule(records[1], module(1)) && AfxInitExtensionModule(records[2], module(2)));
    new CDynLinkLibrary(records[1]);  // not a system library by default
    new CDynLinkLibrary(records[2], TRUE);
    const struct { const char *name; UINT id; std::string expected; } cases[] = {
        {"only a library has it, though the host has its block", 7001, "BMP (無圧縮)"},
        {"host and library have it: the host comes first", 42, "host 42"},
        {"only the system library has it", 8, "system 8"},
        {"text longer than the first buffer", 9, [] { std::string t; while (t.size() < 1800) t += "圧"; return t; }()},
        {"a missing identifier empties the string", 7002, ""},
    };
    for (const auto &c : cases) {
        CString s("before");
        EXPECT_EQ(s.LoadString(c.id), !c.expected.empty()) << c.name;
        EXPECT_EQ(c.expected, s.GetString()) << c.name;
        EXPECT_EQ(s.IsEmpty(), c.expected.empty()) << c.name;
    }
    for (int i = 0; i < 3; ++i) {
        AfxTermExtensionModule(records[i]);
        win32_standin::DetachModuleResources(module(i));
    }
    AfxSetResourceHandle(nullptr);
}
}  // namespace
