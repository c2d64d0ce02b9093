#include "afx_test_support.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {
struct Probe : CStringArray {
    INT_PTR Capacity() const { return m_nMaxSize; }
    std::vector<std::string> Contents() const { return {m_pData, m_pData + m_nSize}; }
    // The framework blocks it owns: its own and one per non-empty string.
    long Owned() const {
        return (m_nMaxSize > 0) + std::count_if(m_pData, m_pData + m_nSize, [](auto &s) { return !s.IsEmpty(); });
    }
};

// CArray as MFC documents it: contents, and the block's capacity by MFC's
// sizing with the default step (a first block holds the size; a later one
// grows by size/8 within 4 to 1024, or to the size itself if that is more).
struct Model {
    std::vector<std::string> v;
    INT_PTR capacity = 0;
    void SetSize(INT_PTR n) {
        const INT_PTR size = static_cast<INT_PTR>(v.size());
        if (n == 0)
            capacity = 0;
        else if (n > capacity && capacity == 0)
            capacity = n;
        else if (n > capacity)
            capacity = std::max(n, capacity + std::clamp<INT_PTR>(size / 8, 4, 1024));
        v.resize(static_cast<std::size_t>(n));
    }
};

// Seeded random calls on a string array and the model, as the image classes
// make them, some with the k-th allocation failing: a bad argument throws
// CInvalidArgException*, a failed allocation CMemoryException*, and either
// changes nothing. After every call contents, capacity and the framework's
// live blocks are compared whole.
TEST(afxtempl, RandomCallsFollowMfcRules) {
    std::mt19937 random(77);
    auto pick = [&](int lo, int hi) { return static_cast<INT_PTR>(lo + static_cast<int>(random() % (hi - lo + 1))); };
    const long live = afx_standin::LiveAllocations();
    for (int run = 0; run < 20; ++run) {
        Probe a;
        Model m;
        for (int step = 0; step < 60; ++step) {
            const INT_PTR size = a.GetSize(), i = pick(-2, static_cast<int>(size) + 3);
            const int op = static_cast<int>(random() % 3), nth = random() % 4 ? 0 : static_cast<int>(pick(1, 3));
            const std::string text = random() % 5 ? std::to_string(random() % 1000) : "";
            const CString value(text.c_str());
            SCOPED_TRACE(testing::Message() << "run " << run << " step " << step << " op " << op << " fault " << nth);
            const INT_PTR newSize = random() % 8 ? pick(-1, 40) : pick(8000, 9000);
            bool bad = false;
            afx_standin::ResetAllocationAttempts();
            afx_standin::FailNthAllocation(nth);
            const CRuntimeClass *thrown = ThrownClass([&] {
                switch (op) {
                case 0:
                    bad = newSize < 0, a.SetSize(newSize), m.SetSize(newSize);
                    break;
                case 1:
                    bad = i < 0 || i >= size, a.SetAt(i, value), m.v[static_cast<std::size_t>(i)] = text;
                    EXPECT_EQ(text, static_cast<const Probe &>(a)[i].GetString());
                    break;
                default:
                    bad = i < 0 || i >= size, a[i] = value, m.v[std::size_t(i)] = text;
                    EXPECT_EQ(text, a.GetAt(i).GetString());
                }
            });
            const bool failed = nth > 0 && afx_standin::AllocationAttempts() >= nth;
            afx_standin::ClearFaults();
            EXPECT_EQ(thrown, bad      ? RUNTIME_CLASS(CInvalidArgException)
                              : failed ? RUNTIME_CLASS(CMemoryException)
                                       : nullptr);
            ASSERT_EQ(a.Contents(), m.v);
            ASSERT_EQ(a.Capacity(), m.capacity);
            ASSERT_EQ(afx_standin::LiveAllocations(), live + a.Owned() + !value.IsEmpty());
        }
    }
}

} // namespace
