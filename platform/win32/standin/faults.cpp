// Test seams of the stand-in: fault injection, the quirk of a query that
// leaves biSizeImage 0, and the record of global allocation requests.
// Windows has no counterpart.
#include "standin/internal.h"

#include <array>
#include <atomic>

namespace win32_standin {
namespace {

constexpr std::size_t kCallCount = static_cast<std::size_t>(Call::GetDC) + 1;
// Calls are appended; the values already handed out never move.
static_assert(static_cast<int>(Call::GlobalReAlloc) == 4 && static_cast<int>(Call::GetDIBits) == 5 &&
                  static_cast<int>(Call::GetDC) == 7,
              "Call values");

// Fires on the n-th next Fires() after Arm(n); 0 = disarmed.
class Countdown {
public:
    void Arm(int n) { left_.store(n > 0 ? n : 0); }
    bool Fires() {
        int left = left_.load();
        while (left > 0) {
            if (left_.compare_exchange_weak(left, left - 1))
                return left == 1;
        }
        return false;
    }

private:
    std::atomic<int> left_{0};
};

std::array<Countdown, kCallCount> faults;
std::array<std::atomic<int>, kCallCount> callsSeen{};
Countdown sizeImageLeftZero;

Countdown &FaultOf(Call call) { return faults[static_cast<std::size_t>(call)]; }

struct AtomicRequest {
    std::atomic<UINT> flags{0};
    std::atomic<SIZE_T> bytes{0};
    GlobalRequest Load() const { return {flags.load(), bytes.load()}; }
};
AtomicRequest lastAlloc;
AtomicRequest lastReAlloc;

} // namespace

// FailNth (stand-in)
void FailNth(Call call, int n) { FaultOf(call).Arm(n); }

// LeaveSizeImageZeroNth (stand-in)
void LeaveSizeImageZeroNth(int n) { sizeImageLeftZero.Arm(n); }

// ClearFaults (stand-in)
void ClearFaults() {
    for (auto &fault : faults)
        fault.Arm(0);
    sizeImageLeftZero.Arm(0);
}

// ResetCallCounts (stand-in)
void ResetCallCounts() {
    for (auto &count : callsSeen)
        count.store(0);
}

// CallCount (stand-in)
int CallCount(Call call) { return callsSeen[static_cast<std::size_t>(call)].load(); }

// LastGlobalAlloc (stand-in)
GlobalRequest LastGlobalAlloc() { return lastAlloc.Load(); }

// LastGlobalReAlloc (stand-in)
GlobalRequest LastGlobalReAlloc() { return lastReAlloc.Load(); }

namespace internal {

bool FaultFires(Call call) {
    ++callsSeen[static_cast<std::size_t>(call)];
    return FaultOf(call).Fires();
}

bool SizeImageLeftZero() { return sizeImageLeftZero.Fires(); }

void NoteGlobalRequest(Call call, UINT flags, SIZE_T bytes) {
    AtomicRequest &request = call == Call::GlobalAlloc ? lastAlloc : lastReAlloc;
    request.flags.store(flags);
    request.bytes.store(bytes);
}

} // namespace internal
} // namespace win32_standin
