// Every fault point of every public path: each path runs once to count the calls each seam sees, then once per call
// with that call failing, and must end with a documented status (or exactly the fault-free result, where the path can
// do without the call), leaving nothing open, allocated, locked, selected or mapped. The counts are printed per path.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>

#include "bmpio/dib_fixtures.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include "support/fault_sweep.h"

namespace {

using namespace dib_fixtures;
using namespace dirira;

// `act` runs with the fault armed and answers a status (kThrew: the framework's memory exception); `collect`, called
// after the faults are cleared when `act` succeeded, gives the whole result (file written, samples read, block made)
// and releases it. `failures`: the documented outcomes of a failed run; `lossy`: seams whose failure may change a
// successful result (the reader does not examine its read of the pixels: a short file reads as zeros).
constexpr int kThrew = -100;
struct Path {
    const char *name;
    std::function<int()> act;
    std::function<Block()> collect;
    std::set<int> failures;
    std::set<std::string> lossy = {};
};

int guarded(const std::function<int()> &act) {
    try {
        return act();
    } catch (CException *e) {
        return e->Delete(), kThrew;
    }
}

Block samples_of(CStlImage &image) {
    Block bytes;
    each_sample(image, [&](int x, int y, int plane) { bytes.push_back(image.GetPixelGray256(x, y, plane)); });
    return bytes;
}

struct FaultSweep : testing::Test {
    void SetUp() override {
        fill(colour_, 37, 23, 3), fill(gray_, 29, 17, 1), CBmp::Write(&colour_, colourFile_.c_str(), 0, NULL, NULL);
        dib_ = colour_.GetDib(0), screen_ = GetDC(NULL), bitmap_ = Bmp::BitmapFromDib(screen_, dib_);
    }
    void TearDown() override { DeleteObject(bitmap_), ReleaseDC(NULL, screen_), GlobalFree(dib_); }

    // After each run target_ is emptied, as its store's layout may differ.
    void sweep(const Path &path) {
        target_ = CStlImage();
        const testing_support::Holdings before;
        int status = kThrew;
        Block clean;
        const std::string counts = testing_support::SweepSeams(
            [&] { status = guarded(path.act); },
            [&](const char *seam, int k) {
                if (seam == nullptr) { // the run without faults
                    ASSERT_EQ(status, kBmpOk) << path.name;
                    clean = path.collect(), target_ = CStlImage();
                    ASSERT_TRUE(testing_support::Holdings() == before) << path.name;
                    return;
                }
                const bool passed = status == kBmpOk && (path.collect() == clean || path.lossy.count(seam) != 0);
                target_ = CStlImage();
                EXPECT_TRUE(passed || path.failures.count(status) != 0)
                    << path.name << ", " << seam << " call " << k << ": status " << status;
                EXPECT_TRUE(testing_support::Holdings() == before) << path.name << ", " << seam << " call " << k;
            });
        std::printf("%s: %s\n", path.name, counts.c_str());
    }

    CStlImage colour_, gray_, target_; // target_: what a path reads into, made before the faults
    HGLOBAL made_ = NULL;
    testing_support::TempDir dir_;
    const std::string colourFile_ = dir_.file("colour.bmp"), output_ = dir_.file("out.bmp");
    testing_support::ProgressWindow window_;
    HDIB dib_ = NULL;
    HDC screen_ = NULL;
    HBITMAP bitmap_ = NULL;
};

// The string operations that record where an image came from let the framework's memory exception out of Read. (The
// program's conversion sweep reads and writes under a budget that makes the store page.)
TEST_F(FaultSweep, FilePathsFailWithTheirStatusAndLeaveNothing) {
    const std::set<int> reading = {kBmpCannotOpen, kBmpReadFailed, kBmpNoMemory, kThrew},
                        writing = {kBmpCannotCreate, kBmpWriteFailed, kBmpNoMemory};
    auto file = [this] { return testing_support::read_file(output_); };
    sweep({"Read",
           [&] { return CBmp::Read(&target_, colourFile_.c_str(), window_.handle(), "reading"); },
           [this] { return samples_of(target_); },
           reading,
           {"ReadFile"}});
    sweep({"ReadHeader",
           [&] { return CBmp::ReadHeader(&target_, colourFile_.c_str(), window_.handle(), "header"); },
           [this] { return Block{static_cast<unsigned char>(target_.GetOrgPlanes())}; },
           {kBmpHeaderUnusable}});
    sweep(
        {"Write", [&] { return CBmp::Write(&gray_, output_.c_str(), 0, window_.handle(), "writing"); }, file, writing});
    sweep({"WriteDIB", [&] { return Bmp::WriteDIB(output_.c_str(), dib_); }, file, writing});
}

TEST_F(FaultSweep, BlockPathsFailWithNothingAndLeaveNothing) {
    auto made = [this](HGLOBAL block) { return (made_ = block) != NULL ? kBmpOk : kBmpNoMemory; };
    auto block = [this] { return take(made_); };
    sweep({"AttachDIB",
           [&] { return target_.AttachDIB(dib_, window_.handle(), "attaching") ? kBmpOk : kBmpNoMemory; },
           [this] { return samples_of(target_); },
           {kBmpNoMemory}});
    sweep({"GetDib", [&] { return made(colour_.GetDib(0)); }, block, {kBmpNoMemory}});
    sweep(
        {"DibFromBitmap", [&] { return made(Bmp::DibFromBitmap(bitmap_, BI_RGB, 24, NULL)); }, block, {kBmpNoMemory}});
    sweep({"BitmapFromDib",
           [&] { return made(Bmp::BitmapFromDib(screen_, dib_)); },
           [&] { // its pixels, captured again
               const Block pixels = take(Bmp::DibFromBitmap(static_cast<HBITMAP>(made_), BI_RGB, 24, NULL));
               return DeleteObject(made_), pixels;
           },
           {kBmpNoMemory}});
}

} // namespace
#endif
