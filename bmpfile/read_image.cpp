// Every file is judged from its first bytes and its size before a reader
// allocates anything for it. Files with a 40-byte header that pass, with a
// file header or bare, go to CBmp::Read, so that they give exactly what the
// library gives and fail with its status. The others (and the 2-bit pictures
// that the image library does not decode) are read whole, normalised into a
// movable block and handed to AttachDIB; the image then records where it
// came from as CBmp::Read records it.
#include "bmpfile/read_image.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bmpfile/bmp_versions.h"
#include "bmpfile/file_kind.h"
#include "bmpfile/read_failure.h"

namespace bmpfile {
namespace {

constexpr std::uint32_t kLibraryHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;
// The file header, the longest header (V5) and the masks a 40-byte header
// may have behind it: all that judging a file needs.
constexpr std::size_t kHeadBytes = 14 + 124 + 16;
constexpr std::uint64_t kRlePixelsPerTwoBytes = 255; // the longest run a 2-byte command makes

// A file's first bytes and its size.
struct Head {
    std::uint8_t bytes[kHeadBytes] = {};
    std::size_t available = 0, size = 0;
};

bool read_head(const char *path, Head &head, std::string &why) {
    struct stat status;
    const int fd = open_for_reading(path, status, why);
    if (fd < 0)
        return false;
    head.size = std::size_t(status.st_size);
    while (head.available < kHeadBytes) {
        const ssize_t got = read(fd, head.bytes + head.available, kHeadBytes - head.available);
        if (got <= 0)
            break;
        head.available += std::size_t(got);
    }
    close(fd);
    return true;
}

std::uint32_t u32(const std::uint8_t *p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// What a file without the "BM" file header is: a bare DIB (a 40- or 12-byte
// header at its start, "" here: the library reads those), or what its first
// bytes say.
std::string judge_headerless(const Head &head) {
    if (head.size == 0)
        return "an empty file, not a BMP";
    if (head.available >= 4 && (u32(head.bytes) == kLibraryHeaderSize || u32(head.bytes) == kCoreHeaderSize))
        return "";
    const std::string format = format_of_bytes(head.bytes, head.available);
    if (format.empty())
        return "not a BMP file: it begins with neither \"BM\" nor a bitmap header";
    return "a " + format + " file, not a BMP";
}

// Why a picture is more than the file holds, or "".
std::string shortfall(const DibPlan &plan) {
    const std::uint64_t pixels = std::uint64_t(plan.width) * std::uint64_t(plan.height);
    if (plan.compression == 1 || plan.compression == 2) {
        const std::uint64_t most = std::uint64_t(plan.pixelBytes / 2) * kRlePixelsPerTwoBytes;
        if (pixels <= most)
            return "";
        return "its " + std::to_string(plan.width) + " x " + std::to_string(plan.height) +
               " pixels are more than its " + std::to_string(plan.pixelBytes) +
               " bytes of run-length data can make (255 for each 2 bytes)";
    }
    if (plan.missing == 0)
        return "";
    return ends_early(plan.missing) + ": its header puts " +
           std::to_string(std::uint64_t(plan.fileRowBytes) * std::uint64_t(plan.height)) + " bytes of pixels at " +
           std::to_string(plan.pixelsAt);
}

bool has_file_header(const Head &head) { return head.available >= 2 && head.bytes[0] == 'B' && head.bytes[1] == 'M'; }

// The file judged from its head (`source.bare` says whether it has a file
// header): "" when a reader may take it, the plan then made and any warning
// in `source`.
std::string judge(const Head &head, const ReadLimits &limits, ReadSource &source, DibPlan &plan) {
    const bool bare = source.bare;
    std::string why = bare ? judge_headerless(head) : plan_file(head.bytes, head.available, head.size, plan);
    if (why.empty() && bare)
        why = plan_bare_dib(head.bytes, head.available, head.size, plan);
    if (!why.empty())
        return why;
    why = shortfall(plan);
    if (!why.empty() && !limits.allowShort)
        return describe_version(plan.headerSize, why + "; " + limits.allowShortName + " reads the missing pixels as 0");
    if (!why.empty())
        source.warning = why.substr(0, why.find(':')) + "; those pixels read as 0";
    const std::uint64_t pixels = std::uint64_t(plan.width) * std::uint64_t(plan.height);
    if (limits.maxPixels != 0 && pixels > limits.maxPixels)
        return describe_version(plan.headerSize, "its " + std::to_string(plan.width) + " x " +
                                                     std::to_string(plan.height) + " pixels are more than the " +
                                                     std::to_string(limits.maxPixels) + " that " +
                                                     limits.maxPixelsName + " allows");
    return "";
}

bool read_whole(const char *path, std::vector<std::uint8_t> &bytes, std::string &why) {
    struct stat status;
    const int fd = open_for_reading(path, status, why);
    if (fd < 0)
        return false;
    bytes.resize(std::size_t(status.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
        if (got <= 0) {
            why = got < 0 ? std::strerror(errno) : "the file shrank while it was read";
            break;
        }
        done += std::size_t(got);
    }
    close(fd);
    return done == bytes.size();
}

bool refuse(ReadFailure &failure, int status, const std::string &why) {
    failure = {status, why};
    return false;
}

// The provenance CBmp::Read records, for a picture the program read: a file
// is saveable by its read-only attribute, as the library judges it (not by
// access(), which says "writable" to root).
void record_source(CStlImage &image, const char *path, const DibPlan &plan) {
    image.SetSaveableFormat(1);
    image.SetSaveableFile((GetFileAttributesA(path) & FILE_ATTRIBUTE_READONLY) == 0 ? 1 : 0);
    image.SetOrgFileName(path);
    CString format;
    format.LoadString(plan.compression != 0 ? IDS_FORMAT_BMP_RLE : IDS_FORMAT_BMP);
    image.SetOrgFileFormat(format);
    image.SetOrgBitsPixel(int(plan.fileBits));
    image.SetOrgPlanes(0);
}

bool read_any_version(const char *path, bool bare, CStlImage &image, HWND progress, ReadFailure &failure) {
    std::vector<std::uint8_t> file;
    std::string why;
    DibPlan plan;
    if (!read_whole(path, file, why))
        return refuse(failure, dirira::kBmpCannotOpen, why);
    why = bare ? plan_bare_dib(file.data(), file.size(), file.size(), plan) : plan_dib(file.data(), file.size(), plan);
    if (!why.empty())
        return refuse(failure, kRefusedByReader, why);
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, plan.block_size());
    auto *bytes = static_cast<std::uint8_t *>(block != NULL ? GlobalLock(block) : nullptr);
    if (bytes == nullptr) {
        GlobalFree(block);
        return refuse(failure, dirira::kBmpNoMemory,
                      "status 6: no memory for its " + std::to_string(plan.block_size()) + " bytes");
    }
    fill_dib(file.data(), file.size(), plan, bytes);
    GlobalUnlock(block);
    std::vector<std::uint8_t>().swap(file); // the block is all AttachDIB needs
    const int attached = image.AttachDIB(static_cast<HDIB>(block), progress, path);
    GlobalFree(block);
    if (attached == 0)
        return refuse(failure, dirira::kBmpNoMemory,
                      "status 6: the image library cannot hold its " + std::to_string(plan.width) + " x " +
                          std::to_string(plan.height) + " pixels");
    record_source(image, path, plan);
    return true;
}

} // namespace

bool read_bmp(const char *path, CStlImage &image, HWND progress, ReadSource &source, ReadFailure &failure,
              const ReadLimits &limits) {
    source = ReadSource();
    Head head;
    std::string why;
    if (!read_head(path, head, why))
        return refuse(failure, dirira::kBmpCannotOpen, why);
    DibPlan plan;
    source.bare = !has_file_header(head);
    why = judge(head, limits, source, plan);
    source.headerSize = source.bare ? plan.headerSize : bmp_header_size(head.bytes, head.available);
    source.compression = plan.compression;
    if (!why.empty())
        return refuse(failure, kRefusedByReader, why);
    source.byLibrary = source.headerSize == kLibraryHeaderSize && plan.fileBits != 2;
    if (!source.byLibrary)
        return read_any_version(path, source.bare, image, progress, failure);
    const int status = CBmp::Read(&image, path, progress, path);
    return status == dirira::kBmpOk || refuse(failure, status, read_failure_why(path, status));
}

std::string ends_early(std::uint64_t missing) {
    return "the file ends " + std::to_string(missing) + (missing == 1 ? " byte" : " bytes") + " early";
}

std::string describe_source(const ReadSource &source) {
    return std::string(bmp_header_name(source.headerSize)) + " (" + std::to_string(source.headerSize) + "-byte header" +
           (source.bare ? ", no file header" : "") + "), read by " +
           (source.byLibrary ? "the library" : "the program's reader");
}

std::string describe_format(const ReadSource &source) {
    const bool runLength = source.compression == BI_RLE8 || source.compression == BI_RLE4;
    return runLength ? "BMP, run-length encoded" : "BMP, uncompressed";
}

} // namespace bmpfile
