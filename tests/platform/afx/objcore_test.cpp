#include "afx_test_support.h"

#include <cstring>

namespace {
class CShape : public CObject {
    DECLARE_DYNAMIC(CShape)
};
class CCircle : public CShape {
    DECLARE_DYNAMIC(CCircle)
};
IMPLEMENT_DYNAMIC(CShape, CObject)
IMPLEMENT_DYNAMIC(CCircle, CShape)

struct KindCase {
    const char *name;
    const CObject *object;
    const CRuntimeClass *queried;
    bool expected;
};

TEST(objcore, IsKindOfFollowsTheBaseClassChain) {
    const CShape shape;
    const CCircle circle;
    const CStringArray strings;
    const KindCase cases[] = {
        {"a class is a kind of itself", &circle, RUNTIME_CLASS(CCircle), true},
        {"of its base", &circle, RUNTIME_CLASS(CShape), true},
        {"of CObject", &circle, RUNTIME_CLASS(CObject), true},
        {"a base is no kind of its derived class", &shape, RUNTIME_CLASS(CCircle), false},
        {"unrelated classes", &strings, RUNTIME_CLASS(CShape), false},
        {"framework classes too", &strings, RUNTIME_CLASS(CObject), true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, c.object->IsKindOf(c.queried) != FALSE);
    }
}

TEST(objcore, RuntimeClassRecordsNameSizeAndSchema) {
    const CRuntimeClass *circle = RUNTIME_CLASS(CCircle);
    EXPECT_STREQ("CCircle", circle->m_lpszClassName);
    EXPECT_EQ(static_cast<int>(sizeof(CCircle)), circle->m_nObjectSize);
    EXPECT_EQ(0xFFFFu, circle->m_wSchema);
    EXPECT_EQ(RUNTIME_CLASS(CShape), circle->m_pBaseClass);
    EXPECT_EQ(nullptr, RUNTIME_CLASS(CObject)->m_pBaseClass);
}

TEST(objcore, ClassInitPutsTheClassAtTheHeadOfTheModuleList) {
    AFX_MODULE_STATE *state = AfxGetModuleState();
    const CRuntimeClassList saved = state->m_classList;
    CRuntimeClass registered = {"CRegistered", 8, 1, RUNTIME_CLASS(CObject), nullptr};
    AfxClassInit(&registered);
    EXPECT_EQ(&registered, state->m_classList.GetHead());
    EXPECT_EQ(saved.GetHead(), registered.m_pNextClass);
    state->m_classList = saved;
}
}  // namespace
