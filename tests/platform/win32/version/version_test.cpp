// Version blocks in the binary layout a resource compiler writes, read back
// as Wine's version tests read them.
#include "platform/win32/win32_test.h"

#include <cstring>
#include <vector>

namespace {

using namespace win32_standin;
using win32_test::ThisModule;

const VersionString kVersionStrings[] = {{"FileDescription", u"BITMAP I/O DLL"}, {"ProductName", u"日本語"}};
const VersionResource kVersion = {{2, 0, 1, 1}, {2, 1, 0, 0}, 0x3F, 0, VOS__WINDOWS32, VFT_DLL, 0, 0x411, 1200,
                                  kVersionStrings, 2};
const ModuleResources kResources = {nullptr, 0, &kVersion};

class VersionTest : public testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
        AttachModuleResources(ThisModule(), &kResources);
        char path[4096];
        GetModuleFileNameA(nullptr, path, sizeof path);
        block_.resize(GetFileVersionInfoSizeA(path, nullptr));
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(block_.size()), block_.data()));
    }
    void TearDown() override {
        if (testing_support::kWin32Seams) DetachModuleResources(ThisModule());
    }
    std::vector<BYTE> block_;
};

TEST_F(VersionTest, FixedInfoAndTranslationInTheCompiledLayout) {
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(&block_[6])), u"VS_VERSION_INFO");
    VS_FIXEDFILEINFO *fixed;
    UINT size;
    ASSERT_TRUE(VerQueryValueA(block_.data(), "\\", reinterpret_cast<LPVOID *>(&fixed), &size));
    EXPECT_EQ(reinterpret_cast<BYTE *>(fixed) - block_.data(), 40) << "the key padded to a DWORD boundary";
    EXPECT_EQ(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, DWORD{VS_FFI_SIGNATURE});
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);
    DWORD *translation;
    ASSERT_TRUE(VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID *>(&translation),
                               &size));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(*translation, 0x04B00411u) << "language in the low word, code page in the high word";
    EXPECT_LAST_ERROR(GetFileVersionInfoSizeA("/nonexistent.dll", nullptr), 0u, ERROR_FILE_NOT_FOUND);
}

// The size counts the terminator.
TEST_F(VersionTest, StringQueriesAnswerAsWindows) {
    const struct { const char *name, *path; std::string text; } kCases[] = {  // "": not found
        {"Description", "\\StringFileInfo\\041104b0\\FileDescription", "BITMAP I/O DLL"},
        {"IgnoresCase", "\\stringfileinfo\\041104B0\\FILEDESCRIPTION", "BITMAP I/O DLL"},
        {"JapaneseInUtf8", "\\StringFileInfo\\041104b0\\ProductName", "日本語"},
        {"PartialName", "\\StringFileInfo\\041104b0\\FileDescripti", ""},
        {"OtherTable", "\\StringFileInfo\\040904b0\\FileDescription", ""},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        char *text = nullptr;
        UINT size = 0xdeadbeef;
        const bool found = !c.text.empty();
        EXPECT_LAST_ERROR(VerQueryValueA(block_.data(), c.path, reinterpret_cast<LPVOID *>(&text), &size) != FALSE,
                          found, found ? 0xdeadbeef : ERROR_RESOURCE_TYPE_NOT_FOUND);
        EXPECT_EQ(size, found ? c.text.size() + 1 : 0u);
        EXPECT_EQ(found ? std::string(text) : "", c.text);
    }
}

}  // namespace
