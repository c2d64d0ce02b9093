// CVmImage: the paged pixel store.
#include "image/vm_store.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "siblings/zircim/progress.h"
#include "siblings/zircim/vm_paging.h"
#include "siblings/zircim/vm_seams.h"

namespace {

using std::uint64_t;

// The mark of a lookup made before the store recorded them (start_recording).
const unsigned char kEverySlot = 0;

// In a store of one region, each plane starts on a cache line this far
// past the end of the one before.
constexpr uint64_t kCacheLineBytes = 64;
constexpr uint64_t kPlaneStagger = 4096 + 64;

// With a budget the swap file takes what memory cannot; this bounds it.
constexpr uint64_t kLargestPagedImage = uint64_t{1} << 40;

std::atomic<SIZE_T> g_budget{0};
std::atomic<SIZE_T> g_mappedTotal{0};

std::vector<zircim::FullLookup> *g_lookupLog = nullptr; // a test's, single-threaded

bool multiply(uint64_t a, uint64_t b, uint64_t &product) { return !__builtin_mul_overflow(a, b, &product); }

uint64_t round_up(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

struct Geometry {
    uint64_t rowBytes;
    uint64_t slotBytes;
    int blockRows;
    int blocksPerPlane;
    int blockCount;
    bool huge;
};

// Whole huge pages for a region that spans them where the budget allows:
// the small pages of a tail past the last whole one cost more to set up
// than the huge pages before it (a 640 x 480 colour frame: 3.7 MB).
uint64_t region_unit(uint64_t bytes, bool hugeBlocks, SIZE_T budget) {
    const uint64_t hugePages = round_up(bytes, zircim::kHugePageBytes);
    const bool huge = hugeBlocks || (bytes > zircim::kHugePageBytes && (budget == 0 || hugePages <= budget));
    return huge ? zircim::kHugePageBytes : zircim::page_bytes();
}

bool valid_sample_bytes(int bytes) { return bytes == 1 || bytes == 2 || bytes == 4 || bytes == 8; }

// A plane of at most one huge page is a single small block. Bigger planes
// are cut into blocks of whole rows, each in a slot of whole huge pages
// filled with as many rows as fit.
bool plan_blocks(int width, int height, int planes, int sampleBytes, Geometry &g) {
    if (width <= 0 || height <= 0 || planes <= 0 || !valid_sample_bytes(sampleBytes))
        return false;
    uint64_t pixels = 0, planeBytes = 0, totalBytes = 0;
    g.rowBytes = uint64_t(width) * uint64_t(sampleBytes);
    if (!multiply(width, height, pixels) || pixels > INT_MAX || !multiply(g.rowBytes, height, planeBytes) ||
        !multiply(planeBytes, planes, totalBytes))
        return false;
    const uint64_t limit = g_budget.load() != 0 ? kLargestPagedImage : zircim::physical_memory_bytes();
    if (totalBytes > limit)
        return false;
    g.huge = planeBytes > zircim::kHugePageBytes;
    if (g.huge) {
        const uint64_t rows = std::min<uint64_t>(height, round_up(g.rowBytes, zircim::kHugePageBytes) / g.rowBytes);
        g.blockRows = static_cast<int>(rows);
        g.slotBytes = round_up(rows * g.rowBytes, zircim::kHugePageBytes);
    } else {
        g.blockRows = height;
        g.slotBytes = round_up(planeBytes, zircim::page_bytes());
    }
    g.blocksPerPlane = static_cast<int>((uint64_t(height) + g.blockRows - 1) / g.blockRows);
    uint64_t blocks = 0;
    if (!multiply(g.blocksPerPlane, planes, blocks))
        return false;
    g.blockCount = static_cast<int>(blocks); // at most planes x height, well inside int here
    return g.slotBytes <= INT_MAX && blocks <= INT_MAX;
}

} // namespace

void CVmImage::SetMemoryBudget(SIZE_T bytes) { g_budget.store(bytes); }

SIZE_T CVmImage::GetMemoryBudget() { return g_budget.load(); }

SIZE_T CVmImage::GetMappedBytesTotal() { return g_mappedTotal.load(); }

CVmImage::CVmImage() {}

CVmImage::CVmImage(CVmImage &src, HWND progressWnd, const char *caption) : CObject() {
    if (src.m_table == nullptr)
        return;
    try {
        if (!build(src.m_width, src.m_height, src.m_planes, src.m_sampleBytes))
            AfxThrowMemoryException();
        copy_blocks_from(src, progressWnd, caption);
    } catch (CMemoryException *) {
        release(); // a constructor that throws gets no destructor call
        throw;
    }
}

CVmImage::~CVmImage() { release(); }

// Bytes of one slot, as the store's manager keeps it.
int CVmImage::GetBlockSize() { return m_manager.GetBlockSize(); }

int CVmImage::Create(int width, int height, int planes, int bytesPerSample) {
    try {
        CVmImage fresh;
        if (!fresh.build(width, height, planes, bytesPerSample))
            return 0;
        swap(fresh);
        return 1;
    } catch (CMemoryException *e) {
        e->Delete();
        return 0;
    }
}

void CVmImage::swap(CVmImage &other) noexcept {
    std::swap(m_width, other.m_width);
    std::swap(m_height, other.m_height);
    std::swap(m_planes, other.m_planes);
    std::swap(m_sampleBytes, other.m_sampleBytes);
    std::swap(m_sampleBytesWide, other.m_sampleBytesWide);
    std::swap(m_blockRows, other.m_blockRows);
    std::swap(m_blocksPerPlane, other.m_blocksPerPlane);
    std::swap(m_rowBytes, other.m_rowBytes);
    std::swap(m_hugeBlocks, other.m_hugeBlocks);
    std::swap(m_region, other.m_region);
    std::swap(m_planeStride, other.m_planeStride);
    std::swap(m_floatWidth, other.m_floatWidth);
    std::swap(m_floatHeight, other.m_floatHeight);
    std::swap(m_floatPlanes, other.m_floatPlanes);
    std::swap(m_manager.BlockSize, other.m_manager.BlockSize);
    std::swap(m_table, other.m_table);
    std::swap(m_slots, other.m_slots);
    std::swap(m_mappedSlots, other.m_mappedSlots);
    std::swap(m_assignedSlots, other.m_assignedSlots);
    std::swap(m_newest, other.m_newest);
    std::swap(m_oldest, other.m_oldest);
    std::swap(m_mappedBytes, other.m_mappedBytes);
    std::swap(m_swapFile, other.m_swapFile);
    std::swap(m_readRows, other.m_readRows);
    std::swap(m_writeRows, other.m_writeRows);
    std::swap(m_last, other.m_last);
    std::swap(m_lastCount, other.m_lastCount);
    std::swap(m_recording, other.m_recording);
}

namespace {

// Two row addresses (reading, writing) per row of every plane.
SIZE_T row_table_bytes(int planes, int height) {
    return 2 * static_cast<SIZE_T>(planes) * static_cast<SIZE_T>(height) * sizeof(unsigned char *);
}

} // namespace

// Records first (they may throw), then the slots the budget allows, mapped
// up front so that a store the system cannot hold fails here rather than
// on some later lookup.
int CVmImage::build(int width, int height, int planes, int bytesPerSample) {
    Geometry g{};
    if (!plan_blocks(width, height, planes, bytesPerSample, g))
        return 0;
    m_table = new CVmHandle(g.blockCount);
    m_slots = AfxNewArray<CVmMemory>(g.blockCount);
    m_width = width;
    m_height = height;
    m_planes = planes;
    m_sampleBytes = bytesPerSample;
    m_sampleBytesWide = static_cast<SIZE_T>(bytesPerSample);
    m_blockRows = g.blockRows;
    m_blocksPerPlane = g.blocksPerPlane;
    m_rowBytes = g.rowBytes;
    m_hugeBlocks = g.huge;
    m_manager.BlockSize = static_cast<int>(g.slotBytes);
    const SIZE_T budget = g_budget.load();
    m_recording = budget != 0;
    switch (map_every_slot(budget)) {
    case RegionMapping::kMapped:
        return 1;
    case RegionMapping::kRefused:
        // A 64-bit process was refused the memory, not the address space:
        // the same bytes mapped slot by slot (thousands of mappings for a
        // header that claims gigabytes) would only move the failure to the
        // first touch that finds none.
        if (sizeof(void *) >= 8)
            return 0;
        break;
    case RegionMapping::kOverBudget:
        break;
    }
    map_row_tables();
    // A store larger than its budget, or one a 32-bit address space has no
    // hole for in one piece, maps slot by slot.
    const int upFront =
        budget == 0 ? g.blockCount : static_cast<int>(std::clamp<uint64_t>(budget / g.slotBytes, 1, g.blockCount));
    while (m_mappedSlots < upFront)
        if (!map_next_slot())
            return 0;
    return 1;
}

// Only a store that maps slot by slot finds rows through tables; a store
// in one region computes them.
void CVmImage::map_row_tables() {
    m_readRows = reinterpret_cast<unsigned char **>(zircim::map_table(row_table_bytes(m_planes, m_height)));
    if (m_readRows == nullptr)
        AfxThrowMemoryException();
    m_writeRows = m_readRows + static_cast<SIZE_T>(m_planes) * static_cast<SIZE_T>(m_height);
}

void CVmImage::release() noexcept {
    if (m_region != nullptr)
        zircim::unmap(m_region, m_mappedBytes);
    else
        for (int i = 0; i < m_mappedSlots; ++i)
            zircim::unmap(m_slots[i].Base, static_cast<SIZE_T>(m_manager.BlockSize));
    g_mappedTotal -= m_mappedBytes;
    zircim::close_swap_file(m_swapFile);
    delete[] m_slots;
    delete m_table;
    zircim::unmap_table(reinterpret_cast<unsigned char *>(m_readRows), row_table_bytes(m_planes, m_height));
    m_readRows = m_writeRows = nullptr;
    m_slots = nullptr;
    m_table = nullptr;
    m_mappedSlots = m_assignedSlots = 0;
    m_region = nullptr;
    m_planeStride = 0;
    m_floatWidth = m_floatHeight = 0;
    std::fill(std::begin(m_floatPlanes), std::end(m_floatPlanes), nullptr);
    m_mappedBytes = 0;
    m_swapFile = -1;
}

bool CVmImage::map_next_slot() {
    if (m_table == nullptr || m_mappedSlots >= m_table->BlockCount)
        return false;
    const auto bytes = static_cast<SIZE_T>(m_manager.BlockSize);
    unsigned char *memory = zircim::map_zeroed(bytes, m_hugeBlocks);
    if (memory == nullptr)
        return false;
    m_slots[m_mappedSlots++].Base = memory;
    m_mappedBytes += bytes;
    g_mappedTotal += bytes;
    return true;
}

// A store without a budget, or within its budget, never pages: it holds
// every block from the start, all in one region: each plane's rows one after the other, as in a plain array, and
// each block in the slot of its own number, which is its rows' stretch of
// the region. Lookups then compute addresses instead of loading them from
// the row tables, and each plane is an array a caller can hand on without
// copying it. Planes a large power of two apart (8192 x 8192 floats:
// 256 MiB) would put a pixel's samples in the same cache sets, which made
// decoding five times slower; each plane therefore starts a page and a
// cache line after the end of the one before.
CVmImage::RegionMapping CVmImage::map_every_slot(SIZE_T budget) {
    const uint64_t planeBytes = uint64_t(m_height) * m_rowBytes; // plan_blocks checked the product
    const uint64_t stride = round_up(planeBytes, kCacheLineBytes) + kPlaneStagger;
    uint64_t total = 0;
    if (!multiply(stride, uint64_t(m_planes), total) || round_up(total, zircim::kHugePageBytes) > SIZE_MAX)
        return RegionMapping::kRefused; // more than the address space holds
    total = round_up(total, region_unit(total, m_hugeBlocks, budget));
    if (budget != 0 && total > budget)
        return RegionMapping::kOverBudget;
    unsigned char *region = zircim::map_zeroed(static_cast<SIZE_T>(total), m_hugeBlocks);
    if (region == nullptr)
        return RegionMapping::kRefused;
    m_region = region;
    m_planeStride = static_cast<SIZE_T>(stride);
    if (m_sampleBytes == sizeof(float))
        note_float_region();
    m_mappedSlots = m_assignedSlots = m_table->BlockCount; // every slot has its memory in the region
    m_mappedBytes = static_cast<SIZE_T>(total);
    g_mappedTotal += m_mappedBytes;
    return RegionMapping::kMapped;
}

void CVmImage::note_float_region() {
    m_floatWidth = static_cast<uint32_t>(m_width);
    m_floatHeight = static_cast<uint32_t>(m_height);
    for (int plane = 0; plane < m_planes && plane < int{kInlinePlanes}; ++plane)
        m_floatPlanes[plane] = reinterpret_cast<const float *>(m_region + static_cast<SIZE_T>(plane) * m_planeStride);
}

// Block b's rows in a store of one region.
unsigned char *CVmImage::region_block(int block) const {
    const int plane = block / m_blocksPerPlane;
    const SIZE_T firstRow = static_cast<SIZE_T>(block % m_blocksPerPlane) * static_cast<SIZE_T>(m_blockRows);
    return m_region + static_cast<SIZE_T>(plane) * m_planeStride + firstRow * m_rowBytes;
}

// In a store of one region, block b's slot is slot b, and it is filled in
// when a lookup first takes the full path to the block: most lookups never
// do (they compute the address inline), and writing thousands of records
// up front for a tall hostile picture showed up in every read. The slots
// stay off the recency list, which only eviction walks, and a store in one
// region never evicts.
int CVmImage::hold_in_region(int block) {
    m_slots[block].Base = region_block(block);
    assign(block, block, kBlockZero);
    return block;
}

// Where the block's samples are now, NULL when it is neither in memory nor
// anywhere else (never written, or in the swap file).
const unsigned char *CVmImage::block_memory(int block) const {
    if (m_region != nullptr)
        return region_block(block);
    const int slot = m_table->GetSlotIndex(block);
    return slot >= 0 ? m_slots[slot].Base : nullptr;
}

// A slot takes a block; its rows become visible to lookups.
void CVmImage::assign(int index, int block, int type) {
    CVmMemory &slot = m_slots[index];
    slot.Block = block;
    slot.Plane = block / m_blocksPerPlane;
    slot.FirstRow = block % m_blocksPerPlane * m_blockRows;
    slot.Dirty = 0;
    m_table->Set(block, type, index);
    publish(slot);
}

int CVmImage::block_rows(int block) const {
    const int first = block % m_blocksPerPlane * m_blockRows;
    return std::min(m_blockRows, m_height - first);
}

// Only the rows a block has travel to and from the swap file.
SIZE_T CVmImage::block_bytes(int block) const { return static_cast<SIZE_T>(block_rows(block)) * m_rowBytes; }

long long CVmImage::swap_offset(int block) const { return static_cast<long long>(block) * m_manager.BlockSize; }

void zircim::WatchFullLookups(std::vector<FullLookup> *log) { g_lookupLog = log; }

unsigned char *CVmImage::lookup(int x, int y, int plane, int readOnly, int secondFlag, void **lockOut) {
    if (g_lookupLog != nullptr)
        g_lookupLog->push_back({x, y, plane, readOnly, secondFlag});
    if (lockOut != nullptr)
        *lockOut = nullptr;
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(m_width) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(m_height) ||
        static_cast<unsigned>(plane) >= static_cast<unsigned>(m_planes))
        return nullptr;
    const int block = plane * m_blocksPerPlane + y / m_blockRows;
    // A locked lookup keeps all three recent addresses; an unlocked one
    // replaces the oldest of them with its own.
    const int index = bring_in(block, secondFlag != kFreshBlock, lockOut != nullptr ? 3 : 2);
    if (index < 0)
        return nullptr;
    CVmMemory &slot = m_slots[index];
    if (!readOnly && !slot.Dirty) {
        slot.Dirty = 1;
        publish(slot);
    }
    touch(index);
    unsigned char *address =
        slot.Base + static_cast<SIZE_T>(y - slot.FirstRow) * m_rowBytes + static_cast<SIZE_T>(x) * m_sampleBytesWide;
    if (lockOut != nullptr) {
        ++slot.LockCount;
        *lockOut = &slot;
    } else {
        remember(address);
    }
    return address;
}

int CVmImage::bring_in(int block, bool readBack, int pinnedRecent) {
    const int resident = m_table->GetSlotIndex(block);
    if (resident >= 0)
        return resident;
    if (m_region != nullptr)
        return hold_in_region(block);
    bool zeroed = false;
    const int index = find_slot(pinnedRecent, zeroed);
    if (index < 0)
        return -1;
    CVmMemory &slot = m_slots[index];
    int type = m_table->GetType(block);
    if (type == kBlockSwapped && readBack) {
        if (!zircim::read_at(m_swapFile, slot.Base, block_bytes(block), swap_offset(block))) {
            touch(index); // free, and listed so that the next eviction finds it
            return -1;
        }
        ++slot.Loads;
    } else {
        if (!zeroed)
            std::memset(slot.Base, 0, static_cast<SIZE_T>(m_manager.BlockSize));
        type = kBlockZero; // what the swap file held is dropped with it
    }
    assign(index, block, type);
    return index;
}

// A slot already mapped and never used, a new one while the budget allows,
// the least recently used evictable one, and past the budget a new one
// when every slot is locked or holds a recent address.
int CVmImage::find_slot(int pinnedRecent, bool &zeroed) {
    const SIZE_T budget = g_budget.load();
    if (m_assignedSlots == m_mappedSlots &&
        (budget == 0 || m_mappedBytes + static_cast<SIZE_T>(m_manager.BlockSize) <= budget))
        map_next_slot();
    zeroed = m_assignedSlots < m_mappedSlots;
    if (zeroed)
        return m_assignedSlots++;
    if (!m_recording)
        start_recording();
    const int victim = evict_one(pinnedRecent);
    if (victim >= 0)
        return victim;
    zeroed = map_next_slot();
    return zeroed ? m_assignedSlots++ : -1;
}

int CVmImage::evict_one(int pinnedRecent) {
    for (int index = m_oldest; index >= 0; index = m_slots[index].Newer) {
        CVmMemory &slot = m_slots[index];
        if (slot.LockCount > 0 || is_pinned(index, pinnedRecent))
            continue;
        if (slot.Block < 0)
            return index;
        if (!write_out(slot))
            return -1; // without a swap file nothing can be evicted
        withdraw(slot);
        slot.Block = -1;
        slot.Plane = -1;
        return index;
    }
    return -1;
}

// A clean block needs no writing: either the swap file already holds it
// or it was never changed from zero.
bool CVmImage::write_out(CVmMemory &slot) {
    if (slot.Dirty) {
        if (m_swapFile < 0)
            m_swapFile = zircim::open_swap_file();
        if (m_swapFile < 0 ||
            !zircim::write_at(m_swapFile, slot.Base, block_bytes(slot.Block), swap_offset(slot.Block)))
            return false;
        m_table->Set(slot.Block, kBlockSwapped, -1);
        slot.Dirty = 0;
    } else {
        m_table->Set(slot.Block, m_table->GetType(slot.Block), -1);
    }
    return true;
}

// GetImageAdr answers lookups inline from the row tables without recording
// recency, so the slots a caller may still be reading are those of the last
// lookups without lock, inline or not. A locked lookup keeps three of them,
// an unlocked one two, as it replaces the oldest with its own.
bool CVmImage::is_pinned(int slot, int pinnedRecent) const {
    const auto first = reinterpret_cast<std::uintptr_t>(m_slots[slot].Base);
    const auto bytes = static_cast<std::uintptr_t>(m_manager.BlockSize);
    for (int i = 0; i < pinnedRecent; ++i) {
        const unsigned char *const last = m_last[(m_lastCount - 1 - unsigned(i)) & kLastMask];
        if (last == &kEverySlot || reinterpret_cast<std::uintptr_t>(last) - first < bytes)
            return true;
    }
    return false;
}

// A store made without a budget maps a slot for every block up front and
// so never evicts; should one ever have to, the lookups answered before the
// recording began left no trace, and any of them may be among the last
// three: every slot counts as recent until the ring holds enough recorded
// lookups to push the marks out.
void CVmImage::start_recording() {
    m_recording = true;
    std::fill(std::begin(m_last), std::end(m_last), &kEverySlot);
}

void CVmImage::unlink_slot(int index) {
    CVmMemory &slot = m_slots[index];
    (slot.Newer >= 0 ? m_slots[slot.Newer].Older : m_newest) = slot.Older;
    (slot.Older >= 0 ? m_slots[slot.Older].Newer : m_oldest) = slot.Newer;
    slot.Newer = slot.Older = -1;
}

void CVmImage::touch(int index) {
    if (m_newest == index)
        return;
    CVmMemory &slot = m_slots[index];
    if (slot.Newer >= 0 || slot.Older >= 0 || m_oldest == index)
        unlink_slot(index);
    slot.Older = m_newest;
    if (m_newest >= 0)
        m_slots[m_newest].Newer = index;
    m_newest = index;
    if (m_oldest < 0)
        m_oldest = index;
}

// The rows of a slot's block become visible to the inline lookups: for
// reading, and for writing once the slot is dirty (a write to a clean slot
// goes through lookup(), which marks it).
void CVmImage::publish(const CVmMemory &slot) {
    if (m_region != nullptr)
        return; // lookups find its rows by arithmetic; a tall picture's tables stay untouched
    const SIZE_T first = static_cast<SIZE_T>(slot.Plane) * static_cast<SIZE_T>(m_height) + slot.FirstRow;
    const int rows = block_rows(slot.Block);
    for (int row = 0; row < rows; ++row) {
        unsigned char *const address = slot.Base + static_cast<SIZE_T>(row) * m_rowBytes;
        m_readRows[first + row] = address;
        m_writeRows[first + row] = slot.Dirty ? address : nullptr;
    }
}

// A block leaving its slot: its rows go back to lookup().
void CVmImage::withdraw(const CVmMemory &slot) {
    const SIZE_T first = static_cast<SIZE_T>(slot.Plane) * static_cast<SIZE_T>(m_height) + slot.FirstRow;
    const int rows = block_rows(slot.Block);
    std::fill(m_readRows + first, m_readRows + first + rows, nullptr);
    std::fill(m_writeRows + first, m_writeRows + first + rows, nullptr);
}

int CVmImage::Unlock(void *token) {
    if (m_slots == nullptr || token == nullptr)
        return -1;
    const auto first = reinterpret_cast<std::uintptr_t>(m_slots);
    const auto at = reinterpret_cast<std::uintptr_t>(token);
    const std::uintptr_t span = static_cast<std::uintptr_t>(m_mappedSlots) * sizeof(CVmMemory);
    if (at < first || at - first >= span || (at - first) % sizeof(CVmMemory) != 0)
        return -1;
    CVmMemory &slot = m_slots[(at - first) / sizeof(CVmMemory)];
    if (slot.LockCount <= 0)
        return -1;
    return --slot.LockCount;
}

void CVmImage::UnlockAll() {
    for (int i = 0; i < m_mappedSlots; ++i)
        m_slots[i].LockCount = 0;
}

// Reads the source without disturbing it: resident blocks from its slots,
// paged-out ones straight from its swap file; blocks that were never
// written stay zero here too.
void CVmImage::copy_blocks_from(const CVmImage &src, HWND progressWnd, const char *caption) {
    zircim::Progress progress(progressWnd, caption);
    const int blocks = src.m_table->BlockCount;
    progress.report(0, blocks);
    for (int block = 0; block < blocks; ++block) {
        const unsigned char *const from = src.block_memory(block);
        const bool swapped = src.m_table->GetType(block) == kBlockSwapped;
        if (from != nullptr || swapped) {
            const int into = bring_in(block, false, 0);
            if (into < 0)
                AfxThrowMemoryException();
            const SIZE_T bytes = block_bytes(block);
            if (from != nullptr)
                std::memcpy(m_slots[into].Base, from, bytes);
            else if (!zircim::read_at(src.m_swapFile, m_slots[into].Base, bytes, src.swap_offset(block)))
                AfxThrowMemoryException();
            m_slots[into].Dirty = 1;
            publish(m_slots[into]);
            touch(into);
        }
        progress.report(block + 1, blocks);
    }
}
