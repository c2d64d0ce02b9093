// Window classes as Windows registers and finds them.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

HINSTANCE Instance(std::uintptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

WNDCLASSA ClassNamed(const char *name, HINSTANCE instance, UINT style = 0) {
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    return wc;
}

TEST(RegisterClassA, RefusesTheSameNameTwicePerInstanceIgnoringCase) {
    const WNDCLASSA first = ClassNamed("ClassTestDuplicate", Instance(0x1000));
    const ATOM atom = RegisterClassA(&first);
    ASSERT_NE(atom, 0);
    const WNDCLASSA again = ClassNamed("CLASSTESTDUPLICATE", Instance(0x1000));
    SetLastError(0);
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CLASS_ALREADY_EXISTS});
    const WNDCLASSA otherModule = ClassNamed("ClassTestDuplicate", Instance(0x2000));
    EXPECT_NE(RegisterClassA(&otherModule), 0) << "local classes are per module";
    EXPECT_TRUE(UnregisterClassA("ClassTestDuplicate", Instance(0x1000)));
    EXPECT_TRUE(UnregisterClassA("ClassTestDuplicate", Instance(0x2000)));
}

TEST(UnregisterClassA, ReportsMissingClassesAndClassesInUse) {
    SetLastError(0);
    EXPECT_FALSE(UnregisterClassA("ClassTestNeverRegistered", nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CLASS_DOES_NOT_EXIST});
    const WNDCLASSA wc = ClassNamed("ClassTestInUse", nullptr);
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND window = CreateWindowExA(0, "ClassTestInUse", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(UnregisterClassA("ClassTestInUse", nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CLASS_HAS_WINDOWS});
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("ClassTestInUse", nullptr));
}

TEST(CreateWindowExA, FindsLocalClassesByModuleAndGlobalClassesFromAnyModule) {
    const WNDCLASSA local = ClassNamed("ClassTestLocal", Instance(0x1000));
    const WNDCLASSA global = ClassNamed("ClassTestGlobal", Instance(0x1000), CS_GLOBALCLASS);
    ASSERT_NE(RegisterClassA(&local), 0);
    ASSERT_NE(RegisterClassA(&global), 0);
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "ClassTestLocal", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(0x2000), nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CANNOT_FIND_WND_CLASS});
    HWND window =
        CreateWindowExA(0, "ClassTestGlobal", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Instance(0x2000), nullptr);
    EXPECT_NE(window, nullptr);
    DestroyWindow(window);
    UnregisterClassA("ClassTestLocal", Instance(0x1000));
    UnregisterClassA("ClassTestGlobal", Instance(0x1000));
}

}  // namespace
