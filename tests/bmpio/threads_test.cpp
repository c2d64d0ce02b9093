// Eight threads write, read and look into images of their own at once, as a host reading several files does, with and
// without a budget that makes every store page, and must get what one thread gets. The ThreadSanitizer build (make
// test-tsan) runs this test to find races in the stand-ins' shared tables and the store's shared counters.
#include <gtest/gtest.h>

#include <thread>

#include "bmpio/dib_fixtures.h"
#include "support/progress_window.h"
#include "support/temp_dir.h"

namespace {

// The two statuses, each sample read back with its display byte (and in plane 0 the brightness), and the progress
// messages, for a picture of its own for each seed: gray or colour, sizes that differ. Seed 1's is big enough for
// two threads to decode it, where the store is in one region.
std::pair<std::vector<double>, std::vector<testing_support::ProgressMessage>> round_trip(const std::string &path,
                                                                                         int seed) {
    CStlImage image, back;
    dib_fixtures::fill(image, seed == 1 ? 420 : 40 + seed * 7 % 90, seed == 1 ? 420 : 30 + seed * 5 % 70,
                       seed % 2 == 0 ? 1 : 3);
    testing_support::ProgressWindow window;
    std::vector<double> values = {double(CBmp::Write(&image, path.c_str(), 0, window.handle(), "writing")),
                                  double(CBmp::Read(&back, path.c_str(), window.handle(), "reading"))};
    dib_fixtures::each_sample(back, [&](int x, int y, int plane) {
        values.insert(values.end(), {back.GetPixelGrayRaw(x, y, plane), double(back.GetPixelGray256(x, y, plane)),
                                     plane ? 0.0 : back.GetPixelBrightRaw(x, y)});
    });
    return {values, window.messages()};
}

struct Threads : testing_support::LeakCheckedTest {
    void TearDown() override { CVmImage::SetMemoryBudget(0), LeakCheckedTest::TearDown(); }
    testing_support::TempDir dir_;
};

TEST_F(Threads, EachThreadGetsWhatOneThreadGets) {
    constexpr int kThreads = 8, kSeeds = 4 * kThreads;
    for (SIZE_T budget : {SIZE_T{0}, SIZE_T{1}}) { // 1: a single slot each, so every store pages
        CVmImage::SetMemoryBudget(budget);
        std::vector<decltype(round_trip("", 0))> alone, together(kSeeds);
        for (int seed = 0; seed < kSeeds; ++seed)
            alone.push_back(round_trip(dir_.file("alone.bmp"), seed));
        // Seed 1: 420 x 420, colour, written and read.
        EXPECT_TRUE(alone[1].first.size() == 2 + 420 * 420 * 3 * 3 && alone[1].first[0] == 0 &&
                    alone[1].first[1] == 0 && !alone[1].second.empty());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                const std::string path = dir_.file("thread" + std::to_string(t) + ".bmp");
                for (int seed = t; seed < kSeeds; seed += kThreads)
                    together[std::size_t(seed)] = round_trip(path, seed);
            });
        for (std::thread &thread : threads)
            thread.join();
        for (std::size_t seed = 0; seed < alone.size(); ++seed)
            EXPECT_TRUE(together[seed] == alone[seed]) << "seed " << seed << ", budget " << budget;
    }
}

} // namespace
