// Hostile bytes through the program's reader for every BMP header version:
// the plan must bound every read by the file and every size by overflow
// checks, and the block it fills must be one AttachDIB can take. A block
// more than twice the input (and 4 KiB) is planned but not filled: it is
// nearly all the zero fill of a file cut short, which a smaller block
// shows as well, and decoding up to 64 MiB of it, as the limit once was,
// held the target to a few dozen runs a second.
#include <cstdint>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/bmp_versions.h"

namespace {

bool worth_filling(std::size_t blockSize, std::size_t inputSize) { return blockSize <= 2 * inputSize + 4096; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    bmpfile::DibPlan plan;
    if (!bmpfile::plan_dib(data, size, plan).empty() || !worth_filling(plan.block_size(), size))
        return 0;
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, plan.block_size());
    if (block == NULL)
        return 0;
    bmpfile::fill_dib(data, size, plan, static_cast<std::uint8_t *>(GlobalLock(block)));
    GlobalUnlock(block);
    CStlImage image;
    image.AttachDIB(static_cast<HDIB>(block), NULL, NULL);
    GlobalFree(block);
    return 0;
}
