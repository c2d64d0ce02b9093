// Version blocks in the binary layout a resource compiler writes, read back
// as Wine's version tests read them.
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/row_name.h"
#include "platform/win32/temp_folder.h"

#include <climits>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace win32_standin;

const VersionString kVersionStrings[] = {{"FileDescription", u"BITMAP I/O DLL"}, {"ProductName", u"日本語"}};
const VersionResource kVersion = {{2, 0, 1, 1}, {2, 1, 0, 0}, 0x3F, 0, VOS__WINDOWS32, VFT_DLL, 0, 0x411, 1200,
                                  kVersionStrings, 2};
const ModuleResources kResources = {nullptr, 0, &kVersion};

HMODULE ThisModule() { return ModuleOfAddress(reinterpret_cast<const void *>(&ThisModule)); }

class VersionTest : public testing::Test {
protected:
    void SetUp() override {
        AttachModuleResources(ThisModule(), &kResources);
        GetModuleFileNameA(nullptr, path_, sizeof path_);
        const DWORD size = GetFileVersionInfoSizeA(path_, nullptr);
        ASSERT_GT(size, 0u);
        block_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path_, 0, size, block_.data()));
    }
    void TearDown() override { DetachModuleResources(ThisModule()); }

    WORD Word(std::size_t offset) const {
        WORD value;
        std::memcpy(&value, &block_[offset], sizeof value);
        return value;
    }

    char path_[PATH_MAX];
    std::vector<BYTE> block_;
};

TEST_F(VersionTest, BlockHasTheCompiledLayout) {
    const WORD length = Word(0);
    EXPECT_EQ(block_.size(), 2u * length + 4) << "room for the narrow copies, as on Windows";
    EXPECT_EQ(Word(2), sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(Word(4), 0u) << "binary value";
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(&block_[6])), u"VS_VERSION_INFO");
    EXPECT_EQ(std::memcmp(&block_[length], "FE2X", 4), 0);
    LPVOID value;
    UINT size;
    ASSERT_TRUE(VerQueryValueA(block_.data(), "\\", &value, &size));
    EXPECT_EQ(static_cast<BYTE *>(value) - block_.data(), 40) << "the key padded to a DWORD boundary";
}

TEST_F(VersionTest, FixedInfo) {
    VS_FIXEDFILEINFO *fixed;
    UINT size;
    ASSERT_TRUE(VerQueryValueA(block_.data(), "\\", reinterpret_cast<LPVOID *>(&fixed), &size));
    EXPECT_EQ(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, DWORD{VS_FFI_SIGNATURE});
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020001u);
    EXPECT_EQ(fixed->dwFileType, DWORD{VFT_DLL});
}

TEST_F(VersionTest, Translation) {
    DWORD *translation;
    UINT size;
    ASSERT_TRUE(VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID *>(&translation),
                               &size));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(*translation, 0x04B00411u) << "language in the low word, code page in the high word";
}

struct QueryCase {
    const char *name;
    const char *path;
    bool found;
    std::string text;  // when found; "" for an inner block
};

const QueryCase kQueries[] = {
    {"Description", "\\StringFileInfo\\041104b0\\FileDescription", true, "BITMAP I/O DLL"},
    {"IgnoresCase", "\\stringfileinfo\\041104B0\\FILEDESCRIPTION", true, "BITMAP I/O DLL"},
    {"JapaneseInUtf8", "\\StringFileInfo\\041104b0\\ProductName", true, "日本語"},
    {"InnerBlock", "\\StringFileInfo", true, ""},
    {"PartialName", "\\StringFileInfo\\041104b0\\FileDescripti", false, ""},
    {"OtherTable", "\\StringFileInfo\\040904b0\\FileDescription", false, ""},
};

class Query : public VersionTest, public testing::WithParamInterface<QueryCase> {};

TEST_P(Query, AnswersAsWindows) {
    const QueryCase &c = GetParam();
    char *text = nullptr;
    UINT size = 0xdeadbeef;
    SetLastError(0);
    EXPECT_EQ(VerQueryValueA(block_.data(), c.path, reinterpret_cast<LPVOID *>(&text), &size) != FALSE, c.found);
    if (!c.found) {
        EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND});
        EXPECT_EQ(size, 0u);
    } else if (c.text.empty()) {
        EXPECT_EQ(size, 0u);
    } else {
        EXPECT_EQ(std::string(text), c.text);
        EXPECT_EQ(size, c.text.size() + 1) << "the length counts the terminator";
    }
}

INSTANTIATE_TEST_SUITE_P(VerQueryValueA, Query, testing::ValuesIn(kQueries), win32_test::RowName());

TEST(GetFileVersionInfoSizeA, FilesWithoutVersion) {
    win32_test::TempFolder folder;
    const std::string plain = folder.File("plain.txt");
    std::ofstream(plain) << "no version here";
    SetLastError(0);
    EXPECT_EQ(GetFileVersionInfoSizeA(plain.c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_DATA_NOT_FOUND});
    EXPECT_EQ(GetFileVersionInfoSizeA(folder.File("missing.dll").c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

}  // namespace
