// CBmp::Write replaces its target in place, as the library's contract
// wants, and so does CFITSIO once the old file is removed; a user wants a
// failed or interrupted write to leave an existing file alone. So the file
// is written beside the target under a temporary name, flushed to the disk,
// and renamed over it only when complete: rename(2) in the same folder swaps
// it in at once, and flushing the folder afterwards makes the swap itself
// survive a crash.
#include "bmpfile/durable_write.h"

#include "bmpfile/file_kind.h"

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
#include <functional>
#include <utility>

namespace bmpfile {
namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

// The temporary file being written, for the signal handler; empty: none.
char g_temporary[PATH_MAX];

// The batch process whose commit_staged makes this process's writes
// durable; 0: each write makes itself durable.
pid_t g_stagingOwner = 0;
// The targets this process has staged since take_staged() last asked.
std::vector<std::string> g_staged;

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
    if (target[0] == '\0') // as open("") answers; else the temporary file would be ".dirira-..." here
        return std::strerror(ENOENT);
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
        return not_regular_file(status.st_mode);
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

// The longest name the folder takes, in bytes (255 on most file systems).
std::size_t longest_name_in(const std::string &folder) {
    const long longest = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return longest > 0 ? std::size_t(longest) : NAME_MAX;
}

// Beside the file replaced, so that the rename stays within one file
// system: NAME.dirira-HOST-PID.tmp. The host and the process say whose it
// is, so that a later run can tell the leftover of a process that died from
// a file that a live process, here or on another machine sharing the
// folder, is writing. A NAME too long for that ending keeps its start, cut
// before a character's first byte, and a hash of the whole name, so that
// the outputs of one batch whose long names differ only at the end (the
// planes of a cube) have temporary files of their own.
std::string temporary_beside(const std::string &resolved, pid_t owner) {
    const std::string ending = kTemporaryMark + host_name() + "-" + std::to_string(owner) + kTemporaryEnd;
    const std::size_t nameStart = resolved.rfind('/') + 1; // 0 without a folder
    const std::string folder = resolved.substr(0, nameStart), name = resolved.substr(nameStart);
    const std::size_t room = longest_name_in(folder);
    if (name.size() + ending.size() <= room)
        return resolved + ending;
    char hash[2 + 16 + 1];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(std::hash<std::string>{}(name)));
    std::size_t kept = room - std::min(room, ending.size() + std::strlen(hash));
    while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) // a UTF-8 continuation byte
        --kept;
    return folder + name.substr(0, kept) + hash + ending;
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

std::string keep_permissions(const std::string &temporary, mode_t mode) {
    if (mode != 0 && chmod(temporary.c_str(), mode) != 0)
        return std::string("cannot keep its permissions: ") + std::strerror(errno);
    return "";
}

std::string finish(const std::string &temporary, const std::string &resolved, mode_t mode) {
    if (const std::string why = keep_permissions(temporary, mode); !why.empty())
        return why;
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
    const std::string temporary = temporary_beside(resolved, g_stagingOwner != 0 ? g_stagingOwner : getpid());
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
    if (!why.empty())
        why = "cannot write: " + why;
    else
        why = g_stagingOwner != 0 ? keep_permissions(temporary, mode) : finish(temporary, resolved, mode);
    if (!why.empty())
        std::remove(temporary.c_str());
    else if (g_stagingOwner != 0)
        g_staged.push_back(target);
    g_temporary[0] = '\0';
    return why;
}

void stage_writes_for(pid_t owner) { g_stagingOwner = owner; }

std::vector<std::string> take_staged() { return std::exchange(g_staged, {}); }

namespace {

// One output of a batch on its way to its target.
struct Staged {
    std::string resolved, temporary;
    dev_t device = 0;
};

std::string find_staged(const std::string &target, Staged &staged) {
    mode_t mode = 0;
    if (std::string why = file_to_replace(target.c_str(), staged.resolved, mode); !why.empty())
        return why;
    staged.temporary = temporary_beside(staged.resolved, getpid());
    struct stat status;
    if (lstat(staged.temporary.c_str(), &status) != 0)
        return std::string("its temporary file is gone: ") + std::strerror(errno);
    staged.device = status.st_dev;
    return "";
}

// One syncfs(2) for each file system the staged files are on: it writes
// every dirty page there, theirs included, and waits, as an fsync of each
// would, with one journal commit in place of one for each file.
void flush_file_systems(const std::vector<Staged> &staged, std::vector<std::string> &why) {
    std::vector<std::pair<dev_t, std::string>> flushed;
    for (std::size_t i = 0; i < staged.size(); ++i) {
        if (!why[i].empty())
            continue;
        auto device = std::find_if(flushed.begin(), flushed.end(),
                                   [&](const auto &done) { return done.first == staged[i].device; });
        if (device == flushed.end()) {
            const int fd = open(staged[i].temporary.c_str(), O_RDONLY | O_CLOEXEC);
            const bool synced = fd >= 0 && syncfs(fd) == 0;
            flushed.emplace_back(staged[i].device,
                                 synced ? "" : std::string("cannot flush to disk: ") + std::strerror(errno));
            if (fd >= 0)
                close(fd);
            device = flushed.end() - 1;
        }
        why[i] = device->second;
    }
}

} // namespace

void discard_staged(const std::string &target) {
    Staged staged;
    if (find_staged(target, staged).empty())
        std::remove(staged.temporary.c_str());
}

std::vector<std::string> commit_staged(const std::vector<std::string> &targets) {
    std::vector<Staged> staged(targets.size());
    std::vector<std::string> why(targets.size());
    for (std::size_t i = 0; i < targets.size(); ++i)
        why[i] = find_staged(targets[i], staged[i]);
    flush_file_systems(staged, why);
    std::vector<std::string> folders;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (why[i].empty() && std::rename(staged[i].temporary.c_str(), staged[i].resolved.c_str()) != 0)
            why[i] = std::string("cannot replace: ") + std::strerror(errno);
        if (!why[i].empty() && !staged[i].temporary.empty())
            std::remove(staged[i].temporary.c_str());
        else if (why[i].empty() &&
                 std::find(folders.begin(), folders.end(), folder_of(staged[i].resolved)) == folders.end())
            folders.push_back(folder_of(staged[i].resolved));
    }
    for (const std::string &folder : folders)
        flush_to_disk(folder, O_RDONLY | O_DIRECTORY); // the renames themselves; nothing to undo if it fails
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
        // A write past the file-size limit (ulimit -f, a batch system's
        // quota) then fails with EFBIG, said and cleaned up as a full disk
        // is, where the signal would kill the process mid-file.
        signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)installed;
}

void remove_stale_temporaries(const std::string &folder) {
    DIR *entries = opendir(folder.empty() ? "." : folder.c_str());
    if (entries == nullptr)
        return;
    const std::string host = host_name();
    while (const dirent *entry = readdir(entries))
        if (is_stale_temporary(entry->d_name, host))
            unlinkat(dirfd(entries), entry->d_name, 0); // one already gone is as good
    closedir(entries);
}

FileIdentities::FileIdentities(const std::vector<std::string> &paths) {
    struct stat status;
    for (const std::string &path : paths)
        if (stat(path.c_str(), &status) == 0)
            files_.emplace(std::make_pair(status.st_dev, status.st_ino), path);
}

const std::string *FileIdentities::find(const char *path) const {
    struct stat status;
    if (stat(path, &status) != 0)
        return nullptr;
    const auto file = files_.find({status.st_dev, status.st_ino});
    return file == files_.end() ? nullptr : &file->second;
}

} // namespace bmpfile
