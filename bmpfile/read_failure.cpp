// The library answers with a status code, and one case is described badly
// by its fixed message: a 40-byte file too small for its header and colour
// table (one whose table is cut, read with --allow-short) gets 4 ("headers
// cannot be read"). (Every file CBmp::Read is given has been judged first:
// a 40-byte header, with a file header or bare, of a BMP depth.) The
// program looks at the file's header itself to say what really happened;
// the library's codes stay as they are.
#include "bmpfile/read_failure.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <dirira/dirira.h>

#include "siblings/zirdib/dibapi.h"

namespace bmpfile {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr unsigned long kTableEntrySize = 4; // RGBQUAD

// What the first bytes of a 40-byte file say, behind a file header or not,
// and the file's length.
struct HeaderPeek {
    bool complete = false; // the whole header is there
    long fileSize = 0;
    unsigned long headerAndTable = 0; // as the library's reader counts them
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
    const std::size_t at = bytes[0] == 'B' && bytes[1] == 'M' ? kFileHeaderSize : 0;
    header.complete = got >= at + kInfoHeaderSize;
    header.headerAndTable = kInfoHeaderSize + kTableEntrySize * DibNumColors(bytes + at);
    return true;
}

std::string why(const char *path, int status) {
    HeaderPeek header;
    if (status != dirira::kBmpReadFailed || !peek(path, header) || !header.complete ||
        static_cast<unsigned long>(header.fileSize) >= header.headerAndTable)
        return dirira::bmp_status_message(status);
    char text[320];
    std::snprintf(text, sizeof text,
                  "a BITMAPINFOHEADER file, but its %ld bytes are fewer than the %lu of its header and colour table, "
                  "and the library refuses it",
                  header.fileSize, header.headerAndTable);
    return text;
}

} // namespace

std::string read_failure_why(const char *path, int status) {
    return "status " + std::to_string(status) + ": " + why(path, status);
}

} // namespace bmpfile
