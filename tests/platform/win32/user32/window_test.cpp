// Window creation, messages and destruction in the order Windows sends
// them, as Wine's user32 message tests record it.
#include <windows.h>

#include "platform/win32/row_name.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using Message = std::pair<HWND, UINT>;

// What the recording procedure saw, and what it answers.
std::vector<Message> seen;
LRESULT ncCreateAnswer = TRUE;
LRESULT createAnswer = 0;
CREATESTRUCTA lastCreate;

LRESULT CALLBACK Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.emplace_back(window, message);
    if (message == WM_NCCREATE) {
        lastCreate = *reinterpret_cast<const CREATESTRUCTA *>(lParam);
        return ncCreateAnswer;
    }
    if (message == WM_CREATE) return createAnswer;
    if (message == WM_USER) return static_cast<LRESULT>(wParam + lParam);
    return 0;
}

LRESULT CALLBACK Subclass(HWND, UINT message, WPARAM, LPARAM) { return message == WM_USER ? -7 : 0; }

constexpr const char *kClass = "WindowTestRecording";

class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Recording;
        wc.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&wc), 0);
        seen.clear();
        ncCreateAnswer = TRUE;
        createAnswer = 0;
    }
    void TearDown() override { EXPECT_TRUE(UnregisterClassA(kClass, nullptr)) << "a window was left"; }

    static HWND Create(HWND parent = HWND_MESSAGE, void *param = nullptr) {
        return CreateWindowExA(0, kClass, "title", 0, 1, 2, 3, 4, parent, nullptr, nullptr, param);
    }
};

struct CreationCase {
    const char *name;
    LRESULT ncCreateAnswer;
    LRESULT createAnswer;
    bool created;
    std::vector<UINT> messages;
};

const CreationCase kCreations[] = {
    {"Accepted", TRUE, 0, true, {WM_NCCREATE, WM_CREATE}},
    {"RefusedByNcCreate", FALSE, 0, false, {WM_NCCREATE, WM_NCDESTROY}},
    {"RefusedByCreate", TRUE, -1, false, {WM_NCCREATE, WM_CREATE, WM_NCDESTROY}},
};

class Creation : public WindowTest, public testing::WithParamInterface<CreationCase> {};

TEST_P(Creation, SendsMessagesInWindowsOrder) {
    const CreationCase &c = GetParam();
    ncCreateAnswer = c.ncCreateAnswer;
    createAnswer = c.createAnswer;
    HWND window = Create();
    EXPECT_EQ(window != nullptr, c.created);
    std::vector<UINT> messages;
    for (const Message &m : seen) messages.push_back(m.second);
    EXPECT_EQ(messages, c.messages);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(IsWindow(seen.front().first), c.created) << "a refused window is gone";
    if (window) DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(CreateWindowExA, Creation, testing::ValuesIn(kCreations), win32_test::RowName());

TEST_F(WindowTest, CreateStructCarriesTheArguments) {
    int param = 0;
    HWND window = Create(HWND_MESSAGE, &param);
    EXPECT_EQ(lastCreate.lpCreateParams, &param);
    EXPECT_EQ(lastCreate.hwndParent, HWND_MESSAGE);
    EXPECT_STREQ(lastCreate.lpszClass, kClass);
    EXPECT_STREQ(lastCreate.lpszName, "title");
    EXPECT_EQ((std::vector<int>{lastCreate.x, lastCreate.y, lastCreate.cx, lastCreate.cy}),
              (std::vector<int>{1, 2, 3, 4}));
    DestroyWindow(window);
}

TEST_F(WindowTest, DestroySendsDestroyParentFirstAndNcDestroyChildFirst) {
    HWND parent = Create();
    HWND child = Create(parent);
    seen.clear();
    EXPECT_TRUE(DestroyWindow(parent));
    const std::vector<Message> expected = {
        {parent, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(parent));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

TEST_F(WindowTest, SendMessageReturnsWhatTheProcedureAnswers) {
    HWND window = Create();
    EXPECT_EQ(SendMessageA(window, WM_USER, 40, 2), 42);
    DestroyWindow(window);
    SetLastError(0);
    EXPECT_EQ(SendMessageA(window, WM_USER, 40, 2), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

TEST_F(WindowTest, ParentMustBeAWindow) {
    HWND gone = Create();
    DestroyWindow(gone);
    SetLastError(0);
    EXPECT_EQ(Create(gone), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

TEST_F(WindowTest, WindowLongsHoldUserDataAndSubclassTheProcedure) {
    HWND window = Create();
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 5678), 1234) << "returns the previous value";
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), 5678);
    const LONG_PTR original = SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass));
    EXPECT_EQ(original, reinterpret_cast<LONG_PTR>(Recording));
    EXPECT_EQ(SendMessageA(window, WM_USER, 40, 2), -7);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(window, 12345), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_INDEX});
    SetWindowLongPtrA(window, GWLP_WNDPROC, original);
    DestroyWindow(window);
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

TEST(DefWindowProcA, ConsentsToNcCreateOnly) {
    EXPECT_EQ(DefWindowProcA(nullptr, WM_NCCREATE, 0, 0), TRUE);
    EXPECT_EQ(DefWindowProcA(nullptr, WM_CREATE, 0, 0), 0);
    EXPECT_EQ(DefWindowProcA(nullptr, WM_USER, 1, 2), 0);
}

}  // namespace
