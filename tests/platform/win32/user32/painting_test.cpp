// The screen's device context: each GetDC(NULL) is released once.
#include <windows.h>
#include <win32_standin.h>

#include <gtest/gtest.h>

namespace {

TEST(GetDC, ScreenDcsAreHeldUntilReleasedOnce) {
    HDC first = GetDC(NULL);
    HDC second = GetDC(NULL);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(win32_standin::HeldDCs(), 2);
    EXPECT_EQ(ReleaseDC(NULL, first), 1);
    EXPECT_EQ(ReleaseDC(NULL, first), 0) << "already released";
    EXPECT_EQ(ReleaseDC(NULL, second), 1);
    EXPECT_EQ(win32_standin::HeldDCs(), 0);
}

}  // namespace
