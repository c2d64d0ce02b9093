// What Windows does with global memory, as Wine's kernel32 heap tests
// record it (test_GlobalAlloc).
#include "platform/win32/win32_test.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace {

constexpr SIZE_T kMiB = SIZE_T{1} << 20;
constexpr unsigned char kFill = 0xAB;

using GlobalTest = testing_support::LeakCheckedTest;

// What Windows promises about one movable block: its bytes and lock count.
struct Model {
    std::vector<unsigned char> bytes;
    bool discarded;
    int locks;
    // Where the bytes are, without leaving them locked (a saturated count drops by one).
    unsigned char *Bytes(HGLOBAL h) {
        auto *data = static_cast<unsigned char *>(GlobalLock(h));
        GlobalUnlock(h);
        locks = std::min(locks, 0xFE);
        return data;
    }
    void Compare(HGLOBAL h) {
        EXPECT_EQ(GlobalSize(h), bytes.size());
        const unsigned char *data = discarded ? nullptr : Bytes(h);
        EXPECT_TRUE(discarded || !std::memcmp(data, bytes.data(), bytes.size()));
        EXPECT_TRUE(bytes.size() < 2 * kMiB || reinterpret_cast<std::uintptr_t>(data) % (2 * kMiB) == 0) << "mapped";
    }
};

// A seeded random run of the global calls against the model, sizes on both
// sides of the 2 MiB mapping threshold (and alignment) included: every
// answer, last error, size, byte and account is compared. A growing block
// moves when unlocked, or locked with GMEM_MOVEABLE; else it stays or
// fails. Wine differs on invalid handles too (todo_wine there).
TEST_F(GlobalTest, RandomCallsFollowTheDocumentedContract) {
    if (!testing_support::kWin32Seams)
        GTEST_SKIP() << "not yet settled under Wine: GlobalReAlloc of a locked block";
    const SIZE_T kSmall[] = {0, 1, 17, 4096}, kBig[] = {2 * kMiB - 1, 2 * kMiB, 3 * kMiB + 5};
    const UINT kFlags[] = {0, GMEM_MOVEABLE, GMEM_ZEROINIT, GMEM_MOVEABLE | GMEM_ZEROINIT};
    std::mt19937 random(20240611);
    std::map<HGLOBAL, Model> model;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto size = [&] { return pick(4) ? kSmall[pick(4)] : kBig[pick(3)]; };
    // The bytes that grow are zero with GMEM_ZEROINIT, else of unknown value: give them one.
    auto grow = [&](HGLOBAL h, Model &m, SIZE_T bytes, UINT flags) {
        const SIZE_T old = m.bytes.size();
        m.bytes.resize(bytes, flags & GMEM_ZEROINIT ? 0 : kFill);
        if (bytes > old && !(flags & GMEM_ZEROINIT))
            std::memset(m.Bytes(h) + old, kFill, bytes - old);
    };
    for (int step = 0; step < 500; ++step) {
        SCOPED_TRACE(step);
        const int op = model.empty() ? 0 : pick(5);
        auto it = model.begin();
        std::advance(it, model.empty() ? 0 : pick(static_cast<int>(model.size())));
        SetLastError(0xdeadbeef);
        if (op == 0 && model.size() < 10) {
            const UINT flags = GMEM_MOVEABLE | kFlags[pick(4)];
            const SIZE_T bytes = size();
            HGLOBAL h = GlobalAlloc(flags, bytes);
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h) % 16, 8u) << "8 bytes into 16, as Windows' handles";
            it = model.emplace(h, Model{{}, !bytes, 0}).first;
            grow(h, it->second, bytes, flags);
        } else if (op == 1) {
            Model &m = it->second;
            const UINT flags = kFlags[pick(4)] | (m.discarded ? GMEM_MOVEABLE : 0);
            const SIZE_T bytes = size(), old = m.bytes.size();
            const unsigned char *before = m.discarded ? nullptr : m.Bytes(it->first);
            const bool mayMove = !m.locks || (flags & GMEM_MOVEABLE);
            SetLastError(0xdeadbeef);
            const HGLOBAL result = GlobalReAlloc(it->first, bytes, flags);
            // Locked: no discarding (the last error left alone), and growing only in place unless GMEM_MOVEABLE.
            EXPECT_TRUE(result == (m.locks && !bytes ? nullptr : it->first) || (!mayMove && bytes > old && !result));
            EXPECT_EQ(GetLastError(), result || !bytes ? 0xdeadbeef : DWORD{ERROR_NOT_ENOUGH_MEMORY});
            if (result) {
                m.discarded = bytes == 0;
                const bool moved = before && bytes && m.Bytes(it->first) != before;
                EXPECT_TRUE(mayMove ? !before || bytes <= old || moved : !moved) << "moved: " << moved;
                grow(it->first, m, bytes, flags);
            }
        } else if (op == 2) {
            Model &m = it->second;
            for (int n = pick(8) ? 1 : 300; n > 0; --n) {
                EXPECT_EQ(GlobalLock(it->first) == nullptr, m.discarded);
                if (!m.discarded)
                    m.locks = std::min(m.locks + 1, 0xFF); // saturates
            }
            EXPECT_TRUE(!m.discarded || GetLastError() == ERROR_DISCARDED);
            if (const SIZE_T at = m.discarded ? 0 : random() % m.bytes.size(); !m.discarded) // change a byte
                m.Bytes(it->first)[at] = m.bytes[at] = static_cast<unsigned char>(random());
        } else if (op == 3) {
            Model &m = it->second;
            EXPECT_EQ(GlobalUnlock(it->first), m.locks > 1);
            EXPECT_EQ(GetLastError(), m.locks > 1 ? 0xdeadbeef : m.locks ? NO_ERROR : DWORD{ERROR_NOT_LOCKED});
            m.locks = std::max(m.locks - 1, 0);
        } else if (op == 4) {
            EXPECT_EQ(GlobalFree(it->first), nullptr) << "locked blocks are freed too";
            // A freed handle, as a made-up one, is invalid for every call; freeing it again returns it.
            for (HGLOBAL bad : {it->first, reinterpret_cast<HGLOBAL>(0xdeadbee8)}) {
                EXPECT_LAST_ERROR(GlobalFree(bad), bad, ERROR_INVALID_HANDLE);
                EXPECT_LAST_ERROR(GlobalSize(bad), 0u, ERROR_INVALID_HANDLE);
                EXPECT_LAST_ERROR(GlobalLock(bad), nullptr, ERROR_INVALID_HANDLE);
                EXPECT_LAST_ERROR(GlobalUnlock(bad), TRUE, ERROR_INVALID_HANDLE); // Windows' quirk
                EXPECT_LAST_ERROR(GlobalReAlloc(bad, 10, GMEM_MOVEABLE), nullptr, ERROR_INVALID_HANDLE);
            }
            model.erase(it);
            it = model.end();
        }
        if (it != model.end())
            it->second.Compare(it->first);
        SIZE_T bytes = 0;
        int locked = 0;
        for (const auto &entry : model)
            bytes += entry.second.bytes.size(), locked += entry.second.locks > 0;
        ASSERT_EQ(std::make_tuple(win32_standin::LiveGlobalBlocks(), win32_standin::LockedGlobalBlocks(),
                                  win32_standin::LiveGlobalBytes()),
                  std::make_tuple(static_cast<int>(model.size()), locked, bytes));
    }
    for (auto &entry : model)
        entry.second.Compare(entry.first), GlobalFree(entry.first);
    HGLOBAL locked = GlobalAlloc(GMEM_MOVEABLE, 4096); // a locked block shrinks in place
    void *at = GlobalLock(locked);
    EXPECT_TRUE(GlobalReAlloc(locked, 17, 0) == locked && GlobalSize(locked) == 17 && GlobalLock(locked) == at);
    // No caller asks for a fixed block or for attributes alone: the subset refuses both.
    EXPECT_LAST_ERROR(GlobalAlloc(0, 8), nullptr, ERROR_NOT_SUPPORTED);
    EXPECT_LAST_ERROR(GlobalReAlloc(locked, 0, GMEM_MODIFY), nullptr, ERROR_NOT_SUPPORTED);
    GlobalFree(locked);
    // A mapped block shrunk in place keeps its old bytes past its size; grown with GMEM_ZEROINIT, its pages move
    // and every byte past the old size reads 0.
    HGLOBAL big = GlobalAlloc(GMEM_MOVEABLE, 3 * kMiB);
    std::memset(GlobalLock(big), 7, 3 * kMiB), GlobalUnlock(big);
    EXPECT_EQ(GlobalReAlloc(big, 2 * kMiB + 5, 0), big);
    EXPECT_EQ(GlobalReAlloc(big, 5 * kMiB, GMEM_ZEROINIT), big);
    const auto *grown = static_cast<const unsigned char *>(GlobalLock(big));
    EXPECT_EQ(std::vector<SIZE_T>({GlobalSize(big), grown[0], grown[2 * kMiB + 4], grown[2 * kMiB + 5],
                                   grown[3 * kMiB - 1], grown[5 * kMiB - 1]}),
              std::vector<SIZE_T>({5 * kMiB, 7, 7, 0, 0, 0}));
    GlobalUnlock(big), GlobalFree(big);
#ifndef _WIN32
    // A locked mapped block may grow only where it is: with the range after its 4 MiB mapping taken, it stays 3 MiB.
    HGLOBAL pinned = GlobalAlloc(GMEM_MOVEABLE, 3 * kMiB);
    auto *end = static_cast<unsigned char *>(GlobalLock(pinned)) + 4 * kMiB;
    void *blocker = mmap(end, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    EXPECT_LAST_ERROR(GlobalReAlloc(pinned, 6 * kMiB, 0), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(GlobalSize(pinned), 3 * kMiB);
    if (blocker == end)
        munmap(blocker, 4096);
    GlobalUnlock(pinned), GlobalFree(pinned);
#endif
    EXPECT_LAST_ERROR(GlobalFree(nullptr), nullptr, 0xdeadbeef);
}

TEST_F(GlobalTest, ImpossibleSizesFailWithoutWrapping) {
    for (SIZE_T size : {SIZE_MAX, SIZE_MAX / 2})
        for (UINT flags : {UINT{GMEM_MOVEABLE}, UINT{GMEM_MOVEABLE | GMEM_ZEROINIT}})
            EXPECT_LAST_ERROR(GlobalAlloc(flags, size), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    for (SIZE_T bytes : {SIZE_T{64}, 3 * kMiB}) { // from the heap, and mapped
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
        EXPECT_LAST_ERROR(GlobalReAlloc(block, SIZE_MAX, GMEM_MOVEABLE), nullptr, ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_EQ(GlobalSize(block), bytes);
        GlobalFree(block);
    }
}

} // namespace
