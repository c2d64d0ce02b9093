// Why CBmp::Read refused a file, told the same way by every subcommand.
#pragma once

namespace dirira_tool {

// Prints "dirira: PATH: cannot read: status N: WHY" on standard error and
// returns 1. WHY is the status's fixed message, except where the status
// alone would mislead and the file's own headers tell what happened.
int report_read_failure(const char *path, int status);

}  // namespace dirira_tool
