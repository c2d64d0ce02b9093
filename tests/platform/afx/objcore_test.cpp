#include "afx_test_support.h"

namespace {
class CShape : public CObject { DECLARE_DYNAMIC(CShape) };
class CCircle : public CShape { DECLARE_DYNAMIC(CCircle) };
IMPLEMENT_DYNAMIC(CShape, CObject)
IMPLEMENT_DYNAMIC(CCircle, CShape)

TEST(objcore, IsKindOfFollowsTheBaseClassChain) {
    const CShape shape;
    const CCircle circle;
    const struct { const char *name; const CObject *object; const CRuntimeClass *queried; bool expected; } cases[] = {
        {"a class is a kind of itself", &circle, RUNTIME_CLASS(CCircle), true},
        {"of its base's base", &circle, RUNTIME_CLASS(CObject), true},
        {"a base is no kind of its derived class", &shape, RUNTIME_CLASS(CCircle), false},
    };
    for (const auto &c : cases) EXPECT_EQ(c.expected, c.object->IsKindOf(c.queried) != FALSE) << c.name;
    EXPECT_EQ(static_cast<int>(sizeof(CCircle)), RUNTIME_CLASS(CCircle)->m_nObjectSize);
}
}  // namespace
