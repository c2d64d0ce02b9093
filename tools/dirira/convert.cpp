// `dirira convert IN.bmp OUT.bmp`: reads a file with CBmp::Read and writes
// the image with CBmp::Write at its display levels (0..255 after a read, so
// 8-bit gray and 24-bit pictures come out sample for sample).
//
// CBmp::Write replaces its target in place, as the library's contract
// wants; a command line wants a failed conversion to leave an existing
// output alone. So the file is written beside the target under a temporary
// name and renamed over it only when complete: rename(2) in the same folder
// swaps it in at once. That swap would put a plain file in place of a
// device or a symbolic link, so a target that exists must be a regular file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"

namespace dirira_tool {
namespace {

constexpr int kDisplayLevels = 0;  // CStlImage::GetDib's option

int report_status(const char *path, const char *what, int status) {
    std::fprintf(stderr, "dirira: %s: cannot %s: status %d: %s\n", path, what, status,
                 dirira::bmp_status_message(status));
    return 1;
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

}  // namespace

int convert(const char *input, const char *output) {
    if (!replaceable(output)) {
        std::fprintf(stderr, "dirira: %s: not a regular file; not replaced\n", output);
        return 1;
    }
    CStlImage image;
    const int readStatus = CBmp::Read(&image, input, NULL, NULL);
    if (readStatus != dirira::kBmpOk)
        return report_status(input, "read", readStatus);
    const std::string temporary = temporary_beside(output);
    const int writeStatus = CBmp::Write(&image, temporary.c_str(), kDisplayLevels, NULL, NULL);
    if (writeStatus != dirira::kBmpOk) {
        std::remove(temporary.c_str());
        report_status(output, "write", writeStatus);
        std::fprintf(stderr, "dirira: %s is unchanged\n", output);
        return 1;
    }
    if (std::rename(temporary.c_str(), output) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        std::fprintf(stderr, "dirira: %s: cannot replace: %s; it is unchanged\n", output, std::strerror(error));
        return 1;
    }
    std::printf("%s -> %s: %d x %d, %d plane%s\n", input, output, image.GetWidth(), image.GetHeight(),
                image.GetPlanes(), image.GetPlanes() == 1 ? "" : "s");
    return 0;
}

}  // namespace dirira_tool
