#include "afx_test_support.h"

#include <vector>

namespace {
// Handles of made-up modules; nothing is loaded behind them.
HMODULE FakeModule(int n) { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x10000 * n)); }

// Starting from one host class and factory: init takes the library's
// registrations (newest first) and gives the host its lists back, once; a
// failed one changes nothing. Each chain entry carries them, newest first;
// term deletes those of its module (also system ones), or all, or none for
// a record never initialised. The host's lists come back after.
TEST(extmodule, InitTakesTheLibraryRegistrationsTermDeletesItsChainEntries) {
    AFX_MODULE_STATE *state = AfxGetModuleState();
    const AFX_MODULE_STATE saved = *state;
    CRuntimeClass classes[3] = {{"CHost", 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr},
                                {"CLibA", 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr},
                                {"CLibB", 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr}};
    int hostFactory = 0, libraryFactory = 0;
    AFX_EXTENSION_MODULE record = {}, other = {}, uninitialised = {};
    state->m_classList.m_pHead = nullptr, AfxClassInit(&classes[0]), state->m_factoryList.m_pHead = &hostFactory;
    EXPECT_TRUE(ExtRawDllMain(FakeModule(1), DLL_PROCESS_ATTACH, nullptr)); // a library's load up to its DllMain
    EXPECT_TRUE(!state->m_classList.GetHead() && !state->m_factoryList.GetHead()) << "the host's lists set aside";
    AfxClassInit(&classes[1]), AfxClassInit(&classes[2]), state->m_factoryList.m_pHead = &libraryFactory;
    afx_standin::FailNextExtensionInit();
    EXPECT_FALSE(AfxInitExtensionModule(record, FakeModule(1)));
    ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
    EXPECT_TRUE(AfxInitExtensionModule(record, FakeModule(2)));
    EXPECT_EQ(std::make_tuple(record.hModule, record.pFirstSharedClass, classes[2].m_pNextClass,
                              record.pFirstSharedFactory, state->m_classList.GetHead(), state->m_factoryList.GetHead()),
              std::make_tuple(FakeModule(1), &classes[2], &classes[1], static_cast<void *>(&libraryFactory),
                              &classes[0], static_cast<void *>(&hostFactory)));
    const long live = afx_standin::LiveAllocations();
    ASSERT_TRUE(AfxInitExtensionModule(other, FakeModule(2)));
    new CDynLinkLibrary(other);
    auto *library = new CDynLinkLibrary(record, TRUE);
    EXPECT_EQ(std::make_tuple(state->m_libraryList.GetHead(), library->m_hResource, library->m_classList.GetHead(),
                              static_cast<void *>(library->m_factoryList.GetHead())),
              std::make_tuple(library, FakeModule(1), &classes[2], static_cast<void *>(&libraryFactory)));
    new CDynLinkLibrary(record);
    std::vector<int> chain; // after each term
    AfxTermExtensionModule(uninitialised, TRUE), chain.push_back(afx_standin::LibraryChainLength());
    AfxTermExtensionModule(record), chain.push_back(afx_standin::LibraryChainLength());
    ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
    AfxTermExtensionModule(record, TRUE), chain.push_back(afx_standin::LibraryChainLength());
    EXPECT_EQ(chain, (std::vector<int>{3, 1, 0}));
    EXPECT_FALSE(record.bInitialized) << "terminated: the next init starts anew";
    EXPECT_EQ(live, afx_standin::LiveAllocations());
    EXPECT_TRUE(state->m_classList.Remove(&classes[0]));
    EXPECT_FALSE(state->m_classList.Remove(&classes[0])) << "no longer listed";
    EXPECT_TRUE(state->m_classList.IsEmpty());
    state->m_classList = saved.m_classList, state->m_factoryList = saved.m_factoryList;
}
} // namespace
