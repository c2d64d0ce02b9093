// The library answers with a status code, and one case is described badly
// by its fixed message: a file too small for the 40-byte header and the
// colour table that its reader makes of it gets 4 ("headers cannot be
// read"), however valid its header: a core-header file by the widening of
// its header and table, or a file whose table is cut, read with
// --allow-short. (Every other file CBmp::Read is given has been judged
// first: a 40-byte header, or a bare DIB of a 40- or 12-byte one, of a BMP
// depth.) The program looks at the file's header itself to say what really
// happened; the library's codes stay as they are.
#include "bmpfile/read_failure.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <dirira/dirira.h>

#include "siblings/zirdib/dibapi.h"

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

bool peek(const char *path, HeaderPeek &header) {
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    unsigned char bytes[kFileHeaderSize + kInfoHeaderSize] = {}; // zeros past `got`
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fseek(file, 0, SEEK_END);
    header.fileSize = std::ftell(file);
    std::fclose(file);
    const unsigned char *at = bytes + (bytes[0] == 'B' && bytes[1] == 'M' ? kFileHeaderSize : 0);
    header.headerSize =
        std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
    const std::size_t size = header.headerSize == kCoreHeaderSize ? kCoreHeaderSize : kInfoHeaderSize;
    header.complete = got >= std::size_t(at - bytes) + size;
    header.widened = kInfoHeaderSize + kTableEntrySize * DibNumColors(at);
    return true;
}

std::string why(const char *path, int status) {
    HeaderPeek header;
    if (status != dirira::kBmpReadFailed || !peek(path, header) || !header.complete ||
        static_cast<unsigned long>(header.fileSize) >= header.widened)
        return dirira::bmp_status_message(status);
    char text[320];
    if (header.headerSize == kCoreHeaderSize)
        std::snprintf(text, sizeof text,
                      "a valid BITMAPCOREHEADER file, but its %ld bytes are fewer than the %lu of the 40-byte header "
                      "and 4-byte colour entries the library widens it to, and the library refuses it",
                      header.fileSize, header.widened);
    else
        std::snprintf(text, sizeof text,
                      "a BITMAPINFOHEADER file, but its %ld bytes are fewer than the %lu of its header and colour "
                      "table, and the library refuses it",
                      header.fileSize, header.widened);
    return text;
}

} // namespace

std::string read_failure_why(const char *path, int status) {
    return "status " + std::to_string(status) + ": " + why(path, status);
}

} // namespace bmpfile
