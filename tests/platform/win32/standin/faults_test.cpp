// The fault seam: the n-th next call fails as Windows reports that failure
// and changes nothing.
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/row_name.h"

#include "platform/win32/temp_folder.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

using win32_standin::Call;
using win32_test::TempFolder;

// Everything a case needs, set up fresh for each call.
struct Scene {
    TempFolder folder;
    std::string path = folder.File("file");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ~Scene() {
        CloseHandle(file);
        GlobalFree(block);
    }
};

struct FaultCase {
    const char *name;
    Call call;
    DWORD error;
    // Makes the call; true when it succeeded.
    std::function<bool(Scene &)> attempt;
    // What must be unchanged after a failed attempt.
    std::function<bool(Scene &)> unchanged;
};

const FaultCase kFaults[] = {
    {"CreateFileA", Call::CreateFileA, ERROR_TOO_MANY_OPEN_FILES,
     [](Scene &s) {
         HANDLE h = CreateFileA(s.folder.File("new").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
         return h != INVALID_HANDLE_VALUE && CloseHandle(h) && DeleteFileA(s.folder.File("new").c_str());
     },
     [](Scene &s) { return GetFileAttributesA(s.folder.File("new").c_str()) == INVALID_FILE_ATTRIBUTES; }},
    {"ReadFile", Call::ReadFile, ERROR_READ_FAULT,
     [](Scene &s) {
         char byte;
         DWORD count;
         return ReadFile(s.file, &byte, 1, &count, nullptr) != FALSE;
     },
     [](Scene &s) { return SetFilePointer(s.file, 0, nullptr, FILE_CURRENT) == 0; }},
    {"WriteFile", Call::WriteFile, ERROR_WRITE_FAULT,
     [](Scene &s) {
         DWORD count;
         return WriteFile(s.file, "x", 1, &count, nullptr) && SetFilePointer(s.file, 0, nullptr, FILE_BEGIN) == 0;
     },
     [](Scene &s) { return GetFileSize(s.file, nullptr) == 1; }},
    {"GlobalAlloc", Call::GlobalAlloc, ERROR_NOT_ENOUGH_MEMORY,
     [](Scene &) {
         HGLOBAL block = GlobalAlloc(GMEM_FIXED, 8);
         return block && GlobalFree(block) == nullptr;
     },
     [](Scene &) { return win32_standin::LiveGlobalBlocks() == 1; }},
    {"GlobalReAlloc", Call::GlobalReAlloc, ERROR_NOT_ENOUGH_MEMORY,
     [](Scene &s) { return GlobalReAlloc(s.block, 16, GMEM_MOVEABLE) != nullptr; },
     [](Scene &s) { return GlobalSize(s.block) == 16; }},
};

class Fault : public testing::TestWithParam<FaultCase> {
protected:
    void TearDown() override { win32_standin::ClearFaults(); }
};

TEST_P(Fault, FiresOnTheNthCallOnly) {
    const FaultCase &c = GetParam();
    Scene scene;
    win32_standin::FailNth(c.call, 2);
    EXPECT_TRUE(c.attempt(scene)) << "first call";
    SetLastError(0);
    EXPECT_FALSE(c.attempt(scene)) << "second call";
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_TRUE(c.unchanged(scene));
    EXPECT_TRUE(c.attempt(scene)) << "third call";
}

TEST_P(Fault, ClearFaultsDisarms) {
    const FaultCase &c = GetParam();
    Scene scene;
    win32_standin::FailNth(c.call, 1);
    win32_standin::ClearFaults();
    EXPECT_TRUE(c.attempt(scene));
}

INSTANTIATE_TEST_SUITE_P(FailNth, Fault, testing::ValuesIn(kFaults), win32_test::RowName());

}  // namespace
