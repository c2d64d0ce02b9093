// CStlImage, CfPoint and CImgPixelInfo construction; CStlImage's per-plane
// extremes after AttachDIB.
#include "image/stl_image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "image/vm_store.h"
#include "siblings/zircim/image_hooks.h"

namespace {

constexpr int kStatisticPlanes = 3;

// CfPoint's own copy and assignment are libdirira's, which is built on top
// of this library; within it points are copied field by field.
void copy_point(CfPoint &to, const CfPoint &from) {
    to.x = from.x;
    to.y = from.y;
    to.fx = from.fx;
    to.fy = from.fy;
}

void copy_stl_fields(CStlImage &to, const CStlImage &from) {
    std::copy(from.MinPixel, from.MinPixel + kStatisticPlanes, to.MinPixel);
    std::copy(from.MaxPixel, from.MaxPixel + kStatisticPlanes, to.MaxPixel);
    for (int i = 0; i < 2; ++i)
        copy_point(to.StdPt[i], from.StdPt[i]);
    copy_point(to.StdCtr, from.StdCtr);
    to.ProgressHandle = from.ProgressHandle;
}

// The extremes AttachDIB found while decoding; planes the image lacks read 0.
void record_extremes(CImage &image, const zircim::PlaneExtremes &extremes) {
    auto *stl = dynamic_cast<CStlImage *>(&image);
    if (stl == nullptr)
        return;
    std::copy(extremes.least, extremes.least + kStatisticPlanes, stl->MinPixel);
    std::copy(extremes.most, extremes.most + kStatisticPlanes, stl->MaxPixel);
}

// Loaded with the library: from then on AttachDIB keeps the extremes of
// CStlImage objects current.
[[maybe_unused]] const bool g_hookRegistered = (zircim::SetSamplesReplacedHook(&record_extremes), true);

} // namespace

CfPoint::CfPoint() : fx(0.0), fy(0.0) {}

CfPoint::~CfPoint() {}

// An integer position is exact in both pairs.
void CfPoint::Set(int xPos, int yPos) {
    x = xPos;
    y = yPos;
    fx = xPos;
    fy = yPos;
}

// The integer pair is the pixel that contains the position: the floor of
// each coordinate, clamped to the range of int (NaN gives 0).
void CfPoint::Set(double xPos, double yPos) {
    const auto pixel = [](double v) -> LONG {
        if (!(v == v))
            return 0;
        return static_cast<LONG>(std::clamp(std::floor(v), double(INT32_MIN), double(INT32_MAX)));
    };
    fx = xPos;
    fy = yPos;
    x = pixel(xPos);
    y = pixel(yPos);
}

CStlImage::CStlImage() : MinPixel{}, MaxPixel{}, ProgressHandle(NULL) {}

CStlImage::CStlImage(const CStlImage &src, HWND progressWnd, const char *caption) : CImage(src, progressWnd, caption) {
    copy_stl_fields(*this, src);
}

CStlImage::~CStlImage() {}

CStlImage &CStlImage::operator=(const CStlImage &src) {
    if (this != &src) {
        CImage::operator=(src); // may throw and then changes nothing
        copy_stl_fields(*this, src);
    }
    return *this;
}

CImgPixelInfo::CImgPixelInfo() {}

CImgPixelInfo::~CImgPixelInfo() {}
