// afx_standin.h: fault injection and allocation accounting for the tests.
#include "afx_standin.h"

#include "afxwin.h"
#include "seams.h"

#include <atomic>

namespace {
std::atomic<int> g_allocationsUntilFault{0}; // 0: no fault armed
std::atomic<bool> g_failExtensionInit{false};
std::atomic<long> g_liveAllocations{0};
std::atomic<long> g_allocationAttempts{0};
} // namespace

namespace afx_seam {
bool TakeAllocationFault() {
    ++g_allocationAttempts;
    int remaining = g_allocationsUntilFault.load();
    while (remaining > 0 && !g_allocationsUntilFault.compare_exchange_weak(remaining, remaining - 1)) {
    }
    return remaining == 1;
}
bool TakeExtensionInitFault() { return g_failExtensionInit.exchange(false); }
void CountAllocation() { ++g_liveAllocations; }
void CountRelease() { --g_liveAllocations; }
} // namespace afx_seam

namespace afx_standin {
void FailNextExtensionInit() { g_failExtensionInit = true; }
void FailNthAllocation(int n) { g_allocationsUntilFault = n; }
void ClearFaults() {
    g_allocationsUntilFault = 0;
    g_failExtensionInit = false;
}

long LiveAllocations() { return g_liveAllocations.load(); }
void ResetAllocationAttempts() { g_allocationAttempts = 0; }
long AllocationAttempts() { return g_allocationAttempts.load(); }
int LibraryChainLength() {
    const auto &chain = AfxGetModuleState()->m_libraryList;
    int length = 0;
    for (const CDynLinkLibrary *library = chain.GetHead(); library != nullptr; library = chain.GetNext(library))
        ++length;
    return length;
}
} // namespace afx_standin
