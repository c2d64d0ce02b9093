// CBmp::Write replaces its target in place, as the library's contract
// wants, and so does CFITSIO once the old file is removed; a user wants a
// failed or interrupted write to leave an existing file alone. So the file
// is written beside the target under a temporary name, flushed to the disk,
// and renamed over it only when complete: rename(2) in the same folder swaps
// it in at once, and flushing the folder afterwards makes the swap itself
// survive a crash.
#include "bmpfile/durable_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bmpfile {
namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

// The temporary file being written, for the signal handler; empty: none.
char g_temporary[PATH_MAX];

extern "C" void remove_temporary_and_die(int signal) {
    if (g_temporary[0] != '\0')
        unlink(g_temporary);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

bool flush_to_disk(const std::string &path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    const bool flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    return flushed;
}

std::string folder_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// What the rename will replace: the target, or the file its symbolic link
// names; `mode` gets the permission bits of a file that exists (0: none).
std::string file_to_replace(const char *target, std::string &resolved, mode_t &mode) {
    struct stat status;
    resolved = target, mode = 0;
    if (lstat(target, &status) != 0)
        return errno == ENOENT ? "" : std::strerror(errno);
    if (S_ISLNK(status.st_mode)) {
        char *real = realpath(target, nullptr);
        if (real == nullptr)
            return std::string("a symbolic link to nothing: ") + std::strerror(errno);
        resolved = real;
        std::free(real);
        if (stat(resolved.c_str(), &status) != 0)
            return std::strerror(errno);
    }
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    if ((status.st_mode & kAnyWriteBit) == 0)
        return std::string(std::strerror(EACCES)) + ": the file is read-only";
    mode = status.st_mode & 07777;
    return "";
}

constexpr char kTemporaryMark[] = ".dirira-";
constexpr char kTemporaryEnd[] = ".tmp";

// This machine's name as it goes into a temporary file's name: no '/'.
std::string host_name() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    std::string host(name);
    std::replace(host.begin(), host.end(), '/', '_');
    return host;
}

// Beside the file replaced, so that the rename stays within one file
// system: NAME.dirira-HOST-PID.tmp. The host and the process say whose it
// is, so that a later run can tell the leftover of a process that died from
// a file that a live process, here or on another machine sharing the
// folder, is writing.
std::string temporary_beside(const std::string &resolved) {
    return resolved + kTemporaryMark + host_name() + "-" + std::to_string(getpid()) + kTemporaryEnd;
}

// Whether a folder entry is a temporary file that a process of this machine
// left behind when it died: its name ends .dirira-HOST-PID.tmp with this
// host's name, and no process PID is alive.
bool is_stale_temporary(const std::string &name, const std::string &host) {
    const std::size_t mark = name.rfind(kTemporaryMark), endLength = std::strlen(kTemporaryEnd);
    if (mark == std::string::npos || name.size() < endLength ||
        name.compare(name.size() - endLength, endLength, kTemporaryEnd) != 0)
        return false;
    const std::string owner =
        name.substr(mark + std::strlen(kTemporaryMark), name.size() - endLength - mark - std::strlen(kTemporaryMark));
    const std::size_t dash = owner.rfind('-');
    if (dash == std::string::npos || owner.substr(0, dash) != host || dash + 1 == owner.size() ||
        owner.find_first_not_of("0123456789", dash + 1) != std::string::npos || owner.size() - dash > 10)
        return false;
    const long pid = std::strtol(owner.c_str() + dash + 1, nullptr, 10);
    return pid > 0 && kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

std::string finish(const std::string &temporary, const std::string &resolved, mode_t mode) {
    if (mode != 0 && chmod(temporary.c_str(), mode) != 0)
        return std::string("cannot keep its permissions: ") + std::strerror(errno);
    if (!flush_to_disk(temporary, O_RDONLY))
        return std::string("cannot flush to disk: ") + std::strerror(errno);
    if (std::rename(temporary.c_str(), resolved.c_str()) != 0)
        return std::string("cannot replace: ") + std::strerror(errno);
    flush_to_disk(folder_of(resolved), O_RDONLY | O_DIRECTORY); // the rename itself; nothing to undo if it fails
    return "";
}

} // namespace

std::string write_durably(const char *target, const std::function<std::string(const char *temporary)> &write) {
    std::string resolved;
    mode_t mode = 0;
    std::string why = file_to_replace(target, resolved, mode);
    if (!why.empty())
        return why;
    const std::string temporary = temporary_beside(resolved);
    if (temporary.size() >= sizeof g_temporary)
        return std::strerror(ENAMETOOLONG);
    std::strcpy(g_temporary, temporary.c_str()); // fits: tested above
    std::remove(temporary.c_str());              // an earlier run's leftover: the writers create no file over another
    try {
        why = write(temporary.c_str());
    } catch (...) {
        std::remove(temporary.c_str());
        g_temporary[0] = '\0';
        throw;
    }
    why = why.empty() ? finish(temporary, resolved, mode) : "cannot write: " + why;
    if (!why.empty())
        std::remove(temporary.c_str());
    g_temporary[0] = '\0';
    return why;
}

std::string write_bmp_durably(CStlImage &image, const char *target, int option, HWND progress, int &status) {
    status = dirira::kBmpOk;
    return write_durably(target, [&](const char *temporary) {
        // The library answers with a status; the operating system's reason
        // is what its failing call left in errno.
        errno = 0;
        status = CBmp::Write(&image, temporary, option, progress, target);
        if (status == dirira::kBmpOk)
            return std::string();
        return errno != 0 ? std::string(std::strerror(errno))
                          : "status " + std::to_string(status) + ": " + dirira::bmp_status_message(status);
    });
}

void remove_temporary_on_signals() {
    static const bool installed = [] {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            signal(s, remove_temporary_and_die);
        return true;
    }();
    (void)installed;
}

int remove_stale_temporaries(const std::string &folder) {
    DIR *entries = opendir(folder.empty() ? "." : folder.c_str());
    if (entries == nullptr)
        return 0;
    const std::string host = host_name();
    int removed = 0;
    while (const dirent *entry = readdir(entries))
        if (is_stale_temporary(entry->d_name, host) && unlinkat(dirfd(entries), entry->d_name, 0) == 0)
            ++removed;
    closedir(entries);
    return removed;
}

bool same_file(const char *a, const char *b) {
    struct stat first, second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

} // namespace bmpfile
