#include "afx_test_support.h"

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

namespace {
struct Probe : CArray<int, int> {
    INT_PTR Capacity() const { return m_nMaxSize; }
};

// CArray as MFC documents it: contents, and the block's capacity by MFC's
// sizing (a first block holds the larger of the size and the step; a later
// one grows by the step, or size/8 within 4 to 1024 when the step is 0, or
// to the size itself if that is more; a negative step keeps the last).
struct Model {
    std::vector<int> v;
    INT_PTR capacity = 0, step = 0;
    void SetSize(INT_PTR n, INT_PTR newStep = -1) {
        const INT_PTR size = static_cast<INT_PTR>(v.size()), s = newStep >= 0 ? newStep : step;
        if (n == 0) capacity = 0;
        else if (n > capacity && capacity == 0) capacity = std::max(n, s);
        else if (n > capacity) capacity = std::max(n, capacity + (s ? s : std::clamp<INT_PTR>(size / 8, 4, 1024)));
        v.resize(static_cast<std::size_t>(n));
        step = s;
    }
};

// Seeded random calls, valid and not, on an array and the model side by
// side: a bad argument throws CInvalidArgException* and changes nothing;
// after every call contents and capacity are compared whole.
TEST(afxtempl, RandomCallsFollowMfcRules) {
    std::mt19937 random(77);
    auto pick = [&](int lo, int hi) { return static_cast<INT_PTR>(lo + static_cast<int>(random() % (hi - lo + 1))); };
    for (int run = 0; run < 20; ++run) {
        Probe a, other;
        Model m;
        for (int step = 0; step < 60; ++step) {
            const INT_PTR size = a.GetSize(), i = pick(-2, static_cast<int>(size) + 3), n = pick(-1, 4);
            const int value = static_cast<int>(random() % 1000), op = static_cast<int>(random() % 10);
            SCOPED_TRACE(testing::Message() << "run " << run << " step " << step << " op " << op);
            bool bad = false;
            const bool threw = ThrowsFramework<CInvalidArgException>([&] {
                switch (op) {
                case 0: {
                    const INT_PTR newSize = random() % 8 ? pick(-1, 40) : pick(8000, 9000), newStep = pick(-2, 12);
                    bad = newSize < 0;
                    a.SetSize(newSize, newStep);
                    if (!bad) m.SetSize(newSize, newStep);
                    break;
                }
                case 1:
                    EXPECT_EQ(a.Add(value), size);
                    m.SetSize(size + 1);
                    m.v.back() = value;
                    break;
                case 2:
                    bad = i < 0;
                    a.SetAtGrow(i, value);
                    if (i >= size) m.SetSize(i + 1);
                    m.v[static_cast<std::size_t>(i)] = value;
                    break;
                case 3:
                    bad = i < 0 || n <= 0;
                    a.InsertAt(i, value, n);
                    m.SetSize(std::max(i, size) + n);
                    std::rotate(m.v.begin() + i, m.v.begin() + std::max(i, size), m.v.end());
                    std::fill_n(m.v.begin() + i, n, value);
                    break;
                case 4:
                    bad = i < 0 || n < 0 || n > size - i;
                    a.RemoveAt(i, n);
                    m.v.erase(m.v.begin() + i, m.v.begin() + i + n);
                    break;
                case 5:
                    bad = i < 0 || i >= size;
                    EXPECT_EQ(a.GetAt(i), (a.SetAt(i, value), value));
                    m.v[static_cast<std::size_t>(i)] = value;
                    break;
                case 6: bad = i < 0 || i >= size, a.ElementAt(i) = value, m.v[static_cast<std::size_t>(i)] = value; break;
                case 7:
                    EXPECT_EQ(a.Append(other), size);
                    m.SetSize(size + other.GetSize());
                    std::copy(other.GetData(), other.GetData() + other.GetSize(), m.v.begin() + size);
                    break;
                case 8:
                    a.Copy(other);
                    m.v.assign(other.GetData(), other.GetData() + other.GetSize());
                    m.capacity = other.GetSize();
                    break;
                default: bad = true, a.Append(a);  // refused, as in MFC 8
                }
            });
            EXPECT_EQ(threw, bad);
            ASSERT_EQ(std::vector<int>(a.GetData(), a.GetData() + a.GetSize()), m.v);
            ASSERT_EQ(a.Capacity(), m.capacity);
            EXPECT_EQ(a.GetData() == nullptr, m.capacity == 0);
            if (random() % 4 == 0) other.SetAtGrow(pick(0, 5), value);
            if (random() % 8 == 0) other.RemoveAll();
        }
    }
    const Probe constant;
    EXPECT_TRUE(ThrowsFramework<CInvalidArgException>([&] { constant[0]; }));
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
