// What the Linux build of the framework subset adds for tests, and the
// Windows build does not have: fault injection and allocation accounting.
// Tests that use it are Linux-only.
#pragma once

#if defined(_WIN32)
#error "afx_standin.h is the Linux test seam of the framework subset"
#endif

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
// Entries in the module state's library chain.
AFX_STANDIN_API int LibraryChainLength();

}  // namespace afx_standin
