// The floors' share of the machine: the library decodes and renders a big
// picture with two threads, so the floors that do the same job use two too.
#pragma once

#include <cstddef>
#include <thread>

namespace bench_support {

// work(first, end) over [0, count): the first half on this thread, the rest
// on a second one at the same time.
template <typename Work> void in_two_halves(std::size_t count, Work work) {
    std::thread helper(work, count / 2, count);
    work(std::size_t{0}, count / 2);
    helper.join();
}

} // namespace bench_support
