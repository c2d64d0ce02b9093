#include "siblings/zircim/image_record.h"

#include <algorithm>
#include <cstring>

namespace zircim {

namespace {

constexpr int kMinLevelEntries = 3;
constexpr double kLevelMin = 0.0;
constexpr double kLevelMax = 255.0;

// Initial value of each array, in the order of LevelArrays::kFields.
constexpr double kDefaults[] = {kLevelMin, kLevelMax, kLevelMax - kLevelMin, kLevelMin, kLevelMax};

double *allocate(int entries) {
    return static_cast<double *>(afx_heap::Allocate(afx_heap::ArrayBytes(entries, sizeof(double))));
}

} // namespace

double *CImage::*const LevelArrays::kFields[kArrays] = {&CImage::LevelMin, &CImage::LevelMax, &CImage::LevelRange,
                                                        &CImage::OrgDefaultLevelMin, &CImage::OrgDefaultLevelMax};

int level_entries(int planes) { return std::max(planes, kMinLevelEntries); }

LevelArrays::LevelArrays(int planes) : m_entries(level_entries(planes)) {
    try {
        for (int i = 0; i < kArrays; ++i) {
            m_arrays[i] = allocate(m_entries);
            std::fill(m_arrays[i], m_arrays[i] + m_entries, kDefaults[i]);
        }
    } catch (CMemoryException *) {
        release_arrays();
        throw;
    }
}

// An image made elsewhere may hold NULL arrays: the copy then starts from
// the defaults.
LevelArrays::LevelArrays(const CImage &image) : LevelArrays(image.Planes) {
    for (int i = 0; i < kArrays; ++i)
        if (image.*kFields[i] != nullptr)
            std::memcpy(m_arrays[i], image.*kFields[i], sizeof(double) * static_cast<std::size_t>(m_entries));
}

LevelArrays::~LevelArrays() { release_arrays(); }

void LevelArrays::release_arrays() noexcept {
    for (double *array : m_arrays)
        afx_heap::Release(array);
}

void LevelArrays::swap_with(CImage &image) noexcept {
    for (int i = 0; i < kArrays; ++i)
        std::swap(m_arrays[i], image.*kFields[i]);
}

void LevelArrays::release(CImage &image) noexcept {
    for (double *CImage::*field : kFields) {
        afx_heap::Release(image.*field);
        image.*field = nullptr;
    }
}

void install_samples(CImage &image, std::unique_ptr<CVmImage> store, LevelArrays &levels, int bitsPixel) noexcept {
    levels.swap_with(image);
    delete image.Store;
    image.Store = store.release();
    image.BitsPixel = bitsPixel;
    image.Signed = 0;
    image.Bscale = 1.0;
    image.Bzero = 0.0;
    image.Width = image.Store->GetWidth();
    image.Height = image.Store->GetHeight();
    image.Planes = image.Store->GetPlanes();
    image.Dimension = image.Planes == 1 ? 2 : 3;
}

} // namespace zircim
