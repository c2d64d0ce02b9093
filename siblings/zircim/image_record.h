// What an image record owns besides plain fields: its pixel store and its
// per-plane display-level arrays. Every image holds the arrays
// with max(Planes, 3) entries, allocated from the framework heap
// (afx_heap::Allocate, released with afx_heap::Release), so that a plane
// count of up to three never needs new arrays.
#pragma once

#include <memory>

#include "image/image.h"
#include "image/vm_store.h"

namespace zircim {

class LevelArrays {
public:
    // Levels 0..255 for every entry. Throws CMemoryException*.
    explicit LevelArrays(int planes);
    // A copy of the image's arrays. Throws CMemoryException*.
    explicit LevelArrays(const CImage &image);
    ~LevelArrays();
    LevelArrays(const LevelArrays &) = delete;
    LevelArrays &operator=(const LevelArrays &) = delete;

    // Exchanges these arrays with the image's; the image's old ones are
    // released with this object.
    void swap_with(CImage &image) noexcept;
    // Releases the image's arrays; for its destructor.
    static void release(CImage &image) noexcept;

private:
    static constexpr int kArrays = 5;
    static double *CImage::*const kFields[kArrays];

    void release_arrays() noexcept;

    int m_entries;
    double *m_arrays[kArrays] = {};
};

int level_entries(int planes);

// Gives the image the new store and arrays (the old ones go with `levels`
// and are freed here) and the fields that describe them: `planes` planes of
// BITPIX `bitsPixel`, scaling the identity, samples unsigned.
void install_samples(CImage &image, std::unique_ptr<CVmImage> store, LevelArrays &levels, int bitsPixel) noexcept;

} // namespace zircim
