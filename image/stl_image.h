// CStlImage: the image whose samples are 32-bit floats, with calibrated gray
// access, display-level mapping, colour brightness and reference points;
// CfPoint, its reference point; CImgPixelInfo, derived from it.
#pragma once

#include <atltypes.h>

#include "image/image.h"

// A point with independent integer (x, y) and fractional (fx, fy)
// coordinates: nothing here derives one pair from the other.
class DIRIRA_CLASS CfPoint : public CPoint {
public:
    // Construction and Set (image library, libzirime).
    CfPoint();
    virtual ~CfPoint();
    void Set(int x, int y);
    void Set(double x, double y);

    CfPoint(const CfPoint &src);
    CfPoint &operator=(const CfPoint &src);

    double fx;
    double fy;
};

class DIRIRA_CLASS CStlImage : public CImage {
public:
    // ---- Construction, copying and rendering (image library, libzirime) ----
    CStlImage();
    CStlImage(const CStlImage &src); // libdirira: as CImage's one-argument copy
    CStlImage(const CStlImage &src, HWND progressWnd, const char *caption = NULL);
    virtual ~CStlImage();
    CStlImage &operator=(const CStlImage &src);

    // A new packed DIB of the image (8-bit gray for one plane, 24-bit for
    // three), owned by the caller; NULL when none can be made.
    HDIB GetDib(int option) const;

    // ---- Address lookup with clamping ----
    float *GetImageAdr(int x, int y, int plane, unsigned int mode, void **lockOut) const;

    // ---- Raw terms ----
    float GetPixelGrayRaw(float *p) const;
    float GetPixelGrayRaw(int x, int y, int plane);
    float GetPixelGrayRaw(double x, double y, int plane);
    void SetPixelGrayRaw(float *p, float value);
    void SetPixelGrayRaw(int x, int y, float value, int plane);

    // ---- Level-relative terms ----
    float GetPixelGray(float *p, int plane);
    float GetPixelGray(int x, int y, int plane);
    float GetPixelGray(double x, double y, int plane);
    void SetPixelGray(float *p, float value, int plane);
    void SetPixelGray(int x, int y, float value, int plane);

    // ---- Display terms ----
    float GetPixelGray256f(float *p, float min, float scale) const;
    float GetPixelGray256f(float *p, int plane);
    float GetPixelGray256f(int x, int y, int plane);
    float GetPixelGray256f(double x, double y, int plane);
    void SetPixelGray256f(float *p, float value, int plane);
    void SetPixelGray256f(int x, int y, float value, int plane);
    unsigned char GetPixelGray256(float *p, float min, float max, float scale) const;
    unsigned char GetPixelGray256(float *p, int plane) const;
    unsigned char GetPixelGray256(int x, int y, int plane);
    unsigned char GetPixelGray256(double x, double y, int plane);

    // ---- Conversions ----
    float To256(float value, int plane) const;
    double To256(double value, int plane) const;
    float ToRaw(float value, int plane) const;
    double ToRaw(double value, int plane) const;

    // ---- Statistics ----
    double GetMinPixel(int plane);
    double GetMaxPixel(int plane);

    // ---- Colour brightness ----
    float CalcBright(float r, float g, float b);
    double CalcBright(double r, double g, double b);
    float GetPixelBrightRaw(int x, int y);
    float GetPixelBrightRaw(double x, double y);
    float GetPixelBrightRaw(float *r, float *g, float *b);
    float GetPixelBright256f(float *r, float *g, float *b);
    float GetPixelBright256f(int x, int y);
    float GetPixelBright256f(double x, double y);
    float GetPixelBright(int x, int y);
    float GetPixelBright(double x, double y);

    // ---- Reference points ----
    CfPoint GetStdPt(int i);
    CfPoint GetStdCtr();
    void SetStdCtr(CfPoint point);
    void SetStdCtr(int x, int y);
    void SetStdCtr(double x, double y);
    void SetProgressHandle(HWND window);

    // ---- Fields ----
    double MinPixel[3]; // per plane, as last computed by the image library
    double MaxPixel[3];
    CfPoint StdPt[2];
    CfPoint StdCtr;
    HWND ProgressHandle;
};

class DIRIRA_CLASS CImgPixelInfo : public CStlImage {
public:
    CImgPixelInfo();          // image library
    virtual ~CImgPixelInfo(); // image library
    CImgPixelInfo(const CImgPixelInfo &src);
    CImgPixelInfo &operator=(const CImgPixelInfo &src);
};
