// LoadStringW and LoadStringA as Windows answers them, as Wine's user32
// resource tests record it.
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/row_name.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using win32_standin::ModuleResources;
using win32_standin::StringResource;

const StringResource kStrings[] = {
    {0x411, 7001, u"BMP (無圧縮)"},
    {0x411, 7002, u"\U0001F600!"},  // a surrogate pair
};
const ModuleResources kResources = {kStrings, 2, nullptr};
const ModuleResources kNoStrings = {nullptr, 0, nullptr};

HMODULE ThisModule() { return win32_standin::ModuleOfAddress(reinterpret_cast<const void *>(&ThisModule)); }

class StringTest : public testing::Test {
protected:
    void SetUp() override { win32_standin::AttachModuleResources(ThisModule(), &kResources); }
    void TearDown() override { win32_standin::DetachModuleResources(ThisModule()); }
};

struct WideCase {
    const char *name;
    UINT id;
    int bufferMax;
    int result;
    std::u16string text;
    DWORD error;  // 0xdeadbeef: untouched
};

const WideCase kWide[] = {
    {"Whole", 7001, 64, 9, u"BMP (無圧縮)", 0xdeadbeef},
    {"Truncated", 7001, 4, 3, u"BMP", 0xdeadbeef},
    {"RoomForTerminatorOnly", 7001, 1, 0, u"", 0xdeadbeef},
    {"MissingIdInExistingBlock", 7003, 64, 0, u"", 0xdeadbeef},
    {"MissingBlock", 9000, 64, 0, u"", ERROR_RESOURCE_NAME_NOT_FOUND},
};

class Wide : public StringTest, public testing::WithParamInterface<WideCase> {};

TEST_P(Wide, CopiesAsWindows) {
    const WideCase &c = GetParam();
    WCHAR buffer[64];
    buffer[0] = u'#';
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadStringW(ThisModule(), c.id, buffer, c.bufferMax), c.result);
    EXPECT_EQ(std::u16string(buffer), c.text);
    EXPECT_EQ(GetLastError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(LoadStringW, Wide, testing::ValuesIn(kWide), win32_test::RowName());

TEST_F(StringTest, BufferMaxZeroGivesPointerIntoTheResource) {
    LPCWSTR text = nullptr;
    EXPECT_EQ(LoadStringW(ThisModule(), 7001, reinterpret_cast<LPWSTR>(&text), 0), 9);
    EXPECT_EQ(text, kStrings[0].text);
}

TEST_F(StringTest, NullInstanceIsTheProgram) {
    WCHAR buffer[16];
    EXPECT_EQ(LoadStringW(nullptr, 7001, buffer, 16), 9);
}

TEST(LoadStringW, ModulesWithoutStringsReportWhatIsMissing) {
    WCHAR buffer[8];
    SetLastError(0);
    EXPECT_EQ(LoadStringW(reinterpret_cast<HINSTANCE>(0x1000), 7001, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_DATA_NOT_FOUND});
    win32_standin::AttachModuleResources(ThisModule(), &kNoStrings);
    EXPECT_EQ(LoadStringW(ThisModule(), 7001, buffer, 8), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND});
    win32_standin::DetachModuleResources(ThisModule());
}

struct NarrowCase {
    const char *name;
    UINT id;
    int bufferMax;
    int result;
    std::string text;
};

const NarrowCase kNarrow[] = {
    {"WholeInUtf8", 7001, 64, 15, "BMP (無圧縮)"},
    {"TruncationKeepsCharactersWhole", 7001, 7, 5, "BMP ("},
    {"SurrogatePairIsOneCharacter", 7002, 64, 5, "\xF0\x9F\x98\x80!"},
    {"MissingIsEmpty", 9000, 64, 0, ""},
};

class Narrow : public StringTest, public testing::WithParamInterface<NarrowCase> {};

TEST_P(Narrow, ConvertsToTheAnsiCodePage) {
    const NarrowCase &c = GetParam();
    char buffer[64] = "#";
    EXPECT_EQ(LoadStringA(ThisModule(), c.id, buffer, c.bufferMax), c.result);
    EXPECT_EQ(std::string(buffer), c.text);
}

INSTANTIATE_TEST_SUITE_P(LoadStringA, Narrow, testing::ValuesIn(kNarrow), win32_test::RowName());

TEST_F(StringTest, NarrowBufferMaxZeroAnswersMinusOne) {
    char buffer[4];
    EXPECT_EQ(LoadStringA(ThisModule(), 7001, buffer, 0), -1);
}

}  // namespace
