// CBmp: the Windows bitmap format for the application's images. Every
// operation is static and reports through a status code (bmpio/status.h) or,
// for the device-bitmap conversions, through a NULL handle.
#pragma once

#include <afx.h>

#include "image/image_api.h"
#include "siblings/zirdib/dibapi.h"

class CImage;
class CStlImage;

class DIRIRA_CLASS CBmp : public CObject {
public:
    CBmp();
    virtual ~CBmp();

    // Reads a BMP file into `image` and records where it came from.
    static int Read(CImage *image, const char *path, HWND progressWnd, const char *caption);
    // Reads only the headers; records their planes value as OrgPlanes.
    static int ReadHeader(CImage *image, const char *path, HWND progressWnd, const char *caption);
    // Writes `image` as a BMP file through the DIB the image library renders.
    static int Write(CStlImage *image, const char *path, int option, HWND progressWnd, const char *caption);

protected:
    // The DIB file reader: a whole file into a new packed DIB.
    static int ReadDIB(const char *path, HDIB *dib);
    // From an open file: headers and colour table into a new block, leaving
    // the file at the first pixel byte.
    static int ReadDibBitmapInfo(HANDLE file, HDIB *dib);
    // The block's information header with its image size and colour count
    // filled in. 1 on success, 0 for a NULL block.
    static int DibInfo(HANDLE dib, BITMAPINFOHEADER *info);
    // The header-only reader behind ReadHeader: 1 for a picture of positive
    // width and height, with the three outputs written; 0 otherwise.
    static int GetOrgWidthAndHeight(const char *path, int *width, int *height, int *planes);
    // A packed DIB behind a 14-byte file header, byte for byte.
    static int WriteDIB(const char *path, HDIB dib);
    // Device-bitmap conversions.
    static HDIB DibFromBitmap(HBITMAP bitmap, DWORD compression, WORD bitCount, HPALETTE palette);
    static HBITMAP BitmapFromDib(HDC dc, HDIB dib);
};
