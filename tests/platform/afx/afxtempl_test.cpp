#include "afx_test_support.h"

#include <functional>
#include <memory>
#include <vector>

namespace {
using IntArray = CArray<int, int>;
std::vector<int> Contents(const IntArray &a) { return std::vector<int>(a.GetData(), a.GetData() + a.GetSize()); }
std::unique_ptr<IntArray> Make(std::initializer_list<int> values) {
    auto a = std::make_unique<IntArray>();
    for (int v : values) a->Add(v);
    return a;
}

TEST(afxtempl, GrowthStepIsKeptUntilReplaced) {
    IntArray a;
    a.SetSize(1, 8);
    a.SetSize(0);
    a.SetSize(1);  // -1 keeps the step of 8: a block of 8, which size 8 fits
    const int *block = a.GetData();
    a.SetSize(8);
    EXPECT_EQ(block, a.GetData());
    a.SetSize(0, 2);  // a new step replaces it: a block of 2, which size 3 does not fit
    a.SetSize(1);
    block = a.GetData();
    a.SetSize(3);
    EXPECT_NE(block, a.GetData());
}

// From {1, 2, 3}; a row that throws must leave it as it was.
TEST(afxtempl, EditsAndInvalidArguments) {
    const std::vector<int> same{1, 2, 3};
    const struct { const char *name; std::function<void(IntArray &)> call; std::vector<int> expected; bool throws; } cases[] = {
        {"SetSize grows, value-initialised", [](IntArray &a) { a.SetSize(5); }, {1, 2, 3, 0, 0}, false},
        {"shrink drops, growing anew is zero", [](IntArray &a) { a.SetSize(1); a.SetSize(2); }, {1, 0}, false},
        {"SetSize 0 frees", [](IntArray &a) { a.SetSize(0); EXPECT_EQ(nullptr, a.GetData()); }, {}, false},
        {"SetAtGrow past end", [](IntArray &a) { a.SetAtGrow(5, 6); }, {1, 2, 3, 0, 0, 6}, false},
        {"InsertAt middle", [](IntArray &a) { a.InsertAt(1, 9, 2); }, {1, 9, 9, 2, 3}, false},
        {"InsertAt past end", [](IntArray &a) { a.InsertAt(4, 9); }, {1, 2, 3, 0, 9}, false},
        {"RemoveAt", [](IntArray &a) { a.RemoveAt(0, 2); }, {3}, false},
        {"Append", [](IntArray &a) { EXPECT_EQ(3, a.Append(*Make({7, 8}))); }, {1, 2, 3, 7, 8}, false},
        {"Copy", [](IntArray &a) { a.Copy(*Make({7})); }, {7}, false},
        {"SetSize negative", [](IntArray &a) { a.SetSize(-1, 4); }, same, true},
        {"GetAt past end", [](IntArray &a) { a.GetAt(3); }, same, true},
        {"SetAtGrow negative", [](IntArray &a) { a.SetAtGrow(-1, 9); }, same, true},
        {"InsertAt no count", [](IntArray &a) { a.InsertAt(0, 9, 0); }, same, true},
        {"RemoveAt past end", [](IntArray &a) { a.RemoveAt(2, 2); }, same, true},
        {"Append to itself", [](IntArray &a) { a.Append(a); }, same, true},
    };
    for (const auto &c : cases) {
        const auto a = Make({1, 2, 3});
        EXPECT_EQ(c.throws, ThrowsFramework<CInvalidArgException>([&] { c.call(*a); })) << c.name;
        EXPECT_EQ(c.expected, Contents(*a)) << c.name;
    }
}

// Whichever of the first allocations fails, the array keeps its contents
// and nothing leaks; later allocations may not be reached at all.
TEST(afxtempl, FailuresLeaveTheArrayUnchanged) {
    using TextArray = CArray<CString>;
    const struct { const char *name; std::function<void(TextArray &)> call; } cases[] = {
        {"grow", [](TextArray &a) { a.SetSize(100); }},
        {"insert copies", [](TextArray &a) { a.InsertAt(0, CString("new"), 2); }},
        {"copy", [](TextArray &a) { TextArray other; other.Add("x"); other.Add("y"); a.Copy(other); }},
        {"size overflows", [](TextArray &a) { a.SetAtGrow(INTPTR_MAX, "x"); }},
    };
    for (int nth = 1; nth <= 3; ++nth)
        for (const auto &c : cases) {
            TextArray a;
            a.Add("one");
            a.Add("two");
            const long live = afx_standin::LiveAllocations();
            afx_standin::FailNthAllocation(nth);
            const bool threw = ThrowsFramework<CMemoryException>([&] { c.call(a); });
            afx_standin::ClearFaults();
            EXPECT_TRUE(threw || nth > 1) << c.name;
            EXPECT_TRUE(!threw || (a.GetSize() == 2 && a[1] == "two" && afx_standin::LiveAllocations() == live))
                << c.name << ", allocation " << nth;
        }
}
}  // namespace
