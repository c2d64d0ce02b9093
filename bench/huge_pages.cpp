#include "bench/huge_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace bench_support {
namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

HugeBuffer::HugeBuffer(std::size_t bytes) : bytes_(bytes) {
    mappingBytes_ = bytes + kHugePage;
    mapping_ = mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED)
        throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapping_);
    data_ = reinterpret_cast<void *>((start + kHugePage - 1) & ~(kHugePage - 1));
    madvise(data_, bytes, MADV_HUGEPAGE);
}

HugeBuffer::~HugeBuffer() { munmap(mapping_, mappingBytes_); }

} // namespace bench_support
