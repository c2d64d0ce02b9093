// The floor of the whole-process benchmark (scripts/bench-cold.sh): what
// `dirira convert IN OUT` does, done with the least work the hardware allows,
// so that the library's cold path can be judged against it.
//
//   cold_floor IN.bmp OUT.bmp                  BMP to BMP at display levels 0..255
//   cold_floor IN.bmp OUT.fits                 BMP to FITS at BITPIX 8, as dirira's default
//   cold_floor --bitpix=-32 IN.bmp OUT.fits    BMP to FITS of float samples
//
// The job is the library's: the picture becomes float planes, top row first
// (what the image model holds), and the output is rendered from those
// planes, not copied from the input. The least work is:
// - one read() of the whole file into fresh 2 MiB-aligned huge-page memory;
// - one pass from the file's rows into fresh huge-page float planes
//   (RLE8: a one-pass decoder; pixels no command writes stay 0);
// - one pass from the planes into the output, which is the input's own
//   memory when its layout allows (an uncompressed file whose rows start
//   where the output's do), else fresh huge-page memory;
// - both passes (and the FITS byte swap, or the floats turned into the
//   bytes of BITPIX 8, bottom row first) over the machine's two cores: the
//   calling thread does the first half of the rows, a second thread the
//   rest, as the library does for a big picture;
// - one write() of the whole output (FITS: one writev() per IOV_MAX rows,
//   as FITS stores the bottom row first and the planes stay top row first),
//   then fsync(), because dirira flushes its outputs to disk before renaming.
//
// The output is what `dirira convert` writes: for BMP the same bytes, file
// header included (the check in scripts/bench-cold.sh compares whole files);
// for FITS the same data unit behind a header with fewer cards.
//
// Only what the benchmark feeds it is handled: 8-bit files with a gray
// table (uncompressed or RLE8) and 24-bit files, with 40-byte headers.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/huge_pages.h"
#include "bench/two_halves.h"

namespace {

using bench_support::HugeBuffer;
using bench_support::in_two_halves;

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kGrayEntries = 256;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::size_t kFitsBlock = 2880;
constexpr std::size_t kFitsCard = 80;
// Samples between the planes' starts beyond the plane itself. Planes whose
// starts lie a large power of two apart (8192 x 8192 floats: 256 MiB) make
// every red, green and blue store of a pixel collide in the processor's
// caches: on the development machine the decoding pass took 5 s instead of
// 0.3 s. The library's store places its planes' blocks apart anyway; the
// floor must not be slowed by a layout accident.
constexpr std::size_t kPlanePad = 1040; // 4 KiB and 64 bytes

std::uint32_t le32(const std::uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t le16(const std::uint8_t *p) { return std::uint16_t(p[0] | p[1] << 8); }
void put_le32(std::uint8_t *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
void put_le16(std::uint8_t *p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

bool fail(const char *what, const std::string &path) {
    std::fprintf(stderr, "cold_floor: %s: %s\n", path.c_str(), what);
    return false;
}

struct Input {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::uint32_t compression = 0;
    std::size_t rowsOffset = 0;
    std::size_t stride = 0;
    float gray[kGrayEntries] = {}; // the table's values; indexes beyond it read 0
    int planes() const { return bitCount == 24 ? 3 : 1; }
    std::size_t planeStride() const { return std::size_t(width) * std::size_t(height) + kPlanePad; }
};

bool read_whole(const std::string &path, HugeBuffer *&file) {
    const int fd = open(path.c_str(), O_RDONLY);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0)
        return fail("cannot open", path);
    file = new HugeBuffer(std::size_t(status.st_size));
    std::size_t done = 0;
    while (done < file->size()) {
        const ssize_t got = read(fd, file->as<char>() + done, file->size() - done);
        if (got <= 0)
            break;
        done += std::size_t(got);
    }
    close(fd);
    return done == file->size() || fail("short read", path);
}

bool parse(const HugeBuffer &file, const std::string &path, Input &in) {
    const std::uint8_t *bytes = file.as<std::uint8_t>();
    if (file.size() < kFileHeaderSize + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M' ||
        le32(bytes + kFileHeaderSize) != kInfoHeaderSize)
        return fail("not a BMP file with a 40-byte header", path);
    const std::uint8_t *info = bytes + kFileHeaderSize;
    in.width = int(le32(info + 4));
    in.height = int(le32(info + 8));
    in.bitCount = le16(info + 14);
    in.compression = le32(info + 16);
    std::uint32_t entries = le32(info + 32);
    if (entries == 0 && in.bitCount == 8)
        entries = kGrayEntries;
    in.rowsOffset = le32(bytes + 10);
    const bool handled = in.width > 0 && in.width <= 65535 && in.height > 0 && in.height <= 65535 &&
                         ((in.bitCount == 24 && in.compression == kBiRgb) ||
                          (in.bitCount == 8 && (in.compression == kBiRgb || in.compression == kBiRle8)));
    if (!handled || entries > kGrayEntries ||
        kFileHeaderSize + kInfoHeaderSize + 4 * std::size_t(entries) > file.size() || in.rowsOffset > file.size())
        return fail("only bottom-up 24-bit, 8-bit and RLE8 files are handled", path);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint8_t *entry = info + kInfoHeaderSize + 4 * i;
        if (entry[0] != entry[1] || entry[1] != entry[2])
            return fail("only gray tables are handled at 8 bits", path);
        in.gray[i] = entry[0];
    }
    in.stride = (std::size_t(in.bitCount) * std::size_t(in.width) + 31) / 32 * 4;
    if (in.compression == kBiRgb && in.rowsOffset + in.stride * std::size_t(in.height) > file.size())
        return fail("shorter than its rows", path);
    return true;
}

// ---- the file's rows into float planes, top row first ----

void decode_24(const std::uint8_t *rows, const Input &in, float *planes, std::size_t first, std::size_t end) {
    const std::size_t plane = in.planeStride();
    for (int row = int(first); row < int(end); ++row) {
        const std::uint8_t *src = rows + in.stride * std::size_t(row);
        const std::size_t y = std::size_t(in.height - 1 - row) * std::size_t(in.width);
        float *r = planes + y, *g = planes + plane + y, *b = planes + 2 * plane + y;
        for (int x = 0; x < in.width; ++x) {
            // All three bytes are loaded before anything is stored: a byte
            // may alias a float, so a store between loads forces reloads.
            const std::uint8_t *pixel = src + 3 * std::size_t(x);
            const float blue = pixel[0], green = pixel[1], red = pixel[2];
            b[x] = blue;
            g[x] = green;
            r[x] = red;
        }
    }
}

void decode_8(const std::uint8_t *rows, const Input &in, float *plane, std::size_t first, std::size_t end) {
    for (int row = int(first); row < int(end); ++row) {
        const std::uint8_t *src = rows + in.stride * std::size_t(row);
        float *out = plane + std::size_t(in.height - 1 - row) * std::size_t(in.width);
        for (int x = 0; x < in.width; ++x)
            out[x] = in.gray[src[x]];
    }
}

// One pass over the commands; the input bounds the loop (every command
// consumes at least two bytes). Pixels past a row's end are dropped.
void decode_rle8(const std::uint8_t *data, std::size_t size, const Input &in, float *plane) {
    std::size_t pos = 0;
    int x = 0, row = 0;
    auto out_row = [&](int r) { return plane + std::size_t(in.height - 1 - r) * std::size_t(in.width); };
    float *out = out_row(0);
    while (row < in.height && pos + 2 <= size) {
        const unsigned count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            const int end = std::min(in.width, x + int(count));
            std::fill(out + x, out + std::max(x, end), in.gray[value]);
            x = std::max(x, end);
        } else if (value == 0) { // end of line
            x = 0;
            if (++row < in.height)
                out = out_row(row);
        } else if (value == 1) { // end of bitmap
            return;
        } else if (value == 2) { // delta
            if (pos + 2 > size)
                return;
            x = std::min(in.width, x + data[pos]);
            row += std::min(int(data[pos + 1]), in.height - row);
            pos += 2;
            if (row < in.height)
                out = out_row(row);
        } else { // absolute run, padded to 16 bits
            const std::size_t present = std::min<std::size_t>(value, size - pos);
            for (std::size_t i = 0; i < present && x < in.width; ++i)
                out[x++] = in.gray[data[pos + i]];
            pos += value + (value & 1);
        }
    }
}

// ---- float planes into the output ----

// The library's byte at display levels 0..255: the sample clipped and
// truncated, NaN giving 0.
inline std::uint8_t clipped_byte(float sample) {
    if (!(sample > 0.0f))
        return 0;
    return sample >= 255.0f ? 255 : std::uint8_t(sample);
}

struct BmpLayout {
    std::size_t rowBytes;
    std::size_t rowsOffset;
    std::size_t fileBytes;
};

BmpLayout bmp_layout(const Input &in) {
    const std::size_t bits = in.planes() == 1 ? 8 : 24;
    const std::size_t rowBytes = (bits * std::size_t(in.width) + 31) / 32 * 4;
    const std::size_t rowsOffset = kFileHeaderSize + kInfoHeaderSize + (in.planes() == 1 ? 4 * kGrayEntries : 0);
    return {rowBytes, rowsOffset, rowsOffset + rowBytes * std::size_t(in.height)};
}

// Headers as the library writes them: no resolution, a gray table at 8 bits.
void bmp_headers(const Input &in, const BmpLayout &layout, std::uint8_t *out) {
    std::memset(out, 0, layout.rowsOffset);
    out[0] = 'B';
    out[1] = 'M';
    put_le32(out + 2, std::uint32_t(layout.fileBytes));
    put_le32(out + 10, std::uint32_t(layout.rowsOffset));
    std::uint8_t *info = out + kFileHeaderSize;
    put_le32(info, kInfoHeaderSize);
    put_le32(info + 4, std::uint32_t(in.width));
    put_le32(info + 8, std::uint32_t(in.height));
    put_le16(info + 12, 1);
    put_le16(info + 14, in.planes() == 1 ? 8 : 24);
    put_le32(info + 20, std::uint32_t(layout.rowBytes * std::size_t(in.height)));
    if (in.planes() == 1) {
        put_le32(info + 32, kGrayEntries);
        for (std::size_t i = 0; i < kGrayEntries; ++i)
            std::memset(info + kInfoHeaderSize + 4 * i, int(i), 3);
    }
}

void render_bmp_rows(const Input &in, const BmpLayout &layout, const float *planes, std::uint8_t *rows,
                     std::size_t first, std::size_t end) {
    const std::size_t plane = in.planeStride();
    const int count = in.planes();
    const std::size_t used = std::size_t(in.width) * std::size_t(count);
    for (int y = int(first); y < int(end); ++y) {
        std::uint8_t *out = rows + std::size_t(in.height - 1 - y) * layout.rowBytes;
        const float *src = planes + std::size_t(y) * std::size_t(in.width);
        if (count == 1) {
            for (int x = 0; x < in.width; ++x)
                out[x] = clipped_byte(src[x]);
        } else {
            const float *r = src, *g = src + plane, *b = src + 2 * plane;
            for (int x = 0; x < in.width; ++x) {
                out[3 * x] = clipped_byte(b[x]);
                out[3 * x + 1] = clipped_byte(g[x]);
                out[3 * x + 2] = clipped_byte(r[x]);
            }
        }
        std::memset(out + used, 0, layout.rowBytes - used);
    }
}

bool write_all(int fd, const std::uint8_t *bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = write(fd, bytes + done, size - done);
        if (put <= 0)
            return false;
        done += std::size_t(put);
    }
    return true;
}

bool write_bmp(const Input &in, HugeBuffer &file, const float *planes, const std::string &path) {
    const BmpLayout layout = bmp_layout(in);
    HugeBuffer *fresh = nullptr;
    std::uint8_t *out = file.as<std::uint8_t>();
    if (in.compression != kBiRgb || in.rowsOffset != layout.rowsOffset || file.size() < layout.fileBytes) {
        fresh = new HugeBuffer(layout.fileBytes);
        out = fresh->as<std::uint8_t>();
    }
    bmp_headers(in, layout, out);
    in_two_halves(std::size_t(in.height), [&](std::size_t first, std::size_t end) {
        render_bmp_rows(in, layout, planes, out + layout.rowsOffset, first, end);
    });
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && write_all(fd, out, layout.fileBytes) && fsync(fd) == 0; // durable, as dirira's output
    if (fd >= 0)
        close(fd);
    delete fresh;
    return ok || fail("cannot write", path);
}

void put_card(std::vector<std::uint8_t> &header, const char *key, const std::string &value) {
    char card[kFitsCard + 1];
    std::snprintf(card, sizeof card, "%-8.8s= %20s", key, value.c_str());
    std::string text(card);
    text.resize(kFitsCard, ' ');
    header.insert(header.end(), text.begin(), text.end());
}

std::vector<std::uint8_t> fits_header(const Input &in, const char *bitPix) {
    std::vector<std::uint8_t> header;
    put_card(header, "SIMPLE", "T");
    put_card(header, "BITPIX", bitPix);
    put_card(header, "NAXIS", in.planes() == 3 ? "3" : "2");
    put_card(header, "NAXIS1", std::to_string(in.width));
    put_card(header, "NAXIS2", std::to_string(in.height));
    if (in.planes() == 3)
        put_card(header, "NAXIS3", "3");
    std::string end = "END";
    end.resize(kFitsCard, ' ');
    header.insert(header.end(), end.begin(), end.end());
    header.resize(kFitsBlock, ' ');
    return header;
}

// Every piece in as few writev calls as IOV_MAX allows, then fsync.
bool write_pieces(const std::vector<iovec> &pieces, const std::string &path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0;
    for (std::size_t first = 0; ok && first < pieces.size(); first += IOV_MAX) {
        const std::size_t count = std::min<std::size_t>(IOV_MAX, pieces.size() - first);
        std::size_t want = 0;
        for (std::size_t i = first; i < first + count; ++i)
            want += pieces[i].iov_len;
        // Regular files take a whole writev; a short one is a failure here.
        ok = writev(fd, pieces.data() + first, int(count)) == ssize_t(want);
    }
    ok = ok && fsync(fd) == 0; // durable, as dirira's output
    if (fd >= 0)
        close(fd);
    return ok || fail("cannot write", path);
}

// BITPIX 8: the planes' samples (whole numbers 0..255, as every BMP gives)
// turned into bytes in one pass, bottom row first, into fresh huge-page
// memory behind a one-block header.
bool write_fits_bytes(const Input &in, const float *planes, const std::string &path) {
    const std::vector<std::uint8_t> header = fits_header(in, "8");
    const std::size_t width = std::size_t(in.width), height = std::size_t(in.height);
    const std::size_t dataBytes = width * height * std::size_t(in.planes());
    HugeBuffer data(dataBytes);
    std::uint8_t *out = data.as<std::uint8_t>();
    for (int plane = 0; plane < in.planes(); ++plane) {
        const float *source = planes + std::size_t(plane) * in.planeStride();
        std::uint8_t *target = out + std::size_t(plane) * width * height;
        in_two_halves(height, [=](std::size_t first, std::size_t end) {
            for (std::size_t y = first; y < end; ++y)
                for (std::size_t x = 0; x < width; ++x)
                    target[(height - 1 - y) * width + x] = std::uint8_t(source[y * width + x]);
        });
    }
    std::vector<std::uint8_t> padding((kFitsBlock - dataBytes % kFitsBlock) % kFitsBlock, 0);
    std::vector<iovec> pieces{{const_cast<std::uint8_t *>(header.data()), header.size()}, {out, dataBytes}};
    if (!padding.empty())
        pieces.push_back({padding.data(), padding.size()});
    return write_pieces(pieces, path);
}

// The planes, byte-swapped in place to big-endian floats, go out bottom row
// first behind a one-block header: the rows are gathered by writev, so no
// output buffer is filled at all.
bool write_fits_floats(const Input &in, float *planes, const std::string &path) {
    std::vector<std::uint8_t> header = fits_header(in, "-32");

    const std::size_t planeSamples = std::size_t(in.width) * std::size_t(in.height);
    const std::size_t samples = planeSamples * std::size_t(in.planes());
    for (int plane = 0; plane < in.planes(); ++plane) {
        auto *words = reinterpret_cast<std::uint32_t *>(planes + std::size_t(plane) * in.planeStride());
        in_two_halves(planeSamples, [words](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i)
                words[i] = __builtin_bswap32(words[i]);
        });
    }

    const std::size_t rowBytes = std::size_t(in.width) * sizeof(float);
    const std::size_t dataBytes = samples * sizeof(float);
    std::vector<std::uint8_t> padding((kFitsBlock - dataBytes % kFitsBlock) % kFitsBlock, 0);
    std::vector<iovec> pieces{{header.data(), header.size()}};
    for (int plane = 0; plane < in.planes(); ++plane)
        for (int y = in.height - 1; y >= 0; --y)
            pieces.push_back(
                {planes + std::size_t(plane) * in.planeStride() + std::size_t(y) * std::size_t(in.width), rowBytes});
    if (!padding.empty())
        pieces.push_back({padding.data(), padding.size()});
    return write_pieces(pieces, path);
}

bool ends_with(const std::string &text, const char *tail) {
    const std::size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

} // namespace

int main(int argc, char **argv) {
    const bool floats = argc == 4 && std::strcmp(argv[1], "--bitpix=-32") == 0;
    if (argc != 3 + int(floats)) {
        std::fprintf(stderr, "usage: cold_floor [--bitpix=-32] IN.bmp OUT.bmp|OUT.fits\n");
        return 2;
    }
    const std::string input = argv[1 + int(floats)], output = argv[2 + int(floats)];
    HugeBuffer *file = nullptr;
    Input in;
    if (!read_whole(input, file) || !parse(*file, input, in))
        return 1;
    HugeBuffer planes(std::size_t(in.planes()) * in.planeStride() * sizeof(float));
    const std::uint8_t *rows = file->as<std::uint8_t>() + in.rowsOffset;
    if (in.compression == kBiRle8)
        decode_rle8(rows, file->size() - in.rowsOffset, in, planes.as<float>());
    else
        in_two_halves(std::size_t(in.height), [&](std::size_t first, std::size_t end) {
            if (in.bitCount == 24)
                decode_24(rows, in, planes.as<float>(), first, end);
            else
                decode_8(rows, in, planes.as<float>(), first, end);
        });
    bool ok;
    if (ends_with(output, ".fits")) {
        delete file; // the FITS output never lives in the input's memory
        file = nullptr;
        ok = floats ? write_fits_floats(in, planes.as<float>(), output)
                    : write_fits_bytes(in, planes.as<float>(), output);
    } else {
        ok = write_bmp(in, *file, planes.as<float>(), output);
    }
    delete file;
    return ok ? 0 : 1;
}
