#include "bmpfile/file_kind.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace bmpfile {
namespace {

struct Signature {
    const char *bytes;
    std::size_t length;
    const char *format;
};

// The first bytes that each format's own definition fixes.
constexpr Signature kSignatures[] = {
    {"\x89PNG\r\n\x1a\n", 8, "PNG"},
    {"SIMPLE  =", 9, "FITS"},
    {"\x1f\x8b", 2, "gzip"},
    {"\xff\xd8\xff", 3, "JPEG"},
    {"II*\0", 4, "TIFF"},
    {"MM\0*", 4, "TIFF"},
    {"GIF8", 4, "GIF"},
    {"BM", 2, "BMP"},
};

struct Extension {
    const char *extension;
    const char *format;
};

constexpr Extension kExtensions[] = {
    {"bmp", "BMP"},    {"dib", "BMP"},    {"fits", "FITS"},
    {"fit", "FITS"},   {"fts", "FITS"},   {"fz", "tile-compressed FITS"},
    {"png", "PNG"},    {"jpg", "JPEG"},   {"jpeg", "JPEG"},
    {"jpe", "JPEG"},   {"tif", "TIFF"},   {"tiff", "TIFF"},
    {"gif", "GIF"},    {"webp", "WebP"},  {"pbm", "netpbm"},
    {"pgm", "netpbm"}, {"ppm", "netpbm"}, {"pnm", "netpbm"},
    {"gz", "gzip"},    {"bz2", "bzip2"},  {"xz", "xz"},
    {"zst", "zstd"},   {"zip", "zip"},
};

bool printable_text(const std::uint8_t *bytes, std::size_t size) {
    return std::all_of(bytes, bytes + size,
                       [](std::uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == '\n' || c == '\r' || c == '\t'; });
}

} // namespace

std::string format_of_bytes(const std::uint8_t *bytes, std::size_t size) {
    for (const Signature &s : kSignatures)
        if (size >= s.length && std::memcmp(bytes, s.bytes, s.length) == 0)
            return s.format;
    return size != 0 && printable_text(bytes, size) ? "text" : "";
}

std::string format_of_name(const std::string &path) {
    const std::size_t slash = path.rfind('/'), dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    for (const Extension &e : kExtensions)
        if (extension == e.extension)
            return e.format;
    return "";
}

// What a path that is no regular file is, in the words of ls and stat.
std::string not_regular_file(mode_t mode) {
    if (S_ISDIR(mode))
        return std::strerror(EISDIR);
    return std::string(S_ISFIFO(mode)  ? "a FIFO"
                       : S_ISCHR(mode) ? "a character device"
                       : S_ISBLK(mode) ? "a block device"
                                       : "a socket") +
           ", not a regular file";
}

// O_NONBLOCK, so that a FIFO without a writer is refused rather than waited
// for (it changes nothing for a regular file): the readers need a file's size,
// and open it more than once.
int open_for_reading(const char *path, struct stat &status, std::string &why) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode))
        return fd;
    why = fd >= 0 ? not_regular_file(status.st_mode) : std::strerror(errno);
    if (fd >= 0)
        close(fd);
    return -1;
}

} // namespace bmpfile
