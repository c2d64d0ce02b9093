// Hostile bytes as the program's FITS input: CFITSIO parses them, and the
// program's side picks the first HDU with image data, checks its shape,
// reads its planes and takes each plane's levels from its LEVMINn/LEVMAXn
// cards or its samples. A file it accepts is then rendered through those
// levels. Nothing may stay allocated once the image is gone.

#include <cstdint>
#include <cstdlib>
#include <string>

#include <afx_standin.h>
#include <win32_standin.h>

#include "fuzz/scratch_file.h"
#include "tools/dirira/fits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string &path = fuzz_support::write_scratch(data, size, ".fits");
    const long allocations = afx_standin::LiveAllocations();
    {
        CStlImage image;
        if (dirira_tool::read_fits_image(path.c_str(), image) == 0) {
            const int planes = image.GetPlanes();
            if (image.GetWidth() <= 0 || image.GetHeight() <= 0 || (planes != 1 && planes != 3))
                std::abort();
            if (const HDIB dib = image.GetDib(0))
                GlobalFree(dib);
        }
    }
    if (afx_standin::LiveAllocations() != allocations || win32_standin::LiveGlobalBlocks() != 0)
        std::abort();
    return 0;
}

// CFITSIO asks calloc for whatever a hostile TFIELDS or NAXIS implies and
// checks for NULL; under ASan such a request must fail as it does without.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }
