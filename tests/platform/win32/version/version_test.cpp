// Version blocks in the binary layout a resource compiler writes, read back
// as Wine's version tests read them.
#include "platform/win32/win32_test.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace win32_standin;
using win32_test::ThisModule;

// Every field differs from every other, so a swapped or dropped one shows.
const VersionString kVersionStrings[] = {{"FileDescription", u"BITMAP I/O DLL"}, {"ProductName", u"日本語"}};
const VersionResource kVersion = {{1, 2, 3, 4}, {5, 6, 7, 8},    0x3F, 0x08, VOS__WINDOWS32, VFT_DLL, 0x11, 0x411,
                                  1200,         kVersionStrings, 2};
const ModuleResources kResources = {nullptr, 0, &kVersion};

// The fixed part, as VS_FIXEDFILEINFO words: signature, structure version
// 1.0, file and product versions (most significant word second), flags
// mask, flags, OS, type, subtype, date 0. The rest of the layout (UTF-16
// keys, DWORD padding, a 332-byte block) shows in where each query points.
const DWORD kFixed[13] = {0xFEEF04BD, 0x10000, 0x10002, 0x30004, 0x50006, 0x70008, 0x3F, 0x08, 4, 2, 0x11, 0, 0};
constexpr std::size_t kBlockBytes = 332;

class VersionTest : public testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
        AttachModuleResources(ThisModule(), &kResources);
        GetModuleFileNameA(nullptr, path_, sizeof path_);
        DWORD handle = 7;
        block_.resize(GetFileVersionInfoSizeA(path_, &handle), 0xEE);
        EXPECT_EQ(handle, 0u);
        ASSERT_TRUE(GetFileVersionInfoA(path_, 0, static_cast<DWORD>(block_.size()), block_.data()));
    }
    void TearDown() override {
        if (testing_support::kWin32Seams)
            DetachModuleResources(ThisModule());
    }
    char path_[4096];
    std::vector<BYTE> block_;
};

// The buffer: the block, "FE2X", then room for narrow copies of strings.
// Binary values point into the block; strings into the room, narrow, with
// a length that counts the terminator. offset: in the buffer, 0 not found.
TEST_F(VersionTest, BlockIsTheCompiledLayoutAndQueriesAnswerAsWindows) {
    const std::size_t kRoom = kBlockBytes + 4;
    ASSERT_EQ(block_.size(), kRoom + kBlockBytes);
    EXPECT_TRUE(!std::memcmp(&block_[40], kFixed, sizeof kFixed) && !std::memcmp(&block_[kBlockBytes], "FE2X", 4));
    const std::string kStrings = "\\StringFileInfo\\041104b0";
    const struct {
        std::string path;
        std::size_t offset;
        UINT length;
    } kCases[] = {
        {"\\", 40, 52},
        {"\\VarFileInfo\\Translation", 328, 4},
        {kStrings, 152, 0},
        {kStrings + "\\FileDescription", kRoom + 192, 15},
        {"\\stringfileinfo\\041104B0\\FILEDESCRIPTION", kRoom + 192, 15}, // any case
        {kStrings + "\\ProductName", kRoom + 256, 10},
        {kStrings + "\\FileDescripti", 0, 0},
        {kStrings + "\\FileDescriptionX", 0, 0},
        {"\\StringFileInfo\\040904b0\\FileDescription", 0, 0},
    };
    for (const auto &c : kCases) {
        BYTE *value = nullptr;
        UINT length = 0xdeadbeef;
        const bool found = c.offset != 0;
        EXPECT_LAST_ERROR(VerQueryValueA(block_.data(), c.path.c_str(), (LPVOID *)&value, &length) != 0, found,
                          found ? 0xdeadbeef : ERROR_RESOURCE_TYPE_NOT_FOUND);
        EXPECT_EQ(std::make_pair(found ? value - block_.data() : 0, length),
                  std::make_pair(static_cast<std::ptrdiff_t>(c.offset), c.length))
            << c.path;
    }
    EXPECT_EQ(std::string((char *)&block_[kRoom + 192]) + (char *)&block_[kRoom + 256], "BITMAP I/O DLL日本語");
    LPVOID value;
    EXPECT_LAST_ERROR(VerQueryValueA(block_.data(), nullptr, &value, nullptr), FALSE, ERROR_INVALID_PARAMETER);
    DWORD ignored = 0; // a file that is not there has no version block
    EXPECT_LAST_ERROR(GetFileVersionInfoSizeA("/no/such/file.dll", &ignored), 0u, ERROR_PATH_NOT_FOUND);
}

} // namespace
