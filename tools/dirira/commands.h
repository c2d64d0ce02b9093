// The subcommands of the dirira command-line program.
#pragma once

namespace dirira_tool {

// `dirira info FILE.bmp`: what reading the file gives, or why it cannot.
int info(const char *path);
// `dirira about`: the library's version block and format names.
int about();
// `dirira convert IN.bmp OUT.bmp`: read, then write through a temporary file
// renamed over OUT.
int convert(const char *input, const char *output);

}  // namespace dirira_tool
