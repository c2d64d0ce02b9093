// The library answers with a status code, and a few codes cover cases that
// their fixed message describes badly: a valid core-header file too small
// for the 40-byte form that the reader widens it to gets 4 ("headers cannot
// be read"), a bit depth that the image library does not decode gets 6
// ("out of memory"). The program looks at the file's headers itself to say
// what really happened; the library's codes stay as they are.
#include "bmpfile/read_failure.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <dirira/dirira.h>

#include "siblings/zirdib/dibapi.h"
#include "bmpfile/bmp_versions.h"

namespace bmpfile {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr unsigned long kTableEntrySize = 4; // RGBQUAD, as the reader widens RGBTRIPLE

// What the first bytes of a file say: the header's size field, behind a
// file header or not, and the file's length.
struct HeaderPeek {
    std::uint32_t headerSize = 0;
    bool complete = false; // the whole header is there (40 bytes unless a core header)
    long fileSize = 0;
    // The reader's normalised header and colour table, counted as the reader
    // counts them: a core file smaller than this is refused, however valid.
    unsigned long widened = 0;
};

unsigned little_endian(const unsigned char *bytes, int count) {
    unsigned value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

bool peek(const char *path, HeaderPeek &header) {
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    unsigned char bytes[kFileHeaderSize + kInfoHeaderSize] = {};
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fseek(file, 0, SEEK_END);
    header.fileSize = std::ftell(file);
    std::fclose(file);
    const std::size_t at = bytes[0] == 'B' && bytes[1] == 'M' ? kFileHeaderSize : 0; // zeros past `got`
    if (got < at + 4)
        return false;
    header.headerSize = little_endian(bytes + at, 4);
    const bool core = header.headerSize == kCoreHeaderSize;
    header.complete = got >= at + (core ? kCoreHeaderSize : kInfoHeaderSize);
    header.widened = kInfoHeaderSize + kTableEntrySize * DibNumColors(bytes + at);
    return true;
}

std::string why(const char *path, int status) {
    HeaderPeek header;
    if (!peek(path, header))
        return dirira::bmp_status_message(status);
    char text[320];
    if (status == dirira::kBmpReadFailed && header.complete && header.headerSize == kCoreHeaderSize &&
        static_cast<unsigned long>(header.fileSize) < header.widened) {
        std::snprintf(text, sizeof text,
                      "a valid BITMAPCOREHEADER file, but its %ld bytes are fewer than the %lu of the 40-byte "
                      "header and 4-byte colour entries the library widens it to, and the library refuses it",
                      header.fileSize, header.widened);
        return text;
    }
    if (status == dirira::kBmpBadHeaderSize) {
        std::snprintf(text, sizeof text, "%s; this file has a %u-byte header: %s", dirira::bmp_status_message(status),
                      header.headerSize, bmp_header_name(header.headerSize));
        return text;
    }
    return dirira::bmp_status_message(status);
}

} // namespace

std::string read_failure_why(const char *path, int status) {
    return "status " + std::to_string(status) + ": " + why(path, status);
}

} // namespace bmpfile
