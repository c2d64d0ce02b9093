#include "siblings/zircim/dib_decode.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <xmmintrin.h>
#define DIB_DECODE_SSE2 1
#endif

#include "siblings/zircim/row_halves.h"

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
    uint32_t mask = 0; // 0: the channel is missing and reads 0
    float samples[kCodeValues] = {};

    unsigned index(uint32_t code) const { return (code >> shift) & mask; }
    float sample(uint32_t code) const { return samples[index(code)]; }
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
template <int Bits> uint32_t read_code(const unsigned char *row, int x) {
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

// The least and the greatest of `count` samples, folded into `low` and
// `high`. The samples come from the maps, whole numbers 0..255, never NaN,
// so the order of the comparisons cannot change the answer.
void fold_extremes(const float *samples, int count, float &low, float &high) {
    int x = 0;
#ifdef DIB_DECODE_SSE2
    if (count >= 8) {
        __m128 low0 = _mm_set1_ps(low), low1 = low0, high0 = _mm_set1_ps(high), high1 = high0;
        for (; x + 8 <= count; x += 8) {
            const __m128 a = _mm_loadu_ps(samples + x), b = _mm_loadu_ps(samples + x + 4);
            low0 = _mm_min_ps(low0, a);
            low1 = _mm_min_ps(low1, b);
            high0 = _mm_max_ps(high0, a);
            high1 = _mm_max_ps(high1, b);
        }
        float lows[4], highs[4];
        _mm_storeu_ps(lows, _mm_min_ps(low0, low1));
        _mm_storeu_ps(highs, _mm_max_ps(high0, high1));
        for (int i = 0; i < 4; ++i) {
            low = std::min(low, lows[i]);
            high = std::max(high, highs[i]);
        }
    }
#endif
    for (; x < count; ++x) {
        low = std::min(low, samples[x]);
        high = std::max(high, samples[x]);
    }
}

// `count` samples from `out` on, alternating `first` and `second` (RLE4's
// nibbles), four at a time where the processor can: the compiler leaves
// such a loop scalar at -O2.
void fill_alternating(float *out, int count, float first, float second) {
    int x = 0;
#ifdef DIB_DECODE_SSE2
    const __m128 four = _mm_setr_ps(first, second, first, second);
    for (; x + 4 <= count; x += 4)
        _mm_storeu_ps(out + x, four);
#endif
    for (; x + 2 <= count; x += 2) {
        out[x] = first;
        out[x + 1] = second;
    }
    if (x < count)
        out[x] = first;
}

// `count` copies of `sample` from `out` on, four at a time where the
// processor can, the last four overlapping those before: a run of 11 takes
// three stores instead of two and three single ones.
inline void fill_run(float *out, int count, float sample) {
#ifdef DIB_DECODE_SSE2
    if (count >= 4) {
        const __m128 four = _mm_set1_ps(sample);
        for (int x = 0; x + 4 < count; x += 4)
            _mm_storeu_ps(out + x, four);
        _mm_storeu_ps(out + count - 4, four);
        return;
    }
#endif
    for (int x = 0; x < count; ++x)
        out[x] = sample;
}

// The image rows being written: file row r is image row r top-down, and
// height-1-r bottom-up (image row 0 is the picture's top row). A helper
// thread writes through rows of its own, which report no progress.
class SampleRows {
public:
    SampleRows(CVmImage &store, const DibLayout &layout, Progress *progress)
        : m_store(store), m_layout(layout), m_progress(progress), m_bgrBytes(is_bgr_bytes(layout)) {
        if (layout.bitCount <= 8)
            map_palette(layout, m_maps);
        else
            map_masks(layout, m_maps);
    }

    // Rows are brought in when something is written to them: a stream of
    // end-of-line and delta commands over a picture that claims millions of
    // rows costs no lookups, and progress follows the rows written.
    void select(int fileRow) {
        m_fileRow = fileRow;
        m_selected = false;
    }

    // `count` pixels from column x on, two codes alternating, the first at
    // x: RLE4's nibbles.
    void put_alternating(int x, uint32_t first, uint32_t second, int count) {
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            const float a = m_maps[plane].sample(first), b = m_maps[plane].sample(second);
            // The store is fresh, all zero: a run of black is already there,
            // and skipping it leaves a dark background's pages untouched.
            if (a != 0.0f || b != 0.0f)
                fill_alternating(row(plane) + x, count, a, b);
        }
        m_runCodes[first & (kCodeValues - 1)] = 1;
        if (count > 1)
            m_runCodes[second & (kCodeValues - 1)] = 1;
        m_written += static_cast<unsigned long long>(count);
    }

    // `count` pixels of one code from column x on: an RLE8 run, the
    // commonest command of a run-length picture, kept small enough for the
    // compiler to inline into the decoder's loop. Its code is marked rather
    // than its sample noted: the extremes lie in memory that the samples
    // written might alias, so every run would load and store them again,
    // one run waiting on the last.
    void put_run(int x, uint32_t code, int count) {
        code &= kCodeValues - 1; // a palette index: its maps are tables of 256
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            const float sample = m_maps[plane].samples[code];
            if (sample != 0.0f) // as above: black is already there
                fill_run(row(plane) + x, count, sample);
        }
        m_runCodes[code] = 1;
        m_written += static_cast<unsigned long long>(count);
    }

    // The first `count` pixels of an uncompressed row: the hot loop, with
    // the plane count and the row pointers fixed for the compiler, and the
    // extremes folded four samples at a time.
    template <int Bits> void put_row(const unsigned char *row, int count) {
        bring_in_row();
        if constexpr (Bits == 24 || Bits == 32) {
            if (m_bgrBytes)
                convert_bgr_row<Bits / 8>(0, row, count);
            else
                convert_row<Bits, kMaxPlanes>(0, row, count);
        } else if (m_layout.planes == 1) {
            convert_row<Bits, 1>(0, row, count);
        } else {
            convert_row<Bits, kMaxPlanes>(0, row, count);
        }
        for (int plane = 0; plane < m_layout.planes; ++plane)
            fold_extremes(m_rows[plane], count, m_low[plane], m_high[plane]);
        m_written += static_cast<unsigned long long>(count);
    }

    // An absolute run's `count` palette codes from column x on. Short and
    // frequent, like runs: its codes are marked as a run's are, instead of
    // its samples being folded into the extremes.
    template <int Bits> void put_absolute(int x, const unsigned char *codes, int count) {
        bring_in_row();
        if (m_layout.planes == 1)
            convert_row<Bits, 1>(x, codes, count);
        else
            convert_row<Bits, kMaxPlanes>(x, codes, count);
        for (int i = 0; i < count; ++i)
            m_runCodes[read_code<Bits>(codes, i)] = 1;
        m_written += static_cast<unsigned long long>(count);
    }

    bool two_threads_pay(int wholeRows) const {
        return zircim::two_threads_pay(static_cast<std::uint64_t>(m_layout.width) *
                                           static_cast<std::uint64_t>(wholeRows) *
                                           static_cast<std::uint64_t>(m_layout.planes),
                                       m_store);
    }

    // Rows for a helper thread: the same store and maps, no progress.
    SampleRows helper() const { return SampleRows(m_store, m_layout, nullptr); }

    // While a helper writes as many rows as this thread, each row this
    // thread brings in counts twice in its progress.
    void count_rows_twice(bool twice) { m_rowWeight = twice ? 2 : 1; }

    // What a helper's rows wrote joins these rows' account.
    void absorb(const SampleRows &helper) {
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            note(plane, helper.m_low[plane]);
            note(plane, helper.m_high[plane]);
        }
        m_written += helper.m_written;
    }

    // Every sample written went through fold_extremes(), or its code was
    // marked. Pixels left unwritten read 0: 0 belongs to the extremes then.
    PlaneExtremes extremes() const {
        PlaneExtremes result{};
        const bool someUnwritten = m_written < static_cast<unsigned long long>(m_layout.width) *
                                                   static_cast<unsigned long long>(m_layout.height);
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            float low = m_low[plane], high = m_high[plane];
            for (int code = 0; code < kCodeValues; ++code)
                if (m_runCodes[code] != 0) {
                    low = std::min(low, m_maps[plane].sample(uint32_t(code)));
                    high = std::max(high, m_maps[plane].sample(uint32_t(code)));
                }
            result.least[plane] = someUnwritten ? std::min(low, 0.0f) : low;
            result.most[plane] = someUnwritten ? std::max(high, 0.0f) : high;
        }
        return result;
    }

private:
    float *row(int plane) {
        bring_in_row();
        return m_rows[plane];
    }

    void bring_in_row() {
        if (m_selected)
            return;
        if (m_progress != nullptr)
            m_progress->report(static_cast<unsigned long long>(m_fileRow) * m_rowWeight,
                               static_cast<unsigned>(m_layout.height));
        const int y = m_layout.bottomUp ? m_layout.height - 1 - m_fileRow : m_fileRow;
        for (int plane = 0; plane < m_layout.planes; ++plane) {
            m_rows[plane] = reinterpret_cast<float *>(m_store.GetImageAdr(0, y, plane, 0, CVmImage::kReadBack, NULL));
            if (m_rows[plane] == nullptr)
                AfxThrowMemoryException(); // the store could not bring the row in
        }
        m_selected = true;
    }

    void note(int plane, float sample) {
        m_low[plane] = std::min(m_low[plane], sample);
        m_high[plane] = std::max(m_high[plane], sample);
    }

    template <int Bits, int Planes> void convert_row(int first, const unsigned char *row, int count) {
        float *out[Planes];
        for (int plane = 0; plane < Planes; ++plane)
            out[plane] = m_rows[plane] + first;
        const ChannelMap *maps = m_maps;
        for (int x = 0; x < count; ++x) {
            const uint32_t code = read_code<Bits>(row, x);
            for (int plane = 0; plane < Planes; ++plane)
                out[plane][x] = maps[plane].sample(code);
        }
    }

    // Blue, green and red bytes, the layout of nearly every 24- and 32-bit
    // file: each channel byte is its own sample (the maps are the identity
    // there), with no table in the way.
    template <int BytesPerPixel> void convert_bgr_row(int first, const unsigned char *row, int count) {
        float *const red = m_rows[0] + first, *const green = m_rows[1] + first, *const blue = m_rows[2] + first;
        for (int x = 0; x < count; ++x) {
            // All three bytes are loaded before anything is stored.
            const unsigned char *pixel = row + static_cast<std::size_t>(x) * BytesPerPixel;
            const unsigned b = pixel[0], g = pixel[1], r = pixel[2];
            blue[x] = static_cast<float>(b);
            green[x] = static_cast<float>(g);
            red[x] = static_cast<float>(r);
        }
    }

    // Red in the third byte, green in the second, blue in the first, whole.
    // (Run-length rows are decoded as 4- or 8-bit codes, never this way.)
    static bool is_bgr_bytes(const DibLayout &layout) {
        return (layout.bitCount == 24 || layout.bitCount == 32) && layout.masks[0] == 0x00FF0000u &&
               layout.masks[1] == 0x0000FF00u && layout.masks[2] == 0x000000FFu;
    }

    CVmImage &m_store;
    const DibLayout &m_layout;
    Progress *m_progress; // NULL: a helper's rows
    unsigned m_rowWeight = 1;
    const bool m_bgrBytes;
    ChannelMap m_maps[kMaxPlanes];
    int m_fileRow = 0;       // selected: the first row until select() says otherwise
    bool m_selected = false; // m_rows hold m_fileRow's samples
    float *m_rows[kMaxPlanes] = {};
    // The extremes of the samples written so far, per plane.
    float m_low[kMaxPlanes] = {kNoSample, kNoSample, kNoSample};
    float m_high[kMaxPlanes] = {-kNoSample, -kNoSample, -kNoSample};
    unsigned long long m_written = 0;
    unsigned char m_runCodes[kCodeValues] = {}; // the codes written by runs and absolute runs
};

// Whole rows [first, end) straight from the block.
template <int Bits>
void decode_whole_rows(const unsigned char *data, const DibLayout &layout, SampleRows &rows, int first, int end) {
    for (int fileRow = first; fileRow < end; ++fileRow) {
        rows.select(fileRow);
        rows.put_row<Bits>(data + static_cast<std::size_t>(fileRow) * layout.stride, layout.width);
    }
}

// The second half of the whole rows goes to a helper while this thread
// does the first half and reports progress for both, as if the helper kept
// pace.
template <int Bits>
void decode_whole_rows_in_two(const unsigned char *data, const DibLayout &layout, SampleRows &rows, int wholeRows) {
    SampleRows helperRows = rows.helper();
    in_two_halves(wholeRows, [&](int first, int end, bool onHelper) {
        if (onHelper)
            return decode_whole_rows<Bits>(data, layout, helperRows, first, end);
        rows.count_rows_twice(true);
        decode_whole_rows<Bits>(data, layout, rows, first, end);
        rows.count_rows_twice(false);
    });
    rows.absorb(helperRows);
}

// Rows come straight from the block. Of a row the block cuts short, the
// pixels it holds whole are written; the rows after it are not touched.
template <int Bits>
void decode_rows(const unsigned char *data, std::size_t size, const DibLayout &layout, SampleRows &rows) {
    const int wholeRows =
        static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(layout.height), size / layout.stride));
    if (rows.two_threads_pay(wholeRows))
        decode_whole_rows_in_two<Bits>(data, layout, rows, wholeRows);
    else
        decode_whole_rows<Bits>(data, layout, rows, 0, wholeRows);
    const std::size_t left = size - static_cast<std::size_t>(wholeRows) * layout.stride;
    if (wholeRows < layout.height && left > 0) {
        rows.select(wholeRows);
        rows.put_row<Bits>(
            data + static_cast<std::size_t>(wholeRows) * layout.stride,
            static_cast<int>(std::min<std::size_t>(left * 8 / Bits, static_cast<std::size_t>(layout.width))));
    }
}

// Run-length rows (bottom-up only). Pixels no command writes keep sample 0.
// Every command moves on by at least two bytes, so the input bounds the
// loop; a stream that ends without its end code simply ends.
template <int Bits> class RunLengthDecoder {
public:
    RunLengthDecoder(const unsigned char *data, std::size_t size, const DibLayout &layout, SampleRows &rows)
        : m_data(data), m_size(size), m_width(layout.width), m_height(layout.height), m_rows(rows) {}

    void run() {
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

    // Pixels past the row's end are dropped; the column stays clamped there
    // until the next end of line. RLE4 alternates the high and the low
    // nibble, the high one first.
    void encoded_run(unsigned count, unsigned value) {
        const int n = static_cast<int>(std::min<unsigned>(count, static_cast<unsigned>(m_width - m_x)));
        if (n <= 0)
            return;
        if constexpr (Bits == 4)
            m_rows.put_alternating(m_x, value >> 4, value & 0x0F, n);
        else
            m_rows.put_run(m_x, value, n);
        m_x += n;
    }

    // Absolute pixels with their padding to a 16-bit boundary. Pixels
    // beyond the input are not there to write; the stream ends with them.
    void absolute_run(unsigned count) {
        const std::size_t bytes = (static_cast<std::size_t>(count) * Bits + 7) / 8;
        const std::size_t available = std::min(bytes, m_size - m_pos);
        const unsigned present = static_cast<unsigned>(available * 8 / Bits);
        const int n = static_cast<int>(std::min(std::min(count, present), static_cast<unsigned>(m_width - m_x)));
        if (n > 0) {
            m_rows.put_absolute<Bits>(m_x, m_data + m_pos, n);
            m_x += n;
        }
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

} // namespace

unsigned widen_to_8_bits(unsigned value, unsigned width) {
    unsigned widened = 0;
    unsigned filled = 0;
    for (; filled < 8; filled += width)
        widened = widened << width | value;
    return widened >> (filled - 8);
}

PlaneExtremes decode_dib(const unsigned char *block, std::size_t blockBytes, const DibLayout &layout, CVmImage &store,
                         Progress &progress) {
    SampleRows rows(store, layout, &progress);
    decode_pixels(block + layout.rowsOffset, blockBytes - layout.rowsOffset, layout, rows);
    progress.report(1, 1);
    return rows.extremes();
}

} // namespace zircim
