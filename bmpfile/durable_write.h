// Every output of the dirira program and of the Python module is written
// whole or not at all: beside its target under a temporary name, flushed
// to the disk, then renamed over the target, so that a full disk, a
// failure or an interruption leaves the old file as it was.
#pragma once

#include <functional>
#include <string>

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

// CBmp::Write of the image to `target` by write_durably. `status` gets
// CBmp::Write's status (0 when it did not run or succeeded).
std::string write_bmp_durably(CStlImage &image, const char *target, int option, HWND progress, int &status);

// For a program: a signal that ends the process removes the temporary file
// being written on its way out. Installed once.
void remove_temporary_on_signals();

// Removes from `folder` the temporary files that runs of the program or the
// module on this machine left behind when they died (killed, a lost power):
// names of the pattern only write_durably makes, NAME.dirira-HOST-PID.tmp,
// with this machine's name and a PID no process has. Files of live
// processes and of other machines are left alone. Returns how many went.
int remove_stale_temporaries(const std::string &folder);

// Whether both paths name one existing file, through any name or link.
bool same_file(const char *a, const char *b);

} // namespace bmpfile
