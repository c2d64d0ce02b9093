// CImage construction, copying and Create.
#include "image/image.h"

#include <memory>
#include <utility>

#include "image/vm_store.h"
#include "siblings/zircim/image_record.h"

namespace {

constexpr int kFloatBitsPixel = -32;

// Calls f(to.field, from.field) for every field of the record except the
// store and the level arrays, which have owners of their own: the one list
// that copying and exchanging share.
template <typename To, typename From, typename F> void for_each_plain_field(To &to, From &from, F f) {
    f(to.BitsPixel, from.BitsPixel);
    f(to.Signed, from.Signed);
    f(to.Dimension, from.Dimension);
    f(to.Width, from.Width);
    f(to.Height, from.Height);
    f(to.Planes, from.Planes);
    f(to.Bscale, from.Bscale);
    f(to.Bzero, from.Bzero);
    f(to.BlankUsed, from.BlankUsed);
    f(to.Blank, from.Blank);
    f(to.Extend, from.Extend);
    for (int i = 0; i < CImage::kTypeCount; ++i)
        f(to.Type[i], from.Type[i]);
    f(to.OwnLevel, from.OwnLevel);
    f(to.SaveableFormat, from.SaveableFormat);
    f(to.SaveableFile, from.SaveableFile);
    f(to.OverwriteAllowed, from.OverwriteAllowed);
    f(to.SITypeRGB, from.SITypeRGB);
    f(to.OrgFileName, from.OrgFileName);
    f(to.OrgFileFormat, from.OrgFileFormat);
    f(to.OrgBitsPixel, from.OrgBitsPixel);
    f(to.OrgPlanes, from.OrgPlanes);
    f(to.OrgWidth, from.OrgWidth);
    f(to.OrgHeight, from.OrgHeight);
    f(to.UndoDialogName, from.UndoDialogName);
    f(to.UndoMode, from.UndoMode);
    f(to.ContourMap, from.ContourMap);
    f(to.FirstFitsHeight, from.FirstFitsHeight);
    f(to.FirstFits, from.FirstFits);
    f(to.NorrinPC, from.NorrinPC);
    f(to.PC, from.PC);
    f(to.CD, from.CD);
    f(to.LogScale, from.LogScale);
}

void exchange_records(CImage &a, CImage &b) noexcept {
    for_each_plain_field(a, b, [](auto &x, auto &y) noexcept { std::swap(x, y); });
    std::swap(a.Store, b.Store);
    std::swap(a.LevelMin, b.LevelMin);
    std::swap(a.LevelMax, b.LevelMax);
    std::swap(a.LevelRange, b.LevelRange);
    std::swap(a.OrgDefaultLevelMin, b.OrgDefaultLevelMin);
    std::swap(a.OrgDefaultLevelMax, b.OrgDefaultLevelMax);
}

int bytes_per_sample(int bitsPixel) {
    switch (bitsPixel) {
    case 8:
    case 16:
    case 32:
    case -32:
    case -64:
        return (bitsPixel < 0 ? -bitsPixel : bitsPixel) / 8;
    default:
        return 0;
    }
}

} // namespace

CImage::CImage()
    : Store(nullptr), BitsPixel(kFloatBitsPixel), Signed(0), Dimension(0), Width(0), Height(0), Planes(0), Bscale(1.0),
      Bzero(0.0), BlankUsed(0), Blank(0), Extend(0), LevelMin(nullptr), LevelMax(nullptr), LevelRange(nullptr),
      OrgDefaultLevelMin(nullptr), OrgDefaultLevelMax(nullptr), OwnLevel(0), SaveableFormat(0), SaveableFile(0),
      OverwriteAllowed(0), SITypeRGB(0), OrgBitsPixel(0), OrgPlanes(0), OrgWidth(0), OrgHeight(0), UndoMode(0),
      ContourMap(0), FirstFitsHeight(0), FirstFits(0), NorrinPC(0), PC(0), CD(0), LogScale(0) {
    zircim::LevelArrays(0).swap_with(*this);
}

// Everything that can fail is made before the record changes; a copy that
// throws leaves nothing behind.
CImage::CImage(const CImage &src, HWND progressWnd, const char *caption) : CImage() {
    zircim::LevelArrays levels(src);
    std::unique_ptr<CVmImage> store(src.Store != nullptr ? new CVmImage(*src.Store, progressWnd, caption) : nullptr);
    for_each_plain_field(*this, src, [](auto &to, const auto &from) { to = from; });
    levels.swap_with(*this);
    Store = store.release();
}

CImage &CImage::operator=(const CImage &src) {
    if (this != &src) {
        CImage copy(src, NULL);
        exchange_records(*this, copy);
    }
    return *this;
}

CImage::~CImage() {
    delete Store;
    zircim::LevelArrays::release(*this);
}

// A new image of zero samples: its scaling is the identity and its levels
// the full display range, whatever the image held before.
int CImage::Create(int width, int height, int planes, int bitsPixel) {
    const int sampleBytes = bytes_per_sample(bitsPixel);
    if (sampleBytes == 0)
        return 0;
    try {
        std::unique_ptr<CVmImage> store(new CVmImage);
        if (!store->Create(width, height, planes, sampleBytes))
            return 0;
        zircim::LevelArrays levels(planes);
        zircim::install_samples(*this, std::move(store), levels, bitsPixel);
    } catch (CMemoryException *e) {
        e->Delete();
        return 0;
    }
    return 1;
}
