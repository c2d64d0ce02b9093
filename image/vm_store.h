// The paged pixel store of an image (CVmImage) and the records that keep
// its bookkeeping: CVmBlock (one block and the memory slot holding it),
// CVmHandle (a fixed table of blocks), CVmMemory (the store's slot record)
// and the block-size accessor of CVmManager.
#pragma once

#include <afx.h>

#include "image/image_api.h"

class DIRIRA_CLASS CVmBlock : public CObject {
public:
    CVmBlock();
    virtual ~CVmBlock();

    int BlockType;   // the store's block types
    int SlotIndex;   // memory slot holding the block; -1 while it has none
};

class DIRIRA_CLASS CVmHandle : public CObject {
public:
    // A table of `count` blocks, each with type 0 and no slot. Throws the
    // framework's memory exception when the table cannot be allocated (a
    // negative count included), leaving nothing allocated.
    explicit CVmHandle(int count);
    virtual ~CVmHandle();

    void Set(int block, int type, int slot);
    int GetType(int block) const;
    int GetSlotIndex(int block) const;
    int GetBlockCount() const;

    int BlockCount;
    CVmBlock *Blocks;
};

class DIRIRA_CLASS CVmMemory : public CObject {
public:
    CVmMemory();
    virtual ~CVmMemory();
    // Eight 32-bit fields start as 0, -1, -1, 0, -1, -1, 0, 0; the store
    // gives them their meaning (see the store's implementation).
};

class DIRIRA_CLASS CVmManager {
public:
    int GetBlockSize();

    int BlockSize;
};
