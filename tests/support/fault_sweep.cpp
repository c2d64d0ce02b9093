#include "support/fault_sweep.h"

#include <vector>

#include <afx_standin.h>
#include <dirira/dirira.h>
#include <win32_standin.h>

#include "siblings/zircim/vm_seams.h"

namespace testing_support {
namespace {

using win32_standin::Call;

struct Seam {
    const char *name;
    std::function<long()> calls;
    std::function<void(int)> failNth;
};

std::vector<Seam> seams() {
    std::vector<Seam> all;
    const std::pair<const char *, Call> win32[] = {
        {"CreateFileA", Call::CreateFileA},     {"ReadFile", Call::ReadFile},   {"WriteFile", Call::WriteFile},
        {"GlobalAlloc", Call::GlobalAlloc},     {"GlobalReAlloc", Call::GlobalReAlloc},
        {"GetDIBits", Call::GetDIBits},         {"GlobalLock", Call::GlobalLock}, {"GetDC", Call::GetDC}};
    for (const auto &[name, call] : win32)
        all.push_back({name, [call = call] { return long(win32_standin::CallCount(call)); },
                       [call = call](int n) { win32_standin::FailNth(call, n); }});
    all.push_back({"framework allocation", afx_standin::AllocationAttempts, afx_standin::FailNthAllocation});
    all.push_back({"slot mapping", zircim::SlotMappingCalls, zircim::FailNthSlotMapping});
    all.push_back({"swap transfer", zircim::SwapTransferCalls, zircim::FailNthSwapTransfer});
    return all;
}

void reset_counts() {
    win32_standin::ResetCallCounts();
    afx_standin::ResetAllocationAttempts();
    zircim::ResetStoreCallCounts();
}

void clear_faults() {
    win32_standin::ClearFaults();
    afx_standin::ClearFaults();
    zircim::FailNthSlotMapping(0);
    zircim::FailNthSwapTransfer(0);
}

}  // namespace

Holdings::Holdings()
    : files(win32_standin::OpenFileHandles()), blocks(win32_standin::LiveGlobalBlocks()),
      locked(win32_standin::LockedGlobalBlocks()), dcs(win32_standin::HeldDCs()),
      palettes(win32_standin::SelectedPalettes()), gdiObjects(win32_standin::LiveGdiObjects()),
      allocations(afx_standin::LiveAllocations()), mappings(zircim::LiveSlotMappings()),
      mapped(CVmImage::GetMappedBytesTotal()) {}

bool Holdings::operator==(const Holdings &o) const {
    return files == o.files && blocks == o.blocks && locked == o.locked && dcs == o.dcs && palettes == o.palettes &&
           gdiObjects == o.gdiObjects && allocations == o.allocations && mappings == o.mappings && mapped == o.mapped;
}

std::string SweepSeams(const std::function<void()> &act, const std::function<void(const char *, int)> &check) {
    const std::vector<Seam> all = seams();
    clear_faults();
    reset_counts();
    act();
    std::vector<long> counts;
    for (const Seam &seam : all)
        counts.push_back(seam.calls());
    check(nullptr, 0);
    std::string line;
    for (std::size_t s = 0; s < all.size(); ++s) {
        line += (s == 0 ? "" : " ") + std::string(all[s].name) + " " + std::to_string(counts[s]);
        for (int k = 1; k <= counts[s]; ++k) {
            all[s].failNth(k);
            act();
            clear_faults();
            check(all[s].name, k);
        }
    }
    return line;
}

}  // namespace testing_support
