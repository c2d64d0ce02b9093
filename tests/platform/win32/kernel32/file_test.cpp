// What Windows does with files, as Wine's kernel32 file tests record it.
#include <windows.h>
#include <win32_standin.h>

#include "platform/win32/row_name.h"

#include "platform/win32/temp_folder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace {

using win32_test::TempFolder;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Open(const std::string &path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteText(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

std::string ReadText(const std::string &path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class FileTest : public testing::Test {
protected:
    // A file "readonly" holding "kept", without write permission bits, which
    // root ignores and Windows does not.
    std::string MakeReadOnlyFile() {
        const std::string path = folder_.File("readonly");
        WriteText(path, "kept");
        chmod(path.c_str(), 0444);
        return path;
    }
    // `relative` inside the folder; "" is the folder itself.
    std::string Target(const char *relative) const { return *relative ? folder_.File(relative) : folder_.Path(); }

    void TearDown() override { EXPECT_EQ(win32_standin::OpenFileHandles(), openBefore_) << "a test leaked a handle"; }
    TempFolder folder_;
    int openBefore_ = win32_standin::OpenFileHandles();
};

// ---- CreateFileA dispositions --------------------------------------------

struct DispositionCase {
    const char *name;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;          // last error after the call
    const char *content;  // of the file afterwards; null: no file
};

const DispositionCase kDispositions[] = {
    {"CreateNewOnMissing", CREATE_NEW, false, true, ERROR_SUCCESS, ""},
    {"CreateNewOnExisting", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "hello"},
    {"CreateAlwaysOnMissing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
    {"CreateAlwaysTruncatesExisting", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
    {"OpenExistingOnMissing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
    {"OpenExistingKeepsContent", OPEN_EXISTING, true, true, ERROR_SUCCESS, "hello"},
    {"OpenAlwaysOnMissing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
    {"OpenAlwaysOnExisting", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "hello"},
    {"TruncateExistingOnExisting", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
    {"TruncateExistingOnMissing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
};

class Disposition : public FileTest, public testing::WithParamInterface<DispositionCase> {};

TEST_P(Disposition, OpensAndReportsAsWindows) {
    const DispositionCase &c = GetParam();
    const std::string path = folder_.File("file");
    if (c.exists) WriteText(path, "hello");
    SetLastError(0xdeadbeef);
    HANDLE file = Open(path, kReadWrite, 0, c.disposition);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
    EXPECT_EQ(GetLastError(), c.error);
    if (file != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(CloseHandle(file));
    }
    if (c.content) {
        EXPECT_EQ(ReadText(path), c.content);
    } else {
        EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

INSTANTIATE_TEST_SUITE_P(CreateFileA, Disposition, testing::ValuesIn(kDispositions), win32_test::RowName());

// ---- CreateFileA refusals ---------------------------------------------------

struct RefusalCase {
    const char *name;
    const char *target;  // relative to the folder; "" is the folder itself
    DWORD access;
    DWORD disposition;
    DWORD error;
};

const RefusalCase kRefusals[] = {
    {"MissingFolder", "nowhere/file", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    {"MissingFolderOnCreate", "nowhere/file", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
    {"FolderForReading", "", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
    {"FolderForWriting", "", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
    {"WriteToReadOnly", "readonly", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
    {"CreateAlwaysOverReadOnly", "readonly", GENERIC_READ, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
    {"TruncateWithoutWriteAccess", "readonly", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
    {"UnknownDisposition", "readonly", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
};

class Refusal : public FileTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(Refusal, FailsWithWindowsError) {
    const RefusalCase &c = GetParam();
    const std::string readOnly = MakeReadOnlyFile();
    const std::string target = Target(c.target);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open(target, c.access, kShareAll, c.disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(ReadText(readOnly), "kept");
}

INSTANTIATE_TEST_SUITE_P(CreateFileA, Refusal, testing::ValuesIn(kRefusals), win32_test::RowName());

TEST_F(FileTest, ReadOnlyFileStillOpensForReading) {
    const std::string path = MakeReadOnlyFile();
    HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
}

// ---- Share modes ------------------------------------------------------------

struct SharingCase {
    const char *name;
    DWORD firstAccess, firstShare;
    DWORD secondAccess, secondShare;
    bool allowed;
};

const SharingCase kSharing[] = {
    {"ReadersSharingRead", GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
    {"ReaderNotSharingBlocksReader", GENERIC_READ, 0, GENERIC_READ, kShareAll, false},
    {"ReaderNotSharingWriteBlocksWriter", GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, kShareAll, false},
    {"NewcomerMustShareExistingWrite", GENERIC_WRITE, kShareAll, GENERIC_READ, FILE_SHARE_READ, false},
    {"NewcomerMustShareExistingRead", GENERIC_READ, kShareAll, GENERIC_WRITE, FILE_SHARE_WRITE, false},
    {"WritersSharingAll", kReadWrite, kShareAll, kReadWrite, kShareAll, true},
    {"ReaderAndWriterSharingBoth", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE,
     FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    {"NoAccessNeedsNoSharing", 0, 0, kReadWrite, 0, true},
    {"NoAccessPassesExclusiveHandle", kReadWrite, 0, 0, 0, true},
};

class Sharing : public FileTest, public testing::WithParamInterface<SharingCase> {};

TEST_P(Sharing, FollowsWindowsRule) {
    const SharingCase &c = GetParam();
    const std::string path = folder_.File("shared");
    WriteText(path, "content");
    HANDLE first = Open(path, c.firstAccess, c.firstShare, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    SetLastError(0xdeadbeef);
    HANDLE second = Open(path, c.secondAccess, c.secondShare, OPEN_EXISTING);
    EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.allowed);
    if (second != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(CloseHandle(second));
    } else {
        EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    }
    EXPECT_TRUE(CloseHandle(first));
}

INSTANTIATE_TEST_SUITE_P(CreateFileA, Sharing, testing::ValuesIn(kSharing), win32_test::RowName());

TEST_F(FileTest, RefusedCreateAlwaysLeavesContentAndClosingFreesTheFile) {
    const std::string path = folder_.File("shared");
    WriteText(path, "content");
    HANDLE first = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_EQ(Open(path, GENERIC_WRITE, kShareAll, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_EQ(ReadText(path), "content");
    EXPECT_TRUE(CloseHandle(first));
    HANDLE second = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(second));
}

TEST_F(FileTest, DeleteNeedsShareDeleteFromOpenHandles) {
    const std::string path = folder_.File("shared");
    WriteText(path, "content");
    HANDLE notSharing = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
    EXPECT_TRUE(CloseHandle(notSharing));
    HANDLE sharing = Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_TRUE(CloseHandle(sharing));
}

// ---- Reading and writing ----------------------------------------------------

TEST_F(FileTest, WriteThenReadBackAndZeroBytesAtEnd) {
    const std::string path = folder_.File("data");
    HANDLE file = Open(path, kReadWrite, 0, CREATE_NEW);
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(file, "abcdef", 6, &count, nullptr));
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
    char buffer[16] = {};
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "abcdef");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr)) << "end of file is no error";
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, AccessIsCheckedPerHandle) {
    const std::string path = folder_.File("data");
    WriteText(path, "abc");
    HANDLE reader = Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING);
    HANDLE writer = Open(path, GENERIC_WRITE, kShareAll, OPEN_EXISTING);
    char byte = 0;
    DWORD count = 7;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(CloseHandle(reader));
    EXPECT_TRUE(CloseHandle(writer));
}

TEST_F(FileTest, WritingToAFullDeviceReportsDiskFull) {
    HANDLE full = Open("/dev/full", GENERIC_WRITE, kShareAll, OPEN_EXISTING);
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    DWORD count = 7;
    EXPECT_FALSE(WriteFile(full, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DISK_FULL});
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(CloseHandle(full));
}

// ---- Invalid handles -------------------------------------------------------

TEST_F(FileTest, EveryCallRejectsHandlesThatAreNotOpenFiles) {
    HANDLE closed = Open(folder_.File("closed"), kReadWrite, 0, CREATE_NEW);
    ASSERT_TRUE(CloseHandle(closed));
    const struct {
        const char *name;
        HANDLE handle;
    } kBad[] = {{"null", nullptr}, {"invalid value", INVALID_HANDLE_VALUE}, {"closed", closed},
                {"made up", reinterpret_cast<HANDLE>(0x7770)}};
    for (const auto &bad : kBad) {
        SCOPED_TRACE(bad.name);
        char byte;
        DWORD count;
        SetLastError(0);
        EXPECT_FALSE(ReadFile(bad.handle, &byte, 1, &count, nullptr));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        SetLastError(0);
        EXPECT_FALSE(WriteFile(bad.handle, &byte, 1, &count, nullptr));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        SetLastError(0);
        EXPECT_EQ(SetFilePointer(bad.handle, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        SetLastError(0);
        EXPECT_EQ(GetFileSize(bad.handle, nullptr), INVALID_FILE_SIZE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad.handle));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
}

// ---- SetFilePointer and GetFileSize -----------------------------------------

struct SeekCase {
    const char *name;
    LONG distance;
    bool useHigh;
    LONG high;
    DWORD method;
    DWORD low;          // result
    LONG highAfter;     // when useHigh
    DWORD error;        // last error (0xdeadbeef: untouched)
    DWORD positionAfter;
};

// The file holds 10 bytes and the position is 4 before each call.
const SeekCase kSeeks[] = {
    {"FromBegin", 3, false, 0, FILE_BEGIN, 3, 0, 0xdeadbeef, 3},
    {"FromCurrent", 2, false, 0, FILE_CURRENT, 6, 0, 0xdeadbeef, 6},
    {"BackFromEnd", -1, false, 0, FILE_END, 9, 0, 0xdeadbeef, 9},
    {"PastEndIsAllowed", 20, false, 0, FILE_END, 30, 0, 0xdeadbeef, 30},
    {"BeforeStart", -5, false, 0, FILE_CURRENT, INVALID_SET_FILE_POINTER, 0, ERROR_NEGATIVE_SEEK, 4},
    {"NegativeHighPart", 0, true, -1, FILE_BEGIN, INVALID_SET_FILE_POINTER, -1, ERROR_NEGATIVE_SEEK, 4},
    {"BeyondFourGiB", 8, true, 1, FILE_BEGIN, 8, 1, 0xdeadbeef, 8},
    {"LowPartLooksInvalid", -1, true, 0, FILE_BEGIN, INVALID_SET_FILE_POINTER, 0, ERROR_SUCCESS, 0xFFFFFFFF},
    {"UnknownMethod", 0, false, 0, 3, INVALID_SET_FILE_POINTER, 0, ERROR_INVALID_PARAMETER, 4},
};

class Seek : public FileTest, public testing::WithParamInterface<SeekCase> {};

TEST_P(Seek, MovesAsWindows) {
    const SeekCase &c = GetParam();
    HANDLE file = Open(folder_.File("ten"), kReadWrite, 0, CREATE_NEW);
    DWORD count;
    WriteFile(file, "0123456789", 10, &count, nullptr);
    SetFilePointer(file, 4, nullptr, FILE_BEGIN);
    LONG high = c.high;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SetFilePointer(file, c.distance, c.useHigh ? &high : nullptr, c.method), c.low);
    EXPECT_EQ(GetLastError(), c.error);
    if (c.useHigh) {
        EXPECT_EQ(high, c.highAfter);
    }
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), c.positionAfter);
    EXPECT_TRUE(CloseHandle(file));
}

INSTANTIATE_TEST_SUITE_P(SetFilePointer, Seek, testing::ValuesIn(kSeeks), win32_test::RowName());

TEST_F(FileTest, FileSizeSplitsIntoLowAndHighPart) {
    HANDLE file = Open(folder_.File("big"), kReadWrite, 0, CREATE_NEW);
    LONG high = 1;
    SetFilePointer(file, 5, &high, FILE_BEGIN);
    DWORD count;
    ASSERT_TRUE(WriteFile(file, "x", 1, &count, nullptr));  // a sparse file of 4 GiB + 6 bytes
    DWORD sizeHigh = 0;
    EXPECT_EQ(GetFileSize(file, &sizeHigh), 6u);
    EXPECT_EQ(sizeHigh, 1u);
    EXPECT_TRUE(CloseHandle(file));
}

// ---- Attributes and deletion ---------------------------------------------------

TEST_F(FileTest, AttributesFollowPermissionBits) {
    const std::string path = folder_.File("file");
    WriteText(path, "x");
    EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_EQ(GetFileAttributesA(folder_.Path().c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
    struct stat status;
    stat(path.c_str(), &status);
    EXPECT_EQ(status.st_mode & 0222, 0u);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE});
}

TEST_F(FileTest, CreatingWithReadOnlyAttributeStillGivesAWritableHandle) {
    const std::string path = folder_.File("made-readonly");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
    DWORD count;
    EXPECT_TRUE(WriteFile(file, "x", 1, &count, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY});
}

struct PathCase {
    const char *name;
    const char *target;  // relative to the folder; "" is the folder itself
    DWORD attributesError;
    DWORD deleteError;
};

const PathCase kPaths[] = {
    {"MissingFile", "missing", ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    {"MissingFolder", "nowhere/missing", ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
    {"ReadOnlyFile", "readonly", ERROR_SUCCESS, ERROR_ACCESS_DENIED},
    {"Folder", "", ERROR_SUCCESS, ERROR_ACCESS_DENIED},
};

class PathErrors : public FileTest, public testing::WithParamInterface<PathCase> {};

TEST_P(PathErrors, MatchWindows) {
    const PathCase &c = GetParam();
    MakeReadOnlyFile();
    const std::string target = Target(c.target);
    SetLastError(ERROR_SUCCESS);
    const DWORD attributes = GetFileAttributesA(target.c_str());
    EXPECT_EQ(attributes == INVALID_FILE_ATTRIBUTES, c.attributesError != ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), c.attributesError);
    EXPECT_FALSE(DeleteFileA(target.c_str()));
    EXPECT_EQ(GetLastError(), c.deleteError);
}

INSTANTIATE_TEST_SUITE_P(GetFileAttributesAndDeleteFile, PathErrors, testing::ValuesIn(kPaths), win32_test::RowName());

TEST_F(FileTest, DeleteRemovesFile) {
    const std::string path = folder_.File("doomed");
    WriteText(path, "x");
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
