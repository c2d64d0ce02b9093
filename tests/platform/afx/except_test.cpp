#include "afx_test_support.h"

namespace {
// One preallocated object per class: Delete() must not free it, and the
// same pointer comes back next time. One made with new is freed.
TEST(except, ThrowHelpersThrowAPreallocatedPointerAndDeleteFreesOnlyNewOnes) {
    for (auto [thrower, thrown] : {std::pair{&AfxThrowMemoryException, RUNTIME_CLASS(CMemoryException)},
                                   std::pair{&AfxThrowInvalidArgException, RUNTIME_CLASS(CInvalidArgException)}}) {
        CException *caught[2] = {};
        for (CException *&slot : caught) {
            try { thrower(); } catch (CException *e) { slot = e; e->Delete(); }
        }
        ASSERT_NE(nullptr, caught[0]) << thrown->m_lpszClassName;
        EXPECT_EQ(caught[0], caught[1]) << thrown->m_lpszClassName;
        EXPECT_EQ(thrown, caught[0]->GetRuntimeClass());
    }
    const long live = afx_standin::LiveAllocations();
    (new CMemoryException)->Delete();
    EXPECT_EQ(live, afx_standin::LiveAllocations());
}
}  // namespace
