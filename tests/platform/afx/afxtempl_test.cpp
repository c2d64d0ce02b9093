#include "afx_test_support.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {
using IntArray = CArray<int, int>;
std::vector<int> Contents(const IntArray &a) { return std::vector<int>(a.GetData(), a.GetData() + a.GetSize()); }
std::unique_ptr<IntArray> Make(std::initializer_list<int> values) {
    auto a = std::make_unique<IntArray>();
    for (int v : values) a->Add(v);
    return a;
}

struct Probe : IntArray {
    INT_PTR Capacity() const { return m_nMaxSize; }
};

// MFC's sizing: a first block holds the larger of the size and the step; a
// later one grows by the step (size/8 within 4 to 1024 when the step is 0)
// or to the size itself if that is more; a negative step keeps the last.
TEST(afxtempl, BlocksAreSizedByTheGrowthStep) {
    const struct { const char *name; std::vector<std::pair<INT_PTR, INT_PTR>> calls; INT_PTR capacity; } cases[] = {
        {"first block: the step", {{3, 10}}, 10},
        {"first block: the size", {{3, 2}}, 3},
        {"step 0: at least 4", {{3, 0}, {4, -1}}, 7},
        {"step 0: size/8", {{40, 0}, {41, -1}}, 45},
        {"step 0: at most 1024", {{9000, 0}, {9001, -1}}, 10024},
        {"the size when the step is less", {{3, 0}, {20, -1}}, 20},
        {"a given step", {{4, 0}, {5, 3}}, 7},
        {"-1 keeps the step", {{1, 8}, {0, -1}, {1, -1}}, 8},
        {"a new step replaces it", {{1, 8}, {0, 2}, {1, -1}}, 2},
        {"shrinking keeps the block", {{9, 0}, {2, -1}}, 9},
    };
    for (const auto &c : cases) {
        Probe a;
        for (const auto &[size, step] : c.calls) a.SetSize(size, step);
        EXPECT_EQ(c.capacity, a.Capacity()) << c.name;
        EXPECT_EQ(c.calls.back().first, a.GetSize()) << c.name;
    }
    Probe kept;
    kept.SetSize(1, 8);
    kept.SetSize(9);
    EXPECT_EQ(16, kept.Capacity()) << "SetSize without a step keeps the last";
    Probe added;
    for (int i = 0; i < 6; ++i) added.Add(i);
    EXPECT_EQ(9, added.Capacity()) << "1, then 1 + 4, then 5 + 4";
}

// From {1, 2, 3}; a row that throws must leave it as it was.
TEST(afxtempl, EditsAndInvalidArguments) {
    const std::vector<int> same{1, 2, 3};
    const struct {
        const char *name;
        std::function<void(IntArray &)> call;
        std::vector<int> expected;
        bool throws;
    } cases[] = {
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
        {"GetAt negative", [](IntArray &a) { a.GetAt(-1); }, same, true},
        {"SetAt past end", [](IntArray &a) { a.SetAt(3, 9); }, same, true},
        {"SetAt last", [](IntArray &a) { a.SetAt(2, 9); }, {1, 2, 9}, false},
        {"ElementAt negative", [](IntArray &a) { a.ElementAt(-1); }, same, true},
        {"const [] past end", [](IntArray &a) { std::as_const(a)[3]; }, same, true},
        {"RemoveAt negative", [](IntArray &a) { a.RemoveAt(-1); }, same, true},
        {"RemoveAt negative count", [](IntArray &a) { a.RemoveAt(0, -1); }, same, true},
        {"RemoveAt to the end", [](IntArray &a) { a.RemoveAt(1, 2); }, {1}, false},
        {"InsertAt negative", [](IntArray &a) { a.InsertAt(-1, 9); }, same, true},
        {"SetAtGrow inside", [](IntArray &a) { a.SetAtGrow(0, 9); }, {9, 2, 3}, false},
        {"Copy empty", [](IntArray &a) { a.Copy(IntArray()); EXPECT_EQ(nullptr, a.GetData()); }, {}, false},
        {"Copy itself", [](IntArray &a) { a.Copy(a); }, same, false},
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
