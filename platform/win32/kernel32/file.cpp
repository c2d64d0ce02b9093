// Files: CreateFileA and the calls on its handles, attributes, deletion.
//
// A handle is an opaque value that indexes the table below; the file
// descriptor behind it never leaves this source. Windows enforces share
// modes in the kernel; POSIX has nothing alike, so the table also records
// each handle's access and share mode by file identity (device, inode) and
// every open or delete in this process is checked against it.
#include "standin/internal.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

using win32_standin::Call;
using win32_standin::internal::FaultFires;
using win32_standin::internal::PathError;

// One open file. Shared by the table and by calls in progress, so a
// CloseHandle racing a ReadFile on another thread cannot close the
// descriptor under it (Windows keeps the object alive the same way).
struct OpenFile {
    int fd;
    DWORD access; // the data access asked for: GENERIC_READ | GENERIC_WRITE
    DWORD share;  // FILE_SHARE_*
    dev_t device;
    ino_t inode;

    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    ~OpenFile() { close(fd); }
};

class FileTable {
public:
    // Handle values are multiples of 4 like Windows' kernel handles, but a
    // value is never handed out twice in a run, so a handle closed twice is
    // caught instead of closing whatever file reused the value.
    HANDLE Insert(std::shared_ptr<OpenFile> file) {
        std::lock_guard<std::mutex> hold(mutex_);
        const std::uintptr_t value = nextValue_;
        nextValue_ += 4;
        files_.emplace(value, std::move(file));
        return reinterpret_cast<HANDLE>(value);
    }
    std::shared_ptr<OpenFile> Find(HANDLE handle) {
        std::lock_guard<std::mutex> hold(mutex_);
        auto found = files_.find(reinterpret_cast<std::uintptr_t>(handle));
        return found == files_.end() ? nullptr : found->second;
    }
    bool Remove(HANDLE handle) {
        std::lock_guard<std::mutex> hold(mutex_);
        return files_.erase(reinterpret_cast<std::uintptr_t>(handle)) == 1;
    }
    int Count() {
        std::lock_guard<std::mutex> hold(mutex_);
        return static_cast<int>(files_.size());
    }
    // Whether an open of (device, inode) with `access` and `share` is
    // compatible with every handle already open on it.
    bool SharingAllows(dev_t device, ino_t inode, DWORD access, DWORD share) {
        std::lock_guard<std::mutex> hold(mutex_);
        for (const auto &entry : files_) {
            const OpenFile &open = *entry.second;
            if (open.device == device && open.inode == inode && !Compatible(open, access, share))
                return false;
        }
        return true;
    }

private:
    // Windows' rule: each side's access must be allowed by the other
    // side's share mode; reading, writing and deleting are checked apart.
    // A handle without data access (access 0) takes no part, either way.
    static bool Compatible(const OpenFile &open, DWORD access, DWORD share) {
        if (!open.access || !access)
            return true;
        static const struct {
            DWORD access;
            DWORD share;
        } kRights[] = {{GENERIC_READ, FILE_SHARE_READ}, {GENERIC_WRITE, FILE_SHARE_WRITE}, {DELETE, FILE_SHARE_DELETE}};
        for (const auto &right : kRights) {
            if ((access & right.access) && !(open.share & right.share))
                return false;
            if ((open.access & right.access) && !(share & right.share))
                return false;
        }
        return true;
    }

    std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::shared_ptr<OpenFile>> files_;
    std::uintptr_t nextValue_ = 0x100;
};

FileTable &Files() {
    static FileTable table;
    return table;
}

// Windows derives FILE_ATTRIBUTE_READONLY the way Wine does: no write
// permission bit for anyone. access(W_OK) would say "writable" to root.
bool IsReadOnly(const struct stat &status) { return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

DWORD IoError(int errnoValue, DWORD fallback) {
    switch (errnoValue) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return fallback;
    }
}

template <typename Result> Result Fail(DWORD error, Result result) {
    SetLastError(error);
    return result;
}

std::shared_ptr<OpenFile> FindOrFail(HANDLE handle) {
    std::shared_ptr<OpenFile> file = Files().Find(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

// What ReadFile and WriteFile check before moving a byte: the fault seam,
// the handle, its access right, and that no overlapped I/O is asked for.
// Null (with the last error set) when the transfer must not happen.
std::shared_ptr<OpenFile> FileForTransfer(HANDLE handle, Call call, DWORD faultError, DWORD right,
                                          LPOVERLAPPED overlapped) {
    if (FaultFires(call))
        return Fail(faultError, nullptr);
    std::shared_ptr<OpenFile> file = FindOrFail(handle);
    if (!file)
        return nullptr;
    if (!(file->access & right))
        return Fail(ERROR_ACCESS_DENIED, nullptr);
    if (overlapped)
        return Fail(ERROR_INVALID_PARAMETER, nullptr);
    return file;
}

// ---- CreateFileA --------------------------------------------------------

struct Opened {
    int fd = -1;
    bool existed = false;
    DWORD error = ERROR_SUCCESS;
};

DWORD OpenError(int errnoValue, const char *name) {
    switch (errnoValue) {
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EISDIR:
        return ERROR_ACCESS_DENIED; // Windows opens no folder without backup semantics
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    default:
        return PathError(errnoValue, name);
    }
}

int AccessMode(DWORD access) {
    const bool reads = access & GENERIC_READ;
    const bool writes = access & GENERIC_WRITE;
    if (writes)
        return reads ? O_RDWR : O_WRONLY;
    return O_RDONLY;
}

int OpenRetrying(const char *name, int flags, mode_t mode) {
    int fd;
    do
        fd = open(name, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens without truncating: truncation waits until the share check passed,
// so a refused CREATE_ALWAYS leaves the file as it was.
Opened OpenForDisposition(const char *name, DWORD access, DWORD disposition, DWORD attributes) {
    const int mode = AccessMode(access);
    const mode_t permissions = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    Opened opened;
    if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        opened.fd = OpenRetrying(name, mode | O_CREAT | O_EXCL, permissions);
        if (opened.fd >= 0 || errno != EEXIST || disposition == CREATE_NEW) {
            if (opened.fd < 0)
                opened.error = OpenError(errno, name);
            return opened;
        }
    }
    opened.existed = true;
    opened.fd = OpenRetrying(name, mode, 0);
    if (opened.fd < 0)
        opened.error = OpenError(errno, name);
    return opened;
}

bool ValidDisposition(DWORD disposition, DWORD access) {
    switch (disposition) {
    case CREATE_NEW:
    case CREATE_ALWAYS:
    case OPEN_EXISTING:
    case OPEN_ALWAYS:
        return true;
    case TRUNCATE_EXISTING:
        return (access & GENERIC_WRITE) != 0;
    default:
        return false;
    }
}

bool Truncates(DWORD disposition) { return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING; }

// What Windows refuses about an existing file that POSIX (or root) would
// allow: opening a folder, writing or truncating a read-only file.
DWORD RefusalOf(const struct stat &status, const Opened &opened, DWORD access, DWORD disposition) {
    if (S_ISDIR(status.st_mode))
        return ERROR_ACCESS_DENIED;
    const bool modifies = (access & GENERIC_WRITE) || Truncates(disposition);
    if (opened.existed && modifies && IsReadOnly(status))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

HANDLE Admit(Opened opened, const struct stat &status, DWORD access, DWORD share, DWORD disposition) {
    const DWORD dataAccess = access & (GENERIC_READ | GENERIC_WRITE);
    auto file = std::shared_ptr<OpenFile>(new OpenFile{opened.fd, dataAccess, share, status.st_dev, status.st_ino});
    if (!Files().SharingAllows(status.st_dev, status.st_ino, dataAccess, share))
        return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    // Devices such as /dev/full have no length to cut, as on Windows.
    if (opened.existed && Truncates(disposition) && S_ISREG(status.st_mode) && ftruncate(opened.fd, 0) != 0)
        return Fail(IoError(errno, ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE);
    HANDLE handle = Files().Insert(std::move(file));
    const bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && opened.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

} // namespace

namespace win32_standin::internal {

DWORD PathError(int errnoValue, const char *path) {
    switch (errnoValue) {
    case ENOENT: {
        // Windows tells "no such file" from "no such folder"; POSIX says
        // ENOENT for both, so look at the folder.
        const char *slash = std::strrchr(path, '/');
        if (!slash)
            return ERROR_FILE_NOT_FOUND;
        const std::string folder(path, slash == path ? 1 : static_cast<std::size_t>(slash - path));
        struct stat status;
        return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                             : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

} // namespace win32_standin::internal

// CreateFileA (kernel32.@)
// Security attributes and template files are accepted and ignored.
extern "C" HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                                     DWORD attributes, HANDLE) {
    if (FaultFires(Call::CreateFileA))
        return Fail(ERROR_TOO_MANY_OPEN_FILES, INVALID_HANDLE_VALUE);
    if (!name || !*name)
        return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (!ValidDisposition(disposition, access))
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    Opened opened = OpenForDisposition(name, access, disposition, attributes);
    if (opened.fd < 0)
        return Fail(opened.error, INVALID_HANDLE_VALUE);
    struct stat status;
    DWORD refusal = fstat(opened.fd, &status) == 0 ? RefusalOf(status, opened, access, disposition)
                                                   : IoError(errno, ERROR_ACCESS_DENIED);
    if (refusal != ERROR_SUCCESS) {
        close(opened.fd);
        return Fail(refusal, INVALID_HANDLE_VALUE);
    }
    return Admit(opened, status, access, share, disposition);
}

// ReadFile (kernel32.@)
// Reads until `toRead` bytes or the end of the file; overlapped I/O is not
// part of the subset and fails with ERROR_INVALID_PARAMETER.
extern "C" BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    if (read)
        *read = 0;
    std::shared_ptr<OpenFile> file =
        FileForTransfer(handle, Call::ReadFile, ERROR_READ_FAULT, GENERIC_READ, overlapped);
    if (!file)
        return FALSE;
    DWORD done = 0;
    while (done < toRead) {
        const ssize_t got = ::read(file->fd, static_cast<char *>(buffer) + done, toRead - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Fail(IoError(errno, ERROR_READ_FAULT), FALSE);
        if (got == 0)
            break;
        done += static_cast<DWORD>(got);
        if (read)
            *read = done;
    }
    return TRUE;
}

// WriteFile (kernel32.@)
// On a full disk the bytes that did fit stay written and are reported.
extern "C" BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                 LPOVERLAPPED overlapped) {
    if (written)
        *written = 0;
    std::shared_ptr<OpenFile> file =
        FileForTransfer(handle, Call::WriteFile, ERROR_WRITE_FAULT, GENERIC_WRITE, overlapped);
    if (!file)
        return FALSE;
    DWORD done = 0;
    while (done < toWrite) {
        const ssize_t put = ::write(file->fd, static_cast<const char *>(buffer) + done, toWrite - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return Fail(IoError(errno, ERROR_WRITE_FAULT), FALSE);
        done += static_cast<DWORD>(put);
        if (written)
            *written = done;
    }
    return TRUE;
}

// SetFilePointer (kernel32.@)
// As on Windows (and Wine), a position whose low part is
// INVALID_SET_FILE_POINTER is a success that sets the last error to 0.
extern "C" DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    std::shared_ptr<OpenFile> file = FindOrFail(handle);
    if (!file)
        return INVALID_SET_FILE_POINTER;
    const std::int64_t move =
        distanceHigh ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                                 static_cast<DWORD>(distance))
                     : distance;
    std::int64_t base = 0;
    struct stat status;
    if (method == FILE_CURRENT)
        base = lseek(file->fd, 0, SEEK_CUR);
    else if (method == FILE_END)
        base = fstat(file->fd, &status) == 0 ? status.st_size : -1;
    else if (method != FILE_BEGIN)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    std::int64_t target;
    if (base < 0 || __builtin_add_overflow(base, move, &target))
        return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
    if (target < 0)
        return Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
    if (lseek(file->fd, target, SEEK_SET) < 0)
        return Fail(IoError(errno, ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER);
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
    const DWORD low = static_cast<DWORD>(target);
    if (low == INVALID_SET_FILE_POINTER)
        SetLastError(ERROR_SUCCESS);
    return low;
}

// GetFileSize (kernel32.@)
extern "C" DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    std::shared_ptr<OpenFile> file = FindOrFail(handle);
    if (!file)
        return INVALID_FILE_SIZE;
    struct stat status;
    if (fstat(file->fd, &status) != 0)
        return Fail(IoError(errno, ERROR_INVALID_HANDLE), INVALID_FILE_SIZE);
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    const DWORD low = static_cast<DWORD>(size);
    if (low == INVALID_FILE_SIZE)
        SetLastError(ERROR_SUCCESS);
    return low;
}

// GetFileAttributesA (kernel32.@)
// A file is FILE_ATTRIBUTE_ARCHIVE, a folder FILE_ATTRIBUTE_DIRECTORY,
// either FILE_ATTRIBUTE_READONLY without write permission bits, as Wine
// reports them. Hidden and system attributes do not exist here.
extern "C" DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    if (!name || !*name)
        return Fail(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    struct stat status;
    if (stat(name, &status) != 0)
        return Fail(PathError(errno, name), INVALID_FILE_ATTRIBUTES);
    DWORD attributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (IsReadOnly(status))
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

// DeleteFileA (kernel32.@)
// Windows refuses folders, read-only files and files open without
// FILE_SHARE_DELETE. Once deleted, the name is gone at once, as with
// Windows 10's POSIX delete, even while handles stay open.
extern "C" BOOL WINAPI DeleteFileA(LPCSTR name) {
    if (!name || !*name)
        return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    struct stat status;
    if (stat(name, &status) != 0)
        return Fail(PathError(errno, name), FALSE);
    if (S_ISDIR(status.st_mode) || IsReadOnly(status))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!Files().SharingAllows(status.st_dev, status.st_ino, DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        return Fail(ERROR_SHARING_VIOLATION, FALSE);
    if (unlink(name) != 0)
        return Fail(PathError(errno, name), FALSE);
    return TRUE;
}

// CloseHandle (kernel32.@)
extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    if (!Files().Remove(handle))
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

// OpenFileHandles (stand-in)
int win32_standin::OpenFileHandles() { return Files().Count(); }
