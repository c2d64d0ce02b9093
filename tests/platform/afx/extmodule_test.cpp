#include "afx_test_support.h"

namespace {
// Handles of made-up modules; nothing is loaded behind them.
HMODULE FakeModule(int n) { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x10000 * n)); }

CRuntimeClass MakeClass(const char *name) { return {name, 8, 0xFFFF, RUNTIME_CLASS(CObject), nullptr}; }

// Each test starts from a state holding one host class and one host factory
// and gets the host's lists back afterwards.
class extmodule : public AfxTest {
protected:
    void SetUp() override {
        AfxTest::SetUp();
        saved = *state;
        state->m_classList.m_pHead = nullptr;
        AfxClassInit(&hostClass);
        state->m_factoryList.m_pHead = &hostFactory;
    }
    void TearDown() override {
        AfxTermExtensionModule(record, TRUE);
        state->m_classList = saved.m_classList;
        state->m_factoryList = saved.m_factoryList;
        AfxTest::TearDown();
    }
    // What a library's load does up to its DllMain: the raw entry, then its
    // static registrations.
    void LoadLibraryRegistering(CRuntimeClass *first, CRuntimeClass *second) {
        ExtRawDllMain(FakeModule(1), DLL_PROCESS_ATTACH, nullptr);
        AfxClassInit(first);
        AfxClassInit(second);
        state->m_factoryList.m_pHead = &libraryFactory;
    }

    AFX_MODULE_STATE *state = AfxGetModuleState();
    AFX_MODULE_STATE saved;
    CRuntimeClass hostClass = MakeClass("CHost");
    CRuntimeClass libraryClassA = MakeClass("CLibA");
    CRuntimeClass libraryClassB = MakeClass("CLibB");
    int hostFactory = 0, libraryFactory = 0;
    AFX_EXTENSION_MODULE record = {};
};

TEST_F(extmodule, InitTakesTheLibraryRegistrationsAndRestoresTheHostListsOnce) {
    LoadLibraryRegistering(&libraryClassA, &libraryClassB);
    ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
    EXPECT_TRUE(record.bInitialized);
    EXPECT_EQ(FakeModule(1), record.hModule);
    EXPECT_EQ(FakeModule(1), record.hResource);
    EXPECT_EQ(&libraryClassB, record.pFirstSharedClass);
    EXPECT_EQ(&libraryClassA, libraryClassB.m_pNextClass);
    EXPECT_EQ(&libraryFactory, record.pFirstSharedFactory);
    EXPECT_EQ(&hostClass, state->m_classList.GetHead());
    EXPECT_EQ(&hostFactory, state->m_factoryList.GetHead());
    // Once initialised, the record is not redone.
    EXPECT_TRUE(AfxInitExtensionModule(record, FakeModule(2)));
    EXPECT_EQ(FakeModule(1), record.hModule);
    EXPECT_EQ(&libraryClassB, record.pFirstSharedClass);
}

TEST_F(extmodule, FailedInitReturnsFalseAndChangesNothing) {
    LoadLibraryRegistering(&libraryClassA, &libraryClassB);
    afx_standin::FailNextExtensionInit();
    EXPECT_FALSE(AfxInitExtensionModule(record, FakeModule(1)));
    EXPECT_FALSE(record.bInitialized);
    EXPECT_EQ(nullptr, record.hModule);
    EXPECT_EQ(&libraryClassB, state->m_classList.GetHead());
}

TEST_F(extmodule, LibraryEntryLinksIntoTheChainUntilDeleted) {
    LoadLibraryRegistering(&libraryClassA, &libraryClassB);
    ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
    const int length = afx_standin::LibraryChainLength();
    auto *library = new CDynLinkLibrary(record);
    EXPECT_EQ(length + 1, afx_standin::LibraryChainLength());
    EXPECT_EQ(library, state->m_libraryList.GetHead());
    EXPECT_EQ(FakeModule(1), library->m_hResource);
    EXPECT_EQ(&libraryClassB, library->m_classList.GetHead());
    EXPECT_EQ(&libraryFactory, library->m_factoryList.GetHead());
    delete library;
    EXPECT_EQ(length, afx_standin::LibraryChainLength());
}

TEST_F(extmodule, TermDeletesThisModulesEntriesOrAll) {
    const struct {
        const char *name;
        BOOL bAll;
        int left;
    } cases[] = {{"this module only", FALSE, 1}, {"every module", TRUE, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const long live = afx_standin::LiveAllocations();
        AFX_EXTENSION_MODULE other = {};
        ASSERT_TRUE(AfxInitExtensionModule(record, FakeModule(1)));
        ASSERT_TRUE(AfxInitExtensionModule(other, FakeModule(2)));
        new CDynLinkLibrary(record);
        new CDynLinkLibrary(other);
        new CDynLinkLibrary(record, TRUE);
        AfxTermExtensionModule(record, c.bAll);
        EXPECT_FALSE(record.bInitialized);
        EXPECT_EQ(c.left, afx_standin::LibraryChainLength());
        AfxTermExtensionModule(other);
        EXPECT_EQ(live, afx_standin::LiveAllocations());
    }
}

TEST_F(extmodule, TermOfAnUninitialisedRecordDeletesNothing) {
    AFX_EXTENSION_MODULE other = {};
    ASSERT_TRUE(AfxInitExtensionModule(other, FakeModule(2)));
    new CDynLinkLibrary(other);
    AfxTermExtensionModule(record, TRUE);
    EXPECT_EQ(1, afx_standin::LibraryChainLength());
    AfxTermExtensionModule(other);
}
}  // namespace
