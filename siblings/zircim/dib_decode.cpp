#include "siblings/zircim/dib_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zircim {

namespace {

using std::uint32_t;

constexpr int kMaxPlanes = 3;
constexpr int kCodeValues = 256;
constexpr float kNoSample = std::numeric_limits<float>::infinity();

// One plane's view of a pixel code (a palette index, or the bits of a
// 16/24/32-bit pixel): the top eight bits (at most) of the plane's channel
// select one of 256 precomputed samples.
struct ChannelMap {
    unsigned shift = 0;
    uint32_t mask = 0;  // 0: the channel is missing and reads 0
    float samples[kCodeValues] = {};

    float sample(uint32_t code) const { return samples[(code >> shift) & mask]; }
};

// Palette entries beyond the table (or never reachable) stay 0: an index
// the table lacks reads as black, never outside the table.
void map_palette(const DibLayout &layout, ChannelMap (&maps)[kMaxPlanes]) {
    const int used = used_table_entries(layout);
    for (ChannelMap &map : maps)
        map.mask = kCodeValues - 1;
    for (int i = 0; i < used; ++i) {
        RGBQUAD entry;
        std::memcpy(&entry, layout.table + i * sizeof(RGBQUAD), sizeof entry);
        maps[0].samples[i] = entry.rgbRed;
        maps[1].samples[i] = entry.rgbGreen;
        maps[2].samples[i] = entry.rgbBlue;
    }
}

// Channels wider than 8 bits keep their top 8 bits; narrower ones are
// widened by bit repetition. Shifts stay below 32 even for a mask of all
// 32 bits.
void map_masks(const DibLayout &layout, ChannelMap (&maps)[kMaxPlanes]) {
    for (int plane = 0; plane < kMaxPlanes; ++plane) {
        const uint32_t mask = layout.masks[plane];
        if (mask == 0)
            continue;
        const unsigned low = static_cast<unsigned>(__builtin_ctz(mask));
        const unsigned width = static_cast<unsigned>(__builtin_popcount(mask));
        const unsigned kept = std::min(width, 8u);
        ChannelMap &map = maps[plane];
        map.shift = low + (width - kept);
        map.mask = (1u << kept) - 1;
        for (uint32_t value = 0; value <= map.mask; ++value)
            map.samples[value] = static_cast<float>(widen_to_8_bits(value, kept));
    }
}

// The code of pixel x of a row: packed indices most significant first for
// 1 and 4 bits, little-endian bytes from 8 bits up.
template <int Bits>
uint32_t read_code(const unsigned char *row, int x) {
    if constexpr (Bits < 8) {
        const std::size_t bit = static_cast<std::size_t>(x) * Bits;
        return (row[bit / 8] >> (8 - Bits - bit % 8)) & ((1u << Bits) - 1);
    } else {
        const unsigned char *pixel = row + static_cast<std::size_t>(x) * (Bits / 8);
        uint32_t code = 0;
        for (int i = Bits / 8 - 1; i >= 0; --i)
            code = code << 8 | pixel[i];
        return code;
    }
}

// The image rows being written: file row r is image row r top-down, and
// height-1-r bottom-up (image row 0 is the picture's top row).
class SampleRows {
public:
    SampleRows(CVmImage &store, const DibLayout &layout, Progress &progress)
        : m_store(store), m_layout(layout), m_progress(progress) {
        if (layout.bitCount <= 8)
            map_palette(layout, m_maps);
        else
            map_masks(layout, m_maps);
    }

    void select(int fileRow) {
        m_progress.report(static_cast<unsigned>(fileRow), static_cast<unsigned>(m_layout.height));
        const int y = m_layout.bottomUp ? m_layout.height - 1 - fileRow : fileRow;
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            m_rows[plane] = reinterpret_cast<float *>(m_store.GetImageAdr(0, y, plane, 0, CVmImage::kReadBack, NULL));
            if (m_rows[plane] == nullptr)
                AfxThrowMemoryException();  // the store could not bring the row in
        }
    }

    void put(int x, uint32_t code) {
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            const float sample = m_maps[plane].sample(code);
            m_rows[plane][x] = sample;
            widen_extremes(plane, sample, sample);
        }
        ++m_written;
    }

    // The first `count` pixels of an uncompressed row: the hot loop, with
    // the plane count and the row pointers fixed for the compiler. The
    // extremes come from a second pass over the row while it is in cache.
    template <int Bits>
    void put_row(const unsigned char *row, int count) {
        if (m_layout.planes == 1)
            convert_row<Bits, 1>(row, count);
        else
            convert_row<Bits, kMaxPlanes>(row, count);
        for (int plane = 0; plane < m_layout.planes && count > 0; ++plane) {
            const auto [low, high] = std::minmax_element(m_rows[plane], m_rows[plane] + count);
            widen_extremes(plane, *low, *high);
        }
        m_written += static_cast<unsigned long long>(count);
    }

    // Pixels left unwritten read 0, so 0 belongs to the extremes then.
    PlaneExtremes extremes() const {
        PlaneExtremes result{};
        const bool someUnwritten =
            m_written < static_cast<unsigned long long>(m_layout.width) * static_cast<unsigned long long>(m_layout.height);
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            float low = m_least[plane], high = m_most[plane];
            if (someUnwritten) {
                low = std::min(low, 0.0f);
                high = std::max(high, 0.0f);
            }
            result.least[plane] = low;
            result.most[plane] = high;
        }
        return result;
    }

private:
    template <int Bits, int Planes>
    void convert_row(const unsigned char *row, int count) const {
        float *const *out = m_rows;
        const ChannelMap *maps = m_maps;
        for (int x = 0; x < count; ++x) {
            const uint32_t code = read_code<Bits>(row, x);
            for (int plane = 0; plane < Planes; ++plane)
                out[plane][x] = maps[plane].sample(code);
        }
    }

    void widen_extremes(int plane, float low, float high) {
        m_least[plane] = std::min(m_least[plane], low);
        m_most[plane] = std::max(m_most[plane], high);
    }

    CVmImage &m_store;
    const DibLayout &m_layout;
    Progress &m_progress;
    ChannelMap m_maps[kMaxPlanes];
    float *m_rows[kMaxPlanes] = {};
    float m_least[kMaxPlanes] = {kNoSample, kNoSample, kNoSample};
    float m_most[kMaxPlanes] = {-kNoSample, -kNoSample, -kNoSample};
    unsigned long long m_written = 0;
};

// Rows come straight from the block. Of a row the block cuts short, the
// pixels it holds whole are written; the rows after it are not touched.
template <int Bits>
void decode_rows(const unsigned char *data, std::size_t size, const DibLayout &layout, SampleRows &rows) {
    for (int fileRow = 0; fileRow < layout.height && size > 0; ++fileRow) {
        rows.select(fileRow);
        if (size >= layout.stride) {
            rows.put_row<Bits>(data, layout.width);
            data += layout.stride;
            size -= static_cast<std::size_t>(layout.stride);
        } else {
            const std::size_t wholePixels = size * 8 / Bits;
            rows.put_row<Bits>(data, static_cast<int>(std::min<std::size_t>(wholePixels, layout.width)));
            size = 0;
        }
    }
}

// Run-length rows (bottom-up only). Pixels no command writes keep sample 0.
// Every command moves on by at least two bytes, so the input bounds the
// loop; a stream that ends without its end code simply ends.
template <int Bits>
class RunLengthDecoder {
public:
    RunLengthDecoder(const unsigned char *data, std::size_t size, const DibLayout &layout, SampleRows &rows)
        : m_data(data), m_size(size), m_width(layout.width), m_height(layout.height), m_rows(rows) {}

    void run() {
        m_rows.select(0);
        while (m_row < m_height && m_pos + 2 <= m_size) {
            const unsigned count = m_data[m_pos];
            const unsigned value = m_data[m_pos + 1];
            m_pos += 2;
            if (count > 0)
                encoded_run(count, value);
            else if (value == kEndOfLine)
                move_to(0, m_row + 1);
            else if (value == kEndOfBitmap)
                return;
            else if (value == kDelta)
                delta();
            else
                absolute_run(value);
        }
    }

private:
    static constexpr unsigned kEndOfLine = 0;
    static constexpr unsigned kEndOfBitmap = 1;
    static constexpr unsigned kDelta = 2;

    // Pixel i of a run: RLE4 alternates the high and the low nibble.
    static uint32_t run_code(unsigned value, unsigned i) {
        if constexpr (Bits == 4)
            return i % 2 == 0 ? value >> 4 : value & 0x0F;
        else
            return value;
    }

    // Pixels past the row's end are dropped; the column stays clamped there
    // until the next end of line.
    void put_pixel(uint32_t code) {
        if (m_x < m_width)
            m_rows.put(m_x++, code);
    }

    void encoded_run(unsigned count, unsigned value) {
        for (unsigned i = 0; i < count && m_x < m_width; ++i)
            put_pixel(run_code(value, i));
    }

    // Absolute pixels with their padding to a 16-bit boundary. Pixels
    // beyond the input are not there to write; the stream ends with them.
    void absolute_run(unsigned count) {
        const std::size_t bytes = (static_cast<std::size_t>(count) * Bits + 7) / 8;
        const std::size_t available = std::min(bytes, m_size - m_pos);
        const unsigned present = static_cast<unsigned>(available * 8 / Bits);
        for (unsigned i = 0; i < std::min(count, present) && m_x < m_width; ++i)
            put_pixel(read_code<Bits>(m_data + m_pos, static_cast<int>(i)));
        m_pos = available < bytes ? m_size : m_pos + bytes + bytes % 2;
    }

    // A delta below the last row ends the picture; one past the row's end
    // leaves the rest of that row unwritten.
    void delta() {
        if (m_pos + 2 > m_size) {
            m_pos = m_size;
            return;
        }
        const int dx = m_data[m_pos];
        const int dy = m_data[m_pos + 1];
        m_pos += 2;
        move_to(std::min(m_x + dx, m_width), m_row + std::min(dy, m_height - m_row));
    }

    void move_to(int x, int row) {
        m_x = x;
        if (row != m_row && row < m_height)
            m_rows.select(row);
        m_row = row;
    }

    const unsigned char *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    int m_width;
    int m_height;
    int m_x = 0;
    int m_row = 0;
    SampleRows &m_rows;
};

template <int Bits>
void decode_run_length(const unsigned char *data, std::size_t size, const DibLayout &layout, SampleRows &rows) {
    RunLengthDecoder<Bits>(data, size, layout, rows).run();
}

void decode_pixels(const unsigned char *data, std::size_t size, const DibLayout &layout, SampleRows &rows) {
    if (layout.compression == BI_RLE8)
        return decode_run_length<8>(data, size, layout, rows);
    if (layout.compression == BI_RLE4)
        return decode_run_length<4>(data, size, layout, rows);
    switch (layout.bitCount) {
    case 1:
        return decode_rows<1>(data, size, layout, rows);
    case 4:
        return decode_rows<4>(data, size, layout, rows);
    case 8:
        return decode_rows<8>(data, size, layout, rows);
    case 16:
        return decode_rows<16>(data, size, layout, rows);
    case 24:
        return decode_rows<24>(data, size, layout, rows);
    default:
        return decode_rows<32>(data, size, layout, rows);
    }
}

}  // namespace

unsigned widen_to_8_bits(unsigned value, unsigned width) {
    unsigned widened = 0;
    unsigned filled = 0;
    for (; filled < 8; filled += width)
        widened = widened << width | value;
    return widened >> (filled - 8);
}

PlaneExtremes decode_dib(const unsigned char *block, std::size_t blockBytes, const DibLayout &layout,
                         CVmImage &store, Progress &progress) {
    SampleRows rows(store, layout, progress);
    decode_pixels(block + layout.rowsOffset, blockBytes - layout.rowsOffset, layout, rows);
    progress.report(1, 1);
    return rows.extremes();
}

}  // namespace zircim
