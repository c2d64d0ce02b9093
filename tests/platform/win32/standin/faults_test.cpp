// The fault seam: the n-th next call fails as Windows reports that failure
// and changes nothing; ClearFaults disarms; every call is counted.
#include "platform/win32/win32_test.h"

namespace {

using win32_standin::Call;
using win32_standin::FailNth;

TEST(FailNth, FailsTheNthCallOnlyAndChangesNothing) {
    SKIP_WITHOUT_WIN32_SEAMS("fault injection");
    testing_support::TempDir folder;
    const std::string path = folder.file("file");
    win32_standin::ResetCallCounts();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    DWORD count;
    char byte = 0;
    FailNth(Call::WriteFile, 2);
    EXPECT_TRUE(WriteFile(file, "a", 1, &count, nullptr));
    EXPECT_LAST_ERROR(WriteFile(file, "b", 1, &count, nullptr), FALSE, ERROR_WRITE_FAULT);
    EXPECT_TRUE(WriteFile(file, "c", 1, &count, nullptr) && GetFileSize(file, nullptr) == 2u);
    SetFilePointer(file, 0, nullptr, FILE_BEGIN), FailNth(Call::ReadFile, 1);
    EXPECT_LAST_ERROR(ReadFile(file, &byte, 1, &count, nullptr), FALSE, ERROR_READ_FAULT);
    EXPECT_TRUE(ReadFile(file, &byte, 1, &count, nullptr) && byte == 'a') << "the failed read moved nothing";
    EXPECT_TRUE(CloseHandle(file));
    FailNth(Call::CreateFileA, 1);
    EXPECT_LAST_ERROR(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
                      INVALID_HANDLE_VALUE, ERROR_TOO_MANY_OPEN_FILES);
    EXPECT_EQ(std::filesystem::file_size(path), 2u) << "not truncated";
    FailNth(Call::GlobalAlloc, 1);
    EXPECT_LAST_ERROR(GlobalAlloc(GMEM_MOVEABLE, 8), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    FailNth(Call::GlobalReAlloc, 1);
    EXPECT_LAST_ERROR(GlobalReAlloc(block, 64, GMEM_MOVEABLE), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_TRUE(GlobalSize(block) == 16u && win32_standin::LiveGlobalBlocks() == 1);
    FailNth(Call::GlobalAlloc, 1), win32_standin::ClearFaults();
    HGLOBAL other = GlobalAlloc(GMEM_MOVEABLE, 8);
    EXPECT_NE(other, nullptr) << "ClearFaults disarms";
    GlobalFree(other), GlobalFree(block);
    std::vector<int> counts; // every call since the reset, failed ones included
    for (Call call : {Call::CreateFileA, Call::ReadFile, Call::WriteFile, Call::GlobalAlloc, Call::GlobalReAlloc})
        counts.push_back(win32_standin::CallCount(call));
    EXPECT_EQ(counts, std::vector<int>({2, 2, 3, 3, 1}));
}

} // namespace
