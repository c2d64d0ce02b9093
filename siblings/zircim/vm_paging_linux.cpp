// vm_paging.h on Linux: mmap for slot memory, an O_TMPFILE swap file.
#include "siblings/zircim/vm_paging.h"
#include "siblings/zircim/vm_seams.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace zircim {

namespace {

std::atomic<int> g_failMapping{0};  // FailNthSlotMapping's countdown
std::atomic<int> g_failTransfer{0}; // FailNthSwapTransfer's
std::atomic<long> g_liveMappings{0};
std::atomic<long> g_mappingCalls{0};
std::atomic<long> g_transferCalls{0};

// Counts the call and answers whether the fault armed for it fires now.
bool fault_fires(std::atomic<int> &countdown, std::atomic<long> &calls) {
    ++calls;
    int left = countdown.load();
    while (left > 0 && !countdown.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

void *map_anonymous(std::size_t bytes, int flags = 0) {
    void *memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

// Over-maps by one huge page and trims both ends, which leaves a region
// that starts on a huge-page boundary.
unsigned char *map_huge_aligned(std::size_t bytes) {
    const std::size_t span = bytes + kHugePageBytes;
    auto *raw = static_cast<unsigned char *>(map_anonymous(span));
    if (raw == nullptr)
        return nullptr;
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    const std::size_t head = (kHugePageBytes - address % kHugePageBytes) % kHugePageBytes;
    if (head != 0)
        munmap(raw, head);
    unsigned char *aligned = raw + head;
    const std::size_t tail = span - head - bytes;
    if (tail != 0)
        munmap(aligned + bytes, tail);
    madvise(aligned, bytes, MADV_HUGEPAGE); // a hint: refusal leaves small pages
    return aligned;
}

// Small pages are for stores whose planes are at most a huge page each,
// which are written whole: their pages come in with the mapping, in one
// call, instead of a fault each (a 640 x 480 colour frame's planes take 900;
// a night of frames spent a tenth of its time in them). Such a store's
// region that spans huge pages (that frame's three planes: 3.7 MB) starts on
// a huge-page boundary and is advised for them, so that most of it comes in
// as 2 MiB pages: setting up and tearing down the small ones was half the
// system time of a night of colour frames.
unsigned char *map_populated(std::size_t bytes) {
    if (bytes < kHugePageBytes)
        return static_cast<unsigned char *>(map_anonymous(bytes, MAP_POPULATE));
    unsigned char *memory = map_huge_aligned(bytes);
    if (memory != nullptr)
        madvise(memory, bytes, MADV_POPULATE_WRITE); // a kernel without it faults the pages in as written
    return memory;
}

std::string swap_directory() {
    const char *tmpdir = std::getenv("TMPDIR");
    return tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp";
}

// For file systems without O_TMPFILE: a named file, unlinked at once.
int open_unlinked_temp(const std::string &directory) {
    std::string name = directory + "/zircim-swap-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0)
        unlink(name.c_str());
    return fd;
}

template <typename Transfer> bool transfer_all(Transfer transfer, std::size_t bytes, long long offset) {
    if (fault_fires(g_failTransfer, g_transferCalls)) {
        errno = EIO;
        return false;
    }
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = transfer(done, bytes - done, static_cast<off_t>(offset + static_cast<long long>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::size_t page_bytes() {
    static const std::size_t bytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return bytes;
}

void FailNthSlotMapping(int n) { g_failMapping = n; }

long LiveSlotMappings() { return g_liveMappings; }

void FailNthSwapTransfer(int n) { g_failTransfer = n; }

void ResetStoreCallCounts() {
    g_mappingCalls = 0;
    g_transferCalls = 0;
}

long SlotMappingCalls() { return g_mappingCalls; }

long SwapTransferCalls() { return g_transferCalls; }

unsigned char *map_zeroed(std::size_t bytes, bool huge) {
    if (fault_fires(g_failMapping, g_mappingCalls))
        return nullptr;
    // Huge-page stores fault as written, so that a big picture's untouched
    // black stays unallocated.
    unsigned char *memory = huge ? map_huge_aligned(bytes) : map_populated(bytes);
    if (memory != nullptr)
        ++g_liveMappings;
    return memory;
}

void unmap(unsigned char *memory, std::size_t bytes) {
    if (memory != nullptr && munmap(memory, bytes) == 0)
        --g_liveMappings;
}

unsigned char *map_table(std::size_t bytes) { return static_cast<unsigned char *>(map_anonymous(bytes)); }

void unmap_table(unsigned char *memory, std::size_t bytes) {
    if (memory != nullptr)
        munmap(memory, bytes);
}

int open_swap_file() {
    const std::string directory = swap_directory();
    const int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return fd >= 0 ? fd : open_unlinked_temp(directory);
}

void close_swap_file(int fd) {
    if (fd >= 0)
        close(fd);
}

bool write_at(int fd, const unsigned char *data, std::size_t bytes, long long offset) {
    return transfer_all([&](std::size_t done, std::size_t left, off_t at) { return pwrite(fd, data + done, left, at); },
                        bytes, offset);
}

bool read_at(int fd, unsigned char *data, std::size_t bytes, long long offset) {
    return transfer_all([&](std::size_t done, std::size_t left, off_t at) { return pread(fd, data + done, left, at); },
                        bytes, offset);
}

unsigned long long physical_memory_bytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    return pages > 0 ? static_cast<unsigned long long>(pages) * page_bytes() : 0;
}

} // namespace zircim
