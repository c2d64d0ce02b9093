// Eight threads each write, read and look into images of their own through
// the library and the stand-ins at once, as a host reading several files
// does, with and without a memory budget that makes every store page. Each
// thread's results must equal what the same work gives on one thread. The
// ThreadSanitizer build (make test-tsan) runs this test to find races in
// the stand-ins' shared tables and the store's shared counters.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include <dirira/dirira.h>

#include "support/progress_window.h"
#include "support/temp_dir.h"
#include "support/win32_seams.h"

namespace {

constexpr int kThreads = 8, kRounds = 4;

// The two statuses, then each sample read back with its display byte (and in
// plane 0 the brightness); the progress messages.
using Outcome = std::pair<std::vector<double>, std::vector<testing_support::ProgressMessage>>;

// A picture of its own for each seed: gray or colour, sizes that differ.
Outcome round_trip(const std::string &path, int seed) {
    std::mt19937 rng(seed);
    const int width = 40 + seed * 7 % 90, height = 30 + seed * 5 % 70, planes = seed % 2 == 0 ? 1 : 3;
    CStlImage image, back;
    image.Create(width, height, planes);
    for (int plane = 0; plane < planes; ++plane)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) image.SetPixelGrayRaw(x, y, float(rng() % 256), plane);
    testing_support::ProgressWindow window;
    std::vector<double> values = {double(CBmp::Write(&image, path.c_str(), 0, window.handle(), "writing")),
                                  double(CBmp::Read(&back, path.c_str(), window.handle(), "reading"))};
    for (int plane = 0; plane < back.GetPlanes(); ++plane)
        for (int y = 0; y < back.GetHeight(); ++y)
            for (int x = 0; x < back.GetWidth(); ++x)
                values.insert(values.end(), {back.GetPixelGrayRaw(x, y, plane), double(back.GetPixelGray256(x, y, plane)),
                                             plane == 0 ? back.GetPixelBrightRaw(x, y) : 0.0});
    return {values, window.messages()};
}

struct Threads : testing_support::LeakCheckedTest {
    void TearDown() override { CVmImage::SetMemoryBudget(0), LeakCheckedTest::TearDown(); }
    testing_support::TempDir dir_;
};

TEST_F(Threads, EachThreadGetsWhatOneThreadGets) {
    std::vector<Outcome> alone(kThreads * kRounds);
    for (int seed = 0; seed < kThreads * kRounds; ++seed)
        alone[std::size_t(seed)] = round_trip(dir_.file("alone.bmp"), seed);
    for (SIZE_T budget : {SIZE_T{0}, SIZE_T{1}}) {  // 1: a single slot each, so every store pages
        CVmImage::SetMemoryBudget(budget);
        std::vector<Outcome> together(alone.size());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < kRounds; ++round)
                    together[std::size_t(round * kThreads + t)] = round_trip(dir_.file("thread" + std::to_string(t) + ".bmp"), round * kThreads + t);
            });
        for (std::thread &thread : threads) thread.join();
        for (std::size_t i = 0; i < alone.size(); ++i)
            EXPECT_TRUE(together[i] == alone[i]) << "seed " << i << ", budget " << budget;
    }
    // Seed 1: 47 x 35, colour, written and read.
    EXPECT_TRUE(alone[1].first.size() == 2 + 47 * 35 * 3 * 3 && alone[1].first[0] == 0 && alone[1].first[1] == 0 && !alone[1].second.empty());
}

}  // namespace
