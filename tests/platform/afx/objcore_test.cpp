#include "afx_test_support.h"

namespace {
class CShape : public CObject {
    DECLARE_DYNAMIC(CShape)
};
class CCircle : public CShape {
    DECLARE_DYNAMIC(CCircle)
};
IMPLEMENT_DYNAMIC(CShape, CObject)
IMPLEMENT_DYNAMIC(CCircle, CShape)

// A class is a kind of itself and of its base's base; a base is no kind of
// its derived class.
TEST(objcore, IsKindOfFollowsTheBaseClassChain) {
    const CShape shape;
    const CCircle circle;
    EXPECT_TRUE(circle.IsKindOf(RUNTIME_CLASS(CCircle)) && circle.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(shape.IsKindOf(RUNTIME_CLASS(CCircle)));
    EXPECT_EQ(static_cast<int>(sizeof(CCircle)), RUNTIME_CLASS(CCircle)->m_nObjectSize);
}
} // namespace
