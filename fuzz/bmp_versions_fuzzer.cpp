// Hostile bytes through the program's reader for every BMP header version:
// the plan must bound every read by the file and every size by overflow
// checks, and the block it fills must be one AttachDIB can take. Blocks
// over 64 MiB are planned but not filled, so that a header claiming a huge
// picture costs the fuzzer nothing.
#include <cstdint>
#include <vector>

#include <dirira/dirira.h>

#include "bmpfile/bmp_versions.h"

namespace {

constexpr std::size_t kMaxFilled = std::size_t{64} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    bmpfile::DibPlan plan;
    if (!bmpfile::plan_dib(data, size, plan).empty() || plan.block_size() > kMaxFilled)
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
