// Operating-system side of the pixel store: slot memory and the swap file.
#pragma once

#include <cstddef>

namespace zircim {

// Huge pages are 2 MiB on the machines the store runs on; blocks of big
// images are whole multiples of it.
constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

std::size_t page_bytes();

// Zero-filled memory of `bytes` (a multiple of page_bytes(), or of
// kHugePageBytes when `huge`); NULL when the system refuses. Huge regions
// are aligned to kHugePageBytes and advised for transparent huge pages: a
// fresh 4 KiB page costs about 10 us to fault in, a huge page a fraction of
// that per byte.
unsigned char *map_zeroed(std::size_t bytes, bool huge);
void unmap(unsigned char *memory, std::size_t bytes);
// Zero-filled memory for the store's own tables, outside the slot
// accounting: address space whose pages cost only where they are touched,
// so that the row table of a tall picture that a hostile header claims
// costs nothing up front. NULL when the system refuses.
unsigned char *map_table(std::size_t bytes);
void unmap_table(unsigned char *memory, std::size_t bytes);

// An anonymous read-write file that disappears with its last descriptor;
// -1 when none can be made. Placed in TMPDIR, else /tmp.
int open_swap_file();
void close_swap_file(int fd);
// Whole transfers at `offset`; false on any error or short transfer.
bool write_at(int fd, const unsigned char *data, std::size_t bytes, long long offset);
bool read_at(int fd, unsigned char *data, std::size_t bytes, long long offset);

// Memory the machine has; the store refuses images beyond it when no
// budget lets it page.
unsigned long long physical_memory_bytes();

} // namespace zircim
