// FITS images through CFITSIO. Paths are taken literally (CFITSIO's
// disk-file calls), never as CFITSIO's extended file-name syntax. Image row
// y is FITS row height - y (counted from 1) both ways: FITS puts the first
// stored row at the bottom of the picture, the image library's row 0 is its
// top row.
#include "bmpfile/fits_image.h"

#include "bmpfile/file_kind.h"
#include "bmpfile/fits_cards.h"
#include "bmpfile/image_rows.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <fitsio.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <zlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <limits>
#include <system_error>

namespace bmpfile {
namespace {

constexpr int kGrayPlanes = 1;
constexpr int kColourPlanes = 3;
constexpr int kMaxIndexed = 999; // NAXISn and TFIELDS stop at 999 in FITS
constexpr const char *kOrigin = "dirira";

// A CFITSIO file closed on every path; close() reports the status of the
// closing write.
class FitsFile {
public:
    FitsFile() = default;
    FitsFile(const FitsFile &) = delete;
    FitsFile &operator=(const FitsFile &) = delete;
    ~FitsFile() {
        int ignored = 0;
        close(&ignored);
    }
    fitsfile **out() { return &file_; }
    fitsfile *get() const { return file_; }
    void close(int *status) {
        if (file_ != nullptr)
            fits_close_file(file_, status);
        file_ = nullptr;
    }

private:
    fitsfile *file_ = nullptr;
};

// CFITSIO's words for a status. Status 1 is its "non-CFITSIO program
// error", which its own decompression also answers (a damaged .fz tile):
// the last message it left on its stack then says what went wrong.
std::string fits_error(int status) {
    char text[FLEN_ERRMSG] = {};
    fits_get_errstatus(status, text);
    std::string said = text;
    while (fits_read_errmsg(text) != 0)
        if (status == 1 && text[0] != '\0')
            said = text;
    return said;
}

std::string indexed(const char *root, int index) { return root + std::to_string(index + 1); }

// Keyword readers: an absent or unreadable keyword answers false and leaves
// the value alone.
bool read_key(fitsfile *file, const std::string &key, int &value) {
    int status = 0;
    return fits_read_key(file, TINT, key.c_str(), &value, nullptr, &status) == 0;
}

bool read_key(fitsfile *file, const std::string &key, double &value) {
    int status = 0;
    return fits_read_key(file, TDOUBLE, key.c_str(), &value, nullptr, &status) == 0;
}

bool read_key(fitsfile *file, const std::string &key, CString &value) {
    char text[FLEN_VALUE] = {};
    int status = 0;
    if (fits_read_key(file, TSTRING, key.c_str(), text, nullptr, &status) != 0)
        return false;
    value = text;
    return true;
}

int read_count(fitsfile *file, const char *key) {
    int count = 0;
    read_key(file, key, count);
    return std::clamp(count, 0, kMaxIndexed);
}

// The application's FITS code sizes the column arrays; here that is us.
void size_columns(CFitsExtension &record, int fields) {
    for (CStringArray *column : {&record.TType, &record.TForm, &record.TUnit})
        column->SetSize(fields);
    record.TBCol.SetSize(fields);
}

void read_axes(fitsfile *file, CFitsExtension &record) {
    record.SetNAxis(read_count(file, "NAXIS"));
    for (int i = 0; i < record.GetNAxis(); ++i) {
        int length = 0; // a length beyond 32 bits reads as 0
        read_key(file, indexed("NAXIS", i), length);
        record.SetNAxes(i, length);
    }
}

void read_columns(fitsfile *file, CFitsExtension &record) {
    const int fields = read_count(file, "TFIELDS");
    record.SetTFields(fields);
    size_columns(record, fields);
    for (int i = 0; i < fields; ++i) {
        CString text;
        if (read_key(file, indexed("TTYPE", i), text))
            record.SetTType(text, i);
        int column = 0;
        if (read_key(file, indexed("TBCOL", i), column))
            record.SetTBCol(column, i);
        if (read_key(file, indexed("TFORM", i), text))
            record.SetTForm(text, i);
        if (read_key(file, indexed("TUNIT", i), text))
            record.SetTUnit(text, i);
    }
}

// A tile-compressed image's header describes the binary table that holds
// it; CFITSIO's image calls answer for the image itself.
void read_compressed_image(fitsfile *file, dirira::FitsHdu &hdu) {
    int bitPix = 0, axes = 0, status = 0;
    std::vector<LONGLONG> lengths(kMaxIndexed, 0);
    fits_get_img_paramll(file, kMaxIndexed, &bitPix, &axes, lengths.data(), &status);
    hdu.record->SetXtension("IMAGE");
    hdu.record->SetBitPix(bitPix);
    hdu.record->SetNAxis(std::clamp(axes, 0, kMaxIndexed));
    for (int i = 0; i < hdu.record->GetNAxis(); ++i)
        hdu.record->SetNAxes(i, int(std::min<LONGLONG>(lengths[std::size_t(i)], std::numeric_limits<int>::max())));
    CString algorithm;
    read_key(file, "ZCMPTYPE", algorithm);
    hdu.compression = static_cast<const char *>(algorithm);
}

// "BSCALE x, BZERO y" where an image has either card.
std::string scaling_of(fitsfile *file) {
    double scale = 1, zero = 0;
    int scaleStatus = 0, zeroStatus = 0;
    fits_read_key(file, TDOUBLE, "BSCALE", &scale, nullptr, &scaleStatus);
    fits_read_key(file, TDOUBLE, "BZERO", &zero, nullptr, &zeroStatus);
    if (scaleStatus != 0 && zeroStatus != 0)
        return "";
    char text[80];
    std::snprintf(text, sizeof text, "BSCALE %.17g, BZERO %.17g", scale, zero);
    return text;
}

dirira::FitsHdu read_header(fitsfile *file) {
    dirira::FitsHdu hdu{std::make_unique<CFitsExtension>(), "", ""};
    CFitsExtension &record = *hdu.record;
    CString text;
    if (read_key(file, "EXTNAME", text))
        record.SetExtName(text);
    int status = 0;
    if (fits_is_compressed_image(file, &status)) {
        read_compressed_image(file, hdu);
    } else {
        if (read_key(file, "XTENSION", text))
            record.SetXtension(text);
        int bitPix = 0;
        if (read_key(file, "BITPIX", bitPix))
            record.SetBitPix(bitPix);
        read_axes(file, record);
        read_columns(file, record);
    }
    if (record.GetTFields() == 0)
        hdu.scaling = scaling_of(file);
    return hdu;
}

// ---- image -> FITS ----

// The source file's name without folders, for the SRCFILE card; empty when
// it is not printable ASCII, which is all a FITS header may hold. A name
// longer than one card holds goes on in CONTINUE cards (the long-string
// convention), never cut short.
std::string source_name(const char *path) {
    const char *slash = std::strrchr(path, '/');
    std::string name = slash != nullptr ? slash + 1 : path;
    const bool printable = std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    return printable ? name : std::string();
}

// The colour of each plane of a three-plane cube, a PLANEn card each. Not
// CTYPE3 'RGB' as some tools write it: a WCS card of the third axis is out of
// place in a tile-compressed HDU, whose table has two axes.
void write_colour_cards(fitsfile *file, int *status) {
    static const char *const kColours[kColourPlanes] = {"red", "green", "blue"};
    for (int plane = 0; plane < kColourPlanes; ++plane)
        fits_update_key(file, TSTRING, indexed("PLANE", plane).c_str(), const_cast<char *>(kColours[plane]),
                        "colour of this plane", status);
}

void write_cards(fitsfile *file, CStlImage &image, const char *sourcePath, int *status) {
    fits_update_key(file, TSTRING, "ORIGIN", const_cast<char *>(kOrigin), "written by the dirira program", status);
    const std::string name = source_name(sourcePath);
    if (!name.empty())
        fits_write_key_longstr(file, "SRCFILE", name.c_str(), "BMP file converted", status);
    int bits = image.GetOrgBitsPixel();
    fits_update_key(file, TINT, "SRCBITS", &bits, "bits per pixel of the BMP file", status);
    if (image.GetPlanes() == kColourPlanes)
        write_colour_cards(file, status);
    for (int plane = 0; plane < image.GetPlanes(); ++plane) {
        double low = image.GetLevelMin(plane), high = image.GetLevelMax(plane);
        fits_update_key(file, TDOUBLE, indexed("LEVMIN", plane).c_str(), &low, "display level: black", status);
        fits_update_key(file, TDOUBLE, indexed("LEVMAX", plane).c_str(), &high, "display level: white", status);
    }
}

// What the samples of an image are: their extremes and whether every one
// of them is an integer (NaN and the infinities are not).
struct SampleSurvey {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    bool integral = true;
};

// Folds `count` samples into the survey. With SSE2 (every x86-64), four
// at a time: a sample is an integer when truncation through a 32-bit
// integer gives it back, or when its magnitude is 2^23 or more (every such
// float is) and finite; the infinities and NaN are not.
void survey_row(const float *row, int count, SampleSurvey &survey) {
    float low = float(survey.low), high = float(survey.high);
    bool integral = survey.integral;
    int x = 0;
#ifdef __SSE2__
    __m128 lows = _mm_set1_ps(low), highs = _mm_set1_ps(high), whole = _mm_castsi128_ps(_mm_set1_epi32(-1));
    const __m128 sign = _mm_set1_ps(-0.0f), allIntegers = _mm_set1_ps(0x1p23f),
                 finite = _mm_set1_ps(std::numeric_limits<float>::max());
    for (; x + 4 <= count; x += 4) {
        const __m128 samples = _mm_loadu_ps(row + x), magnitude = _mm_andnot_ps(sign, samples);
        lows = _mm_min_ps(samples, lows); // a NaN sample leaves the extremes alone, as std::min does
        highs = _mm_max_ps(samples, highs);
        const __m128 truncated = _mm_cvtepi32_ps(_mm_cvttps_epi32(samples));
        const __m128 large = _mm_and_ps(_mm_cmpge_ps(magnitude, allIntegers), _mm_cmple_ps(magnitude, finite));
        whole = _mm_and_ps(whole, _mm_or_ps(_mm_cmpeq_ps(truncated, samples), large));
    }
    float l[4], h[4];
    _mm_storeu_ps(l, lows);
    _mm_storeu_ps(h, highs);
    for (int i = 0; i < 4; ++i)
        low = std::min(low, l[i]), high = std::max(high, h[i]);
    integral &= _mm_movemask_ps(whole) == 0xf;
#endif
    for (; x < count; ++x) {
        low = std::min(low, row[x]);
        high = std::max(high, row[x]);
        integral &= std::trunc(row[x]) == row[x];
    }
    survey.low = low, survey.high = high, survey.integral = integral;
}

SampleSurvey survey_samples(CStlImage &image) {
    SampleSurvey survey;
    for (int plane = 0; plane < image.GetPlanes(); ++plane)
        for (int y = 0; y < image.GetHeight(); ++y)
            survey_row(store_row(image, y, plane, kReadSamples), image.GetWidth(), survey);
    return survey;
}

// Whether CFITSIO's image type (BYTE_IMG, SHORT_IMG, USHORT_IMG: 16 bits with
// BZERO 32768, LONG_IMG, FLOAT_IMG, DOUBLE_IMG) holds every sample exactly.
// The samples are floats, so the floating types hold them all.
bool holds_exactly(int type, const SampleSurvey &s) {
    const auto within = [&s](double low, double high) { return s.integral && s.low >= low && s.high <= high; };
    switch (type) {
    case BYTE_IMG:
        return within(0, 255);
    case SHORT_IMG:
        return within(-32768, 32767);
    case USHORT_IMG:
        return within(0, 65535);
    case LONG_IMG:
        return within(-2147483648.0, 2147483647.0);
    default:
        return true;
    }
}

// The BITPIX of CFITSIO's image type: USHORT_IMG is BITPIX 16 with BZERO
// 32768, the others are their BITPIX.
int bitpix_of(int type) { return type == USHORT_IMG ? SHORT_IMG : type; }

// The image type for `bitPix` (0: the smallest that holds every sample
// exactly); false, with why not, when that BITPIX cannot hold them.
bool choose_image_type(int bitPix, const SampleSurvey &survey, int &type, std::string &why) {
    const int candidates[] = {BYTE_IMG, SHORT_IMG, USHORT_IMG, LONG_IMG, FLOAT_IMG, DOUBLE_IMG};
    for (int candidate : candidates)
        if ((bitPix == 0 || bitPix == bitpix_of(candidate)) && holds_exactly(candidate, survey)) {
            type = candidate;
            return true;
        }
    int smallest = FLOAT_IMG;
    choose_image_type(0, survey, smallest, why);
    char text[200];
    std::snprintf(text, sizeof text,
                  "BITPIX %d cannot hold every sample exactly (they run from %.9g to %.9g%s); BITPIX %d holds them",
                  bitPix, survey.low, survey.high, survey.integral ? "" : ", not all integers", bitpix_of(smallest));
    why = text;
    return false;
}

// CFITSIO formats the header; the samples bypass it. Handed rows, CFITSIO
// passes each through its 2880-byte record buffers (three write calls a row,
// 31,000 for a 4096 x 4096 colour picture, at a third of the disk's speed),
// and its close zero-fills whatever part of the data unit it did not see
// written, so the data cannot be written beside it either. The cards are
// therefore formatted in a memory file and copied out, and the data unit is
// streamed here in large writes.
constexpr std::size_t kStreamBytes = std::size_t(4) << 20;

std::size_t padded_to_record(std::size_t size) { return (size + kRecordBytes - 1) / kRecordBytes * kRecordBytes; }

// The primary header: every card CFITSIO made, END, and blanks to the end of
// the record.
bool format_header(CStlImage &image, const char *sourcePath, int type, std::string &header, int *status) {
    void *memory = nullptr;
    std::size_t size = 0;
    FitsFile file;
    fits_create_memfile(file.out(), &memory, &size, kRecordBytes, std::realloc, status);
    const int planes = image.GetPlanes();
    LONGLONG lengths[3] = {image.GetWidth(), image.GetHeight(), planes};
    fits_create_imgll(file.get(), type, planes == kColourPlanes ? 3 : 2, lengths, status);
    write_cards(file.get(), image, sourcePath, status);
    int cards = 0, room = 0;
    fits_get_hdrspace(file.get(), &cards, &room, status);
    for (int card = 1; card <= cards && *status == 0; ++card) {
        char text[FLEN_CARD] = {};
        fits_read_record(file.get(), card, text, status);
        header.append(text).resize(std::size_t(card) * kCardBytes, ' ');
    }
    header.append("END");
    header.resize(padded_to_record(header.size()), ' ');
    // With no axes the memory file has no data unit for its close to fill:
    // otherwise that would take as much memory as the picture's samples.
    int ignored = 0, noAxes = 0;
    fits_update_key(file.get(), TINT, "NAXIS", &noAxes, nullptr, &ignored);
    file.close(&ignored);
    std::free(memory);
    return *status == 0;
}

bool write_all(int fd, const char *bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO; // a regular file that takes nothing is as good as full
        if (written <= 0)
            return false;
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}

// Where the bytes of a FITS file go: the file itself, or gzip's stream into
// it. write() answers false, with errno set, when the bytes cannot go.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool write(const char *bytes, std::size_t size) = 0;
};

class FileSink : public Sink {
public:
    explicit FileSink(int fd) : m_fd(fd) {}
    bool write(const char *bytes, std::size_t size) override { return write_all(m_fd, bytes, size); }

private:
    int m_fd;
};

// A .fits.gz file: the whole FITS stream through gzip, as CFITSIO and
// astropy read it. gzwrite takes at most UINT_MAX bytes a call.
class GzipSink : public Sink {
public:
    explicit GzipSink(gzFile gz) : m_gz(gz) {}
    bool write(const char *bytes, std::size_t size) override {
        for (std::size_t done = 0; done < size;) {
            const unsigned part = unsigned(std::min<std::size_t>(size - done, std::size_t(1) << 30));
            if (gzwrite(m_gz, bytes + done, part) != int(part)) {
                errno = errno != 0 ? errno : EIO; // gzip's own failures carry no errno
                return false;
            }
            done += part;
        }
        return true;
    }

private:
    gzFile m_gz;
};

// Chunks go to the sink on a second thread while this one fills the next:
// the byte swap overlaps the kernel's copy into the page cache (or gzip's
// compression). Only the calling thread looks into the image's store; the
// writer's errno comes back with its result. Without a thread to be had,
// chunks are written here.
class ChunkWriter {
public:
    explicit ChunkWriter(Sink &sink) : m_sink(sink) {}

    // Once the chunk before is written, `bytes` at `data` go out; false,
    // with errno set, when the chunk before failed.
    bool hand_over(const char *data, std::size_t bytes) {
        if (!finish())
            return false;
        try {
            m_pending =
                std::async(std::launch::async, [this, data, bytes] { return m_sink.write(data, bytes) ? 0 : errno; });
            return true;
        } catch (const std::system_error &) {
            return m_sink.write(data, bytes);
        }
    }

    // Waits for the chunk on its way; false, with errno set, when it failed.
    bool finish() {
        if (!m_pending.valid())
            return true;
        const int error = m_pending.get();
        if (error != 0)
            errno = error;
        return error == 0;
    }

private:
    Sink &m_sink;
    std::future<int> m_pending;
};

// The writing of a FITS file shown as CBmp::Write shows a BMP's: a display
// opened with the output's name, its percentage moving as the rows go out,
// closed on every path (a bar's line is then wiped for what follows). A
// message goes only when the percentage changes: a hundred at most.
class RowProgress {
public:
    RowProgress(HWND window, const char *caption, CStlImage &image)
        : m_window(window), m_rows(std::uint64_t(image.GetHeight()) * std::uint64_t(image.GetPlanes())) {
        dirira::send_progress(window, dirira::kProgressOpen, reinterpret_cast<LPARAM>(caption));
    }
    ~RowProgress() { dirira::send_progress(m_window, dirira::kProgressClose, 0); }
    RowProgress(const RowProgress &) = delete;
    RowProgress &operator=(const RowProgress &) = delete;

    void row_done() {
        const int percent = int(++m_done * 100 / m_rows);
        if (percent == m_shown)
            return;
        m_shown = percent;
        dirira::send_progress(m_window, dirira::kProgressPosition, percent);
    }

private:
    HWND m_window;
    std::uint64_t m_rows, m_done = 0;
    int m_shown = 0;
};

// Bytes a sample takes in the data unit, for CFITSIO's image type.
std::size_t sample_bytes(int type) {
    switch (type) {
    case BYTE_IMG:
        return 1;
    case SHORT_IMG:
    case USHORT_IMG:
        return 2;
    case DOUBLE_IMG:
        return 8;
    default:
        return 4;
    }
}

template <typename Bits> void put_big_endian(unsigned char *out, Bits bits) {
    for (std::size_t i = sizeof(Bits); i-- > 0; bits = Bits(bits >> 8))
        out[i] = static_cast<unsigned char>(bits);
}

template <typename Bits, typename Value> Bits bits_of(Value value) {
    Bits bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A row of samples as the data unit stores them, big-endian; unsigned 16-bit
// values are stored less BZERO (32768). The type holds every sample exactly
// (choose_image_type), so each conversion is exact.
// Samples 0..255 held exactly as bytes. The compiler converts them one at a
// time; with SSE2, sixteen go at once (truncated to 32-bit integers, then
// narrowed, which cannot saturate: each is within 0..255 already).
void encode_bytes(const float *row, std::size_t width, unsigned char *out) {
    std::size_t x = 0;
#ifdef __SSE2__
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_cvttps_epi32(_mm_loadu_ps(row + x)), b = _mm_cvttps_epi32(_mm_loadu_ps(row + x + 4)),
                      c = _mm_cvttps_epi32(_mm_loadu_ps(row + x + 8)), d = _mm_cvttps_epi32(_mm_loadu_ps(row + x + 12));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    }
#endif
    for (; x < width; ++x)
        out[x] = static_cast<unsigned char>(row[x]);
}

void encode_row(const float *row, std::size_t width, int type, unsigned char *out) {
    switch (type) {
    case BYTE_IMG:
        encode_bytes(row, width, out);
        break;
    case SHORT_IMG:
        for (std::size_t x = 0; x < width; ++x)
            put_big_endian(out + 2 * x, static_cast<std::uint16_t>(static_cast<std::int16_t>(row[x])));
        break;
    case USHORT_IMG:
        for (std::size_t x = 0; x < width; ++x)
            put_big_endian(out + 2 * x, static_cast<std::uint16_t>(static_cast<std::int32_t>(row[x]) - 32768));
        break;
    case LONG_IMG:
        for (std::size_t x = 0; x < width; ++x)
            put_big_endian(out + 4 * x, static_cast<std::uint32_t>(static_cast<std::int32_t>(row[x])));
        break;
    case DOUBLE_IMG:
        for (std::size_t x = 0; x < width; ++x)
            put_big_endian(out + 8 * x, bits_of<std::uint64_t>(double(row[x])));
        break;
    default:
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t bits = __builtin_bswap32(bits_of<std::uint32_t>(row[x]));
            std::memcpy(out + 4 * x, &bits, sizeof bits);
        }
    }
}

// The data unit: each plane from its bottom row up (the FITS row order),
// then zeros to the end of the record. Two chunks: one is written while the
// other is filled. A data unit that fits in one chunk takes a chunk of its
// own size and no second: a night of small frames would otherwise spend
// more on fresh pages than on its samples. Every byte of a chunk is
// written before it goes out, so none is cleared first.
bool stream_samples(Sink &sink, CStlImage &image, int type, RowProgress &progress) {
    const std::size_t rowBytes = std::size_t(image.GetWidth()) * sample_bytes(type);
    const int height = image.GetHeight();
    const std::size_t dataBytes = rowBytes * std::size_t(height) * std::size_t(image.GetPlanes());
    const std::size_t chunkBytes = std::max(rowBytes, std::min(kStreamBytes, dataBytes));
    std::unique_ptr<unsigned char[]> chunks[2] = {
        std::unique_ptr<unsigned char[]>(new unsigned char[chunkBytes]),
        dataBytes > chunkBytes ? std::unique_ptr<unsigned char[]>(new unsigned char[chunkBytes]) : nullptr};
    ChunkWriter writer(sink);
    int filling = 0;
    std::size_t used = 0, total = 0;
    auto flush = [&] {
        total += used;
        const bool handed = writer.hand_over(reinterpret_cast<const char *>(chunks[filling].get()), used);
        filling ^= 1;
        used = 0;
        return handed;
    };
    for (int plane = 0; plane < image.GetPlanes(); ++plane)
        for (int y = height - 1; y >= 0; --y) {
            if (used + rowBytes > chunkBytes && !flush())
                return false;
            encode_row(store_row(image, y, plane, kReadSamples), std::size_t(image.GetWidth()), type,
                       chunks[filling].get() + used);
            used += rowBytes;
            progress.row_done();
        }
    // The last chunk has nothing left to overlap with: it goes out from here.
    total += used;
    if (!writer.finish() || !sink.write(reinterpret_cast<const char *>(chunks[filling].get()), used))
        return false;
    const std::string fill(padded_to_record(total) - total, '\0');
    return sink.write(fill.data(), fill.size());
}

// The header, the data unit, then the sink's own end: "" or why not.
std::string write_stream(Sink &sink, CStlImage &image, const char *sourcePath, int type, RowProgress &progress,
                         const std::function<bool()> &finish) {
    std::string header;
    int status = 0;
    if (!format_header(image, sourcePath, type, header, &status))
        return fits_error(status);
    const bool written = sink.write(header.data(), header.size()) && stream_samples(sink, image, type, progress);
    const int error = errno;
    const bool finished = finish();
    if (!written)
        return std::strerror(error);
    return finished ? std::string() : std::strerror(errno);
}

// A new FITS file at `path` holding the image in CFITSIO's image `type`,
// gzipped where asked: "" or why not.
std::string write_fits(const char *path, CStlImage &image, const char *sourcePath, int type, bool gzip,
                       RowProgress &progress) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    if (!gzip) {
        FileSink sink(fd);
        return write_stream(sink, image, sourcePath, type, progress, [fd] { return ::close(fd) == 0; });
    }
    const gzFile gz = gzdopen(fd, "wb"); // closes fd with gzclose
    if (gz == nullptr) {
        ::close(fd);
        return "no memory for gzip";
    }
    GzipSink sink(gz);
    return write_stream(sink, image, sourcePath, type, progress, [gz] { return gzclose(gz) == Z_OK; });
}

// CFITSIO compresses samples given in the image's own type only: each row
// goes in that type, which holds its samples exactly (choose_image_type).
template <typename Sample>
void write_row_as(fitsfile *file, int dataType, const float *row, int width, LONGLONG *first, int *status) {
    std::vector<Sample> samples(row, row + width);
    fits_write_pixll(file, dataType, first, width, samples.data(), status);
}

void write_compressed_row(fitsfile *file, int type, float *row, int width, int fitsRow, int plane, int *status) {
    LONGLONG first[3] = {1, fitsRow, plane + 1};
    switch (type) {
    case BYTE_IMG:
        return write_row_as<unsigned char>(file, TBYTE, row, width, first, status);
    case SHORT_IMG:
        return write_row_as<short>(file, TSHORT, row, width, first, status);
    case USHORT_IMG:
        return write_row_as<unsigned short>(file, TUSHORT, row, width, first, status);
    case LONG_IMG:
        return write_row_as<int>(file, TINT, row, width, first, status);
    case DOUBLE_IMG:
        return write_row_as<double>(file, TDOUBLE, row, width, first, status);
    default:
        fits_write_pixll(file, TFLOAT, first, width, row, status);
    }
}

// CFITSIO's disk driver answers a file it cannot create, write or close
// with a code of its own ("error writing to FITS file"); the system's
// reason (a full disk, a quota, a file too large) is errno just after.
std::string system_failure(int status, int error) {
    const bool system = status == FILE_NOT_CREATED || status == WRITE_ERROR || status == FILE_NOT_CLOSED;
    return system && error != 0 ? std::strerror(error) : fits_error(status);
}

// A tile-compressed image (fpack's .fz) in an extension after an empty
// primary HDU, written through CFITSIO, lossless: Rice for integers, gzip
// of the unquantised bytes for floats.
std::string write_tiled_fits(const char *path, CStlImage &image, const char *sourcePath, int type,
                             RowProgress &progress) {
    FitsFile file;
    int status = 0;
    const int planes = image.GetPlanes(), width = image.GetWidth(), height = image.GetHeight();
    LONGLONG lengths[3] = {width, height, planes};
    errno = 0; // a failure without a system call behind it (the file there already) keeps CFITSIO's words
    fits_create_diskfile(file.out(), path, &status);
    fits_create_img(file.get(), BYTE_IMG, 0, nullptr, &status);
    const bool floating = type == FLOAT_IMG || type == DOUBLE_IMG;
    fits_set_compression_type(file.get(), floating ? GZIP_2 : RICE_1, &status);
    if (floating)
        fits_set_quantize_level(file.get(), 0.0f, &status); // no quantisation: lossless
    fits_create_imgll(file.get(), type, planes == kColourPlanes ? 3 : 2, lengths, &status);
    write_cards(file.get(), image, sourcePath, &status);
    for (int plane = 0; plane < planes && status == 0; ++plane)
        for (int fitsRow = 1; fitsRow <= height && status == 0; ++fitsRow) {
            write_compressed_row(file.get(), type, store_row(image, height - fitsRow, plane, kReadSamples), width,
                                 fitsRow, plane, &status);
            progress.row_done();
        }
    // The first failure's errno: the close writes again and may leave another.
    const int failedBeforeClose = status, errorBeforeClose = errno;
    file.close(&status);
    if (status == 0)
        return std::string();
    return system_failure(status, failedBeforeClose != 0 ? errorBeforeClose : errno);
}

// ---- FITS -> image ----

struct FitsImageShape {
    int width = 0;
    int height = 0;
    int planes = 0;
    int firstPlane = 0; // the cube's plane that becomes the image's plane 0
    int bitPix = 0;
    int physicalType = 0; // CFITSIO's type of the values BSCALE and BZERO give
};

// CFITSIO's type of the values BSCALE and BZERO give. It calls every
// BITPIX 64 image LONGLONG_IMG, scaled or not (4.2): unsigned data (BZERO
// 2**63) and scaled values, which reading as signed integers would break,
// are told apart here by the cards.
int physical_type(fitsfile *file, int bitPix, int *status) {
    int type = 0;
    if (fits_get_img_equivtype(file, &type, status) != 0 || bitPix != LONGLONG_IMG)
        return type;
    double scale = 1.0, zero = 0.0;
    read_key(file, "BSCALE", scale);
    read_key(file, "BZERO", zero);
    if (scale != 1.0 || (zero != 0.0 && zero != 9223372036854775808.0))
        return DOUBLE_IMG;
    return zero == 0.0 ? LONGLONG_IMG : ULONGLONG_IMG;
}

// A gray image (NAXIS 2, or a cube of one plane), a colour one (a cube of
// three planes), or the plane of a cube that the selection names, of a size
// the image record can hold; or an explanation. Axes beyond the third must
// have length 1.
bool shape_of(fitsfile *file, const FitsSelection &selection, FitsImageShape &shape, std::string &why) {
    int bitPix = 0, physicalType = 0, axes = 0, status = 0;
    std::vector<LONGLONG> lengths(kMaxIndexed, 1);
    if (fits_get_img_paramll(file, kMaxIndexed, &bitPix, &axes, lengths.data(), &status) != 0 ||
        (physicalType = physical_type(file, bitPix, &status), status != 0)) {
        why = fits_error(status);
        return false;
    }
    const LONGLONG largest = std::numeric_limits<int>::max();
    const LONGLONG planes = lengths[2];
    // No axis has length 0 here: move_to_image passed over such HDUs.
    if (axes < 2 || std::count(lengths.begin() + 3, lengths.end(), 1) != kMaxIndexed - 3 || lengths[0] > largest ||
        lengths[1] > largest) {
        why = "not an image of two axes, or a cube of planes of a size an image can hold";
        return false;
    }
    if (selection.plane > planes) {
        why = "no plane " + std::to_string(selection.plane) + ": the image has " + std::to_string(planes);
        return false;
    }
    const bool cube = selection.plane == 0 && planes != kGrayPlanes && planes != kColourPlanes;
    if (cube && !selection.everyPlane) {
        why = "a cube of " + std::to_string(planes) + " planes: choose one with " + selection.choosePlane;
        return false;
    }
    // A few hundred bytes of header, tile-compressed data of one value, can
    // claim planes of any size: the same ceiling as a BMP file's.
    const auto pixels = std::uint64_t(lengths[0]) * std::uint64_t(lengths[1]);
    if (selection.maxPixels != 0 && pixels > selection.maxPixels) {
        why = "its " + std::to_string(lengths[0]) + " x " + std::to_string(lengths[1]) + " pixels are more than the " +
              std::to_string(selection.maxPixels) + " that " + selection.maxPixelsName + " allows";
        return false;
    }
    shape = {int(lengths[0]),
             int(lengths[1]),
             selection.plane > 0 ? 1 : int(planes),
             selection.plane > 0 ? selection.plane - 1 : 0,
             bitPix,
             physicalType};
    return true;
}

// Whether the current HDU is an image extension or primary array with data:
// at least one axis, none of length 0. Tables are passed over unasked, as
// CFITSIO's image calls fail on them; a tile-compressed image is an image.
bool holds_image(fitsfile *file, int type, int *status) {
    int axes = 0;
    if (type != IMAGE_HDU || fits_get_img_dim(file, &axes, status) != 0 || axes < 1)
        return false;
    std::vector<LONGLONG> lengths(std::size_t(axes), 0);
    fits_get_img_sizell(file, axes, lengths.data(), status);
    return *status == 0 && std::count(lengths.begin(), lengths.end(), 0) == 0;
}

// The bytes a file holds on disk, or -1 where they say nothing of its HDUs:
// a gzipped file, which CFITSIO reads inflated, or one that cannot be looked
// at (its read then says why).
long long plain_file_size(const char *path) {
    struct stat status;
    std::string why;
    unsigned char magic[2] = {};
    const int fd = open_for_reading(path, status, why);
    if (fd < 0)
        return -1;
    const bool looked = pread(fd, magic, sizeof magic, 0) >= 0;
    close(fd);
    return looked && !(magic[0] == 0x1F && magic[1] == 0x8B) ? static_cast<long long>(status.st_size) : -1;
}

// Whether the file holds the current HDU's data unit, its 2880-byte records
// whole: CFITSIO finds out only when a read passes the end, and then says no
// more than "error reading from FITS file" (a unit that lacks only padding
// too, as CFITSIO reads whole records).
bool holds_its_data(fitsfile *file, const char *path, std::string &why) {
    LONGLONG header = 0, data = 0, end = 0;
    int status = 0;
    const long long size = plain_file_size(path);
    if (size < 0 || fits_get_hduaddrll(file, &header, &data, &end, &status) != 0 || size >= end)
        return true;
    why = ends_early(std::uint64_t(end - size)) + ": its header puts a data unit of " + std::to_string(end - data) +
          " bytes at byte " + std::to_string(data);
    return false;
}

// A plain file's bytes past the end of its HDU `count` that begin another
// HDU's header: CFITSIO counts whole HDUs only, so a file cut inside a
// later header lists and reads as if it ended before it. "" when nothing
// follows, or what follows is no header (FITS lets special records trail).
std::string cut_hdu_after(fitsfile *file, const char *path, int count) {
    LONGLONG header = 0, data = 0, end = 0;
    int status = 0;
    const long long size = plain_file_size(path);
    char start[8] = {};
    if (size < 0 || fits_movabs_hdu(file, count, nullptr, &status) != 0 ||
        fits_get_hduaddrll(file, &header, &data, &end, &status) != 0 || size <= end)
        return "";
    struct stat disk;
    std::string why;
    const int fd = open_for_reading(path, disk, why);
    const bool read = fd >= 0 && pread(fd, start, sizeof start, off_t(end)) == ssize_t(sizeof start);
    if (fd >= 0)
        close(fd);
    if (!read || std::memcmp(start, "XTENSION", sizeof start) != 0)
        return "";
    return "the file ends " + std::to_string(size - end) + " bytes into the header of HDU " + std::to_string(count + 1);
}

// The HDU that the selection names (counted from 1, the primary first), or
// the first that holds an image.
bool move_to_image(fitsfile *file, const char *path, int wanted, std::string &why) {
    int count = 0, status = 0;
    fits_get_num_hdus(file, &count, &status);
    if (wanted > count && status == 0) {
        const std::string cut = cut_hdu_after(file, path, count);
        why = "no HDU " + std::to_string(wanted) + ": the file has " + std::to_string(count) +
              (cut.empty() ? "" : "; " + cut);
        return false;
    }
    for (int hdu = wanted > 0 ? wanted : 1; hdu <= (wanted > 0 ? wanted : count) && status == 0; ++hdu) {
        int type = 0;
        if (fits_movabs_hdu(file, hdu, &type, &status) == 0 && holds_image(file, type, &status))
            return true;
    }
    why = status != 0  ? fits_error(status)
          : wanted > 0 ? "HDU " + std::to_string(wanted) + " holds no image"
                       : "no image in the file";
    return false;
}

struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    void take(const float *samples, int count) {
        for (const float *s = samples; s != samples + count; ++s)
            if (std::isfinite(*s)) {
                low = std::min(low, double(*s));
                high = std::max(high, double(*s));
            }
    }
};

// What float32 samples could not hold as the file has them: integers of
// more than 24 significant bits (BITPIX 32 and 64, and what BSCALE and
// BZERO make of them where that is still an integer), finite values past
// float32's range (which become infinite). Floats and scaled values that
// are not integers are rounded to float32 without a word: that is the
// image's precision.
struct Narrowing {
    bool rounded = false;
    bool overflowed = false;
};

// Whether float32 holds an integer of this magnitude exactly: at most 24
// significant bits once its trailing zero bits are dropped.
bool exact_in_float(std::uint64_t magnitude) {
    return magnitude == 0 || (magnitude >> __builtin_ctzll(magnitude)) < (std::uint64_t{1} << 24);
}

// The integer overloads need not know that the samples are integers.
float narrowed(std::uint64_t value, bool, Narrowing &narrowing) {
    narrowing.rounded |= !exact_in_float(value);
    return float(value);
}

float narrowed(std::int64_t value, bool, Narrowing &narrowing) {
    narrowing.rounded |= !exact_in_float(value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value));
    return float(value);
}

// `integers`: the file's samples are integers (BITPIX > 0), here scaled.
float narrowed(double value, bool integers, Narrowing &narrowing) {
    if (std::fabs(value) <= double(std::numeric_limits<float>::max()) || std::isnan(value)) {
        const float single = float(value);
        narrowing.rounded |= integers && double(single) != value && value == std::trunc(value);
        return single;
    }
    narrowing.overflowed |= std::isfinite(value);
    return float(std::copysign(HUGE_VAL, value));
}

// Rows of a type float32 may not hold, read in `Value` (CFITSIO's `type`:
// 64-bit integers stay exact, as doubles would not past 2**53), then
// narrowed into the plane, through buffers made once a plane. Undefined
// integers (BLANK) become NaN, which the display levels render black.
// Floats are taken as they stand: CFITSIO's check for undefined values
// would turn +inf and -inf into NaN too, where the display levels render
// +inf white and -inf black.
template <typename Value> class WideRows {
public:
    WideRows(fitsfile *file, int type, bool floats, int width, Narrowing &narrowing)
        : m_file(file), m_type(type), m_floats(floats), m_values(std::size_t(width)),
          m_undefined(std::size_t(width), 0), m_narrowing(narrowing) {}

    void operator()(LONGLONG *first, float *row, int *status) {
        const LONGLONG width = LONGLONG(m_values.size());
        int anyUndefined = 0;
        if (m_floats)
            fits_read_pixll(m_file, m_type, first, width, nullptr, m_values.data(), &anyUndefined, status);
        else
            fits_read_pixnullll(m_file, m_type, first, width, m_values.data(), m_undefined.data(), &anyUndefined,
                                status);
        for (std::size_t x = 0; x < m_values.size(); ++x)
            row[x] = m_undefined[x] ? std::numeric_limits<float>::quiet_NaN()
                                    : narrowed(m_values[x], !m_floats, m_narrowing);
    }

private:
    fitsfile *m_file;
    int m_type;
    bool m_floats;
    std::vector<Value> m_values;
    std::vector<char> m_undefined;
    Narrowing &m_narrowing;
};

// Each row of a plane in file order (as written), read by `readRow` into
// the plane's floats.
template <typename ReadRow>
bool read_rows(CStlImage &image, int plane, int fitsPlane, Range &range, int *status, ReadRow readRow) {
    const int width = image.GetWidth(), height = image.GetHeight();
    for (int fitsRow = 1; fitsRow <= height && *status == 0; ++fitsRow) {
        float *row = store_row(image, height - fitsRow, plane, kWriteSamples);
        LONGLONG first[kMaxIndexed];
        std::fill(std::begin(first), std::end(first), 1); // axes beyond the third have length 1
        first[1] = fitsRow;
        first[2] = fitsPlane + 1;
        readRow(first, row, status);
        range.take(row, width);
    }
    return *status == 0;
}

// A plane in floats: straight from CFITSIO where float32 holds every value
// of the file's type (bytes, 16-bit integers, floats), else through the
// wider type.
bool read_plane(fitsfile *file, CStlImage &image, int plane, int fitsPlane, const FitsImageShape &shape, Range &range,
                Narrowing &narrowing, int *status) {
    const int width = image.GetWidth();
    const bool floats = shape.bitPix < 0;
    switch (shape.physicalType) {
    case LONG_IMG:
    case ULONG_IMG:
    case LONGLONG_IMG:
        return read_rows(image, plane, fitsPlane, range, status,
                         WideRows<std::int64_t>(file, TLONGLONG, floats, width, narrowing));
    case ULONGLONG_IMG:
        return read_rows(image, plane, fitsPlane, range, status,
                         WideRows<std::uint64_t>(file, TULONGLONG, floats, width, narrowing));
    case DOUBLE_IMG:
        return read_rows(image, plane, fitsPlane, range, status,
                         WideRows<double>(file, TDOUBLE, floats, width, narrowing));
    default:
        return read_rows(image, plane, fitsPlane, range, status, [&](LONGLONG *first, float *row, int *rowStatus) {
            float blank = std::numeric_limits<float>::quiet_NaN();
            int anyUndefined = 0;
            fits_read_pixll(file, TFLOAT, first, width, floats ? nullptr : &blank, row, &anyUndefined, rowStatus);
        });
    }
}

// A data unit that does not match its DATASUM card is damaged (a bit
// flipped on a disk or in a transfer): its picture is shown, with the word.
// Most files carry no such card and cost nothing; CFITSIO sums only where
// it is. The header's own CHECKSUM is not asked for: editing a card
// without updating it is common, and leaves the picture as it was.
void check_data_sum(fitsfile *file, std::vector<std::string> &warnings) {
    int dataSum = 0, checksum = 0, status = 0;
    if (fits_verify_chksum(file, &dataSum, &checksum, &status) == 0 && dataSum < 0)
        warnings.push_back("the data do not match their DATASUM card: the file is damaged");
}

// The warnings a narrowing gives, in the words of the Python module's.
void warn_of(const Narrowing &narrowing, int bitPix, std::vector<std::string> &warnings) {
    const std::string samples = "BITPIX " + std::to_string(bitPix) + " samples beyond ";
    if (narrowing.rounded)
        warnings.push_back(samples + "2**24 are rounded to float32's 24 significant bits");
    if (narrowing.overflowed)
        warnings.push_back(samples + "float32's range become infinite");
}

enum class Card { kAbsent, kRead, kUnreadable };

// A level card: absent, read, or there but not a number (a warning, since
// the levels then come from elsewhere).
Card read_level_card(fitsfile *file, const std::string &key, double &value, std::vector<std::string> &warnings) {
    int status = 0;
    if (fits_read_key(file, TDOUBLE, key.c_str(), &value, nullptr, &status) == 0)
        return Card::kRead;
    if (status == KEY_NO_EXIST)
        return Card::kAbsent;
    warnings.push_back(key + " cannot be read as a number (" + fits_error(status) + "): it is ignored");
    return Card::kUnreadable;
}

// Whether the samples' physical values are bytes: BITPIX 8 with BSCALE 1
// and BZERO 0, shown as they are (levels 0 and 255).
bool holds_bytes(fitsfile *file) {
    int type = 0, status = 0;
    return fits_get_img_equivtype(file, &type, &status) == 0 && type == BYTE_IMG;
}

// The plane's display levels: the LEVMINn/LEVMAXn cards when both are
// there and read, else 0 and 255 for bytes, else its smallest and largest
// defined samples (which the caller may replace by a stretch's). Levels
// that span nothing are kept (the cards say what the file's author chose)
// with a warning: the byte rule then makes every sample at or below the
// lower level black and every other one white.
dirira::FitsLevels set_levels(fitsfile *file, CStlImage &image, int plane, int fitsPlane, const Range &range,
                              std::vector<std::string> &warnings) {
    double low = range.low <= range.high ? range.low : 0.0;
    double high = range.low <= range.high ? range.high : 0.0;
    dirira::FitsLevels origin = dirira::FitsLevels::kRange;
    double cardLow = 0.0, cardHigh = 0.0;
    const std::string lowKey = indexed("LEVMIN", fitsPlane), highKey = indexed("LEVMAX", fitsPlane);
    const Card lowCard = read_level_card(file, lowKey, cardLow, warnings);
    const Card highCard = read_level_card(file, highKey, cardHigh, warnings);
    if (lowCard == Card::kRead && highCard == Card::kRead) {
        low = cardLow;
        high = cardHigh;
        origin = dirira::FitsLevels::kCards;
        if (low >= high) {
            char text[200];
            std::snprintf(text, sizeof text, "%s %g is not below %s %g: samples above %g render white, the rest black",
                          lowKey.c_str(), low, highKey.c_str(), high, low);
            warnings.push_back(text);
        }
    } else if (holds_bytes(file)) {
        low = 0;
        high = 255;
        origin = dirira::FitsLevels::kBytes;
    }
    image.LevelMin[plane] = low;
    image.LevelMax[plane] = high;
    image.LevelRange[plane] = high - low;
    return origin;
}

bool ends_with(const std::string &text, const char *ending) {
    const std::size_t length = std::strlen(ending);
    return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

std::string lower_case(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

FitsCompression fits_compression_of(const char *path) {
    const std::string name = lower_case(path);
    return ends_with(name, ".gz")   ? FitsCompression::kGzip
           : ends_with(name, ".fz") ? FitsCompression::kTiles
                                    : FitsCompression::kNone;
}

bool is_fits_path(const char *path) {
    std::string name = lower_case(path);
    if (ends_with(name, ".fz"))
        return true; // fpack's name, alone or after .fits
    if (ends_with(name, ".gz"))
        name.resize(name.size() - 3);
    return ends_with(name, ".fits") || ends_with(name, ".fit") || ends_with(name, ".fts");
}

namespace {

// What a file holds at its start, read through gzip where it is gzip (as
// CFITSIO reads it): its first bytes, whether it was packed, and for FITS
// whether its first header is whole: an END card and the rest of the
// record that holds it.
struct Opening {
    std::uint8_t head[16] = {}; // the longest signature, and enough to tell text
    std::size_t got = 0;
    std::uint64_t size = 0; // bytes read, unpacked
    bool packed = false, headerWhole = false;
};

bool read_opening(int fd, Opening &o) {
    const gzFile gz = gzdopen(fd, "rb"); // a plain file reads as it is; gzclose closes fd
    if (gz == nullptr)
        return close(fd), false;
    char card[80];
    int got = 0;
    bool ended = false;
    while (!ended && (got = gzread(gz, card, sizeof card)) > 0) {
        if (o.size == 0)
            std::memcpy(o.head, card, o.got = std::min(sizeof o.head, std::size_t(got)));
        o.size += std::uint64_t(got);
        ended = got == 80 && std::memcmp(card, "END", 3) == 0 &&
                std::all_of(card + 3, card + 80, [](char c) { return c == ' '; });
        if (o.size == sizeof card && format_of_bytes(o.head, o.got) != "FITS")
            break; // only FITS has cards to look through
    }
    if (ended) {
        char rest[kRecordBytes];
        const auto padding = unsigned((kRecordBytes - o.size % kRecordBytes) % kRecordBytes);
        got = padding == 0 ? 0 : gzread(gz, rest, padding);
        o.headerWhole = got == int(padding);
        o.size += std::uint64_t(std::max(got, 0));
    }
    o.packed = gzdirect(gz) == 0;
    return gzclose(gz), got >= 0;
}

// CFITSIO's reason for a file it could not open is its own ("could not open
// the named file", "tried to move past end of file"): the user is told the
// system's reason, or what the file really is, or where it ends, before it.
std::string open_failure(const char *path, int status) {
    struct stat file;
    std::string why;
    const int fd = open_for_reading(path, file, why);
    Opening o;
    if (fd < 0)
        return why;
    if (!read_opening(fd, o))
        return fits_error(status);
    const std::string kind = format_of_bytes(o.head, o.got), as = o.packed ? "gzipped " : "";
    if (o.got == 0)
        return "an empty " + as + "file, not FITS";
    if (kind == "FITS" && !o.headerWhole)
        return "a " + as + "FITS file of " + std::to_string(o.size) + " bytes" + (o.packed ? " unpacked" : "") +
               ", which ends inside its header";
    if (kind == "FITS")
        return fits_error(status);
    if (kind.empty())
        return "not a FITS file: it does not begin with \"SIMPLE  =\"" + std::string(o.packed ? " once unpacked" : "");
    return "a " + as + kind + " file, not FITS";
}

// CFITSIO unpacks a gzip or zip file into memory of the size the file
// claims (gzip's trailer, zip's local header) before it has unpacked a
// byte: a few hundred bytes can claim gigabytes. Deflate makes at most 1032
// bytes of each byte it is given. A zip claim beyond that is refused. A gzip
// trailer holds the size modulo 2^32, and past 10,000 bytes CFITSIO adds
// 2^32 until the size is no less than the file's (taking a smaller one for
// a file of more than 4 GiB): a claim it then makes beyond the bound is
// believed only if the file's whole stream unpacks to it (an
// incompressible file does).
constexpr std::uint64_t kDeflateMostPerByte = 1032;
constexpr std::uint64_t kGzipWrapPast = 10000, kGzipModulo = std::uint64_t{1} << 32;

// How many bytes the gzip file unpacks to, reading no further than `most`
// of them; -1 when its stream is broken.
std::int64_t gzip_unpacked(int fd, std::uint64_t most) {
    const gzFile gz = gzdopen(fd, "rb"); // closes fd with gzclose
    if (gz == nullptr)
        return close(fd), -1;
    std::vector<char> buffer(1 << 16);
    std::uint64_t total = 0;
    int got = 0;
    while (total <= most && (got = gzread(gz, buffer.data(), unsigned(buffer.size()))) > 0)
        total += std::uint64_t(got);
    int error = Z_OK; // a stream cut short also ends at the file's end, with Z_BUF_ERROR
    const bool whole = got == 0 && gzeof(gz) != 0 && (gzerror(gz, &error), error == Z_OK);
    gzclose(gz);
    return whole ? std::int64_t(total) : -1;
}

// Why CFITSIO must not be given the file: a packed one whose claim is
// beyond the bound, a plain one with a card CFITSIO cannot take.
std::string refused_before_cfitsio(const char *path) {
    struct stat file;
    std::string why;
    const int fd = open_for_reading(path, file, why);
    if (fd < 0)
        return why; // before CFITSIO, which would wait for a FIFO's writer
    std::uint8_t magic[2] = {}, claim[4] = {};
    const bool gzip = pread(fd, magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
    const bool zip = magic[0] == 'P' && magic[1] == 'K';
    if (!gzip && !zip) {
        why = card_cfitsio_cannot_take(fd);
        return close(fd), why;
    }
    const off_t at = gzip ? file.st_size - 4 : 22; // the unpacked size, little-endian
    const bool claimed = (gzip || zip) && at >= 0 && pread(fd, claim, 4, at) == 4;
    const auto size = std::uint64_t(file.st_size), most = kDeflateMostPerByte * size;
    const std::uint64_t said = std::uint64_t(claim[0]) | std::uint64_t(claim[1]) << 8 | std::uint64_t(claim[2]) << 16 |
                               std::uint64_t(claim[3]) << 24;
    std::uint64_t taken = said; // what CFITSIO will allocate
    while (gzip && sizeof(std::size_t) > 4 && size > kGzipWrapPast && taken < size)
        taken += kGzipModulo;
    if (!claimed || taken <= most)
        return close(fd), "";
    const std::string file_of = std::string("a ") + (gzip ? "gzip" : "zip") + " file of " + std::to_string(size);
    if (zip)
        return close(fd), file_of + " bytes that claims " + std::to_string(said) +
                              " bytes unpacked, more than deflate makes of it";
    const std::int64_t real = gzip_unpacked(fd, most);
    if (real >= 0 && std::uint64_t(real) % kGzipModulo == said)
        return "";
    return file_of + " bytes that does not unpack to the " + std::to_string(said) + " bytes its trailer claims";
}

// Opens a FITS file as CFITSIO reads it, or says why not in the user's words.
bool open_fits(fitsfile **file, const char *path, std::string &why) {
    why = refused_before_cfitsio(path);
    int status = 0;
    if (why.empty() && fits_open_diskfile(file, path, READONLY, &status) != 0)
        why = open_failure(path, status);
    return why.empty();
}

} // namespace

bool holds_fits(const char *path) {
    struct stat file;
    std::string why;
    const int fd = open_for_reading(path, file, why);
    Opening o;
    return fd >= 0 && read_opening(fd, o) && format_of_bytes(o.head, o.got) == "FITS";
}

std::vector<dirira::FitsHdu> read_fits_headers(const char *path, std::string &error, std::string *cut) {
    FitsFile file;
    int status = 0, count = 0;
    if (!open_fits(file.out(), path, error))
        return {};
    fits_get_num_hdus(file.get(), &count, &status);
    std::vector<dirira::FitsHdu> hdus;
    for (int hdu = 1; hdu <= count && status == 0; ++hdu)
        if (fits_movabs_hdu(file.get(), hdu, nullptr, &status) == 0)
            hdus.push_back(read_header(file.get()));
    if (status != 0) {
        error = fits_error(status);
        hdus.clear();
    } else if (cut != nullptr) {
        *cut = cut_hdu_after(file.get(), path, count);
    }
    return hdus;
}

bool choose_fits_type(CStlImage &image, int bitPix, int &type, std::string &why) {
    return choose_image_type(bitPix, survey_samples(image), type, why);
}

int fits_bitpix_of(int type) { return bitpix_of(type); }

std::string write_fits_image(const char *path, CStlImage &image, const char *sourcePath, int type,
                             FitsCompression compression, HWND progress, const char *caption) {
    RowProgress rows(progress, caption, image);
    return compression == FitsCompression::kTiles
               ? write_tiled_fits(path, image, sourcePath, type, rows)
               : write_fits(path, image, sourcePath, type, compression == FitsCompression::kGzip, rows);
}

struct FitsImageFile::Opened {
    FitsFile file;
    FitsImageShape shape;
};

FitsImageFile::FitsImageFile() = default;
FitsImageFile::~FitsImageFile() = default;

bool FitsImageFile::open(const char *path, const FitsSelection &selection, std::string &why) {
    m_opened = std::make_unique<Opened>();
    return open_fits(m_opened->file.out(), path, why) &&
           move_to_image(m_opened->file.get(), path, selection.hdu, why) &&
           shape_of(m_opened->file.get(), selection, m_opened->shape, why) &&
           holds_its_data(m_opened->file.get(), path, why);
}

int FitsImageFile::planes() const { return m_opened->shape.planes; }

bool FitsImageFile::read(CStlImage &image, int first, int count, FitsImageRead &result) {
    const FitsImageShape &shape = m_opened->shape;
    result.firstPlane = shape.firstPlane + first;
    if (!image.Create(shape.width, shape.height, count, -32)) {
        result.why = "the image does not fit in memory";
        return false;
    }
    if (first == 0) // once for a cube read a plane at a time
        check_data_sum(m_opened->file.get(), result.warnings);
    int status = 0;
    result.levels = dirira::FitsLevels::kCards;
    Narrowing narrowing;
    for (int plane = 0; plane < count; ++plane) {
        Range range;
        const int fitsPlane = result.firstPlane + plane;
        if (!read_plane(m_opened->file.get(), image, plane, fitsPlane, shape, range, narrowing, &status)) {
            result.why = fits_error(status);
            return false;
        }
        result.levels =
            std::max(result.levels, set_levels(m_opened->file.get(), image, plane, fitsPlane, range, result.warnings));
    }
    warn_of(narrowing, shape.bitPix, result.warnings);
    return true;
}

bool read_fits_image(const char *path, CStlImage &image, const FitsSelection &selection, FitsImageRead &result) {
    FitsImageFile file;
    return file.open(path, selection, result.why) && file.read(image, 0, file.planes(), result);
}

} // namespace bmpfile
