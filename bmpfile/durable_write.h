// Every output of the dirira program and of the Python module is written
// whole or not at all: beside its target under a temporary name, flushed
// to the disk, then renamed over the target, so that a full disk, a
// failure or an interruption leaves the old file as it was.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <dirira/dirira.h>

namespace bmpfile {

// Writes `target` through `write`, which gets the temporary path and
// answers "" when that file is complete, else why not. Returns "" or why
// the target is unchanged, in the operating system's words where it gave
// them. A symbolic link is followed: the file it names is replaced and the
// link kept. A target that exists must be a regular file with a write
// permission bit set (a read-only file is refused, for root too: the user
// made it so to keep it); its permission bits pass to the new file.
std::string write_durably(const char *target, const std::function<std::string(const char *temporary)> &write);

// A batch makes its outputs durable together, one sync for many files
// where each alone would wait for the disk twice. After
// stage_writes_for(owner), write_durably in this process checks its target
// as always and leaves the file whole beside it under the owner's temporary
// name, NAME.dirira-HOST-OWNER.tmp, neither flushed nor renamed; the owner
// (the batch's process, which may have forked this one) then calls
// commit_staged. A target stays as it was until then.
void stage_writes_for(pid_t owner);

// The targets this process has staged since it last asked, in order: a
// conversion may write more than its one output (a cube's planes).
std::vector<std::string> take_staged();

// Makes the files staged for `targets` by this process's PID durable: one
// sync of each file system they are on, then each renamed over its target,
// then each folder flushed once. Answers, for each target in order, "" or
// why it is unchanged (its temporary file is then removed).
std::vector<std::string> commit_staged(const std::vector<std::string> &targets);

// Removes the file staged for `target` under this process's PID, if any:
// what a conversion that died part way left.
void discard_staged(const std::string &target);

// CBmp::Write of the image to `target` by write_durably. `status` gets
// CBmp::Write's status (0 when it did not run or succeeded).
std::string write_bmp_durably(CStlImage &image, const char *target, int option, HWND progress, int &status);

// For a program: a signal that ends the process removes the temporary file
// being written on its way out, and a file-size limit fails the write
// (SIGXFSZ ignored) instead of killing it. Installed once.
void remove_temporary_on_signals();

// Removes from `folder` the temporary files that runs of the program or the
// module on this machine left behind when they died (killed, a lost power):
// names of the pattern only write_durably makes, NAME.dirira-HOST-PID.tmp,
// with this machine's name and a PID no process has. Files of live
// processes and of other machines are left alone.
void remove_stale_temporaries(const std::string &folder);

// Existing files by identity (device and inode), to ask whether a path
// names one of them through any name or link: an output that is an input.
class FileIdentities {
public:
    explicit FileIdentities(const std::vector<std::string> &paths);
    // The first of the paths that names the file `path` names, or nullptr.
    const std::string *find(const char *path) const;

private:
    std::map<std::pair<dev_t, ino_t>, std::string> files_;
};

} // namespace bmpfile
