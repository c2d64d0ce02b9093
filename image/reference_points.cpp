// Reference points of CStlImage, and the copying of CfPoint and
// CImgPixelInfo. The integer and fractional coordinates of a point are
// copied as they are: nothing here derives one pair from the other.
#include "image/stl_image.h"

CfPoint::CfPoint(const CfPoint &src) : CPoint(src.x, src.y), fx(src.fx), fy(src.fy) {}

CfPoint &CfPoint::operator=(const CfPoint &src) {
    x = src.x;
    y = src.y;
    fx = src.fx;
    fy = src.fy;
    return *this;
}

// i is 0 or 1 and is not tested.
CfPoint CStlImage::GetStdPt(int i) { return StdPt[i]; }

CfPoint CStlImage::GetStdCtr() { return StdCtr; }

void CStlImage::SetStdCtr(CfPoint point) { StdCtr = point; }

// The image library's Set decides how the coordinate pair not given follows.
void CStlImage::SetStdCtr(int x, int y) { StdCtr.Set(x, y); }

void CStlImage::SetStdCtr(double x, double y) { StdCtr.Set(x, y); }

void CStlImage::SetProgressHandle(HWND window) { ProgressHandle = window; }

// Exactly the CStlImage part is copied; the copy reports no progress.
CImgPixelInfo::CImgPixelInfo(const CImgPixelInfo &src) : CStlImage(src, NULL, NULL) {}

CImgPixelInfo &CImgPixelInfo::operator=(const CImgPixelInfo &src) {
    CStlImage::operator=(src);
    return *this;
}
