// The library entry on records of the test's own: registration, its
// failure, and the reasons that must leave the record alone.
#include <gtest/gtest.h>

#include <afx_standin.h>
#include <cstring>

#include "module/entry.h"

namespace {

HINSTANCE fake_instance() { return reinterpret_cast<HINSTANCE>(0x10000); }

class ModuleEntryTest : public testing::Test {
protected:
    void TearDown() override { afx_standin::ClearFaults(); }
    AFX_EXTENSION_MODULE record_ = {};
};

TEST_F(ModuleEntryTest, AttachRegistersAndDetachReleases) {
    const int chainBefore = afx_standin::LibraryChainLength();
    ASSERT_EQ(dirira::module_entry(record_, fake_instance(), DLL_PROCESS_ATTACH), TRUE);
    EXPECT_TRUE(record_.bInitialized);
    EXPECT_EQ(record_.hModule, fake_instance());
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore + 1);

    EXPECT_EQ(dirira::module_entry(record_, fake_instance(), DLL_PROCESS_DETACH), TRUE);
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore);
}

// A failed registration fails the load, and nothing is left behind.
TEST_F(ModuleEntryTest, FailedRegistrationFailsTheLoadAndAllocatesNothing) {
    const int chainBefore = afx_standin::LibraryChainLength();
    const long allocationsBefore = afx_standin::LiveAllocations();
    afx_standin::FailNextExtensionInit();
    EXPECT_EQ(dirira::module_entry(record_, fake_instance(), DLL_PROCESS_ATTACH), FALSE);
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore);
    EXPECT_EQ(afx_standin::LiveAllocations(), allocationsBefore);
}

// Without memory for the chain entry the library still loads.
TEST_F(ModuleEntryTest, ChainEntryWithoutMemoryStillLoads) {
    const int chainBefore = afx_standin::LibraryChainLength();
    afx_standin::FailNthAllocation(1);
    EXPECT_EQ(dirira::module_entry(record_, fake_instance(), DLL_PROCESS_ATTACH), TRUE);
    EXPECT_EQ(afx_standin::LibraryChainLength(), chainBefore);
    dirira::module_entry(record_, fake_instance(), DLL_PROCESS_DETACH);
}

TEST_F(ModuleEntryTest, ThreadAttachAndDetachLeaveTheRecordAlone) {
    std::memset(&record_, 0x5A, sizeof record_);
    AFX_EXTENSION_MODULE before;
    std::memcpy(&before, &record_, sizeof before);
    for (DWORD reason : {DWORD{DLL_THREAD_ATTACH}, DWORD{DLL_THREAD_DETACH}}) {
        SCOPED_TRACE(reason);
        EXPECT_EQ(dirira::module_entry(record_, fake_instance(), reason), TRUE);
        EXPECT_EQ(std::memcmp(&record_, &before, sizeof before), 0);
    }
}

}  // namespace
