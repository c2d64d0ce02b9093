#include "afx_test_support.h"

namespace {
// One preallocated object per class: Delete() must not free it, and the
// same pointer comes back next time. One made with new is freed.
TEST(except, ThrowHelpersThrowAPreallocatedPointerAndDeleteFreesOnlyNewOnes) {
    for (auto [thrower, thrown] : {std::pair{&AfxThrowMemoryException, RUNTIME_CLASS(CMemoryException)},
                                   std::pair{&AfxThrowInvalidArgException, RUNTIME_CLASS(CInvalidArgException)}}) {
        CException *caught[2] = {};
        for (CException *&slot : caught)
            try {
                thrower();
            } catch (CException *e) {
                slot = e, e->Delete();
            }
        EXPECT_TRUE(caught[0] == caught[1] && caught[0]->GetRuntimeClass() == thrown) << thrown->m_lpszClassName;
    }
    const long live = afx_standin::LiveAllocations();
    (new CMemoryException)->Delete();
    EXPECT_EQ(live, afx_standin::LiveAllocations());
}
} // namespace
