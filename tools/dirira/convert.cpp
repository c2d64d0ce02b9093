// `dirira convert`: one file to another, or many into a folder, BMP to BMP
// here and with FITS on one side in fits.cpp. Every conversion writes
// through write_replacing(), bmpfile's durable writer, so a failed or
// interrupted conversion leaves an existing output alone; a signal that
// ends the program removes the temporary file on its way out.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include <dirira/dirira.h>

#include "bmpfile/durable_write.h"
#include "bmpfile/file_kind.h"
#include "bmpfile/image_rows.h"
#include "tools/dirira/commands.h"
#include "tools/dirira/fits.h"
#include "tools/dirira/progress_bar.h"
#include "tools/dirira/staged_outputs.h"
#include "tools/dirira/worker_pool.h"

namespace dirira_tool {
namespace {

// CStlImage::GetDib's option: each plane through its display levels, which
// are 0..255 after a read, so 8-bit gray and 24-bit pictures come out sample
// for sample.
constexpr int kDisplayLevels = 0;
// The paged store's default budget: this share of physical memory, split
// between the conversions that run at once.
constexpr unsigned long long kDefaultMemoryShare = 2;

int convert_unguarded(const std::string &input, const std::string &output, HWND progress, const ConvertOptions &options,
                      const OnWritten &onWritten) {
    const bmpfile::ReadLimits &limits = options.limits;
    if (is_fits_path(input.c_str()) || is_fits_path(output.c_str()))
        return convert_fits(input.c_str(), output.c_str(), options.fits, progress, limits, onWritten);
    CStlImage image;
    bmpfile::ReadSource source;
    if (read_bmp_file(input.c_str(), image, progress, source, limits) != 0)
        return 1;
    if (write_bmp(image, output.c_str(), progress) != 0)
        return 1;
    onWritten(written_from(input, output, image));
    return 0;
}

// The framework's memory exception may leave the library's Read and an
// image's construction; the file then fails like any other, and a batch
// goes on with the next.
int convert_one(const std::string &input, const std::string &output, HWND progress, const ConvertOptions &options) {
    try {
        // --quiet silences the lines that name the outputs; failures are still said.
        const OnWritten say = options.quiet ? OnWritten([](const Written &) {}) : OnWritten(report_written);
        return convert_unguarded(input, output, progress, options, say);
    } catch (CException *e) {
        e->Delete();
        std::fprintf(stderr, "dirira: %s: out of memory\n", input.c_str());
        return 1;
    }
}

// The name a batch gives its outputs after NAME: .bmp, or .fits as --compress
// asks (.fits.gz, .fits.fz).
std::string output_extension(const ConvertOptions &options) {
    if (options.to != "fits")
        return ".bmp";
    return options.compress == "gzip" ? ".fits.gz" : options.compress == "rice" ? ".fits.fz" : ".fits";
}

// DIR/NAME.EXT for an input's file name, its extension replaced (both of a
// compressed FITS file's: stars.fits.gz is NAME stars).
std::string output_in(const std::string &folder, const std::string &input, const std::string &extension) {
    std::string name = input.substr(input.rfind('/') == std::string::npos ? 0 : input.rfind('/') + 1);
    if (is_fits_path(name.c_str()) && fits_compression_of(name.c_str()) != FitsCompression::kNone)
        name.resize(name.size() - 3);
    const std::size_t dot = name.rfind('.');
    name = (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + extension;
    return folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
}

// Runs the conversions in options.jobs worker processes (tools/dirira/
// worker_pool.h). Each stages its output for this process to commit, and
// what it prints is held for the commit to print.
void run_parallel(const std::vector<std::string> &inputs, const std::vector<std::string> &outputs,
                  const ConvertOptions &options, StagedOutputs &staged) {
    const pid_t batch = getpid();
    if (options.to == "fits" ||
        std::any_of(inputs.begin(), inputs.end(), [](const std::string &input) { return is_fits_path(input.c_str()); }))
        load_cfitsio();
    const auto convert = [&](std::size_t i, std::vector<std::string> &written) {
        bmpfile::stage_writes_for(batch);
        const int result = convert_one(inputs[i], outputs[i], NULL, options);
        written = bmpfile::take_staged();
        return result;
    };
    run_in_workers(inputs.size(), options.jobs, convert, [&](std::size_t i, const TaskEnd &end) {
        if (!end.lost.empty())
            std::fprintf(stderr, "dirira: %s: %s\n", inputs[i].c_str(), end.lost.c_str());
        if (end.result == 0)
            staged.add(inputs[i], end.handed, end.printed);
        else // a worker that died tells nothing: its one output is the likely leftover
            staged.fail(inputs[i], end.lost.empty() ? end.handed : std::vector<std::string>{outputs[i]});
        staged.commit_when_due();
    });
}

// The conversions one after the other in this process, with a progress bar.
void run_here(const std::vector<std::string> &inputs, const std::vector<std::string> &outputs,
              const ConvertOptions &options, StagedOutputs &staged) {
    ProgressBar bar(stderr, wants_progress_bar(stderr, options.quiet));
    bmpfile::stage_writes_for(getpid());
    HeldOutput printed;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        int code = 0;
        {
            CapturedHere held(printed);
            code = convert_one(inputs[i], outputs[i], bar.window(), options);
        }
        std::string said = printed.take();
        if (code == 0)
            staged.add(inputs[i], bmpfile::take_staged(), std::move(said));
        else
            staged.fail(inputs[i], bmpfile::take_staged());
        staged.commit_when_due();
    }
    bmpfile::stage_writes_for(0);
}

// What a conversion writes to a name, in the words of bmpfile::format_of_name:
// FITS by the FITS extensions (gzip or tile-compressed as they say), else BMP.
std::string format_written(const std::string &output) {
    if (!is_fits_path(output.c_str()))
        return "BMP";
    switch (fits_compression_of(output.c_str())) {
    case FitsCompression::kGzip:
        return "gzip";
    case FitsCompression::kTiles:
        return "tile-compressed FITS";
    default:
        return "FITS";
    }
}

constexpr char kConvertFormats[] = "convert writes BMP (.bmp) or FITS (.fits, .fit, .fts, .fits.gz, .fz)";

// Whether OUTPUT exists and was last changed no earlier than INPUT: what a
// run that died part way has already converted (its outputs appear whole or
// not at all).
bool up_to_date(const std::string &input, const std::string &output) {
    struct stat in, out;
    if (stat(input.c_str(), &in) != 0 || stat(output.c_str(), &out) != 0)
        return false;
    return out.st_mtim.tv_sec != in.st_mtim.tv_sec ? out.st_mtim.tv_sec > in.st_mtim.tv_sec
                                                   : out.st_mtim.tv_nsec >= in.st_mtim.tv_nsec;
}

// A job array's share of the inputs: input i (counted from 0 in the order
// given) goes to shard i mod N + 1, so N tasks given the same list convert
// each input exactly once, in shares that differ by one at most.
std::vector<std::string> shard_of(const std::vector<std::string> &inputs, int shard, int shards) {
    if (shards == 0)
        return inputs;
    std::vector<std::string> share;
    for (std::size_t i = std::size_t(shard - 1); i < inputs.size(); i += std::size_t(shards))
        share.push_back(inputs[i]);
    return share;
}

// Drops the conversions whose outputs are up to date and says how many.
void skip_existing(std::vector<std::string> &inputs, std::vector<std::string> &outputs, bool quiet) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (!up_to_date(inputs[i], outputs[i])) {
            inputs[kept] = inputs[i];
            outputs[kept++] = outputs[i];
        }
    if (kept != inputs.size() && !quiet)
        std::printf("skipped %zu of %zu: their outputs are no older than their inputs\n", inputs.size() - kept,
                    inputs.size());
    inputs.resize(kept);
    outputs.resize(kept);
}

// Why the batch's folder cannot take outputs (an errno), or 0: asked once
// before any input is read, so that a mistyped -o DIR is one message, not a
// failure for each file.
int folder_error(const std::string &directory) {
    struct stat folder;
    if (stat(directory.c_str(), &folder) != 0)
        return errno;
    if (!S_ISDIR(folder.st_mode))
        return ENOTDIR;
    return access(directory.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

int convert_batch(ConvertOptions options) {
    if (const int error = folder_error(options.directory); error != 0) {
        std::fprintf(stderr, "dirira: %s: cannot write outputs there: %s; nothing converted\n",
                     options.directory.c_str(), std::strerror(error));
        return 2;
    }
    options.inputs = shard_of(options.inputs, options.shard, options.shards);
    bmpfile::remove_stale_temporaries(options.directory);
    std::vector<std::string> outputs;
    std::set<std::string> seen;
    const bmpfile::FileIdentities inputFiles(options.inputs);
    for (const std::string &input : options.inputs) {
        outputs.push_back(output_in(options.directory, input, output_extension(options)));
        if (!seen.insert(outputs.back()).second) {
            std::fprintf(stderr, "dirira: two inputs would both become %s; nothing converted\n",
                         outputs.back().c_str());
            return 2;
        }
        if (refuse_unsafe_output(inputFiles, outputs.back(), format_written(outputs.back()), kConvertFormats))
            return 2;
    }
    if (options.skipExisting)
        skip_existing(options.inputs, outputs, options.quiet);
    StagedOutputs staged(options.jobs > 1);
    if (options.jobs == 1)
        run_here(options.inputs, outputs, options, staged);
    else
        run_parallel(options.inputs, outputs, options, staged);
    staged.finish();
    const std::vector<std::string> &failed = staged.failed();
    if (failed.empty())
        return 0;
    std::fprintf(stderr, "dirira: %zu of %zu files failed:", failed.size(), options.inputs.size());
    for (const std::string &input : failed)
        std::fprintf(stderr, " %s", input.c_str());
    std::fprintf(stderr, "\n");
    return 1;
}

} // namespace

Written written_from(const std::string &input, const std::string &output, CStlImage &image,
                     const std::string &details) {
    return {input, output, image.GetWidth(), image.GetHeight(), image.GetPlanes(), details};
}

void report_written(const Written &written) {
    std::printf("%s -> %s: %d x %d, %d plane%s%s\n", written.input.c_str(), written.output.c_str(), written.width,
                written.height, written.planes, written.planes == 1 ? "" : "s", written.details.c_str());
    std::fflush(stdout); // before any later message on standard error, when both go to one file
}

int refuse_output(const char *output, const std::string &why) {
    std::fprintf(stderr, "dirira: %s: %s; it is unchanged\n", output, why.c_str());
    return 1;
}

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

float *store_row(CStlImage &image, int y, int plane, unsigned mode) {
    return bmpfile::store_row(image, y, plane, mode);
}

int read_bmp_file(const char *path, CStlImage &image, HWND progress, bmpfile::ReadSource &source,
                  const bmpfile::ReadLimits &limits) {
    bmpfile::ReadFailure failure;
    const bool read = bmpfile::read_bmp(path, image, progress, source, failure, limits);
    if (!source.warning.empty())
        std::fprintf(stderr, "dirira: %s: warning: %s\n", path, source.warning.c_str());
    if (read)
        return 0;
    std::fprintf(stderr, "dirira: %s: cannot read: %s\n", path, failure.why.c_str());
    return 1;
}

int refuse_unsafe_output(const bmpfile::FileIdentities &inputs, const std::string &output, const std::string &writes,
                         const char *formats) {
    if (const std::string *input = inputs.find(output.c_str())) {
        std::fprintf(stderr, "dirira: %s is the input %s; nothing written\n", output.c_str(), input->c_str());
        return 2;
    }
    const std::string named = bmpfile::format_of_name(output);
    if (named.empty() || named == writes)
        return 0;
    std::fprintf(stderr, "dirira: %s: the name says %s, but %s; nothing written\n", output.c_str(), named.c_str(),
                 formats);
    return 2;
}

int write_replacing(const char *output, const std::function<std::string(const char *)> &write) {
    bmpfile::remove_temporary_on_signals();
    const std::string why = bmpfile::write_durably(output, write);
    return why.empty() ? 0 : refuse_output(output, why);
}

int write_bmp(CStlImage &image, const char *output, HWND progress) {
    bmpfile::remove_temporary_on_signals();
    int status = 0;
    const std::string why = bmpfile::write_bmp_durably(image, output, kDisplayLevels, progress, status);
    return why.empty() ? 0 : refuse_output(output, why);
}

int convert(const ConvertOptions &options) {
    if (options.directory.empty() && refuse_unsafe_output(bmpfile::FileIdentities(options.inputs), options.output,
                                                          format_written(options.output), kConvertFormats))
        return 2;
    set_memory_budget(options.memory, options.jobs);
    if (!options.directory.empty())
        return convert_batch(options);
    std::vector<std::string> inputs = options.inputs, outputs = {options.output};
    if (options.skipExisting && (skip_existing(inputs, outputs, options.quiet), inputs.empty()))
        return 0;
    ProgressBar bar(stderr, wants_progress_bar(stderr, options.quiet));
    return convert_one(options.inputs[0], options.output, bar.window(), options);
}

} // namespace dirira_tool
