// The subcommands of the dirira command-line program.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/durable_write.h"
#include "bmpfile/read_image.h"
#include "tools/dirira/fits.h"
#include "tools/dirira/stretch.h"

namespace dirira_tool {

// The program: the subcommand that argv names, its exit status (2 and a
// usage text for a command line it does not know).
int run(int argc, char **argv);

// What `dirira info` was asked to do.
struct InfoOptions {
    std::vector<std::string> files;
    bool histogram = false;        // --histogram: 64 bins of each plane between its extremes
    bool json = false;             // --json: one JSON object a line for each file
    unsigned long long memory = 0; // --memory: the paged store's budget in bytes; 0: half of memory
    bmpfile::ReadLimits limits;    // --allow-short, --max-pixels
};

// `dirira info FILE...`: what reading each file gives, as text (a block for
// each file, headed by its name) or as JSON, or why a file cannot be read;
// 0, or 1 when a file could not be read.
int info(const InfoOptions &options);

// Sets the paged store's budget for the images of this process: `requested`
// bytes, or (0) half of physical memory split between the jobs.
void set_memory_budget(unsigned long long requested, int jobs);
// `dirira about`: the library's version block and format names.
int about();
// What `dirira convert` was asked to do.
struct ConvertOptions {
    std::vector<std::string> inputs;
    std::string output;            // with one input and no directory: the file to write
    std::string directory;         // -o DIR: each input becomes DIR/NAME.fits or DIR/NAME.bmp
    std::string to;                // --to fits|bmp, with a directory
    std::string compress;          // --compress gzip|rice|none: FITS outputs in a directory
    bool skipExisting = false;     // --skip-existing: keep outputs no older than their inputs
    int shard = 0, shards = 0;     // --shard K/N: the inputs i with i mod N = K - 1; 0, 0: all
    int jobs = 1;                  // -j N: conversions running at once
    unsigned long long memory = 0; // --memory: the paged store's budget in bytes; 0: half of memory
    bool quiet = false;            // --quiet: no progress bar
    bmpfile::ReadLimits limits;    // --allow-short, --max-pixels
    FitsOptions fits;              // --bitpix, and for FITS inputs the image and its display levels
};

// An output in place, for the line that says so on standard output:
// "IN -> OUT: W x H, N planes" (the picture the output holds), then what its
// kind adds: ", BITPIX B" for FITS, the source's size and the stretch for a
// preview. One line per output, for every command and kind, so that a
// script can follow a run by its lines.
struct Written {
    std::string input, output;
    int width = 0, height = 0, planes = 0;
    std::string details;
};
// The line of an output whose size and planes are the image's.
Written written_from(const std::string &input, const std::string &output, CStlImage &image,
                     const std::string &details = "");
// Prints the line; called only once the output is renamed over its target,
// so that a line never names a file that is not there.
void report_written(const Written &written);

// `dirira convert`: each input read (BMP of any version, or FITS) and
// written through write_replacing, each output reported (report_written)
// once it is in place. Returns 0, 1 when a file failed (each
// named on standard error), 2 before anything is read for two inputs that
// would share an output, an output that is an input, or an output whose
// name says a format other than the one written.
int convert(const ConvertOptions &options);

// What `dirira preview` was asked to do.
struct PreviewOptions {
    std::string input, output;
    Stretch stretch;                 // --stretch; zscale by default
    int plane = -1;                  // --plane N (0-based here); -1: all three of a colour image, else the first
    bool colour = false;             // --colour: all three, or an error
    int width = 1024, height = 1024; // --size: the largest picture; bigger ones are reduced
    bmpfile::ReadLimits limits;      // --allow-short, --max-pixels
    unsigned long long memory = 0;   // --memory, as for convert
    int hdu = 0;                     // --hdu N of a FITS file (from 1); 0: the first holding an image
    bool perPlane = false;           // --per-plane-levels: a colour image's planes each stretched alone
    bool levelsGiven = false;        // --levels LO,HI: these levels, no stretch
    Levels levels;
    bool quiet = false; // --quiet: no line for the picture written, nor for its levels
};

// `dirira preview IN OUT.png`: prints the sizes and each plane's levels,
// warns of levels that span nothing or run backwards; 0, 1, or 2 (before
// reading) for an output that is the input or not named as a PNG.
int preview(PreviewOptions options);

// Row y of a plane of the image's store, for reading (mode 1) or writing
// (0). A store that cannot bring the row in (no memory for a slot, a swap
// file that fails) throws the framework's memory exception, which ends the
// command, or the file's conversion, as out of memory.
float *store_row(CStlImage &image, int y, int plane, unsigned mode);

// Reads a BMP file of any header version (bmpfile::read_bmp), saying on
// standard error what the reader let pass or why it cannot read the file
// ("dirira: PATH: cannot read: WHY"): 0, or 1.
int read_bmp_file(const char *path, CStlImage &image, HWND progress, bmpfile::ReadSource &source,
                  const bmpfile::ReadLimits &limits);

// 2, after saying why, when an output is one of the inputs (through any
// name or link) or its name says a format other than `writes` (what the
// command writes to that name; `formats` says what it writes, in words);
// else 0.
int refuse_unsafe_output(const bmpfile::FileIdentities &inputs, const std::string &output, const std::string &writes,
                         const char *formats);

// Says that OUTPUT was not written and why ("dirira: OUTPUT: WHY; it is
// unchanged"); returns 1.
int refuse_output(const char *output, const std::string &why);

// Writes OUTPUT whole or not at all (bmpfile::write_durably), a signal
// removing the temporary file: `write` gets a temporary path beside it and
// answers "" when that file is complete, else why not. A failure is printed
// ("...; it is unchanged") and returns 1.
int write_replacing(const char *output, const std::function<std::string(const char *)> &write);
// The image through its display levels as a BMP file (CBmp::Write, its
// progress to `progress`), by write_replacing: 0, or 1 after saying why not.
int write_bmp(CStlImage &image, const char *output, HWND progress);

} // namespace dirira_tool
