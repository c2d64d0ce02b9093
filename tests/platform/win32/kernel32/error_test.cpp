#include <windows.h>

#include <gtest/gtest.h>
#include <thread>

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenByOtherThread = 0xdeadbeef;
    std::thread other([&] {
        seenByOtherThread = GetLastError();
        SetLastError(ERROR_FILE_NOT_FOUND);
    });
    other.join();
    EXPECT_EQ(seenByOtherThread, DWORD{ERROR_SUCCESS});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
}
