// Loading the built library as a host does (this program does not link it).
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include <afx_standin.h>
#include <afxwin.h>

#include "support/win32_seams.h"

namespace {

// What a load may change: the state's class and factory lists, each chain entry's module, resources, flag and lists.
using Entry = std::tuple<HMODULE, HMODULE, BOOL, CRuntimeClass *, void *>;
std::vector<Entry> framework_state() {
    AFX_MODULE_STATE *s = AfxGetModuleState();
    std::vector<Entry> entries{{nullptr, nullptr, FALSE, s->m_classList.m_pHead, s->m_factoryList.m_pHead}};
    for (CDynLinkLibrary *l = s->m_libraryList.GetHead(); l != nullptr; l = s->m_libraryList.GetNext(l))
        entries.emplace_back(l->m_hModule, l->m_hResource, l->m_bSystem, l->m_classList.m_pHead, l->m_factoryList.m_pHead);
    return entries;
}

// The host has a class, a factory, another module in the chain and a table of its own: a load adds one entry ahead
// of the others and finds the names, an unload takes only it out, a failed load links nothing. The whole version block.
TEST(ModuleLoad, RegistersBesideTheHostWithItsResources) {
    SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
    static const char anchors[2] = {};  // two modules' addresses
    const auto host = HMODULE(&anchors[0]), other = HMODULE(&anchors[1]);
    static const win32_standin::StringResource strings[] = {{0x0409, 7000, u"host 7000"}, {0x0409, 7003, u"host 7003"}};
    static const win32_standin::ModuleResources resources = {strings, 2, nullptr};
    win32_standin::AttachModuleResources(host, &resources), AfxSetResourceHandle(host);
    static CRuntimeClass hostClass = {"CHostThing", 8, 0xFFFF, nullptr, nullptr};
    AfxClassInit(&hostClass), AfxGetModuleState()->m_factoryList.m_pHead = &hostClass;
    AFX_EXTENSION_MODULE otherRecord = {TRUE, other, other, &hostClass, nullptr};
    new CDynLinkLibrary(otherRecord, TRUE);
    const std::vector<Entry> before = framework_state();
    auto load = [](UINT id) { CString text; text.LoadString(id); return std::string(text); };
    const HMODULE library = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    std::vector<Entry> state = before;
    state.insert(state.begin() + 1, Entry{library, library, FALSE, nullptr, nullptr});
    EXPECT_EQ(framework_state(), state);
    EXPECT_EQ(load(7001) + load(7002) + load(7003), "BMP (無圧縮)BMP (RLE圧縮)host 7003");
    std::vector<BYTE> block(GetFileVersionInfoSizeA(DIRIRA_LIBRARY_PATH, NULL));
    ASSERT_TRUE(GetFileVersionInfoA(DIRIRA_LIBRARY_PATH, 0, DWORD(block.size()), block.data()));
    // Signature, layout version, file and product versions 2.0.1.1, flag mask, flags, 32-bit Windows, a DLL.
    const DWORD fixed[13] = {0xFEEF04BD, 0x10000, 0x20000, 0x10001, 0x20000, 0x10001, 0x3F, 0, 4, 2, 0, 0, 0};
    const WORD translation[2] = {0x0411, 1200};  // Japanese, UTF-16
    const std::pair<const char *, std::string> values[] = {{"\\", std::string(LPCSTR(fixed), sizeof fixed)},
        {"\\VarFileInfo\\Translation", std::string(LPCSTR(translation), sizeof translation)},
        {"FileDescription", "BITMAP I/O DLL"}, {"FileVersion", "2.0.1.1"}, {"InternalName", "DIRIRA"},
        {"OriginalFilename", "DIRIRA.DLL"}, {"ProductName", "DIRIRA"}, {"ProductVersion", "2.1"}};
    for (const auto &[key, want] : values) {
        LPSTR value = nullptr;
        UINT size = 0;
        const std::string path = key[0] == '\\' ? key : std::string("\\StringFileInfo\\041104b0\\") + key;
        ASSERT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void **>(&value), &size)) << key;
        EXPECT_EQ(key[0] == '\\' ? std::string(value, size) : std::string(value), want) << key;
    }
    FreeLibrary(library);
    EXPECT_EQ(framework_state(), before);
    WCHAR text[8];
    EXPECT_TRUE(load(7001).empty() && LoadStringW(library, 7001, text, 8) == 0);  // its resources left with it
    afx_standin::FailNextExtensionInit();  // the raw entry sets the host's lists aside: compare the chain
    EXPECT_TRUE(LoadLibraryA(DIRIRA_LIBRARY_PATH) == nullptr && GetLastError() == DWORD(ERROR_DLL_INIT_FAILED));
    state = framework_state();
    EXPECT_TRUE(std::equal(state.begin() + 1, state.end(), before.begin() + 1, before.end()));
    AfxTermExtensionModule(otherRecord), AfxSetResourceHandle(NULL), win32_standin::DetachModuleResources(host);
    AfxGetModuleState()->m_classList.m_pHead = hostClass.m_pNextClass, AfxGetModuleState()->m_factoryList.m_pHead = nullptr;
}

}  // namespace
