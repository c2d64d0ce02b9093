// `dirira convert`: reads a file and writes it again, BMP to BMP here, with
// FITS on one side in fits.cpp. Every conversion writes through
// write_replacing().
//
// CBmp::Write replaces its target in place, as the library's contract
// wants, and so does CFITSIO once the old file is removed; a command line
// wants a failed conversion to leave an existing output alone. So the file
// is written beside the target under a temporary name and renamed over it
// only when complete: rename(2) in the same folder swaps it in at once. That
// swap would put a plain file in place of a device or a symbolic link, so a
// target that exists must be a regular file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <dirira/dirira.h>

#include "tools/dirira/commands.h"
#include "tools/dirira/read_failure.h"

namespace dirira_tool {
namespace {

// CStlImage::GetDib's option: each plane through its display levels, which
// are 0..255 after a read, so 8-bit gray and 24-bit pictures come out sample
// for sample.
constexpr int kDisplayLevels = 0;

// Beside the target, so that the rename stays within one file system.
std::string temporary_beside(const char *target) {
    return std::string(target) + ".dirira-" + std::to_string(getpid()) + ".tmp";
}

// Absent, or a regular file that the rename may replace.
bool replaceable(const char *target) {
    struct stat status;
    return lstat(target, &status) != 0 ? errno == ENOENT : S_ISREG(status.st_mode);
}

int refuse_output(const char *output, const std::string &why) {
    std::fprintf(stderr, "dirira: %s: %s; it is unchanged\n", output, why.c_str());
    return 1;
}

}  // namespace

int write_replacing(const char *output, const std::function<std::string(const char *)> &write) {
    if (!replaceable(output))
        return refuse_output(output, "not a regular file");
    const std::string temporary = temporary_beside(output);
    std::remove(temporary.c_str());  // an earlier run's leftover: CFITSIO creates no file over another
    std::string why = write(temporary.c_str());
    if (!why.empty())
        why = "cannot write: " + why;
    else if (std::rename(temporary.c_str(), output) != 0)
        why = std::string("cannot replace: ") + std::strerror(errno);
    if (why.empty())
        return 0;
    std::remove(temporary.c_str());
    return refuse_output(output, why);
}

int write_bmp(CStlImage &image, const char *output) {
    return write_replacing(output, [&image](const char *path) {
        const int status = CBmp::Write(&image, path, kDisplayLevels, NULL, NULL);
        if (status == dirira::kBmpOk)
            return std::string();
        return "status " + std::to_string(status) + ": " + dirira::bmp_status_message(status);
    });
}

int convert(const char *input, const char *output) {
    CStlImage image;
    const int readStatus = CBmp::Read(&image, input, NULL, NULL);
    if (readStatus != dirira::kBmpOk)
        return report_read_failure(input, readStatus);
    if (write_bmp(image, output) != 0)
        return 1;
    std::printf("%s -> %s: %d x %d, %d plane%s\n", input, output, image.GetWidth(), image.GetHeight(),
                image.GetPlanes(), image.GetPlanes() == 1 ? "" : "s");
    return 0;
}

}  // namespace dirira_tool
