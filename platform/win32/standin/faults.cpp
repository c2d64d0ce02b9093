// Test seams of the stand-in: fault injection. Windows has no counterpart.
#include "standin/internal.h"

#include <array>
#include <atomic>

namespace win32_standin {
namespace {

constexpr std::size_t kCallCount = static_cast<std::size_t>(Call::GlobalReAlloc) + 1;

// Per call: how many calls until the armed fault fires; 0 = none armed.
std::array<std::atomic<int>, kCallCount> countdowns{};

std::atomic<int> &CountdownOf(Call call) { return countdowns[static_cast<std::size_t>(call)]; }

}  // namespace

// FailNth (stand-in)
void FailNth(Call call, int n) { CountdownOf(call).store(n > 0 ? n : 0); }

// ClearFaults (stand-in)
void ClearFaults() {
    for (auto &countdown : countdowns) countdown.store(0);
}

namespace internal {

bool FaultFires(Call call) {
    std::atomic<int> &countdown = CountdownOf(call);
    int left = countdown.load();
    while (left > 0) {
        if (countdown.compare_exchange_weak(left, left - 1)) return left == 1;
    }
    return false;
}

}  // namespace internal
}  // namespace win32_standin
