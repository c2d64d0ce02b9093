// The memory behind a global block. Not Windows' layout: Windows carves
// blocks from the process heap; here small blocks come from malloc and big
// ones from their own 2 MiB-aligned, huge-page-advised mappings, because
// images of hundreds of megabytes live in these blocks and first-touch
// page faults dominate their cost otherwise.
#pragma once

#include <windows.h>

namespace win32_standin::internal {

// Blocks from this size on get their own mapping.
constexpr SIZE_T kMappedBlockThreshold = SIZE_T{2} << 20;

struct BlockStorage {
    void *data = nullptr; // null: no memory (a discarded movable block)
    SIZE_T size = 0;      // what GlobalSize reports
    SIZE_T capacity = 0;  // bytes usable at data
    bool mapped = false;
};

// New storage of `size` (> 0) bytes, all zero when `zero` is set. False
// when the size cannot be had; `out` is then untouched.
bool AllocateStorage(SIZE_T size, bool zero, BlockStorage *out);
void ReleaseStorage(BlockStorage *storage);
// Resizes without moving the data; with `zero` the bytes that grow are
// zeroed. False (storage unchanged) when it cannot grow where it is.
bool ResizeStorageInPlace(BlockStorage *storage, SIZE_T size, bool zero);
// Resizes to a new address, so pointers to the old one turn stale (and
// fault); the contents move along. False (storage unchanged) when short of
// memory.
bool RelocateStorage(BlockStorage *storage, SIZE_T size, bool zero);

} // namespace win32_standin::internal
