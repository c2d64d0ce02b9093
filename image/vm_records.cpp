// The store's bookkeeping records. Built into libzircim, whose store uses
// them, and into libdirira, which exports them to the application as the
// original's modules each carry the members defined with the declarations.
#include "image/vm_store.h"

CVmBlock::CVmBlock() : BlockType(0), SlotIndex(-1) {}

CVmBlock::~CVmBlock() {}

// A count whose table does not fit the 32-bit address space of the
// application's process is refused with the framework's memory exception,
// never wrapped into a short table: AfxNewArray tests the count before
// operator new[] runs.
CVmHandle::CVmHandle(int count) : BlockCount(count), Blocks(AfxNewArray<CVmBlock>(count)) {}

CVmHandle::~CVmHandle() { delete[] Blocks; }

void CVmHandle::Set(int block, int type, int slot) {
    Blocks[block].BlockType = type;
    Blocks[block].SlotIndex = slot;
}

int CVmHandle::GetType(int block) const { return Blocks[block].BlockType; }

int CVmHandle::GetSlotIndex(int block) const { return Blocks[block].SlotIndex; }

int CVmHandle::GetBlockCount() const { return BlockCount; }

CVmMemory::CVmMemory() : LockCount(0), Block(-1), Plane(-1), FirstRow(0), Newer(-1), Older(-1), Dirty(0), Loads(0) {}

CVmMemory::~CVmMemory() {}

int CVmManager::GetBlockSize() { return BlockSize; }
