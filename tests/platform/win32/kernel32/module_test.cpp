// Loading libraries and calling their entry the way Windows' loader does.
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/temp_folder.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using win32_test::TempFolder;

const std::string kProbe = WIN32_ENTRY_PROBE;

class LoaderTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("WIN32_TEST_ENTRY_LOG", log_.c_str(), 1);
        setenv("WIN32_TEST_ENTRY_RESULT", "1", 1);
    }
    void TearDown() override {
        unsetenv("WIN32_TEST_ENTRY_LOG");
        unsetenv("WIN32_TEST_ENTRY_RESULT");
    }
    // The entry's calls so far, one "<reason> <dynamic|static>" per line.
    std::string EntryCalls() const {
        std::ostringstream text;
        text << std::ifstream(log_).rdbuf();
        return text.str();
    }
    static bool ProbeIsLoaded() {
        void *dl = dlopen(kProbe.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (dl) dlclose(dl);
        return dl != nullptr;
    }
    TempFolder folder_;
    std::string log_ = folder_.File("entry.log");
};

TEST_F(LoaderTest, LoadCallsEntryAndExportsAreFound) {
    HMODULE module = LoadLibraryA(kProbe.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(EntryCalls(), "1 dynamic\n");
    // Through void *, as a FARPROC is cast to the export's real type on Windows too.
    auto answer = reinterpret_cast<int (*)()>(reinterpret_cast<void *>(GetProcAddress(module, "ProbeAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(answer)), module);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "RunProcessAttach"), nullptr) << "an export of a dependency, not of the module";
    EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
    char path[PATH_MAX];
    char expected[PATH_MAX];
    ASSERT_NE(realpath(kProbe.c_str(), expected), nullptr);
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), std::strlen(expected));
    EXPECT_STREQ(path, expected);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(EntryCalls(), "1 dynamic\n0 dynamic\n");
    EXPECT_FALSE(ProbeIsLoaded());
}

TEST_F(LoaderTest, RefusedEntryFailsTheLoadAndUnloads) {
    setenv("WIN32_TEST_ENTRY_RESULT", "0", 1);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA(kProbe.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DLL_INIT_FAILED});
    EXPECT_EQ(EntryCalls(), "1 dynamic\n0 dynamic\n") << "one detach right after the refusal, none at unload";
    EXPECT_FALSE(ProbeIsLoaded());
}

TEST_F(LoaderTest, RefusedEntryOutsideLoadLibraryEndsTheProgram) {
    setenv("WIN32_TEST_ENTRY_RESULT", "0", 1);
    EXPECT_EXIT(dlopen(kProbe.c_str(), RTLD_NOW), testing::ExitedWithCode(EXIT_FAILURE),
                "refused DLL_PROCESS_ATTACH");
}

TEST(LoadLibraryA, MissingLibrary) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("/nonexistent/library.so"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

TEST(GetModuleFileNameA, TruncatesWithTerminatorAndReportsIt) {
    char full[PATH_MAX];
    const DWORD length = GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(length, 5u);
    char small[5];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 5u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(std::string(small), std::string(full, 4));
}

TEST(GetModuleFileNameA, UnknownModule) {
    char path[64];
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(0x1000), path, sizeof path), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1000)));
}

}  // namespace
