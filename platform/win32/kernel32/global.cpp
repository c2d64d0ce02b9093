// Movable global memory: GlobalAlloc and the calls on its handles.
//
// A fixed block's handle is its address. A movable block's handle is an
// address in a reserved, inaccessible range: it is never the data's address,
// dereferencing it faults, and it stays valid while the data moves. All
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
    BYTE lockCount = 0; // movable blocks only; Windows saturates it at 0xFF
    bool discardable = false;
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

    Block *FindFixed(HGLOBAL handle) {
        auto found = fixed_.find(handle);
        return found == fixed_.end() ? nullptr : &found->second;
    }
    Block *FindMovable(HGLOBAL handle) {
        auto found = movable_.find(handle);
        return found == movable_.end() ? nullptr : &found->second;
    }
    HGLOBAL MovableHandleOf(const void *data) {
        auto found = handleOfData_.find(data);
        return found == handleOfData_.end() ? nullptr : found->second;
    }

    HGLOBAL AddFixed(const Block &block) {
        fixed_.emplace(block.storage.data, block);
        liveBytes_ += block.storage.size;
        return block.storage.data;
    }
    // Null when all of Windows' movable handles are taken.
    HGLOBAL AddMovable(const Block &block) {
        HGLOBAL handle = FreeMovableHandle();
        if (!handle)
            return nullptr;
        movable_.emplace(handle, block);
        if (block.storage.data)
            handleOfData_[block.storage.data] = handle;
        liveBytes_ += block.storage.size;
        return handle;
    }
    Block RemoveFixed(HGLOBAL handle) {
        Block block = fixed_.at(handle);
        fixed_.erase(handle);
        liveBytes_ -= block.storage.size;
        return block;
    }
    Block RemoveMovable(HGLOBAL handle) {
        Block block = movable_.at(handle);
        movable_.erase(handle);
        handleOfData_.erase(block.storage.data);
        liveBytes_ -= block.storage.size;
        return block;
    }
    // Keeps the indexes right while `change` resizes or moves the storage of
    // a movable block. `change` returns whether it succeeded.
    template <typename Change> bool ChangeMovable(HGLOBAL handle, Block *block, Change change) {
        const BlockStorage before = block->storage;
        if (!change(&block->storage))
            return false;
        handleOfData_.erase(before.data);
        if (block->storage.data)
            handleOfData_[block->storage.data] = handle;
        liveBytes_ = liveBytes_ - before.size + block->storage.size;
        return true;
    }

    int LiveBlocks() const { return static_cast<int>(fixed_.size() + movable_.size()); }
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
    std::unordered_map<const void *, Block> fixed_;
    std::unordered_map<const void *, Block> movable_;
    std::unordered_map<const void *, HGLOBAL> handleOfData_;
    SIZE_T liveBytes_ = 0;
};

GlobalTable &Table() {
    static GlobalTable table;
    return table;
}

// ---- GlobalReAlloc's cases ----------------------------------------------

// GMEM_MODIFY changes attributes only: a fixed block asked to become
// movable gets a handle (its data stays where it is); a movable block takes
// the GMEM_DISCARDABLE attribute as given.
HGLOBAL ModifyAttributes(GlobalTable &table, HGLOBAL handle, UINT flags) {
    if (Block *movable = table.FindMovable(handle)) {
        movable->discardable = (flags & GMEM_DISCARDABLE) != 0;
        return handle;
    }
    if (!(flags & GMEM_MOVEABLE))
        return handle;
    Block block = table.RemoveFixed(handle);
    block.discardable = (flags & GMEM_DISCARDABLE) != 0;
    HGLOBAL movable = table.AddMovable(block);
    if (!movable) {
        table.AddFixed(block);
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    }
    return movable;
}

// Size 0 discards the memory of an unlocked movable block; the handle
// lives on with GMEM_DISCARDED. A locked block is refused and, as in Wine,
// the last error is left as it was.
HGLOBAL DiscardMovable(GlobalTable &table, HGLOBAL handle, Block *block) {
    if (block->lockCount > 0)
        return nullptr;
    table.ChangeMovable(handle, block, [](BlockStorage *storage) {
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
    const bool changed = table.ChangeMovable(handle, block, [&](BlockStorage *storage) {
        if (!storage->data)
            return AllocateStorage(bytes, zero, storage);
        if (mayMove && (bytes > storage->size || !storage->mapped))
            return RelocateStorage(storage, bytes, zero);
        return ResizeStorageInPlace(storage, bytes, zero);
    });
    return changed ? handle : Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
}

// A fixed block's address is its handle, so it can only change size by
// moving, which GMEM_MOVEABLE must allow: current Windows refuses any
// other resize of a fixed block, even to the same size.
HGLOBAL ResizeFixed(GlobalTable &table, HGLOBAL handle, SIZE_T bytes, UINT flags) {
    if (!(flags & GMEM_MOVEABLE))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    Block block = table.RemoveFixed(handle);
    // As in GlobalAlloc, a fixed block is never empty.
    if (!RelocateStorage(&block.storage, bytes ? bytes : 1, flags & GMEM_ZEROINIT)) {
        table.AddFixed(block);
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    }
    return table.AddFixed(block);
}

} // namespace

// GlobalAlloc (kernel32.@)
// GMEM_FIXED of 0 bytes gets 1 byte, as on Windows; GMEM_MOVEABLE of 0
// bytes is a handle without memory (GMEM_DISCARDED).
extern "C" HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    NoteGlobalRequest(Call::GlobalAlloc, flags, bytes);
    if (FaultFires(Call::GlobalAlloc))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    const bool movable = flags & GMEM_MOVEABLE;
    Block block;
    block.discardable = movable && (flags & GMEM_DISCARDABLE);
    const SIZE_T size = bytes || movable ? bytes : 1;
    if (size && !AllocateStorage(size, flags & GMEM_ZEROINIT, &block.storage))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    HGLOBAL handle = movable ? table.AddMovable(block) : table.AddFixed(block);
    if (!handle) {
        if (block.storage.data)
            ReleaseStorage(&block.storage);
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    }
    return handle;
}

// GlobalReAlloc (kernel32.@)
extern "C" HGLOBAL WINAPI GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
    NoteGlobalRequest(Call::GlobalReAlloc, flags, bytes);
    if (FaultFires(Call::GlobalReAlloc))
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HGLOBAL{nullptr});
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    Block *movable = table.FindMovable(handle);
    if (!movable && !table.FindFixed(handle))
        return Fail(ERROR_INVALID_HANDLE, HGLOBAL{nullptr});
    if (flags & GMEM_MODIFY)
        return ModifyAttributes(table, handle, flags);
    if (movable)
        return ResizeMovable(table, handle, movable, bytes, flags);
    return ResizeFixed(table, handle, bytes, flags);
}

// GlobalLock (kernel32.@)
extern "C" LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    if (FaultFires(Call::GlobalLock))
        return Fail(ERROR_DISCARDED, LPVOID{nullptr});
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (table.FindFixed(handle))
        return handle;
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
// Quirks kept from Windows: a fixed block answers TRUE, and so does an
// invalid handle (with ERROR_INVALID_HANDLE), unlike LocalUnlock.
extern "C" BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (table.FindFixed(handle))
        return TRUE;
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
    Block *block = table.FindFixed(handle);
    if (!block)
        block = table.FindMovable(handle);
    if (!block)
        return Fail(ERROR_INVALID_HANDLE, SIZE_T{0});
    return block->storage.size;
}

// GlobalFlags (kernel32.@)
extern "C" UINT WINAPI GlobalFlags(HGLOBAL handle) {
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    if (table.FindFixed(handle))
        return 0;
    Block *block = table.FindMovable(handle);
    if (!block)
        return Fail(ERROR_INVALID_HANDLE, UINT{GMEM_INVALID_HANDLE});
    UINT flags = block->lockCount;
    if (block->discardable)
        flags |= GMEM_DISCARDABLE;
    if (!block->storage.data)
        flags |= GMEM_DISCARDED;
    return flags;
}

// GlobalHandle (kernel32.@)
extern "C" HGLOBAL WINAPI GlobalHandle(LPCVOID pointer) {
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    HGLOBAL handle = const_cast<LPVOID>(pointer);
    if (table.FindFixed(handle) || table.FindMovable(handle))
        return handle;
    if (HGLOBAL movable = table.MovableHandleOf(pointer))
        return movable;
    return Fail(ERROR_INVALID_HANDLE, HGLOBAL{nullptr});
}

// GlobalFree (kernel32.@)
// Frees locked blocks too, as Windows does. A freed or unknown handle is
// returned with ERROR_INVALID_HANDLE.
extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    if (!handle)
        return nullptr;
    GlobalTable &table = Table();
    std::lock_guard<std::mutex> hold(table.mutex);
    Block block;
    if (table.FindFixed(handle))
        block = table.RemoveFixed(handle);
    else if (table.FindMovable(handle))
        block = table.RemoveMovable(handle);
    else
        return Fail(ERROR_INVALID_HANDLE, handle);
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
