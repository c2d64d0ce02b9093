// FITS through CFITSIO: `dirira fits-info` and the FITS side of `dirira
// convert`. Paths are taken literally (CFITSIO's disk-file calls), never as
// CFITSIO's extended file-name syntax.
//
// Row order: FITS puts the first stored row at the bottom of the picture
// (its y axis points up), the image library's row 0 is the picture's top
// row. Image row y is therefore FITS row height - y (counted from 1) both
// ways, so a FITS viewer shows the picture upright and BMP -> FITS -> BMP
// gives back the same samples.
#include "tools/dirira/fits.h"

#include "tools/dirira/commands.h"

#include <fcntl.h>
#include <fitsio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <limits>
#include <system_error>

namespace dirira_tool {
namespace {

constexpr int kGrayPlanes = 1;
constexpr int kColourPlanes = 3;
constexpr int kMaxIndexed = 999;     // NAXISn and TFIELDS stop at 999 in FITS
constexpr unsigned kReadSamples = 1; // GetImageAdr mode: bit 0 set reads
constexpr unsigned kWriteSamples = 0;
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

std::string fits_error(int status) {
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    return text;
}

int report(const char *path, const std::string &why) {
    std::fprintf(stderr, "dirira: %s: %s\n", path, why.c_str());
    return 1;
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

std::unique_ptr<CFitsExtension> read_header(fitsfile *file) {
    auto record = std::make_unique<CFitsExtension>();
    CString text;
    if (read_key(file, "XTENSION", text))
        record->SetXtension(text);
    int bitPix = 0;
    if (read_key(file, "BITPIX", bitPix))
        record->SetBitPix(bitPix);
    read_axes(file, *record);
    if (read_key(file, "EXTNAME", text))
        record->SetExtName(text);
    read_columns(file, *record);
    return record;
}

void print_record(int hdu, CFitsExtension &record) {
    const CString xtension = record.GetXtension();
    std::printf("HDU %d: %s", hdu, xtension.IsEmpty() ? "primary" : static_cast<const char *>(xtension));
    if (!record.GetExtName().IsEmpty())
        std::printf(", EXTNAME '%s'", static_cast<const char *>(record.GetExtName()));
    std::printf("\n  BITPIX %d, NAXIS %d", record.GetBitPix(), record.GetNAxis());
    for (int i = 0; i < record.GetNAxis(); ++i)
        std::printf("%s%d", i == 0 ? ": " : " x ", record.GetNAxes(i));
    std::printf("\n");
    if (record.GetTFields() > 0)
        std::printf("  TFIELDS %d\n", record.GetTFields());
    for (int i = 0; i < record.GetTFields(); ++i) {
        std::printf("  column %d: TTYPE '%s', TFORM '%s', TUNIT '%s'", i + 1,
                    static_cast<const char *>(record.GetTType(i)), static_cast<const char *>(record.GetTForm(i)),
                    static_cast<const char *>(record.GetTUnit(i)));
        if (record.GetTBCol(i) != 0) // ASCII tables only
            std::printf(", TBCOL %d", record.GetTBCol(i));
        std::printf("\n");
    }
}

// ---- BMP -> FITS ----

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

void write_cards(fitsfile *file, CStlImage &image, const char *bmpPath, int *status) {
    fits_update_key(file, TSTRING, "ORIGIN", const_cast<char *>(kOrigin), "written by the dirira program", status);
    const std::string name = source_name(bmpPath);
    if (!name.empty())
        fits_write_key_longstr(file, "SRCFILE", name.c_str(), "BMP file converted", status);
    int bits = image.GetOrgBitsPixel();
    fits_update_key(file, TINT, "SRCBITS", &bits, "bits per pixel of the BMP file", status);
    for (int plane = 0; plane < image.GetPlanes(); ++plane) {
        double low = image.GetLevelMin(plane), high = image.GetLevelMax(plane);
        fits_update_key(file, TDOUBLE, indexed("LEVMIN", plane).c_str(), &low, "display level: black", status);
        fits_update_key(file, TDOUBLE, indexed("LEVMAX", plane).c_str(), &high, "display level: white", status);
    }
}

// CFITSIO formats the header; the samples bypass it. Handed rows, CFITSIO
// passes each through its 2880-byte record buffers (three write calls a row,
// 31,000 for a 4096 x 4096 colour picture, at a third of the disk's speed),
// and its close zero-fills whatever part of the data unit it did not see
// written, so the data cannot be written beside it either. The cards are
// therefore formatted in a memory file and copied out, and the data unit is
// streamed here in large writes.
constexpr std::size_t kCardBytes = 80;
constexpr std::size_t kRecordBytes = 2880; // headers and data units fill whole records
constexpr std::size_t kStreamBytes = std::size_t(4) << 20;

std::size_t padded_to_record(std::size_t size) { return (size + kRecordBytes - 1) / kRecordBytes * kRecordBytes; }

// The primary header: every card CFITSIO made, END, and blanks to the end of
// the record.
bool format_header(CStlImage &image, const char *bmpPath, std::string &header, int *status) {
    void *memory = nullptr;
    std::size_t size = 0;
    FitsFile file;
    fits_create_memfile(file.out(), &memory, &size, kRecordBytes, std::realloc, status);
    const int planes = image.GetPlanes();
    LONGLONG lengths[3] = {image.GetWidth(), image.GetHeight(), planes};
    fits_create_imgll(file.get(), FLOAT_IMG, planes == kColourPlanes ? 3 : 2, lengths, status);
    write_cards(file.get(), image, bmpPath, status);
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

// Chunks go to the file on a second thread while this one fills the next:
// the byte swap overlaps the kernel's copy into the page cache. Only the
// calling thread looks into the image's store; the writer's errno comes
// back with its result. Without a thread to be had, chunks are written
// here.
class ChunkWriter {
public:
    explicit ChunkWriter(int fd) : m_fd(fd) {}

    // Once the chunk before is written, `bytes` at `data` go out; false,
    // with errno set, when the chunk before failed.
    bool hand_over(const char *data, std::size_t bytes) {
        if (!finish())
            return false;
        try {
            m_pending = std::async(std::launch::async,
                                   [fd = m_fd, data, bytes] { return write_all(fd, data, bytes) ? 0 : errno; });
            return true;
        } catch (const std::system_error &) {
            return write_all(m_fd, data, bytes);
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
    int m_fd;
    std::future<int> m_pending;
};

// The data unit: big-endian IEEE floats, each plane from its bottom row up
// (the FITS row order), then zeros to the end of the record. Two chunks:
// one is written while the other is filled.
bool stream_samples(int fd, CStlImage &image) {
    const std::size_t width = std::size_t(image.GetWidth());
    const int height = image.GetHeight();
    const std::size_t chunkWords = std::max(width, kStreamBytes / sizeof(std::uint32_t));
    std::vector<std::uint32_t> chunks[2] = {std::vector<std::uint32_t>(chunkWords),
                                            std::vector<std::uint32_t>(chunkWords)};
    ChunkWriter writer(fd);
    int filling = 0;
    std::size_t used = 0, total = 0;
    auto flush = [&] {
        total += used * sizeof(std::uint32_t);
        const bool handed =
            writer.hand_over(reinterpret_cast<const char *>(chunks[filling].data()), used * sizeof(std::uint32_t));
        filling ^= 1;
        used = 0;
        return handed;
    };
    for (int plane = 0; plane < image.GetPlanes(); ++plane)
        for (int y = height - 1; y >= 0; --y) {
            if (used + width > chunkWords && !flush())
                return false;
            const float *row = store_row(image, y, plane, kReadSamples);
            std::uint32_t *out = chunks[filling].data() + used;
            for (std::size_t x = 0; x < width; ++x) {
                std::uint32_t bits;
                std::memcpy(&bits, row + x, sizeof bits);
                out[x] = __builtin_bswap32(bits);
            }
            used += width;
        }
    if (!flush() || !writer.finish())
        return false;
    const std::string fill(padded_to_record(total) - total, '\0');
    return write_all(fd, fill.data(), fill.size());
}

// A new FITS file at `path` holding the image: "" or why not.
std::string write_fits(const char *path, CStlImage &image, const char *bmpPath) {
    std::string header;
    int status = 0;
    if (!format_header(image, bmpPath, header, &status))
        return fits_error(status);
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    const bool written = write_all(fd, header.data(), header.size()) && stream_samples(fd, image);
    const int error = errno;
    const bool closed = ::close(fd) == 0;
    if (!written)
        return std::strerror(error);
    return closed ? std::string() : std::strerror(errno);
}

// ---- FITS -> BMP ----

struct FitsImageShape {
    int width = 0;
    int height = 0;
    int planes = 0;
    bool floats = false; // BITPIX -32 or -64
};

// Gray (NAXIS 2, or NAXIS 3 with NAXIS3 = 1) or colour (NAXIS3 = 3) of a
// size the image record can hold, or an explanation.
bool shape_of(fitsfile *file, FitsImageShape &shape, std::string &why) {
    int bitPix = 0, axes = 0, status = 0;
    LONGLONG lengths[3] = {0, 0, 1};
    if (fits_get_img_paramll(file, 3, &bitPix, &axes, lengths, &status) != 0) {
        why = fits_error(status);
        return false;
    }
    const LONGLONG largest = std::numeric_limits<int>::max();
    // No axis has length 0 here: move_to_image passed over such HDUs.
    if (axes < 2 || axes > 3 || (lengths[2] != kGrayPlanes && lengths[2] != kColourPlanes) || lengths[0] > largest ||
        lengths[1] > largest) {
        why = "not a gray or three-plane colour image";
        return false;
    }
    shape = {int(lengths[0]), int(lengths[1]), int(lengths[2]), bitPix < 0};
    return true;
}

// Whether the current HDU is an image extension or primary array with data:
// at least one axis, none of length 0. Tables are passed over unasked, as
// CFITSIO's image calls fail on them.
bool holds_image(fitsfile *file, int type, int *status) {
    int axes = 0;
    if (type != IMAGE_HDU || fits_get_img_dim(file, &axes, status) != 0 || axes < 1)
        return false;
    std::vector<LONGLONG> lengths(std::size_t(axes), 0);
    fits_get_img_sizell(file, axes, lengths.data(), status);
    return *status == 0 && std::count(lengths.begin(), lengths.end(), 0) == 0;
}

// The first HDU that holds an image.
bool move_to_image(fitsfile *file, std::string &why) {
    int count = 0, status = 0;
    fits_get_num_hdus(file, &count, &status);
    for (int hdu = 1; hdu <= count && status == 0; ++hdu) {
        int type = 0;
        if (fits_movabs_hdu(file, hdu, &type, &status) == 0 && holds_image(file, type, &status))
            return true;
    }
    why = status != 0 ? fits_error(status) : "no image in the file";
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

// Undefined samples (BLANK, NaN) come in as NaN, which the display levels
// render black. Floats are taken as they stand: CFITSIO's check for
// undefined values would turn +inf and -inf into NaN too, where the display
// levels render +inf white and -inf black.
bool read_plane(fitsfile *file, CStlImage &image, int plane, bool floats, Range &range, int *status) {
    float blank = std::numeric_limits<float>::quiet_NaN();
    float *undefined = floats ? nullptr : &blank;
    const int width = image.GetWidth(), height = image.GetHeight();
    for (int fitsRow = 1; fitsRow <= height && *status == 0; ++fitsRow) { // in file order, as written
        float *row = store_row(image, height - fitsRow, plane, kWriteSamples);
        LONGLONG first[3] = {1, fitsRow, plane + 1};
        int anyUndefined = 0;
        fits_read_pixll(file, TFLOAT, first, width, undefined, row, &anyUndefined, status);
        range.take(row, width);
    }
    return *status == 0;
}

// The plane's display levels: the LEVMINn/LEVMAXn cards when both are
// there, else its smallest and largest defined samples. Levels that span
// nothing are kept (the cards say what the file's author chose) with a
// warning: the byte rule then makes every sample at or below the lower level
// black and every other one white, so a plane of one value is all black.
void set_levels(fitsfile *file, const char *path, CStlImage &image, int plane, const Range &range) {
    double low = range.low <= range.high ? range.low : 0.0;
    double high = range.low <= range.high ? range.high : 0.0;
    double cardLow = 0.0, cardHigh = 0.0;
    const std::string lowKey = indexed("LEVMIN", plane), highKey = indexed("LEVMAX", plane);
    if (read_key(file, lowKey, cardLow) && read_key(file, highKey, cardHigh)) {
        low = cardLow;
        high = cardHigh;
        if (low >= high)
            std::fprintf(stderr,
                         "dirira: %s: warning: %s %g is not below %s %g: samples above %g render white, the rest "
                         "black\n",
                         path, lowKey.c_str(), low, highKey.c_str(), high, low);
    } else if (range.low > range.high) {
        std::fprintf(stderr, "dirira: %s: warning: plane %d has no defined sample: it renders black\n", path,
                     plane + 1);
    } else if (low == high) {
        std::fprintf(stderr, "dirira: %s: warning: every sample of plane %d is %g: it renders black\n", path, plane + 1,
                     low);
    }
    image.LevelMin[plane] = low;
    image.LevelMax[plane] = high;
    image.LevelRange[plane] = high - low;
}

} // namespace

bool is_fits_path(const char *path) {
    const char *dot = std::strrchr(path, '.');
    if (dot == nullptr)
        return false;
    std::string extension(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == "fits" || extension == "fit" || extension == "fts";
}

std::vector<std::unique_ptr<CFitsExtension>> read_fits_headers(const char *path, std::string &error) {
    FitsFile file;
    int status = 0, count = 0;
    fits_open_diskfile(file.out(), path, READONLY, &status);
    fits_get_num_hdus(file.get(), &count, &status);
    std::vector<std::unique_ptr<CFitsExtension>> records;
    for (int hdu = 1; hdu <= count && status == 0; ++hdu)
        if (fits_movabs_hdu(file.get(), hdu, nullptr, &status) == 0)
            records.push_back(read_header(file.get()));
    if (status != 0) {
        error = fits_error(status);
        records.clear();
    }
    return records;
}

int fits_info(const char *path) {
    std::string error;
    const auto records = read_fits_headers(path, error);
    if (records.empty())
        return report(path, error);
    for (std::size_t i = 0; i < records.size(); ++i)
        print_record(int(i) + 1, *records[i]);
    return 0;
}

int bmp_to_fits(const char *bmpPath, const char *fitsPath, HWND progress, const bmpfile::ReadLimits &limits) {
    CStlImage image;
    bmpfile::ReadSource source;
    if (read_bmp_file(bmpPath, image, progress, source, limits) != 0)
        return 1;
    return write_replacing(fitsPath, [&](const char *path) { return write_fits(path, image, bmpPath); });
}

int read_fits_image(const char *fitsPath, CStlImage &image) {
    FitsFile file;
    int status = 0;
    std::string why;
    FitsImageShape shape;
    if (fits_open_diskfile(file.out(), fitsPath, READONLY, &status) != 0)
        return report(fitsPath, fits_error(status));
    if (!move_to_image(file.get(), why) || !shape_of(file.get(), shape, why))
        return report(fitsPath, why);
    if (!image.Create(shape.width, shape.height, shape.planes, -32))
        return report(fitsPath, "the image does not fit in memory");
    for (int plane = 0; plane < shape.planes; ++plane) {
        Range range;
        if (!read_plane(file.get(), image, plane, shape.floats, range, &status))
            return report(fitsPath, fits_error(status));
        set_levels(file.get(), fitsPath, image, plane, range);
    }
    return 0;
}

int fits_to_bmp(const char *fitsPath, const char *bmpPath, HWND progress) {
    CStlImage image;
    return read_fits_image(fitsPath, image) != 0 ? 1 : write_bmp(image, bmpPath, progress);
}

int convert_fits(const char *from, const char *to, HWND progress, const bmpfile::ReadLimits &limits) {
    if (is_fits_path(from) == is_fits_path(to))
        return report(from, "convert with FITS goes from BMP to FITS or from FITS to BMP");
    return is_fits_path(from) ? fits_to_bmp(from, to, progress) : bmp_to_fits(from, to, progress, limits);
}

} // namespace dirira_tool
