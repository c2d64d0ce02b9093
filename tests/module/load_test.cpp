// Loading the built library the way a host does: its string table joins the
// framework's resource chain, and a failed registration fails the load.
// This program does not link libdirira; it loads it with LoadLibraryA.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <afx_standin.h>
#include <afxwin.h>

#include "module/resource.h"
#include "support/win32_seams.h"

namespace {

CString load(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

class LoadTest : public testing::Test {
protected:
    void TearDown() override {
        afx_standin::ClearFaults();
        if (library_ != NULL)
            FreeLibrary(library_);
    }
    HMODULE library_ = NULL;
};

TEST_F(LoadTest, FormatNamesAreFoundAfterLoad) {
    library_ = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    ASSERT_NE(library_, nullptr);
    EXPECT_STREQ(load(IDS_FORMAT_BMP), testing_support::InAnsiCodePage("BMP (無圧縮)").c_str());
    EXPECT_STREQ(load(IDS_FORMAT_BMP_RLE), testing_support::InAnsiCodePage("BMP (RLE圧縮)").c_str());
}

// The host registered its own string table first, with identifiers of the
// same block of sixteen: the lookup is by identifier, not by block, so the
// library's names are still found and the host's stay the host's.
TEST_F(LoadTest, HostTableRegisteredFirstDoesNotHideTheNames) {
    SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
    static const char host_anchor = 0;
    HMODULE host = reinterpret_cast<HMODULE>(const_cast<char *>(&host_anchor));
    static const win32_standin::StringResource hostStrings[] = {
        {0x0409, 7000, u"host 7000"}, {0x0409, 7003, u"host 7003"}, {0x0409, 100, u"host 100"}};
    static const win32_standin::ModuleResources hostResources = {hostStrings, 3, nullptr};
    win32_standin::AttachModuleResources(host, &hostResources);
    const HINSTANCE previous = AfxGetResourceHandle();
    AfxSetResourceHandle(host);

    library_ = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    ASSERT_NE(library_, nullptr);
    EXPECT_STREQ(load(IDS_FORMAT_BMP), testing_support::InAnsiCodePage("BMP (無圧縮)").c_str());
    EXPECT_STREQ(load(IDS_FORMAT_BMP_RLE), testing_support::InAnsiCodePage("BMP (RLE圧縮)").c_str());
    EXPECT_STREQ(load(7003), "host 7003");

    AfxSetResourceHandle(previous);
    win32_standin::DetachModuleResources(host);
}

// The resources as Win32 reads them from the built library: the string
// table in UTF-16, and the version block.
TEST_F(LoadTest, StringTableAndVersionBlockAreReadable) {
    library_ = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    ASSERT_NE(library_, nullptr);
    WCHAR text[32];
    const int length = LoadStringW(library_, IDS_FORMAT_BMP_RLE, text, 32);
    EXPECT_EQ(std::u16string(text, text + length), u"BMP (RLE\u5727\u7e2e)");

    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeA(DIRIRA_LIBRARY_PATH, &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(DIRIRA_LIBRARY_PATH, 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID *>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);  // 2.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010001u);  // .1.1
    char *description = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\041104b0\\FileDescription",
                               reinterpret_cast<LPVOID *>(&description), &size));
    EXPECT_STREQ(description, "BITMAP I/O DLL");
}

TEST_F(LoadTest, FailedRegistrationFailsTheLoad) {
    const int chainBefore = afx_standin::LibraryChainLength();
    afx_standin::FailNextExtensionInit();
    library_ = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    EXPECT_EQ(library_, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore);
    EXPECT_TRUE(load(IDS_FORMAT_BMP).IsEmpty()) << "nothing registered";
}

TEST_F(LoadTest, UnloadLeavesTheChain) {
    const int chainBefore = afx_standin::LibraryChainLength();
    library_ = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    ASSERT_NE(library_, nullptr);
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore + 1);
    FreeLibrary(library_);
    library_ = NULL;
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore);
}

}  // namespace
