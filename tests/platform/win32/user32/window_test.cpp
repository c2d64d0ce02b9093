// Window classes, window longs and synchronous messages, as Wine's user32
// class and message tests record them.
#include "platform/win32/win32_test.h"

namespace {

// Windows' default processing consents to creation, which the stand-in asks
// nothing of.
LRESULT CALLBACK Adding(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_USER ? static_cast<LRESULT>(wParam + lParam) : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK Subclass(HWND, UINT message, WPARAM, LPARAM) { return message == WM_USER ? -7 : 0; }

// A message-only window, as the library's callers give it for progress.
HWND Create() { return CreateWindowExA(0, "Adding", "title", 0, 1, 2, 3, 4, HWND_MESSAGE, nullptr, nullptr, nullptr); }

// The class, registered once for the program, as the library's callers do.
const WNDCLASSA kClass = {0, Adding, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "Adding"};

class WindowTest : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(!testing_support::kWin32Seams || win32_standin::LiveWindows() == 0) << "a window was left";
    }
};

// A class name is unique in any case; window longs set the user data and
// the procedure SendMessageA answers with; a window destroyed is gone.
TEST_F(WindowTest, ClassesAreUniqueAndWindowLongsSetTheProcedure) {
    // Registered here, not in a suite's set-up, where a failed assertion
    // skips the tests and ctest counts the skip as no failure.
    WNDCLASSA other = kClass; // a class of another name is another class
    other.lpszClassName = "Other";
    ASSERT_TRUE(RegisterClassA(&kClass) && RegisterClassA(&other));
    WNDCLASSA upper = kClass;
    upper.lpszClassName = "ADDING";
    EXPECT_LAST_ERROR(RegisterClassA(&upper), 0, ERROR_CLASS_ALREADY_EXISTS);
    if (testing_support::kWin32Seams) // Wine reports ERROR_CLASS_DOES_NOT_EXIST
        EXPECT_LAST_ERROR(CreateWindowExA(0, "Missing", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr),
                          nullptr, ERROR_CANNOT_FIND_WND_CLASS);
    HWND window = Create();
    SetLastError(0);
    EXPECT_TRUE(GetWindowLongPtrA(window, GWLP_USERDATA) == 0 && GetLastError() == 0) << "a new window's user data";
    const LRESULT answers[] = {SendMessageA(window, WM_USER, 40, 2),
                               SetWindowLongPtrA(window, GWLP_USERDATA, 1234),
                               SetWindowLongPtrA(window, GWLP_USERDATA, 5678),
                               GetWindowLongPtrA(window, GWLP_USERDATA),
                               SetWindowLongPtrA(window, GWLP_WNDPROC, LONG_PTR(Subclass)),
                               SendMessageA(window, WM_USER, 40, 2)};
    const LRESULT expected[] = {42, 0, 1234, 5678, LONG_PTR(Adding), -7}; // Set answers the previous value
    EXPECT_TRUE(std::equal(answers, answers + 6, expected) && DestroyWindow(window));
    EXPECT_FALSE(DestroyWindow(window)); // Wine says ERROR_ACCESS_DENIED, Windows ERROR_INVALID_WINDOW_HANDLE
    EXPECT_LAST_ERROR(SendMessageA(window, WM_USER, 40, 2), 0, ERROR_INVALID_WINDOW_HANDLE);
}

} // namespace
