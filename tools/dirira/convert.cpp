// `dirira convert`: one file to another, or many into a folder, BMP to BMP
// here and with FITS on one side in fits.cpp. Every conversion writes
// through write_replacing().
//
// CBmp::Write replaces its target in place, as the library's contract
// wants, and so does CFITSIO once the old file is removed; a command line
// wants a failed or interrupted conversion to leave an existing output
// alone. So the file is written beside the target under a temporary name,
// flushed to the disk, and renamed over it only when complete: rename(2) in
// the same folder swaps it in at once, and flushing the folder afterwards
// makes the swap itself survive a crash. That swap would put a plain file
// in place of a device or a symbolic link, so a target that exists must be
// a regular file. A signal that ends the program removes the temporary file
// on its way out.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"
#include "tools/dirira/fits.h"
#include "tools/dirira/progress_bar.h"

namespace dirira_tool {
namespace {

// CStlImage::GetDib's option: each plane through its display levels, which
// are 0..255 after a read, so 8-bit gray and 24-bit pictures come out sample
// for sample.
constexpr int kDisplayLevels = 0;
// The paged store's default budget: this share of physical memory, split
// between the conversions that run at once.
constexpr unsigned long long kDefaultMemoryShare = 2;

// The temporary file being written, for the signal handler; empty: none.
char g_temporary[4096];

extern "C" void remove_temporary_and_die(int signal) {
    if (g_temporary[0] != '\0')
        unlink(g_temporary);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void remove_temporary_on_signals() {
    static const bool installed = [] {
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
            signal(s, remove_temporary_and_die);
        return true;
    }();
    (void)installed;
}

// Beside the target, so that the rename stays within one file system.
std::string temporary_beside(const char *target) {
    return std::string(target) + ".dirira-" + std::to_string(getpid()) + ".tmp";
}

// Absent, or a regular file that the rename may replace.
bool replaceable(const char *target) {
    struct stat status;
    return lstat(target, &status) != 0 ? errno == ENOENT : S_ISREG(status.st_mode);
}

bool flush_to_disk(const std::string &path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    const bool flushed = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    return flushed;
}

std::string folder_of(const char *path) {
    const std::string p(path);
    const std::size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
}

int refuse_output(const char *output, const std::string &why) {
    std::fprintf(stderr, "dirira: %s: %s; it is unchanged\n", output, why.c_str());
    return 1;
}

// Sets the paged store's budget for the conversions of this process.
void set_memory_budget(unsigned long long requested, int jobs) {
    unsigned long long budget = requested;
    if (budget == 0) {
        const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
        budget = pages > 0 && pageSize > 0
                     ? (unsigned long long)pages * (unsigned long long)pageSize / kDefaultMemoryShare
                     : 0;
        budget /= (unsigned long long)(jobs);
    }
    CVmImage::SetMemoryBudget(SIZE_T(budget));
}

int convert_unguarded(const std::string &input, const std::string &output, HWND progress) {
    if (is_fits_path(input.c_str()) || is_fits_path(output.c_str()))
        return convert_fits(input.c_str(), output.c_str(), progress);
    CStlImage image;
    bmpfile::ReadSource source;
    if (read_bmp_file(input.c_str(), image, progress, source) != 0)
        return 1;
    if (write_bmp(image, output.c_str(), progress) != 0)
        return 1;
    std::printf("%s -> %s: %d x %d, %d plane%s\n", input.c_str(), output.c_str(), image.GetWidth(), image.GetHeight(),
                image.GetPlanes(), image.GetPlanes() == 1 ? "" : "s");
    return 0;
}

// The framework's memory exception may leave the library's Read and an
// image's construction; the file then fails like any other, and a batch
// goes on with the next.
int convert_one(const std::string &input, const std::string &output, HWND progress) {
    try {
        return convert_unguarded(input, output, progress);
    } catch (CException *e) {
        e->Delete();
        std::fprintf(stderr, "dirira: %s: out of memory\n", input.c_str());
        return 1;
    }
}

// DIR/NAME.EXT for an input's file name, its extension replaced.
std::string output_in(const std::string &folder, const std::string &input, const std::string &to) {
    std::string name = input.substr(input.rfind('/') == std::string::npos ? 0 : input.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    name = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + (to == "fits" ? ".fits" : ".bmp");
    return folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
}

// Runs the conversions, at most `jobs` child processes at a time (each
// image independent, each process its own library state); the exit
// statuses say which failed.
std::vector<std::string> run_parallel(const std::vector<std::string> &inputs, const std::vector<std::string> &outputs,
                                      int jobs) {
    std::vector<std::string> failed;
    std::vector<std::pair<pid_t, std::size_t>> running;
    const auto reap_one = [&] {
        int status = 0;
        const pid_t child = wait(&status);
        for (auto it = running.begin(); it != running.end(); ++it) {
            if (it->first != child)
                continue;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                failed.push_back(inputs[it->second]);
            running.erase(it);
            return;
        }
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        if (int(running.size()) == jobs)
            reap_one();
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            const int code = convert_one(inputs[i], outputs[i], NULL);
            std::fflush(nullptr);
            _exit(code);
        }
        if (child < 0) {
            std::fprintf(stderr, "dirira: %s: cannot start a process: %s\n", inputs[i].c_str(), std::strerror(errno));
            failed.push_back(inputs[i]);
            continue;
        }
        running.emplace_back(child, i);
    }
    while (!running.empty())
        reap_one();
    return failed;
}

int convert_batch(const ConvertOptions &options) {
    std::vector<std::string> outputs;
    std::set<std::string> seen;
    for (const std::string &input : options.inputs) {
        outputs.push_back(output_in(options.directory, input, options.to));
        if (!seen.insert(outputs.back()).second) {
            std::fprintf(stderr, "dirira: two inputs would both become %s; nothing converted\n",
                         outputs.back().c_str());
            return 2;
        }
    }
    std::vector<std::string> failed;
    if (options.jobs == 1) {
        ProgressBar bar(stderr, wants_progress_bar(stderr, options.quiet));
        for (std::size_t i = 0; i < options.inputs.size(); ++i)
            if (convert_one(options.inputs[i], outputs[i], bar.window()) != 0)
                failed.push_back(options.inputs[i]);
    } else {
        failed = run_parallel(options.inputs, outputs, options.jobs);
    }
    if (failed.empty())
        return 0;
    std::fprintf(stderr, "dirira: %zu of %zu files failed:", failed.size(), options.inputs.size());
    for (const std::string &input : failed)
        std::fprintf(stderr, " %s", input.c_str());
    std::fprintf(stderr, "\n");
    return 1;
}

} // namespace

float *store_row(CStlImage &image, int y, int plane, unsigned mode) {
    float *row = image.GetImageAdr(0, y, plane, mode, NULL);
    if (row == nullptr)
        AfxThrowMemoryException();
    return row;
}

int read_bmp_file(const char *path, CStlImage &image, HWND progress, bmpfile::ReadSource &source) {
    bmpfile::ReadFailure failure;
    const bool read = bmpfile::read_bmp(path, image, progress, source, failure);
    if (!source.warning.empty())
        std::fprintf(stderr, "dirira: %s: warning: %s\n", path, source.warning.c_str());
    if (read)
        return 0;
    std::fprintf(stderr, "dirira: %s: cannot read: %s\n", path, failure.why.c_str());
    return 1;
}

int write_replacing(const char *output, const std::function<std::string(const char *)> &write) {
    if (!replaceable(output))
        return refuse_output(output, "not a regular file");
    const std::string temporary = temporary_beside(output);
    if (temporary.size() >= sizeof g_temporary)
        return refuse_output(output, "the path is too long");
    remove_temporary_on_signals();
    std::strcpy(g_temporary, temporary.c_str()); // fits: tested above
    std::remove(temporary.c_str());              // an earlier run's leftover: the writers create no file over another
    std::string why;
    try {
        why = write(temporary.c_str());
    } catch (...) {
        std::remove(temporary.c_str());
        g_temporary[0] = '\0';
        throw;
    }
    if (!why.empty())
        why = "cannot write: " + why;
    else if (!flush_to_disk(temporary, O_RDONLY))
        why = std::string("cannot flush to disk: ") + std::strerror(errno);
    else if (std::rename(temporary.c_str(), output) != 0)
        why = std::string("cannot replace: ") + std::strerror(errno);
    if (why.empty()) {
        g_temporary[0] = '\0';
        flush_to_disk(folder_of(output), O_RDONLY | O_DIRECTORY); // the rename itself; nothing to undo if it fails
        return 0;
    }
    std::remove(temporary.c_str());
    g_temporary[0] = '\0';
    return refuse_output(output, why);
}

int write_bmp(CStlImage &image, const char *output, HWND progress) {
    return write_replacing(output, [&image, output, progress](const char *path) {
        const int status = CBmp::Write(&image, path, kDisplayLevels, progress, output);
        if (status == dirira::kBmpOk)
            return std::string();
        return "status " + std::to_string(status) + ": " + dirira::bmp_status_message(status);
    });
}

int convert(const ConvertOptions &options) {
    set_memory_budget(options.memory, options.jobs);
    if (!options.directory.empty())
        return convert_batch(options);
    ProgressBar bar(stderr, wants_progress_bar(stderr, options.quiet));
    return convert_one(options.inputs[0], options.output, bar.window());
}

} // namespace dirira_tool
