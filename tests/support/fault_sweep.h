// Every fault point of a path, for the stand-ins (Linux only): the Win32
// subset's seams, the framework's allocations, and the pixel store's slot
// mappings and swap-file transfers. A path runs once to count the calls
// each seam sees, then once per call with that very call failing.
#pragma once

#include <functional>
#include <string>

#include <windows.h>

namespace testing_support {

// What the process holds that a path must give back: open files, global
// blocks (live and locked), DCs, selected palettes, GDI objects, framework
// allocations, store mappings and their bytes.
struct Holdings {
    Holdings();
    bool operator==(const Holdings &other) const;
    int files, blocks, locked, dcs, palettes, gdiObjects;
    long allocations, mappings;
    SIZE_T mapped;
};

// Runs `act` with every fault cleared, counting the calls of each seam,
// then once for each of those calls with that call failing; after each run
// the faults are cleared and `check(seam, k)` judges it (seam NULL and k 0
// for the first run).
// Returns the counts as "seam n seam n ...", for a test to print.
std::string SweepSeams(const std::function<void()> &act, const std::function<void(const char *, int)> &check);

}  // namespace testing_support
