// Test seams of the pixel store, in the manner of the Win32 stand-in's: the
// store's full lookups made visible (the inline path answers without them,
// so a test sees which lookups it missed and what flags reached the store),
// and, on Linux, fault injection and accounting for the slot memory and the
// swap file.
#pragma once

#include <vector>

#include "siblings/zircim/image_hooks.h" // ZIRCIM_API

namespace zircim {

// One call of a store's full lookup: what the caller asked for.
struct FullLookup {
    int x, y, plane, readOnly, secondFlag;
};

// From now on every store appends each full lookup to *log; NULL stops.
ZIRCIM_API void WatchFullLookups(std::vector<FullLookup> *log);

#ifndef _WIN32
// The n-th next mapping of slot memory fails as the system refuses one
// (n = 1: the very next); 0 cancels.
ZIRCIM_API void FailNthSlotMapping(int n);
// Regions of slot memory mapped and not yet unmapped, by all stores.
ZIRCIM_API long LiveSlotMappings();
// The n-th next transfer to or from a swap file (a block written out or read
// back) fails as a full or failing disk does (n = 1: the very next); 0
// cancels.
ZIRCIM_API void FailNthSwapTransfer(int n);
// Slot mappings and swap-file transfers tried since ResetStoreCallCounts(),
// failed ones included: how many faults a path can meet.
ZIRCIM_API void ResetStoreCallCounts();
ZIRCIM_API long SlotMappingCalls();
ZIRCIM_API long SwapTransferCalls();
#endif

} // namespace zircim
