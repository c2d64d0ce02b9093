// Where the framework code meets its test seam (afx_standin.h). Internal to
// the subset.
#pragma once

namespace afx_seam {
bool TakeAllocationFault();
bool TakeExtensionInitFault();
void CountAllocation();
void CountRelease();
} // namespace afx_seam
