// Loading libraries and calling their entry the way Windows' loader does.
#include "platform/win32/win32_test.h"

#include <climits>
#include <cstring>
#include <dlfcn.h>

namespace {

const std::string kProbe = WIN32_ENTRY_PROBE;

// The probe's entry answers as WIN32_TEST_ENTRY_RESULT says and logs each
// call to WIN32_TEST_ENTRY_LOG as "<reason> <dynamic|static>".
class LoaderTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("WIN32_TEST_ENTRY_LOG", log_.c_str(), 1);
        setenv("WIN32_TEST_ENTRY_RESULT", "1", 1);
    }
    void TearDown() override {
        unsetenv("WIN32_TEST_ENTRY_LOG");
        unsetenv("WIN32_TEST_ENTRY_RESULT");
        void *dl = dlopen(kProbe.c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_EQ(dl, nullptr) << "the probe is still loaded";
    }
    std::string EntryCalls() const { return win32_test::ReadText(log_); }
    testing_support::TempDir folder_;
    std::string log_ = folder_.file("entry.log");
};

TEST_F(LoaderTest, LoadCallsEntryAndExportsAreFound) {
    HMODULE module = LoadLibraryA(kProbe.c_str());
    EXPECT_EQ(EntryCalls(), "1 dynamic\n");
    // Through void *, as a FARPROC is cast to the export's real type on Windows too.
    auto answer = reinterpret_cast<int (*)()>(reinterpret_cast<void *>(GetProcAddress(module, "ProbeAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(answer)), module);
    // An export of a dependency is not the module's.
    EXPECT_LAST_ERROR(GetProcAddress(module, "RunProcessAttach"), nullptr, ERROR_PROC_NOT_FOUND);
    char path[PATH_MAX], expected[PATH_MAX];
    EXPECT_EQ(GetModuleFileNameA(module, path, sizeof path), std::strlen(realpath(kProbe.c_str(), expected)));
    EXPECT_STREQ(path, expected);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(EntryCalls(), "1 dynamic\n0 dynamic\n");
}

TEST_F(LoaderTest, RefusedEntryFailsTheLoadAndUnloads) {
    setenv("WIN32_TEST_ENTRY_RESULT", "0", 1);
    EXPECT_LAST_ERROR(LoadLibraryA(kProbe.c_str()), nullptr, ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(EntryCalls(), "1 dynamic\n0 dynamic\n") << "one detach right after the refusal, none at unload";
    EXPECT_EXIT(dlopen(kProbe.c_str(), RTLD_NOW), testing::ExitedWithCode(EXIT_FAILURE), "refused DLL_PROCESS_ATTACH")
        << "a refusal outside LoadLibraryA ends the program";
}

TEST(LoadLibraryA, MissingLibraryAndShortBuffer) {
    char path[8];
    EXPECT_LAST_ERROR(LoadLibraryA("/nonexistent/library.so"), nullptr, ERROR_MOD_NOT_FOUND);
    // Truncated and terminated; the answer is the buffer's length.
    EXPECT_LAST_ERROR(GetModuleFileNameA(nullptr, path, sizeof path), 8u, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::strlen(path), 7u);
}

}  // namespace
