// The program's reader for every version of the BMP format. The library's
// CBmp::Read takes the 40-byte header (and the 12-byte core header, widened
// by a size rule that can lose a small file's rows); cameras, editors and
// converters write the others: OS/2 2.x (16 to 64 bytes), the 52- and
// 56-byte bit-field headers, V4 (108) and V5 (124, what ImageMagick writes
// for every BMP). This reader turns any of them into the packed DIB that
// CImage::AttachDIB decodes: a 40-byte header, three masks behind it when
// the pixels are bit fields, RGBQUAD colours, rows bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bmpfile {

// What a file's header size says it is, e.g. "BITMAPV5HEADER".
const char *bmp_header_name(std::uint32_t headerSize);

// "a BITMAPV5HEADER file (124-byte header): WHY".
std::string describe_version(std::uint32_t headerSize, const std::string &why);

// The file's header size (0 when the file holds no BMP file header), read
// from its first bytes.
std::uint32_t bmp_header_size(const std::uint8_t *file, std::size_t size);

// Where a normalised DIB's bytes come from: the plan is made from the file
// alone, and says how big the block is before anything is copied, so that
// the caller can allocate the block that AttachDIB takes and fill it once.
struct DibPlan {
    std::uint32_t headerSize = 0;
    std::int32_t width = 0, height = 0; // height > 0; topDown says how the file stores rows
    bool topDown = false;
    unsigned fileBits = 0;         // as the file has them: 1, 2, 4, 8, 16, 24 or 32
    unsigned bits = 0;             // as the block has them (2-bit indices become 8-bit)
    std::uint32_t compression = 0; // of the block: BI_RGB, BI_RLE8, BI_RLE4 or BI_BITFIELDS
    std::uint32_t masks[3] = {};   // red, green, blue, for BI_BITFIELDS
    std::uint32_t colours = 0;     // table entries carried over
    std::size_t tableAt = 0, entrySize = 4;
    std::size_t pixelsAt = 0, pixelBytes = 0; // in the file; pixelBytes as the block holds them
    std::size_t fileRowBytes = 0, rowBytes = 0;
    std::size_t missing = 0; // pixel bytes past the file's end, read as zero
    std::int32_t xPerMetre = 0, yPerMetre = 0;

    std::size_t block_size() const { return 40 + (compression == 3 ? 12 : 0) + 4 * std::size_t{colours} + pixelBytes; }
};

// The plan for a whole file: "" or what the file is and why it cannot be
// read.
std::string plan_dib(const std::uint8_t *file, std::size_t size, DibPlan &plan);

// The same from the first `available` bytes of a `size`-byte file, which
// must hold its headers (and a 40-byte header's masks behind it): enough to
// judge a file before reading it whole, or before the library reads it.
std::string plan_file(const std::uint8_t *file, std::size_t available, std::size_t size, DibPlan &plan);

// The plan for a bare DIB (no file header; `bytes` the first `available` of
// a `size`-byte file) as the library reads one: the pixels right after the
// colour table, which holds the entries DibNumColors counts in the header
// as it stands (3 bytes each after a core header). Offsets are the bare
// file's; what it says is what a file with a file header saying so gets.
std::string plan_bare_dib(const std::uint8_t *bytes, std::size_t available, std::size_t size, DibPlan &plan);

// Writes the plan's block (plan.block_size() bytes at `block`).
void fill_dib(const std::uint8_t *file, std::size_t size, const DibPlan &plan, std::uint8_t *block);

} // namespace bmpfile
