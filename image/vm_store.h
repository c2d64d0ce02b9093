// The paged pixel store of an image (CVmImage) and the records that keep
// its bookkeeping: CVmBlock (one block and the memory slot holding it),
// CVmHandle (a fixed table of blocks), CVmMemory (the store's slot record)
// and the block-size accessor of CVmManager.
#pragma once

#include <afx.h>

#include <cstdint>

#include "image/image_api.h"

namespace float_samples {
struct StoreRows;
}
namespace zircim {
struct StoreRegion;
}

class DIRIRA_CLASS CVmBlock : public CObject {
public:
    CVmBlock();
    virtual ~CVmBlock();

    int BlockType; // the store's block types
    int SlotIndex; // memory slot holding the block; -1 while it has none
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

// One memory slot of a store: a region of one block's capacity that holds
// at most one block at a time. Slots are kept in least-recently-used order
// through the Newer/Older links (slot indices, -1 at either end).
class DIRIRA_CLASS CVmMemory : public CObject {
public:
    CVmMemory();
    virtual ~CVmMemory();

    int LockCount; // outstanding lock tokens; a locked slot is never evicted
    int Block;     // block held (index into the store's block table), -1: none
    int Plane;     // plane of that block, -1: none
    int FirstRow;  // first image row of that block
    int Newer;     // next more recently used slot, -1: this is the newest
    int Older;     // next less recently used slot, -1: this is the oldest
    int Dirty;     // written since it was last read from or written to swap
    int Loads;     // blocks read back into this slot from the swap file

    // The slot's memory, mapped on first use and kept until the store dies.
    unsigned char *Base = nullptr;
};

class DIRIRA_CLASS CVmManager {
public:
    int GetBlockSize();

    int BlockSize;
};

// The pixel store: `planes` planes of `height` rows of `width` samples of
// `bytesPerSample` bytes. The samples of one row of one plane are contiguous
// (the next column is sampleBytes further on); rows are grouped into blocks
// of whole rows of one plane. Blocks live in memory slots and, beyond the
// memory budget, in an anonymous swap file. Row y = 0 is the top row of the
// picture. A store is used by one thread at a time, but for a store in one
// region, whose disjoint rows the DIB decoder and GetDib look up from two.
class DIRIRA_CLASS CVmImage : public CObject {
public:
    // Block types of the block table.
    enum : int {
        kBlockZero = 0,    // never written out: comes back as zeros
        kBlockSwapped = 1, // the swap file holds its contents
    };
    // GetImageAdr's second flag.
    enum : int {
        kReadBack = 0,   // bring the block in with its contents
        kFreshBlock = 2, // the caller overwrites the whole block: if it has
                         // to be brought in, skip reading it back (it comes
                         // back as zeros)
    };

    // An empty store: no planes, every lookup answers NULL.
    CVmImage();
    // A deep copy of `src`, reporting progress through `progressWnd` (may be
    // NULL). Throws CMemoryException* when the copy cannot be made. The
    // one-argument form, without progress, is libdirira's.
    CVmImage(CVmImage &src);
    CVmImage(CVmImage &src, HWND progressWnd, const char *caption = NULL);
    virtual ~CVmImage();

    // Makes the store width x height x planes samples of bytesPerSample
    // (1, 2, 4 or 8) bytes, all zero. Returns non-zero on success; on failure
    // (sizes, memory) the store is unchanged.
    int Create(int width, int height, int planes, int bytesPerSample);

    // The address of sample (x, y) of `plane`, NULL outside the store or when
    // the block cannot be brought in. readOnly is 1 for reads, 0 for writes;
    // secondFlag is kReadBack or kFreshBlock. With lockOut NULL, the
    // addresses of the last three such lookups stay valid; with lockOut, the
    // block stays in memory until the token stored there is unlocked.
    unsigned char *GetImageAdr(int x, int y, int plane, int readOnly, int secondFlag, void **lockOut) const;
    // Releases one lock token; returns the locks left on its block, or -1
    // when the token is not an outstanding lock of this store.
    int Unlock(void *token);
    void UnlockAll();

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetPlanes() const { return m_planes; }
    int GetBytesPerSample() const { return m_sampleBytes; }
    int GetBlockRows() const { return m_blockRows; }
    int GetBlockSize();
    // Bytes of slot memory this store has mapped.
    SIZE_T GetResidentBytes() const { return m_mappedBytes; }

    // Slot memory a store may map before it pages least-recently-used
    // unlocked blocks out to its swap file; applies to each store and to
    // blocks brought in from then on. 0 (the default): unlimited.
    static void SetMemoryBudget(SIZE_T bytes);
    static SIZE_T GetMemoryBudget();
    // Slot memory mapped by all stores of the process.
    static SIZE_T GetMappedBytesTotal();

private:
    // The float image's pixel members take the inline path on its own, and
    // their whole slow path elsewhere (image/float_samples.h).
    friend struct float_samples::StoreRows;
    // Whether two threads may look up rows at once (siblings/zircim/row_halves.h).
    friend struct zircim::StoreRegion;
    // GetImageAdr's inline path alone: the address when a lookup without
    // lock needs no more than the row tables, else NULL with nothing done.
    unsigned char *resident(int x, int y, int plane, int readOnly) const;
    // The same for a store in one region of four-byte samples only: NULL
    // for any other store. The float image's hottest members read through
    // this, so that their inline path holds no row table and no multiply
    // by the sample size; every other lookup goes out of line whole.
    const float *float_in_region(int x, int y, int plane) const;
    std::uint32_t float_width() const { return m_floatWidth; }
    bool inside(int x, int y, int plane) const {
        return static_cast<unsigned>(x) < static_cast<unsigned>(m_width) &&
               static_cast<unsigned>(y) < static_cast<unsigned>(m_height) &&
               static_cast<unsigned>(plane) < static_cast<unsigned>(m_planes);
    }
    unsigned char *region_row(int y, int plane) const {
        return m_region + static_cast<SIZE_T>(static_cast<unsigned>(plane)) * m_planeStride +
               static_cast<SIZE_T>(static_cast<unsigned>(y)) * m_rowBytes;
    }

    void swap(CVmImage &other) noexcept;
    int build(int width, int height, int planes, int bytesPerSample);
    void release() noexcept;
    void copy_blocks_from(const CVmImage &src, HWND progressWnd, const char *caption);
    unsigned char *lookup(int x, int y, int plane, int readOnly, int secondFlag, void **lockOut);
    int bring_in(int block, bool readBack, int pinnedRecent);
    int find_slot(int pinnedRecent, bool &zeroed);
    int evict_one(int pinnedRecent);
    bool write_out(CVmMemory &slot);
    bool map_next_slot();
    enum class RegionMapping { kMapped, kOverBudget, kRefused };
    RegionMapping map_every_slot(SIZE_T budget);
    void note_float_region();
    void map_row_tables();
    unsigned char *region_block(int block) const;
    int hold_in_region(int block);
    const unsigned char *block_memory(int block) const;
    void assign(int index, int block, int type);
    bool is_pinned(int slot, int pinnedRecent) const;
    void touch(int slot);
    void unlink_slot(int slot);
    void publish(const CVmMemory &slot);
    void withdraw(const CVmMemory &slot);
    void start_recording();
    void remember(const unsigned char *address) const { m_last[m_lastCount++ & kLastMask] = address; }
    int block_rows(int block) const;
    SIZE_T block_bytes(int block) const;
    long long swap_offset(int block) const;

    // Geometry.
    int m_width = 0;
    int m_height = 0;
    int m_planes = 0;
    int m_sampleBytes = 0;
    SIZE_T m_sampleBytesWide = 0; // the same, ready for address arithmetic
    int m_blockRows = 0;          // rows per block
    int m_blocksPerPlane = 0;
    SIZE_T m_rowBytes = 0;
    bool m_hugeBlocks = false; // slots are 2 MiB-aligned, huge-page advised
    // A store made within its budget holds every block in one region, for
    // good: plane p's row y is at m_region + p x m_planeStride + y x m_rowBytes.
    // NULL for a store that maps slot by slot.
    unsigned char *m_region = nullptr;
    SIZE_T m_planeStride = 0;
    // A store of four-byte samples in one region keeps, for the float
    // image's inline path, its extent and the addresses of its first planes
    // (rows of m_floatWidth samples, unpadded); any other store keeps 0 and
    // NULLs, which every position fails. At random positions each load of
    // that path costs as much as the arithmetic around it (the loads wait
    // behind the sample's cache miss): three loads here tell the kind of
    // store, both bounds and the plane's place, where seven did. Planes past
    // the first few (cubes) take the path out of line.
    static constexpr unsigned kInlinePlanes = 4;
    std::uint32_t m_floatWidth = 0, m_floatHeight = 0;
    const float *m_floatPlanes[kInlinePlanes] = {};
    CVmManager m_manager{0}; // BlockSize: bytes of one slot

    // Bookkeeping.
    CVmHandle *m_table = nullptr; // one record per block, plane-major
    CVmMemory *m_slots = nullptr; // as many records as blocks
    int m_mappedSlots = 0;        // records [0, m_mappedSlots) have memory
    int m_assignedSlots = 0;      // records [0, m_assignedSlots) have held a block
    int m_newest = -1;            // LRU list ends
    int m_oldest = -1;
    SIZE_T m_mappedBytes = 0;
    int m_swapFile = -1;

    // Per plane and row, the row's address while its block is in memory
    // (m_readRows), and while it is in memory and already dirty
    // (m_writeRows); NULL otherwise. Lookups without lock read them inline,
    // in any block, with no recency to update: the store keeps them current
    // as blocks come and go. One array of 2 x planes x height entries, in
    // a store that maps slot by slot only.
    unsigned char **m_readRows = nullptr;
    unsigned char **m_writeRows = nullptr;
    // The addresses of the last lookups without lock, newest at
    // m_lastCount - 1: the slots holding the last three stay in memory
    // (is_pinned), as a caller may still be using them. Kept only while
    // m_recording: a store that has never had to evict (no budget) pays
    // one load of the flag per lookup, and no store chained from lookup to
    // lookup through the counter. find_slot starts the recording before
    // its first eviction (vm_image.cpp).
    static constexpr unsigned kLastMask = 3;
    mutable const unsigned char *m_last[kLastMask + 1] = {};
    mutable unsigned m_lastCount = 0;
    bool m_recording = false;
};

inline unsigned char *CVmImage::resident(int x, int y, int plane, int readOnly) const {
    // A caller's constant readOnly folds away: what remains is three bounds
    // tests and the address arithmetic of a store in one region, or one
    // table load and one multiply-add.
    if (inside(x, y, plane)) {
        if (m_region != nullptr) // no table to consult: the layout is fixed
            return region_row(y, plane) + static_cast<SIZE_T>(static_cast<unsigned>(x)) * m_sampleBytesWide;
        unsigned char *const row =
            (readOnly
                 ? m_readRows
                 : m_writeRows)[static_cast<SIZE_T>(static_cast<unsigned>(plane)) * static_cast<unsigned>(m_height) +
                                static_cast<unsigned>(y)];
        if (row != nullptr) {
            unsigned char *const address = row + static_cast<SIZE_T>(static_cast<unsigned>(x)) * m_sampleBytesWide;
            if (m_recording)
                remember(address);
            return address;
        }
    }
    return nullptr;
}

inline const float *CVmImage::float_in_region(int x, int y, int plane) const {
    if (static_cast<unsigned>(x) >= m_floatWidth || static_cast<unsigned>(y) >= m_floatHeight ||
        static_cast<unsigned>(plane) >= kInlinePlanes)
        return nullptr;
    const float *const first = m_floatPlanes[plane];
    if (first == nullptr) // a plane the store lacks
        return nullptr;
    return first + (static_cast<SIZE_T>(static_cast<unsigned>(y)) * m_floatWidth + static_cast<unsigned>(x));
}

inline unsigned char *CVmImage::GetImageAdr(int x, int y, int plane, int readOnly, int secondFlag,
                                            void **lockOut) const {
    if (lockOut == nullptr) {
        if (unsigned char *const address = resident(x, y, plane, readOnly))
            return address;
    }
    // The store's state (residency, recency) changes on a lookup; the
    // samples it describes do not. Stores are only ever made non-const.
    return const_cast<CVmImage *>(this)->lookup(x, y, plane, readOnly, secondFlag, lockOut);
}
