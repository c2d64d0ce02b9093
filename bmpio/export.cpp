// BMP export: CBmp::WriteDIB, and CBmp::Write on top of the image library's
// DIB rendering. A DIB goes to the file exactly as it lies in memory, behind
// a 14-byte file header: no conversion, no compression, no copy of the rows.
#include <cstring>

#include "bmpio/bmp.h"
#include "bmpio/handles.h"
#include "bmpio/status.h"
#include "image/progress.h"
#include "image/stl_image.h"

using namespace dirira;

namespace dirira {
namespace {

constexpr WORD kBitmapSignature = 0x4D42;                    // "BM"
constexpr DWORD kFileHeaderSize = sizeof(BITMAPFILEHEADER);  // 14
constexpr SIZE_T kInfoHeaderSize = sizeof(BITMAPINFOHEADER); // 40

// The file header of a block: bfSize counts the whole block as the memory
// manager reports it, surplus bytes included; bfOffBits places the rows
// after the header's own size and its colour table.
BITMAPFILEHEADER file_header_for(const BYTE *dib, SIZE_T blockSize) {
    DWORD headerSize;
    std::memcpy(&headerSize, dib, sizeof headerSize);
    BITMAPFILEHEADER header{};
    header.bfType = kBitmapSignature;
    header.bfSize = static_cast<DWORD>(blockSize) + kFileHeaderSize;
    header.bfOffBits = (PaletteSize(dib) & 0xFFFFu) + headerSize + kFileHeaderSize;
    return header;
}

// A write counts as done when the call reports success; the count written
// is not compared with the count asked for.
bool write_all(HANDLE file, const void *bytes, DWORD count) {
    DWORD written = 0;
    return WriteFile(file, bytes, count, &written, NULL) != FALSE;
}

} // namespace
} // namespace dirira

int CBmp::WriteDIB(const char *path, HDIB dib) {
    // A block too short for an information header is no DIB either: its
    // size field and PaletteSize would read past its end. Refused before the
    // file is created, so an existing file of that name stays as it was.
    if (dib == NULL || GlobalSize(dib) < kInfoHeaderSize)
        return kBmpNoDib;
    // CREATE_ALWAYS replaces an existing file; share mode 0 keeps everyone
    // else out while it is written.
    ScopedFile file(CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!file.is_open())
        return kBmpCannotCreate;
    ScopedGlobalLock lock(dib);
    const SIZE_T blockSize = GlobalSize(dib);
    // A block that cannot be locked, or that one write call cannot carry,
    // is a write that cannot be done: the file stays as created, empty.
    if (lock.bytes() == nullptr || blockSize > 0xFFFFFFFFu - kFileHeaderSize)
        return kBmpWriteFailed;
    const BITMAPFILEHEADER header = file_header_for(lock.bytes(), blockSize);
    if (!write_all(file.get(), &header, kFileHeaderSize) ||
        !write_all(file.get(), lock.bytes(), static_cast<DWORD>(blockSize)))
        return kBmpWriteFailed;
    return kBmpOk;
}

// The option is the image library's; this side gives it no meaning. The
// full progress sequence runs whatever WriteDIB reports, and the DIB is
// freed before progress closes.
int CBmp::Write(CStlImage *image, const char *path, int option, HWND progressWnd, const char *caption) {
    send_progress(progressWnd, kProgressOpen, reinterpret_cast<LPARAM>(caption));
    send_progress(progressWnd, kProgressPosition, 10);
    const HDIB dib = image->GetDib(option);
    if (dib == NULL) {
        send_progress(progressWnd, kProgressClose, 0);
        return kBmpNoMemory;
    }
    send_progress(progressWnd, kProgressPosition, 50);
    const int status = WriteDIB(path, dib);
    send_progress(progressWnd, kProgressPosition, 100);
    GlobalFree(dib);
    send_progress(progressWnd, kProgressClose, 0);
    return status;
}
