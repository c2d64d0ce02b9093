// Files with a 40-byte header, and files that are not BMP files at all, go
// to CBmp::Read, so that they give exactly what the library gives and fail
// with its status. The others are read whole, normalised into a movable
// block and handed to AttachDIB; the image then records where it came from
// as CBmp::Read records it.
#include "bmpfile/read_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bmpfile/bmp_versions.h"
#include "bmpfile/read_failure.h"

namespace bmpfile {
namespace {

constexpr std::uint32_t kLibraryHeaderSize = 40;

bool read_whole(const char *path, std::vector<std::uint8_t> &bytes, std::string &why) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0) {
        why = std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
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

std::uint32_t peek_header_size(const char *path) {
    std::uint8_t bytes[18] = {};
    std::FILE *file = std::fopen(path, "rb");
    const std::size_t got = file != nullptr ? std::fread(bytes, 1, sizeof bytes, file) : 0;
    if (file != nullptr)
        std::fclose(file);
    return bmp_header_size(bytes, got);
}

bool refuse(ReadFailure &failure, int status, const std::string &why) {
    failure = {status, why};
    return false;
}

// The provenance CBmp::Read records, for a picture the program read.
void record_source(CStlImage &image, const char *path, const DibPlan &plan) {
    image.SetSaveableFormat(1);
    image.SetSaveableFile(access(path, W_OK) == 0 ? 1 : 0);
    image.SetOrgFileName(path);
    CString format;
    format.LoadString(plan.compression != 0 ? IDS_FORMAT_BMP_RLE : IDS_FORMAT_BMP);
    image.SetOrgFileFormat(format);
    image.SetOrgBitsPixel(int(plan.fileBits));
    image.SetOrgPlanes(0);
}

bool read_any_version(const char *path, CStlImage &image, HWND progress, ReadSource &source, ReadFailure &failure) {
    std::vector<std::uint8_t> file;
    std::string why;
    DibPlan plan;
    if (!read_whole(path, file, why))
        return refuse(failure, dirira::kBmpCannotOpen, "status 3: " + why);
    why = plan_dib(file.data(), file.size(), plan);
    if (!why.empty())
        return refuse(failure, kRefusedByReader, why);
    if (plan.missing != 0)
        source.warning = "the file ends " + std::to_string(plan.missing) + " bytes early; those pixels read as 0";
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

bool read_bmp(const char *path, CStlImage &image, HWND progress, ReadSource &source, ReadFailure &failure) {
    source = ReadSource();
    source.headerSize = peek_header_size(path);
    source.byLibrary = source.headerSize == 0 || source.headerSize == kLibraryHeaderSize;
    if (!source.byLibrary)
        return read_any_version(path, image, progress, source, failure);
    const int status = CBmp::Read(&image, path, progress, path);
    return status == dirira::kBmpOk || refuse(failure, status, read_failure_why(path, status));
}

std::string describe_source(const ReadSource &source) {
    return std::string(bmp_header_name(source.headerSize)) + " (" + std::to_string(source.headerSize) +
           "-byte header), read by " + (source.byLibrary ? "the library (CBmp::Read)" : "the program's reader");
}

} // namespace bmpfile
