#include "afx_test_support.h"

#include <functional>
#include <vector>

namespace {
using afxtempl = AfxTest;
using IntArray = CArray<int, int>;
using TextArray = CArray<CString>;

std::vector<int> Contents(const IntArray &a) { return std::vector<int>(a.GetData(), a.GetData() + a.GetSize()); }

IntArray *Make(std::initializer_list<int> values) {
    auto *a = new IntArray;
    for (int v : values) a->Add(v);
    return a;
}

TEST_F(afxtempl, GrowthStepIsKeptUntilReplaced) {
    IntArray a;
    a.SetSize(1, 8);   // first block: the larger of size and step
    const int *block = a.GetData();
    a.SetSize(0);
    a.SetSize(1);      // -1 keeps the step of 8
    block = a.GetData();
    for (int i = 1; i < 8; ++i) a.Add(i);
    EXPECT_EQ(block, a.GetData());
    a.SetSize(0, 2);   // a new step replaces it
    a.SetSize(1);
    block = a.GetData();
    a.Add(1);
    a.Add(2);
    EXPECT_NE(block, a.GetData());
    EXPECT_EQ((std::vector<int>{0, 1, 2}), Contents(a));
}

TEST_F(afxtempl, InvalidArgumentsThrowBeforeAnythingChanges) {
    const struct {
        const char *name;
        std::function<void(IntArray &)> call;
    } cases[] = {
        {"SetSize negative", [](IntArray &a) { a.SetSize(-1, 4); }},
        {"GetAt past end", [](IntArray &a) { a.GetAt(3); }},
        {"SetAt negative", [](IntArray &a) { a.SetAt(-1, 9); }},
        {"ElementAt past end", [](IntArray &a) { a.ElementAt(3) = 9; }},
        {"operator[] past end", [](IntArray &a) { a[3] = 9; }},
        {"SetAtGrow negative", [](IntArray &a) { a.SetAtGrow(-1, 9); }},
        {"InsertAt negative", [](IntArray &a) { a.InsertAt(-1, 9); }},
        {"InsertAt no count", [](IntArray &a) { a.InsertAt(0, 9, 0); }},
        {"RemoveAt past end", [](IntArray &a) { a.RemoveAt(2, 2); }},
        {"RemoveAt negative count", [](IntArray &a) { a.RemoveAt(0, -1); }},
        {"Append to itself", [](IntArray &a) { a.Append(a); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<IntArray> a(Make({1, 2, 3}));
        EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { c.call(*a); }));
        EXPECT_EQ((std::vector<int>{1, 2, 3}), Contents(*a));
    }
}

TEST_F(afxtempl, EditingOperations) {
    const struct {
        const char *name;
        std::function<void(IntArray &)> call;
        std::vector<int> expected;
    } cases[] = {
        {"SetSize grows, value-initialised", [](IntArray &a) { a.SetSize(5); }, {1, 2, 3, 0, 0}},
        {"SetSize shrinks, then grows anew", [](IntArray &a) { a.SetSize(1); a.SetSize(2); }, {1, 0}},
        {"SetSize 0 frees", [](IntArray &a) { a.SetSize(0); EXPECT_EQ(nullptr, a.GetData()); }, {}},
        {"Add", [](IntArray &a) { EXPECT_EQ(3, a.Add(4)); }, {1, 2, 3, 4}},
        {"Add an own element while growing", [](IntArray &a) { a.Add(a[0]); }, {1, 2, 3, 1}},
        {"SetAtGrow past end", [](IntArray &a) { a.SetAtGrow(5, 6); }, {1, 2, 3, 0, 0, 6}},
        {"InsertAt middle", [](IntArray &a) { a.InsertAt(1, 9, 2); }, {1, 9, 9, 2, 3}},
        {"InsertAt past end", [](IntArray &a) { a.InsertAt(4, 9); }, {1, 2, 3, 0, 9}},
        {"RemoveAt", [](IntArray &a) { a.RemoveAt(0, 2); }, {3}},
        {"Append", [](IntArray &a) { EXPECT_EQ(3, a.Append(*std::unique_ptr<IntArray>(Make({7, 8})))); },
         {1, 2, 3, 7, 8}},
        {"Copy", [](IntArray &a) { a.Copy(*std::unique_ptr<IntArray>(Make({7}))); }, {7}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<IntArray> a(Make({1, 2, 3}));
        c.call(*a);
        EXPECT_EQ(c.expected, Contents(*a));
    }
}

TEST_F(afxtempl, FailuresLeaveTheArrayUnchanged) {
    const struct {
        const char *name;
        std::function<void(TextArray &)> call;
    } cases[] = {
        {"grow", [](TextArray &a) { a.SetSize(100); }},
        {"add a copy", [](TextArray &a) { a.Add("new"); }},
        {"insert copies", [](TextArray &a) { a.InsertAt(0, CString("new"), 2); }},
        {"copy", [](TextArray &a) { TextArray other; other.Add("x"); other.Add("y"); a.Copy(other); }},
        {"size overflows", [](TextArray &a) { a.SetAtGrow(INTPTR_MAX, "x"); }},
        {"block too large", [](TextArray &a) { a.SetSize(INTPTR_MAX / 2); }},
    };
    for (int nth = 1; nth <= 3; ++nth) {
        for (const auto &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", allocation " << nth);
            TextArray a;
            a.Add("one");
            a.Add("two");
            const long live = afx_standin::LiveAllocations();
            afx_standin::FailNthAllocation(nth);
            const bool threw = ThrowsFramework<CMemoryException>([&] { c.call(a); });
            afx_standin::ClearFaults();
            EXPECT_TRUE(threw || nth > 1);  // later allocations may not be reached
            if (!threw) continue;
            EXPECT_EQ(2, a.GetSize());
            EXPECT_STREQ("two", a[1]);
            EXPECT_EQ(live, afx_standin::LiveAllocations());
        }
    }
}
}  // namespace
