// The rows of a big picture shared between the calling thread and one
// helper: the DIB decoder's writes into a fresh store and GetDib's reads
// from one.
#pragma once

#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>

#include "image/vm_store.h"

namespace zircim {

// Whether a store's rows stay where a lookup found them, whatever other
// lookups come: a store in one region maps nothing and moves nothing, so
// two threads may look up rows of their own at once. A store that pages
// changes its slots on a lookup.
struct StoreRegion {
    static bool holds_every_row(const CVmImage &store) { return store.m_region != nullptr; }
};

// Below this many samples a second thread costs more than it saves.
constexpr std::uint64_t kSamplesForTwoThreads = std::uint64_t{1} << 19;

inline bool two_threads_pay(std::uint64_t samples, const CVmImage &store) {
    return samples >= kSamplesForTwoThreads && StoreRegion::holds_every_row(store) &&
           std::thread::hardware_concurrency() > 1;
}

// work(first, end, onHelper) over rows [0, rows): the first half on this
// thread, the second on a helper at the same time. Without a thread to be
// had, this thread does the second half after the first. Whatever the
// helper throws comes out here once both have stopped.
template <typename Work> void in_two_halves(int rows, Work work) {
    const int half = rows / 2;
    std::exception_ptr helperFailure;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                work(half, rows, true);
            } catch (...) {
                helperFailure = std::current_exception();
            }
        });
    } catch (const std::system_error &) {
        work(0, half, false);
        work(half, rows, true);
        return;
    }
    {
        struct JoinOnEveryPath {
            std::thread &thread;
            ~JoinOnEveryPath() { thread.join(); }
        } join{helper};
        work(0, half, false);
    }
    if (helperFailure)
        std::rethrow_exception(helperFailure);
}

} // namespace zircim
