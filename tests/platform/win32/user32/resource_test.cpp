// LoadStringW and LoadStringA as Windows answers them, as Wine's user32
// resource tests record it.
#include "platform/win32/win32_test.h"

#include <string>

namespace {

using win32_standin::ModuleResources;
using win32_test::ThisModule;

const win32_standin::StringResource kStrings[] = {
    {0x411, 7001, u"BMP (無圧縮)"},
    // the ends of each UTF-8 length, lone surrogates, a pair at the very end
    {0x411, 7004, u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF\xD800x\xDC00\xDBFF\U0001F600"},
};
const ModuleResources kResources = {kStrings, 2, nullptr}, kNoStrings = {nullptr, 0, nullptr};

class StringTest : public testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
        win32_standin::AttachModuleResources(ThisModule(), &kResources);
    }
    void TearDown() override {
        if (testing_support::kWin32Seams)
            win32_standin::DetachModuleResources(ThisModule());
    }
};

// The same buffer sizes, wide and narrow (UTF-8, truncated to whole
// characters); the result is the length copied. An id missing from an
// existing block is empty, a missing block an error (wide; 0xdeadbeef: the
// error left alone).
TEST_F(StringTest, CopiesAsWindowsWideAndInTheAnsiCodePage) {
    struct Case {
        const char *name;
        UINT id;
        int bufferMax;
        std::u16string wide;
        std::string narrow;
        DWORD error;
    };
    const Case kCases[] = {
        {"Whole", 7001, 64, u"BMP (無圧縮)", "BMP (無圧縮)", 0xdeadbeef},
        {"Truncated", 7001, 7, u"BMP (無", "BMP (", 0xdeadbeef},
        {"RoomForTerminatorOnly", 7001, 1, u"", "", 0xdeadbeef},
        {"EachLengthsEndsAndLoneSurrogates", 7004, 64, kStrings[1].text,
         "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"
         "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80",
         0xdeadbeef},
        {"MissingIdInExistingBlock", 7003, 64, u"", "", 0xdeadbeef},
        {"MissingBlock", 9000, 64, u"", "", ERROR_RESOURCE_NAME_NOT_FOUND},
        {"MissingBlockRoomForTerminatorOnly", 9000, 1, u"", "", ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const auto &c : kCases) {
        WCHAR wide[64] = {u'#'};
        char narrow[64] = "#";
        EXPECT_LAST_ERROR(LoadStringW(ThisModule(), c.id, wide, c.bufferMax), static_cast<int>(c.wide.size()), c.error);
        EXPECT_LAST_ERROR(LoadStringA(ThisModule(), c.id, narrow, c.bufferMax), static_cast<int>(c.narrow.size()),
                          c.error);
        EXPECT_EQ(std::make_pair(std::u16string((const char16_t *)wide), std::string(narrow)),
                  std::make_pair(c.wide, c.narrow))
            << c.name;
    }
    WCHAR buffer[8]; // null: the program; no pointer into the resource; no buffer
    EXPECT_LAST_ERROR(LoadStringW(nullptr, 7001, buffer, 8), 7, 0xdeadbeef);
    EXPECT_LAST_ERROR(LoadStringW(ThisModule(), 7001, buffer, 0), 0, ERROR_NOT_SUPPORTED);
    EXPECT_LAST_ERROR(LoadStringA(ThisModule(), 7001, nullptr, 8), 0, 0xdeadbeef);
    EXPECT_LAST_ERROR(LoadStringW(HINSTANCE(0x1000), 7001, buffer, 8), 0, ERROR_RESOURCE_DATA_NOT_FOUND);
    win32_standin::AttachModuleResources(ThisModule(), &kNoStrings);
    EXPECT_LAST_ERROR(LoadStringW(ThisModule(), 7001, buffer, 8), 0, ERROR_RESOURCE_TYPE_NOT_FOUND);
}

} // namespace
