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
BOOL destroyAgain = FALSE; // DestroyWindow's answer from within WM_DESTROY
LPARAM destroyParams = 0;  // what WM_DESTROY and WM_NCDESTROY carried: both carry 0, 0

LRESULT CALLBACK Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE || message == WM_CREATE || message == WM_DESTROY || message == WM_NCDESTROY)
        seen.emplace_back(window, message);
    if (message == WM_NCCREATE)
        createParam = reinterpret_cast<const CREATESTRUCTA *>(lParam)->lpCreateParams;
    if (message == WM_DESTROY)
        destroyAgain = DestroyWindow(window);
    if (message == WM_DESTROY || message == WM_NCDESTROY)
        destroyParams |= static_cast<LPARAM>(wParam) | lParam;
    if (message == WM_NCCREATE || message == WM_CREATE)
        return message == WM_NCCREATE ? ncCreateAnswer : createAnswer;
    return message == WM_USER ? static_cast<LRESULT>(wParam + lParam) : 0;
}

LRESULT CALLBACK Subclass(HWND, UINT message, WPARAM, LPARAM) { return message == WM_USER ? -7 : 0; }

// WS_CHILD (0x40000000): Windows makes a window with a parent and without it
// an owned top-level window, which a message-only window cannot own.
HWND Create(HWND parent = HWND_MESSAGE, void *param = nullptr, const char *className = "Recording") {
    const DWORD style = parent == HWND_MESSAGE ? 0 : 0x40000000;
    return CreateWindowExA(0, className, "title", style, 1, 2, 3, 4, parent, nullptr, nullptr, param);
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(RegisterClassA(&class_), 0); }
    void TearDown() override { EXPECT_TRUE(UnregisterClassA("Recording", nullptr)) << "a window was left"; }
    const WNDCLASSA class_ = {0, Recording, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "Recording"};
};

// A class name is unique in any case and stays while a window uses it;
// window longs set the user data and the procedure SendMessageA answers with.
TEST_F(WindowTest, ClassesAreUniqueAndWindowLongsSetTheProcedure) {
    EXPECT_LAST_ERROR(RegisterClassA(&class_), 0, ERROR_CLASS_ALREADY_EXISTS);
    HWND window = Create();
    SetLastError(0);
    EXPECT_TRUE(GetWindowLongPtrA(window, GWLP_USERDATA) == 0 && GetLastError() == 0) << "a new window's user data";
    DestroyWindow(Create()); // one of two gone: the other still holds the class
    EXPECT_LAST_ERROR(UnregisterClassA("RECORDING", nullptr), FALSE, ERROR_CLASS_HAS_WINDOWS);
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

// The subset names classes by strings (a prefix or extension is another
// name; no atoms) and needs a procedure; DefWindowProcA lets windows be
// created. Under Wine, DefWindowProcA answers WM_NCCREATE without a
// CREATESTRUCT 0, and a missing class ERROR_CLASS_DOES_NOT_EXIST.
TEST_F(WindowTest, RefusalsOfTheSubsetAndMissingClasses) {
    SKIP_WITHOUT_WIN32_SEAMS("the subset's refusals");
    for (const char *name : {static_cast<const char *>(nullptr), static_cast<const char *>(MAKEINTRESOURCEA(5))}) {
        const WNDCLASSA c = {0, Recording, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, name};
        EXPECT_LAST_ERROR(RegisterClassA(&c), 0, ERROR_INVALID_PARAMETER);
    }
    const WNDCLASSA noProcedure = {0, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "Other"};
    EXPECT_LAST_ERROR(RegisterClassA(&noProcedure), 0, ERROR_INVALID_PARAMETER);
    EXPECT_LAST_ERROR(RegisterClassA(nullptr), 0, ERROR_INVALID_PARAMETER);
    EXPECT_LAST_ERROR(UnregisterClassA("Missing", nullptr), FALSE, ERROR_CLASS_DOES_NOT_EXIST);
    if (testing_support::kWin32Seams) // the subset names classes only: an atom names none
        EXPECT_LAST_ERROR(UnregisterClassA(reinterpret_cast<LPCSTR>(ULONG_PTR{0xC123}), nullptr), FALSE,
                          ERROR_CLASS_DOES_NOT_EXIST);
    HWND window = Create();
    EXPECT_TRUE(DefWindowProcA(window, WM_NCCREATE, 0, 0) == TRUE && DefWindowProcA(window, WM_CREATE, 0, 0) == 0);
    DestroyWindow(window);
    // A global class of another module is found from any; a local one only from its own.
    WNDCLASSA global = class_, local = class_;
    global.style = CS_GLOBALCLASS, global.hInstance = HINSTANCE(0x1000), global.lpszClassName = "Global";
    local.hInstance = HINSTANCE(0x1000), local.lpszClassName = "Local";
    ASSERT_TRUE(RegisterClassA(&global) && RegisterClassA(&local));
    EXPECT_TRUE(DestroyWindow(Create(HWND_MESSAGE, nullptr, "Global")) && !Create(HWND_MESSAGE, nullptr, "Local"));
    EXPECT_TRUE(UnregisterClassA("Global", HINSTANCE(0x1000)) && UnregisterClassA("Local", HINSTANCE(0x1000)));
    for (const char *name :
         {"Missing", "Global", "Recordin", "Recordings", static_cast<const char *>(MAKEINTRESOURCEA(5))})
        EXPECT_LAST_ERROR(Create(HWND_MESSAGE, nullptr, name), nullptr, ERROR_CANNOT_FIND_WND_CLASS);
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
        HWND window = Create(HWND_MESSAGE, &seen);
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

TEST_F(WindowTest, DestroySendsDestroyParentFirstAndNcDestroyChildFirst) {
    if (!testing_support::kWin32Seams)
        GTEST_SKIP() << "not yet settled under Wine: a child of a message-only window is not created";
    HWND parent = Create(), child = Create(parent);
    seen.clear();
    EXPECT_EQ(win32_standin::LiveWindows(), 2); // the test's process has no others
    EXPECT_TRUE(DestroyWindow(parent));
    const std::vector<std::pair<HWND, UINT>> expected = {
        {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
    EXPECT_TRUE(seen == expected && destroyParams == 0);
    EXPECT_TRUE(destroyAgain && !IsWindow(child)) << "DestroyWindow while under way succeeds";
    EXPECT_LAST_ERROR(DestroyWindow(parent), FALSE, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_LAST_ERROR(Create(parent), nullptr, ERROR_INVALID_WINDOW_HANDLE); // a parent that is gone
    HWND topLevel = CreateWindowExA(0, "Recording", "top", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(topLevel && DestroyWindow(topLevel));
    EXPECT_LAST_ERROR(SendMessageA(parent, WM_USER, 40, 2), 0, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_EQ(win32_standin::LiveWindows(), 0);
}

} // namespace
