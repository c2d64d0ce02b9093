#include "afx_test_support.h"

#include "support/win32_seams.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace {
// Seeded random edits and comparisons of a CString beside a std::string, some with the k-th
// allocation failing: what the library, the program and the image classes
// do with one. A bad length throws CInvalidArgException*, a failed
// allocation CMemoryException*, and either leaves the string as it was and
// leaks nothing.
TEST(strcore, RandomCallsMatchAStringModel) {
    std::mt19937 random(83);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(random() % static_cast<unsigned>(hi - lo + 1)); };
    const long live = afx_standin::LiveAllocations();
    {
        CString s;
        std::string m;
        for (int step = 0; step < 4000; ++step) {
            const int length = static_cast<int>(m.size()), i = pick(-2, length + 2), n = pick(-2, length + 2);
            std::string text(pick(0, 6), 'a');
            for (char &c : text)
                c = "ab\xE0"[pick(0, 2)];
            const char *argument = pick(0, 5) ? text.c_str() : nullptr;
            const std::string arg = argument ? text : "", before = m;
            const int op = pick(0, 4), nth = pick(0, 3) ? 0 : pick(1, 2);
            const int first = std::clamp(i, 0, length);
            SCOPED_TRACE(testing::Message() << "step " << step << " op " << op << " i " << i << " n " << n);
            bool bad = false;
            const long liveBefore = afx_standin::LiveAllocations();
            afx_standin::ResetAllocationAttempts(), afx_standin::FailNthAllocation(nth);
            const CRuntimeClass *thrown = ThrownClass([&] {
                switch (op) {
                case 0:
                    s = CString(argument), m = arg;
                    break;
                case 1:
                    s = argument, m = arg;
                    break;
                case 2:
                    bad = n < 0, s.GetBuffer(n)[first] = '\0', s.ReleaseBuffer(), m.resize(first);
                    break;
                case 3:
                    bad = i < -1, s.ReleaseBuffer(std::min(i, length)), m.resize(i < 0 ? length : first);
                    break;
                default: { // copies are independent; a string moved from is empty and usable
                    CString copy(s), moved;
                    moved = std::move(copy);
                    EXPECT_TRUE(copy.IsEmpty() && THROWS(CInvalidArgException, [&] { copy.ReleaseBuffer(1); }));
                    copy = "x", copy = moved, moved = "y", s = std::move(copy);
                }
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
            EXPECT_EQ(s == argument, m == arg) << "compared bytewise, NULL as empty";
        }
    }
    EXPECT_EQ(afx_standin::LiveAllocations(), live);
    // Past the block: an empty string owns none; a copy's holds its length.
    EXPECT_TRUE(THROWS(CInvalidArgException, [] { CString().ReleaseBuffer(1); }));
    EXPECT_TRUE(THROWS(CInvalidArgException, [] { CString("abc").ReleaseBuffer(4); }));
    // Within its block a string changes without allocating: an assignment of its length, a buffer of its capacity.
    CString held("abc");
    afx_standin::FailNthAllocation(1);
    held = "xyz", held.GetBuffer(3);
    EXPECT_STREQ(held, "xyz");
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
