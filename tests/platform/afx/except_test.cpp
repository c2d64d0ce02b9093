#include "afx_test_support.h"

namespace {
using except = AfxTest;

TEST_F(except, ThrowHelpersThrowTheirClassAsAPreallocatedPointer) {
    const struct {
        const char *name;
        void (*thrower)();
        const CRuntimeClass *thrown;
    } cases[] = {
        {"memory", AfxThrowMemoryException, RUNTIME_CLASS(CMemoryException)},
        {"invalid argument", AfxThrowInvalidArgException, RUNTIME_CLASS(CInvalidArgException)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CException *caught[2] = {};
        for (CException *&slot : caught) {
            try {
                c.thrower();
            } catch (CException *e) {
                slot = e;
                e->Delete();  // must not free: the same object is thrown next time
            }
        }
        ASSERT_NE(nullptr, caught[0]);
        EXPECT_EQ(caught[0], caught[1]);
        EXPECT_EQ(c.thrown, caught[0]->GetRuntimeClass());
        EXPECT_TRUE(caught[0]->IsKindOf(RUNTIME_CLASS(CSimpleException)));
    }
}

TEST_F(except, DeleteFreesAnExceptionMadeWithNew) {
    const long live = afx_standin::LiveAllocations();
    CException *e = new CMemoryException;
    EXPECT_EQ(live + 1, afx_standin::LiveAllocations());
    e->Delete();
    EXPECT_EQ(live, afx_standin::LiveAllocations());
}
}  // namespace
