// Window classes, creation, messages and destruction in the order Windows
// sends them, as Wine's user32 class and message tests record it.
#include "platform/win32/win32_test.h"

#include <utility>
#include <vector>

namespace {

// Only creation and destruction are recorded: Windows sends top-level
// windows WM_GETMINMAXINFO and WM_NCCALCSIZE too, which the subset does not.
std::vector<std::pair<HWND, UINT>> seen;
LRESULT ncCreateAnswer = TRUE, createAnswer = 0;
LPVOID createParam;

LRESULT CALLBACK Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE || message == WM_CREATE || message == WM_DESTROY || message == WM_NCDESTROY)
        seen.emplace_back(window, message);
    if (message == WM_NCCREATE)
        createParam = reinterpret_cast<const CREATESTRUCTA *>(lParam)->lpCreateParams;
    if (message == WM_NCCREATE || message == WM_CREATE)
        return message == WM_NCCREATE ? ncCreateAnswer : createAnswer;
    return message == WM_USER ? static_cast<LRESULT>(wParam + lParam) : 0;
}

LRESULT CALLBACK Subclass(HWND, UINT message, WPARAM, LPARAM) { return message == WM_USER ? -7 : 0; }

// A message-only window, as the library's callers give it for progress.
HWND Create(void *param = nullptr) {
    return CreateWindowExA(0, "Recording", "title", 0, 1, 2, 3, 4, HWND_MESSAGE, nullptr, nullptr, param);
}

// The class, registered once for the program, as the library's callers do.
const WNDCLASSA kClass = {0, Recording, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "Recording"};

class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA other = kClass; // a class of another name is another class
        other.lpszClassName = "Other";
        ASSERT_TRUE(RegisterClassA(&kClass) && RegisterClassA(&other));
    }
    void TearDown() override {
        EXPECT_TRUE(!testing_support::kWin32Seams || win32_standin::LiveWindows() == 0) << "a window was left";
    }
};

// A class name is unique in any case; window longs set the user data and
// the procedure SendMessageA answers with.
TEST_F(WindowTest, ClassesAreUniqueAndWindowLongsSetTheProcedure) {
    WNDCLASSA upper = kClass;
    upper.lpszClassName = "RECORDING";
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
    const LRESULT expected[] = {42, 0, 1234, 5678, LONG_PTR(Recording), -7}; // Set answers the previous value
    EXPECT_TRUE(std::equal(answers, answers + 6, expected));
    DestroyWindow(window);
}

// messages: what the procedure is sent when WM_NCCREATE and WM_CREATE
// answer as given; a refused window is gone.
TEST_F(WindowTest, CreationSendsMessagesInWindowsOrder) {
    const struct {
        const char *name;
        LRESULT ncCreateAnswer, createAnswer;
        std::vector<UINT> messages;
    } kCases[] = {
        {"Accepted", TRUE, 0, {WM_NCCREATE, WM_CREATE}},
        {"RefusedByNcCreate", FALSE, 0, {WM_NCCREATE, WM_NCDESTROY}},
        {"RefusedByCreate", TRUE, -1, {WM_NCCREATE, WM_CREATE, WM_NCDESTROY}},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        seen.clear();
        ncCreateAnswer = c.ncCreateAnswer, createAnswer = c.createAnswer;
        HWND window = Create(&seen);
        std::vector<UINT> messages;
        for (const auto &m : seen)
            messages.push_back(m.second);
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(window != nullptr, c.messages.back() == WM_CREATE);
        EXPECT_EQ(IsWindow(seen.front().first), window != nullptr);
        EXPECT_EQ(createParam, &seen);
        DestroyWindow(window);
    }
    ncCreateAnswer = TRUE, createAnswer = 0;
}

} // namespace
