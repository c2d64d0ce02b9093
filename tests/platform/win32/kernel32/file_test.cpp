// What Windows does with files, as Wine's kernel32 file tests record it.
#include "platform/win32/win32_test.h"

#include <fstream>

namespace {

using win32_test::ReadText;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::string &path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Each test starts with "hello" holding "hello", and "readonly" holding
// "kept" read-only, and must close every handle it opens.
class FileTest : public testing::Test {
protected:
    void SetUp() override {
        std::ofstream(folder_.file("hello")) << "hello";
        std::ofstream(folder_.file("readonly")) << "kept";
        const auto writable = std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                              std::filesystem::perms::others_write;
        std::filesystem::permissions(folder_.file("readonly"), writable, std::filesystem::perm_options::remove);
    }
    void TearDown() override { EXPECT_EQ(Opened(), 0) << "a test leaked a handle"; }
    int Opened() const { return testing_support::kWin32Seams ? win32_standin::OpenFileHandles() : 0; }
    testing_support::TempDir folder_;
};

// content: the file's afterwards, "-" for none. Read-only files refuse
// writing, except under Wine run by root.
TEST_F(FileTest, CreateFileFollowsDispositionAndRefusesAsWindows) {
    const struct {
        const char *name, *target;
        DWORD access, disposition, error;
        const char *content;
    } kCases[] = {
        {"CreateAlwaysOnMissing", "new", kReadWrite, CREATE_ALWAYS, ERROR_SUCCESS, ""},
        {"CreateNewOnExisting", "hello", kReadWrite, CREATE_NEW, ERROR_FILE_EXISTS, "hello"},
        {"CreateAlwaysTruncatesExisting", "hello", kReadWrite, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, ""},
        {"OpenExistingOnMissing", "new", kReadWrite, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, "-"},
        {"OpenAlwaysKeepsContent", "hello", kReadWrite, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, "hello"},
        {"MissingFolder", "nowhere/file", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND, "-"},
        {"Folder", ".", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED, "-"},
        {"ReadOnlyForReading", "readonly", GENERIC_READ, OPEN_EXISTING, ERROR_SUCCESS, "kept"},
        {"ReadOnlyForWriting", "readonly", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED, "kept"},
        {"CreateAlwaysOverReadOnly", "readonly", GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED, "kept"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        if (!testing_support::kWin32Seams && c.target == std::string("readonly") && c.error)
            continue;
        const std::string path = folder_.file(c.target);
        SetLastError(0xdeadbeef);
        HANDLE file = Open(path, c.access, 0, c.disposition);
        const bool opened = c.error == ERROR_SUCCESS || c.error == ERROR_ALREADY_EXISTS;
        EXPECT_TRUE(GetLastError() == c.error && (file != INVALID_HANDLE_VALUE) == opened) << GetLastError();
        EXPECT_TRUE((file == INVALID_HANDLE_VALUE || CloseHandle(file)) && ReadText(path) == c.content);
        DeleteFileA(folder_.file("new").c_str());
        std::ofstream(folder_.file("hello")) << "hello";
    }
}

// Each side's access must be allowed by the other side's share mode;
// handles without data access take no part.
TEST_F(FileTest, ShareModesFollowWindowsRule) {
    const struct {
        const char *name;
        DWORD access1, share1, access2, share2, disposition2;
        bool allowed;
    } kCases[] = {
        {"ReadersSharingRead", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true},
        {"ReaderNotSharingBlocksReader", GENERIC_READ, 0, GENERIC_READ, kShareAll, OPEN_EXISTING, false},
        {"NewcomerMustShareWrite", GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false},
        {"WritersSharingAll", kReadWrite, kShareAll, kReadWrite, kShareAll, CREATE_ALWAYS, true},
        {"RefusedCreateAlwaysKeepsContent", GENERIC_READ, 0, GENERIC_WRITE, kShareAll, CREATE_ALWAYS, false},
        {"NoAccessPassesExclusiveHandle", kReadWrite, 0, 0, 0, OPEN_EXISTING, true},
    };
    const std::string path = folder_.file("hello");
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.name);
        std::ofstream(path) << "hello";
        HANDLE first = Open(path, c.access1, c.share1, OPEN_EXISTING);
        HANDLE second = Open(path, c.access2, c.share2, c.disposition2);
        EXPECT_TRUE(c.allowed || GetLastError() == ERROR_SHARING_VIOLATION) << GetLastError();
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.allowed);
        EXPECT_EQ(Opened(), testing_support::kWin32Seams ? 1 + c.allowed : 0);
        EXPECT_TRUE((second == INVALID_HANDLE_VALUE || CloseHandle(second)) && CloseHandle(first));
        EXPECT_EQ(ReadText(path), c.allowed && c.disposition2 == CREATE_ALWAYS ? "" : "hello");
    }
    HANDLE notSharing = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING); // no FILE_SHARE_DELETE
    EXPECT_LAST_ERROR(DeleteFileA(path.c_str()), FALSE, ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(CloseHandle(notSharing));
    EXPECT_TRUE(DeleteFileA(path.c_str()) && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES);
}

// Reads at the end succeed with 0 bytes; transfers without the access, on a
// full disk or through closed and made-up handles fail as on Windows.
TEST_F(FileTest, TransfersAtTheEndWithoutAccessAndOnAFullDisk) {
    HANDLE file = Open(folder_.file("hello"), GENERIC_READ, kShareAll, OPEN_EXISTING);
    HANDLE full = Open(testing_support::kFullDevice, GENERIC_WRITE, kShareAll, OPEN_EXISTING);
    char buffer[16];
    DWORD count = 7;
    EXPECT_LAST_ERROR(WriteFile(file, "x", 1, &count, nullptr) || count != 0, FALSE, ERROR_ACCESS_DENIED);
    EXPECT_LAST_ERROR(ReadFile(full, buffer, 1, &count, nullptr), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_LAST_ERROR(WriteFile(full, "x", 1, &count, nullptr), FALSE, ERROR_DISK_FULL);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr) && std::string(buffer, count) == "hello");
    EXPECT_LAST_ERROR(ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count == 0, TRUE, 0xdeadbeef);
    for (HANDLE h : {file, full})
        EXPECT_TRUE(CloseHandle(h));
    EXPECT_LAST_ERROR(ReadFile(file, buffer, 1, &count, nullptr), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_LAST_ERROR(CloseHandle(file), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_LAST_ERROR(GetFileSize(HANDLE(0x7770), nullptr), INVALID_FILE_SIZE, ERROR_INVALID_HANDLE);
}

TEST_F(FileTest, SetFilePointerRefusesNegativePositionsAndSplitsBigOnes) {
    HANDLE file = Open(folder_.file("hello"), GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_END), 4u); // before the last of "hello"
    EXPECT_LAST_ERROR(SetFilePointer(file, -5, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 4u) << "not moved";
    LONG high = 1;
    EXPECT_LAST_ERROR(SetFilePointer(file, 8, &high, FILE_BEGIN), 8u, 0xdeadbeef);
    EXPECT_EQ(high, 1);
    high = 0; // a valid position whose low part reads as the failure value
    EXPECT_LAST_ERROR(SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER, NO_ERROR);
    EXPECT_TRUE(CloseHandle(file));
}

// Read-only is the absence of write permission bits; it blocks deletion.
TEST_F(FileTest, ReadOnlyAttributeIsThePermissionBitsAndBlocksDeletion) {
    EXPECT_EQ(GetFileAttributesA(folder_.file("hello").c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(GetFileAttributesA(folder_.path().c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    const std::string readOnly = folder_.file("readonly");
    EXPECT_EQ(GetFileAttributesA(readOnly.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
    EXPECT_LAST_ERROR(DeleteFileA(readOnly.c_str()), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_LAST_ERROR(DeleteFileA(folder_.file("missing").c_str()), FALSE, ERROR_FILE_NOT_FOUND);
    EXPECT_LAST_ERROR(GetFileAttributesA(folder_.file("no/f").c_str()), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(""), INVALID_FILE_ATTRIBUTES) << "no name";
}

} // namespace
