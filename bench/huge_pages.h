// Memory for the benchmark floors, taken the fastest honest way: fresh
// anonymous mappings aligned to 2 MiB and advised into transparent huge
// pages, so that first touch costs what the library's own blocks cost.
#pragma once

#include <cstddef>

namespace bench_support {

class HugeBuffer {
public:
    explicit HugeBuffer(std::size_t bytes);
    ~HugeBuffer();
    HugeBuffer(const HugeBuffer &) = delete;
    HugeBuffer &operator=(const HugeBuffer &) = delete;

    template <typename T> T *as() const { return static_cast<T *>(data_); }
    std::size_t size() const { return bytes_; }

private:
    void *mapping_;
    std::size_t mappingBytes_;
    void *data_;
    std::size_t bytes_;
};

} // namespace bench_support
