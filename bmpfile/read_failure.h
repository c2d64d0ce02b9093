// Why CBmp::Read refused a file, told the same way wherever a file is read.
#pragma once

#include <string>

namespace bmpfile {

// "status N: WHY": WHY is the status's fixed message, except where the
// status alone would mislead and the file's own headers tell what happened.
std::string read_failure_why(const char *path, int status);

} // namespace bmpfile
