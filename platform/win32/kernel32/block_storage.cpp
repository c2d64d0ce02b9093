// Storage for global blocks: malloc for small blocks, aligned huge-page
// mappings for big ones (see block_storage.h for why).
#include "kernel32/block_storage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace win32_standin::internal {
namespace {

constexpr SIZE_T kHugePage = SIZE_T{2} << 20;

bool RoundUpToHugePage(SIZE_T size, SIZE_T *rounded) {
    SIZE_T padded;
    if (__builtin_add_overflow(size, kHugePage - 1, &padded))
        return false;
    *rounded = padded & ~(kHugePage - 1);
    return true;
}

// A fresh zero-filled mapping of `length` (a huge-page multiple) bytes that
// starts on a huge-page boundary, so the kernel can back all of it with
// huge pages. Over-maps by one huge page and trims both ends.
void *MapAligned(SIZE_T length) {
    SIZE_T reserve;
    if (__builtin_add_overflow(length, kHugePage, &reserve))
        return nullptr;
    void *raw = mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto rawStart = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (rawStart + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    const std::uintptr_t end = start + length;
    if (start > rawStart)
        munmap(raw, start - rawStart);
    if (rawStart + reserve > end)
        munmap(reinterpret_cast<void *>(end), rawStart + reserve - end);
    // Advice only: without transparent huge pages the mapping still works.
    madvise(reinterpret_cast<void *>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void *>(start);
}

bool AllocateMapped(SIZE_T size, BlockStorage *out) {
    SIZE_T length;
    if (!RoundUpToHugePage(size, &length))
        return false;
    void *data = MapAligned(length);
    if (!data)
        return false;
    // A fresh anonymous mapping reads as zeros: GMEM_ZEROINIT costs nothing.
    *out = BlockStorage{data, size, length, true};
    return true;
}

bool AllocateHeap(SIZE_T size, bool zero, BlockStorage *out) {
    void *data = zero ? std::calloc(1, size) : std::malloc(size);
    if (!data)
        return false;
    *out = BlockStorage{data, size, size, false};
    return true;
}

void ZeroGrowth(BlockStorage *storage, SIZE_T size, SIZE_T freshFrom) {
    // Bytes past `freshFrom` came straight from the kernel and are zero.
    if (size > storage->size && freshFrom > storage->size)
        std::memset(static_cast<char *>(storage->data) + storage->size, 0,
                    (size < freshFrom ? size : freshFrom) - storage->size);
}

// Moves the pages of a mapped block to a bigger aligned mapping with
// mremap: no byte is copied, whatever the size.
bool MoveMappedPages(BlockStorage *storage, SIZE_T size, bool zero) {
    SIZE_T length;
    if (!RoundUpToHugePage(size, &length))
        return false;
    void *target = MapAligned(length);
    if (!target)
        return false;
    void *moved = mremap(storage->data, storage->capacity, storage->capacity, MREMAP_MAYMOVE | MREMAP_FIXED, target);
    if (moved == MAP_FAILED) {
        munmap(target, length);
        return false;
    }
    const SIZE_T oldCapacity = storage->capacity;
    storage->data = moved;
    if (zero)
        ZeroGrowth(storage, size, oldCapacity);
    storage->size = size;
    storage->capacity = length;
    return true;
}

bool CopyToFresh(BlockStorage *storage, SIZE_T size, bool zero) {
    BlockStorage fresh;
    if (!AllocateStorage(size, zero && size > storage->size, &fresh))
        return false;
    std::memcpy(fresh.data, storage->data, size < storage->size ? size : storage->size);
    ReleaseStorage(storage);
    *storage = fresh;
    return true;
}

} // namespace

bool AllocateStorage(SIZE_T size, bool zero, BlockStorage *out) {
    return size >= kMappedBlockThreshold ? AllocateMapped(size, out) : AllocateHeap(size, zero, out);
}

void ReleaseStorage(BlockStorage *storage) {
    if (storage->mapped)
        munmap(storage->data, storage->capacity);
    else
        std::free(storage->data);
    *storage = BlockStorage{};
}

bool ResizeStorageInPlace(BlockStorage *storage, SIZE_T size, bool zero) {
    if (!storage->mapped) {
        if (size > storage->capacity)
            return false;
        if (zero)
            ZeroGrowth(storage, size, size);
        storage->size = size;
        return true;
    }
    SIZE_T length;
    if (!RoundUpToHugePage(size, &length))
        return false;
    // Shrinking gives the tail pages back; growing succeeds only when the
    // address range after the mapping happens to be free.
    if (length != storage->capacity && mremap(storage->data, storage->capacity, length, 0) == MAP_FAILED)
        return false;
    const SIZE_T oldCapacity = storage->capacity;
    if (zero)
        ZeroGrowth(storage, size, oldCapacity);
    storage->size = size;
    storage->capacity = length;
    return true;
}

bool RelocateStorage(BlockStorage *storage, SIZE_T size, bool zero) {
    if (storage->mapped && size > storage->capacity)
        return MoveMappedPages(storage, size, zero);
    return CopyToFresh(storage, size, zero);
}

} // namespace win32_standin::internal
