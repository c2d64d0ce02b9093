// Every fault point of a path, for the stand-ins (Linux only): the Win32
// subset's seams, the framework's allocations, and the pixel store's slot
// mappings and swap-file transfers.
#pragma once

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <afx_standin.h>
#include <dirira/dirira.h>
#include <gtest/gtest.h>
#include <win32_standin.h>

#include "siblings/zircim/vm_seams.h"

namespace testing_support {

// What the process holds that a path must give back: open files, global
// blocks (live and locked), DCs, selected palettes, GDI objects, windows,
// framework allocations, store mappings and their bytes.
struct Holdings {
    std::tuple<int, int, int, int, int, int, int, long, long, SIZE_T> all = {
        win32_standin::OpenFileHandles(), win32_standin::LiveGlobalBlocks(), win32_standin::LockedGlobalBlocks(),
        win32_standin::HeldDCs(),         win32_standin::SelectedPalettes(), win32_standin::LiveGdiObjects(),
        win32_standin::LiveWindows(),     afx_standin::LiveAllocations(),    zircim::LiveSlotMappings(),
        CVmImage::GetMappedBytesTotal()};
    bool operator==(const Holdings &other) const { return all == other.all; }
};

// Runs `act` with every fault cleared, counting the calls of each seam, then
// once for each of those calls with that call failing; after each run the
// faults are cleared and `check(seam, k)` judges it (seam NULL and k 0 for
// the first run). Returns the counts as "seam n seam n ...", for a test to print.
inline std::string SweepSeams(const std::function<void()> &act, const std::function<void(const char *, int)> &check) {
    using win32_standin::Call;
    struct Seam {
        const char *name;
        std::function<long()> calls;
        std::function<void(int)> failNth;
        long count;
    };
    std::vector<Seam> seams;
    for (auto [name, call] : {std::pair{"CreateFileA", Call::CreateFileA},
                              {"ReadFile", Call::ReadFile},
                              {"WriteFile", Call::WriteFile},
                              {"GlobalAlloc", Call::GlobalAlloc},
                              {"GlobalReAlloc", Call::GlobalReAlloc},
                              {"GetDIBits", Call::GetDIBits},
                              {"GlobalLock", Call::GlobalLock},
                              {"GetDC", Call::GetDC}})
        seams.push_back({name, [call = call] { return long(win32_standin::CallCount(call)); },
                         [call = call](int n) { win32_standin::FailNth(call, n); }, 0});
    seams.push_back({"framework allocation", afx_standin::AllocationAttempts, afx_standin::FailNthAllocation, 0});
    seams.push_back({"slot mapping", zircim::SlotMappingCalls, zircim::FailNthSlotMapping, 0});
    seams.push_back({"swap transfer", zircim::SwapTransferCalls, zircim::FailNthSwapTransfer, 0});
    auto clearFaults = [] {
        win32_standin::ClearFaults(), afx_standin::ClearFaults();
        zircim::FailNthSlotMapping(0), zircim::FailNthSwapTransfer(0);
    };
    clearFaults();
    win32_standin::ResetCallCounts(), afx_standin::ResetAllocationAttempts(), zircim::ResetStoreCallCounts();
    for (const Seam &seam : seams)
        EXPECT_EQ(seam.calls(), 0) << seam.name << ": the count did not start again from 0";
    act();
    for (Seam &seam : seams)
        seam.count = seam.calls();
    check(nullptr, 0);
    std::string line;
    for (const Seam &seam : seams) {
        line += (line.empty() ? "" : " ") + std::string(seam.name) + " " + std::to_string(seam.count);
        for (int k = 1; k <= seam.count; ++k)
            seam.failNth(k), act(), clearFaults(), check(seam.name, k);
    }
    return line;
}

} // namespace testing_support
