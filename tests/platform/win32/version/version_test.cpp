// Version blocks in the binary layout a resource compiler writes, read back
// as Wine's version tests read them.
#include "platform/win32/win32_test.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace win32_standin;
using namespace std::string_literals;
using win32_test::ThisModule;

// Every field differs from every other, so a swapped or dropped one shows.
const VersionString kVersionStrings[] = {{"FileDescription", u"BITMAP I/O DLL"}, {"ProductName", u"日本語"}};
const VersionResource kVersion = {{1, 2, 3, 4}, {5, 6, 7, 8},    0x3F, 0x08, VOS__WINDOWS32, VFT_DLL, 0x11, 0x411,
                                  1200,         kVersionStrings, 2};
const ModuleResources kResources = {nullptr, 0, &kVersion};

// The whole block, in 16-bit words. A node: wLength, wValueLength (text:
// in characters), wType (1 text), the key, padding to a DWORD, the value,
// padding, its children.
const std::u16string kBlock = u"\x014C\x0034\x0000"
                              u"VS_VERSION_INFO\0"
                              u"\0" // 332 bytes in all; a 52-byte value
                              u"\x04BD\xFEEF"
                              u"\x0000\x0001" // signature, structure version 1.0
                              u"\x0002\x0001"
                              u"\x0004\x0003" // file version 1.2.3.4
                              u"\x0006\x0005"
                              u"\x0008\x0007" // product version 5.6.7.8
                              u"\x003F\x0000"
                              u"\x0008\x0000" // flags mask, flags
                              u"\x0004\x0000"
                              u"\x0002\x0000"
                              u"\x0011\x0000"             // OS, type, subtype
                              u"\x0000\x0000\x0000\x0000" // date
                              u"\x00AC\x0000\x0001"
                              u"StringFileInfo\0" // 172 bytes
                              u"\x0088\x0000\x0001"
                              u"041104b0\0" // 136 bytes: Japanese, UTF-16
                              u"\x0046\x000F\x0001"
                              u"FileDescription\0"
                              u"\0" // 70 bytes, 15 characters
                              u"BITMAP I/O DLL\0"
                              u"\0"
                              u"\x0028\x0004\x0001"
                              u"ProductName\0"
                              u"\0" // 40 bytes, 4 characters
                              u"日本語\0"
                              u"\x0044\x0000\x0001"
                              u"VarFileInfo\0"
                              u"\0" // 68 bytes
                              u"\x0024\x0004\x0000"
                              u"Translation\0"
                              u"\0"             // 36 bytes, a 4-byte value
                              u"\x0411\x04B0"s; // language, code page

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
    const std::size_t size = kBlock.size() * 2, kRoom = size + 4;
    ASSERT_EQ(block_.size(), kRoom + size);
    EXPECT_TRUE(!std::memcmp(block_.data(), kBlock.data(), size) && !std::memcmp(&block_[size], "FE2X", 4));
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
}

} // namespace
