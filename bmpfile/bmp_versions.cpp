// Every BMP header version, normalised to the block that AttachDIB decodes.
// Field offsets are from the start of the file: the 14-byte file header,
// then the bitmap header at 14.
#include "bmpfile/bmp_versions.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "siblings/zirdib/dibapi.h"

namespace bmpfile {
namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kCore = 12, kInfo = 40, kV2 = 52, kV3 = 56, kOs2Short = 16, kOs2 = 64, kV4 = 108, kV5 = 124;
constexpr std::uint32_t kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;
constexpr std::size_t kMaskBytes = 12; // red, green, blue, behind a 40-byte header
// The block's biSizeImage is a DWORD, so no picture's rows may need more.
constexpr std::uint64_t kMaxPixelBytes = std::numeric_limits<std::uint32_t>::max();

std::uint32_t u16(const std::uint8_t *p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::uint32_t u32(const std::uint8_t *p) { return u16(p) | u16(p + 2) << 16; }

void put32(std::uint8_t *&out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        *out++ = std::uint8_t(value >> (8 * i));
}

// OS/2 2.x headers run from 16 to 64 bytes, fields past the size left out;
// 40, 52 and 56 are the Windows sizes that share their first 40 bytes.
bool is_os2(std::uint32_t size) {
    return size >= kOs2Short && size <= kOs2 && size != kInfo && size != kV2 && size != kV3;
}

// Fields of the header as the plan needs them; those the version lacks are 0.
struct Fields {
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0, sizeImage = 0, colours = 0;
    std::int32_t xPerMetre = 0, yPerMetre = 0;
};

Fields read_fields(const std::uint8_t *h, std::uint32_t size) {
    Fields f;
    if (size == kCore) { // bcWidth, bcHeight, bcPlanes, bcBitCount: 16-bit, unsigned
        f.width = u16(h + 4), f.height = u16(h + 6), f.bits = u16(h + 10);
        return f;
    }
    f.width = std::int32_t(u32(h + 4)), f.height = std::int32_t(u32(h + 8)), f.bits = u16(h + 14);
    const std::uint32_t at[] = {16, 20, 24, 28, 32}; // compression, size image, resolutions, colours used
    std::uint32_t values[5] = {};
    for (int i = 0; i < 5; ++i)
        values[i] = size >= at[i] + 4 ? u32(h + at[i]) : 0;
    f.compression = values[0], f.sizeImage = values[1], f.colours = values[4];
    f.xPerMetre = std::int32_t(values[2]), f.yPerMetre = std::int32_t(values[3]);
    return f;
}

// Compression as the block carries it, or why it cannot be read.
std::string block_compression(std::uint32_t size, const Fields &f, std::uint32_t &compression) {
    const std::uint32_t c = f.compression;
    compression = c == kAlphaBitFields ? kBitFields : c;
    if (is_os2(size) && c == 3)
        return "OS/2 Huffman 1D compression (3) is not supported";
    if (is_os2(size) && c == 4)
        return "RLE24 compression (4) is not supported";
    if (size == kInfo && c == kAlphaBitFields)
        return "alpha bit fields (compression 6) are not read with a 40-byte header";
    if (!is_os2(size) && (c == kJpeg || c == kPng))
        return std::string("it holds an embedded ") + (c == kJpeg ? "JPEG" : "PNG") + " image (compression " +
               std::to_string(c) + "), which is not decoded";
    if (c > kAlphaBitFields || (is_os2(size) && c > kRle4))
        return "compression " + std::to_string(c) + " is unknown";
    if ((c == kRle8 && f.bits != 8) || (c == kRle4 && f.bits != 4))
        return "RLE" + std::to_string(c == kRle8 ? 8 : 4) + " with " + std::to_string(f.bits) + " bits per pixel";
    if (compression == kBitFields && f.bits != 16 && f.bits != 32)
        return "bit fields with " + std::to_string(f.bits) + " bits per pixel";
    return "";
}

std::string check_shape(const Fields &f, std::uint32_t compression) {
    if (f.bits == 64)
        return "64 bits per pixel are not supported";
    if (f.bits != 1 && f.bits != 2 && f.bits != 4 && f.bits != 8 && f.bits != 16 && f.bits != 24 && f.bits != 32)
        return std::to_string(f.bits) + " bits per pixel is no BMP depth";
    if (f.width <= 0 || f.height == 0 || f.height == std::numeric_limits<std::int32_t>::min())
        return "no picture: " + std::to_string(f.width) + " x " + std::to_string(f.height) + " pixels";
    if (f.height < 0 && (compression == kRle8 || compression == kRle4))
        return "RLE rows stored top-down";
    return "";
}

// Bit fields: the masks sit from the header's 40th byte, inside the header
// of every later version and right behind the 40-byte one, where the colour
// table would begin. Writers that leave them out of a 40-byte file (and put
// the pixels there) make a file that no reader can decode.
std::string take_masks(const std::uint8_t *header, std::size_t size, std::uint32_t offBits, DibPlan &plan) {
    if (plan.compression != kBitFields)
        return "";
    if (plan.headerSize == kInfo) {
        if ((offBits != 0 && offBits < kFileHeader + kInfo + kMaskBytes) || size < kFileHeader + kInfo + kMaskBytes)
            return "bit fields without their masks behind the header";
        plan.tableAt += kMaskBytes;
    }
    for (std::size_t i = 0; i < 3; ++i)
        plan.masks[i] = u32(header + kInfo + 4 * i);
    return "";
}

// Indexed pictures carry the table the header announces, as far as the
// room before the pixels and the file allow; deeper ones carry none.
std::string take_table(std::size_t size, std::uint32_t offBits, const Fields &f, DibPlan &plan) {
    if (f.bits > 8)
        return "";
    const std::uint32_t full = 1u << f.bits;
    std::uint64_t colours = f.colours != 0 ? std::min(f.colours, full) : full;
    const std::size_t end = offBits != 0 ? std::min<std::size_t>(offBits, size) : size;
    colours = std::min<std::uint64_t>(colours, end > plan.tableAt ? (end - plan.tableAt) / plan.entrySize : 0);
    plan.colours = std::uint32_t(colours);
    return colours == 0 ? "no colour table" : "";
}

std::string take_pixels(std::size_t size, std::uint32_t offBits, const Fields &f, DibPlan &plan) {
    const std::size_t tableEnd = plan.tableAt + plan.entrySize * plan.colours;
    plan.pixelsAt = offBits != 0 ? offBits : tableEnd;
    if (plan.pixelsAt < kFileHeader + plan.headerSize)
        return "its pixel offset " + std::to_string(offBits) + " lies inside its headers";
    if (plan.compression == kRle8 || plan.compression == kRle4) {
        // The library hands a 40-byte file's whole rest to the decoder (the
        // file's size wins over biSizeImage); this reader takes what
        // biSizeImage says, within the file.
        const std::size_t left = plan.pixelsAt < size ? size - plan.pixelsAt : 0;
        const bool bySize = f.sizeImage != 0 && plan.headerSize != kInfo;
        plan.pixelBytes = bySize ? std::min<std::size_t>(f.sizeImage, left) : left;
        return "";
    }
    const auto rowBytes = [&](unsigned bits) {
        return (std::uint64_t{bits} * std::uint64_t(plan.width) + 31) / 32 * 4;
    };
    const std::uint64_t fileRow = rowBytes(plan.fileBits), blockRow = rowBytes(plan.bits);
    if (blockRow > kMaxPixelBytes / std::uint64_t(plan.height))
        return "its " + std::to_string(plan.width) + " x " + std::to_string(plan.height) +
               " pixels need more than 4 GiB";
    plan.fileRowBytes = std::size_t(fileRow), plan.rowBytes = std::size_t(blockRow);
    plan.pixelBytes = std::size_t(blockRow) * std::size_t(plan.height);
    // Missing: the bytes from the file's end to the pixels' end, all of them
    // when the offset lies past the end.
    const std::uint64_t end = std::uint64_t(plan.pixelsAt) + fileRow * std::uint64_t(plan.height);
    plan.missing = end > size ? std::size_t(end - size) : 0;
    return "";
}

// One row of 2-bit indices as bytes.
void widen_two_bit_row(const std::uint8_t *from, std::size_t available, std::int32_t width, std::uint8_t *to) {
    for (std::int32_t x = 0; x < width; ++x) {
        const std::size_t byte = std::size_t(x) / 4;
        to[x] = byte < available ? (from[byte] >> (6 - 2 * (x % 4))) & 3 : 0;
    }
}

} // namespace

const char *bmp_header_name(std::uint32_t size) {
    switch (size) {
    case kCore:
        return "BITMAPCOREHEADER";
    case kInfo:
        return "BITMAPINFOHEADER";
    case kV2:
        return "BITMAPV2INFOHEADER";
    case kV3:
        return "BITMAPV3INFOHEADER";
    case kV4:
        return "BITMAPV4HEADER";
    case kV5:
        return "BITMAPV5HEADER";
    default:
        return is_os2(size) ? "OS/2 2.x BITMAPINFOHEADER2" : "no known bitmap header";
    }
}

std::string describe_version(std::uint32_t size, const std::string &why) {
    const std::string name = bmp_header_name(size);
    return (name[0] == 'O' ? "an " : "a ") + name + " file (" + std::to_string(size) + "-byte header): " + why;
}

std::uint32_t bmp_header_size(const std::uint8_t *file, std::size_t size) {
    if (size < kFileHeader + 4 || file[0] != 'B' || file[1] != 'M')
        return 0;
    return u32(file + kFileHeader);
}

std::string plan_dib(const std::uint8_t *file, std::size_t size, DibPlan &plan) {
    return plan_file(file, size, size, plan);
}

std::string plan_bare_dib(const std::uint8_t *bytes, std::size_t available, std::size_t size, DibPlan &plan) {
    std::uint8_t file[kFileHeader + kInfo + kMaskBytes] = {'B', 'M'}; // zeros past what the file has
    const std::size_t kept = std::min(available, sizeof file - kFileHeader);
    std::memcpy(file + kFileHeader, bytes, kept);
    const std::uint32_t headerSize = u32(file + kFileHeader), entry = headerSize == kCore ? 3 : 4;
    std::uint8_t *out = file + 2;
    put32(out, std::uint32_t(size + kFileHeader)), put32(out, 0);
    put32(out, std::uint32_t(kFileHeader + headerSize + entry * DibNumColors(file + kFileHeader)));
    const std::string why = plan_file(file, kFileHeader + kept, size + kFileHeader, plan);
    if (why.empty())
        plan.tableAt -= kFileHeader, plan.pixelsAt -= kFileHeader;
    return why;
}

std::string plan_file(const std::uint8_t *file, std::size_t available, std::size_t size, DibPlan &plan) {
    plan = DibPlan();
    if (available < 2 || file[0] != 'B' || file[1] != 'M')
        return "not a BMP file (no \"BM\" file header)";
    if (available < kFileHeader + 4)
        return "a BMP file of " + std::to_string(size) + " bytes, which ends inside its headers";
    const std::uint32_t headerSize = u32(file + kFileHeader);
    if (headerSize != kCore && headerSize != kInfo && headerSize != kV2 && headerSize != kV3 && headerSize != kV4 &&
        headerSize != kV5 && !is_os2(headerSize))
        return "a " + std::to_string(headerSize) + "-byte bitmap header, which no BMP version has";
    if (size - kFileHeader < headerSize)
        return describe_version(headerSize, "the file ends inside its header");
    if (available < kFileHeader + headerSize + (headerSize == kInfo ? kMaskBytes : 0) && available < size)
        return describe_version(headerSize, "its headers were not read whole"); // the caller's head is too short
    const Fields f = read_fields(file + kFileHeader, headerSize);
    plan.headerSize = headerSize;
    std::string why = block_compression(headerSize, f, plan.compression);
    if (why.empty())
        why = check_shape(f, plan.compression);
    if (!why.empty())
        return describe_version(headerSize, why);
    plan.width = std::int32_t(f.width), plan.height = std::int32_t(f.height < 0 ? -f.height : f.height);
    plan.topDown = f.height < 0;
    plan.fileBits = f.bits, plan.bits = f.bits == 2 ? 8 : f.bits;
    plan.xPerMetre = f.xPerMetre, plan.yPerMetre = f.yPerMetre;
    plan.entrySize = headerSize == kCore ? 3 : 4;
    plan.tableAt = kFileHeader + headerSize;
    const std::uint32_t offBits = u32(file + 10);
    why = take_masks(file + kFileHeader, size, offBits, plan);
    if (why.empty())
        why = take_table(size, offBits, f, plan);
    if (why.empty())
        why = take_pixels(size, offBits, f, plan);
    return why.empty() ? "" : describe_version(headerSize, why);
}

void fill_dib(const std::uint8_t *file, std::size_t size, const DibPlan &plan, std::uint8_t *block) {
    std::uint8_t *out = block;
    const std::uint32_t header[] = {40,
                                    std::uint32_t(plan.width),
                                    std::uint32_t(plan.height),
                                    1u | plan.bits << 16,
                                    plan.compression,
                                    std::uint32_t(plan.pixelBytes),
                                    std::uint32_t(plan.xPerMetre),
                                    std::uint32_t(plan.yPerMetre),
                                    plan.colours,
                                    0};
    for (std::uint32_t value : header)
        put32(out, value);
    for (int i = 0; i < 3 && plan.compression == kBitFields; ++i)
        put32(out, plan.masks[i]);
    for (std::uint32_t i = 0; i < plan.colours; ++i) { // blue, green, red; RGBQUAD's fourth byte 0
        std::memcpy(out, file + plan.tableAt + plan.entrySize * i, 3);
        out[3] = 0, out += 4;
    }
    if (plan.compression == kRle8 || plan.compression == kRle4) {
        if (plan.pixelBytes != 0) // none when the file ends before them
            std::memcpy(out, file + plan.pixelsAt, plan.pixelBytes);
        return;
    }
    std::fill_n(out, plan.pixelBytes, std::uint8_t{0});
    for (std::int32_t row = 0; row < plan.height; ++row) {
        const std::size_t stored = std::size_t(plan.topDown ? plan.height - 1 - row : row);
        const std::size_t at = plan.pixelsAt + stored * plan.fileRowBytes;
        const std::size_t available = at < size ? std::min(size - at, plan.fileRowBytes) : 0;
        std::uint8_t *to = out + std::size_t(row) * plan.rowBytes;
        if (plan.fileBits == 2)
            widen_two_bit_row(available != 0 ? file + at : file, available, plan.width, to);
        else if (available != 0)
            std::memcpy(to, file + at, available);
    }
}

} // namespace bmpfile
