// What the framework subset adds for tests, and MFC does not have: fault
// injection and allocation accounting. The subset is this project's own on
// every platform (mingw has no MFC), so its seam is there on Windows too.
#pragma once

#include "afx.h"

namespace afx_standin {

// The next AfxInitExtensionModule returns FALSE and changes nothing.
AFX_STANDIN_API void FailNextExtensionInit();
// The n-th next framework allocation (CObject's operator new, CString,
// CArray; n = 1: the very next one) throws the memory exception.
AFX_STANDIN_API void FailNthAllocation(int n);
// Cancels whatever has not fired yet.
AFX_STANDIN_API void ClearFaults();

// Framework blocks allocated and not yet freed.
AFX_STANDIN_API long LiveAllocations();
// Framework allocations tried since ResetAllocationAttempts(), failed ones
// included: how many faults a path can meet.
AFX_STANDIN_API void ResetAllocationAttempts();
AFX_STANDIN_API long AllocationAttempts();
// Entries in the module state's library chain.
AFX_STANDIN_API int LibraryChainLength();

} // namespace afx_standin
