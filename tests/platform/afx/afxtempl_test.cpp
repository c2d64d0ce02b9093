#include "afx_test_support.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {
struct Probe : CStringArray {
    INT_PTR Capacity() const { return m_nMaxSize; }
    std::vector<std::string> Contents() const { return {GetData(), GetData() + GetSize()}; }
    // The framework blocks it owns: its own and one per non-empty string.
    long Owned() const {
        return (m_nMaxSize > 0) + std::count_if(GetData(), GetData() + GetSize(), [](auto &s) { return !s.IsEmpty(); });
    }
};

// CArray as MFC documents it: contents, and the block's capacity by MFC's
// sizing (a first block holds the larger of the size and the step; a later
// one grows by the step, or size/8 within 4 to 1024 when the step is 0, or
// to the size itself if that is more; a negative step keeps the last).
struct Model {
    std::vector<std::string> v;
    INT_PTR capacity = 0, step = 0;
    void SetSize(INT_PTR n, INT_PTR newStep = -1) {
        const INT_PTR size = static_cast<INT_PTR>(v.size()), s = newStep >= 0 ? newStep : step;
        if (n == 0)
            capacity = 0;
        else if (n > capacity && capacity == 0)
            capacity = std::max(n, s);
        else if (n > capacity)
            capacity = std::max(n, capacity + (s ? s : std::clamp<INT_PTR>(size / 8, 4, 1024)));
        v.resize(static_cast<std::size_t>(n));
        step = s;
    }
};

// Seeded random calls on a string array and the model, some passing an
// element of the array itself, some with the k-th allocation failing: a bad
// argument throws CInvalidArgException*, a failed allocation
// CMemoryException*, and either changes nothing. After every call contents,
// capacity and the framework's live blocks are compared whole.
TEST(afxtempl, RandomCallsFollowMfcRules) {
    std::mt19937 random(77);
    auto pick = [&](int lo, int hi) { return static_cast<INT_PTR>(lo + static_cast<int>(random() % (hi - lo + 1))); };
    const long live = afx_standin::LiveAllocations();
    for (int run = 0; run < 20; ++run) {
        Probe a, other;
        Model m;
        for (int step = 0; step < 60; ++step) {
            const INT_PTR size = a.GetSize(), i = pick(-2, static_cast<int>(size) + 3), n = pick(-1, 4);
            const int op = static_cast<int>(random() % 10), nth = random() % 4 ? 0 : static_cast<int>(pick(1, 3));
            const std::string text = random() % 5 ? std::to_string(random() % 1000) : "";
            const CString value =
                !size || random() % 3 ? CString(text.c_str()) : a[pick(0, static_cast<int>(size) - 1)];
            const std::string copied = value.GetString();
            const CString &argument = size && random() % 3 == 0 ? a[size - 1] : value;
            const std::string expected = argument.GetString();
            SCOPED_TRACE(testing::Message() << "run " << run << " step " << step << " op " << op << " fault " << nth);
            const INT_PTR newSize = random() % 8 ? pick(-1, 40) : pick(8000, 9000), newStep = pick(-2, 12);
            const INT_PTR at = random() % 16 ? i : INTPTR_MAX;
            bool bad = false, overflows = false;
            afx_standin::ResetAllocationAttempts();
            afx_standin::FailNthAllocation(nth);
            const CRuntimeClass *thrown = ThrownClass([&] {
                switch (op) {
                case 0:
                    bad = newSize < 0, a.SetSize(newSize, newStep), m.SetSize(newSize, newStep);
                    break;
                case 1:
                    EXPECT_EQ(a.Add(argument), size);
                    m.SetSize(size + 1), m.v.back() = expected;
                    break;
                case 2:
                    bad = at < 0, overflows = at == INTPTR_MAX, a.SetAtGrow(at, argument);
                    if (at >= size)
                        m.SetSize(at + 1);
                    m.v[static_cast<std::size_t>(at)] = expected;
                    break;
                case 3:
                    bad = i < 0 || n <= 0, a.InsertAt(i, argument, n), m.SetSize(std::max(i, size) + n);
                    std::rotate(m.v.begin() + i, m.v.begin() + std::max(i, size), m.v.end());
                    std::fill_n(m.v.begin() + i, n, expected);
                    break;
                case 4:
                    bad = i < 0 || n < 0 || n > size - i, a.RemoveAt(i, n);
                    m.v.erase(m.v.begin() + i, m.v.begin() + i + n);
                    break;
                case 5:
                    bad = i < 0 || i >= size, a.SetAt(i, value), m.v[static_cast<std::size_t>(i)] = copied;
                    EXPECT_EQ(copied, a.GetAt(i).GetString());
                    break;
                case 6:
                    bad = i < 0 || i >= size, a.ElementAt(i) = value, m.v[std::size_t(i)] = copied;
                    break;
                case 7:
                    EXPECT_EQ(a.Append(other), size);
                    m.SetSize(size + other.GetSize());
                    std::copy(other.GetData(), other.GetData() + other.GetSize(), m.v.begin() + size);
                    break;
                case 8:
                    a.Copy(other), m.v = other.Contents(), m.capacity = other.GetSize();
                    break;
                default:
                    bad = true, a.Append(a); // refused, as in MFC 8
                }
            });
            const bool failed = nth > 0 && afx_standin::AllocationAttempts() >= nth;
            afx_standin::ClearFaults();
            EXPECT_EQ(thrown, bad                   ? RUNTIME_CLASS(CInvalidArgException)
                              : failed || overflows ? RUNTIME_CLASS(CMemoryException)
                                                    : nullptr);
            if (thrown == RUNTIME_CLASS(CMemoryException))
                m.capacity = a.Capacity(); // may have grown
            ASSERT_EQ(a.Contents(), m.v);
            ASSERT_EQ(a.Capacity(), m.capacity);
            EXPECT_TRUE((a.GetData() == nullptr) == (m.capacity == 0) && a.GetUpperBound() == INT_PTR(m.v.size()) - 1 &&
                        a.IsEmpty() == m.v.empty());
            ASSERT_EQ(afx_standin::LiveAllocations(), live + a.Owned() + other.Owned() + !value.IsEmpty());
            if (random() % 4 == 0)
                other.SetAtGrow(pick(0, 5), value);
            if (random() % 8 == 0)
                other.RemoveAll();
        }
    }
    const Probe constant;
    EXPECT_EQ(ThrownClass([&] { constant[0]; }), RUNTIME_CLASS(CInvalidArgException));
}

} // namespace
