// The subcommands of the dirira command-line program.
#pragma once

#include <functional>
#include <string>

#include <dirira/dirira.h>

namespace dirira_tool {

// The program: the subcommand that argv names, its exit status (2 and a
// usage text for a command line it does not know).
int run(int argc, char **argv);

// `dirira info FILE.bmp`: what reading the file gives, or why it cannot.
int info(const char *path);
// `dirira about`: the library's version block and format names.
int about();
// `dirira convert IN.bmp OUT.bmp`: read, then write through write_replacing.
int convert(const char *input, const char *output);

// Writes OUTPUT whole or not at all: `write` gets a temporary path beside it
// and answers "" when that file is complete, else why not; the file is then
// renamed over OUTPUT, or removed. A failure is printed ("...; it is
// unchanged") and returns 1. An OUTPUT that exists must be a regular file.
int write_replacing(const char *output, const std::function<std::string(const char *)> &write);
// The image through its display levels as a BMP file (CBmp::Write), by
// write_replacing: 0, or 1 after saying why not.
int write_bmp(CStlImage &image, const char *output);

}  // namespace dirira_tool
