// The subcommands of the dirira command-line program.
#pragma once

namespace dirira_tool {

// `dirira info FILE.bmp`: what reading the file gives, or why it cannot.
int info(const char *path);
// `dirira about`: the library's version block and format names.
int about();

}  // namespace dirira_tool
