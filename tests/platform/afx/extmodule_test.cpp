#include "afx_test_support.h"

namespace {
// Handles of made-up modules; nothing is loaded behind them.
HMODULE FakeModule(int n) { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x10000 * n)); }

// Each test starts with one host class and factory; the host's lists come back after.
class extmodule : public AfxTest {
protected:
    void SetUp() override {
        AfxTest::SetUp();
        saved = *state;
        state->m_classList.m_pHead = nullptr;
        AfxClassInit(&classes[0]);
        state->m_factoryList.m_pHead = &hostFactory;
    }
    void TearDown() override {
        AfxTermExtensionModule(record, TRUE);
        state->m_classList = saved.m_classList;
        state->m_factoryList = saved.m_factoryList;
        AfxTest::TearDown();
    }

    AFX_MODULE_STATE *state = AfxGetModuleState();
    AFX_MODULE_STATE saved;
    CRuntimeClass classes[3] = {{"CHost", 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr},
                                {"CLibA", 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr},
                                {"CLibB", 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr}};
    int hostFactory = 0, libraryFactory = 0;
    AFX_EXTENSION_MODULE record = {};
};

// Init takes the library's registrations (newest first) and gives the host its lists
// back, once; a failed one changes nothing. Each chain entry carries them, newest
// first; term deletes those of its module (also system ones), or all, or none for
// a record never initialised.
TEST_F(extmodule, InitTakesTheLibraryRegistrationsTermDeletesItsChainEntries) {
    ExtRawDllMain(FakeModule(1), DLL_PROCESS_ATTACH, nullptr);  // a library's load up to its DllMain
    AfxClassInit(&classes[1]);
    AfxClassInit(&classes[2]);
    state->m_factoryList.m_pHead = &libraryFactory;
    afx_standin::FailNextExtensionInit();
    EXPECT_FALSE(AfxInitExtensionModule(record, FakeModule(1)));
    ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
    EXPECT_EQ(&classes[2], record.pFirstSharedClass);
    EXPECT_EQ(&classes[1], classes[2].m_pNextClass);
    EXPECT_EQ(&libraryFactory, record.pFirstSharedFactory);
    EXPECT_EQ(&classes[0], state->m_classList.GetHead());
    EXPECT_EQ(&hostFactory, state->m_factoryList.GetHead());
    EXPECT_TRUE(AfxInitExtensionModule(record, FakeModule(2)));
    EXPECT_EQ(FakeModule(1), record.hModule);

    const long live = afx_standin::LiveAllocations();
    AFX_EXTENSION_MODULE other = {}, uninitialised = {};
    ASSERT_TRUE(AfxInitExtensionModule(other, FakeModule(2)));
    new CDynLinkLibrary(other);
    auto *library = new CDynLinkLibrary(record, TRUE);
    EXPECT_EQ(library, state->m_libraryList.GetHead());
    EXPECT_EQ(FakeModule(1), library->m_hResource);
    EXPECT_EQ(&classes[2], library->m_classList.GetHead());
    EXPECT_EQ(&libraryFactory, library->m_factoryList.GetHead());
    new CDynLinkLibrary(record);
    AfxTermExtensionModule(uninitialised, TRUE);
    EXPECT_EQ(3, afx_standin::LibraryChainLength());
    AfxTermExtensionModule(record);
    EXPECT_EQ(1, afx_standin::LibraryChainLength());
    ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
    AfxTermExtensionModule(record, TRUE);
    EXPECT_EQ(0, afx_standin::LibraryChainLength());
    EXPECT_EQ(live, afx_standin::LiveAllocations());
    EXPECT_FALSE(state->m_classList.IsEmpty());
    EXPECT_TRUE(state->m_classList.Remove(&classes[0]));
    EXPECT_FALSE(state->m_classList.Remove(&classes[0])) << "no longer listed";
    EXPECT_TRUE(state->m_classList.IsEmpty());
}
}  // namespace
