// Hostile bytes through the whole read path. The first byte chooses the
// entry: even, the bytes are a file for CBmp::ReadDIB (headers, the
// reconciliation by file size, then AttachDIB on the block); odd, the rest
// is a packed DIB handed straight to AttachDIB, which must bound every read
// by the block. Every run must leave no file open and no block allocated.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <win32_standin.h>

#include "bmpio/bmp.h"
#include "fuzz/scratch_file.h"
#include "image/stl_image.h"

namespace {

struct Reader : CBmp {
    using CBmp::ReadDIB;
};

void attach(HDIB dib) {
    CStlImage image;
    image.AttachDIB(dib, NULL, NULL);
    GlobalFree(dib);
}

void through_file(const std::uint8_t *data, std::size_t size) {
    HDIB dib = NULL;
    if (Reader::ReadDIB(fuzz_support::write_scratch(data, size, ".bmp").c_str(), &dib) == 0)
        attach(dib);
}

void as_block(const std::uint8_t *data, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == NULL)
        return;
    if (size != 0) {
        std::memcpy(GlobalLock(block), data, size);
        GlobalUnlock(block);
    }
    attach(block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    if (data[0] & 1)
        as_block(data + 1, size - 1);
    else
        through_file(data + 1, size - 1);
    if (win32_standin::OpenFileHandles() != 0 || win32_standin::LiveGlobalBlocks() != 0)
        std::abort(); // a leak is a finding like any crash
    return 0;
}
