#include "afx_test_support.h"

#include "support/win32_seams.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace {
// Seeded random edits, searches and comparisons of a CString beside a
// std::string, some with the k-th allocation failing. Extractors clamp their
// arguments; a bad index or length throws CInvalidArgException*, a failed
// allocation CMemoryException*, and either leaves the string as it was and
// leaks nothing. Bytes compare unsigned ("\xE0" is in the alphabet).
TEST(strcore, RandomCallsMatchAStringModel) {
    std::mt19937 random(83);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); };
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    const long live = afx_standin::LiveAllocations();
    {
        CString s;
        std::string m;
        for (int step = 0; step < 4000; ++step) {
            const int length = static_cast<int>(m.size()), i = pick(-2, length + 2), n = pick(-2, length + 2);
            std::string text(pick(0, 3), 'a');
            for (char &c : text)
                c = "ab\xE0"[pick(0, 2)];
            const char *argument = pick(0, 5) ? text.c_str() : nullptr;
            const char ch = text.empty() ? 'c' : text[0];
            const std::string arg = argument ? text : "", before = m;
            const int op = length > 40 ? pick(3, 5) : pick(0, 15), nth = pick(0, 3) ? 0 : pick(1, 2);
            const int first = std::clamp(i, 0, length), count = std::clamp(n, 0, length - first);
            SCOPED_TRACE(testing::Message() << "step " << step << " op " << op << " i " << i << " n " << n);
            bool bad = false;
            const long liveBefore = afx_standin::LiveAllocations();
            afx_standin::ResetAllocationAttempts(), afx_standin::FailNthAllocation(nth);
            const CRuntimeClass *thrown = ThrownClass([&] {
                switch (op) {
                case 0:
                    s += CString(argument), m += arg;
                    break;
                case 1:
                    s += argument, m += arg;
                    break;
                case 2:
                    s += ch, m += ch;
                    break;
                case 3:
                    s = s.Mid(i, n), m = m.substr(first, count);
                    break;
                case 4:
                    s = s.Left(n), m = m.substr(0, std::clamp(n, 0, length));
                    break;
                case 5:
                    s = s.Right(n), m = m.substr(length - std::clamp(n, 0, length));
                    break;
                case 6:
                    s = s.Mid(i), m = m.substr(first);
                    break;
                case 7:
                    s += s, m += m;
                    break;
                case 8:
                    s = s.GetString() + first, m = m.substr(first);
                    break;
                case 9: // the bytes a longer buffer adds are the caller's to write
                    bad = n < 0, std::fill_n(s.GetBufferSetLength(n) + length, n - length, 'q'), m.resize(n, 'q');
                    break;
                case 10:
                    bad = n < 0, s.GetBuffer(n)[first] = '\0', s.ReleaseBuffer(), m.resize(first);
                    break;
                case 11:
                    bad = i < -1, s.ReleaseBuffer(std::min(i, length)), m.resize(i < 0 ? length : first);
                    break;
                case 12:
                    s.Format("%s|%d", arg.c_str(), i), m = arg + "|" + std::to_string(i);
                    break;
                case 13: {                            // copies are independent; every concatenation
                    CString copy(s), assigned, moved; // a string moved from is empty and usable
                    assigned = s, copy += 'x', moved = std::move(copy), copy += argument,
                    s = "<" + assigned + '>' + moved + copy;
                    m = "<" + m + ">" + m + "x" + arg;
                    break;
                }
                case 14: { // part of a text; of NULL only none
                    const int k = argument ? std::min(n, static_cast<int>(arg.size())) : n;
                    bad = k < 0 || (!argument && k > 0), s = CString(argument, k), m = arg.substr(0, std::max(k, 0));
                    break;
                }
                default:
                    bad = i < 0 || i > length;
                    EXPECT_EQ(s.GetAt(i), m.c_str()[first]); // GetAt(length) reads the terminator
                    EXPECT_EQ(s.Find(ch, i), i < 0 || i >= length ? -1 : static_cast<int>(m.find(ch, i)));
                    EXPECT_EQ(s.Find(argument, i), !argument || bad ? -1 : static_cast<int>(m.find(arg, i)));
                    EXPECT_EQ(
                        std::make_pair(s.Find(ch), s.Find(argument)), // from the start by default
                        std::make_pair(static_cast<int>(m.find(ch)), argument ? static_cast<int>(m.find(arg)) : -1));
                    const CString other(argument);
                    EXPECT_EQ(std::make_tuple(sign(s.Compare(argument)), s == argument, argument == s, s != argument,
                                              argument != s, s < other, s == other, s != other),
                              std::make_tuple(sign(m.compare(arg)), m == arg, m == arg, m != arg, m != arg, m < arg,
                                              m == arg, m != arg));
                }
            });
            const bool failed = nth > 0 && afx_standin::AllocationAttempts() >= nth;
            afx_standin::ClearFaults();
            EXPECT_EQ(thrown, bad      ? RUNTIME_CLASS(CInvalidArgException)
                              : failed ? RUNTIME_CLASS(CMemoryException)
                                       : nullptr);
            if (thrown)
                m = before;
            EXPECT_TRUE(!thrown || afx_standin::LiveAllocations() == liveBefore) << "leaked";
            ASSERT_TRUE(std::string(s.GetString(), s.GetLength()) == m && std::strlen(s) == m.size()) << s.GetString();
        }
    }
    EXPECT_EQ(afx_standin::LiveAllocations(), live);
    // Past the block: an empty string owns none; a copy's holds its length.
    EXPECT_TRUE(THROWS(CInvalidArgException, [] { CString().ReleaseBuffer(1); }));
    EXPECT_TRUE(THROWS(CInvalidArgException, [] { CString("abc").ReleaseBuffer(4); }));
    // Appending within the block allocates nothing ("abcd" += "ef" makes room for 9).
    CString grown("abcd");
    grown += "ef";
    afx_standin::FailNthAllocation(1);
    grown += "ghi";
    EXPECT_TRUE(THROWS(CMemoryException, [&] { grown += 'j'; }) && grown == "abcdefghi");
    afx_standin::ClearFaults();
}

// LoadString through the resource chain: the host's resources, then an
// ordinary library and a system library, loaded in that order; the system
// one heads the chain but is searched last.
TEST(strcore, LoadStringTakesTheFirstModuleOfTheChainHoldingTheIdentifier) {
    SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
    const std::u16string longText(600, u'\u5727'); // 3 bytes each in UTF-8: longer than the first buffer
    const win32_standin::StringResource strings[] = {{0x0411, 7003, u"host 7003"},
                                                     {0x0411, 42, u"host 42"}, // the host: ids of 7001's block, and 42
                                                     {0x0411, 7001, u"BMP (\u7121\u5727\u7e2e)"},
                                                     {0x0411, 42, u"library 42"},
                                                     {0x0411, 9, longText.c_str()},
                                                     {0x0411, 7001, u"system 7001"},
                                                     {0x0411, 8, u"system 8"}};
    const win32_standin::ModuleResources tables[] = {
        {strings, 2, nullptr}, {strings + 2, 3, nullptr}, {strings + 5, 2, nullptr}};
    AFX_EXTENSION_MODULE records[3] = {};
    auto module = [&](int i) { return reinterpret_cast<HMODULE>(&records[i]); };
    for (int i = 0; i < 3; ++i)
        win32_standin::AttachModuleResources(module(i), &tables[i]);
    AfxSetResourceHandle(module(0));
    ASSERT_TRUE(AfxInitExtensionModule(records[1], module(1)) && AfxInitExtensionModule(records[2], module(2)));
    new CDynLinkLibrary(records[1]); // not a system library by default
    new CDynLinkLibrary(records[2], TRUE);
    std::string longUtf8;
    while (longUtf8.size() < 1800)
        longUtf8 += "圧";
    // Only a library has 7001 though the host has its block; the host comes
    // first for 42; only the system library has 8; 7002 is nowhere.
    for (const auto &[id, expected] : {std::pair<UINT, std::string>{7001, "BMP (無圧縮)"},
                                       {42, "host 42"},
                                       {8, "system 8"},
                                       {9, longUtf8},
                                       {7002, ""}}) {
        CString s("before");
        EXPECT_EQ(s.LoadString(id), !expected.empty()) << id;
        EXPECT_EQ(expected, std::string(s.GetString(), std::size_t(s.GetLength()))) << id; // the length as loaded
    }
    for (int i = 0; i < 3; ++i)
        AfxTermExtensionModule(records[i]), win32_standin::DetachModuleResources(module(i));
    AfxSetResourceHandle(nullptr);
}
} // namespace
