// Every fault point of every public path: each path runs once to count the
// calls each seam sees, then once per call with that call failing. Each run
// must end with a documented status (or succeed with exactly the fault-free
// result, where the path can do without the call), and leave nothing open,
// allocated, locked, selected or mapped. The counts are printed per path.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>

#include <dirira/dirira.h>

#include "bmpio/dib_fixtures.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include "support/fault_sweep.h"

namespace {

using dib_fixtures::Block;
using dib_fixtures::Bmp;
using namespace dirira;

// A path in two parts: `act` runs with the fault armed and answers a status
// (kThrew for the framework's memory exception); `collect`, called after the
// faults are cleared and only when `act` succeeded, gives the whole result
// (the file written, the samples read, the block made) and releases it.
constexpr int kThrew = -100;
struct Path {
    const char *name;
    std::function<int()> act;
    std::function<Block()> collect;
    std::set<int> failures;  // the documented outcomes of a failed run
    // Seams whose failure may leave a successful run with another result:
    // the reader does not examine its read of the pixels (a short file
    // reads as zeros).
    std::set<std::string> lossy = {};
};

int guarded(const std::function<int()> &act) {
    try {
        return act();
    } catch (CException *e) {
        e->Delete();
        return kThrew;
    }
}

template <typename F> void each_sample(CStlImage &image, F f) {
    for (int plane = 0; plane < image.GetPlanes(); ++plane)
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x) f(x, y, plane);
}

Block samples_of(CStlImage &image) {
    Block bytes;
    each_sample(image, [&](int x, int y, int plane) { bytes.push_back(image.GetPixelGray256(x, y, plane)); });
    return bytes;
}

// A picture with every sample its own.
void fill(CStlImage &image, int width, int height, int planes) {
    image.Create(width, height, planes);
    each_sample(image, [&](int x, int y, int plane) { image.SetPixelGrayRaw(x, y, float((x * 37 + y * 11 + plane * 101) % 256), plane); });
}

class FaultSweep : public testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_WIN32_SEAMS("fault injection and resource accounting");
        CStlImage big;  // planes of two blocks each
        fill(colour_, 37, 23, 3), fill(gray_, 29, 17, 1), fill(big, 1024, 600, 3);
        CBmp::Write(&colour_, colourFile_.c_str(), 0, NULL, NULL), CBmp::Write(&big, bigFile_.c_str(), 0, NULL, NULL);
        dib_ = colour_.GetDib(0), screen_ = GetDC(NULL), bitmap_ = Bmp::BitmapFromDib(screen_, dib_);
    }
    void TearDown() override { DeleteObject(bitmap_), ReleaseDC(NULL, screen_), GlobalFree(dib_); }

    // Runs the path once per call of each seam, that call failing. After
    // each run target_ is emptied, as its store's layout may differ.
    void sweep(const Path &path) {
        target_ = CStlImage();
        const testing_support::Holdings before;
        int status = kThrew;
        Block clean;
        const std::string counts = testing_support::SweepSeams([&] { status = guarded(path.act); },
            [&](const char *seam, int k) {
                if (seam == nullptr) {  // the run without faults
                    ASSERT_EQ(status, kBmpOk) << path.name;
                    clean = path.collect();
                    target_ = CStlImage();
                    ASSERT_TRUE(testing_support::Holdings() == before) << path.name;
                    return;
                }
                const bool passed = status == kBmpOk && (path.collect() == clean || path.lossy.count(seam) != 0);
                target_ = CStlImage();
                EXPECT_TRUE(passed || path.failures.count(status) != 0) << path.name << ", " << seam << " call " << k << ": status " << status;
                EXPECT_TRUE(testing_support::Holdings() == before) << path.name << ", " << seam << " call " << k;
            });
        std::printf("%s: %s\n", path.name, counts.c_str());
    }

    CStlImage colour_, gray_, target_;  // target_: what a path reads into, made before the faults
    HGLOBAL made_ = NULL;
    testing_support::TempDir dir_;
    const std::string colourFile_ = dir_.file("colour.bmp"), bigFile_ = dir_.file("big.bmp"), output_ = dir_.file("out.bmp");
    testing_support::ProgressWindow window_;
    HDIB dib_ = NULL;
    HDC screen_ = NULL;
    HBITMAP bitmap_ = NULL;
};

TEST_F(FaultSweep, FilePathsFailWithTheirStatusAndLeaveNothing) {
    // The string operations that record where an image came from let the
    // framework's memory exception out of Read.
    const std::set<int> reading = {kBmpCannotOpen, kBmpReadFailed, kBmpNoMemory, kThrew};
    const std::set<int> writing = {kBmpCannotCreate, kBmpWriteFailed, kBmpNoMemory};
    auto samples = [this] { return samples_of(target_); };
    auto file = [this] { return testing_support::read_file(output_); };
    sweep({"Read", [&] { return CBmp::Read(&target_, colourFile_.c_str(), window_.handle(), "reading"); }, samples,
           reading, {"ReadFile"}});
    sweep({"ReadHeader", [&] { return CBmp::ReadHeader(&target_, colourFile_.c_str(), window_.handle(), "header"); },
           [this] { return Block{static_cast<unsigned char>(target_.GetOrgPlanes())}; }, {kBmpHeaderUnusable}});
    sweep({"Write", [&] { return CBmp::Write(&gray_, output_.c_str(), 0, window_.handle(), "writing"); }, file, writing});
    sweep({"WriteDIB", [&] { return Bmp::WriteDIB(output_.c_str(), dib_); }, file, writing});
    // The store pages: a budget of one slot (it keeps the three it holds the
    // last addresses in), a read, a write of what it read.
    sweep({"Read and Write, paging",
           [&] {
               CVmImage::SetMemoryBudget(1);
               int status = guarded([&] { return CBmp::Read(&target_, bigFile_.c_str(), NULL, NULL); });
               if (status == kBmpOk)
                   status = CBmp::Write(&target_, output_.c_str(), 0, NULL, NULL);
               CVmImage::SetMemoryBudget(0);
               return status;
           },
           file, {kBmpCannotOpen, kBmpReadFailed, kBmpNoMemory, kThrew, kBmpCannotCreate, kBmpWriteFailed}, {"ReadFile"}});
}

TEST_F(FaultSweep, BlockPathsFailWithNothingAndLeaveNothing) {
    auto made = [this](HGLOBAL block) { return (made_ = block) != NULL ? kBmpOk : kBmpNoMemory; };
    auto block = [this] { return dib_fixtures::take(made_); };
    sweep({"AttachDIB", [&] { return target_.AttachDIB(dib_, window_.handle(), "attaching") ? kBmpOk : kBmpNoMemory; },
           [this] { return samples_of(target_); }, {kBmpNoMemory}});
    sweep({"GetDib", [&] { return made(colour_.GetDib(0)); }, block, {kBmpNoMemory}});
    sweep({"DibFromBitmap", [&] { return made(Bmp::DibFromBitmap(bitmap_, BI_RGB, 24, NULL)); }, block, {kBmpNoMemory}});
    sweep({"BitmapFromDib", [&] { return made(Bmp::BitmapFromDib(screen_, dib_)); },
           [&] {  // its pixels, captured again
               const HBITMAP bitmap = static_cast<HBITMAP>(made_);
               const Block pixels = dib_fixtures::take(Bmp::DibFromBitmap(bitmap, BI_RGB, 24, NULL));
               DeleteObject(bitmap);
               return pixels;
           },
           {kBmpNoMemory}});
}

}  // namespace
#endif
