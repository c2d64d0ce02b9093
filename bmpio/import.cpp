// BMP import: CBmp::Read, CBmp::ReadHeader, CBmp::GetOrgWidthAndHeight, and
// the class itself.
#include "bmpio/bmp.h"
#include "bmpio/handles.h"
#include "bmpio/status.h"
#include "image/image.h"
#include "image/progress.h"
#include "module/resource.h"

#include <optional>

using namespace dirira;

CBmp::CBmp() = default;

CBmp::~CBmp() = default;

namespace dirira {
namespace {

struct DibSummary {
    bool compressed;
    WORD bitCount;
};

// Nothing when the block cannot be locked.
std::optional<DibSummary> summarise(HDIB dib) {
    ScopedGlobalLock lock(dib);
    const auto *header = reinterpret_cast<const BITMAPINFOHEADER *>(lock.bytes());
    if (header == nullptr)
        return std::nullopt;
    return DibSummary{header->biCompression != BI_RGB, header->biBitCount};
}

// The file may be written again unless it is read-only. A path whose
// attributes cannot be read reports every bit set, and so counts as
// read-only.
int file_is_writable(const char *path) { return (GetFileAttributesA(path) & FILE_ATTRIBUTE_READONLY) == 0 ? 1 : 0; }

// The format name from the string table, found through the framework's
// resource chain. A missing entry is not checked for: the empty name is
// recorded then.
void record_provenance(CImage &image, const char *path, const DibSummary &dib) {
    image.SetSaveableFormat(1);
    image.SetSaveableFile(file_is_writable(path));
    image.SetOrgFileName(path);
    CString format;
    format.LoadString(dib.compressed ? IDS_FORMAT_BMP_RLE : IDS_FORMAT_BMP);
    image.SetOrgFileFormat(format);
    image.SetOrgBitsPixel(dib.bitCount);
    image.SetOrgPlanes(0);
}

} // namespace
} // namespace dirira

int CBmp::Read(CImage *image, const char *path, HWND progressWnd, const char *caption) {
    const LPARAM captionParam = reinterpret_cast<LPARAM>(caption);
    send_progress(progressWnd, kProgressOpen, captionParam);
    HDIB dib = NULL;
    const int status = ReadDIB(path, &dib);
    if (status != kBmpOk) {
        send_progress(progressWnd, kProgressClose, 0);
        return status;
    }
    const std::optional<DibSummary> summary = summarise(dib);
    if (!summary) {
        GlobalFree(dib);
        send_progress(progressWnd, kProgressClose, 0);
        return kBmpNoMemory;
    }
    // Our own progress closes before the image library starts its work; the
    // close carries the caption here, and the library gets the same window
    // and caption for its own notifications.
    send_progress(progressWnd, kProgressClose, captionParam);
    const int attached = image->AttachDIB(dib, progressWnd, caption);
    GlobalFree(dib);
    if (!attached)
        return kBmpNoMemory;
    record_provenance(*image, path, *summary);
    return kBmpOk;
}

int CBmp::GetOrgWidthAndHeight(const char *path, int *width, int *height, int *planes) {
    ScopedFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.is_open())
        return 0;
    HDIB block = NULL;
    if (ReadDibBitmapInfo(file.get(), &block) != kBmpOk)
        return 0;
    BITMAPINFOHEADER info;
    const int known = DibInfo(block, &info); // 0 for a block that cannot be locked
    GlobalFree(block);
    if (!known || info.biWidth <= 0 || info.biHeight <= 0)
        return 0;
    *width = info.biWidth;
    *height = info.biHeight;
    *planes = info.biPlanes;
    return 1;
}

// The window and caption are part of the interface but unused: reading
// headers is too quick to show progress.
int CBmp::ReadHeader(CImage *image, const char *path, HWND, const char *) {
    int width = 0, height = 0, planes = 0;
    if (!GetOrgWidthAndHeight(path, &width, &height, &planes))
        return kBmpHeaderUnusable;
    image->SetOrgPlanes(planes);
    return kBmpOk;
}
