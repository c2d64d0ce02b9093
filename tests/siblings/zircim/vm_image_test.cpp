// The paged pixel store: against a plain array holding the same samples, its blocks and budget, its flags, and its
// slot memory refused.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <random>
#include <vector>

#include <afx_standin.h>

#include "image/vm_store.h"
#include "siblings/zircim/vm_seams.h"
#include "support/temp_dir.h"

namespace {

#ifdef _WIN32
constexpr bool kHugePageSlots = false; // VirtualAlloc aligns to 64 KiB only
#else
constexpr bool kHugePageSlots = true;
#endif

float *at(CVmImage &store, int x, int y, int plane, int readOnly, int flag = CVmImage::kReadBack, void **lock = NULL) {
    return reinterpret_cast<float *>(store.GetImageAdr(x, y, plane, readOnly, flag, lock));
}

#ifndef _WIN32
long mapped_pages() { // the process's address space, in pages
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages;
}
#endif

struct VmImage : testing::Test {
    void TearDown() override { CVmImage::SetMemoryBudget(0); }
    void create(CVmImage &store, int w, int h, int planes, SIZE_T slots) { // a budget of `slots` blocks
        CVmImage probe;
        ASSERT_NE(probe.Create(w, h, planes, 4), 0);
        slot_ = SIZE_T(probe.GetBlockSize());
        CVmImage::SetMemoryBudget(slots * slot_);
        ASSERT_NE(store.Create(w, h, planes, 4), 0);
    }
    SIZE_T slot_ = 0;
};

// Eight planes of one block each, three slots: most lookups page.
TEST_F(VmImage, PagedStoreAgreesWithAPlainArray) {
    constexpr int W = 5, H = 7, P = 8;
    CVmImage store;
    create(store, W, H, P, 3);
    std::vector<float> model(W * H * P, 0.0f);
    std::vector<std::pair<float *, int>> recent, locked; // address, sample
    std::vector<void *> tokens;
    int locks[P] = {};
    std::mt19937 rng(99);
    const auto pick = [&rng](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
    for (int step = 0; step < 4000; ++step) {
        const int x = pick(-1, W), y = pick(-1, H), plane = pick(0, P), kind = pick(0, 9),
                  index = (plane * H + y) * W + x;
        const bool withLock = kind == 9 && locked.size() < 2,
                   outside = x < 0 || x == W || y < 0 || y == H || plane == P;
        void *token = &model;
        float *p = at(store, x, y, plane, kind < 4, CVmImage::kReadBack, withLock ? &token : NULL);
        EXPECT_TRUE(outside ? p == nullptr && token == (withLock ? nullptr : &model)
                            : p != nullptr && *p == model[index])
            << step;
        if (outside)
            continue;
        if (kind >= 4)
            *p = model[index] = float(step) / 7.0f; // no byte of it zero, as a whole number's low bytes are
        if (withLock)
            locked.emplace_back(p, index), tokens.push_back(token), ++locks[plane];
        if (!withLock)
            recent.insert(recent.begin(), {p, index}), recent.resize(std::min<std::size_t>(recent.size(), 3));
        if (kind == 8 && !locked.empty()) {
            EXPECT_EQ(store.Unlock(tokens.back()), --locks[locked.back().second / (W * H)]) << step;
            locked.pop_back(), tokens.pop_back();
        }
        for (const auto &held : recent)
            EXPECT_EQ(*held.first, model[held.second]) << step << " recent";
        for (const auto &held : locked)
            EXPECT_EQ(*held.first, model[held.second]) << step << " locked";
        if (step % 1000 == 999) { // a copy takes resident and paged-out blocks alike
            CVmImage copy(store, NULL);
            for (int i = 0; i < W * H * P; ++i)
                ASSERT_EQ(*at(copy, i % W, i / W % H, i / (W * H), 1), model[i]) << i;
        }
    }
    int foreign = 0;
    store.UnlockAll();
    EXPECT_TRUE(store.Unlock(&foreign) == -1 && store.Unlock(nullptr) == -1 &&
                (tokens.empty() || store.Unlock(tokens[0]) == -1));
    CVmImage empty, copy(empty, NULL); // an empty store and its copy hold nothing
    for (CVmImage *e : {&empty, &copy})
        EXPECT_EQ(std::make_tuple(e->GetWidth(), e->GetHeight(), e->GetPlanes(), e->GetBlockSize(), e->GetBlockRows(),
                                  e->GetResidentBytes()),
                  std::make_tuple(0, 0, 0, 0, 0, SIZE_T(0)));
}

// Blocks of 512 rows of 1024 samples in 2 MiB-aligned huge-page slots, the last one short; the budget of three
// slots holds them all the time. A store beyond the machine's memory needs a budget, and 1 TiB bounds that.
TEST_F(VmImage, RowBlocksPageOutAndBackWithinTheBudget) {
    CVmImage store;
    create(store, 1024, 1100, 2, 3);
    EXPECT_TRUE(store.GetBlockRows() == 512 && slot_ == SIZE_T{2} << 20);
    for (int pass = 0; pass < 2; ++pass)
        for (int plane = 0; plane < 2; ++plane)
            for (int y : {0, 511, 512, 1023, 1024, 1099})
                for (int x : {0, 1023}) {
                    float *p = at(store, x, y, plane, pass);
                    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p - x) % slot_ * kHugePageSlots,
                              std::uintptr_t(y % 512) * 4096 * kHugePageSlots);
                    if (pass == 0)
                        *p = float(plane * 100000 + y * 10 + x) / 3.0f;
                    EXPECT_EQ(*p, float(plane * 100000 + y * 10 + x) / 3.0f) << plane << " " << y << " " << x;
                }
    EXPECT_EQ(store.GetResidentBytes(), 3 * slot_); // paged within the budget
    // Without a budget the rows lie as in a plain array, each plane a page and a cache line further on.
    CVmImage whole;
    CVmImage::SetMemoryBudget(0);
    ASSERT_NE(whole.Create(1024, 1100, 2, 4), 0);
    const float *origin = at(whole, 0, 0, 0, 1);
    for (int plane = 0; plane < 2; ++plane)
        for (int y : {1, 511, 512, 1099}) { // a locked lookup takes the store's full path to the same sample
            void *token = nullptr;
            EXPECT_EQ(at(whole, 0, y, plane, 1) - origin,
                      std::ptrdiff_t(plane * (1100 + 1) * 1024 + plane * 16 + y * 1024));
            EXPECT_EQ(at(whole, 3, y, plane, 0, CVmImage::kReadBack, &token), at(whole, 3, y, plane, 1));
            EXPECT_EQ(whole.Unlock(token), 0);
        }
    CVmImage big;
    EXPECT_EQ(big.Create(46340, 46340, 6, 8), 0); // 103 GB
    CVmImage::SetMemoryBudget(slot_);
    EXPECT_NE(big.Create(46340, 46340, 6, 8), 0);
    EXPECT_EQ(store.Create(46340, 46340, 65, 8), 0); // 1.12 TB
    // w, h, planes, bytes; the last: a row of 2.4 GB, a slot past an int's reach
    for (const auto &g :
         {std::array<int, 4>{0, 5, 1, 4}, {5, 0, 1, 4}, {5, 5, 0, 4}, {5, 5, 1, 3}, {300000000, 1, 1, 8}})
        EXPECT_EQ(store.Create(g[0], g[1], g[2], g[3]), 0) << g[0] << "x" << g[1] << "x" << g[2] << " of " << g[3];
    EXPECT_EQ(store.GetPlanes(), 2);
}

// A 640 x 480 colour frame's one region (three planes, each a page and a cache line past the one before) takes
// whole huge pages, aligned, where the budget allows them, else its small pages; a gray frame fits in one.
TEST_F(VmImage, ARegionSpanningHugePagesTakesWholeOnesWithinTheBudget) {
    constexpr SIZE_T kFrame = 3 * (640 * 480 * 4 + 4096 + 64), kSmall = (kFrame + 4095) / 4096 * 4096;
    const struct {
        int planes;
        SIZE_T budget, resident;
        bool aligned;
    } cases[] = {{3, 0, SIZE_T{4} << 20, kHugePageSlots},
                 {3, SIZE_T{4} << 20, SIZE_T{4} << 20, kHugePageSlots},
                 {3, (SIZE_T{4} << 20) - 1, kSmall, false},
                 {1, 0, (kFrame / 3 + 4095) / 4096 * 4096, false}};
    for (const auto &c : cases) {
        CVmImage::SetMemoryBudget(c.budget);
        CVmImage store;
        ASSERT_NE(store.Create(640, 480, c.planes, 4), 0);
        EXPECT_EQ(store.GetResidentBytes(), c.resident) << c.planes << " planes, budget " << c.budget;
        if (c.aligned) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(at(store, 0, 0, 0, 1)) % (SIZE_T{2} << 20), 0u);
        }
    }
}

// A block written through a read-only address is clean, so that write is lost when it pages out; kFreshBlock
// brings a paged-out block back as zeros and leaves a resident one as it is. Seven other planes push plane 0 out.
TEST_F(VmImage, ReadOnlyAndFreshBlockFlags) {
    CVmImage store;
    create(store, 4, 4, 8, 3);
    auto page_out_plane_0 = [&] {
        for (int plane = 1; plane < 8; ++plane)
            at(store, 0, 0, plane, 1);
    };
    *at(store, 1, 1, 0, 0) = 5.0f;
    page_out_plane_0();
    *at(store, 1, 1, 0, 1) = 6.0f; // breaks the read-only promise on purpose
    page_out_plane_0();
    EXPECT_EQ(*at(store, 1, 1, 0, 1), 5.0f);
    EXPECT_EQ(*at(store, 1, 1, 0, 0, CVmImage::kFreshBlock), 5.0f); // resident: unchanged
    page_out_plane_0();
    EXPECT_EQ(*at(store, 1, 1, 0, 0, 2), 0.0f); // the documented value, which the image passes as its mode bit 1
}

// Past the budget the least recently used slot not holding one of the last addresses goes; a lookup with a token
// makes its block the most recent wherever it stood (first, or between others, next to slot 0 on either side).
// Three slots: 3 (in 0's), 1, 2; touched so, then 2 read three times, 3 is the one to go for 4: only 4 and 3 miss.
// A budget raised after creation gives new slots before anything goes: five blocks take five.
TEST_F(VmImage, EvictsTheLeastRecentlyUsedSlot) {
    {
        CVmImage raised;
        create(raised, 4, 4, 8, 3);
        CVmImage::SetMemoryBudget(6 * slot_);
        for (int plane = 0; plane < 5; ++plane)
            *at(raised, 0, 0, plane, 0) = 1.0f;
        EXPECT_EQ(raised.GetResidentBytes(), 5 * slot_);
    }
    for (const std::vector<int> &touched : {std::vector<int>{2, 1, 3, 1}, {2, 1, 2}}) {
        CVmImage store;
        create(store, 4, 4, 8, 3);
        std::vector<zircim::FullLookup> log;
        void *token = nullptr;
        for (int plane : {0, 1, 2, 3, 3, 3, 3})
            at(store, 0, 0, plane, 1);
        for (int plane : touched)
            at(store, 0, 0, plane, 1, CVmImage::kReadBack, &token), store.Unlock(token);
        for (int plane : {2, 2, 2})
            at(store, 0, 0, plane, 1);
        zircim::WatchFullLookups(&log);
        for (int plane : {4, 1, 3})
            at(store, 1, 1, plane, 1);
        zircim::WatchFullLookups(nullptr);
        std::string planes;
        for (const auto &l : log)
            planes += std::to_string(l.plane);
        EXPECT_EQ(planes, "43") << touched.size();
    }
    // A store made again keeps nothing of its recency: the same random lookups miss as in a new store.
    std::vector<int> planes(300);
    std::mt19937 random(31);
    for (int &plane : planes)
        plane = int(random() % 8);
    const auto misses = [&](CVmImage &store) {
        std::vector<zircim::FullLookup> log;
        zircim::WatchFullLookups(&log);
        for (int plane : planes)
            *at(store, plane % 4, 0, plane, 0) += 1.0f;
        zircim::WatchFullLookups(nullptr);
        std::string missed;
        for (const auto &l : log)
            missed += char('0' + l.plane);
        return missed;
    };
    CVmImage again, once, fresh[2];
    create(again, 4, 4, 8, 3), misses(again), create(again, 4, 4, 8, 3);
    create(once, 4, 4, 8, 3), at(once, 0, 0, 0, 0), create(once, 4, 4, 8, 3); // its first slot was the newest
    create(fresh[0], 4, 4, 8, 3), create(fresh[1], 4, 4, 8, 3);
    EXPECT_EQ(misses(again) + " " + misses(once), misses(fresh[0]) + " " + misses(fresh[1]));
}

// A store without a budget whose one region is refused fails in a 64-bit process (the system refused the memory)
// and maps slot by slot in a 32-bit one (its address space may lack a hole that large). Whichever slot mapping the
// system refuses, creation fails with nothing left mapped or allocated. A lookup that needs a new slot, every slot
// being locked, answers NULL and maps nothing. A store gives back every mapping when it dies, to the system.
TEST_F(VmImage, RefusedSlotMappingLeavesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "needs the Linux store's slot-mapping seam";
#else
    const long live = zircim::LiveSlotMappings(), pages = mapped_pages();
    EXPECT_NE(CVmImage().Create(1024, 1100, 8, 4), 0);
    {
        CVmImage paged; // slots and row tables mapped one by one
        create(paged, 5, 7, 3, 1);
        EXPECT_NE(at(paged, 0, 6, 2, 0), nullptr);
    }
    CVmImage::SetMemoryBudget(0);
    EXPECT_TRUE(zircim::LiveSlotMappings() == live && mapped_pages() == pages) << "the memory went back to the system";
    {
        CVmImage refused;
        zircim::FailNthSlotMapping(1);
        const bool wide = sizeof(void *) == 8;
        EXPECT_EQ(refused.Create(5, 7, 3, 4), wide ? 0 : 1);
        EXPECT_EQ(zircim::LiveSlotMappings(), live + (wide ? 0 : 3));
    }
    CVmImage budgeted, store;
    create(budgeted, 5, 7, 3, 3);
    EXPECT_EQ(zircim::LiveSlotMappings(), live + 3);
    const long allocated = afx_standin::LiveAllocations();
    const SIZE_T bytes = CVmImage::GetMappedBytesTotal();
    for (int nth = 1; nth <= 3; ++nth) {
        zircim::FailNthSlotMapping(nth);
        EXPECT_EQ(store.Create(5, 7, 3, 4), 0) << nth;
        EXPECT_TRUE(zircim::LiveSlotMappings() == live + 3 && afx_standin::LiveAllocations() == allocated &&
                    CVmImage::GetMappedBytesTotal() == bytes)
            << nth;
    }
    zircim::FailNthSlotMapping(0);
    create(store, 5, 7, 3, 1);
    void *token = nullptr;
    ASSERT_NE(at(store, 0, 0, 0, 0, CVmImage::kReadBack, &token), nullptr);
    zircim::FailNthSlotMapping(1);
    EXPECT_EQ(at(store, 0, 0, 1, 1), nullptr);
    zircim::FailNthSlotMapping(0);
    EXPECT_TRUE(zircim::LiveSlotMappings() == live + 4 && store.GetResidentBytes() == slot_);
    EXPECT_NE(at(store, 0, 0, 1, 1), nullptr);
    EXPECT_EQ(zircim::LiveSlotMappings(), live + 5);
#endif
}

// The swap file goes to TMPDIR, or to /tmp when TMPDIR is unset or empty: the folders of the swap files a store that
// pages holds open (the files have no name; the process's descriptor names the folder they were made in).
TEST_F(VmImage, SwapFileGoesToTmpdirElseTmp) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows store swaps to the system's temporary folder";
#else
    const auto swap_folders = [] {
        std::multiset<std::string> folders;
        for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
            if (!error && target.find("(deleted)") != std::string::npos)
                folders.insert(std::filesystem::path(target).parent_path().string());
        }
        return folders;
    };
    const char *saved = std::getenv("TMPDIR");
    const std::string kept = saved != nullptr ? saved : "";
    testing_support::TempDir dir;
    for (const auto &[tmpdir, folder] :
         {std::pair<const char *, std::string>{dir.path().c_str(), dir.path()}, {"", "/tmp"}, {nullptr, "/tmp"}}) {
        tmpdir != nullptr ? setenv("TMPDIR", tmpdir, 1) : unsetenv("TMPDIR");
        const std::multiset<std::string> before = swap_folders();
        CVmImage store;
        create(store, 5, 7, 8, 3);
        for (int plane = 0; plane < 8; ++plane)
            *at(store, 0, 0, plane, 0) = 1.0f; // dirty blocks page out
        std::multiset<std::string> after = swap_folders();
        for (const std::string &old : before)
            after.erase(after.find(old));
        EXPECT_EQ(after, std::multiset<std::string>{folder}) << (tmpdir != nullptr ? tmpdir : "unset");
    }
    saved != nullptr ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
#endif
}

} // namespace
