// Loading libraries and calling their entry the way Windows' loader does.
#include "platform/win32/win32_test.h"

#include <cstdlib>
#include <cstring>

namespace {

using testing_support::SetEnvironment;

// The probe library, beside the test program.
const std::string kProbe = [] {
    char program[4096];
    GetModuleFileNameA(nullptr, program, sizeof program);
    return (std::filesystem::path(program).parent_path() / WIN32_ENTRY_PROBE).string();
}();

// The probe's entry answers as WIN32_TEST_ENTRY_RESULT says and logs each
// call to WIN32_TEST_ENTRY_LOG as "<reason> <dynamic|static>".
class LoaderTest : public testing::Test {
protected:
    void SetUp() override {
        SetEnvironment("WIN32_TEST_ENTRY_LOG", log_.c_str()), SetEnvironment("WIN32_TEST_ENTRY_RESULT", "1");
    }
    void TearDown() override {
        SetEnvironment("WIN32_TEST_ENTRY_LOG", nullptr), SetEnvironment("WIN32_TEST_ENTRY_RESULT", nullptr);
        EXPECT_FALSE(testing_support::IsLoaded(kProbe)) << "the probe is still loaded";
    }
    std::string EntryCalls() const { return win32_test::ReadText(log_); }
    testing_support::TempDir folder_;
    std::string log_ = folder_.file("entry.log");
};

TEST_F(LoaderTest, LoadAndFreeCallTheEntry) {
    HMODULE module = LoadLibraryA(kProbe.c_str());
    EXPECT_EQ(EntryCalls(), "1 dynamic\n");
    char path[4096];
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    EXPECT_EQ(length, std::strlen(path));
    EXPECT_TRUE(std::filesystem::equivalent(path, kProbe)) << path;
    EXPECT_TRUE(FreeLibrary(module) && EntryCalls() == "1 dynamic\n0 dynamic\n") << EntryCalls();
    EXPECT_LAST_ERROR(LoadLibraryA("/nonexistent/library.so"), nullptr, ERROR_MOD_NOT_FOUND);
    if (testing_support::kWin32Seams) { // as Windows documents it; not yet run under Wine
        EXPECT_TRUE(FreeLibrary(win32_test::ThisModule())) << "a module linked at start-up stays";
        EXPECT_LAST_ERROR(FreeLibrary(module), FALSE, ERROR_MOD_NOT_FOUND);
    }
}

TEST_F(LoaderTest, RefusedEntryFailsTheLoadAndUnloads) {
    SetEnvironment("WIN32_TEST_ENTRY_RESULT", "0");
    EXPECT_LAST_ERROR(LoadLibraryA(kProbe.c_str()), nullptr, ERROR_DLL_INIT_FAILED);
    EXPECT_EQ(EntryCalls(), "1 dynamic\n0 dynamic\n") << "one detach right after the refusal, none at unload";
}

TEST_F(LoaderTest, RefusalOutsideLoadLibraryEndsTheProgram) {
    SKIP_WITHOUT_WIN32_SEAMS("loader hooks");
    SetEnvironment("WIN32_TEST_ENTRY_RESULT", "0");
    EXPECT_EXIT(testing_support::LoadAsDependency(kProbe), testing::ExitedWithCode(EXIT_FAILURE),
                "refused DLL_PROCESS_ATTACH");
}

// An unload at program exit is static, without a FreeLibrary before it and
// after one on the same thread.
TEST_F(LoaderTest, ExitAfterFreeLibraryDetachesStatically) {
    SKIP_WITHOUT_WIN32_SEAMS("loader hooks");
    EXPECT_EXIT((testing_support::LoadAsDependency(kProbe), std::exit(0)), testing::ExitedWithCode(0), "");
    EXPECT_EXIT((FreeLibrary(LoadLibraryA(kProbe.c_str())), testing_support::LoadAsDependency(kProbe), std::exit(0)),
                testing::ExitedWithCode(0), "");
    EXPECT_EQ(EntryCalls(), "1 static\n0 static\n1 dynamic\n0 dynamic\n1 static\n0 static\n");
}

TEST(GetModuleFileNameA, ShortBuffer) {
    SKIP_WHERE_WINE_DIVERGES("GetModuleFileNameA leaves a truncated name unterminated");
    char path[8]; // truncated and terminated; the answer is the buffer's length
    EXPECT_LAST_ERROR(GetModuleFileNameA(nullptr, path, sizeof path), 8u, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::strlen(path), 7u);
    EXPECT_LAST_ERROR(GetModuleFileNameA(nullptr, path, 0), 0u, ERROR_INSUFFICIENT_BUFFER); // nothing written
    EXPECT_EQ(std::strlen(path), 7u);
}

} // namespace
