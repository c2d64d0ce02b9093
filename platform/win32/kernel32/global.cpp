// Movable global memory: GlobalAlloc and the calls on its handles.
//
// Blocks are movable only: every caller asks for GMEM_MOVEABLE, and a
// request for a fixed block is refused rather than half-modelled. A handle
// is an address in a reserved, inaccessible range: it is never the data's
// address, dereferencing it faults, and it stays valid while the data
// moves. All
// bookkeeping lives in the tables below (not Windows' layout: Windows keeps
// a header beside each block), so a freed or made-up handle is recognised
// instead of being read as a header.
#include "kernel32/block_storage.h"
#include "standin/internal.h"

#include <mutex>
#include <sys/mman.h>
#include <unordered_map>

namespace {

using win32_standin::Call;
using win32_standin::internal::AllocateStorage;
using win32_standin::internal::BlockStorage;
using win32_standin::internal::FaultFires;
using win32_standin::internal::NoteGlobalRequest;
using win32_standin::internal::ReleaseStorage;
using win32_standin::internal::RelocateStorage;
using win32_standin::internal::ResizeStorageInPlace;

// Windows' handle table for movable blocks holds 0x10000 entries; one more
// GlobalAlloc(GMEM_MOVEABLE) fails with ERROR_NOT_ENOUGH_MEMORY.
constexpr std::uintptr_t kMovableHandleLimit = 0x10000;
// Each handle owns 16 bytes of the reserved range and points 8 bytes into
// them, the alignment Windows' movable handles have.
constexpr std::uintptr_t kHandleStride = 16;
constexpr std::uintptr_t kHandleOffset = 8;
constexpr BYTE kMaxLockCount = 0xFF;

struct Block {
    BlockStorage storage;
    BYTE lockCount = 0; // Windows saturates it at 0xFF
};

template <typename Result> Result Fail(DWORD error, Result result) {
    SetLastError(error);
    return result;
}

class GlobalTable {
public:
    GlobalTable() {
        void *range = mmap(nullptr, kMovableHandleLimit * kHandleStride, PROT_NONE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        handleBase_ = range == MAP_FAILED ? 0 : reinterpret_cast<std::uintptr_t>(range);
    }

    std::mutex mutex;

    Block *FindMovable(HGLOBAL handle) {
        auto found = movable_.find(handle);
        return found == movable_.end() ? nullptr : &found->second;
    }
    // Null when all of Windows' movable handles are taken.
    HGLOBAL AddMovable(const Block &block) {
        HGLOBAL handle = FreeMovableHandle();
        if (!handle)
            return nullptr;
        movable_.emplace(handle, block);
        liveBytes_ += block.storage.size;
        return handle;
    }
    Block RemoveMovable(HGLOBAL handle) {
        Block block = movable_.at(handle);
        movable_.erase(handle);
        liveBytes_ -= block.storage.size;
        return block;
    }
    // Keeps the byte count right while `change` resizes or moves the storage
    // of a block. `change` returns whether it succeeded.
    template <typename Change> bool ChangeMovable(Block *block, Change change) {
        const BlockStorage before = block->storage;
        if (!change(&block->storage))
            return false;
        liveBytes_ = liveBytes_ - before.size + block->storage.size;
        return true;
    }

    int LiveBlocks() const { return static_cast<int>(movable_.size()); }
    int LockedBlocks() const {
        int locked = 0;
        for (const auto &entry : movable_)
            locked += entry.second.lockCount > 0;
        return locked;
    }
    SIZE_T LiveBytes() const { return liveBytes_; }

private:
    // Hands out handle slots round-robin, so a freed handle is not handed
    // out again until the other 0xFFFF have been, and a stale handle stays
    // recognisably invalid for as long as possible.
    HGLOBAL FreeMovableHandle() {
        if (!handleBase_ || movable_.size() >= kMovableHandleLimit)
            return nullptr;
        for (;;) {
            auto handle = reinterpret_cast<HGLOBAL>(handleBase_ + nextSlot_ * kHandleStride + kHandleOffset);
            nextSlot_ = (nextSlot_ + 1) % kMovableHandleLimit;
            if (!movable_.count(handle))
                return handle;
        }
    }

    std::uintptr_t handleBase_ = 0;
    std::uintptr_t nextSlot_ = 0;
    std::unordered_map<const void *, Block> movable_;
    SIZE_T liveBytes_ = 0;
};

GlobalTable &Table() {
    static GlobalTable table;
    return table;
}

// ---- GlobalReAlloc's cases ----------------------------------------------

// Size 0 discards the memory of an unlocked movable block; the handle
// lives on with GMEM_DISCARDED. A locked block is refused and, as in Wine,
// the last error is left as it was.
HGLOBAL DiscardMovable(GlobalTable &table, HGLOBAL handle, Block *block) {
    if (block->lockCount > 0)
        return nullptr;
    table.ChangeMovable(block, [](BlockStorage *storage) {
        if (storage->data)
            ReleaseStorage(storage);
        return true;
    });
    return handle;
}

// A movable block moves when it grows while unlocked, and even while
// locked when GMEM_MOVEABLE allows it; otherwise it must fit where it is.
HGLOBAL ResizeMovable(GlobalTable &table, HGLOBAL handle, Block *block, SIZE_T bytes, UINT flags) {
    if (bytes == 0)
        return DiscardMovable(table, handle, block);
    const bool zero = flags & GMEM_ZEROINIT;
    const bool mayMove = block->lockCount == 0 || (flags & GMEM_MOVEABLE);
    const bool changed = table.ChangeMovable(block, [&](BlockStorage *storage) {
        if (!storage->data)
            return AllocateStorage(bytes, zero, storage);
        if (mayMove && (bytes > storage->size || !storage->mapped))
            return RelocateStorage(storage, bytes, zero);
        return ResizeStorageInPlace(storage, bytes, zero);
    });
    return changed ? handle : Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
}

} // namespace

// GlobalAlloc (kernel32.@)
// 0 bytes is a handle without memory, as discarded. A fixed block is
// refused with ERROR_NOT_SUPPORTED.
extern "C" HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    NoteGlobalRequest(Call::GlobalAlloc, flags, bytes);
    if (FaultFires(Call::GlobalAlloc))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    if (!(flags & GMEM_MOVEABLE))
        return Fail(ERROR_NOT_SUPPORTED, HGLOBAL{nullptr});
    Block block;
    if (bytes && !AllocateStorage(bytes, flags & GMEM_ZEROINIT, &block.storage))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    HGLOBAL handle = table.AddMovable(block);
    if (!handle) {
        if (block.storage.data)
            ReleaseStorage(&block.storage);
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    }
    return handle;
}

// GlobalReAlloc (kernel32.@)
// GMEM_MODIFY (attributes only) is refused with ERROR_NOT_SUPPORTED.
extern "C" HGLOBAL WINAPI GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
    NoteGlobalRequest(Call::GlobalReAlloc, flags, bytes);
    if (FaultFires(Call::GlobalReAlloc))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    Block *block = table.FindMovable(handle);
    if (!block)
        return Fail(ERROR_INVALID_HANDLE, HGLOBAL{nullptr});
    if (flags & GMEM_MODIFY)
        return Fail(ERROR_NOT_SUPPORTED, HGLOBAL{nullptr});
    return ResizeMovable(table, handle, block, bytes, flags);
}

// GlobalLock (kernel32.@)
extern "C" LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    if (FaultFires(Call::GlobalLock))
        return Fail(ERROR_DISCARDED, LPVOID{nullptr});
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    Block *block = table.FindMovable(handle);
    if (!block)
        return Fail(ERROR_INVALID_HANDLE, LPVOID{nullptr});
    if (!block->storage.data)
        return Fail(ERROR_DISCARDED, LPVOID{nullptr});
    if (block->lockCount < kMaxLockCount)
        ++block->lockCount;
    return block->storage.data;
}

// GlobalUnlock (kernel32.@)
// A quirk kept from Windows: an invalid handle answers TRUE (with
// ERROR_INVALID_HANDLE), unlike LocalUnlock.
extern "C" BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    Block *block = table.FindMovable(handle);
    if (!block)
        return Fail(ERROR_INVALID_HANDLE, TRUE);
    if (block->lockCount == 0)
        return Fail(ERROR_NOT_LOCKED, FALSE);
    if (--block->lockCount > 0)
        return TRUE;
    return Fail(NO_ERROR, FALSE);
}

// GlobalSize (kernel32.@)
extern "C" SIZE_T WINAPI GlobalSize(HGLOBAL handle) {
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    Block *block = table.FindMovable(handle);
    if (!block)
        return Fail(ERROR_INVALID_HANDLE, SIZE_T{0});
    return block->storage.size;
}

// GlobalFree (kernel32.@)
// Frees locked blocks too, as Windows does. A freed or unknown handle is
// returned with ERROR_INVALID_HANDLE.
extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    if (!handle)
        return nullptr;
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (!table.FindMovable(handle))
        return Fail(ERROR_INVALID_HANDLE, handle);
    Block block = table.RemoveMovable(handle);
    if (block.storage.data)
        ReleaseStorage(&block.storage);
    return nullptr;
}

// LiveGlobalBlocks (stand-in)
int win32_standin::LiveGlobalBlocks() {
    std::lock_guard<std::mutex> hold(Table().mutex);
    return Table().LiveBlocks();
}

// LockedGlobalBlocks (stand-in)
int win32_standin::LockedGlobalBlocks() {
    std::lock_guard<std::mutex> hold(Table().mutex);
    return Table().LockedBlocks();
}

// LiveGlobalBytes (stand-in)
SIZE_T win32_standin::LiveGlobalBytes() {
    std::lock_guard<std::mutex> hold(Table().mutex);
    return Table().LiveBytes();
}
