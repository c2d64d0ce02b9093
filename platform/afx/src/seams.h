// Where the framework code meets the Linux test seam (afx_standin.h).
// Internal to the subset. The Windows build has no seam: there each hook
// reports "no fault" and counts nothing.
#pragma once

namespace afx_seam {
#if defined(_WIN32)
inline bool TakeAllocationFault() { return false; }
inline bool TakeExtensionInitFault() { return false; }
inline void CountAllocation() {}
inline void CountRelease() {}
#else
bool TakeAllocationFault();
bool TakeExtensionInitFault();
void CountAllocation();
void CountRelease();
#endif
}  // namespace afx_seam
