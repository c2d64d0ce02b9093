// The Win32 stand-in's test seams (win32_standin.h: fault injection,
// resource accounting, module-resource registration, loader hooks) as the
// tests reach them. With the real Win32 API (Windows, Wine) they do not
// exist: a test that needs them skips with SKIP_WITHOUT_WIN32_SEAMS, and the
// seam functions, should one be reached anyway, fail the test that called it.
// Narrow text differs too: the stand-in's ANSI code page is UTF-8, Windows'
// is the system's (932, Shift-JIS, in the Japanese locale the Windows tests
// run in).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <win32_standin.h>

namespace testing_support {

// True where the Win32 API is the Linux stand-in.
extern const bool kWin32Seams;

// UTF-8 text as narrow Win32 calls (LoadStringA, CString::LoadString) give
// it: in the ANSI code page.
std::string InAnsiCodePage(const char *utf8);

}  // namespace testing_support

// Skips the current test (or every test of a fixture, from SetUp) where the
// seams are absent, naming what the test needs: "fault injection",
// "resource accounting", "module-resource registration".
#define SKIP_WITHOUT_WIN32_SEAMS(what)      \
    if (!testing_support::kWin32Seams)      \
    GTEST_SKIP() << "needs the Linux stand-in's " << (what)

// Skips the current test with the real API where Wine is known to answer
// otherwise than Windows (docs/platform/win32.md, "Divergences found under
// Wine"); the assertion stays, and still runs against the stand-in.
#define SKIP_WHERE_WINE_DIVERGES(what)      \
    if (!testing_support::kWin32Seams)      \
    GTEST_SKIP() << "Wine diverges from Windows: " << (what)

namespace testing_support {

// A test that must leave no file open, no global block more than it found,
// and none locked. The accounts are the stand-in's, so with the real API
// the checks are left out.
class LeakCheckedTest : public testing::Test {
protected:
    void SetUp() override {
        if (kWin32Seams)
            blocksBefore_ = win32_standin::LiveGlobalBlocks();
    }
    void TearDown() override {
        if (!kWin32Seams)
            return;
        win32_standin::ClearFaults();
        EXPECT_EQ(win32_standin::OpenFileHandles(), 0) << "a file was left open";
        EXPECT_EQ(win32_standin::LiveGlobalBlocks(), blocksBefore_) << "a block was left allocated";
        EXPECT_EQ(win32_standin::LockedGlobalBlocks(), 0) << "a block was left locked";
    }

    int blocksBefore_ = 0;  // live blocks when the test began
};

}  // namespace testing_support
