// The entry on records of the test's own beside another module in the chain; the string table given to the loader.
#include <gtest/gtest.h>

#include <afx_standin.h>
#include <cstring>
#include <string>
#ifndef _WIN32
#include <win32_standin.h>  // the resource table's layout, the stand-in's own
#endif

#include "module/entry.h"

// Attach links this module's entry unless registration fails or memory for it runs out (the load goes on);
// a failed attach and the thread reasons leave the record alone; detach unlinks only this module's entry.
TEST(ModuleEntry, EveryReasonLeavesTheChainAsPromised) {
    const auto self = HINSTANCE(0x10000), other = HINSTANCE(0x20000);
    AFX_EXTENSION_MODULE host = {TRUE, other, other, nullptr, nullptr};
    new CDynLinkLibrary(host);
    const struct { const char *name; DWORD reason; void (*fault)(); BOOL result; int linked; } cases[] = {
        {"attach", DLL_PROCESS_ATTACH, [] {}, TRUE, 1},
        {"registration fails", DLL_PROCESS_ATTACH, afx_standin::FailNextExtensionInit, FALSE, 0},
        {"no memory for the chain entry", DLL_PROCESS_ATTACH, [] { afx_standin::FailNthAllocation(1); }, TRUE, 0},
        {"thread attach", DLL_THREAD_ATTACH, [] {}, TRUE, 0}, {"thread detach", DLL_THREAD_DETACH, [] {}, TRUE, 0}};
    for (const auto &c : cases) {
        AFX_EXTENSION_MODULE record;
        std::memset(&record, c.reason == DLL_PROCESS_ATTACH ? 0 : 0x5A, sizeof record);
        const AFX_EXTENSION_MODULE before = record;
        const int chain = afx_standin::LibraryChainLength();
        const long live = afx_standin::LiveAllocations();
        c.fault();
        EXPECT_EQ(dirira::module_entry(record, self, c.reason), c.result) << c.name;
        afx_standin::ClearFaults();
        const CDynLinkLibrary *head = AfxGetModuleState()->m_libraryList.GetHead();
        EXPECT_TRUE(afx_standin::LibraryChainLength() == chain + c.linked && head->m_hModule == (c.linked ? self : other) && !head->m_bSystem) << c.name;
        EXPECT_TRUE((c.result && c.reason == DLL_PROCESS_ATTACH) || std::memcmp(&record, &before, sizeof record) == 0) << c.name;
        EXPECT_EQ(dirira::module_entry(record, self, DLL_PROCESS_DETACH), TRUE) << c.name;
        EXPECT_EQ(std::make_pair(afx_standin::LibraryChainLength(), afx_standin::LiveAllocations()), std::make_pair(chain, live)) << c.name;
    }
    AfxTermExtensionModule(host);
}

#ifndef _WIN32
extern const win32_standin::ModuleResources dirira_module_resources;
TEST(ModuleResources, StringTableIsJapanese) {
    const win32_standin::ModuleResources &r = dirira_module_resources;
    ASSERT_EQ(r.stringCount, 2u);
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(r.strings[i].language == 0x0411 && r.strings[i].id == UINT(7001 + i) &&
                    std::u16string(r.strings[i].text) == (i ? u"BMP (RLE\u5727\u7e2e)" : u"BMP (\u7121\u5727\u7e2e)"));
}
#endif
