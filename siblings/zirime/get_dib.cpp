// CStlImage::GetDib: the float image rendered as a new packed DIB in
// movable memory, one byte per sample through the byte rule of the gray
// access (CStlImage::GetPixelGray256). One plane becomes 8-bit gray with a
// 256-entry gray table, three planes 24-bit BGR; rows bottom-up, each padded
// to 4 bytes.
//
// libdirira holds GetPixelGray256 and is built on top of this library, so
// the rule is written again here; the tests hold both to the same bytes for
// every sample.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define GET_DIB_SSE2 1
#endif

#include "image/stl_image.h"
#include "image/vm_store.h"
#include "siblings/zircim/row_halves.h"

namespace {

// What GetDib's argument selects.
enum RenderOption : int {
    kDisplayLevels = 0, // each plane through its LevelMin, LevelMax, LevelRange
    kRawClipped = 1,    // the samples themselves, clipped to 0..255
};

constexpr DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER); // 40
constexpr DWORD kGrayEntries = 256;
constexpr DWORD kTableEntrySize = sizeof(RGBQUAD); // 4
// A BMP file's bfSize is 32 bits and counts the 14-byte file header too: a
// larger block could never be written.
constexpr std::uint64_t kLargestBlock = 0xFFFFFFFFu - 14u;

// One plane's display levels, as the byte rule uses them.
struct ByteLevels {
    double low;   // at or below: 0
    double high;  // at or above: 255
    double range; // the divisor between them
};

// The raw option is the byte rule at levels 0..255, which gives the samples
// clipped and truncated (is_unit_scale below).
constexpr ByteLevels kRawLevels{0.0, 255.0, 255.0};

// The processor's truncating conversion, written so that out-of-range
// values and NaN give 0x80000000 without undefined behaviour.
inline std::int32_t truncate_to_int32(double value) {
    return std::fabs(value) < 2147483648.0 ? static_cast<std::int32_t>(value) : INT32_MIN;
}

// The byte rule of GetPixelGray256: the lower bound is tested first, NaN
// fails both tests, and between them (s - min) / range * 255 keeps its low
// eight bits (a LevelRange that disagrees with the bounds can scale past 255).
inline std::uint8_t level_byte(float sample, const ByteLevels &levels) {
    const double s = sample;
    if (s <= levels.low)
        return 0;
    if (s >= levels.high)
        return 255;
    return static_cast<std::uint8_t>(truncate_to_int32((s - levels.low) / levels.range * 255.0) & 0xFF);
}

// At levels 0..255 with range 255 the rule needs no division: (s - 0) / 255
// * 255 never crosses a whole number on its way back to s (checked for every
// float between 0 and 255), so the byte is the sample clipped and truncated.
bool is_unit_scale(const ByteLevels &levels) {
    return levels.low == 0.0 && levels.high == 255.0 && levels.range == 255.0;
}

inline std::uint8_t clipped_byte(float sample) {
    if (!(sample > 0.0f)) // NaN included
        return 0;
    if (sample >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(sample);
}

// What the DIB will be, decided before anything is allocated.
struct DibLayout {
    int width;
    int height;
    int planes;             // 1 or 3
    WORD bitCount;          // 8 or 24
    DWORD tableEntries;     // 256 or 0
    std::size_t rowBytes;   // padded to 4
    DWORD imageBytes;       // biSizeImage
    std::size_t blockBytes; // header, table and rows

    std::size_t pixelOffset() const { return kInfoHeaderSize + std::size_t{tableEntries} * kTableEntrySize; }
};

// Every `stride`-th byte of `out` from one row of one plane.
template <typename ToByte>
void render_samples(const float *row, int width, std::uint8_t *out, int stride, ToByte to_byte) {
    for (int x = 0; x < width; ++x)
        out[std::size_t(x) * stride] = to_byte(row[x]);
}

void render_plane_row(const float *row, int width, const ByteLevels &levels, std::uint8_t *out, int stride) {
    if (is_unit_scale(levels))
        render_samples(row, width, out, stride, clipped_byte);
    else
        render_samples(row, width, out, stride, [&levels](float sample) { return level_byte(sample, levels); });
}

// The first pixels of a row at unit scale, several at a time, and how many
// were done; the caller renders the rest with clipped_byte. Only a converted
// or raw-rendered picture comes here, which is nearly every GetDib.
#ifdef GET_DIB_SSE2
// clipped_byte on four samples: maxps answers its second operand, 0, when
// the sample is NaN, and -0 becomes +0; after the clip to 255 the
// truncating conversion gives exactly the byte.
inline __m128i clipped_ints(const float *samples) {
    const __m128 clipped = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(samples), _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvttps_epi32(clipped);
}

int render_unit_gray(const float *row, int width, std::uint8_t *out) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i low = _mm_packs_epi32(clipped_ints(row + x), clipped_ints(row + x + 4));
        const __m128i high = _mm_packs_epi32(clipped_ints(row + x + 8), clipped_ints(row + x + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(low, high));
    }
    return x;
}

// Four pixels of blue, green and red as twelve bytes. Each 32-bit lane
// holds one pixel's blue | green << 8 | red << 16; each 64-bit half then
// closes its gap to six bytes, and the upper half moves down to follow the
// lower one.
int render_unit_bgr(const float *red, const float *green, const float *blue, int width, std::uint8_t *out) {
    const __m128i lowPixel = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    const __m128i highPixel = _mm_set_epi32(0xFFFF, int(0xFF000000u), 0xFFFF, int(0xFF000000u));
    const __m128i lowHalf = _mm_set_epi32(0, 0, 0xFFFF, -1);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i pixels =
            _mm_or_si128(_mm_or_si128(clipped_ints(blue + x), _mm_slli_epi32(clipped_ints(green + x), 8)),
                         _mm_slli_epi32(clipped_ints(red + x), 16));
        const __m128i halves =
            _mm_or_si128(_mm_and_si128(pixels, lowPixel), _mm_and_si128(_mm_srli_epi64(pixels, 8), highPixel));
        const __m128i packed =
            _mm_or_si128(_mm_and_si128(halves, lowHalf), _mm_andnot_si128(lowHalf, _mm_srli_si128(halves, 2)));
        std::uint8_t *pixel = out + std::size_t(x) * 3;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(pixel), packed);
        const std::int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
        std::memcpy(pixel + 8, &last, sizeof last);
    }
    return x;
}
#else
int render_unit_gray(const float *, int, std::uint8_t *) { return 0; }
int render_unit_bgr(const float *, const float *, const float *, int, std::uint8_t *) { return 0; }
#endif

// One output row from its planes' rows (red, green, blue for three).
void render_row(const float *const *rows, const DibLayout &layout, const ByteLevels *levels, std::uint8_t *out) {
    const int width = layout.width;
    int done = 0;
    if (layout.planes == 1 && is_unit_scale(levels[0])) {
        done = render_unit_gray(rows[0], width, out);
    } else if (layout.planes == 3 && is_unit_scale(levels[0]) && is_unit_scale(levels[1]) && is_unit_scale(levels[2])) {
        done = render_unit_bgr(rows[0], rows[1], rows[2], width, out);
    }
    const std::size_t first = std::size_t(done) * layout.planes;
    for (int plane = 0; plane < layout.planes; ++plane)
        render_plane_row(rows[plane] + done, width - done, levels[plane], out + first + (layout.planes - 1 - plane),
                         layout.planes);
}

// The store must hold float samples for every plane the record names.
bool store_matches(const CStlImage &image) {
    const CVmImage *store = image.Store;
    return store != nullptr && store->GetWidth() == image.Width && store->GetHeight() == image.Height &&
           store->GetPlanes() >= image.Planes && store->GetBytesPerSample() == int{sizeof(float)};
}

// Sizes in 64 bits; the image is refused when the block would not fit a
// BMP file.
std::optional<DibLayout> layout_of(const CStlImage &image) {
    if ((image.Planes != 1 && image.Planes != 3) || image.Width <= 0 || image.Height <= 0 || !store_matches(image))
        return std::nullopt;
    DibLayout layout{};
    layout.width = image.Width;
    layout.height = image.Height;
    layout.planes = image.Planes;
    layout.bitCount = image.Planes == 1 ? 8 : 24;
    layout.tableEntries = image.Planes == 1 ? kGrayEntries : 0;
    const std::uint64_t rowBytes = (std::uint64_t{layout.bitCount} * std::uint64_t(image.Width) + 31) / 32 * 4;
    const std::uint64_t room = kLargestBlock - layout.pixelOffset();
    if (rowBytes > room / std::uint64_t(image.Height))
        return std::nullopt;
    layout.rowBytes = std::size_t(rowBytes);
    layout.imageBytes = static_cast<DWORD>(rowBytes * std::uint64_t(image.Height));
    layout.blockBytes = layout.pixelOffset() + layout.imageBytes;
    return layout;
}

void write_header(const DibLayout &layout, std::uint8_t *block) {
    // BI_RGB, no resolution (an astronomical image has no physical one to
    // declare), no colour marked important: all zero.
    BITMAPINFOHEADER header{};
    header.biSize = kInfoHeaderSize;
    header.biWidth = layout.width;
    header.biHeight = layout.height; // positive: bottom-up rows
    header.biPlanes = 1;
    header.biBitCount = layout.bitCount;
    header.biSizeImage = layout.imageBytes;
    header.biClrUsed = layout.tableEntries;
    std::memcpy(block, &header, sizeof header);
}

void write_gray_table(const DibLayout &layout, std::uint8_t *block) {
    auto *table = reinterpret_cast<RGBQUAD *>(block + kInfoHeaderSize);
    for (DWORD i = 0; i < layout.tableEntries; ++i)
        table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
}

// Store row y is the picture's y-th row from the top, the DIB's
// (height - 1 - y)-th from the bottom. A DIB pixel holds blue, green, red:
// plane 2 first. One lookup per row and plane (the store keeps the last
// three addresses valid together), each row rendered before the next
// lookups. False when the store cannot bring a row in.
bool render_row_range(const CStlImage &image, const DibLayout &layout, const ByteLevels *levels, std::uint8_t *pixels,
                      int first, int end) {
    const std::size_t usedBytes = std::size_t(layout.width) * layout.planes;
    for (int y = first; y < end; ++y) {
        std::uint8_t *out = pixels + std::size_t(layout.height - 1 - y) * layout.rowBytes;
        const float *rows[3] = {};
        for (int plane = 0; plane < layout.planes; ++plane) {
            rows[plane] =
                reinterpret_cast<const float *>(image.Store->GetImageAdr(0, y, plane, 1, CVmImage::kReadBack, NULL));
            if (rows[plane] == nullptr)
                return false;
        }
        render_row(rows, layout, levels, out);
        std::memset(out + usedBytes, 0, layout.rowBytes - usedBytes);
    }
    return true;
}

// A big picture in a store in one region is rendered by two threads, half
// the rows each.
bool render_rows(const CStlImage &image, const DibLayout &layout, const ByteLevels *levels, std::uint8_t *pixels) {
    const std::uint64_t samples =
        std::uint64_t(layout.width) * std::uint64_t(layout.height) * std::uint64_t(layout.planes);
    if (!zircim::two_threads_pay(samples, *image.Store))
        return render_row_range(image, layout, levels, pixels, 0, layout.height);
    bool rendered[2] = {false, false};
    zircim::in_two_halves(layout.height, [&](int first, int end, bool onHelper) {
        rendered[onHelper] = render_row_range(image, layout, levels, pixels, first, end);
    });
    return rendered[0] && rendered[1];
}

// Each plane's byte levels for the option; false for an option this
// library does not know.
bool levels_for(const CStlImage &image, int option, ByteLevels *levels) {
    if (option != kDisplayLevels && option != kRawClipped)
        return false;
    for (int plane = 0; plane < image.Planes; ++plane)
        levels[plane] = option == kRawClipped
                            ? kRawLevels
                            : ByteLevels{image.LevelMin[plane], image.LevelMax[plane], image.LevelRange[plane]};
    return true;
}

} // namespace

HDIB CStlImage::GetDib(int option) const {
    const std::optional<DibLayout> layout = layout_of(*this);
    ByteLevels levels[3];
    if (!layout || !levels_for(*this, option, levels))
        return NULL;
    // Every byte is written below, so the block need not be zeroed first.
    HGLOBAL dib = GlobalAlloc(GMEM_MOVEABLE, layout->blockBytes);
    if (dib == NULL)
        return NULL;
    auto *block = static_cast<std::uint8_t *>(GlobalLock(dib));
    if (block == nullptr) {
        GlobalFree(dib);
        return NULL;
    }
    write_header(*layout, block);
    write_gray_table(*layout, block);
    const bool rendered = render_rows(*this, *layout, levels, block + layout->pixelOffset());
    GlobalUnlock(dib);
    if (!rendered) {
        GlobalFree(dib);
        return NULL;
    }
    return dib;
}
