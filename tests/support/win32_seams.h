// The Win32 stand-in's test seams (win32_standin.h) as the tests reach them,
// and what the tests need of the operating system beyond the Win32 subset
// (os.cpp: POSIX on Linux, the C runtime and kernel32 on Windows). With the
// real Win32 API (Windows, Wine) the seams do not exist: a test that needs
// them skips. The stand-in's ANSI code page is UTF-8, Windows' the system's
// (932, Shift-JIS, in the locale the Windows tests run in).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <win32_standin.h>

namespace testing_support {

extern const bool kWin32Seams; // true where the Win32 API is the Linux stand-in
// UTF-8 text as narrow Win32 calls (LoadStringA, CString::LoadString) give it.
std::string InAnsiCodePage(const char *utf8);
// Sets (nullptr: removes) a variable as getenv reads it here and in libraries.
void SetEnvironment(const char *name, const char *value);
bool IsLoaded(const std::string &path); // the library at `path`, in this process
// Loads the library as the system loads a program's dependencies. Linux
// only: Windows would end the program if the library's entry refused.
void LoadAsDependency(const std::string &path);
extern const char *const kFullDevice; // every write fails as on a full disk

// A test that must leave no file open, no global block, window or GDI object
// more than it found, no block locked and no DC held (the stand-in's
// accounts; the real API skips the check).
class LeakCheckedTest : public testing::Test {
protected:
    struct Accounts {
        int blocks = 0, windows = 0, gdiObjects = 0;
    };
    static Accounts Live() {
        return {win32_standin::LiveGlobalBlocks(), win32_standin::LiveWindows(), win32_standin::LiveGdiObjects()};
    }
    void SetUp() override { before_ = kWin32Seams ? Live() : Accounts{}; }
    void TearDown() override {
        if (!kWin32Seams)
            return;
        win32_standin::ClearFaults();
        const Accounts after = Live();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0) << "a file was left open";
        EXPECT_EQ(after.blocks, before_.blocks) << "a block was left allocated";
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << "a block was left locked";
        EXPECT_EQ(after.windows, before_.windows) << "a window was left undestroyed";
        EXPECT_EQ(after.gdiObjects, before_.gdiObjects) << "a bitmap or palette was left undeleted";
        EXPECT_EQ(win32_standin::HeldDCs(), 0) << "a DC was left held";
    }
    Accounts before_; // when the test began
};

} // namespace testing_support

// Skips the current test (or a fixture's, from SetUp) where the seams are
// absent, naming what it needs ("fault injection"), or where Wine answers
// otherwise than Windows (docs/platform/win32.md): the assertion stays, and
// still runs against the stand-in.
#define SKIP_WITHOUT_WIN32_SEAMS(what)                                                                                 \
    if (!testing_support::kWin32Seams)                                                                                 \
    GTEST_SKIP() << "needs the Linux stand-ins: " << (what)
#define SKIP_WHERE_WINE_DIVERGES(what)                                                                                 \
    if (!testing_support::kWin32Seams)                                                                                 \
    GTEST_SKIP() << "Wine diverges from Windows: " << (what)
