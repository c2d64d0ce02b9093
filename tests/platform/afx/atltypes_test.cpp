#include "afx_test_support.h"

namespace {
// Unlike ATL's, a point made without coordinates is at 0, 0.
TEST(atltypes, APointStartsAtTheOriginOrWhereItIsPut) {
    const CPoint origin, put(7, -3);
    EXPECT_TRUE(origin.x == 0 && origin.y == 0 && put.x == 7 && put.y == -3);
}
} // namespace
